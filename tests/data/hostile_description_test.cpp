// Hostile description files: counts the format allows but no tour needs, sections too long for
// their key list, and the profile read once answering exactly like the calls that read anew.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "data/environment_set.h"
#include "data/tour_map.h"
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

TEST(HostileDescription, FarAwayAndNotANumberNodesGetAMapInsideTheIntRange) {
  constexpr int32_t kLimit = 1 << 30;
  const MapGeometry far = ComputeMapGeometry(-1e300, 1e300, 0, 1e300, 1e300);
  EXPECT_EQ(far.originX, kLimit);
  EXPECT_EQ(far.originY, kLimit);
  EXPECT_EQ(far.clientWidth, kLimit);
  EXPECT_EQ(far.clientHeight, kLimit);
  const double nan = std::nan("");
  const MapGeometry none = ComputeMapGeometry(nan, nan, 0, 1, nan);
  EXPECT_EQ(none.originX, 0);
  EXPECT_EQ(none.clientWidth, 0);
  EXPECT_EQ(none.clientHeight, 0);
  const MapRectangle r = MarkerRectangle(-1e300, nan, 10, 10, 100);
  EXPECT_EQ(r.left, -kLimit);
  EXPECT_EQ(r.right, -kLimit);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.bottom, 0);
  // Through a whole open (the sanitizer build checks every conversion on the way).
  test::TempDir dir;
  dir.Write("a.pan", test::Container(test::FlatImage(16, 8, 1)));
  const std::string path =
      dir.Write("far.ini", "[Directory]\na.pan=1e300, nan, 0, 1\nb.pan=-1e300, 5, 0, 1e300\n");
  test::Capture capture;
  EnvironmentSet set;
  int32_t result = 0;
  SecondsToOpen(set, path, result);
  EXPECT_EQ(result, 2);
}

}  // namespace
}  // namespace kvp

namespace kvp {
namespace {

// Every pair in index order: the neighbour rule as written.
void AllPairs(std::vector<PanoramaNode>& nodes) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    int32_t best = -1;
    double bestSquare = 0;
    for (size_t j = 0; j < nodes.size(); ++j) {
      if (j == i) continue;
      const double dx = nodes[j].x - nodes[i].x, dy = nodes[j].y - nodes[i].y,
                   dz = nodes[j].z - nodes[i].z;
      const double square = dx * dx + dy * dy + dz * dz;
      if (best < 0 || square < bestSquare) {
        best = int32_t(j);
        bestSquare = square;
      }
    }
    nodes[i].nearest = best;
    nodes[i].nearestDistance = best < 0 ? 0 : std::sqrt(bestSquare);
  }
}

TEST(HostileDescription, NeighboursOfManyNodesMatchEveryPairIncludingTies) {
  // A lattice (many equal distances, duplicates), scattered points, and a nan among them.
  std::vector<PanoramaNode> nodes;
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int i = 0; i < 3000; ++i) {
    PanoramaNode n;
    if (i % 3 == 0) {
      n.x = double(i % 17);
      n.y = double(i % 5);
      n.z = 0;
    } else {
      n.x = (next() % 1000) / 7.0;
      n.y = (next() % 1000) / 3.0;
      n.z = double(next() % 4);
    }
    nodes.push_back(n);
  }
  for (int round = 0; round < 2; ++round) {
    std::vector<PanoramaNode> fast = nodes, plain = nodes;
    EnvironmentSet::FindNeighbours(fast);
    AllPairs(plain);
    for (size_t i = 0; i < nodes.size(); ++i) {
      ASSERT_EQ(fast[i].nearest, plain[i].nearest) << i;
      const bool bothNan =
          std::isnan(fast[i].nearestDistance) && std::isnan(plain[i].nearestDistance);
      if (!bothNan) {
        ASSERT_EQ(fast[i].nearestDistance, plain[i].nearestDistance) << i;
      }
    }
    nodes[7].y = std::nan("");
  }
}

}  // namespace
}  // namespace kvp
