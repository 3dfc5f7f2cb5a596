// Opening environment sets from description files: directory sections, environment numbers,
// blocked keys, value parsing, neighbours, bounds, the map geometry, and the failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "data/environment_set.h"
#include "platform/platform.h"
#include "tests/data/tour_files.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

using test::Capture;

struct Opened {
  int32_t result;
  std::string error;
  ViewPose start, minimum, maximum;
};

Opened OpenFile(EnvironmentSet& set, const std::string& path) {
  Opened o{};
  char error[256] = "";
  o.start.heading = 33;
  o.minimum.heading = 44;
  o.result = set.OpenEnvironments(path.c_str(), error, o.start, o.minimum, o.maximum, nullptr,
                                  nullptr);
  o.error = error;
  return o;
}

std::string CurrentDirectory() {
  char buffer[1024];
  const uint32_t n = platform::ReadCurrentDirectory(buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? buffer : "";
}

class Description : public ::testing::Test {
 protected:
  void Images(const std::vector<std::string>& names) {
    for (const std::string& name : names) dir_.Write(name, test::Container(test::FlatImage(16, 8, 1)));
  }
  std::string Full(const std::string& name) const {
    char full[1024];
    const uint32_t n = platform::GetFullPath((dir_.Path() / name).string().c_str(), full, sizeof full);
    return n > 0 && n < sizeof full ? full : "";
  }
  test::TempDir dir_;
};

TEST_F(Description, EnvironmentCountPicksTheNumberedSectionsInFileOrder) {
  Images({"a.pan", "b.pan", "c.pan", "d.pan", "e.pan", "z.pan"});
  const std::string file = dir_.Write(
      "tour.ini",
      "[Kestrelvue]\nEnvironment Count=2\n"
      "[Directory]\nz.pan=100,100,100,0\n"
      "[Directory 1]\nc.pan=2,0,0,1\na.pan=0,0,0,1\nb.pan=1,0,0,1\n"
      "[directory 2]\nE.pan=0,5,0,3\nd.pan=0,6,0,2\n");
  const std::string before = CurrentDirectory();
  EnvironmentSet set;
  const Opened o = OpenFile(set, file);
  ASSERT_EQ(o.result, 5) << o.error;
  const char* names[] = {"c.pan", "a.pan", "b.pan", "E.pan", "d.pan"};
  const int32_t environments[] = {1, 1, 1, 2, 2};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(set.Node(i).path, Full(names[i])) << i;
    EXPECT_EQ(set.Node(i).environment, environments[i]) << i;
    EXPECT_EQ(set.Node(i).status, kNodeUsable);
  }
  EXPECT_EQ(CurrentDirectory(), before);  // put back after each section
  // Start at node 0; bounds over all capture points, radii in the field-of-view place.
  EXPECT_EQ(o.start.x, 2);
  EXPECT_EQ(o.start.heading, 33);
  EXPECT_EQ(set.LastPose().x, 2);
  EXPECT_EQ(o.minimum.x, 0);
  EXPECT_EQ(o.maximum.x, 2);
  EXPECT_EQ(o.maximum.y, 6);
  EXPECT_EQ(o.minimum.fieldOfView, 1);
  EXPECT_EQ(o.maximum.fieldOfView, 3);
  EXPECT_EQ(o.minimum.heading, 44);
}

TEST_F(Description, WithoutEnvironmentCountOnlyDirectoryIsRead) {
  Images({"a.pan", "b.pan"});
  const std::string file = dir_.Write(
      "tour.ini", "[Directory 1]\nb.pan=9,9,9,9\n[Directory]\na.pan=1,2,3,4\n");
  EnvironmentSet set;
  const Opened o = OpenFile(set, file);
  ASSERT_EQ(o.result, 1) << o.error;
  EXPECT_EQ(set.Node(0).path, Full("a.pan"));
  EXPECT_EQ(set.Node(0).environment, 0);
  EXPECT_EQ(set.Node(0).x, 1);
  EXPECT_EQ(set.Node(0).z, 3);
  EXPECT_EQ(set.Node(0).roamingRadius, 4);
  EXPECT_EQ(set.FastImagesEnabled(), 0);
}

