// Hot spots, sprite pictures and picking of the panorama controller, on opened test panoramas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "controller/panorama_controller.h"
#include "data/codec_bridge.h"
#include "data/packed_image.h"
#include "platform/platform.h"
#include "render/warp_engine.h"
#include "tests/data/tour_files.h"
#include "tests/test_files.h"
#include "tools/authoring/writer.h"

namespace kvp {
namespace {

using authoring::HotspotRectangle;

// A container with a flat 8-bit picture (grey ramp table: entry j is (j, j, j)) or a 24-bit
// one, and an "HSPT" block when hot spots are given.
std::vector<uint8_t> Panorama(const std::vector<HotspotRectangle>& spots, uint16_t bits = 8) {
  PackedImage image = test::FlatImage(64, 32, 7);
  if (bits == 24) {
    image = authoring::MakePackedImage(64, 32, 24, std::vector<uint8_t>(64 * 32 * 3, 90));
  }
  std::vector<authoring::Block> blocks{{"BTMP", image.bytes}};
  if (!spots.empty()) {
    std::vector<uint8_t> block;
    EXPECT_TRUE(authoring::BuildHotspotBlock(spots, block, nullptr));
    blocks.push_back({"HSPT", block});
  }
  return authoring::BuildContainer(blocks);
}

// An 8-bit sprite picture file: colour i of the table is (i, 2i, 3i) mod 256 as blue, green,
// red; pixel k holds k mod 256.
std::vector<uint8_t> Sprite8(int32_t w, int32_t h) {
  std::vector<uint8_t> table(kColourTableSize, 0);
  for (int i = 0; i < 256; ++i) {
    table[4 * i] = uint8_t(i);
    table[4 * i + 1] = uint8_t(2 * i);
    table[4 * i + 2] = uint8_t(3 * i);
  }
  std::vector<uint8_t> pixels(size_t(w * h));
  for (size_t k = 0; k < pixels.size(); ++k) pixels[k] = uint8_t(k);
  return authoring::BuildBitmapFile(authoring::MakePackedImage(w, h, 8, pixels, table));
}

std::vector<uint8_t> Sprite24(int32_t w, int32_t h, uint16_t bits = 24) {
  std::vector<uint8_t> pixels(size_t(w * h * bits / 8), 200);
  return authoring::BuildBitmapFile(authoring::MakePackedImage(w, h, bits, pixels));
}

// A controller opened on a panorama without a window, looking along +y from the origin with a
// 90-degree view into a 640 x 480 frame: focal length 320, centre (320, 240).
class ControllerHotspots : public ::testing::Test {
 protected:
  void OpenWith(const std::vector<uint8_t>& file) {
    c.Open(dir.Write("pano.pan", file).c_str(), nullptr, 0, 0, 5);
    c.x = c.y = c.z = 0;
    c.heading = c.pitch = c.roll = 0;
    c.fieldOfView = 90;
    c.frame.width = 640;
    c.frame.height = 480;
  }
  SpriteRecord& Place(int32_t slot, double cx, double cy, double cz, double s) {
    SpriteRecord& sprite = *c.GetSprite(slot);
    EXPECT_EQ(sprite.LoadSpriteImage(dir.Write("s.bmp", Sprite8(4, 4)).c_str(), cx, cy, cz, s,
                                     s, s, 1),
              0);
    return sprite;
  }

