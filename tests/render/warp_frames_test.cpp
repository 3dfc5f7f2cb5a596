// Frames that must come out the same on every build: a fixed set of views of a fixed picture,
// warped by every member, against checksums recorded on the native build. The Windows build
// runs the same test under Wine, so a difference in floating point between the compilers or
// their maths libraries shows up here.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "data/picture_layout.h"
#include "render/warp_engine.h"

namespace kvp {
namespace {

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

// A 1000 x 500 picture of noise and gradients (not a multiple of 4 wide, so the stride is
// padded), the same on every build.
std::vector<uint8_t> PictureBytes(int32_t depth) {
  const int32_t w = 1000, h = 500;
  std::vector<uint8_t> out(size_t(w) * h * (depth / 8));
  uint32_t seed = 12345;
  for (int32_t r = 0; r < h; ++r) {
    for (int32_t c = 0; c < w; ++c) {
      seed = seed * 1664525u + 1013904223u;
      const size_t i = size_t(r) * w + c;
      const uint8_t noise = uint8_t(seed >> 24);
      if (depth == 8) {
        out[i] = uint8_t(c + noise / 16);
      } else if (depth == 16) {
        const uint16_t px = uint16_t((c / 32) % 32 << 10 | (r / 16) % 32 << 5 | noise % 32);
        out[2 * i] = uint8_t(px);
        out[2 * i + 1] = uint8_t(px >> 8);
      } else {
        out[3 * i] = uint8_t(c);
        out[3 * i + 1] = uint8_t(r);
        out[3 * i + 2] = noise;
      }
    }
  }
  return out;
}

struct Case {
  double heading, pitch, roll, fov, xoff, yoff;
  int32_t depth, quality;
  uint64_t checksum;
};

const Case kCases[] = {
    {0, 0, 0, 75, 0, 0, 24, 0, 0x2b4ff7ed8cb64dfaull},
    {183.25, 12, 0, 90, 0, 0, 24, 1, 0xd283749e3faf9f93ull},
    {271, -89, 7, 60, 0, 0, 24, 0, 0x3fb779d737e0d15dull},
    {45.5, 88, -15, 110, 13.5, -7.25, 24, 1, 0x3440e72831345e9cull},
    {359, -30, 170, 75, 0, 0, 16, 0, 0xd76f2bdf7e5c7f17ull},
    {90, 30, 5, 75, 0, 0, 16, 1, 0x8a169d2a00626098ull},
    {200, -70, 0, 120, 0, 0, 8, 0, 0x92276ceaf7cb95d5ull},
    {-45, 5, 0, 40, -20, 10, 8, 1, 0x3679f6ff02f26f42ull},
};

TEST(WarpFrames, AreTheSameOnEveryBuild) {
  const int32_t w = 320, h = 224;
  for (const Case& c : kCases) {
    const std::vector<uint8_t> rows = PictureBytes(c.depth);
    WarpPicture picture;
    ASSERT_TRUE(picture.Assign(1000, 500, c.depth, rows.data()));
    std::vector<uint8_t> frame(size_t(w) * h * (c.depth / 8));
    WarpEngine engine;
    ASSERT_EQ(engine.WarpFrame({c.heading, c.pitch, c.roll, FocalLength(w, c.fov), c.xoff, c.yoff},
                               w, h, frame.data(), 1000, 500, picture.Pixels(), c.depth,
                               c.quality),
              1);
    EXPECT_EQ(Fnv1a(frame), c.checksum)
        << std::hex << "0x" << Fnv1a(frame) << "ull for heading " << std::dec << c.heading
        << ", depth " << c.depth << ", quality " << c.quality;
  }
}

}  // namespace
}  // namespace kvp
