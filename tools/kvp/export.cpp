// `kvp export`: writes the picture of a bitmap file or panorama container as a PNG, a
// compressed one decoded first.
#include <cstdint>

#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/image_file.h"
#include "tools/kvp/options.h"

namespace kvp::cli {

namespace {

struct ExportOptions {
  std::string input, output;
};

int Export(const ExportOptions& o, std::ostream& out, std::ostream& err) {
  const std::string& input = o.input;
  const std::string& output = o.output;
  ImageFile file;
  if (!ReadImageFile(input, "kvp export", file, err)) return 2;

  std::string error;
  PackedImage image;
  authoring::Picture picture;
  if (!UncompressedImage(file.Image(), image, error) ||
      !authoring::UnpackPicture(image.View(), picture, &error)) {
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

Runner DefineExport(CLI::App& command) {
  auto o = std::make_shared<ExportOptions>();
  AddInput(command, "FILE", "a bitmap file or panorama container, compressed or not",
           o->input);
  AddOutput(command, "OUT.png", o->output);
  return [o](std::ostream& out, std::ostream& err) { return Export(*o, out, err); };
}

}  // namespace kvp::cli
