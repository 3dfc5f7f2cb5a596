// Trace forms and check failures, seen through the platform seam's test hooks.
#include "diag/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "diag/check.h"
#include "tests/diag/capture.h"

namespace kvp {
namespace {

using test::Capture;

TEST(TraceForms, SendTheirTextsExactly) {
  Capture capture;
  TraceText("Empty Directory Section: ");
  TraceLine("Cannot Read File");
  TraceValue("File I/O Error: %d ", 32);
  TraceValueLine("ICDecompressEx Failed: %d", -100);
  TraceReal(0.5);
  TraceString("a%db");
  TraceOctal(8);
  TraceHex(255);
  TraceHex(-1);
  TraceOctal(-1);
  TraceReal(1e100);
  TraceLockTimeout();
  const std::vector<std::string> want = {
      "Empty Directory Section: ", "Cannot Read File\n", "File I/O Error: 32 ",
      "ICDecompressEx Failed: -100\n", "0.5", "a%db", "010", "0xFF", "0xFFFFFFFF",
      "037777777777", "1e+100", "\a*\n"};
  EXPECT_EQ(capture.Traces(), want);
}

TEST(TraceForms, CutLongTextsSoTheLineWithItsNewlineFits256Bytes) {
  Capture capture;
  const std::string text(300, 'x');
  TraceLine(text.c_str());
  TraceString(text.c_str());
  TraceValue((text + "%d").c_str(), 7);
  TraceValueLine(("%d" + text).c_str(), 7);
  TraceText(text.c_str());  // the one form without a buffer
  TraceLine(std::string(254, 'y').c_str());
  TraceLine(std::string(255, 'z').c_str());

  const auto traces = capture.Traces();
  ASSERT_EQ(traces.size(), 7u);
  EXPECT_EQ(traces[0], std::string(254, 'x') + "\n");
  EXPECT_EQ(traces[1], std::string(255, 'x'));
  EXPECT_EQ(traces[2], std::string(255, 'x'));
  EXPECT_EQ(traces[3], "7" + std::string(253, 'x') + "\n");
  EXPECT_EQ(traces[4], text);
  EXPECT_EQ(traces[5], std::string(254, 'y') + "\n");  // exactly full
  EXPECT_EQ(traces[6], std::string(254, 'z') + "\n");  // one over: cut
}

TEST(TraceForms, NullTextsNeitherCrashNorInventText) {
  Capture capture;
  TraceText(nullptr);
  TraceLine(nullptr);
  TraceString(nullptr);
  TraceValue(nullptr, 1);
  TraceValueLine(nullptr, 1);
  const std::vector<std::string> want = {"\n", ""};
  EXPECT_EQ(capture.Traces(), want);
}

TEST(TraceForms, ThreadsSendWholeLines) {
  Capture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) TraceValueLine("thread %d", t);
    });
  }
  for (auto& th : threads) th.join();
  const auto traces = capture.Traces();
  ASSERT_EQ(traces.size(), 200u);
  int perThread[4] = {};
  for (const auto& line : traces) {
    ASSERT_EQ(line.size(), 9u) << line;
    ++perThread[line[7] - '0'];
  }
  for (int n : perThread) EXPECT_EQ(n, 50);
}

TEST(CheckFailure, YesReturnsAndChangesNothing) {
  Capture capture(platform::kIdYes);
  CheckFailure("warper.cpp", 412, "rows > 0");
  ASSERT_EQ(capture.Boxes().size(), 1u);
  const test::Box box = capture.Boxes()[0];
  EXPECT_EQ(box.text, "File: warper.cpp\nLine: 412\nExpr: rows > 0\nContinue?");
  EXPECT_EQ(box.caption, "Check Failure");
  EXPECT_EQ(box.style, platform::kMbYesNo | platform::kMbTaskModal);
  EXPECT_EQ(box.style, 0x2004u);
  EXPECT_TRUE(capture.Exits().empty());
  EXPECT_TRUE(capture.Traces().empty());
}

TEST(CheckFailure, NoEndsTheProcessWithCodeZero) {
  Capture capture(platform::kIdNo);
  CheckFailure("a.cpp", 1, "x");
  EXPECT_EQ(capture.Exits(), std::vector<uint32_t>{0});
}

TEST(CheckFailure, LongTextsAreCutToTheBoxBuffer) {
  Capture capture(platform::kIdYes);
  const std::string expression(3000, 'e');
  CheckFailure("f.cpp", 7, expression.c_str());
  ASSERT_EQ(capture.Boxes().size(), 1u);
  EXPECT_EQ(capture.Boxes()[0].text.size(), 1023u);
  EXPECT_EQ(capture.Boxes()[0].text.rfind("File: f.cpp\nLine: 7\nExpr: eee", 0), 0u);
}

TEST(FatalStop, EndsTheProcessWithCodeZero) {
  Capture capture;
  FatalStop();
  EXPECT_EQ(capture.Exits(), std::vector<uint32_t>{0});
  EXPECT_TRUE(capture.Boxes().empty());
}

}  // namespace
}  // namespace kvp
