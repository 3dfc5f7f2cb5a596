// Sources of file bytes for the format readers: an open file, or bytes already in memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {
struct File;
}

namespace kvp {

// What the format readers read through. The loader supplies a chunked read that can be told
// to abort; tools and tests use the two below. A short read means the end of the data, an
// error or an abort: the readers treat all three alike.
class ByteReader {
 public:
  virtual ~ByteReader() = default;
  // Reads up to `count` bytes at the position and advances it; returns the bytes read.
  virtual uint32_t Read(void* buffer, uint32_t count) = 0;
  // Moves the position to `offset` from the start; past the end is allowed (reads give 0).
  virtual bool Seek(uint32_t offset) = 0;
  virtual uint32_t Tell() = 0;
  // Total length of the data in bytes.
  virtual uint32_t Size() = 0;
};

class MemoryReader final : public ByteReader {
 public:
  MemoryReader(const void* data, size_t length);
  uint32_t Read(void* buffer, uint32_t count) override;
  bool Seek(uint32_t offset) override;
  uint32_t Tell() override { return position_; }
  uint32_t Size() override { return length_; }

 private:
  const uint8_t* data_;
  uint32_t length_;
  uint32_t position_ = 0;
};

// Owns an open platform file for the length of a read (closed with it; null when it could
// not be opened).
class OpenedFile {
 public:
  explicit OpenedFile(const char* path);
  ~OpenedFile();
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  platform::File* get() const { return file_; }

 private:
  platform::File* file_;
};

// Reads an open platform file; does not own it.
class FileReader final : public ByteReader {
 public:
  explicit FileReader(platform::File* file) : file_(file) {}
  uint32_t Read(void* buffer, uint32_t count) override;
  bool Seek(uint32_t offset) override;
  uint32_t Tell() override;
  uint32_t Size() override;

 private:
  platform::File* file_;
};

}  // namespace kvp
