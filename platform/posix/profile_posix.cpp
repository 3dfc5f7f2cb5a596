// POSIX has no private-profile calls: the seam's are our own reader (platform/common/).
#include "platform/common/profile_reader.h"
#include "platform/platform.h"

namespace platform {

uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t size, const char* fileName) {
  return common::ReadProfileString(section, key, defaultValue, buffer, size, fileName);
}

int32_t ReadProfileInt(const char* section, const char* key, int32_t defaultValue,
                       const char* fileName) {
  return common::ReadProfileInt(section, key, defaultValue, fileName);
}

}  // namespace platform
