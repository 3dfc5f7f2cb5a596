// POSIX full paths and the current directory with the meaning of the Win32 calls.
#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// Copies `text` Win32-style: its length when it fits, else the size needed and no write.
uint32_t CopyOut(const std::string& text, char* buffer, uint32_t size) {
  if (buffer == nullptr || text.size() + 1 > size) return uint32_t(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return uint32_t(text.size());
}

std::string CurrentDirectory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

uint32_t GetFullPath(const char* path, char* buffer, uint32_t size) {
  if (path == nullptr || path[0] == '\0') {
    errno = EINVAL;
    return 0;
  }
  std::string joined;
  if (path[0] == '/') {
    joined = path;
  } else {
    joined = CurrentDirectory();
    if (joined.empty()) return 0;
    joined += '/';
    joined += path;
  }
  // Fold "." and ".." lexically, as GetFullPathName does; the file need not exist. A trailing
  // separator stays, as it does there.
  std::vector<std::string> parts;
  size_t at = 1;
  while (at <= joined.size()) {
    size_t end = joined.find('/', at);
    if (end == std::string::npos) end = joined.size();
    const std::string part = joined.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string full;
  for (const std::string& part : parts) full += "/" + part;
  if (full.empty()) full = "/";
  else if (joined.back() == '/') full += '/';
  return CopyOut(full, buffer, size);
}

uint32_t ReadCurrentDirectory(char* buffer, uint32_t size) {
  const std::string current = CurrentDirectory();
  if (current.empty()) return 0;
  return CopyOut(current, buffer, size);
}

bool ChangeCurrentDirectory(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return false;
  }
  return chdir(path) == 0;
}

bool IsPathSeparator(char c) { return c == '/'; }

}  // namespace platform
