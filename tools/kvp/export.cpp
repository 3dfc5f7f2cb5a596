// `kvp export`: writes the picture of a bitmap file or panorama container as a PNG.
#include <cstdint>
#include <new>

#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/commands.h"
#include "tools/kvp/image_file.h"

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

  ImageFile file;
  if (!ReadImageFile(input, "kvp export", file, err)) return 2;

  std::string error;
  authoring::Picture picture;
  if (!authoring::UnpackPicture(file.Image(), picture, &error)) {
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
