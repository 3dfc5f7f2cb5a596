// `kvp warp`: the warp engine alone on a panorama file's decoded picture, no controller.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "data/packed_image.h"
#include "render/warp_engine.h"
#include "data/picture_layout.h"
#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/image_file.h"
#include "tools/kvp/options.h"

namespace kvp::cli {

namespace {

struct WarpOptions {
  std::string input, output;
  int width = 640, height = 480;
  ViewOptions view;
  int quality = 0;
  int depth = 0;  // 0: the file's own
  long long repeat = 0;
};

// The file's picture at `depth` bits (its own when 0), with its colour table for 8 bits.
bool DecodedPicture(const PackedImageView& stored, int depth, PackedImage& out,
                    std::string& error) {
  PackedImage uncompressed;
  if (!UncompressedImage(stored, uncompressed, error)) return false;
  const PackedImageView image = uncompressed.View();
  const BitmapInfoHeader h = image.Header();
  if (!image.PixelsComplete() || h.bitCount == 32) {
    error = "the picture is cut short or has an unsupported depth";
    return false;
  }
  if (depth == 0 || depth == h.bitCount) {
    out.bytes.assign(image.Data(), image.Data() + image.Length());
    return true;
  }
  authoring::Picture rgb;
  return authoring::UnpackPicture(image, rgb, &error) &&
         authoring::PackPicture(rgb, uint16_t(depth), authoring::Rgb{}, GetViewFields(h), out,
                                &error);
}

int Warp(const WarpOptions& o, std::ostream& out, std::ostream& err) {
  ImageFile file;
  if (!ReadImageFile(o.input, "kvp warp", file, err)) return 2;
  PackedImage decoded;
  std::string error;
  if (!DecodedPicture(file.Image(), o.depth, decoded, error)) {
    err << "kvp warp: " << o.input << ": " << error << "\n";
    return 2;
  }
  const PackedImageView image = decoded.View();
  const BitmapInfoHeader header = image.Header();
  const int32_t depth = header.bitCount;
  WarpPicture picture;
  if (!picture.Assign(header.width, header.height, depth, image.Pixels())) {
    err << "kvp warp: " << o.input << ": a " << header.width << "x" << header.height
        << " picture is beyond what the warp engine takes\n";
    return 2;
  }

  // The panorama's own initial view unless the options say otherwise.
  const ViewFields stored = GetViewFields(header);
  ViewPose pose;
  pose.fieldOfView = stored.Valid() ? stored.fov : DefaultFieldOfView(header.height);
  if (stored.Valid()) {
    pose.heading = stored.heading;
    pose.pitch = stored.pitch;
    pose.roll = stored.roll;
  }
  o.view.Apply(pose.heading, pose.pitch, pose.roll, pose.fieldOfView);

  // The engine draws whole 32 x 32 blocks; the output is the requested size, cut from it.
  const int32_t w = (o.width + 31) / 32 * 32, h = (o.height + 31) / 32 * 32;
  const size_t bytes = size_t(depth / 8);
  std::vector<uint8_t> frame(size_t(w) * h * bytes);
  const EnvironmentBox box{-1000, 1000, -1000, 1000, -1000, 1000};
  const CapturePoint capture{0, 0, 0};
  Warper warper;
  const auto draw = [&] {
    return warper.RenderPanorama(box, pose, capture, w, h, frame.data(), header.width,
                                 header.height, picture.Pixels(), depth, o.quality);
  };
  if (draw() != 1) {
    err << "kvp warp: the view could not be drawn\n";
    return 2;
  }
  if (o.repeat > 0) {
    const auto start = std::chrono::steady_clock::now();
    for (long long i = 0; i < o.repeat; ++i) draw();
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() -
                                                                start).count();
    err << "ns_per_pixel: " << ns / (double(o.repeat) * w * h) << "\n";
  }

  // Cut the top-left o.width x o.height of the (bottom-up) frame.
  std::vector<uint8_t> cut(size_t(o.width) * o.height * bytes);
  for (int32_t r = 0; r < o.height; ++r) {
    std::memcpy(&cut[size_t(r) * o.width * bytes],
                &frame[size_t(h - o.height + r) * w * bytes], size_t(o.width) * bytes);
  }
  std::vector<uint8_t> table;
  if (depth == 8) {
    table.assign(image.ColourTable(), image.ColourTable() + kColourTableSize);
  }
  const PackedImage result = authoring::MakePackedImage(o.width, o.height, uint16_t(depth), cut, table);
  const std::string details = ", " + std::to_string(depth) + " bits";
  return WritePicture(o.output, result, details, "kvp warp", out, err) ? 0 : 2;
}

}  // namespace

Runner DefineWarp(CLI::App& command) {
  auto o = std::make_shared<WarpOptions>();
  AddInput(command, "FILE", "a bitmap file or panorama container", o->input);
  AddOutput(command, "OUT.png|OUT.bmp", o->output);
  AddSize(command, kMaxWarpFrameWidth, o->width, o->height);
  o->view.Define(command);
  AddChoice(command, "--quality", "1 smooths 16- and 24-bit frames (default 0)", {0, 1},
            o->quality);
  AddChoice(command, "--depth", "convert the picture to this depth first (default: the file's own)",
            {8, 16, 24}, o->depth);
  AddCount(command, "--repeat",
           "warp the frame N more times; print ns_per_pixel: X on standard error",
           1, 1000000, o->repeat);
  command.footer(
      "The viewer stands at the capture point; the panorama's own initial view is used\n"
      "unless --heading, --pitch, --roll or --fov say otherwise.");
  return [o](std::ostream& out, std::ostream& err) { return Warp(*o, out, err); };
}

}  // namespace kvp::cli
