// Private-profile reading on Windows: the real calls.
#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                          char* buffer, uint32_t size, const char* fileName) {
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

int32_t ReadProfileInt(const char* section, const char* key, int32_t defaultValue,
                      const char* fileName) {
  return static_cast<int32_t>(GetPrivateProfileIntA(section, key, defaultValue, fileName));
}

}  // namespace platform