  test::TempDir dir;
  PanoramaController c;
};

TEST(HotspotLink, CopiesLikeStrncpy) {
  Hotspot spot;
  char buffer[10];
  std::memset(buffer, 'x', sizeof buffer);
  spot.GetLink(buffer, 10);  // no link reads as empty
  EXPECT_EQ(std::string(buffer, 10), std::string(10, '\0'));

  spot.SetLink("abcdef");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(spot.GetLink(buffer, 4), 0);
  EXPECT_EQ(std::string(buffer, 5), "abcdx");  // four characters, no terminator

  spot.SetLink("abc");
  std::memset(buffer, 'x', sizeof buffer);
  spot.GetLink(buffer, 10);
  EXPECT_EQ(std::string(buffer, 10), std::string("abc") + std::string(7, '\0'));
}

TEST(ReadHotspotBlock, MakesEnabledHotspotsWithBoxesAndLinks) {
  test::TempDir dir;
  const auto spots = ReadHotspotBlock(
      dir.Write("a.pan", Panorama({{-10, -5, 10, 5, "next.pan"}, {0, 0, 90, 30, ""}})).c_str());
  ASSERT_EQ(spots.size(), 2u);
  const double centre0[3] = {0, 9.8106, 0}, size0[3] = {3.4597, 0, 1.7431};
  const double centre1[3] = {-5, 5, 2.5}, size1[3] = {10, 10, 5};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(spots[0]->centre[i], centre0[i], 5e-5);
    EXPECT_NEAR(spots[0]->size[i], size0[i], 5e-5);
    EXPECT_NEAR(spots[1]->centre[i], centre1[i], 5e-5);
    EXPECT_NEAR(spots[1]->size[i], size1[i], 5e-5);
  }
  EXPECT_STREQ(spots[0]->link.get(), "next.pan");
  EXPECT_EQ(spots[0]->enabled, 1);
  EXPECT_EQ(spots[1]->enabled, 1);

  // No block, an empty block, a bitmap file and a missing file: no hot spots.
  std::vector<uint8_t> empty =
      authoring::BuildContainer({{"BTMP", test::FlatImage(8, 4, 1).bytes}, {"HSPT", {0}}});
  EXPECT_TRUE(ReadHotspotBlock(dir.Write("b.pan", Panorama({})).c_str()).empty());
  EXPECT_TRUE(ReadHotspotBlock(dir.Write("c.pan", empty).c_str()).empty());
  EXPECT_TRUE(ReadHotspotBlock(dir.Write("d.bmp", Sprite8(4, 4)).c_str()).empty());
  EXPECT_TRUE(ReadHotspotBlock((dir.Path() / "none.pan").string().c_str()).empty());
}

// Remaps a 4 x 1 sprite whose pixel k shows colour k (colours 1..3 given) onto `panorama`.
std::vector<uint8_t> Remap(const std::vector<uint8_t>& panorama,
                           const std::vector<std::vector<uint8_t>>& colours) {
  std::vector<uint8_t> picture = test::InfoHeaderBytes(4, 1, 8);
  picture.resize(kInfoHeaderSize + kColourTableSize, 0);
  for (size_t i = 0; i < colours.size(); ++i) {
    std::memcpy(&picture[kInfoHeaderSize + 4 * (i + 1)], colours[i].data(), 3);
  }
  picture.insert(picture.end(), {0, 1, 2, 3, 0xEE});  // the last byte lies past W x H
  RemapToPanoramaColours(picture.data(), panorama.data());
  EXPECT_EQ(std::memcmp(&picture[kInfoHeaderSize], panorama.data(), kColourTableSize), 0);
  return std::vector<uint8_t>(picture.end() - 5, picture.end());
}

TEST(RemapToPanoramaColours, PicksTheFirstStrictlyNearestEntryAboveZero) {
  // Entry 0 is exactly sprite colour 1 but is never a target; 9 and 12 tie and 9 wins.
  std::vector<uint8_t> panorama(kColourTableSize, 0);
  const uint8_t grey[3] = {100, 100, 100}, near[3] = {90, 100, 100};
  std::memcpy(&panorama[0], grey, 3);
  std::memcpy(&panorama[4 * 9], near, 3);
  std::memcpy(&panorama[4 * 12], near, 3);
  EXPECT_EQ(Remap(panorama, {{100, 100, 100}, {0, 0, 0}, {95, 100, 100}}),
            (std::vector<uint8_t>{0, 9, 1, 9, 0xEE}));

  // Against black entries 1..255, white is exactly the starting bound away: no entry is
  // strictly better, so it maps to 0.
  std::vector<uint8_t> black(kColourTableSize, 0);
  std::memset(&black[0], 255, 3);
  EXPECT_EQ(Remap(black, {{255, 255, 255}, {254, 255, 255}}),
            (std::vector<uint8_t>{0, 0, 1, 1, 0xEE}));
}

TEST(LoadSpriteImage, RefusesUnsupportedAndHostileFiles) {
  test::TempDir dir;
  SpriteRecord sprite;  // of no controller: nothing to match colours with
  auto load = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    return sprite.LoadSpriteImage(dir.Write(name, bytes).c_str(), 0, 0, 0, 1, 1, 1, 1);
  };
  const std::vector<uint8_t> good = Sprite24(4, 4);
  ASSERT_EQ(load("good.bmp", good), 0);
  ASSERT_TRUE(sprite.picture);

