// Panorama files: kind probe, image and block lookup, directory walk and "dkrl" expansion.
#include "data/container.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/test_files.h"

namespace kvp {
namespace {

using test::PutText;
using test::PutU32;

std::vector<uint8_t> ContainerHeader(uint32_t count) {
  std::vector<uint8_t> out;
  PutText(out, "KVPF");
  PutU32(out, 0);
  PutU32(out, count);
  PutU32(out, 0);
  return out;
}

void PutEntry(std::vector<uint8_t>& out, const char* tag, uint32_t offset, uint32_t length) {
  out.insert(out.end(), tag, tag + 4);
  PutU32(out, offset);
  PutU32(out, length);
  PutU32(out, 0);
}

uint32_t Locate(const std::vector<uint8_t>& file, uint32_t* position) {
  MemoryReader reader(file.data(), file.size());
  reader.Seek(7);  // the lookup must not depend on where the caller left the reader
  const uint32_t length = LocateImage(reader);
  *position = reader.Tell();
  return length;
}

TEST(ProbeFileKind, DecidesByTheFirstBytes) {
  struct Case {
    std::string bytes;
    FileKind kind;
  } cases[] = {
      {"BMxx and more", FileKind::Bitmap},
      {"BMKVPF", FileKind::Bitmap},  // "BM" is tested first
      {"BM", FileKind::Bitmap},
      {"KVPF", FileKind::Container},
      {"KVPFrest", FileKind::Container},
      {"KVP", FileKind::Unknown},  // shorter than the bytes compared
      {"kvpf", FileKind::Unknown},
      {"B", FileKind::Unknown},
      {"", FileKind::Unknown},
      {"[Kestrelvue]\n", FileKind::Unknown},
  };
  for (const Case& c : cases) {
    MemoryReader reader(c.bytes.data(), c.bytes.size());
    reader.Seek(2);
    EXPECT_EQ(ProbeFileKind(reader), c.kind) << c.bytes;
    EXPECT_EQ(reader.Tell(), 0u) << c.bytes;
  }
}

TEST(LocateImage, BitmapFileSizeFieldAloneCounts) {
  // The pixel-offset field points past a gap; only the file-size field counts.
  std::vector<uint8_t> file;
  PutText(file, "BM");
  PutU32(file, 14 + 100);
  PutU32(file, 0);
  PutU32(file, 9999);
  file.resize(14 + 100, 0xAB);
  uint32_t at = 0;
  EXPECT_EQ(Locate(file, &at), 100u);
  EXPECT_EQ(at, 14u);
}

TEST(LocateImage, BitmapWithoutRoomForAnImageHasNone) {
  for (uint32_t sizeField : {0u, 5u, 14u}) {
    std::vector<uint8_t> file;
    PutText(file, "BM");
    PutU32(file, sizeField);
    file.resize(14, 0);
    uint32_t at = 99;
    EXPECT_EQ(Locate(file, &at), 0u) << sizeField;
    EXPECT_EQ(at, 0u);
  }
  std::vector<uint8_t> cut = {'B', 'M', 200, 0, 0};  // header cut short
  uint32_t at = 99;
  EXPECT_EQ(Locate(cut, &at), 0u);
  EXPECT_EQ(at, 0u);
}

TEST(LocateImage, ContainerFindsTheFirstImageEntry) {
  // One entry, "BTMP" at offset 32.
  std::vector<uint8_t> one = ContainerHeader(1);
  PutEntry(one, "BTMP", 32, 77);
  one.resize(32 + 77, 1);
  uint32_t at = 0;
  EXPECT_EQ(Locate(one, &at), 77u);
  EXPECT_EQ(at, 32u);

  // Hot spots listed first are skipped; of two images the first wins.
  std::vector<uint8_t> three = ContainerHeader(3);
  PutEntry(three, "HSPT", 64, 1);
  PutEntry(three, "BTMP", 65, 10);
  PutEntry(three, "BTMP", 75, 20);
  three.resize(95, 0);
  EXPECT_EQ(Locate(three, &at), 10u);
  EXPECT_EQ(at, 65u);

  MemoryReader reader(three.data(), three.size());
  EXPECT_EQ(LocateBlock(reader, "HSPT"), 1u);
  EXPECT_EQ(reader.Tell(), 64u);
}

TEST(LocateImage, ContainerWithoutAnImageHasNone) {
  std::vector<uint8_t> lower = ContainerHeader(1);
  PutEntry(lower, "btmp", 32, 10);  // tags compare byte for byte
  lower.resize(42, 0);

  std::vector<uint8_t> empty = ContainerHeader(0);
  PutEntry(empty, "BTMP", 32, 10);  // beyond the count: never read
  empty.resize(42, 0);

  std::vector<uint8_t> lying = ContainerHeader(0xFFFFFFFF);  // count far beyond the file
  PutEntry(lying, "HSPT", 40, 1);
  lying.push_back(0);

  std::vector<uint8_t> cutEntry = ContainerHeader(1);
  cutEntry.insert(cutEntry.end(), {'B', 'T', 'M', 'P', 32, 0, 0});  // entry cut short

  std::vector<uint8_t> cutHeader = {'K', 'V', 'P', 'F', 0, 0};

  for (const auto* file : {&lower, &empty, &lying, &cutEntry, &cutHeader}) {
    uint32_t at = 99;
    EXPECT_EQ(Locate(*file, &at), 0u);
    EXPECT_EQ(at, 0u);
  }
  std::string text = "[Kestrelvue]\nVERSION=Release 2.0\n";
  std::vector<uint8_t> description(text.begin(), text.end());
  uint32_t at = 99;
  EXPECT_EQ(Locate(description, &at), 0u);
  EXPECT_EQ(at, 0u);
}

TEST(LocateBlock, BitmapAndUnknownFilesHaveNoBlocks) {
  std::vector<uint8_t> bitmap = {'B', 'M', 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'H', 'S', 'P', 'T'};
  MemoryReader reader(bitmap.data(), bitmap.size());
  EXPECT_EQ(LocateBlock(reader, "HSPT"), 0u);
  EXPECT_EQ(reader.Tell(), 0u);
}

TEST(ReadDirectory, StopsAtTheCountAndAtTheEndOfTheData) {
  std::vector<uint8_t> file = ContainerHeader(5);
  PutEntry(file, "BTMP", 48, 3);
  PutEntry(file, "XTRA", 51, 0);
  file.resize(51, 0);
  MemoryReader reader(file.data(), file.size());
  const std::vector<DirectoryEntry> entries = ReadDirectory(reader);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(std::string(entries[1].tag, 4), "XTRA");
  EXPECT_EQ(entries[0].offset, 48u);
  EXPECT_EQ(entries[0].length, 3u);
}

// A "dkrl" picture: header, colour table, then (run, index) pairs.
std::vector<uint8_t> Dkrl(int32_t w, int32_t h, const std::vector<uint8_t>& pairs,
                          uint32_t sizeField) {
  std::vector<uint8_t> out = test::InfoHeaderBytes(w, h, 8, FourCC("dkrl"), sizeField, 1, 1);
  for (int i = 0; i < 256; ++i) {
    out.insert(out.end(), {uint8_t(i), uint8_t(255 - i), 7, 0});
  }
  out.insert(out.end(), pairs.begin(), pairs.end());
  return out;
}

const uint8_t* PixelsOf(const PackedImage& image) { return image.bytes.data() + 1064; }

TEST(ExpandRunLength, FillsRunsInOrderAndSetsTheHeader) {
  // 4 x 2 pixels: 3 x 5, a zero-length run, 2 x 9, 3 x 1.
  const std::vector<uint8_t> pairs = {3, 5, 0, 77, 2, 9, 3, 1};
  const std::vector<uint8_t> in = Dkrl(4, 2, pairs, 1024 + uint32_t(pairs.size()));
  const PackedImage out = ExpandRunLength(in.data(), in.size());
  ASSERT_EQ(out.bytes.size(), 1064u + 8u);
  const uint8_t expected[8] = {5, 5, 5, 9, 9, 1, 1, 1};
  EXPECT_EQ(std::memcmp(PixelsOf(out), expected, 8), 0);
  const BitmapInfoHeader h = out.View().Header();
  EXPECT_EQ(h.compression, 0u);
  EXPECT_EQ(h.bitCount, 8);
  EXPECT_EQ(h.clrUsed, 256u);
  EXPECT_EQ(h.sizeImage, 0u);
  EXPECT_EQ(h.xPelsPerMeter, 1);  // the animation cells survive
  EXPECT_EQ(std::memcmp(out.bytes.data() + 40, in.data() + 40, 1024), 0);
  EXPECT_TRUE(out.View().PixelsComplete());
}

TEST(ExpandRunLength, CutsOverlongRunsAndZeroesWhatRunsMiss) {
  const std::vector<uint8_t> over = Dkrl(3, 3, {255, 4, 255, 6}, 1028);
  PackedImage out = ExpandRunLength(over.data(), over.size());
  ASSERT_EQ(out.bytes.size(), 1064u + 9u);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(PixelsOf(out)[i], 4);

  const std::vector<uint8_t> shortRuns = Dkrl(3, 3, {2, 8}, 1026);
  out = ExpandRunLength(shortRuns.data(), shortRuns.size());
  ASSERT_EQ(out.bytes.size(), 1064u + 9u);
  EXPECT_EQ(PixelsOf(out)[1], 8);
  for (int i = 2; i < 9; ++i) EXPECT_EQ(PixelsOf(out)[i], 0);
}

TEST(ExpandRunLength, ImageSizeFieldDecidesThePairCountButNeverPastTheData) {
  // Field 1025 or less: no pairs, whatever follows.
  std::vector<uint8_t> in = Dkrl(2, 1, {2, 3}, 1025);
  PackedImage out = ExpandRunLength(in.data(), in.size());
  ASSERT_FALSE(out.bytes.empty());
  EXPECT_EQ(PixelsOf(out)[0], 0);

  // Field 1027: one pair (rounded down); the second pair is ignored.
  in = Dkrl(4, 1, {1, 3, 3, 4}, 1027);
  out = ExpandRunLength(in.data(), in.size());
  EXPECT_EQ(PixelsOf(out)[0], 3);
  EXPECT_EQ(PixelsOf(out)[1], 0);

  // A field that claims far more pairs than the file holds: only the real ones count.
  in = Dkrl(4, 1, {1, 3, 1, 4, 7}, 0x7FFFFFFF);
  out = ExpandRunLength(in.data(), in.size());
  ASSERT_EQ(out.bytes.size(), 1068u);
  EXPECT_EQ(PixelsOf(out)[1], 4);
  EXPECT_EQ(PixelsOf(out)[2], 0);
}

TEST(ExpandRunLength, RefusesImpossiblePictures) {
  std::vector<uint8_t> cut = Dkrl(2, 2, {}, 0);
  cut.resize(1000);  // ends inside the colour table
  const std::vector<std::vector<uint8_t>> bad = {
      Dkrl(0, 5, {1, 1}, 1026),
      Dkrl(5, -3, {1, 1}, 1026),
      Dkrl(0x10000, 0x10000, {1, 1}, 1026),  // W x H overflows 32 bits
      Dkrl(-1, -1, {1, 1}, 1026),
      cut,
  };
  for (const auto& in : bad) EXPECT_TRUE(ExpandRunLength(in.data(), in.size()).bytes.empty());
  EXPECT_TRUE(ExpandRunLength(nullptr, 5000).bytes.empty());
}

}  // namespace
}  // namespace kvp
