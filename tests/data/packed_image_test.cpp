// The packed image header: byte layout, view fields, default field of view, extents.
#include "data/packed_image.h"

#include <gtest/gtest.h>

#include "tests/test_files.h"

namespace kvp {
namespace {

TEST(PackedImageHeader, EncodesEveryFieldLittleEndianAtItsOffset) {
  BitmapInfoHeader h;
  h.width = 0x01020304;
  h.height = -2;
  h.bitCount = 24;
  h.compression = FourCC("IV41");
  h.sizeImage = 0xA0B0C0D0;
  h.xPelsPerMeter = 0x0102FFFE;
  h.clrUsed = 16;
  uint8_t bytes[40];
  WriteInfoHeader(bytes, h);
  EXPECT_EQ(bytes[0], 40);
  EXPECT_EQ(bytes[4], 0x04);
  EXPECT_EQ(bytes[7], 0x01);
  EXPECT_EQ(bytes[8], 0xFE);
  EXPECT_EQ(bytes[11], 0xFF);
  EXPECT_EQ(bytes[14], 24);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 16), 4), "IV41");
  EXPECT_EQ(bytes[24], 0xFE);
  EXPECT_EQ(bytes[27], 0x01);
  EXPECT_EQ(bytes[32], 16);

  const BitmapInfoHeader back = ReadInfoHeader(bytes);
  EXPECT_EQ(back.width, h.width);
  EXPECT_EQ(back.height, -2);
  EXPECT_EQ(back.compression, h.compression);
  EXPECT_EQ(back.sizeImage, h.sizeImage);
  EXPECT_EQ(back.xPelsPerMeter, h.xPelsPerMeter);
}

TEST(ViewFields, SplitTheResolutionFieldsIntoSignedHalves) {
  BitmapInfoHeader h;
  SetViewFields(h, ViewFields{45, -30, 10, -5});
  EXPECT_EQ(uint32_t(h.xPelsPerMeter), (45u << 16) | 0xFFE2u);  // fov high, heading low
  EXPECT_EQ(uint32_t(h.yPelsPerMeter), (0xFFFBu << 16) | 10u);  // roll high, pitch low
  const ViewFields v = GetViewFields(h);
  EXPECT_EQ(v.fov, 45);
  EXPECT_EQ(v.heading, -30);
  EXPECT_EQ(v.pitch, 10);
  EXPECT_EQ(v.roll, -5);
  EXPECT_TRUE(v.Valid());

  for (int16_t fov : {0, 180, -90, 200}) {
    EXPECT_FALSE((ViewFields{fov, 1, 2, 3}.Valid())) << fov;
  }
  EXPECT_TRUE((ViewFields{1, 0, 0, 0}.Valid()));
  EXPECT_TRUE((ViewFields{179, 0, 0, 0}.Valid()));
}

TEST(DefaultFieldOfView, FollowsThePictureHeight) {
  EXPECT_EQ(DefaultFieldOfView(1024), 90);
  EXPECT_EQ(DefaultFieldOfView(512), 120);  // 135 limited
  EXPECT_EQ(DefaultFieldOfView(2048), 60);
  EXPECT_EQ(DefaultFieldOfView(4096), 60);
  EXPECT_EQ(DefaultFieldOfView(800), 180 - 800 * 0.087890625);
}

TEST(PixelBytes, RefusesImpossibleSizes) {
  EXPECT_EQ(PixelBytes(2048, 1024, 24), 2048u * 1024u * 3u);
  EXPECT_EQ(PixelBytes(3, 3, 16), 18u);
  EXPECT_EQ(PixelBytes(0, 10, 8), 0u);
  EXPECT_EQ(PixelBytes(10, -1, 8), 0u);
  EXPECT_EQ(PixelBytes(10, 10, 4), 0u);
  EXPECT_EQ(PixelBytes(0x7FFFFFFF, 0x7FFFFFFF, 32), 0u);
  EXPECT_EQ(PixelBytes(65536, 65536, 8), 0u);  // 4 GiB would wrap 32 bits
}

TEST(PackedImageView, BoundsEveryAccessByTheLength) {
  // 8 bits with a colours-used field of 16: the table is still 1024 bytes.
  std::vector<uint8_t> image = test::InfoHeaderBytes(4, 2, 8);
  image[32] = 16;
  image.resize(40 + 1024 + 8, 0x11);
  PackedImageView full(image.data(), image.size());
  EXPECT_EQ(full.ColourTable(), image.data() + 40);
  EXPECT_TRUE(full.PixelsComplete());
  EXPECT_EQ(full.Pixels(), image.data() + 1064);

  PackedImageView cut(image.data(), image.size() - 1);
  EXPECT_FALSE(cut.PixelsComplete());
  EXPECT_EQ(cut.Pixels(), nullptr);
  EXPECT_NE(cut.ColourTable(), nullptr);
  EXPECT_EQ(PackedImageView(image.data(), 500).ColourTable(), nullptr);
  EXPECT_FALSE(PackedImageView(image.data(), 39).HasHeader());
  EXPECT_EQ(PackedImageView(image.data(), 39).Header().width, 0);

  // Compressed frames follow the header directly and have no pixels to address.
  std::vector<uint8_t> compressed = test::InfoHeaderBytes(4, 2, 8, FourCC("IV41"));
  compressed.resize(200, 0);
  PackedImageView frame(compressed.data(), compressed.size());
  EXPECT_EQ(HeaderBytes(frame.Header()), 40u);
  EXPECT_EQ(frame.ColourTable(), nullptr);
  EXPECT_FALSE(frame.PixelsComplete());
}

}  // namespace
}  // namespace kvp
