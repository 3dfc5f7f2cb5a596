// Replays a fuzz target's saved inputs without libFuzzer: every file of every folder (or file)
// named on the command line goes once through LLVMFuzzerTestOneInput. `make test` runs it
// over each target's seeds and regression inputs so that faults once found stay fixed.
// With --report=FILE first it leaves a JUnit report of one test (the target) for the summary;
// a crash or sanitizer report ends the process before it, and the test counts as failed.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  std::string report;
  int first = 1;
  if (argc > 1 && std::string(argv[1]).rfind("--report=", 0) == 0) {
    report = argv[1] + 9;
    first = 2;
  }
  for (int i = first; i < argc; ++i) {
    const std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& entry : std::filesystem::directory_iterator(p)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else if (std::filesystem::is_regular_file(p)) {
      inputs.push_back(p);
    } else {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      return 2;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs\n");
    return 2;
  }
  for (const auto& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s\n", path.string().c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  if (!report.empty()) {
    const std::string name = std::filesystem::path(argv[0]).filename().string();
    std::ofstream out(report, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites tests=\"1\" failures=\"0\" disabled=\"0\" errors=\"0\" name=\"" << name
        << "\">\n  <testsuite name=\"" << name << "\" tests=\"1\" failures=\"0\">\n"
        << "    <testcase name=\"replay\" inputs=\"" << inputs.size() << "\"/>\n"
        << "  </testsuite>\n</testsuites>\n";
  }
  std::error_code ignored;
  std::filesystem::remove_all(kvp::fuzz::Folder(), ignored);
  return 0;
}
