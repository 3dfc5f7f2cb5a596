// Win32 files: CreateFile with read sharing, ReadFile, SetFilePointerEx, GetLastError.
#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

struct File {
  HANDLE handle;
};

File* OpenFile(const char* path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return new File{h};
}

File* OpenFileReadOnly(const char* path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return new File{h};
}

uint32_t ReadFile(File* file, void* buffer, uint32_t count) {
  if (file == nullptr) return 0;
  DWORD done = 0;
  if (!::ReadFile(file->handle, buffer, count, &done, nullptr)) return done;
  return done;
}

bool SeekFile(File* file, uint32_t offset) {
  if (file == nullptr) return false;
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(file->handle, to, nullptr, FILE_BEGIN) != 0;
}

uint32_t TellFile(File* file) {
  if (file == nullptr) return 0;
  LARGE_INTEGER zero, pos;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(file->handle, zero, &pos, FILE_CURRENT)) return 0;
  return static_cast<uint32_t>(pos.QuadPart);
}

uint32_t FileSize(File* file) {
  if (file == nullptr) return 0xFFFFFFFFu;
  return GetFileSize(file->handle, nullptr);
}

void CloseFile(File* file) {
  if (file == nullptr) return;
  CloseHandle(file->handle);
  delete file;
}

uint32_t LastError() { return GetLastError(); }

std::string ErrorText(uint32_t code) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  // The messages end in ".\r\n", which a caller embedding them in its own line does not want.
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' ||
                   text[n - 1] == '.')) {
    --n;
  }
  if (n == 0) return "system error " + std::to_string(code);
  return std::string(text, n);
}

}  // namespace platform
