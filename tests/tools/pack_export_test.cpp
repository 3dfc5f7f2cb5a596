// `kvp pack` and `kvp export`: round trips at each depth, header fields, hot spots, bitmap
// output, and refusal of bad arguments and hostile files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "data/byte_reader.h"
#include "data/container.h"
#include "data/hotspot_block.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"
#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/commands.h"

namespace kvp {
namespace {

using authoring::Picture;

// Odd sizes: a 7-pixel row is 21 bytes at 24 bits, so any row padding would show.
constexpr int kWidth = 7;
constexpr int kHeight = 5;

Picture Pattern(int width, int height) {
  Picture p;
  p.width = width;
  p.height = height;
  p.channels = 4;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      p.pixels.push_back(uint8_t(x * 37 + y * 11));
      p.pixels.push_back(uint8_t(x * 5 + y * 53));
      p.pixels.push_back(uint8_t(x * x * 3 + y * 90));
      p.pixels.push_back(255);
    }
  return p;
}

struct Outcome {
  int status;
  std::string out, err;
};

class PackExport : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (dir_.Path() / name).string(); }

  std::string SavePicture(const std::string& name, const Picture& picture) const {
    std::string error;
    const std::string path = PathOf(name);
    EXPECT_TRUE(authoring::SavePng(path, picture, &error)) << error;
    return path;
  }

  static Outcome Pack(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = cli::RunPack(args, out, err);
    return {status, out.str(), err.str()};
  }

  static Outcome Export(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = cli::RunExport(args, out, err);
    return {status, out.str(), err.str()};
  }

  static std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(authoring::ReadFileBytes(path, bytes, &error)) << error;
    return bytes;
  }

  // The packed image of a written file, as the viewer's lookup finds it.
  static std::vector<uint8_t> ImageOf(const std::vector<uint8_t>& file) {
    MemoryReader reader(file.data(), file.size());
    const uint32_t length = LocateImage(reader);
    const uint32_t offset = reader.Tell();
    if (length == 0 || uint64_t(offset) + length > file.size()) return {};
    return std::vector<uint8_t>(file.begin() + offset, file.begin() + offset + length);
  }

  Picture ExportAndLoad(const std::string& file) const {
    const std::string png = PathOf("exported.png");
    const Outcome run = Export({file, "-o", png});
    EXPECT_EQ(run.status, 0) << run.err;
    Picture picture;
    std::string error;
    EXPECT_TRUE(authoring::LoadPicture(png, picture, &error)) << error;
    return picture;
  }

  // Largest channel difference between two pictures of the same size (alpha ignored).
  static int MaxDifference(const Picture& a, const Picture& b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    if (a.width != b.width || a.height != b.height) return 256;
    int worst = 0;
    for (size_t i = 0; i < size_t(a.width) * size_t(a.height); ++i)
      for (int k = 0; k < 3; ++k)
        worst = std::max(worst, std::abs(a.pixels[i * size_t(a.channels) + size_t(k)] -
                                         b.pixels[i * size_t(b.channels) + size_t(k)]));
    return worst;
  }

  test::TempDir dir_;
};

TEST_F(PackExport, TwentyFourBitsRoundTripExactlyWithBottomUpUnpaddedRows) {
  const Picture source = Pattern(kWidth, kHeight);
  const std::string pan = PathOf("p24.pan");
  const Outcome run = Pack({SavePicture("in.png", source), "-o", pan});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);

  const std::vector<uint8_t> image = ImageOf(ReadBytes(pan));
  ASSERT_EQ(image.size(), kInfoHeaderSize + size_t(kWidth * kHeight * 3));
  const BitmapInfoHeader h = ReadInfoHeader(image.data());
  EXPECT_EQ(h.width, kWidth);
  EXPECT_EQ(h.height, kHeight);
  EXPECT_EQ(h.bitCount, 24);
  EXPECT_EQ(h.compression, 0u);
  EXPECT_FALSE(GetViewFields(h).Valid());
  // First stored pixel is the bottom-left one, blue first; the second row starts 21 bytes on.
  const uint8_t* pixels = image.data() + kInfoHeaderSize;
  const size_t bottomLeft = size_t((kHeight - 1) * kWidth) * 4;
  EXPECT_EQ(pixels[0], source.pixels[bottomLeft + 2]);
  EXPECT_EQ(pixels[2], source.pixels[bottomLeft + 0]);
  const size_t aboveIt = size_t((kHeight - 2) * kWidth) * 4;
  EXPECT_EQ(pixels[kWidth * 3 + 1], source.pixels[aboveIt + 1]);

  EXPECT_EQ(MaxDifference(ExportAndLoad(pan), source), 0);
}

