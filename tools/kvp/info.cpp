// kvp info: what a panorama file holds, as one JSON object.
#include <cstring>
#include <string>
#include <vector>

#include "data/byte_reader.h"
#include "data/container.h"
#include "data/environment_set.h"
#include "data/hotspot_block.h"
#include "data/packed_image.h"
#include "platform/platform.h"
#include "tools/kvp/commands.h"
#include "tools/kvp/json.h"

namespace kvp::cli {

namespace {

// Anything that is not an image file and has a "[section]" line is read as a description.
bool LooksLikeDescription(ByteReader& reader) {
  char text[4096];
  reader.Seek(0);
  const uint32_t n = reader.Read(text, sizeof text);
  reader.Seek(0);
  bool lineStart = true;
  for (uint32_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == '\n' || c == '\r') {
      lineStart = true;
    } else if (c == ' ' || c == '\t') {
      continue;
    } else if (lineStart && c == '[') {
      return std::memchr(text + i, ']', n - i) != nullptr;
    } else {
      lineStart = false;
    }
  }
  return false;
}

// Hot-spot boxes are single-precision values held in doubles: print them as the floats
// they are, so 5 reads 5 and not 4.999999523162842.
void Vector3(std::ostream& out, const double v[3]) {
  out << '[';
  for (int i = 0; i < 3; ++i) {
    if (i) out << ',';
    JsonNumber(out, static_cast<float>(v[i]));
  }
  out << ']';
}

void ImageReport(ByteReader& reader, FileKind kind, std::ostream& out, std::ostream& err,
                 const std::string& path) {
  const uint32_t imageLength = LocateImage(reader);
  const uint32_t imageAt = reader.Tell();
  const uint32_t fileSize = reader.Size();

  uint8_t headerBytes[kInfoHeaderSize];
  const bool haveHeader = imageLength >= kInfoHeaderSize &&
                          reader.Read(headerBytes, kInfoHeaderSize) == kInfoHeaderSize;
  const BitmapInfoHeader header = haveHeader ? ReadInfoHeader(headerBytes) : BitmapInfoHeader{};

  out << "{\"kind\":\"" << (kind == FileKind::Bitmap ? "bitmap" : "container") << '"';
  if (haveHeader) {
    out << ",\"width\":" << header.width << ",\"height\":" << header.height
        << ",\"bits\":" << header.bitCount << ",\"compression\":";
    if (header.compression == 0) {
      out << 0;
    } else {
      char code[4];
      StoreU32(reinterpret_cast<uint8_t*>(code), header.compression);
      JsonString(out, std::string_view(code, 4));
    }
    const ViewFields view = GetViewFields(header);
    out << ",\"view\":";
    if (view.Valid()) {
      out << "{\"fov\":" << view.fov << ",\"heading\":" << view.heading
          << ",\"pitch\":" << view.pitch << ",\"roll\":" << view.roll << '}';
    } else {
      out << "null";
    }
  } else {
    out << ",\"width\":null,\"height\":null,\"bits\":null,\"compression\":null,\"view\":null";
  }

  out << ",\"entries\":[";
  const std::vector<DirectoryEntry> entries = ReadDirectory(reader);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i) out << ',';
    out << "{\"tag\":";
    JsonString(out, std::string_view(entries[i].tag, 4));
    out << ",\"offset\":" << entries[i].offset << ",\"length\":" << entries[i].length << '}';
  }
  out << "],\"image_length\":" << imageLength;

  out << ",\"hotspots\":[";
  const std::vector<HotspotEntry> hotspots = ReadHotspots(reader);
  for (size_t i = 0; i < hotspots.size(); ++i) {
    const HotspotEntry& h = hotspots[i];
    if (i) out << ',';
    out << "{\"h1\":";
    JsonNumber(out, h.h1);
    out << ",\"p1\":";
    JsonNumber(out, h.p1);
    out << ",\"h2\":";
    JsonNumber(out, h.h2);
    out << ",\"p2\":";
    JsonNumber(out, h.p2);
    out << ",\"link\":";
    JsonString(out, h.link);
    out << ",\"centre\":";
    Vector3(out, h.centre);
    out << ",\"size\":";
    Vector3(out, h.size);
    out << '}';
  }
  out << "]}\n";

  // The report stands as the lookups give it; say on the side what a loader would refuse.
  if (imageLength == 0) {
    err << "kvp info: " << path << ": no image\n";
  } else if (uint64_t(imageAt) + imageLength > fileSize) {
    err << "kvp info: " << path << ": the image runs past the end of the file\n";
  } else if (!haveHeader || imageLength <= kInfoHeaderSize) {
    err << "kvp info: " << path << ": the image has no pixel data\n";
  }
}

// The nodes of a description as the viewer reads them (paths resolved, blocked keys marked,
// nearest neighbours found).
void DescriptionReport(const std::string& path, std::ostream& out) {
  const std::vector<PanoramaNode> nodes = EnvironmentSet::DescriptionNodes(path.c_str());
  out << "{\"kind\":\"description\",\"nodes\":[";
  for (size_t i = 0; i < nodes.size(); ++i) {
    const PanoramaNode& n = nodes[i];
    if (i) out << ',';
    out << "{\"path\":";
    JsonString(out, n.path);
    out << ",\"x\":";
    JsonNumber(out, n.x);
    out << ",\"y\":";
    JsonNumber(out, n.y);
    out << ",\"z\":";
    JsonNumber(out, n.z);
    out << ",\"radius\":";
    JsonNumber(out, n.roamingRadius);
    out << ",\"blocked\":" << (n.status == kNodeBlocked ? "true" : "false")
        << ",\"environment\":" << n.environment << ",\"nearest\":" << n.nearest
        << ",\"nearest_distance\":";
    JsonNumber(out, n.nearestDistance);
    out << '}';
  }
  out << "]}\n";
}

}  // namespace

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) {
    err << "usage: kvp info FILE\n";
    return 2;
  }
  const std::string& path = args[0];
  platform::File* file = platform::OpenFile(path.c_str());
  if (file == nullptr) {
    err << "kvp info: cannot open " << path << " (system error " << platform::LastError()
        << ")\n";
    return 2;
  }
  FileReader reader(file);
  const FileKind kind = ProbeFileKind(reader);
  if (kind == FileKind::Unknown && LooksLikeDescription(reader)) {
    platform::CloseFile(file);
    file = nullptr;
    DescriptionReport(path, out);
  } else if (kind == FileKind::Unknown) {
    out << "{\"kind\":\"unknown\"}\n";
  } else {
    ImageReport(reader, kind, out, err, path);
  }
  platform::CloseFile(file);
  return 0;
}

}  // namespace kvp::cli
