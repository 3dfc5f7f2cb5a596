// `kvp pack`: turns a PNG, JPEG or BMP picture into a panorama container or bitmap file.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/options.h"

namespace kvp::cli {

namespace {

struct PackOptions {
  std::string input;
  std::string output;
  int depth = 24;
  ViewFields view;
  std::vector<authoring::HotspotRectangle> hotspots;
  bool bitmap = false;
  authoring::Rgb matte;
  std::string frameCode;  // with frameFile: the image is that compressed frame
  std::string frameFile;
};

// "CODE:FILE", a four-character compression code and the file holding one frame.
bool ParseFrame(const std::string& text, PackOptions& o, std::string& error) {
  if (text.size() < 6 || text[4] != ':') {
    error = "needs CODE:FILE with a four-character code, got '" + text + "'";
    return false;
  }
  o.frameCode = text.substr(0, 4);
  o.frameFile = text.substr(5);
  return true;
}

// Swaps the picture's pixels for a frame compressed from it: the header keeps the size,
// depth and view, and names the code and the frame's length.
bool UseFrame(const PackOptions& options, PackedImage& image, std::string& error) {
  std::vector<uint8_t> frame;
  if (!authoring::ReadFileBytes(options.frameFile, frame, &error)) return false;
  if (frame.empty()) {
    error = options.frameFile + ": the frame is empty";
    return false;
  }
  BitmapInfoHeader h = ReadInfoHeader(image.bytes.data());
  h.compression = FourCC(*reinterpret_cast<const char(*)[5]>(options.frameCode.c_str()));
  h.sizeImage = uint32_t(frame.size());
  h.clrUsed = 0;
  h.clrImportant = 0;
  image.bytes.assign(kInfoHeaderSize, 0);
  WriteInfoHeader(image.bytes.data(), h);
  image.bytes.insert(image.bytes.end(), frame.begin(), frame.end());
  return true;
}

// Finite as a float too: the hot-spot block stores single precision.
bool ParseAngle(const std::string& text, float& value) {
  double v = 0;
  if (!ParseNumber(text, v) || !std::isfinite(float(v))) return false;
  value = float(v);
  return true;
}

std::vector<std::string> SplitCommas(const std::string& text, size_t maxFields) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (fields.size() + 1 < maxFields) {
    const size_t comma = text.find(',', start);
    if (comma == std::string::npos) break;
    fields.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  fields.push_back(text.substr(start));
  return fields;
}

bool ParseView(const std::string& text, ViewFields& view, std::string& error) {
  const std::vector<std::string> fields = SplitCommas(text, 5);
  long long v[4];
  if (fields.size() != 4) {
    error = "needs FOV,HEADING,PITCH,ROLL, got '" + text + "'";
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    if (!ParseInteger(fields[size_t(i)], v[i]) || v[i] < INT16_MIN || v[i] > INT16_MAX) {
      error = "values must be whole numbers from -32768 to 32767, got '" + text + "'";
      return false;
    }
  }
  if (v[0] < 1 || v[0] > 179) {
    error = "the field of view must be 1 to 179 degrees, got " + fields[0];
    return false;
  }
  view.fov = int16_t(v[0]);
  view.heading = int16_t(v[1]);
  view.pitch = int16_t(v[2]);
  view.roll = int16_t(v[3]);
  return true;
}

// The link is everything after the fourth comma, so links may themselves hold commas.
bool ParseHotspot(const std::string& text, authoring::HotspotRectangle& spot, std::string& error) {
  const std::vector<std::string> fields = SplitCommas(text, 5);
  float a[4];
  bool ok = fields.size() == 5;
  for (size_t i = 0; ok && i < 4; ++i) ok = ParseAngle(fields[i], a[i]);
  if (!ok) {
    error = "needs H1,P1,H2,P2,LINK with numbers in degrees, got '" + text + "'";
    return false;
  }
  spot.h1 = a[0];
  spot.p1 = a[1];
  spot.h2 = a[2];
  spot.p2 = a[3];
  spot.link = fields[4];
  return true;
}

bool ParseMatte(const std::string& text, authoring::Rgb& matte, std::string& error) {
  const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
  unsigned value = 0;
  const char* end = hex.data() + hex.size();
  const auto result = std::from_chars(hex.data(), end, value, 16);
  if (hex.size() != 6 || result.ec != std::errc() || result.ptr != end) {
    error = "needs a colour RRGGBB in hex, got '" + text + "'";
    return false;
  }
  matte.r = uint8_t(value >> 16);
  matte.g = uint8_t(value >> 8);
  matte.b = uint8_t(value);
  return true;
}

int Pack(const PackOptions& options, std::ostream& out, std::ostream& err) {
  std::string error;
  if (options.bitmap && !options.hotspots.empty()) {
    err << "kvp pack: --hotspot cannot be used with --bitmap: bitmap files carry no hot spots\n";
    return 2;
  }

  // The hot-spot block is checked before the picture is decoded: argument errors come first.
  std::vector<uint8_t> hotspotBlock;
  if (!options.hotspots.empty() &&
      !authoring::BuildHotspotBlock(options.hotspots, hotspotBlock, &error)) {
    err << "kvp pack: " << error << "\n";
    return 2;
  }

  authoring::Picture picture;
  PackedImage image;
  if (!authoring::LoadPicture(options.input, picture, &error) ||
      !authoring::PackPicture(picture, uint16_t(options.depth), options.matte, options.view, image,
                              &error) ||
      (!options.frameFile.empty() && !UseFrame(options, image, error))) {
    err << "kvp pack: " << error << "\n";
    return 2;
  }

  std::vector<uint8_t> file;
  if (options.bitmap) {
    file = authoring::BuildBitmapFile(image);
  } else {
    std::vector<authoring::Block> blocks;
    blocks.push_back({"BTMP", std::move(image.bytes)});
    if (!options.hotspots.empty()) blocks.push_back({"HSPT", std::move(hotspotBlock)});
    file = authoring::BuildContainer(blocks);
  }
  if (!authoring::WriteFileBytes(options.output, file, &error)) {
    err << "kvp pack: " << error << "\n";
    return 2;
  }
  out << "wrote " << options.output << " (" << (options.bitmap ? "bitmap" : "container") << ", "
      << picture.width << "x" << picture.height << ", " << options.depth << " bits, "
      << options.hotspots.size() << (options.hotspots.size() == 1 ? " hot spot" : " hot spots")
      << ")\n";
  return 0;
}

}  // namespace

Runner DefinePack(CLI::App& command) {
  auto o = std::make_shared<PackOptions>();
  AddInput(command, "IN", "the picture: a PNG, JPEG or BMP file", o->input);
  AddOutput(command, "OUT.pan", o->output);
  AddChoice(command, "--depth",
            "24 (default), 16 (5-5-5) or 8 (256 colours, median cut)",
            {8, 16, 24}, o->depth);
  AddParsed(command, "--view", "FOV,H,P,R",
            "the initial view stored in the header, in whole degrees",
            [o](const std::string& text, std::string& why) { return ParseView(text, o->view, why); });
  command
      .add_option_function<std::vector<std::string>>(
          "--hotspot",
          [o](const std::vector<std::string>& texts) {
            for (const std::string& text : texts) {
              authoring::HotspotRectangle spot;
              std::string why;
              if (!ParseHotspot(text, spot, why)) throw CLI::ValidationError("--hotspot", why);
              o->hotspots.push_back(std::move(spot));
            }
          },
          "a hot spot: a heading/pitch rectangle in degrees and its link; repeatable")
      ->type_name("H1,P1,H2,P2,LINK")
      ->allow_extra_args(false);
  AddParsed(command, "--frame", "CODE:FILE",
            "store FILE, one video frame of the picture compressed with CODE (e.g. cvid), "
            "as the image; --depth gives the frame's bits per pixel",
            [o](const std::string& text, std::string& why) { return ParseFrame(text, *o, why); });
  command.add_flag("--bitmap", o->bitmap, "write a plain bitmap file (no hot spots)");
  AddParsed(command, "--matte", "RRGGBB",
            "the colour under transparent pixels (default 000000, black)",
            [o](const std::string& text, std::string& why) { return ParseMatte(text, o->matte, why); });
  return [o](std::ostream& out, std::ostream& err) { return Pack(*o, out, err); };
}

}  // namespace kvp::cli
