// POSIX files with the meaning of the Win32 calls: CreateFile read sharing, ReadFile, GetLastError.
#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// CreateFile's sharing rules, kept for this process: every file is opened with read sharing
// only, so while one handle may write no other open succeeds, and a writing open needs the
// file to be open nowhere else. Keyed by device and inode.
std::mutex gShareLock;
std::map<std::pair<dev_t, ino_t>, std::pair<int, int>> gOpenFiles;  // -> readers, writers

}  // namespace

struct File {
  int fd;
  std::pair<dev_t, ino_t> id;
  bool writable;
  bool counted = true;  // in gOpenFiles; read-only opens share everything and are not
};

namespace {

// CreateFile refuses folders; so do we. Fills `st` and returns true for anything else; closes
// `fd` and returns false (EISDIR) for a folder or a descriptor that cannot be examined.
bool KeepIfFile(int fd, struct stat& st) {
  if (fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) return true;
  close(fd);
  errno = EISDIR;
  return false;
}

}  // namespace

File* OpenFile(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  bool writable = true;
  int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG) {
    writable = false;
    fd = open(path, O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) return nullptr;
  struct stat st;
  if (!KeepIfFile(fd, st)) return nullptr;
  const std::pair<dev_t, ino_t> id(st.st_dev, st.st_ino);
  std::lock_guard<std::mutex> hold(gShareLock);
  auto& [readers, writers] = gOpenFiles[id];
  if (writers > 0 || (writable && readers > 0)) {
    if (writable && writers == 0) {
      // Write access is not shared: fall back to reading, as the Win32 open does.
      writable = false;
    } else {
      if (readers == 0 && writers == 0) gOpenFiles.erase(id);
      close(fd);
      errno = EBUSY;  // ERROR_SHARING_VIOLATION
      return nullptr;
    }
  }
  ++(writable ? writers : readers);
  return new File{fd, id, writable};
}

File* OpenFileReadOnly(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (!KeepIfFile(fd, st)) return nullptr;
  // Sharing reads and writes, it neither blocks the other opens nor is blocked by them.
  return new File{fd, {st.st_dev, st.st_ino}, false, false};
}

uint32_t ReadFile(File* file, void* buffer, uint32_t count) {
  if (file == nullptr) return 0;
  auto* out = static_cast<unsigned char*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    ssize_t n = read(file->fd, out + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<uint32_t>(n);
  }
  return done;
}

bool SeekFile(File* file, uint32_t offset) {
  if (file == nullptr) return false;
  return lseek(file->fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(-1);
}

uint32_t TellFile(File* file) {
  if (file == nullptr) return 0;
  off_t pos = lseek(file->fd, 0, SEEK_CUR);
  return pos < 0 ? 0 : static_cast<uint32_t>(pos);
}

uint32_t FileSize(File* file) {
  if (file == nullptr) return 0xFFFFFFFFu;
  struct stat st;
  if (fstat(file->fd, &st) != 0) return 0xFFFFFFFFu;
  if (st.st_size >= 0xFFFFFFFFll) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(st.st_size);
}

void CloseFile(File* file) {
  if (file == nullptr) return;
  if (file->counted) {
    std::lock_guard<std::mutex> hold(gShareLock);
    auto it = gOpenFiles.find(file->id);
    if (it != gOpenFiles.end()) {
      --(file->writable ? it->second.second : it->second.first);
      if (it->second.first == 0 && it->second.second == 0) gOpenFiles.erase(it);
    }
  }
  close(file->fd);
  delete file;
}

uint32_t LastError() { return static_cast<uint32_t>(errno); }

// glibc keeps the text of an unknown code per thread, so this is safe on any thread.
std::string ErrorText(uint32_t code) { return std::strerror(static_cast<int>(code)); }

}  // namespace platform
