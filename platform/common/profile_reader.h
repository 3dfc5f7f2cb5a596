// Our own private-profile (".ini") reader, with the answers of GetPrivateProfileStringA and
// GetPrivateProfileIntA: the seam's profile calls on every side without them (POSIX, the web).
//
// It reads files with the C++ library only. Windows builds it too, so that the Windows tests
// hold it to the real calls on the same files (tests/win32/profile_reader_test.cpp); both
// builds also hold it to answers recorded from those calls (tests/fixtures/profiles/).
#pragma once

#include <cstdint>

namespace platform {
namespace common {

// The meaning of platform::ReadProfileString and platform::ReadProfileInt (platform.h). Any
// thread; each call reads the file anew (platform::ProfileFile reads it once).
uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t size, const char* fileName);
int32_t ReadProfileInt(const char* section, const char* key, int32_t defaultValue,
                       const char* fileName);

}  // namespace common
}  // namespace platform
