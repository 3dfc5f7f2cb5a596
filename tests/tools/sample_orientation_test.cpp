// Orientation on a real picture: the Earth map from the samples, where known places sit at
// known headings and pitches (heading h looks at longitude -h, pitch p at latitude p).
#include <gtest/gtest.h>

#include <filesystem>

#include "render/warp_engine.h"
#include "data/picture_layout.h"
#include "tools/authoring/picture_io.h"

namespace kvp {
namespace {

struct Colour {
  int r, g, b;
};

// Mean colour of a narrow view centred on (heading, pitch).
Colour Look(const WarpPicture& picture, double heading, double pitch) {
  const int32_t size = 32;
  std::vector<uint8_t> frame(size * size * 3);
  WarpEngine engine;
  EXPECT_EQ(engine.WarpFrame({heading, pitch, 0, FocalLength(size, 2), 0, 0}, size, size,
                             frame.data(), picture.Width(), picture.Height(), picture.Pixels(), 24,
                             1),
            1);
  long sum[3] = {0, 0, 0};
  for (size_t i = 0; i < frame.size(); ++i) sum[i % 3] += frame[i];
  const long n = size * size;
  return Colour{int(sum[2] / n), int(sum[1] / n), int(sum[0] / n)};  // frames are blue-green-red
}

TEST(SampleOrientation, KnownPlacesOnTheEarthMap) {
  const std::filesystem::path path =
      std::filesystem::path(KVP_SAMPLES_DIR) / "earth-equirect-2048x1024.jpg";
  ASSERT_TRUE(std::filesystem::exists(path)) << "sample missing: " << path.string();
  authoring::Picture rgb;
  std::string error;
  ASSERT_TRUE(authoring::LoadPicture(path.string(), rgb, &error)) << error;
  PackedImage packed;
  ASSERT_TRUE(authoring::PackPicture(rgb, 24, authoring::Rgb{}, ViewFields{}, packed, &error));
  WarpPicture picture;
  ASSERT_TRUE(picture.Assign(rgb.width, rgb.height, 24, packed.View().Pixels()));

  const auto ocean = [](Colour c) { return c.b > c.r + 20 && c.b > c.g; };
  const auto desert = [](Colour c) { return c.r > c.b + 40 && c.g > c.b; };
  const auto forest = [](Colour c) { return c.g > c.b && c.r < 150; };
  // Longitude 0, latitude 0: the Gulf of Guinea.
  EXPECT_TRUE(ocean(Look(picture, 0, 0)));
  // Longitude 150 W, latitude 0: the open Pacific (heading 150).
  EXPECT_TRUE(ocean(Look(picture, 150, 0)));
  // Longitude 10 E, latitude 25 N: the Sahara (heading -10, pitch 25).
  EXPECT_TRUE(desert(Look(picture, -10, 25)));
  // Longitude 60 W, latitude 5 S: the Amazon forest (heading 60, pitch -5).
  EXPECT_TRUE(forest(Look(picture, 60, -5)));
  // Longitude 135 E, latitude 25 S: the Australian interior (heading -135, pitch -25).
  EXPECT_TRUE(desert(Look(picture, -135, -25)));
}

}  // namespace
}  // namespace kvp
