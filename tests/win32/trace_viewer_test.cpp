// The trace channel end to end on Windows: the real TRX.EXE, WM_COPYDATA, and the lookup
// and start of the viewer.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>

#include "diag/trace.h"
#include "platform/win32/trace_viewer.h"
#include "tests/test_files.h"
#include "tests/win32/trace_viewer_helper.h"

namespace kvp {
namespace {

using test::CloseTraceViewer;
using test::FindTraceViewerWindow;
using test::ShownLines;
using test::TraceViewerProcess;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Restores the global "no viewer program" setting of the Windows tests.
struct ViewerProgram {
  explicit ViewerProgram(const char* program) { platform::SetTraceViewerProgram(program); }
  ~ViewerProgram() { platform::SetTraceViewerProgram("KVP-NO-TRACE-VIEWER.EXE"); }
};

TEST(TraceViewer, ReceivesEveryFormByteForByte) {
  ASSERT_EQ(FindTraceViewerWindow(), nullptr) << "a trace viewer is already running";
  test::TempDir dir;
  const std::string log = (dir.Path() / "trx.log").string();
  TraceViewerProcess viewer(log);
  ASSERT_NE(viewer.Window(), nullptr);

  // SendMessageA returns once the viewer has handled the text, so the log is complete here.
  TraceLine("Cannot Read File");
  const std::string first = ReadBytes(log);
  EXPECT_EQ(first.size(), 18u);
  EXPECT_EQ(first, std::string("Cannot Read File\n\0", 18));

  TraceHex(255);
  TraceOctal(8);
  TraceReal(0.5);
  TraceText("\n");
  TraceValue("File I/O Error: %d ", 2);
  TraceLine("C:\\pano\\hall.pan");
  TraceValueLine("ICDecompressExBegin Failed: %d", -2);
  TraceString("100%");
  TraceLockTimeout();
  const std::string want = std::string("Cannot Read File\n\0", 18) + std::string("0xFF\0", 5) +
                           std::string("010\0", 4) + std::string("0.5\0", 4) +
                           std::string("\n\0", 2) + std::string("File I/O Error: 2 \0", 19) +
                           std::string("C:\\pano\\hall.pan\n\0", 18) +
                           std::string("ICDecompressExBegin Failed: -2\n\0", 32) +
                           std::string("100%\0", 5) + std::string("\a*\n\0", 4);
  EXPECT_EQ(ReadBytes(log), want);

  // Pieces without a newline join one shown line; the BEL stays visible.
  const std::vector<std::string> shown = {"Cannot Read File",
                                          "0xFF0100.5",
                                          "File I/O Error: 2 C:\\pano\\hall.pan",
                                          "ICDecompressExBegin Failed: -2",
                                          "100%^G*"};
  EXPECT_EQ(ShownLines(viewer.Window()), shown);
}

TEST(TraceViewer, IsStartedByTheFirstLineThatFindsNoWindow) {
  ASSERT_EQ(FindTraceViewerWindow(), nullptr) << "a trace viewer is already running";
  ViewerProgram program(nullptr);  // "TRX.EXE", found beside the test program
  TraceLine("first line");
  HWND viewer = FindTraceViewerWindow();
  ASSERT_NE(viewer, nullptr) << "the viewer was not found right after it was started";
  TraceLine("second line");
  const std::vector<std::string> lines = ShownLines(viewer);
  // WinExec returns once the new viewer waits for input, by which time its window exists,
  // so the second lookup already finds it and even the first line arrives.
  const std::vector<std::string> want = {"first line", "second line"};
  EXPECT_EQ(lines, want);
  EXPECT_TRUE(CloseTraceViewer(viewer));
}

TEST(TraceViewer, WithNoViewerAndNoProgramEveryFormReturnsPromptly) {
  ASSERT_EQ(FindTraceViewerWindow(), nullptr) << "a trace viewer is already running";
  const auto start = std::chrono::steady_clock::now();
  TraceText("a");
  TraceLine("Cannot Read File");
  TraceValue("%d", 1);
  TraceValueLine("%d", 1);
  TraceReal(0.5);
  TraceString("s");
  TraceOctal(8);
  TraceHex(255);
  TraceLockTimeout();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 2000);
  EXPECT_EQ(FindTraceViewerWindow(), nullptr);
}

}  // namespace
}  // namespace kvp
