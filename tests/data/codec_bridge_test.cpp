// The codec bridge on either platform: placement, depth reduction, error names, the boxes for
// a missing decompressor and the refusal of images that would overrun their buffers.
#include "data/codec_bridge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

using test::Capture;

constexpr uint8_t kSentinel = 0xAA;

// A packed image with a recognisable pixel pattern; 8-bit images get a colour table.
std::vector<uint8_t> Uncompressed(int32_t w, int32_t h, uint16_t bits) {
  std::vector<uint8_t> image = test::InfoHeaderBytes(w, h, bits);
  if (bits == 8) {
    for (int i = 0; i < 1024; ++i) image.push_back(uint8_t(255 - i % 256));
  }
  const size_t pixels = size_t(w) * size_t(h) * (bits / 8);
  for (size_t i = 0; i < pixels; ++i) image.push_back(uint8_t(i * 7 + 3));
  return image;
}

ImageBuffer Whole(std::vector<uint8_t>& bytes) {
  return ImageBuffer{bytes.data(), bytes.size(), bytes.size()};
}

TEST(ErrorName, NamesEveryCodecResult) {
  const char* const want[] = {"ICERR_UNSUPPORTED", "ICERR_BADFORMAT", "ICERR_MEMORY",
                              "ICERR_INTERNAL",    "ICERR_BADFLAGS",  "ICERR_BADPARAM",
                              "ICERR_BADSIZE",     "ICERR_BADHANDLE", "ICERR_CANTUPDATE",
                              "ICERR_ABORT"};
  for (int i = 1; i <= 10; ++i) EXPECT_STREQ(ErrorName(-i), want[i - 1]) << i;
  EXPECT_STREQ(ErrorName(-100), "ICERR_ERROR");
  EXPECT_STREQ(ErrorName(-200), "ICERR_BADBITDEPTH");
  EXPECT_STREQ(ErrorName(-201), "ICERR_BADIMAGESIZE");
  for (int32_t code : {0, 1, -11, -99, -101, -199, -202, -400, INT32_MIN, INT32_MAX}) {
    EXPECT_STREQ(ErrorName(code), "UNKNOWN ERROR") << code;
  }
}

TEST(DisplayDepth, IsTheScreenDepthLimitedTo8To24And8OnNt) {
  EXPECT_EQ(DisplayDepthFor(1, false), 8);
  EXPECT_EQ(DisplayDepthFor(8, false), 8);
  EXPECT_EQ(DisplayDepthFor(16, false), 16);
  EXPECT_EQ(DisplayDepthFor(24, false), 24);
  EXPECT_EQ(DisplayDepthFor(32, false), 24);
  EXPECT_EQ(DisplayDepthFor(32, true), 8);
  EXPECT_EQ(DisplayDepthFor(16, true), 8);
}

TEST(Placement, WideMeansAtLeastSixTimesAsWideAsHigh) {
  EXPECT_TRUE(IsWide(600, 100));
  EXPECT_TRUE(IsWide(6000, 100));
  EXPECT_FALSE(IsWide(599, 100));  // 5.99 times
  EXPECT_EQ(PlacementRow(100), 150);
  EXPECT_EQ(PlacementRow(5), 7);  // 1.5 x 5 rounded down
  EXPECT_EQ(PlacementRow(1), 1);
  EXPECT_FALSE(IsWide(INT32_MAX, 400000000));  // no overflow in 6 x H
}

TEST(DecodeUncompressed, CopiesAnImageNoDeeperThanTheTargetUnchanged) {
  for (uint16_t target : {16, 24}) {
    std::vector<uint8_t> source = Uncompressed(8, 4, 8);
    std::vector<uint8_t> destination(source.size(), kSentinel);
    ASSERT_TRUE(DecodeImage(Whole(source), Whole(destination), target));
    EXPECT_EQ(destination, source) << target;  // colour table included
  }
}

TEST(DecodeUncompressed, PlacesAWideImageAtRowOneAndAHalfHeights) {
  const int32_t w = 24, h = 4;  // exactly six times as wide
  std::vector<uint8_t> source = Uncompressed(w, h, 8);
  const std::vector<uint8_t> original = source;
  std::vector<uint8_t> destination(1064 + size_t(w) * 4 * h, kSentinel);
  ASSERT_EQ(DecodedImageBytes(ReadInfoHeader(source.data()), 24), destination.size());
  ASSERT_TRUE(DecodeImage(Whole(source), Whole(destination), 24));

  const BitmapInfoHeader out = ReadInfoHeader(destination.data());
  EXPECT_EQ(out.height, 16);
  EXPECT_EQ(out.width, w);
  EXPECT_EQ(out.bitCount, 8);
  EXPECT_TRUE(std::equal(original.begin() + 40, original.begin() + 1064,
                         destination.begin() + 40));
  const size_t row = w, placed = 1064 + row * 6;  // (4 x 4 x 3) / 8 = 6
  for (size_t i = 1064; i < placed; ++i) ASSERT_EQ(destination[i], kSentinel) << i;
  EXPECT_TRUE(std::equal(original.begin() + 1064, original.end(), destination.begin() + placed));
  for (size_t i = placed + row * h; i < destination.size(); ++i) {
    ASSERT_EQ(destination[i], kSentinel) << i;
  }
}

