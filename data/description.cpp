// Opening an environment set: an image file as one node, a multi-environment description as
// many, with neighbours, bounds and the map window.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/codec_bridge.h"
#include "data/environment_set.h"
#include "diag/trace.h"
#include "platform/platform.h"

namespace kvp {

namespace {

constexpr uint32_t kPathBytes = 260;
constexpr uint32_t kKeyListBytes = 32768;
constexpr uint32_t kValueBytes = 256;
constexpr int32_t kMaxTracedGaps = 0x7FFF;

// The key names of a section, as the profile reader lists them into the 32768 bytes a
// directory section gets. A longer list is cut there (a section of 20,000 nodes keeps about
// 2,600): the nodes past the cut are lost, and the trace says so.
std::vector<std::string> SectionKeys(const char* section, const platform::ProfileFile& file,
                                     bool traceCut) {
  std::vector<char> list(kKeyListBytes);
  const uint32_t n = file.ReadString(section, nullptr, "", list.data(), kKeyListBytes);
  if (traceCut && n + 2 >= kKeyListBytes) {
    TraceText("Directory Section Cut: ");
    TraceLine(section);
  }
  std::vector<std::string> keys;
  for (uint32_t at = 0; at < n && list[at] != '\0';) {
    const std::string key(list.data() + at);
    keys.push_back(key);
    at += uint32_t(key.size()) + 1;
  }
  return keys;
}

std::string SectionName(const char* name, int32_t d) {
  if (d == 0) return name;
  char section[64];
  std::snprintf(section, sizeof section, "%s %d", name, static_cast<int>(d));
  return section;
}

// The d in 1..count, ascending and each once, for which the file has a section named
// "Directory %d". A hostile count (two billion, say) with one section numbered to match would
// otherwise walk that many missing sections; only the sections present can hold nodes.
std::vector<int32_t> DirectorySections(const platform::ProfileFile& file, int32_t count) {
  std::vector<char> list(kKeyListBytes);
  uint32_t n = 0;
  for (;;) {
    n = file.ReadString(nullptr, nullptr, "", list.data(), uint32_t(list.size()));
    if (n + 2 < list.size() || list.size() >= (64u << 20)) break;
    list.resize(list.size() * 2);
  }
  const auto sameName = [](const std::string& x, const std::string& y) {
    return x.size() == y.size() &&
           std::equal(x.begin(), x.end(), y.begin(), [](char p, char q) {
             return std::tolower(static_cast<unsigned char>(p)) ==
                    std::tolower(static_cast<unsigned char>(q));
           });
  };
  std::vector<int32_t> found;
  for (uint32_t at = 0; at < n && list[at] != '\0';) {
    const std::string section(list.data() + at);
    at += uint32_t(section.size()) + 1;
    if (section.size() <= 10 || !sameName(section.substr(0, 10), "Directory ")) continue;
    const long d = std::strtol(section.c_str() + 10, nullptr, 10);
    if (d > 0 && d <= count && sameName(section, SectionName("Directory", int32_t(d)))) {
      found.push_back(int32_t(d));
    }
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

std::string FullPath(const char* path) {
  char full[kPathBytes];
  const uint32_t n = platform::GetFullPath(path, full, kPathBytes);
  if (n == 0 || n >= kPathBytes) return std::string();
  return full;
}

std::string CurrentDirectory() {
  const uint32_t needed = platform::ReadCurrentDirectory(nullptr, 0);
  if (needed == 0) return std::string();
  std::vector<char> buffer(needed + 1);
  const uint32_t n = platform::ReadCurrentDirectory(buffer.data(), uint32_t(buffer.size()));
  if (n == 0 || n >= buffer.size()) return std::string();
  return buffer.data();
}

}  // namespace

void EnvironmentSet::FindNeighbours(std::vector<PanoramaNode>& nodes) {
  const size_t count = nodes.size();
  auto square = [&nodes](size_t i, size_t j) {
    const double dx = nodes[j].x - nodes[i].x, dy = nodes[j].y - nodes[i].y,
                 dz = nodes[j].z - nodes[i].z;
    return dx * dx + dy * dy + dz * dz;
  };
  auto store = [&nodes](size_t i, int32_t best, double bestSquare) {
    nodes[i].nearest = best;
    nodes[i].nearestDistance = best < 0 ? 0 : std::sqrt(bestSquare);
  };
  bool finite = true;
  for (const PanoramaNode& n : nodes) {
    finite = finite && std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z);
  }
  if (!finite) {
    // Every pair, in index order: what nan and infinite distances compare to decides.
    for (size_t i = 0; i < count; ++i) {
      int32_t best = -1;
      double bestSquare = 0;
      for (size_t j = 0; j < count; ++j) {
        if (j == i) continue;
        const double d = square(i, j);
        if (best < 0 || d < bestSquare) {
          best = int32_t(j);
          bestSquare = d;
        }
      }
      store(i, best, bestSquare);
    }
    return;
  }
  // Walking out from each node in x order stops once dx alone exceeds the best distance: a
  // description of 20,000 nodes would otherwise take 400 million distances. The result is the
  // same: the smallest squared distance, the lowest index among equals (a sum of squares never
  // rounds below its first term, so no pair past the stop can tie).
  std::vector<size_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&nodes](size_t a, size_t b) { return nodes[a].x < nodes[b].x; });
  for (size_t at = 0; at < count; ++at) {
    const size_t i = order[at];
    int32_t best = -1;
    double bestSquare = 0;
    auto consider = [&](size_t j) {
      const double dx = nodes[j].x - nodes[i].x;
      if (best >= 0 && dx * dx > bestSquare) return false;
      const double d = square(i, j);
      if (best < 0 || d < bestSquare || (d == bestSquare && int32_t(j) < best)) {
        best = int32_t(j);
        bestSquare = d;
      }
      return true;
    };
    for (size_t up = at + 1; up < count && consider(order[up]); ++up) {
    }
    for (size_t down = at; down > 0 && consider(order[down - 1]); --down) {
    }
    store(i, best, bestSquare);
  }
}