TEST_F(Description, HashKeyIsABlockedNodeThatStillCountsAsANeighbour) {
  Images({"a.pan", "#hall.pan"});
  const std::string file =
      dir_.Write("tour.ini", "[Kestrelvue]\nFleetglider=1\n[Directory]\na.pan=0,0,0,0\n"
                             "#hall.pan=0, 10, 0, 2\n");
  EnvironmentSet set;
  ASSERT_EQ(OpenFile(set, file).result, 2);
  EXPECT_EQ(set.Node(1).status, kNodeBlocked);
  EXPECT_EQ(set.Node(1).path, Full("#hall.pan"));
  EXPECT_EQ(set.Node(0).nearest, 1);
  EXPECT_EQ(set.Node(0).nearestDistance, 10);
  EXPECT_EQ(set.Node(1).nearest, 0);
  EXPECT_EQ(set.FastImagesEnabled(), 1);
}

TEST_F(Description, ValuesParseWithOrWithoutBlanksAndShortValuesKeepThePreviousNumbers) {
  Images({"a.pan", "b.pan", "c.pan", "d.pan"});
  const std::string file = dir_.Write(
      "tour.ini", "[Directory]\na.pan=1.5,-2,3,0.25\nb.pan = 1.5, -2, 3, 0.25\n"
                  "c.pan=7\nd.pan=\n");
  EnvironmentSet set;
  ASSERT_EQ(OpenFile(set, file).result, 3);  // the empty value adds no node
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(set.Node(i).x, 1.5);
    EXPECT_EQ(set.Node(i).y, -2);
    EXPECT_EQ(set.Node(i).z, 3);
    EXPECT_EQ(set.Node(i).roamingRadius, 0.25);
  }
  EXPECT_EQ(set.Node(2).x, 7);
  EXPECT_EQ(set.Node(2).y, -2);
  EXPECT_EQ(set.Node(2).roamingRadius, 0.25);
}

TEST_F(Description, NeighboursTieToTheLowerIndex) {
  std::vector<PanoramaNode> nodes(3);
  nodes[0].x = 0;
  nodes[1].x = -1;
  nodes[2].x = 1;
  EnvironmentSet::FindNeighbours(nodes);
  EXPECT_EQ(nodes[0].nearest, 1);
  EXPECT_EQ(nodes[0].nearestDistance, 1);
  EXPECT_EQ(nodes[1].nearest, 0);
  EXPECT_EQ(nodes[2].nearest, 0);
  std::vector<PanoramaNode> one(1);
  EnvironmentSet::FindNeighbours(one);
  EXPECT_EQ(one[0].nearest, -1);
  EXPECT_EQ(one[0].nearestDistance, 0);
}

TEST(MapGeometry, ScaleMarginAndMarkerOfTheExample) {
  // Nodes from x -10 to 30 and y 0 to 20, largest radius 5.
  const MapGeometry g = ComputeMapGeometry(-10, 30, 0, 20, 5);
  EXPECT_EQ(g.originX, 120);
  EXPECT_EQ(g.originY, 60);
  EXPECT_EQ(g.clientWidth, 360);
  EXPECT_EQ(g.clientHeight, 240);
  const MapRectangle r = MarkerRectangle(-10, 0, g.originX, g.originY, g.clientHeight);
  EXPECT_EQ(r.left, 58);
  EXPECT_EQ(r.top, 178);
  EXPECT_EQ(r.right, 62);
  EXPECT_EQ(r.bottom, 182);
  const MapGeometry single = ComputeMapGeometry(4, 4, -2, -2, 0);
  EXPECT_EQ(single.clientWidth, 0);
  EXPECT_EQ(single.clientHeight, 0);
}

TEST_F(Description, SingleNodeWithoutRadius) {
  Images({"a.pan"});
  const std::string file = dir_.Write("tour.ini", "[Directory]\na.pan=4,-2,1,0\n");
  EnvironmentSet set;
  const Opened o = OpenFile(set, file);
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(set.Node(0).nearest, -1);
  EXPECT_EQ(set.Node(0).nearestDistance, 0);
  EXPECT_EQ(set.Map().clientWidth, 0);
  EXPECT_EQ(o.start.x, 4);
  EXPECT_EQ(o.minimum.y, -2);
}

