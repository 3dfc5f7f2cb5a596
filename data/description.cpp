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

// The key names of a section, as the profile reader lists them.
std::vector<std::string> SectionKeys(const char* section, const char* file) {
  std::vector<char> list(kKeyListBytes);
  const uint32_t n =
      platform::ReadProfileString(section, nullptr, "", list.data(), kKeyListBytes, file);
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

// The largest d in 1..count for which the file has a section named "Directory %d". A hostile
// count (two billion, say) would otherwise walk that many missing sections, reading the file
// each time; sections past the last one present can only be empty.
int32_t LastDirectorySection(const char* file, int32_t count) {
  std::vector<char> list(kKeyListBytes);
  uint32_t n = 0;
  for (;;) {
    n = platform::ReadProfileString(nullptr, nullptr, "", list.data(), uint32_t(list.size()), file);
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
  int32_t last = 0;
  for (uint32_t at = 0; at < n && list[at] != '\0';) {
    const std::string section(list.data() + at);
    at += uint32_t(section.size()) + 1;
    if (section.size() <= 10 || !sameName(section.substr(0, 10), "Directory ")) continue;
    const long d = std::strtol(section.c_str() + 10, nullptr, 10);
    if (d > last && d <= count && sameName(section, SectionName("Directory", int32_t(d)))) {
      last = int32_t(d);
    }
  }
  return last;
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
  for (size_t i = 0; i < nodes.size(); ++i) {
    int32_t best = -1;
    double bestSquare = 0;
    for (size_t j = 0; j < nodes.size(); ++j) {
      if (j == i) continue;
      const double dx = nodes[j].x - nodes[i].x, dy = nodes[j].y - nodes[i].y,
                   dz = nodes[j].z - nodes[i].z;
      const double square = dx * dx + dy * dy + dz * dz;
      if (best < 0 || square < bestSquare) {
        best = int32_t(j);
        bestSquare = square;
      }
    }
    nodes[i].nearest = best;
    nodes[i].nearestDistance = best < 0 ? 0 : std::sqrt(bestSquare);
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

void EnvironmentSet::ReadDirectorySection(const char* description, const char* name,
                                          int32_t environment) {
  const std::string section = SectionName(name, environment);
  const std::vector<std::string> keys = SectionKeys(section.c_str(), description);
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
    platform::ReadProfileString(section.c_str(), key.c_str(), "", value, kValueBytes,
                                description);
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
  fastImagesEnabled_ = platform::ReadProfileInt("Kestrelvue", "Fleetglider", 0, full);
  const int32_t count = platform::ReadProfileInt("Kestrelvue", "Environment Count", 0, full);
  const int32_t environments = count > 0 ? LastDirectorySection(full, count) : count;
  size_t keyCount = 0;
  if (count > 0) {
    for (int32_t d = 1; d <= environments; ++d) {
      keyCount += SectionKeys(SectionName("Directory", d).c_str(), full).size();
    }
  } else {
    keyCount = SectionKeys("Directory", full).size();
  }
  if (keyCount == 0) return false;

  nodeCapacity_ = keyCount;
  nodes_.reserve(keyCount);
  if (count > 0) {
    for (int32_t d = 1; d <= environments; ++d) ReadDirectorySection(full, "Directory", d);
  } else {
    ReadDirectorySection(full, "Directory", 0);
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
