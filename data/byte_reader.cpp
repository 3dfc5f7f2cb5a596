// The plain byte sources (memory, an open platform file) and the owner that closes a file.
#include "data/byte_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace kvp {

OpenedFile::OpenedFile(const char* path) : file_(platform::OpenFile(path)) {}

OpenedFile::~OpenedFile() { platform::CloseFile(file_); }

MemoryReader::MemoryReader(const void* data, size_t length)
    : data_(static_cast<const uint8_t*>(data)),
      length_(length > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(length)) {}

uint32_t MemoryReader::Read(void* buffer, uint32_t count) {
  if (position_ >= length_) return 0;
  const uint32_t n = std::min(count, length_ - position_);
  std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

bool MemoryReader::Seek(uint32_t offset) {
  position_ = offset;
  return true;
}

uint32_t FileReader::Read(void* buffer, uint32_t count) {
  return platform::ReadFile(file_, buffer, count);
}

bool FileReader::Seek(uint32_t offset) { return platform::SeekFile(file_, offset); }

uint32_t FileReader::Tell() { return platform::TellFile(file_); }

uint32_t FileReader::Size() { return platform::FileSize(file_); }

}  // namespace kvp
