// The sample tour opens in the viewer as the loader opens it: its keys are the ones a real tour carries.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "controller/panorama_controller.h"

namespace kvp {
namespace {

TEST(SampleTourInTheViewer, OpensWithItsBoxesAndHotSpots) {
  const std::filesystem::path tour =
      std::filesystem::path(KVP_SAMPLES_DIR) / "tour" / "tour.ini";
  PanoramaController c;
  c.Open(tour.string().c_str(), nullptr, 0, 0, 5);  // throws OpenFailure on "Invalid File"
  ASSERT_TRUE(c.IsOpen());

  // Two environments and the default box, in world units.
  ASSERT_EQ(c.envCount, 2);
  ASSERT_EQ(c.boxes.size(), 3u);
  EXPECT_EQ(c.boxes[0].XMin, -3);
  EXPECT_EQ(c.boxes[0].XMax, 11);
  EXPECT_EQ(c.boxes[1].YMin, 10);
  EXPECT_EQ(c.boxes[2].YMax, 18);

  // Every node's capture point lies in its environment's box.
  const struct {
    double x, y, z;
    int environment;
  } nodes[] = {{0, 0, 0, 1}, {8, 2, 0, 1}, {4, 14, 1, 2}};
  for (const auto& node : nodes) {
    const EnvironmentBox& box = c.boxes[node.environment - 1];
    EXPECT_TRUE(box.XMin <= node.x && node.x <= box.XMax && box.YMin <= node.y &&
                node.y <= box.YMax && box.ZMin <= node.z && node.z <= box.ZMax)
        << node.x << "," << node.y << "," << node.z;
  }

  // The hot spots mark the ridge and the globe and link to their pages.
  ASSERT_EQ(c.hotspotCount, 2);
  char link[64];
  std::string links;
  for (int16_t i = 0; i < c.hotspotCount; ++i) {
    std::memset(link, 0, sizeof link);
    c.GetHotspot(i)->GetLink(link, sizeof link - 1);
    links += std::string(link) + " ";
  }
  EXPECT_EQ(links, "ridge.html earth.html ");
  c.Close();
}

}  // namespace
}  // namespace kvp