TEST_F(PackExport, SixteenBitsKeepFiveBitsPerChannel) {
  // Every channel value 0..255 appears, so the 5-bit rounding is tried throughout.
  Picture source;
  source.width = 64;
  source.height = 4;
  source.channels = 3;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 64; ++x) {
      const int v = y * 64 + x;
      source.pixels.insert(source.pixels.end(),
                           {uint8_t(v), uint8_t(255 - v), uint8_t(v * 7)});
    }
  const std::string pan = PathOf("p16.pan");
  const Outcome run = Pack({SavePicture("in.png", source), "-o", pan, "--depth", "16"});
  ASSERT_EQ(run.status, 0) << run.err;

  const std::vector<uint8_t> image = ImageOf(ReadBytes(pan));
  ASSERT_EQ(image.size(), kInfoHeaderSize + 64u * 4u * 2u);
  EXPECT_EQ(ReadInfoHeader(image.data()).bitCount, 16);
  // Bottom-left pixel is (192, 63, 64): red 23, green 8, blue 8 after rounding, top bit clear.
  const uint16_t first = LoadU16(image.data() + kInfoHeaderSize);
  EXPECT_EQ(first, uint16_t(23 << 10 | 8 << 5 | 8));

  EXPECT_LE(MaxDifference(ExportAndLoad(pan), source), 4);
}

