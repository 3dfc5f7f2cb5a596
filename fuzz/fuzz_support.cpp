// The fuzz targets' shared set-up: silenced diagnostics and a private scratch folder.
#include "fuzz/fuzz_support.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/platform.h"
#include "platform/testing.h"

namespace kvp::fuzz {

void Quiet() {
  static const bool done = [] {
    platform::SetTraceHook([](const char*, void*) {}, nullptr);
    platform::SetMessageBoxHook([](const char*, const char*, uint32_t, void*) { return 1; },
                                nullptr);
    platform::SetExitHook([](uint32_t, void*) {}, nullptr);
    return true;
  }();
  (void)done;
}

const std::string& Folder() {
  static const std::string folder = [] {
    std::random_device random;
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("kvp-fuzz-" + std::to_string(random()));
    std::filesystem::create_directories(path);
    return path.string();
  }();
  return folder;
}

std::string WriteFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = Folder() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  return path;
}

void WriteNodeImages() {
  static const bool written = [] {
    std::string packed(40, '\0');
    const uint8_t header[40] = {40, 0, 0, 0, 64, 0, 0, 0, 8, 0, 0, 0, 1, 0, 8, 0};
    packed.assign(reinterpret_cast<const char*>(header), sizeof header);
    packed += std::string(1024, '\x20') + std::string(64 * 8, '\x07');
    std::string container = "KVPF" + std::string(4, '\0') + std::string("\x01\0\0\0", 4) +
                            std::string(4, '\0') + "BTMP" + std::string("\x20\0\0\0", 4);
    const uint32_t length = uint32_t(packed.size());
    container += std::string{char(length & 0xFF), char(length >> 8 & 0xFF), 0, 0};
    container += std::string(4, '\0') + packed;
    WriteFile("a.pan", reinterpret_cast<const uint8_t*>(container.data()),
                         container.size());
    const uint32_t fileSize = length + 14;
    std::string bitmap = "BM" + std::string{char(fileSize & 0xFF), char(fileSize >> 8 & 0xFF), 0, 0};
    bitmap += std::string(8, '\0') + packed;
    WriteFile("b.bmp", reinterpret_cast<const uint8_t*>(bitmap.data()), bitmap.size());
    return true;
  }();
  (void)written;
}

}  // namespace kvp::fuzz