  std::vector<uint8_t> bad = good;
  StoreU16(bad.data() + 14 + 14, 4);  // 4 bits per pixel
  EXPECT_EQ(load("4bit.bmp", bad), 1);
  EXPECT_FALSE(sprite.picture);  // the old picture went first
  bad = good;
  StoreU32(bad.data() + 14 + 16, 1);  // compression 1
  EXPECT_EQ(load("rle.bmp", bad), 1);
  bad.assign(good.begin(), good.end() - 1);  // one byte short of what the header says
  EXPECT_EQ(load("cut.bmp", bad), 1);
  bad = good;
  StoreU32(bad.data() + 14 + 8, 5);  // five rows claimed, four present, size field agrees
  EXPECT_EQ(load("rows.bmp", bad), 1);
  bad = Sprite8(4, 4);
  StoreU32(bad.data() + 14 + 32, 300);  // more colours than 8 bits can index
  EXPECT_EQ(load("colours.bmp", bad), 1);
  EXPECT_EQ(sprite.LoadSpriteImage((dir.Path() / "none.bmp").string().c_str(), 0, 0, 0, 1, 1,
                                   1, 1),
            1);
  EXPECT_FALSE(sprite.picture);
  EXPECT_EQ(sprite.pictureBytes, 0u);
  EXPECT_EQ(sprite.SetSpriteVelocity(1, 2, 3), 1);
  EXPECT_EQ(sprite.SetSpriteAnimation(1, 1), 1);
}

TEST(LoadSpriteImage, AcceptsPlainDepthsRunLengthAndShortTables) {
  test::TempDir dir;
  SpriteRecord sprite;
  sprite.velocity[0] = sprite.cellColumn = 7;  // a previous sprite's motion
  std::vector<uint8_t> sheet = Sprite24(8, 2, 32);
  StoreU32(sheet.data() + 14 + 24, 4);  // four columns of cells
  StoreU32(sheet.data() + 14 + 28, uint32_t(-3));  // rows raised to 1
  ASSERT_EQ(sprite.LoadSpriteImage(dir.Write("a.bmp", sheet).c_str(), 1, 2, 3, 4, 5, 6, 1), 0);
  EXPECT_EQ(sprite.frameColumns, 4);
  EXPECT_EQ(sprite.frameRows, 1);
  EXPECT_EQ(sprite.position[2], 3);
  EXPECT_EQ(sprite.size[0], 4);
  EXPECT_EQ(sprite.velocity[0], 0);
  EXPECT_EQ(sprite.cellColumn, 0);
  EXPECT_EQ(sprite.SetSpriteAnimation(0.5, 2), 0);
  EXPECT_EQ(sprite.cellColumnRate, 2);
  EXPECT_EQ(sprite.cellRowRate, 2);

  // "dkrl": two runs of 3 and 5 pixels over a 4 x 2 picture.
  std::vector<uint8_t> rle = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> header = test::InfoHeaderBytes(4, 2, 8, FourCC("dkrl"), 1024 + 4);
  rle.insert(rle.end(), header.begin(), header.end());
  rle.resize(rle.size() + kColourTableSize, 0);
  rle.insert(rle.end(), {3, 9, 5, 4});
  StoreU32(rle.data() + 2, uint32_t(rle.size()));
  ASSERT_EQ(sprite.LoadSpriteImage(dir.Write("b.bmp", rle).c_str(), 0, 0, 0, 1, 1, 1, 1), 0);
  const uint8_t* pixels = sprite.picture.get() + kInfoHeaderSize + kColourTableSize;
  EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 8), (std::vector<uint8_t>{9, 9, 9, 4, 4, 4, 4, 4}));

  // Two stored colours: the table is widened to 256 entries and the pixels follow it.
  std::vector<uint8_t> small = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> h2 = test::InfoHeaderBytes(2, 1, 8);
  small.insert(small.end(), h2.begin(), h2.end());
  StoreU32(small.data() + 14 + 32, 2);
  small.insert(small.end(), {0, 0, 0, 0, 10, 20, 30, 0, 1, 0});
  StoreU32(small.data() + 2, uint32_t(small.size()));
  ASSERT_EQ(sprite.LoadSpriteImage(dir.Write("c.bmp", small).c_str(), 0, 0, 0, 1, 1, 1, 1), 0);
  ASSERT_EQ(sprite.pictureBytes, kInfoHeaderSize + kColourTableSize + 2);
  const uint8_t* p = sprite.picture.get();
  EXPECT_EQ(p[kInfoHeaderSize + 4 + 2], 30);
  EXPECT_EQ(p[kInfoHeaderSize + 8], 0);
  EXPECT_EQ(p[kInfoHeaderSize + kColourTableSize], 1);
  EXPECT_EQ(p[kInfoHeaderSize + kColourTableSize + 1], 0);
}

