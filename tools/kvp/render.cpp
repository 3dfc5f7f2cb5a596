// `kvp render`: a panorama drawn the way the viewer draws it, through the controller, its
// render thread and timer, into an offscreen window whose client area is written out.
#include <cstdio>

#include "controller/panorama_controller.h"
#include "platform/platform.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/image_file.h"
#include "tools/kvp/options.h"

namespace kvp::cli {

namespace {

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

int Render(const RenderOptions& o, std::ostream& out, std::ostream& err) {
  // The controller reports any open failure as "Invalid File"; say first what the system says.
  platform::File* probe = platform::OpenFileReadOnly(o.input.c_str());
  if (probe == nullptr) {
    const uint32_t code = platform::LastError();  // before the stream's own system calls
    err << "kvp render: cannot open " << o.input << ": " << platform::ErrorText(code) << "\n";
    return 2;
  }
  platform::CloseFile(probe);

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
  return WritePicture(o.output, result, "", "kvp render", out, err) ? 0 : 2;
}

}  // namespace

Runner DefineRender(CLI::App& command) {
  auto o = std::make_shared<RenderOptions>();
  AddInput(command, "FILE", "a panorama file or a tour's description", o->input);
  AddOutput(command, "OUT.png|OUT.bmp", o->output);
  AddSize(command, kMaxWindowSide, o->width, o->height);
  o->view.Define(command);
  AddParsed(command, "--position", "X,Y,Z",
            "the viewer's place in a tour's world (kept in the node's roaming box)",
            [o](const std::string& text, std::string& why) {
              why = "needs three numbers X,Y,Z, got '" + text + "'";
              return o->havePosition = ParsePosition(text, o->position);
            });
  AddChoice(command, "--depth",
            "the screen depth the core sees and decodes images to (default: the screen's)",
            {8, 16, 24}, o->depth);
  AddCount(command, "--frames", "frames to draw before the view settles (default 1)", 1, 100000,
           o->frames);
  command.footer(
      "The file is opened with the viewer's controller on an offscreen window and drawn\n"
      "through its render thread and timer; once the view has settled into its smoothed\n"
      "frame the window's client area is written. The panorama's own initial view is used\n"
      "unless the view options say otherwise.");
  return [o](std::ostream& out, std::ostream& err) { return Render(*o, out, err); };
}

}  // namespace kvp::cli
