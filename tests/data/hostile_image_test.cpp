// Hostile image files through the environment set: images cut short, and lengths and sizes
// the file does not hold, must neither reserve memory for them nor show bytes never read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/container.h"
#include "data/environment_set.h"
#include "data/packed_image.h"
#include "data/sprite_picture.h"
#include "tests/data/tour_files.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

// A container with one "BTMP" entry at offset 32 that claims `claimed` bytes, followed by
// `image` as far as it goes.
std::vector<uint8_t> ContainerClaiming(const std::vector<uint8_t>& image, uint32_t claimed) {
  std::vector<uint8_t> out(32, 0);
  std::memcpy(out.data(), "KVPF", 4);
  StoreU32(out.data() + 8, 1);
  std::memcpy(out.data() + 16, "BTMP", 4);
  StoreU32(out.data() + 20, 32);
  StoreU32(out.data() + 24, claimed);
  out.insert(out.end(), image.begin(), image.end());
  return out;
}

// The 14-byte bitmap file header with its size field 0.
std::vector<uint8_t> FileHeader() {
  std::vector<uint8_t> header(kFileHeaderSize, 0);
  header[0] = 'B';
  header[1] = 'M';
  return header;
}

struct Opened {
  int32_t result = 0;
  std::string error;
};

Opened Open(EnvironmentSet& set, const std::string& path) {
  ViewPose start{}, minimum{}, maximum{};
  char error[256] = "";
  Opened o;
  o.result = set.OpenEnvironments(path.c_str(), error, start, minimum, maximum, nullptr, nullptr);
  o.error = error;
  return o;
}

int Ask(EnvironmentSet& set, const uint8_t*& image) {
  ViewPose pose{}, centre{};
  int32_t environment = 0;
  return set.RequestImage(pose, centre, image, environment, kMovementNormal);
}

TEST(HostileImage, AnImageCutShortIsRefusedByTheSynchronousLoad) {
  test::TempDir dir;
  const std::vector<uint8_t> image = test::FlatImage(64, 32, 7).bytes;
  // The file ends half-way through the image block; a bitmap file whose size field claims
  // more than the file holds is the same case.
  std::vector<uint8_t> container = ContainerClaiming(image, uint32_t(image.size()));
  container.resize(container.size() - image.size() / 2);
  std::vector<uint8_t> bitmap = FileHeader();
  bitmap.insert(bitmap.end(), image.begin(), image.end() - 100);
  StoreU32(bitmap.data() + 2, uint32_t(image.size() + 14));
  for (const auto& bytes : {container, bitmap}) {
    EnvironmentSet set;
    const Opened o = Open(set, dir.Write("cut.pan", bytes));
    ASSERT_EQ(o.result, -1) << o.error;
    test::Capture capture;
    const uint8_t* shown = nullptr;
    EXPECT_EQ(Ask(set, shown), kAskAgain);
    EXPECT_EQ(shown, nullptr);
    EXPECT_EQ(capture.TraceStream(), "Cannot Read File\n");
    EXPECT_EQ(set.SlotIndex(0), -1);
  }
  // The whole file still opens and shows its pixels.
  EnvironmentSet set;
  ASSERT_EQ(Open(set, dir.Write("whole.pan", ContainerClaiming(image, uint32_t(image.size())))).result,
            -1);
  const uint8_t* shown = nullptr;
  ASSERT_EQ(Ask(set, shown), kImageDelivered);
  EXPECT_EQ(shown[kInfoHeaderSize + kColourTableSize], 7);
}

TEST(HostileImage, ClaimedLengthsAndSizesNeverReserveMoreThanTheFileBacks) {
  test::TempDir dir;
  const std::vector<uint8_t> image = test::FlatImage(64, 32, 7).bytes;
  // A 3 KB image whose directory entry claims 1.5 GB.
  const std::vector<uint8_t> longEntry = ContainerClaiming(image, 1500u << 20);
  // A 55-byte bitmap whose header claims 21844 x 32000 pixels.
  std::vector<uint8_t> wideBitmap = FileHeader();
  wideBitmap[2] = 55;
  const std::vector<uint8_t> header = test::InfoHeaderBytes(21844, 32000, 24);
  wideBitmap.insert(wideBitmap.end(), header.begin(), header.end());
  wideBitmap.resize(55, 0x33);
  // A compressed frame of 100 bytes that would decode to 16384 x 16384 pixels.
  std::vector<uint8_t> frame = test::InfoHeaderBytes(16384, 16384, 24, FourCC("cvid"));
  frame.resize(140, 0x44);
  const std::vector<uint8_t> bigFrame = ContainerClaiming(frame, uint32_t(frame.size()));

  for (const auto& bytes : {longEntry, wideBitmap, bigFrame}) {
    EnvironmentSet set;
    test::Capture capture;
    const Opened o = Open(set, dir.Write("claims.pan", bytes));
    ASSERT_EQ(o.result, -1) << o.error;
    EXPECT_LT(set.SlotBufferSize(0), size_t(64) << 10);
    const uint8_t* shown = nullptr;
    EXPECT_EQ(Ask(set, shown), kAskAgain);
    EXPECT_EQ(shown, nullptr);
  }
}

TEST(HostileImage, ARunLengthSpriteExpandsOnceIntoTheBufferItIsKeptIn) {
  // About 1 KB on disk, 2048 x 2048 pixels once expanded: two runs, then nothing.
  std::vector<uint8_t> picture = test::InfoHeaderBytes(2048, 2048, 8, FourCC("dkrl"), 1028);
  picture.resize(kInfoHeaderSize + kColourTableSize, 0x11);
  for (uint8_t b : {uint8_t(3), uint8_t(9), uint8_t(2), uint8_t(5)}) picture.push_back(b);
  const uint64_t size = RunLengthExpandedSize(picture.data(), picture.size());
  ASSERT_EQ(size, 2048u * 2048u + 1064u);
  // The buffer's old contents never show: what the runs miss is 0.
  std::vector<uint8_t> out(size_t(size), 0xEE);
  EXPECT_FALSE(ExpandRunLengthInto(picture.data(), picture.size(), out.data(), out.size() - 1));
  EXPECT_EQ(out[1064], 0xEE);
  ASSERT_TRUE(ExpandRunLengthInto(picture.data(), picture.size(), out.data(), out.size()));
  const std::vector<uint8_t> start(out.begin() + 1064, out.begin() + 1070);
  EXPECT_EQ(start, (std::vector<uint8_t>{9, 9, 9, 5, 5, 0}));
  EXPECT_EQ(out.back(), 0);
  EXPECT_EQ(ReadInfoHeader(out.data()).compression, 0u);
  EXPECT_EQ(ExpandRunLength(picture.data(), picture.size()).bytes, out);

  test::TempDir dir;
  std::vector<uint8_t> file = FileHeader();
  file.insert(file.end(), picture.begin(), picture.end());
  StoreU32(file.data() + 2, uint32_t(file.size()));
  const SpritePicture read = ReadSpritePicture(dir.Write("s.avt", file).c_str());
  ASSERT_EQ(read.length, out.size());
  EXPECT_TRUE(std::equal(out.begin(), out.end(), read.bytes.get()));
  // Past the pixel limit nothing is expanded at all.
  StoreU32(file.data() + 14 + 4, 32768);
  StoreU32(file.data() + 14 + 8, 32768);
  EXPECT_EQ(ReadSpritePicture(dir.Write("huge.avt", file).c_str()).bytes, nullptr);
}

}  // namespace
}  // namespace kvp
