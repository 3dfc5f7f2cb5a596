// `kvp info`: what panorama files hold, one JSON object per file.
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "data/byte_reader.h"
#include "data/container.h"
#include "data/environment_set.h"
#include "data/hotspot_block.h"
#include "data/packed_image.h"
#include "platform/platform.h"
#include "tools/kvp/json.h"
#include "tools/kvp/options.h"

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
Json Vector3(const double v[3]) {
  return Json::array({JsonFloat(float(v[0])), JsonFloat(float(v[1])), JsonFloat(float(v[2]))});
}

// Four bytes of a tag or code as the text they spell.
Json FourCharacters(const char text[4]) { return JsonText(std::string_view(text, 4)); }

// The codec a frame's compression code names, for the legacy codes; null for others.
Json CodecName(uint32_t compression) {
  static const struct {
    const char* code;
    const char* name;
  } kNames[] = {{"IV41", "Indeo 4"}, {"IV31", "Indeo 3"}, {"IV32", "Indeo 3"},
                {"IV50", "Indeo 5"}, {"RT21", "Indeo 2"}, {"cvid", "Cinepak"},
                {"MSVC", "Video 1"}, {"CRAM", "Video 1"}};
  for (const auto& n : kNames) {
    if ((FourCC(*reinterpret_cast<const char(*)[5]>(n.code)) | 0x20202020u) ==
        (compression | 0x20202020u)) {
      return n.name;
    }
  }
  return nullptr;
}

// Whether the decompressor the viewer would find for the frame takes the viewer's request
// for a 24-bit picture: some installed ones take the frame but not the extended request.
bool CanDecode(const uint8_t header[kInfoHeaderSize]) {
  const BitmapInfoHeader in = ReadInfoHeader(header);
  platform::Codec* codec = platform::LocateCodec(FourCC("vidc"), in.compression, header,
                                                 nullptr, platform::kIcModeDecompress);
  if (codec == nullptr) return false;
  BitmapInfoHeader out = in;
  out.compression = 0;
  out.sizeImage = 0;
  out.bitCount = 24;
  uint8_t outHeader[kInfoHeaderSize];
  WriteInfoHeader(outHeader, out);
  platform::DecompressRequest request;
  request.sourceHeader = header;
  request.destinationHeader = outHeader;
  request.dxDst = request.dxSrc = in.width;
  request.dyDst = request.dySrc = in.height;
  const int32_t result =
      platform::SendCodecMessage(codec, platform::kIcmDecompressExQuery,
                                 reinterpret_cast<uintptr_t>(&request), sizeof request);
  platform::CloseCodec(codec);
  return result == 0;
}

