// Hostile description files: counts the format allows but no tour needs, sections too long for
// their key list, and the profile read once answering exactly like the calls that read anew.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "data/environment_set.h"
#include "platform/platform.h"
#include "tests/data/tour_files.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

double SecondsToOpen(EnvironmentSet& set, const std::string& path, int32_t& result) {
  ViewPose start{}, minimum{}, maximum{};
  char error[256] = "";
  const auto begin = std::chrono::steady_clock::now();
  result = set.OpenEnvironments(path.c_str(), error, start, minimum, maximum, nullptr, nullptr);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

TEST(HostileDescription, HugeCountsVisitOnlyTheSectionsTheFileHolds) {
  test::TempDir dir;
  dir.Write("a.pan", test::Container(test::FlatImage(16, 8, 1)));
  // 99 bytes: two billion environments, the one section numbered to match the count.
  const std::string billions = dir.Write(
      "billions.ini",
      "[Kestrelvue]\nEnvironment Count=2000000000\n[Directory 2000000000]\na.pan=1, 2, 3, 4\n");
  {
    test::Capture capture;
    EnvironmentSet set;
    int32_t result = 0;
    EXPECT_LT(SecondsToOpen(set, billions, result), 5.0);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(set.Node(0).environment, 2000000000);
    EXPECT_DOUBLE_EQ(set.Node(0).y, 2);
  }
  // The largest count the controller accepts, sections 1 and 3 present: section 2 is still
  // reported empty, the nodes keep their numbers.
  const std::string many = dir.Write("many.ini",
                                     "[Kestrelvue]\nEnvironment Count=32767\n"
                                     "[Directory 3]\na.pan=3,0,0,1\n[Directory 1]\na.pan=1,0,0,1\n");
  test::Capture capture;
  EnvironmentSet set;
  int32_t result = 0;
  EXPECT_LT(SecondsToOpen(set, many, result), 5.0);
  ASSERT_EQ(result, 2);
  EXPECT_EQ(set.Node(0).environment, 1);
  EXPECT_EQ(set.Node(1).environment, 3);
  EXPECT_NE(capture.TraceStream().find("Empty Directory Section: Directory 2\n"), std::string::npos);
  EXPECT_EQ(capture.TraceStream().find("Directory 4"), std::string::npos);
}

TEST(HostileDescription, ASectionCutByItsKeyListIsTracedAndReadQuickly) {
  test::TempDir dir;
  // Only the first node's file exists: the others load as missing files, later.
  dir.Write("n0.pan", test::Container(test::FlatImage(16, 8, 1)));
  std::string text = "[Directory]\n";
  for (int i = 0; i < 20000; ++i) {
    text += "n" + std::to_string(i) + ".pan=" +
            std::to_string(i % 200) + ", " + std::to_string(i / 200) + ", 0, 1\n";
  }
  const std::string path = dir.Write("big.ini", text);
  test::Capture capture;
  EnvironmentSet set;
  int32_t result = 0;
  EXPECT_LT(SecondsToOpen(set, path, result), 20.0);
  // The 32768-byte key list holds what fits; the rest is lost, and the trace says so.
  EXPECT_GT(result, 2000);
  EXPECT_LT(result, 20000);
  EXPECT_NE(capture.TraceStream().find("Directory Section Cut: Directory\n"), std::string::npos);
}

TEST(HostileDescription, ASectionThatFitsIsNotReportedCut) {
  test::TempDir dir;
  dir.Write("a.pan", test::Container(test::FlatImage(16, 8, 1)));
  const std::string path = dir.Write("small.ini", "[Directory]\na.pan=0,0,0,1\n");
  test::Capture capture;
  EnvironmentSet set;
  int32_t result = 0;
  SecondsToOpen(set, path, result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(capture.TraceStream().find("Cut"), std::string::npos);
}

}  // namespace
}  // namespace kvp
