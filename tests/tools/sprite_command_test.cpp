// `kvp sprite`: every depth and the "dkrl" kind read back through the viewer's sprite reader
// pixel for pixel, long runs, cell counts, and refused arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "data/sprite_picture.h"
#include "tests/test_files.h"
#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/commands.h"

namespace kvp {
namespace {

using authoring::Picture;

// 6 pixels of 3 bytes make an 18-byte row, so any row padding would show. Alpha runs through
// see-through, half and full cover.
Picture Pattern(int width, int height) {
  Picture p;
  p.width = width;
  p.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      p.pixels.push_back(uint8_t(x * 41 + y * 7));
      p.pixels.push_back(uint8_t(x * 3 + y * 61));
      p.pixels.push_back(uint8_t(x * x * 5 + y * 90));
      p.pixels.push_back(uint8_t((x + y) % 3 == 0 ? 0 : (x + y) % 3 == 1 ? 200 : 255));
    }
  return p;
}

class SpriteCommand : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (dir_.Path() / name).string(); }

  std::string SavePicture(const Picture& picture) const {
    std::string error;
    const std::string path = PathOf("in.png");
    EXPECT_TRUE(authoring::SavePng(path, picture, &error)) << error;
    return path;
  }

  static int Run(const std::vector<std::string>& args, std::string* err = nullptr) {
    std::ostringstream out, errors;
    const int status = cli::RunSprite(args, out, errors);
    if (err) *err = errors.str();
    return status;
  }

  // Writes `source` with `args` and reads it back as the viewer does.
  SpritePicture WriteAndRead(const Picture& source, std::vector<std::string> args) const {
    const std::string avt = PathOf("out.avt");
    args.insert(args.begin(), {SavePicture(source), "-o", avt});
    std::string err;
    EXPECT_EQ(Run(args, &err), 0) << err;
    return ReadSpritePicture(avt.c_str());
  }

  // The picture's pixel at (x, y) counted from the top, as blue, green, red, alpha.
  static void Expected(const Picture& p, int x, int y, uint8_t bgra[4]) {
    const uint8_t* s = &p.pixels[(size_t(y) * size_t(p.width) + size_t(x)) * 4];
    bgra[0] = s[2];
    bgra[1] = s[1];
    bgra[2] = s[0];
    bgra[3] = s[3];
  }

  // Every pixel of an 8-bit read-back: index 0 exactly where the source is see-through, and
  // elsewhere the table holds the source colour itself (fewer than 256 colours).
  static void ExpectEightBitPixels(const Picture& source, const SpritePicture& read) {
    const PackedImageView view(read.bytes.get(), read.length);
    ASSERT_TRUE(view.PixelsComplete());
    const uint8_t* table = view.ColourTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0] | table[1] | table[2], 0);
    for (int y = 0; y < source.height; ++y)
      for (int x = 0; x < source.width; ++x) {
        uint8_t want[4];
        Expected(source, x, y, want);
        const uint8_t index =
            view.Pixels()[size_t(source.height - 1 - y) * size_t(source.width) + size_t(x)];
        if (want[3] < 128) {
          EXPECT_EQ(index, 0) << x << "," << y;
        } else {
          ASSERT_NE(index, 0) << x << "," << y;
          EXPECT_EQ(0, std::memcmp(table + 4 * index, want, 3)) << x << "," << y;
        }
      }
  }

  test::TempDir dir_;
};