TEST(DecodeUncompressed, ReducesTwentyFourBitsToFiveFiveFiveOnASixteenBitDisplay) {
  std::vector<uint8_t> source = test::InfoHeaderBytes(3, 1, 24, 0, 9, 0x00320000, 7);
  for (uint8_t b : {0xFF, 0x08, 0x10, /* */ 0x07, 0xF8, 0x00, /* */ 0x00, 0x00, 0x80}) {
    source.push_back(b);
  }
  std::vector<uint8_t> destination(40 + 6, kSentinel);
  ASSERT_TRUE(DecodeImage(Whole(source), Whole(destination), 16));
  const BitmapInfoHeader out = ReadInfoHeader(destination.data());
  EXPECT_EQ(out.bitCount, 16);
  EXPECT_EQ(out.sizeImage, 9u);  // no other field changes
  EXPECT_EQ(out.xPelsPerMeter, 0x00320000);
  EXPECT_EQ(out.yPelsPerMeter, 7);
  EXPECT_EQ(LoadU16(&destination[40]), (0x1F) | (0x01 << 5) | (0x02 << 10));
  EXPECT_EQ(LoadU16(&destination[42]), (0x00) | (0x1F << 5) | (0x00 << 10));
  EXPECT_EQ(LoadU16(&destination[44]), (0x00) | (0x00 << 5) | (0x10 << 10));
  EXPECT_EQ(ReadInfoHeader(source.data()).bitCount, 16);  // the source was reduced in place
}

TEST(ReduceDepth, DoesNothingWhenTheImageIsNotDeeper) {
  Capture capture;
  std::vector<uint8_t> image = Uncompressed(4, 2, 16);
  const std::vector<uint8_t> original = image;
  EXPECT_TRUE(ReduceDepth(Whole(image), 16));
  EXPECT_TRUE(ReduceDepth(Whole(image), 24));
  EXPECT_EQ(image, original);
}

TEST(ReduceDepth, ToEightBitsFailsQuietlyWithoutAWorkingMsvcCompressor) {
  // Neither Wine nor the POSIX registry (unless a test plugs one in) has one.
  Capture capture;
  std::vector<uint8_t> image = Uncompressed(8, 2, 24);
  std::vector<uint8_t> room(image.size() + 2048, 0);
  std::copy(image.begin(), image.end(), room.begin());
  EXPECT_FALSE(ReduceDepth(ImageBuffer{room.data(), image.size(), room.size()}, 8));
  std::vector<uint8_t> destination(4096, kSentinel);
  EXPECT_FALSE(DecodeImage(ImageBuffer{room.data(), image.size(), room.size()},
                           Whole(destination), 8));
  EXPECT_TRUE(capture.Boxes().empty());
  EXPECT_TRUE(capture.Traces().empty());
  EXPECT_EQ(destination, std::vector<uint8_t>(4096, kSentinel));
}

TEST(DecodeCompressed, AMissingDecompressorIsNamedInABox) {
  // A machine with nothing installed, and a build without decoders of its own.
  platform::UseBuiltinDecoders(false);
  struct Case {
    const char* code;
    bool wide;
    std::string box;
  };
  const Case cases[] = {
      {"IV41", true,
       "Intel(R) Indeo(R) 4.1 CODEC is not installed on this system, cannot decompress PAN "
       "file.  Please go to www.example.com and download the Indeo 4.1 drivers."},
      {"XQ7z", false,
       "XQ7z CODEC is not installed on this system, cannot decompress PAN file"},
      {"iv41", false,  // the Indeo text is for exactly "IV41"
       "iv41 CODEC is not installed on this system, cannot decompress PAN file"},
  };
  for (const Case& c : cases) {
    Capture capture;
    const int32_t w = c.wide ? 60 : 40, h = 10;
    std::vector<uint8_t> source = test::InfoHeaderBytes(w, h, 24, FourCC(
        *reinterpret_cast<const char(*)[5]>(c.code)), 3);
    source.insert(source.end(), {1, 2, 3});
    std::vector<uint8_t> destination(DecodedImageBytes(ReadInfoHeader(source.data()), 16),
                                     kSentinel);
    EXPECT_FALSE(DecodeImage(Whole(source), Whole(destination), 16));
    ASSERT_EQ(capture.Boxes().size(), 1u) << c.code;
    EXPECT_EQ(capture.Boxes()[0].text, c.box);
    EXPECT_EQ(capture.Boxes()[0].caption, "Tarnwick Kestrelvue");
    EXPECT_EQ(capture.Boxes()[0].style, platform::kMbOk);
    EXPECT_EQ(capture.Traces(),
              std::vector<std::string>{"Cannot Find Appropriate Decompressor\n"});
    // The destination header was written before the search.
    const BitmapInfoHeader out = ReadInfoHeader(destination.data());
    EXPECT_EQ(out.compression, 0u);
    EXPECT_EQ(out.sizeImage, 0u);
    EXPECT_EQ(out.bitCount, 16);
    EXPECT_EQ(out.height, c.wide ? 4 * h : h);
  }
  platform::UseBuiltinDecoders(true);
}

