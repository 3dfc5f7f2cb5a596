// The "HSPT" block: box arithmetic, parsing of hostile blocks, lookup in a container.
#include "data/hotspot_block.h"

#include <gtest/gtest.h>

#include "tests/test_files.h"
#include "tools/authoring/writer.h"

namespace kvp {
namespace {

std::vector<uint8_t> Entry(float h1, float p1, float h2, float p2, const std::string& link,
                           bool nul = true) {
  std::vector<uint8_t> out;
  test::PutF32(out, h1);
  test::PutF32(out, p1);
  test::PutF32(out, h2);
  test::PutF32(out, p2);
  test::PutText(out, link);
  if (nul) out.push_back(0);
  return out;
}

TEST(HotspotBox, MatchesTheWorkedExamples) {
  double c[3], s[3];
  HotspotBox(-10, -5, 10, 5, c, s);  // flat in y: the four corners share one y
  EXPECT_NEAR(c[0], 0, 5e-5);
  EXPECT_NEAR(c[1], 9.8106, 5e-5);
  EXPECT_NEAR(c[2], 0, 5e-5);
  EXPECT_NEAR(s[0], 3.4597, 5e-5);
  EXPECT_NEAR(s[1], 0, 5e-5);
  EXPECT_NEAR(s[2], 1.7431, 5e-5);

  HotspotBox(0, 0, 90, 30, c, s);
  EXPECT_NEAR(c[0], -5, 5e-5);
  EXPECT_NEAR(c[1], 5, 5e-5);
  EXPECT_NEAR(c[2], 2.5, 5e-5);
  EXPECT_NEAR(s[0], 10, 5e-5);
  EXPECT_NEAR(s[1], 10, 5e-5);
  EXPECT_NEAR(s[2], 5, 5e-5);
}

TEST(HotspotBox, IsSinglePrecision) {
  // Widened floats: the centre carries float rounding, not the exact double value.
  double c[3], s[3];
  HotspotBox(0, 0, 90, 30, c, s);
  EXPECT_EQ(c[2], double(float(c[2])));
  EXPECT_EQ(s[1], double(float(s[1])));
}

TEST(ParseHotspotBlock, ReadsCountEntriesAndLinks) {
  std::vector<uint8_t> block = {2};
  for (const auto& e : {Entry(0, 0, 90, 30, "next.pan"), Entry(-10, -5, 10, 5, "")}) {
    block.insert(block.end(), e.begin(), e.end());
  }
  const std::vector<HotspotEntry> spots = ParseHotspotBlock(block.data(), block.size());
  ASSERT_EQ(spots.size(), 2u);
  EXPECT_EQ(spots[0].link, "next.pan");
  EXPECT_EQ(spots[0].h2, 90.0f);
  EXPECT_NEAR(spots[0].centre[0], -5, 1e-5);
  EXPECT_EQ(spots[1].link, "");
  EXPECT_NEAR(spots[1].centre[1], 9.8106, 5e-5);

  const uint8_t none[] = {0, 1, 2, 3};
  EXPECT_TRUE(ParseHotspotBlock(none, sizeof none).empty());
  EXPECT_TRUE(ParseHotspotBlock(none, 0).empty());
}

TEST(ParseHotspotBlock, StaysInsideHostileBlocks) {
  // Count says 5, two entries present: the second's link runs to the block's end without NUL.
  std::vector<uint8_t> block = {5};
  auto first = Entry(1, 2, 3, 4, "a.wav");
  auto second = Entry(5, 6, 7, 8, "unterminated", false);
  block.insert(block.end(), first.begin(), first.end());
  block.insert(block.end(), second.begin(), second.end());
  std::vector<HotspotEntry> spots = ParseHotspotBlock(block.data(), block.size());
  ASSERT_EQ(spots.size(), 2u);
  EXPECT_EQ(spots[1].link, "unterminated");

  // Angles cut off: the entry is dropped.
  block.assign({1, 0, 0, 0x80});
  EXPECT_TRUE(ParseHotspotBlock(block.data(), block.size()).empty());

  // An overlong link is cut to 2047 characters; the next entry still parses.
  block.assign({2});
  auto longLink = Entry(0, 0, 1, 1, std::string(3000, 'x'));
  auto after = Entry(0, 0, 1, 1, "b");
  block.insert(block.end(), longLink.begin(), longLink.end());
  block.insert(block.end(), after.begin(), after.end());
  spots = ParseHotspotBlock(block.data(), block.size());
  ASSERT_EQ(spots.size(), 2u);
  EXPECT_EQ(spots[0].link.size(), kMaxHotspotLink);
  EXPECT_EQ(spots[1].link, "b");
}

TEST(ReadHotspots, FindsTheBlockInAContainerOnly) {
  std::vector<uint8_t> block;
  std::string error;
  ASSERT_TRUE(authoring::BuildHotspotBlock({{0, 0, 90, 30, "x.avt"}}, block, &error));
  const std::vector<uint8_t> container =
      authoring::BuildContainer({{"HSPT", block}, {"BTMP", std::vector<uint8_t>(50, 0)}});
  MemoryReader reader(container.data(), container.size());
  const std::vector<HotspotEntry> spots = ReadHotspots(reader);
  ASSERT_EQ(spots.size(), 1u);
  EXPECT_EQ(spots[0].link, "x.avt");

  // The directory claims a longer block than the file holds: read what is there.
  std::vector<uint8_t> truncated = container;
  test::PutU32(truncated, 0);
  truncated[16 + 8] = 0xFF;
  truncated[16 + 9] = 0xFF;  // HSPT length now 0xFFxx
  MemoryReader cut(truncated.data(), truncated.size());
  EXPECT_EQ(ReadHotspots(cut).size(), 1u);

  // A zero-length block means no hot spots.
  const std::vector<uint8_t> empty = authoring::BuildContainer({{"HSPT", {}}});
  MemoryReader emptyReader(empty.data(), empty.size());
  EXPECT_TRUE(ReadHotspots(emptyReader).empty());

  const std::vector<uint8_t> bitmap = authoring::BuildBitmapFile(authoring::MakePackedImage(
      4, 1, 24, std::vector<uint8_t>(12, 0)));
  MemoryReader bitmapReader(bitmap.data(), bitmap.size());
  EXPECT_TRUE(ReadHotspots(bitmapReader).empty());
}

}  // namespace
}  // namespace kvp
