// Win32 side of the trace send, message boxes, process end and screen facts.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstring>

#include "platform/hook_slot.h"
#include "platform/platform.h"
#include "platform/win32/trace_viewer.h"

namespace platform {

namespace {

constexpr const char* kDefaultViewerProgram = "TRX.EXE";

HookSlot<TraceHook> gTraceHook;
HookSlot<MessageBoxHook> gBoxHook;
HookSlot<ExitHook> gExitHook;
std::atomic<const char*> gViewerProgram{kDefaultViewerProgram};

HWND FindTraceViewer() { return FindWindowA("TRX Class", "TRX Window"); }

}  // namespace

void SetTraceViewerProgram(const char* program) {
  gViewerProgram.store(program != nullptr ? program : kDefaultViewerProgram);
}

void SendTrace(const char* text) {
  if (text == nullptr) return;
  TraceHook hook;
  void* user;
  if (gTraceHook.Get(hook, user)) {
    hook(text, user);
    return;
  }
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

void SetTraceHook(TraceHook hook, void* user) { gTraceHook.Set(hook, user); }

int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  MessageBoxHook hook;
  void* user;
  if (gBoxHook.Get(hook, user)) return hook(text, caption, style, user);
  return MessageBoxA(nullptr, text, caption, style);
}

void SetMessageBoxHook(MessageBoxHook hook, void* user) { gBoxHook.Set(hook, user); }

void ExitProcess(uint32_t code) {
  ExitHook hook;
  void* user;
  if (gExitHook.Get(hook, user)) {
    hook(code, user);
    return;
  }
  ::ExitProcess(code);
}

void SetExitHook(ExitHook hook, void* user) { gExitHook.Set(hook, user); }

namespace {
// Zero: the screen's own depth. Set by tools and tests before other threads ask.
std::atomic<uint16_t> gBitsOverride{0};
}  // namespace

void OverrideScreenBitsPerPixel(uint16_t bits) { gBitsOverride.store(bits); }

uint16_t ScreenBitsPerPixel() {
  const uint16_t forced = gBitsOverride.load();
  if (forced != 0) return forced;
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return 0;
  const int bits = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return static_cast<uint16_t>(bits);
}

bool IsWindowsNT() {
  OSVERSIONINFOA info;
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return false;
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace platform