void ImageReport(ByteReader& reader, FileKind kind, Json& report, std::ostream& err,
                 const std::string& path) {
  const uint32_t imageLength = LocateImage(reader);
  const uint32_t imageAt = reader.Tell();
  const uint32_t fileSize = reader.Size();

  uint8_t headerBytes[kInfoHeaderSize];
  const bool haveHeader = imageLength >= kInfoHeaderSize &&
                          reader.Read(headerBytes, kInfoHeaderSize) == kInfoHeaderSize;
  const BitmapInfoHeader header = haveHeader ? ReadInfoHeader(headerBytes) : BitmapInfoHeader{};

  report["kind"] = kind == FileKind::Bitmap ? "bitmap" : "container";
  for (const char* field : {"width", "height", "bits", "compression", "codec", "decodable",
                            "view"}) {
    report[field] = nullptr;  // header fields the file does not hold
  }
  if (haveHeader) {
    report["width"] = header.width;
    report["height"] = header.height;
    report["bits"] = header.bitCount;
    // 0 is the plain (uncompressed) layout, which has no four-character code.
    if (header.compression != 0) {
      char code[4];
      StoreU32(reinterpret_cast<uint8_t*>(code), header.compression);
      report["compression"] = FourCharacters(code);
      report["codec"] = CodecName(header.compression);
    }
    report["decodable"] = header.compression == 0 || CanDecode(headerBytes);
    const ViewFields view = GetViewFields(header);
    if (view.Valid()) {
      report["view"] = {{"fov", view.fov}, {"heading", view.heading}, {"pitch", view.pitch},
                        {"roll", view.roll}};
    }
  }

  Json& entries = report["entries"] = Json::array();
  for (const DirectoryEntry& entry : ReadDirectory(reader)) {
    entries.push_back({{"tag", FourCharacters(entry.tag)},
                       {"offset", entry.offset},
                       {"length", entry.length}});
  }
  report["image_length"] = imageLength;

  Json& hotspots = report["hotspots"] = Json::array();
  for (const HotspotEntry& h : ReadHotspots(reader)) {
    hotspots.push_back({{"h1", JsonFloat(h.h1)},
                        {"p1", JsonFloat(h.p1)},
                        {"h2", JsonFloat(h.h2)},
                        {"p2", JsonFloat(h.p2)},
                        {"link", JsonText(h.link)},
                        {"centre", Vector3(h.centre)},
                        {"size", Vector3(h.size)}});
  }

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
void DescriptionReport(const std::string& path, Json& report) {
  report["kind"] = "description";
  Json& nodes = report["nodes"] = Json::array();
  for (const PanoramaNode& n : EnvironmentSet::DescriptionNodes(path.c_str())) {
    nodes.push_back({{"path", JsonText(n.path)},
                     {"x", JsonNumber(n.x)},
                     {"y", JsonNumber(n.y)},
                     {"z", JsonNumber(n.z)},
                     {"radius", JsonNumber(n.roamingRadius)},
                     {"blocked", n.status == kNodeBlocked},
                     {"environment", n.environment},
                     {"nearest", n.nearest},
                     {"nearest_distance", JsonNumber(n.nearestDistance)}});
  }
}

// One file's report; false (with its line on `err`) when the file cannot be opened.
bool Report(const std::string& path, bool withPath, std::ostream& out, std::ostream& err) {
  // Read-only, so that read-only files and files a viewer holds open can be looked at.
  platform::File* file = platform::OpenFileReadOnly(path.c_str());
  if (file == nullptr) {
    const uint32_t code = platform::LastError();  // before the stream's own system calls
    err << "kvp info: cannot open " << path << ": " << platform::ErrorText(code) << "\n";
    return false;
  }
  Json report = Json::object();
  if (withPath) report["path"] = JsonText(path);
  FileReader reader(file);
  const FileKind kind = ProbeFileKind(reader);
  std::ostringstream notes;  // after the report's own line
  if (kind == FileKind::Unknown && LooksLikeDescription(reader)) {
    platform::CloseFile(file);
    file = nullptr;
    DescriptionReport(path, report);
  } else if (kind == FileKind::Unknown) {
    report["kind"] = "unknown";
  } else {
    ImageReport(reader, kind, report, notes, path);
  }
  platform::CloseFile(file);
  out << JsonLine(report);
  err << notes.str();
  return true;
}

struct InfoOptions {
  std::vector<std::string> paths;
};

// Every file is reported in turn; one that cannot be opened does not stop the others.
int Info(const InfoOptions& o, std::ostream& out, std::ostream& err) {
  int status = 0;
  for (const std::string& path : o.paths) {
    if (!Report(path, o.paths.size() > 1, out, err)) status = 2;
  }
  return status;
}

}  // namespace

Runner DefineInfo(CLI::App& command) {
  auto o = std::make_shared<InfoOptions>();
  command.add_option("FILE", o->paths, "panorama files, bitmap files or tour descriptions")
      ->type_name("")
      ->required();
  command.footer(
      "Each file's report is one JSON object on one line: kind (bitmap, container,\n"
      "description or unknown); for an image file width, height, bits, compression (four\n"
      "characters, or null when uncompressed), codec (its name, or null), decodable (whether\n"
      "this build has a decoder for the picture), view, entries, image_length and hotspots;\n"
      "for a description its nodes. Given several files, each object starts with the\n"
      "file's path. A file that cannot be opened gets one line on standard error instead\n"
      "and makes the exit status 2; the other files are still reported.");
  return [o](std::ostream& out, std::ostream& err) { return Info(*o, out, err); };
}

}  // namespace kvp::cli
