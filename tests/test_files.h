// Test helpers: a private temporary folder per test and quick byte-building.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kvp::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Writes `bytes` to a file of that name in the folder and returns its full path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path_;
};

// Appends little-endian values to a byte vector, for crafting files by hand.
void PutU16(std::vector<uint8_t>& out, uint16_t v);
void PutU32(std::vector<uint8_t>& out, uint32_t v);
void PutF32(std::vector<uint8_t>& out, float v);
void PutText(std::vector<uint8_t>& out, const std::string& text);  // without NUL

// A packed image header (40 bytes) with the given fields.
std::vector<uint8_t> InfoHeaderBytes(int32_t width, int32_t height, uint16_t bits,
                                     uint32_t compression = 0, uint32_t sizeImage = 0,
                                     int32_t xPels = 0, int32_t yPels = 0);

// The bytes of tests/fixtures/<name>; empty when it is missing.
std::vector<uint8_t> ReadFixture(const std::string& name);

}  // namespace kvp::test
