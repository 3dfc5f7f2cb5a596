// POSIX side of the trace send, message boxes, process end and screen facts.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/hook_slot.h"
#include "platform/platform.h"

namespace platform {

namespace {

HookSlot<TraceHook> gTraceHook;
HookSlot<MessageBoxHook> gBoxHook;
HookSlot<ExitHook> gExitHook;

// Writes all of `bytes`, retrying short writes; a failing write drops the rest, as a trace
// viewer that is not there would.
void WriteAll(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t n = write(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    count -= static_cast<size_t>(n);
  }
}

}  // namespace

void SendTrace(const char* text) {
  if (text == nullptr) return;
  TraceHook hook;
  void* user;
  if (gTraceHook.Get(hook, user)) {
    hook(text, user);
    return;
  }
  const char* path = std::getenv("KVP_TRACE");
  if (path == nullptr || *path == '\0') return;
  // Opened per text, like the viewer lookup on Windows: nothing survives between lines, and
  // O_APPEND keeps the texts of concurrent threads whole.
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  WriteAll(fd, text, std::strlen(text));
  close(fd);
}

void SetTraceHook(TraceHook hook, void* user) { gTraceHook.Set(hook, user); }

int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  MessageBoxHook hook;
  void* user;
  if (gBoxHook.Get(hook, user)) return hook(text, caption, style, user);
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

void SetMessageBoxHook(MessageBoxHook hook, void* user) { gBoxHook.Set(hook, user); }

void ExitProcess(uint32_t code) {
  ExitHook hook;
  void* user;
  if (gExitHook.Get(hook, user)) {
    hook(code, user);
    return;
  }
  std::fflush(nullptr);
  _exit(static_cast<int>(code));
}

void SetExitHook(ExitHook hook, void* user) { gExitHook.Set(hook, user); }

namespace {
// Zero: the screen's own depth. Set by tools and tests before other threads ask.
std::atomic<uint16_t> gBitsOverride{0};
}  // namespace

uint16_t ScreenBitsPerPixel() {
  const uint16_t forced = gBitsOverride.load();
  return forced != 0 ? forced : 24;
}

void OverrideScreenBitsPerPixel(uint16_t bits) { gBitsOverride.store(bits); }

bool IsWindowsNT() { return false; }

}  // namespace platform