TEST_F(ControllerHotspots, SpriteColoursFollowAnEightBitPanorama) {
  OpenWith(Panorama({}));
  SpriteRecord& sprite = *c.GetSprite(0);
  ASSERT_EQ(sprite.LoadSpriteImage(dir.Write("s.bmp", Sprite8(16, 16)).c_str(), 0, 5, 0, 1, 1,
                                   1, 1),
            0);
  // Colour i is (i, 2i, 3i): on the grey ramp its nearest grey is 2i while 3i < 256.
  const uint8_t* p = sprite.picture.get();
  const uint8_t* pixels = p + kInfoHeaderSize + kColourTableSize;
  EXPECT_EQ(pixels[0], 0);
  EXPECT_EQ(pixels[5], 10);
  EXPECT_EQ(pixels[40], 80);
  EXPECT_EQ(p[kInfoHeaderSize + 4 * 200], 200);  // the panorama's table came along

  // A deeper sprite has no palette to match: refused.
  EXPECT_EQ(sprite.LoadSpriteImage(dir.Write("t.bmp", Sprite24(4, 4)).c_str(), 0, 5, 0, 1, 1,
                                   1, 1),
            1);
  EXPECT_FALSE(sprite.picture);
  EXPECT_EQ(sprite.LoadSpriteImage(nullptr, 0, 0, 0, 1, 1, 1, 1), 0);
  EXPECT_FALSE(sprite.picture);
}

TEST_F(ControllerHotspots, SpriteKeepsItsColoursOverATrueColourPanorama) {
  OpenWith(Panorama({}, 24));
  if (DisplayDepth() != 24) GTEST_SKIP() << "this display decodes panoramas to 8 bits";
  const std::vector<uint8_t> file = Sprite8(4, 4);
  SpriteRecord& sprite = *c.GetSprite(1);
  ASSERT_EQ(sprite.LoadSpriteImage(dir.Write("s.bmp", file).c_str(), 0, 5, 0, 1, 1, 1, 1), 0);
  EXPECT_EQ(std::memcmp(sprite.picture.get(), file.data() + 14, file.size() - 14), 0);
}

TEST_F(ControllerHotspots, ProjectPointCountsRowsFromTheBottomAndTruncates) {
  OpenWith(Panorama({}));
  int32_t px = -1, py = -1;
  ASSERT_EQ(c.ProjectPoint(0, 5, 0, px, py), 1);
  EXPECT_EQ(px, 320);
  EXPECT_EQ(py, 240);
  ASSERT_EQ(c.ProjectPoint(0.15, 5, 1.01, px, py), 1);  // 320 + 9.6 and 240 + 64.64
  EXPECT_EQ(px, 329);
  EXPECT_EQ(py, 304);
  EXPECT_EQ(c.ProjectPoint(0, -5, 0, px, py), 0);  // behind the viewer
  c.warper.reset();
  EXPECT_EQ(c.ProjectPoint(0, 5, 0, px, py), 0);
}