void EnvironmentSet::ComputeBounds(double minimum[4], double maximum[4]) const {
  for (size_t i = 0; i < nodes_.size(); ++i) {
    const PanoramaNode& n = nodes_[i];
    const double v[4] = {n.x, n.y, n.z, n.roamingRadius};
    for (int c = 0; c < 4; ++c) {
      if (i == 0 || v[c] < minimum[c]) minimum[c] = v[c];
      if (i == 0 || v[c] > maximum[c]) maximum[c] = v[c];
    }
  }
}

void EnvironmentSet::ReadDirectorySection(const char* description,
                                          const platform::ProfileFile& profile,
                                          const char* name, int32_t environment) {
  const std::string section = SectionName(name, environment);
  const std::vector<std::string> keys = SectionKeys(section.c_str(), profile, true);
  if (keys.empty()) {
    TraceText("Empty Directory Section: ");
    TraceLine(section.c_str());
    return;
  }

  const std::string remembered = CurrentDirectory();
  // The folder: the full path up to its last separator (the root keeps its separator).
  std::string folder = description;
  size_t cut = folder.size();
  while (cut > 0 && !platform::IsPathSeparator(folder[cut - 1])) --cut;
  folder.resize(cut > 1 ? cut - 1 : cut);
  if (folder.empty() || !platform::ChangeCurrentDirectory(folder.c_str())) {
    TraceLine("Could not set current directory");
    return;
  }

  // A value with fewer than four numbers keeps the previous node's values for the rest;
  // the section's first node starts from zeros.
  double values[4] = {0, 0, 0, 0};
  for (const std::string& key : keys) {
    char value[kValueBytes];
    profile.ReadString(section.c_str(), key.c_str(), "", value, kValueBytes);
    if (value[0] == '\0') continue;
    if (nodes_.size() >= nodeCapacity_) break;
    std::sscanf(value, "%lf, %lf, %lf, %lf", &values[0], &values[1], &values[2], &values[3]);
    PanoramaNode node;
    node.path = FullPath(key.c_str());
    node.x = values[0];
    node.y = values[1];
    node.z = values[2];
    node.roamingRadius = values[3];
    node.status = key[0] == '#' ? kNodeBlocked : kNodeUsable;
    node.environment = environment;
    nodes_.push_back(std::move(node));
  }

  platform::ChangeCurrentDirectory(remembered.c_str());
}

