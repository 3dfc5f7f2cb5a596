// Private-profile (".ini") reading with the semantics of GetPrivateProfileStringA and
// GetPrivateProfileIntA. Part of the platform seam; platform.h includes it.
//
// On Windows these forward to the real calls. The POSIX reader is our own and is held to the
// Windows behaviour by a corpus of awkward files whose answers were taken from the Windows
// calls (tests/fixtures/profiles/). Any thread may call them; each call reads the file anew.
#pragma once

#include <cstdint>

namespace platform {

// Copies the value of `key` in `section` of `fileName` into `buffer` (`size` bytes), or
// `defaultValue` (null reads as "") when there is none. Section and key names compare without
// regard to case. With a null `key` it copies the section's key names instead, each ended by
// a NUL and the list by a second NUL; with a null `section`, the section names likewise.
// Returns the number of characters copied, not counting the final NUL; a value cut to fit
// returns size - 1, a list cut to fit size - 2. `buffer` must not be null when size > 0.
uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                          char* buffer, uint32_t size, const char* fileName);

// The value of `key` in `section` read as a decimal integer (leading blanks, an optional
// sign, digits; what follows is ignored), or `defaultValue` when the key is missing.
int32_t ReadProfileInt(const char* section, const char* key, int32_t defaultValue,
                      const char* fileName);

}  // namespace platform