TEST_F(ControllerHotspots, PickPrefersNearerSpritesThenEnabledHotspots) {
  // Hot spot 0 straight ahead at y = 9.81; hot spot 1 above the horizon, out of the way.
  OpenWith(Panorama({{-10, -5, 10, 5, "ahead.pan"}, {-5, 60, 5, 70, "up.pan"}}));
  ASSERT_EQ(c.hotspotCount, 2);
  int16_t kind = 0;
  EXPECT_EQ(c.Pick(320, 239, kind), 0);  // window row 239 is frame row 240
  EXPECT_EQ(kind, 4);

  Place(3, 0, 8, 0, 2);  // far
  Place(1, 0, 4, 0, 1);  // near
  Place(2, 0, 4, 0, 1);  // as near, higher slot
  kind = 0;
  EXPECT_EQ(c.Pick(320, 239, kind), 1);
  EXPECT_EQ(kind, 2);
  c.GetSprite(1)->visible = 0;
  EXPECT_EQ(c.Pick(320, 239, kind), 2);
  c.GetSprite(2)->ReleasePicture();
  EXPECT_EQ(c.Pick(320, 239, kind), 3);

  // Only above the centre: frame row 240 + 320 / 4 = 320 is window row 159; the mirrored
  // window row 320 holds neither the sprite nor the hot spot.
  Place(3, 0, 4, 1, 0.2);
  EXPECT_EQ(c.Pick(320, 479 - 320, kind), 3);
  // Its top edge is the highest projected corner, exactly: one window row above misses.
  int32_t top = 0;
  for (int corner = 0; corner < 8; ++corner) {
    int32_t px = 0, py = 0;
    ASSERT_EQ(c.ProjectPoint((corner & 4 ? 0.1 : -0.1), 4 + (corner & 2 ? 0.1 : -0.1),
                             1 + (corner & 1 ? 0.1 : -0.1), px, py),
              1);
    top = std::max(top, py);
  }
  EXPECT_EQ(c.Pick(320, 479 - top, kind), 3);
  EXPECT_EQ(c.Pick(320, 478 - top, kind), -1);
  kind = 77;
  EXPECT_EQ(c.Pick(320, 320, kind), -1);
  EXPECT_EQ(kind, 77);

  EXPECT_EQ(c.Pick(320, 239, kind), 0);
  c.GetHotspot(0)->SetEnabled(0);
  kind = 77;
  EXPECT_EQ(c.Pick(320, 239, kind), -1);
  EXPECT_EQ(kind, 77);
  EXPECT_EQ(c.GetHotspot(2), nullptr);
  EXPECT_EQ(c.GetSprite(-1), nullptr);
  EXPECT_EQ(c.GetSprite(5), nullptr);

  c.Close();
  EXPECT_EQ(c.Pick(320, 239, kind), -1);
  EXPECT_EQ(kind, 77);
}

TEST_F(ControllerHotspots, SpriteLoadsAreSerialisedWithTheRenderThread) {
  OpenWith(Panorama({}));
  SpriteRecord& sprite = *c.GetSprite(0);
  const std::string a = dir.Write("a.bmp", Sprite8(8, 8));
  const std::string b = dir.Write("b.bmp", Sprite8(16, 4));
  // A reader that looks at the record the way the frame renderer does: under the lock. It
  // must only ever see a whole picture (the race detector checks the rest).
  platform::Semaphore* go = platform::MakeSemaphore(0, 1);
  bool consistent = true;
  std::thread reader([&] {
    platform::WaitSemaphore(go, platform::kInfinite);
    for (int i = 0; i < 200; ++i) {
      if (!c.TakeLock()) continue;
      if (sprite.picture) {
        const BitmapInfoHeader h = ReadInfoHeader(sprite.picture.get());
        consistent &= sprite.pictureBytes ==
                      kInfoHeaderSize + kColourTableSize + size_t(h.width) * size_t(h.height);
      }
      c.ReleaseLock();
    }
  });
  platform::ReleaseSemaphore(go);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(sprite.LoadSpriteImage((i % 2 ? a : b).c_str(), 0, 5, 0, 1, 1, 1, 1), 0);
  }
  reader.join();
  platform::CloseSemaphore(go);
  EXPECT_TRUE(consistent);
}

}  // namespace
}  // namespace kvp
