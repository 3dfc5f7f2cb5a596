// `kvp warp`: the warp engine alone on a panorama file's decoded picture, no controller.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "data/packed_image.h"
#include "render/warp_engine.h"
#include "render/warp_picture.h"
#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/args.h"
#include "tools/kvp/commands.h"
#include "tools/kvp/image_file.h"

namespace kvp::cli {

namespace {

constexpr const char* kUsage =
    "usage: kvp warp FILE -o OUT.png|OUT.bmp [--size WxH] [--heading H] [--pitch P] "
    "[--roll R] [--fov F] [--quality 0|1] [--depth 8|16|24] [--repeat N]";

struct WarpOptions {
  std::string input, output;
  int width = 640, height = 480;
  ViewOptions view;
  int quality = 0;
  int depth = 0;  // 0: the file's own
  long long repeat = 0;
};

bool ParseArguments(const std::vector<std::string>& args, WarpOptions& o, std::ostream& err) {
  const auto option = [&o](const std::string& arg, const std::string& value, bool& ok) {
    long long n = 0;
    if (o.view.Parse(arg, value, ok)) return true;
    if (arg == "-o") {
      o.output = value;
    } else if (arg == "--size") {
      ok = ParseSize(value, kMaxWarpFrameWidth, o.width, o.height);
    } else if (arg == "--quality") {
      ok = ParseInteger(value, n) && (n == 0 || n == 1);
      o.quality = int(n);
    } else if (arg == "--depth") {
      ok = ParseInteger(value, n) && (n == 8 || n == 16 || n == 24);
      o.depth = int(n);
    } else if (arg == "--repeat") {
      ok = ParseInteger(value, n) && n >= 1 && n <= 1000000;
      o.repeat = n;
    } else {
      return false;
    }
    return true;
  };
  if (!WalkArguments(args, "kvp warp",
                     {"-o", "--size", "--heading", "--pitch", "--roll", "--fov", "--quality",
                      "--depth", "--repeat"},
                     option, o.input, err)) {
    return false;
  }
  if (o.input.empty() || o.output.empty()) {
    err << kUsage << "\n";
    return false;
  }
  return true;
}

// The file's picture at `depth` bits (its own when 0), with its colour table for 8 bits.
bool DecodedPicture(const PackedImageView& image, int depth, PackedImage& out,
                    std::string& error) {
  const BitmapInfoHeader h = image.Header();
  if (h.compression != 0) {
    error = "the picture is compressed; kvp warp takes uncompressed panoramas";
    return false;
  }
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

int Warp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  WarpOptions o;
  if (!ParseArguments(args, o, err)) return 2;

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
  const double capture[3] = {0, 0, 0};
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
  const std::string& path = o.output;
  if (!WritePicture(path, result, error)) {
    err << "kvp warp: " << error << "\n";
    return 2;
  }
  out << "wrote " << path << " (" << o.width << "x" << o.height << ", " << depth << " bits)\n";
  return 0;
}

}  // namespace

int RunWarp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunGuarded("kvp warp", Warp, args, out, err);
}

}  // namespace kvp::cli
