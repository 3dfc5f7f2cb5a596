// Win32 side of the trace send, message boxes, process end and screen facts.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstring>

#include "platform/common/side.h"
#include "platform/platform.h"
#include "platform/win32/trace_viewer.h"

namespace platform {

namespace {

constexpr const char* kDefaultViewerProgram = "TRX.EXE";

std::atomic<const char*> gViewerProgram{kDefaultViewerProgram};

HWND FindTraceViewer() { return FindWindowA("TRX Class", "TRX Window"); }

}  // namespace

void SetTraceViewerProgram(const char* program) {
  gViewerProgram.store(program != nullptr ? program : kDefaultViewerProgram);
}

namespace side {

void SendTrace(const char* text) {
  HWND viewer = FindTraceViewer();
  if (viewer == nullptr) {
    // One start attempt and one more look, nothing else: WinExec itself waits until a
    // freshly started viewer is idle, and a viewer that makes its window later misses
    // this line by design.
    WinExec(gViewerProgram.load(), SW_SHOWNORMAL);
    viewer = FindTraceViewer();
  }
  if (viewer == nullptr) return;
  COPYDATASTRUCT data;
  data.dwData = 0;  // carries nothing; the viewer must not look at it
  data.cbData = static_cast<DWORD>(std::strlen(text) + 1);
  data.lpData = const_cast<char*>(text);
  SendMessageA(viewer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  return MessageBoxA(nullptr, text, caption, style);
}

void ExitProcess(uint32_t code) { ::ExitProcess(code); }

uint16_t ScreenBitsPerPixel() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return 0;
  const int bits = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return static_cast<uint16_t>(bits);
}

}  // namespace side

bool IsWindowsNT() {
  OSVERSIONINFOA info;
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return false;
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace platform
