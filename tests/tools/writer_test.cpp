// Authoring writer -> core readers round trips, and the writer's refusals.
#include "tools/authoring/writer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "data/byte_reader.h"
#include "data/container.h"
#include "data/hotspot_block.h"

namespace kvp::authoring {
namespace {

std::vector<uint8_t> Ramp(size_t n) {
  std::vector<uint8_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = uint8_t(i * 7 + 3);
  return out;
}

TEST(Writer, ContainerRoundTripsThroughTheImageLookup) {
  std::vector<uint8_t> table(1024);
  for (size_t i = 0; i < table.size(); ++i) table[i] = uint8_t(i);
  for (uint16_t bits : {8, 16, 24}) {
    const std::vector<uint8_t> pixels = Ramp(size_t(6) * 3 * bits / 8);
    const PackedImage image = MakePackedImage(6, 3, bits, pixels, table, ViewFields{70, -45, 5, 0});
    ASSERT_FALSE(image.bytes.empty());
    const std::vector<uint8_t> file = BuildContainer({{"NOTE", {1, 2, 3}}, {"BTMP", image.bytes}});

    MemoryReader reader(file.data(), file.size());
    const uint32_t length = LocateImage(reader);
    ASSERT_EQ(length, image.bytes.size());
    std::vector<uint8_t> back(length);
    ASSERT_EQ(reader.Read(back.data(), length), length);
    EXPECT_EQ(back, image.bytes);

    const PackedImageView view(back.data(), back.size());
    ASSERT_TRUE(view.PixelsComplete());
    EXPECT_EQ(std::memcmp(view.Pixels(), pixels.data(), pixels.size()), 0);
    EXPECT_EQ(GetViewFields(view.Header()).heading, -45);
    EXPECT_EQ(view.ColourTable() != nullptr, bits == 8);
  }
}

TEST(Writer, BitmapFileRoundTripsAndNamesItsPixelOffset) {
  std::vector<uint8_t> table(1024, 9);
  const PackedImage image = MakePackedImage(4, 2, 8, Ramp(8), table);
  const std::vector<uint8_t> file = BuildBitmapFile(image);
  EXPECT_EQ(LoadU32(file.data() + 2), file.size());
  EXPECT_EQ(LoadU32(file.data() + 10), 14u + 1064u);
  MemoryReader reader(file.data(), file.size());
  EXPECT_EQ(LocateImage(reader), image.bytes.size());
  EXPECT_EQ(reader.Tell(), 14u);
}

TEST(Writer, HotspotBlockRoundTrips) {
  std::vector<uint8_t> block;
  std::string error;
  ASSERT_TRUE(BuildHotspotBlock({{-10, -5, 10, 5, "room2.pan"}, {1.5f, 2, 3, 4, ""}}, block, &error));
  const std::vector<HotspotEntry> spots = ParseHotspotBlock(block.data(), block.size());
  ASSERT_EQ(spots.size(), 2u);
  EXPECT_EQ(spots[0].link, "room2.pan");
  EXPECT_EQ(spots[1].h1, 1.5f);
  EXPECT_EQ(spots[1].link, "");
}

TEST(Writer, RefusesWhatTheReadersCouldNotTakeBack) {
  std::vector<uint8_t> block = {42};
  std::string error;
  EXPECT_FALSE(BuildHotspotBlock(std::vector<HotspotRectangle>(256), block, &error));
  EXPECT_FALSE(BuildHotspotBlock({{0, 0, 1, 1, std::string(2048, 'a')}}, block, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(block, std::vector<uint8_t>{42});

  EXPECT_TRUE(MakePackedImage(4, 2, 24, Ramp(23)).bytes.empty());   // pixel count mismatch
  EXPECT_TRUE(MakePackedImage(4, 2, 8, Ramp(8)).bytes.empty());     // 8 bits need a table
  EXPECT_TRUE(MakePackedImage(0, 2, 24, {}).bytes.empty());
  EXPECT_TRUE(MakePackedImage(4, 2, 12, Ramp(12)).bytes.empty());
}

}  // namespace
}  // namespace kvp::authoring
