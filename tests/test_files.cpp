// Test helpers: temporary folders and little-endian byte building.
#include "tests/test_files.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>

#include "data/packed_image.h"

namespace kvp::test {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = std::filesystem::temp_directory_path() /
          ("kvp-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return file.string();
}

std::string TempDir::Write(const std::string& name, const std::string& text) const {
  return Write(name, std::vector<uint8_t>(text.begin(), text.end()));
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void PutF32(std::vector<uint8_t>& out, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  PutU32(out, bits);
}

void PutText(std::vector<uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

std::vector<uint8_t> InfoHeaderBytes(int32_t width, int32_t height, uint16_t bits,
                                     uint32_t compression, uint32_t sizeImage, int32_t xPels,
                                     int32_t yPels) {
  BitmapInfoHeader h;
  h.width = width;
  h.height = height;
  h.bitCount = bits;
  h.compression = compression;
  h.sizeImage = sizeImage;
  h.xPelsPerMeter = xPels;
  h.yPelsPerMeter = yPels;
  std::vector<uint8_t> out(kInfoHeaderSize);
  WriteInfoHeader(out.data(), h);
  return out;
}

std::vector<uint8_t> ReadFixture(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(__FILE__).parent_path() / "fixtures";
  std::ifstream in(folder / name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                              std::istreambuf_iterator<char>());
}

}  // namespace kvp::test
