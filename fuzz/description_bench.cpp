// Prints how long opening a description of 10, 1,000 and 20,000 nodes takes (100 nodes per
// numbered directory section, each node's file a small image or missing): the figure a
// hostile description's size turns into a hang or not. `kvp_description_bench [nodes...]`.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/environment_set.h"
#include "platform/platform.h"
#include "platform/testing.h"

namespace {

std::string WriteDescription(const std::filesystem::path& folder, int nodes) {
  const int sections = (nodes + 99) / 100;
  std::string text = "[Kestrelvue]\nVERSION=Release 2.0\nEnvironment Count=" +
                     std::to_string(sections) + "\n";
  for (int d = 1, n = 0; d <= sections; ++d) {
    text += "[Directory " + std::to_string(d) + "]\n";
    for (int i = 0; i < 100 && n < nodes; ++i, ++n) {
      text += "n" + std::to_string(n) + ".pan=" + std::to_string(n % 100) + ", " +
              std::to_string(n / 100) + ", 0, 1\n";
    }
  }
  const std::filesystem::path path = folder / ("tour-" + std::to_string(nodes) + ".ini");
  std::ofstream(path, std::ios::binary) << text;
  return path.string();
}

// The first node's image: a container of a 64 x 8 8-bit picture.
void WriteFirstImage(const std::filesystem::path& folder) {
  std::string packed(40, '\0');
  const unsigned char header[16] = {40, 0, 0, 0, 64, 0, 0, 0, 8, 0, 0, 0, 1, 0, 8, 0};
  packed.replace(0, 16, reinterpret_cast<const char*>(header), 16);
  packed += std::string(1024 + 64 * 8, '\x07');
  const uint32_t length = uint32_t(packed.size());
  std::string file = std::string("KVPF") + std::string(4, '\0') + std::string("\x01\0\0\0", 4) +
                     std::string(4, '\0') + "BTMP" + std::string("\x20\0\0\0", 4) +
                     std::string{char(length & 0xFF), char(length >> 8), 0, 0} +
                     std::string(4, '\0') + packed;
  std::ofstream(folder / "n0.pan", std::ios::binary) << file;
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetTraceHook([](const char*, void*) {}, nullptr);
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {10, 1000, 20000};
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "kvp-description-bench";
  std::filesystem::create_directories(folder);
  WriteFirstImage(folder);
  for (int nodes : counts) {
    const std::string path = WriteDescription(folder, nodes);
    kvp::EnvironmentSet set;
    kvp::ViewPose start{}, minimum{}, maximum{};
    char error[256] = "";
    const auto begin = std::chrono::steady_clock::now();
    const int32_t result =
        set.OpenEnvironments(path.c_str(), error, start, minimum, maximum, nullptr, nullptr);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("description of %6d nodes: %6d opened in %10.4f s %s\n", nodes, int(result),
                seconds, error);
    std::fflush(stdout);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
