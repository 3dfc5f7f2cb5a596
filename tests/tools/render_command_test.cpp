// `kvp render`: the whole viewer path (controller, render thread, timer, window) from a file
// to a picture, and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/commands.h"
#include "tests/data/tour_files.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

struct Rgb {
  int r, g, b;
};
const Rgb kQuarterColours[4] = {{220, 40, 40}, {40, 200, 40}, {40, 40, 230}, {230, 230, 40}};

// An 8-bit panorama whose quarter around heading 0 is red, around 90 green, around 180 blue
// and around 270 yellow (heading h looks at longitude -h).
PackedImage Quarters() {
  const int32_t w = 256, h = 128;
  std::vector<uint8_t> table(kColourTableSize, 0);
  for (int q = 0; q < 4; ++q) {
    table[size_t(q + 1) * 4 + 0] = uint8_t(kQuarterColours[q].b);
    table[size_t(q + 1) * 4 + 1] = uint8_t(kQuarterColours[q].g);
    table[size_t(q + 1) * 4 + 2] = uint8_t(kQuarterColours[q].r);
  }
  std::vector<uint8_t> pixels(size_t(w) * h);
  for (int32_t c = 0; c < w; ++c) {
    const double heading = 180 - 360.0 * (c + 0.5) / w;  // -longitude
    const int q = int(std::floor((heading + 45) / 90 + 4)) % 4;
    for (int32_t r = 0; r < h; ++r) pixels[size_t(r) * w + size_t(c)] = uint8_t(q + 1);
  }
  return authoring::MakePackedImage(w, h, 8, pixels, table);
}

int Kvp(const std::vector<std::string>& args, std::string* errText = nullptr) {
  std::ostringstream out, err;
  const int status = cli::RunKvp(args, out, err);
  if (errText != nullptr) *errText = err.str();
  return status;
}

TEST(RenderCommand, EachHeadingShowsItsQuarter) {
  test::TempDir dir;
  const std::string pan = dir.Write("q.pan", test::Container(Quarters()));
  const char* headings[4] = {"0", "90", "180", "270"};
  for (int q = 0; q < 4; ++q) {
    const std::string png = (dir.Path() / ("view" + std::to_string(q) + ".png")).string();
    std::string err;
    ASSERT_EQ(Kvp({"render", pan, "-o", png, "--size", "80x60", "--heading", headings[q],
                   "--fov", "40"},
                  &err),
              0)
        << err;
    authoring::Picture picture;
    ASSERT_TRUE(authoring::LoadPicture(png, picture, &err)) << err;
    ASSERT_EQ(picture.width, 80);
    ASSERT_EQ(picture.height, 60);
    // The whole narrow view lies inside one quarter: check the centre and a corner.
    for (size_t at : {size_t(30 * 80 + 40), size_t(2 * 80 + 2)}) {
      const uint8_t* p = &picture.pixels[at * size_t(picture.channels)];
      EXPECT_EQ(p[0], kQuarterColours[q].r) << headings[q];
      EXPECT_EQ(p[1], kQuarterColours[q].g) << headings[q];
      EXPECT_EQ(p[2], kQuarterColours[q].b) << headings[q];
    }
  }
}

TEST(RenderCommand, RefusesWhatItCannotDraw) {
  test::TempDir dir;
  const std::string pan = dir.Write("q.pan", test::Container(Quarters()));
  const std::string junk = dir.Write("junk.pan", std::string("not a panorama"));
  const std::string out = (dir.Path() / "out.png").string();
  std::string err;
  EXPECT_EQ(Kvp({"render", pan}, &err), 2);
  EXPECT_NE(err.find("usage"), std::string::npos);
  EXPECT_EQ(Kvp({"render", pan, "-o", out, "--size", "0x10"}, &err), 2);
  EXPECT_EQ(Kvp({"render", pan, "-o", out, "--position", "1,2"}, &err), 2);
  EXPECT_EQ(Kvp({"render", pan, "-o", out, "--depth", "12"}, &err), 2);
  EXPECT_EQ(Kvp({"render", (dir.Path() / "none.pan").string(), "-o", out}, &err), 2);
  EXPECT_EQ(Kvp({"render", junk, "-o", out}, &err), 2);
  EXPECT_EQ(err, "kvp render: " + junk + ": Invalid File\n");
}

}  // namespace
}  // namespace kvp
