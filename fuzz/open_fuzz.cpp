// Fuzz target: the whole life of a panorama on an offscreen window: Open of the bytes as a
// file (image or description, as the viewer decides), two frames, a Pick, Close.
#include <string>

#include "controller/panorama_controller.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvp::fuzz::Quiet();
  kvp::fuzz::WriteNodeImages();
  // The viewer refuses nothing by size before it opens; neither does the target, but it keeps
  // its inputs small (-max_len) so that each run stays short.
  const std::string path = kvp::fuzz::WriteFile("input.pan", data, size);
  static platform::Window* const window = platform::CreateOffscreenWindow(96, 64);
  kvp::PanoramaController controller;
  try {
    controller.Open(path.c_str(), window, 0, 30, 5);
  } catch (const kvp::OpenFailure&) {
    return 0;
  }
  if (controller.TakeLock()) {
    controller.RenderFrame();
    controller.RenderFrame();
    controller.ReleaseLock();
  }
  int16_t kind = 0;
  controller.Pick(48, 32, kind);
  controller.Close();
  return 0;
}
