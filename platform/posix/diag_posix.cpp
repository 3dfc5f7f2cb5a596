// POSIX side of the trace send, message boxes, process end and screen facts.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/common/side.h"
#include "platform/platform.h"

namespace platform {
namespace side {

namespace {

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
  const char* path = std::getenv("KVP_TRACE");
  if (path == nullptr || *path == '\0') return;
  // Opened per text, like the viewer lookup on Windows: nothing survives between lines, and
  // O_APPEND keeps the texts of concurrent threads whole.
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  WriteAll(fd, text, std::strlen(text));
  close(fd);
}

int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

void ExitProcess(uint32_t code) {
  std::fflush(nullptr);
  _exit(static_cast<int>(code));
}

// The offscreen windows hold 24-bit pixels.
uint16_t ScreenBitsPerPixel() { return 24; }

}  // namespace side

bool IsWindowsNT() { return false; }

}  // namespace platform
