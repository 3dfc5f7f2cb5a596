// `kvp render`: a panorama drawn the way the viewer draws it, through the controller, its
// render thread and timer, into an offscreen window whose client area is written out.
#include <cstdio>

#include "controller/panorama_controller.h"
#include "platform/platform.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/args.h"
#include "tools/kvp/commands.h"
#include "tools/kvp/image_file.h"

namespace kvp::cli {

namespace {

constexpr const char* kUsage =
    "usage: kvp render FILE -o OUT.png|OUT.bmp [--size WxH] [--heading H] [--pitch P] "
    "[--roll R] [--fov F] [--position X,Y,Z] [--depth 8|16|24] [--frames N]";

constexpr long long kMaxWindowSide = 8192;

struct RenderOptions {
  std::string input, output;
  int width = 640, height = 480;
  ViewOptions view;
  bool havePosition = false;
  double position[3] = {0, 0, 0};
  int depth = 0;  // 0: the screen's own
  long long frames = 1;
};

bool ParsePosition(const std::string& text, double position[3]) {
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t comma = text.find(',', start);
    if ((i < 2) != (comma != std::string::npos)) return false;
    const std::string part = text.substr(start, i < 2 ? comma - start : std::string::npos);
    if (!ParseNumber(part, position[i])) return false;
    start = comma + 1;
  }
  return true;
}

bool ParseArguments(const std::vector<std::string>& args, RenderOptions& o, std::ostream& err) {
  const auto option = [&o](const std::string& arg, const std::string& value, bool& ok) {
    long long n = 0;
    if (o.view.Parse(arg, value, ok)) return true;
    if (arg == "-o") {
      o.output = value;
    } else if (arg == "--size") {
      ok = ParseSize(value, kMaxWindowSide, o.width, o.height);
    } else if (arg == "--position") {
      ok = o.havePosition = ParsePosition(value, o.position);
    } else if (arg == "--depth") {
      ok = ParseInteger(value, n) && (n == 8 || n == 16 || n == 24);
      o.depth = int(n);
    } else if (arg == "--frames") {
      ok = ParseInteger(value, n) && n >= 1 && n <= 100000;
      o.frames = n;
    } else {
      return false;
    }
    return true;
  };
  if (!WalkArguments(args, "kvp render",
                     {"-o", "--size", "--heading", "--pitch", "--roll", "--fov", "--position",
                      "--depth", "--frames"},
                     option, o.input, err)) {
    return false;
  }
  if (o.input.empty() || o.output.empty()) {
    err << kUsage << "\n";
    return false;
  }
  return true;
}

// Draws with the controller on `window` and reads the client area back. False with a message
// on `err` when the panorama does not open.
bool Draw(const RenderOptions& o, platform::Window* window, std::vector<uint8_t>& pixels,
          std::ostream& err) {
  PanoramaController c;
  try {
    c.Open(o.input.c_str(), window, 0, 0, 5);
  } catch (const OpenFailure& failure) {
    err << "kvp render: " << o.input << ": " << failure.what() << "\n";
    return false;
  }
  double heading, pitch, roll, fov;
  c.GetView(heading, pitch, roll, fov);
  o.view.Apply(heading, pitch, roll, fov);
  c.SetView(heading, pitch, roll, fov, 0);
  if (o.havePosition) c.SetPosition(o.position[0], o.position[1], o.position[2], 0);

  // The frames asked for, then more until the view has settled into its smoothed frame (a
  // tour's node may still be loading, or the position be clamped on the first frame).
  c.RequestFrames(int32_t(o.frames), 2);
  for (int round = 0; round < 50; ++round) {
    bool settled = false;
    if (c.TakeLock()) {
      settled = c.cache.valid != 0;
      c.ReleaseLock();
    }
    if (settled) break;
    c.RequestFrames(1, 2);
  }
  pixels.assign(size_t(o.width) * size_t(o.height) * 3, 0);
  platform::ReadWindowPixels(window, pixels.data());
  c.Close();
  return true;
}

int Render(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  RenderOptions o;
  if (!ParseArguments(args, o, err)) return 2;
  if (std::FILE* probe = std::fopen(o.input.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    err << "kvp render: " << o.input << ": cannot be read\n";
    return 2;
  }

  platform::OverrideScreenBitsPerPixel(uint16_t(o.depth));
  platform::Window* window = platform::CreateOffscreenWindow(o.width, o.height);
  if (window == nullptr) {
    platform::OverrideScreenBitsPerPixel(0);
    err << "kvp render: no window of " << o.width << "x" << o.height << " could be made\n";
    return 2;
  }
  std::vector<uint8_t> pixels;
  const bool drawn = Draw(o, window, pixels, err);
  platform::DestroyOffscreenWindow(window);
  platform::OverrideScreenBitsPerPixel(0);
  if (!drawn) return 2;

  const PackedImage result = authoring::MakePackedImage(o.width, o.height, 24, pixels);
  std::string error;
  const std::string& path = o.output;
  if (!WritePicture(path, result, error)) {
    err << "kvp render: " << error << "\n";
    return 2;
  }
  out << "wrote " << path << " (" << o.width << "x" << o.height << ")\n";
  return 0;
}

}  // namespace

int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunGuarded("kvp render", Render, args, out, err);
}

}  // namespace kvp::cli