TEST_F(SpriteCommand, EachDepthReadsBackPixelForPixelWithItsCells) {
  const Picture source = Pattern(6, 4);
  for (const char* depth : {"24", "32", "8"}) {
    SCOPED_TRACE(depth);
    const SpritePicture read = WriteAndRead(source, {"--depth", depth, "--cells", "3x2"});
    ASSERT_NE(read.bytes, nullptr);
    const PackedImageView view(read.bytes.get(), read.length);
    const BitmapInfoHeader h = view.Header();
    EXPECT_EQ(h.width, 6);
    EXPECT_EQ(h.height, 4);
    EXPECT_EQ(h.bitCount, std::stoi(depth));
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.xPelsPerMeter, 3);  // cells across and down
    EXPECT_EQ(h.yPelsPerMeter, 2);
    ASSERT_TRUE(view.PixelsComplete());
    if (h.bitCount == 8) {
      ExpectEightBitPixels(source, read);
      continue;
    }
    ASSERT_EQ(read.length, kInfoHeaderSize + 6u * 4u * h.bitCount / 8u);
    const size_t bytes = h.bitCount / 8u;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) {
        uint8_t want[4];
        Expected(source, x, y, want);
        const uint8_t* got = view.Pixels() + (size_t(3 - y) * 6 + size_t(x)) * bytes;
        if (bytes == 4) {
          EXPECT_EQ(0, std::memcmp(got, want, 4)) << x << "," << y;
        } else {  // laid over black
          for (int k = 0; k < 3; ++k) EXPECT_EQ(got[k], want[k] * want[3] / 255) << x << "," << y;
        }
      }
  }
}

TEST_F(SpriteCommand, RunLengthFileExpandsToThePlainEightBitPicture) {
  // Long runs: 700 pixels of one colour cross rows and the 255-pixel limit of a run.
  Picture source = Pattern(50, 20);
  for (size_t i = 100; i < 800; ++i) {
    uint8_t* p = &source.pixels[i * 4];
    p[0] = 10, p[1] = 200, p[2] = 30, p[3] = 255;
  }
  const SpritePicture plain = WriteAndRead(source, {"--depth", "8"});
  ASSERT_NE(plain.bytes, nullptr);

  std::string err;
  const std::string avt = PathOf("runs.avt");
  ASSERT_EQ(Run({SavePicture(source), "-o", avt, "--rle", "--cells", "5"}, &err), 0) << err;
  std::vector<uint8_t> file;
  ASSERT_TRUE(authoring::ReadFileBytes(avt, file, &err)) << err;
  const BitmapInfoHeader stored = ReadInfoHeader(file.data() + kFileHeaderSize);
  EXPECT_EQ(stored.compression, FourCC("dkrl"));
  EXPECT_EQ(stored.bitCount, 8);
  EXPECT_EQ(LoadU32(file.data() + 2), file.size());
  EXPECT_EQ(stored.sizeImage, file.size() - kFileHeaderSize - kInfoHeaderSize);
  EXPECT_LT(file.size(), kFileHeaderSize + plain.length);  // the runs do save room

  const SpritePicture expanded = ReadSpritePicture(avt.c_str());
  ASSERT_NE(expanded.bytes, nullptr);
  ExpectEightBitPixels(source, expanded);
  ASSERT_EQ(expanded.length, plain.length);
  const size_t prefix = kInfoHeaderSize + kColourTableSize;
  EXPECT_EQ(0, std::memcmp(expanded.bytes.get() + prefix, plain.bytes.get() + prefix,
                           plain.length - prefix));
  EXPECT_EQ(0, std::memcmp(expanded.bytes.get() + kInfoHeaderSize,
                           plain.bytes.get() + kInfoHeaderSize, kColourTableSize));
  const BitmapInfoHeader h = ReadInfoHeader(expanded.bytes.get());
  EXPECT_EQ(h.xPelsPerMeter, 5);
  EXPECT_EQ(h.yPelsPerMeter, 1);
}

TEST_F(SpriteCommand, RefusesWhatTheViewerCouldNotShow) {
  const std::string png = SavePicture(Pattern(6, 4));
  const std::string avt = PathOf("no.avt");
  std::string err;
  EXPECT_EQ(Run({png, "-o", avt, "--rle", "--depth", "24"}, &err), 2);
  EXPECT_NE(err.find("kvp sprite: --rle"), std::string::npos) << err;
  EXPECT_EQ(Run({png, "-o", avt, "--depth", "16"}, &err), 2);
  EXPECT_EQ(Run({png, "-o", avt, "--cells", "4"}, &err), 2);  // 6 is not 4 equal cells
  EXPECT_NE(err.find("do not divide"), std::string::npos) << err;
  EXPECT_EQ(Run({png, "-o", avt, "--cells", "0x2"}, &err), 2);
  EXPECT_EQ(Run({PathOf("missing.png"), "-o", avt}, &err), 2);
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  EXPECT_FALSE(std::filesystem::exists(avt));
}

}  // namespace
}  // namespace kvp