TEST_F(PackExport, EightBitsGoThroughTheColourTable) {
  // 35 colours: the quantiser keeps them all, so the round trip is exact.
  const Picture few = Pattern(kWidth, kHeight);
  const std::string pan = PathOf("p8.pan");
  const Outcome run = Pack({SavePicture("few.png", few), "-o", pan, "--depth", "8"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<uint8_t> image = ImageOf(ReadBytes(pan));
  ASSERT_EQ(image.size(), kInfoHeaderSize + kColourTableSize + size_t(kWidth * kHeight));
  EXPECT_EQ(ReadInfoHeader(image.data()).bitCount, 8);
  for (size_t i = kInfoHeaderSize + kColourTableSize; i < image.size(); ++i)
    ASSERT_LT(image[i], kWidth * kHeight);  // indices only into the filled part of the table
  EXPECT_EQ(MaxDifference(ExportAndLoad(pan), few), 0);
}

TEST_F(PackExport, TransparentPixelsTakeTheMatte) {
  Picture source = Pattern(2, 1);
  source.pixels[3] = 0;     // first pixel fully transparent
  source.pixels[7] = 128;   // second half covered
  source.pixels[4] = 255;
  source.pixels[5] = 0;
  source.pixels[6] = 0;
  const std::string pan = PathOf("matte.pan");
  const Outcome run = Pack({SavePicture("in.png", source), "-o", pan, "--matte", "#2040FF"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Picture out = ExportAndLoad(pan);
  ASSERT_EQ(out.pixels.size(), 2u * 4u);
  EXPECT_EQ(out.pixels[0], 0x20);
  EXPECT_EQ(out.pixels[1], 0x40);
  EXPECT_EQ(out.pixels[2], 0xFF);
  // 255 * 128/255 + 0x20 * 127/255, and so on, rounded.
  EXPECT_EQ(out.pixels[4], 144);
  EXPECT_EQ(out.pixels[5], 32);
  EXPECT_EQ(out.pixels[6], 127);
}

TEST_F(PackExport, ViewGoesIntoTheResolutionFields) {
  const std::string pan = PathOf("view.pan");
  const Outcome run = Pack({SavePicture("in.png", Pattern(kWidth, kHeight)), "--view",
                        "75,-120,-15,3", "-o", pan});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<uint8_t> image = ImageOf(ReadBytes(pan));
  ASSERT_GE(image.size(), kInfoHeaderSize);
  const BitmapInfoHeader h = ReadInfoHeader(image.data());
  const ViewFields view = GetViewFields(h);
  EXPECT_EQ(view.fov, 75);
  EXPECT_EQ(view.heading, -120);
  EXPECT_EQ(view.pitch, -15);
  EXPECT_EQ(view.roll, 3);
  EXPECT_EQ(uint32_t(h.xPelsPerMeter), 75u << 16 | 0xFF88u);  // fov high, heading low
  EXPECT_EQ(uint32_t(h.yPelsPerMeter), 3u << 16 | 0xFFF1u);   // roll high, pitch low
}

TEST_F(PackExport, HotspotsLandInTheirBlock) {
  const std::string pan = PathOf("spots.pan");
  const Outcome run = Pack({SavePicture("in.png", Pattern(kWidth, kHeight)), "-o", pan,
                        "--hotspot", "-10,-5,10,5,next.pan", "--hotspot",
                        "0,0,90,30.5,page.html?a=1,b=2"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<uint8_t> file = ReadBytes(pan);
  MemoryReader reader(file.data(), file.size());
  const std::vector<HotspotEntry> spots = ReadHotspots(reader);
  ASSERT_EQ(spots.size(), 2u);
  EXPECT_EQ(spots[0].h1, -10.0f);
  EXPECT_EQ(spots[0].p2, 5.0f);
  EXPECT_EQ(spots[0].link, "next.pan");
  EXPECT_EQ(spots[1].p2, 30.5f);
  EXPECT_EQ(spots[1].link, "page.html?a=1,b=2");
  // The image is still found beside them.
  EXPECT_EQ(ImageOf(file).size(), kInfoHeaderSize + size_t(kWidth * kHeight * 3));
}

TEST_F(PackExport, BitmapOutputIsReadableAndPacksAgain) {
  // 8 pixels of 3 bytes: rows already a multiple of four bytes, so this is also a standard
  // bitmap file that the picture reader accepts as input.
  const Picture source = Pattern(8, 3);
  const std::string bmp = PathOf("out.bmp");
  Outcome run = Pack({SavePicture("in.png", source), "-o", bmp, "--bitmap"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<uint8_t> file = ReadBytes(bmp);
  ASSERT_GE(file.size(), 2u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(ImageOf(file).size(), file.size() - kFileHeaderSize);
  EXPECT_EQ(MaxDifference(ExportAndLoad(bmp), source), 0);

  const std::string pan = PathOf("again.pan");
  run = Pack({bmp, "-o", pan});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(MaxDifference(ExportAndLoad(pan), source), 0);
}

TEST_F(PackExport, PackRefusesBadArgumentsWithOneLine) {
  const std::string in = SavePicture("in.png", Pattern(kWidth, kHeight));
  const std::string text = dir_.Write("notes.txt", std::string("not a picture at all"));
  const std::string pan = PathOf("never.pan");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {in},
      {"-o", pan},
      {in, "-o"},
      {in, "-o", pan, "--depth", "32"},
      {in, "-o", pan, "--depth", "24x"},
      {in, "-o", pan, "--view", "0,0,0,0"},
      {in, "-o", pan, "--view", "180,0,0,0"},
      {in, "-o", pan, "--view", "90,0,0"},
      {in, "-o", pan, "--view", "90,0,0,40000"},
      {in, "-o", pan, "--view", "90,0,0,0,0"},
      {in, "-o", pan, "--hotspot", "1,2,3,4"},
      {in, "-o", pan, "--hotspot", "1,2,nan,4,x"},
      {in, "-o", pan, "--hotspot", "1,2,3,4,x", "--bitmap"},
      {in, "-o", pan, "--hotspot", "1,2,3,4," + std::string(3000, 'x')},
      {in, "-o", pan, "--matte", "12345G"},
      {in, "-o", pan, "--matte", "1234567"},
      {in, "-o", pan, "--fast"},
      {in, in, "-o", pan},
      {PathOf("missing.png"), "-o", pan},
      {text, "-o", pan},
      {in, "-o", (dir_.Path() / "no-such-folder" / "x.pan").string()},
  };
  for (const auto& args : cases) {
    std::string line;
    for (const std::string& a : args) line += a + " ";
    const Outcome run = Pack(args);
    EXPECT_EQ(run.status, 2) << line;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << line << "\n" << run.err;
    EXPECT_FALSE(std::filesystem::exists(pan)) << line;
  }
}

// A bitmap file around a hand-made packed image: file size field, then header and body.
std::vector<uint8_t> BitmapFile(const std::vector<uint8_t>& packed) {
  std::vector<uint8_t> file;
  test::PutText(file, "BM");
  test::PutU32(file, uint32_t(packed.size() + kFileHeaderSize));
  test::PutU32(file, 0);
  test::PutU32(file, 54);
  file.insert(file.end(), packed.begin(), packed.end());
  return file;
}

std::vector<uint8_t> Packed(int32_t width, int32_t height, uint16_t bits, size_t bodyBytes,
                            uint32_t compression = 0) {
  std::vector<uint8_t> packed = test::InfoHeaderBytes(width, height, bits, compression);
  packed.resize(packed.size() + bodyBytes, 0x5A);
  return packed;
}

TEST_F(PackExport, ExportRefusesHostileFilesAndBadArgumentsWithOneLine) {
  std::vector<uint8_t> container;
  test::PutText(container, "KVPF");
  test::PutU32(container, 0);
  test::PutU32(container, 1);
  test::PutU32(container, 0);
  test::PutText(container, "BTMP");
  test::PutU32(container, 32);
  test::PutU32(container, 40 + 12);  // claims more than follows
  test::PutU32(container, 0);
  const std::vector<uint8_t> shortBody = Packed(2, 2, 24, 11);
  container.insert(container.end(), shortBody.begin(), shortBody.end());

  std::vector<uint8_t> hotspotsOnly = container;
  std::copy_n("HSPT", 4, hotspotsOnly.begin() + 16);

  std::vector<uint8_t> bigSizeField = BitmapFile(Packed(2, 2, 24, 12));
  bigSizeField[2] = 0xFF;  // file size field claims 255 more bytes than there are

  const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"empty", {}},
      {"text", {'h', 'e', 'l', 'l', 'o'}},
      {"bitmap header only", {'B', 'M', 10, 0, 0, 0}},
      {"image past end", bigSizeField},
      {"container cut", container},
      {"container without image", hotspotsOnly},
      {"under 40 bytes", BitmapFile(std::vector<uint8_t>(20, 0))},
      {"compressed", BitmapFile(Packed(2, 2, 24, 100, FourCC("IV41")))},
      {"32 bits", BitmapFile(Packed(2, 2, 32, 16))},
      {"4 bits", BitmapFile(Packed(2, 2, 4, 1064))},
      {"zero width", BitmapFile(Packed(0, 2, 24, 16))},
      {"negative height", BitmapFile(Packed(2, -2, 24, 16))},
      {"overflowing size", BitmapFile(Packed(0x7FFFFFFF, 0x7FFFFFFF, 24, 16))},
      {"pixels one short", BitmapFile(Packed(3, 2, 24, 17))},
      {"colour table cut", BitmapFile(Packed(2, 2, 8, 1000))},
  };
  const std::string png = PathOf("never.png");
  for (const auto& [name, bytes] : files) {
    test::Capture capture;  // the compressed frame's decoder fails with its box
    const Outcome run = Export({dir_.Write("hostile.bin", bytes), "-o", png});
    EXPECT_EQ(run.status, 2) << name;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << name << "\n" << run.err;
    EXPECT_FALSE(std::filesystem::exists(png)) << name;
  }
  // Bad arguments around a file that is itself fine.
  const std::string ok = dir_.Write("ok.bmp", BitmapFile(Packed(1, 1, 24, 3)));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {ok}, {ok, "-o"}, {"-o", png}, {ok, ok, "-o", png}, {ok, "--size", "2"}}) {
    const Outcome run = Export(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_EQ(Export({ok, "-o", png}).status, 0);
  // The compressed case says why, rather than calling the file broken.
  const std::string iv41 =
      dir_.Write("iv41.bmp", BitmapFile(Packed(2, 2, 24, 100, FourCC("IV41"))));
  test::Capture capture;
  const Outcome run = Export({iv41, "-o", png});
  EXPECT_NE(run.err.find("IV41"), std::string::npos) << run.err;
  EXPECT_EQ(capture.Boxes().size(), 1u);
}

}  // namespace
}  // namespace kvp
