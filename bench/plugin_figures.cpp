// The plug-in's figures under Wine: how long a full panorama takes from its arrival to its first
// frame on the page, the frame rate while the user drags at 640x480, and the memory one open
// instance holds. Prints; never fails. Windows build only (run by `make bench` under Wine).
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "controller/panorama_controller.h"
#include "plugin/npapi.h"
#include "plugin/plugin.h"
#include "viewer/kvp_win.h"

namespace {

using Clock = std::chrono::steady_clock;

void* MemAlloc(uint32_t size) { return std::malloc(size); }
void MemFree(void* pointer) { std::free(pointer); }
void Status(NPP, const char*) {}
NPError GetURL(NPP, const char*, const char*) { return NPERR_NO_ERROR; }

double WorkingSetMiB() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return double(counters.WorkingSetSize) / 1048576.0;
}

int32_t FramesDrawn(kvp::PanoramaController* c) {
  if (c == nullptr || !c->TakeLock()) return 0;
  const int32_t drawn = c->framesDrawn;
  c->ReleaseLock();
  return drawn;
}

// Runs the page's message loop for `seconds`, as a browser's window thread would.
void Pump(double seconds) {
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  MSG msg;
  while (Clock::now() < until) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string file =
      argc > 1 ? argv[1] : std::string(KVP_SAMPLES_DIR) + "/site/mars.pan";
  NPNetscapeFuncs browser = {};
  browser.size = sizeof browser;
  browser.version = 9;
  browser.geturl = GetURL;
  browser.status = Status;
  browser.memalloc = MemAlloc;
  browser.memfree = MemFree;
  NPPluginFuncs plugin = {};
  plugin.size = sizeof plugin;
  NP_GetEntryPoints(&plugin);
  NP_Initialize(&browser);

  HWND page = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 640,
                              480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  const double before = WorkingSetMiB();
  NPP_t instance = {};
  plugin.newp(nullptr, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr);
  NPWindow window = {page, 0, 0, 640, 480, {0, 0, 480, 640}};
  plugin.setwindow(&instance, &window);
  Pump(0.2);

  NPStream stream = {};
  stream.url = "http://localhost/mars.pan";
  const auto arrived = Clock::now();
  plugin.asfile(&instance, &stream, file.c_str());
  auto* record = static_cast<InstanceData*>(instance.pdata);
  kvp::CKVPWin* viewer = record->kvpWindow;
  while (FramesDrawn(viewer->controller) < 1 &&
         Clock::now() - arrived < std::chrono::seconds(10)) {
    Pump(0.001);
  }
  const double firstFrameMs =
      std::chrono::duration<double, std::milli>(Clock::now() - arrived).count();
  Pump(0.5);
  const double open = WorkingSetMiB();

  // A drag from the centre towards the right edge: the view turns for as long as it is held.
  RECT client;
  GetClientRect(viewer->m_hWnd, &client);
  const LPARAM right = MAKELPARAM(client.right * 7 / 8, client.bottom / 2);
  SendMessageA(viewer->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, right);
  Pump(0.5);
  const int32_t start = FramesDrawn(viewer->controller);
  const auto dragStart = Clock::now();
  Pump(3.0);
  const double seconds = std::chrono::duration<double>(Clock::now() - dragStart).count();
  const int32_t frames = FramesDrawn(viewer->controller) - start;
  SendMessageA(viewer->m_hWnd, WM_LBUTTONUP, 0, right);

  std::printf("plug-in figures (%s, a %ldx%ld viewer):\n", file.c_str(), client.right,
              client.bottom);
  std::printf("  full panorama's StreamAsFile to its first frame: %.1f ms\n", firstFrameMs);
  std::printf("  frames per second while dragging: %.1f (%d frames in %.2f s)\n",
              frames / seconds, frames, seconds);
  std::printf("  working set: %.1f MiB before the instance, %.1f MiB with it open (+%.1f MiB)\n",
              before, open, open - before);

  NPSavedData* saved = nullptr;
  plugin.destroy(&instance, &saved);
  DestroyWindow(page);
  NP_Shutdown();
  return 0;
}