TEST_F(Description, ImageFilesOpenAsOneNode) {
  const std::string bitmap =
      dir_.Write("hall.bmp", authoring::BuildBitmapFile(test::FlatImage(16, 8, 1)));
  EnvironmentSet set;
  Opened o = OpenFile(set, bitmap);
  EXPECT_EQ(o.result, -1);
  EXPECT_FALSE(set.HasMapWindow());
  EXPECT_EQ(set.Node(0).path, Full("hall.bmp"));
  EXPECT_EQ(o.start.heading, 33);
  // A second open changes nothing.
  o = OpenFile(set, bitmap);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.error, "Already Initialized");
  EXPECT_EQ(set.NodeCount(), 1);
}

TEST_F(Description, Failures) {
  EnvironmentSet set;
  EXPECT_EQ(OpenFile(set, "").error, "Invalid File");
  char error[256] = "";
  ViewPose a, b, c;
  EXPECT_EQ(set.OpenEnvironments(nullptr, error, a, b, c, nullptr, nullptr), 0);
  EXPECT_STREQ(error, "Invalid File");
  EXPECT_EQ(set.OpenEnvironments(nullptr, nullptr, a, b, c, nullptr, nullptr), 0);

  Capture capture;
  // A missing file reads as a description with no keys.
  const std::string missing = (dir_.Path() / "missing.ini").string();
  Opened o = OpenFile(set, missing);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.error, "Invalid File");
  const std::vector<std::string> traces = capture.Traces();
  ASSERT_GE(traces.size(), 2u);
  EXPECT_EQ(traces[0].rfind("File I/O Error: ", 0), 0u);
  EXPECT_EQ(traces[1], Full("missing.ini") + "\n");

  // Nodes whose files cannot be read leave nothing to size the buffers by.
  const std::string noImages = dir_.Write("tour.ini", "[Directory]\nnone.pan=0,0,0,0\n");
  o = OpenFile(set, noImages);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.error, "Invalid File");
  EXPECT_NE(capture.TraceStream().find("Allocation Failed\n"), std::string::npos);
  EXPECT_EQ(set.NodeCount(), 0);  // failure leaves the set empty and reusable
  Images({"none.pan"});
  EXPECT_EQ(OpenFile(set, noImages).result, 1);
}

TEST_F(Description, EmptySectionIsTracedAndTheOthersRead) {
  Images({"a.pan"});
  const std::string file = dir_.Write(
      "tour.ini", "[Kestrelvue]\nEnvironment Count=2\n[Directory 1]\n[Directory 2]\na.pan=0,0,0,0\n");
  Capture capture;
  EnvironmentSet set;
  ASSERT_EQ(OpenFile(set, file).result, 1);
  EXPECT_EQ(set.Node(0).environment, 2);
  EXPECT_EQ(capture.TraceStream(), "Empty Directory Section: Directory 1\n");
}

TEST_F(Description, AHugeEnvironmentCountStopsAtTheLastSectionPresent) {
  // Two billion numbered sections would otherwise be looked up one by one.
  Images({"a.pan", "b.pan"});
  const std::string file = dir_.Write(
      "tour.ini", "[Kestrelvue]\nEnvironment Count=2000000000\n[Directory 1]\na.pan=0,0,0,0\n"
                  "[Directory 3]\nb.pan=1,0,0,0\n[Directory 2000000001]\nb.pan=9,9,9,9\n");
  Capture capture;
  EnvironmentSet set;
  ASSERT_EQ(OpenFile(set, file).result, 2);
  EXPECT_EQ(set.Node(1).environment, 3);
  EXPECT_EQ(set.Node(1).x, 1);
  EXPECT_EQ(capture.TraceStream(), "Empty Directory Section: Directory 2\n");
}

TEST_F(Description, AbsoluteKeysStayAbsolute) {
  Images({"a.pan"});
  test::TempDir elsewhere;
  const std::string file =
      elsewhere.Write("tour.ini", "[Directory]\n" + Full("a.pan") + "=0,0,0,0\n");
  EnvironmentSet set;
  ASSERT_EQ(OpenFile(set, file).result, 1);
  EXPECT_EQ(set.Node(0).path, Full("a.pan"));
}

}  // namespace
}  // namespace kvp
