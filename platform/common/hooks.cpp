// The seam calls that tests and tools can redirect: the trace send, message boxes, process end
// and the screen depth answer from their hook or override first, then from the platform side.
#include <atomic>

#include "platform/common/hook_slot.h"
#include "platform/common/side.h"
#include "platform/platform.h"
#include "platform/testing.h"

namespace platform {

namespace {

HookSlot<TraceHook> gTraceHook;
HookSlot<MessageBoxHook> gBoxHook;
HookSlot<ExitHook> gExitHook;

// Zero: the screen's own depth. Set by tools and tests before other threads ask.
std::atomic<uint16_t> gBitsOverride{0};

}  // namespace

void SendTrace(const char* text) {
  if (text == nullptr) return;
  TraceHook hook;
  void* user;
  if (gTraceHook.Get(hook, user)) {
    hook(text, user);
    return;
  }
  side::SendTrace(text);
}

void SetTraceHook(TraceHook hook, void* user) { gTraceHook.Set(hook, user); }

int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  MessageBoxHook hook;
  void* user;
  if (gBoxHook.Get(hook, user)) return hook(text, caption, style, user);
  return side::ShowMessageBox(text, caption, style);
}

void SetMessageBoxHook(MessageBoxHook hook, void* user) { gBoxHook.Set(hook, user); }

void ExitProcess(uint32_t code) {
  ExitHook hook;
  void* user;
  if (gExitHook.Get(hook, user)) {
    hook(code, user);
    return;
  }
  side::ExitProcess(code);
}

void SetExitHook(ExitHook hook, void* user) { gExitHook.Set(hook, user); }

uint16_t ScreenBitsPerPixel() {
  const uint16_t forced = gBitsOverride.load();
  return forced != 0 ? forced : side::ScreenBitsPerPixel();
}

void OverrideScreenBitsPerPixel(uint16_t bits) { gBitsOverride.store(bits); }

}  // namespace platform
