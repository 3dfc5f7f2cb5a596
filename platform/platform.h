// The platform seam: every operating-system service the portable core uses, with Win32 meaning.
//
// The core never includes an OS header. Each function here has exactly the semantics of the
// Win32 call it stands for; platform/win32/ forwards to that call and platform/posix/
// reproduces it with the C++ library and POSIX. Later parts of the system add threads,
// semaphores, timers, windows and codecs here.
#pragma once

#include <cstdint>

namespace platform {

// ---- Files ------------------------------------------------------------------------------
//
// A file opened for reading panorama data. The handle is owned by the caller and released
// with CloseFile. All functions may be called from any thread, one thread per handle at a
// time.

struct File;

// Opens an existing file for reading and writing with read sharing (other openers may read);
// when that is refused (read-only file or folder, or a writer holds it) falls back to
// read-only access. Returns null on failure; LastError() then tells why.
File* OpenFile(const char* path);

// Reads up to `count` bytes at the current position into `buffer` and advances the position.
// Returns the number of bytes read: fewer than `count` only at the end of the file or on an
// error (then LastError() is set). Like ReadFile, a read at or past the end returns 0.
uint32_t ReadFile(File* file, void* buffer, uint32_t count);

// Sets the read position to `offset` bytes from the start (SetFilePointer, FILE_BEGIN).
// Positions past the end are allowed; reads there return 0. Returns false on failure.
bool SeekFile(File* file, uint32_t offset);

// The current read position, in bytes from the start.
uint32_t TellFile(File* file);

// The size of the file in bytes (GetFileSize); files above 4 GiB - 2 report 0xFFFFFFFF.
uint32_t FileSize(File* file);

// Closes the handle; null is allowed and ignored.
void CloseFile(File* file);

// The calling thread's last system error code (GetLastError; errno on POSIX).
uint32_t LastError();

}  // namespace platform