// Images that would overrun a buffer if decoded as their headers say: refused before any
// byte of the destination is written, and before any codec is asked.
TEST(DecodeHostile, RefusesImagesThatDoNotFitTheirBuffers) {
  Capture capture;
  struct Case {
    const char* what;
    std::vector<uint8_t> source;
    size_t destinationBytes;
    uint16_t target;
  };
  std::vector<Case> cases;
  {
    std::vector<uint8_t> s = test::InfoHeaderBytes(0x10000, 0x10000, 24);  // 12 GiB of pixels
    s.resize(4096, 1);
    cases.push_back({"W x H x depth overflows", s, 4096, 24});
  }
  {
    std::vector<uint8_t> s = test::InfoHeaderBytes(0x10000, 0x10000, 24, FourCC("cvid"), 100);
    s.resize(140, 1);
    cases.push_back({"compressed, W x H x depth overflows", s, 4096, 24});
  }
  {
    std::vector<uint8_t> s = Uncompressed(16, 4, 24);
    s.resize(s.size() - 1);
    cases.push_back({"pixels cut short", s, 4096, 24});
  }
  {
    std::vector<uint8_t> s = Uncompressed(16, 4, 24);
    cases.push_back({"destination one byte short", s, s.size() - 1, 24});
  }
  {
    std::vector<uint8_t> s = Uncompressed(24, 4, 24);  // wide: needs 4 x 4 rows
    cases.push_back({"destination without room for the placed rows", s, s.size(), 24});
  }
  {
    std::vector<uint8_t> s = test::InfoHeaderBytes(16, -4, 24);
    s.resize(40 + 16 * 4 * 3, 1);
    cases.push_back({"negative height", s, 4096, 24});
  }
  {
    std::vector<uint8_t> s = test::InfoHeaderBytes(64, 16, 24, FourCC("cvid"), 5000);
    s.resize(40 + 100, 1);
    cases.push_back({"compressed frame shorter than its header says", s, 64 * 16 * 3 + 40, 24});
  }
  {
    std::vector<uint8_t> s = test::InfoHeaderBytes(64, 16, 24, FourCC("cvid"), 100);
    s.resize(40 + 100, 1);
    cases.push_back({"compressed, destination one byte short", s, 64 * 16 * 2 + 40 - 1, 16});
  }
  {
    std::vector<uint8_t> s = test::InfoHeaderBytes(64, 16, 24, FourCC("cvid"), 100);
    s.resize(40 + 100, 1);
    cases.push_back({"compressed, target depth 15", s, 64 * 16 * 4 + 1064, 15});
  }
  {
    std::vector<uint8_t> s = test::InfoHeaderBytes(2, 2, 24, FourCC("cvid"), 10);
    s.resize(40 + 10, 1);
    cases.push_back({"destination without room for a palette", s, 40 + 12, 24});
  }
  for (Case& c : cases) {
    std::vector<uint8_t> destination(c.destinationBytes, kSentinel);
    EXPECT_FALSE(DecodeImage(Whole(c.source), Whole(destination), c.target)) << c.what;
    EXPECT_EQ(destination, std::vector<uint8_t>(c.destinationBytes, kSentinel)) << c.what;
  }
  EXPECT_TRUE(capture.Boxes().empty());  // no codec was looked for
  for (const std::string& t : capture.Traces()) {
    EXPECT_TRUE(t == "DecodeImage(): Refused: " || t.back() == '\n') << t;
  }
  EXPECT_EQ(capture.Traces().size(), 2 * cases.size());
}

TEST(DecodeHostile, NoBufferOrAHeaderOnlyIsRefused) {
  Capture capture;
  std::vector<uint8_t> destination(64, kSentinel);
  EXPECT_FALSE(DecodeImage(ImageBuffer{}, Whole(destination), 24));
  std::vector<uint8_t> shortHeader(39, 0);
  EXPECT_FALSE(DecodeImage(Whole(shortHeader), Whole(destination), 24));
  EXPECT_FALSE(ReduceDepth(Whole(shortHeader), 16));
  EXPECT_FALSE(ReduceDepth(ImageBuffer{}, 16));
  EXPECT_EQ(destination, std::vector<uint8_t>(64, kSentinel));
}

}  // namespace
}  // namespace kvp
