// POSIX multimedia: no MCI and no 8.3 names; the seam answers as a Windows without them would.
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "platform/common/side.h"
#include "platform/platform.h"

namespace platform {

uint32_t side::SendMciCommand(const char*, Window*) { return kMciErrorDeviceNotInstalled; }

bool side::StopWaveSound() { return true; }

// A volume without short names answers GetShortPathName with the path as given.
uint32_t GetShortPath(const char* path, char* buffer, uint32_t size) {
  struct stat st;
  if (path == nullptr) {
    errno = EINVAL;
    return 0;
  }
  if (stat(path, &st) != 0) return 0;
  const size_t length = std::strlen(path);
  if (buffer == nullptr || length + 1 > size) return uint32_t(length + 1);
  std::memcpy(buffer, path, length + 1);
  return uint32_t(length);
}

}  // namespace platform
