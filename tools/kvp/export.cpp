// `kvp export`: writes the picture of a bitmap file or panorama container as a PNG.
#include <cstdint>
#include <new>

#include "data/byte_reader.h"
#include "data/container.h"
#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/commands.h"

namespace kvp::cli {

namespace {

constexpr const char* kUsage = "usage: kvp export FILE -o OUT.png";

int Export(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage << "\n";
    return 2;
  }
  std::string input, output;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-o") {
      if (i + 1 == args.size()) {
        err << "kvp export: -o needs a value\n";
        return 2;
      }
      output = args[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      err << "kvp export: unknown option " << arg << "\n";
      return 2;
    } else if (!input.empty()) {
      err << "kvp export: more than one input file (" << input << ", " << arg << ")\n";
      return 2;
    } else {
      input = arg;
    }
  }
  if (input.empty() || output.empty()) {
    err << "kvp export: " << (input.empty() ? "no input file given" : "no output file given (-o)")
        << "\n";
    return 2;
  }

  std::vector<uint8_t> bytes;
  std::string error;
  if (!authoring::ReadFileBytes(input, bytes, &error)) {
    err << "kvp export: " << error << "\n";
    return 2;
  }
  // The readers address files with 32-bit offsets, as the viewer does.
  if (bytes.size() > UINT32_MAX) {
    err << "kvp export: " << input << ": file is larger than 4 GB\n";
    return 2;
  }
  MemoryReader reader(bytes.data(), bytes.size());
  if (ProbeFileKind(reader) == FileKind::Unknown) {
    err << "kvp export: " << input << ": not a bitmap file or panorama container\n";
    return 2;
  }
  const uint32_t length = LocateImage(reader);
  if (length == 0) {
    err << "kvp export: " << input << ": holds no image\n";
    return 2;
  }
  // The length is what the file claims; it must also be what the file holds.
  const uint64_t offset = reader.Tell();
  if (offset + length > bytes.size()) {
    err << "kvp export: " << input << ": image of " << length << " bytes at offset " << offset
        << " runs past the end of the file (" << bytes.size() << " bytes)\n";
    return 2;
  }

  authoring::Picture picture;
  if (!authoring::UnpackPicture(PackedImageView(bytes.data() + offset, length), picture,
                                &error)) {
    err << "kvp export: " << input << ": " << error << "\n";
    return 2;
  }
  if (!authoring::SavePng(output, picture, &error)) {
    err << "kvp export: " << error << "\n";
    return 2;
  }
  out << "wrote " << output << " (" << picture.width << "x" << picture.height << ")\n";
  return 0;
}

}  // namespace

int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // A 32-bit process may not find room for a picture near the size limit.
  try {
    return Export(args, out, err);
  } catch (const std::bad_alloc&) {
    err << "kvp export: out of memory\n";
    return 2;
  }
}

}  // namespace kvp::cli