bool EnvironmentSet::ReadDescription(const char* full) {
  // Read once: every key below is answered from memory.
  const platform::ProfileFile profile(full);
  fastImagesEnabled_ = profile.ReadInt("Kestrelvue", "Fleetglider", 0);
  const int32_t count = profile.ReadInt("Kestrelvue", "Environment Count", 0);
  const std::vector<int32_t> present = count > 0 ? DirectorySections(profile, count)
                                                 : std::vector<int32_t>{0};
  size_t keyCount = 0;
  for (int32_t d : present) {
    keyCount += SectionKeys(SectionName("Directory", d).c_str(), profile, false).size();
  }
  if (keyCount == 0) return false;

  nodeCapacity_ = keyCount;
  nodes_.reserve(keyCount);
  // Numbers without a section before the last one present are reported as empty sections,
  // as many as the controller would accept environments; a gap of billions is passed over.
  int64_t next = 1;
  int32_t traced = 0;
  for (int32_t d : present) {
    for (; count > 0 && next < d && traced < kMaxTracedGaps; ++next, ++traced) {
      TraceText("Empty Directory Section: ");
      TraceLine(SectionName("Directory", int32_t(next)).c_str());
    }
    ReadDirectorySection(full, profile, "Directory", d);
    next = int64_t(d) + 1;
  }
  return true;
}

std::vector<PanoramaNode> EnvironmentSet::DescriptionNodes(const char* path) {
  EnvironmentSet set;
  const std::string full = path != nullptr ? FullPath(path) : std::string();
  if (full.empty() || !set.ReadDescription(full.c_str())) return {};
  FindNeighbours(set.nodes_);
  return std::move(set.nodes_);
}

int32_t EnvironmentSet::OpenEnvironments(const char* path, char* errorText,
                                         ViewPose& startPose, ViewPose& minimumPose,
                                         ViewPose& maximumPose, void*, void*) {
  char internal[256];
  if (errorText == nullptr) errorText = internal;
  if (!nodes_.empty()) {
    std::strcpy(errorText, "Already Initialized");
    return 0;
  }
  const std::string full = path != nullptr ? FullPath(path) : std::string();
  if (full.empty()) {
    std::strcpy(errorText, "Invalid File");
    return 0;
  }

  uint8_t magic[4] = {0, 0, 0, 0};
  TransferRecord* probe = OpenTransfer(full.c_str(), hooks_);
  probe->cursor = magic;
  probe->remaining = sizeof magic;
  probe->chunk = kTransferChunk;
  RunTransfer(probe);
  DestroyTransfer(probe);

  if ((magic[0] == 'B' && magic[1] == 'M') || std::memcmp(magic, "KVPF", 4) == 0) {
    PanoramaNode node;
    node.path = full;
    node.environment = 0;
    nodeCapacity_ = 1;
    nodes_.push_back(node);
    if (!PrepareBuffers(errorText, DisplayDepth())) {
      Clear();
      return 0;
    }
    startPose.x = startPose.y = startPose.z = 0;
    lastPose_ = startPose;
    minimumPose.x = minimumPose.y = minimumPose.z = 0;
    maximumPose.x = maximumPose.y = maximumPose.z = 0;
    return -1;
  }

  if (!ReadDescription(full.c_str())) {
    Clear();
    std::strcpy(errorText, "Invalid File");
    return 0;
  }

  if (!PrepareBuffers(errorText, DisplayDepth())) {
    TraceLine("Allocation Failed");
    Clear();
    return 0;
  }
  FindNeighbours(nodes_);

  startPose.x = nodes_[0].x;
  startPose.y = nodes_[0].y;
  startPose.z = nodes_[0].z;
  lastPose_ = startPose;

  double minimum[4] = {0, 0, 0, 0}, maximum[4] = {0, 0, 0, 0};
  ComputeBounds(minimum, maximum);
  minimumPose.x = minimum[0];
  minimumPose.y = minimum[1];
  minimumPose.z = minimum[2];
  minimumPose.fieldOfView = minimum[3];
  maximumPose.x = maximum[0];
  maximumPose.y = maximum[1];
  maximumPose.z = maximum[2];
  maximumPose.fieldOfView = maximum[3];

  mapGeometry_ = ComputeMapGeometry(minimum[0], maximum[0], minimum[1], maximum[1], maximum[3]);
  map_ = platform::CreateMapWindow(mapGeometry_.clientWidth, mapGeometry_.clientHeight);
  return int32_t(nodes_.size());
}

}  // namespace kvp
