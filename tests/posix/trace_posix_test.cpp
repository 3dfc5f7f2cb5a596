// The POSIX trace send (the KVP_TRACE file), the default message box and the real process end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "diag/check.h"
#include "diag/trace.h"
#include "platform/platform.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Points KVP_TRACE at a file for the life of the object.
class TraceFile {
 public:
  explicit TraceFile(const std::string& path) { setenv("KVP_TRACE", path.c_str(), 1); }
  ~TraceFile() { unsetenv("KVP_TRACE"); }
};

TEST(PosixTraceSend, AppendsEveryTextToTheKvpTraceFile) {
  test::TempDir dir;
  const std::string path = (dir.Path() / "trace.txt").string();
  dir.Write("trace.txt", std::string("before\n"));
  {
    TraceFile env(path);
    TraceValue("File I/O Error: %d ", 2);
    TraceLine("pano.pan");
    TraceHex(255);
    TraceOctal(8);
    TraceReal(0.5);
    TraceLockTimeout();
  }
  EXPECT_EQ(ReadAll(path), "before\nFile I/O Error: 2 pano.pan\n0xFF0100.5\a*\n");
}

TEST(PosixTraceSend, ThreadsNeverInterleaveWithinALine) {
  test::TempDir dir;
  const std::string path = (dir.Path() / "trace.txt").string();
  {
    TraceFile env(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([t] {
        const std::string line(200, char('a' + t));
        for (int i = 0; i < 100; ++i) TraceLine(line.c_str());
      });
    }
    for (auto& th : threads) th.join();
  }
  std::istringstream lines(ReadAll(path));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line, std::string(200, line[0]));
    ++count;
  }
  EXPECT_EQ(count, 400);
}

TEST(PosixTraceSend, WithoutKvpTraceOrWithAnUnwritablePathTheTextIsDropped) {
  test::TempDir dir;
  unsetenv("KVP_TRACE");
  TraceLine("dropped");
  {
    TraceFile env((dir.Path() / "no-such-folder" / "trace.txt").string());
    TraceLine("dropped too");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(PosixMessageBox, WritesToStandardErrorAndLetsTheCallerGoOn) {
  testing::internal::CaptureStderr();
  const int ok = platform::ShowMessageBox("Text\nmore", "Caption", platform::kMbOk);
  const int yes = platform::ShowMessageBox("Continue?", "Check Failure",
                                           platform::kMbYesNo | platform::kMbTaskModal);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ok, platform::kIdOk);
  EXPECT_EQ(yes, platform::kIdYes);
  EXPECT_EQ(err, "Caption: Text\nmore\nCheck Failure: Continue?\n");
}

TEST(PosixProcessEndDeathTest, FatalStopReallyEndsTheProcessWithCodeZero) {
  EXPECT_EXIT(
      {
        FatalStop();
        std::exit(3);  // only reached if FatalStop returned
      },
      testing::ExitedWithCode(0), "");
}

TEST(PosixScreen, IsA24BitNonNtScreen) {
  EXPECT_EQ(platform::ScreenBitsPerPixel(), 24);
  EXPECT_FALSE(platform::IsWindowsNT());
}

}  // namespace
}  // namespace kvp
