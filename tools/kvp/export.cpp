// `kvp export`: writes the picture of a bitmap file or panorama container as a PNG.
#include <cstdint>

#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/args.h"
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
  const auto option = [&output](const std::string& arg, const std::string& value, bool&) {
    if (arg != "-o") return false;
    output = value;
    return true;
  };
  if (!WalkArguments(args, "kvp export", {"-o"}, option, input, err)) return 2;
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
  return RunGuarded("kvp export", Export, args, out, err);
}

}  // namespace kvp::cli
