// Win32 full paths and the current directory: the real calls.
#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

uint32_t GetFullPath(const char* path, char* buffer, uint32_t size) {
  if (path == nullptr || path[0] == '\0') {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ::GetFullPathNameA(path, size, buffer, nullptr);
}

uint32_t ReadCurrentDirectory(char* buffer, uint32_t size) {
  return ::GetCurrentDirectoryA(size, buffer);
}

bool ChangeCurrentDirectory(const char* path) {
  return path != nullptr && ::SetCurrentDirectoryA(path) != 0;
}

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace platform
