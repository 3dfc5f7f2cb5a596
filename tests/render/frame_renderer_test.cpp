// Frame renderer pieces: buffer sizing, the quality policy and its cache, sprite animation and
// drawing by depth, sprite order, and the blit of a frame through the image's header.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "data/codec_bridge.h"
#include "data/packed_image.h"
#include "platform/platform.h"
#include "render/display.h"
#include "render/frame_renderer.h"
#include "render/sprite_drawing.h"
#include "render/warp_engine.h"
#include "tests/diag/capture.h"

namespace kvp {
namespace {

const EnvironmentBox kBox{-1000, 1000, -1000, 1000, -1000, 1000};

// ---- Buffer sizing -------------------------------------------------------------------------

TEST(FrameSizing, ReallocatesOnlyWhenTheSizeChanges) {
  FrameOutput frame;
  FrameCache cache;
  EXPECT_EQ(RoundUpTo32(64), 64);
  ASSERT_TRUE(SizeFrameBuffers(frame, cache, RoundUpTo32(33), RoundUpTo32(33)));
  EXPECT_EQ(frame.width, 64);
  EXPECT_EQ(frame.height, 64);
  EXPECT_EQ(cache.width, 64);
  EXPECT_EQ(cache.height, 64);
  EXPECT_EQ(cache.bitsPerPixel, frame.bitsPerPixel);
  ASSERT_NE(frame.buffer, nullptr);
  ASSERT_NE(cache.buffer, nullptr);

  // The same size keeps both buffers, their contents and the cache.
  frame.buffer[0] = 0x5A;
  frame.buffer[64 * 64 * 3 - 1] = 0xA5;
  cache.valid = 1;
  const uint8_t* before = frame.buffer.get();
  ASSERT_TRUE(SizeFrameBuffers(frame, cache, 64, 64));
  EXPECT_EQ(frame.buffer.get(), before);
  EXPECT_EQ(frame.buffer[0], 0x5A);
  EXPECT_EQ(frame.buffer[64 * 64 * 3 - 1], 0xA5);
  EXPECT_EQ(cache.valid, 1);

  // A new size invalidates the cache.
  ASSERT_TRUE(SizeFrameBuffers(frame, cache, 96, 64));
  EXPECT_EQ(frame.width, 96);
  EXPECT_EQ(cache.width, 96);
  EXPECT_EQ(cache.valid, 0);
}

TEST(FrameSizing, AnImpossibleSizeIsAMemFaultThatTheNextFrameRetries) {
  FrameOutput frame;
  FrameCache cache;
  ASSERT_TRUE(SizeFrameBuffers(frame, cache, 64, 64));
  cache.valid = 1;
  {
    test::Capture capture;
    // 3 GiB at 24 bits: more than a frame may be.
    EXPECT_FALSE(SizeFrameBuffers(frame, cache, 32768, 32768));
    EXPECT_EQ(capture.Traces(), std::vector<std::string>{"Mem Fault\n"});
  }
  EXPECT_EQ(frame.width, 0);
  EXPECT_EQ(frame.height, 0);
  EXPECT_EQ(frame.buffer, nullptr);
  EXPECT_EQ(cache.buffer, nullptr);
  EXPECT_EQ(cache.valid, 0);
  // The overflow of a 32-bit size product is refused the same way.
  {
    test::Capture capture;
    EXPECT_FALSE(SizeFrameBuffers(frame, cache, 0x7FFFFFE0, 0x7FFFFFE0));
    EXPECT_EQ(capture.Traces().size(), 1u);
  }
  EXPECT_TRUE(SizeFrameBuffers(frame, cache, 64, 64));
  EXPECT_NE(frame.buffer, nullptr);
}

// ---- Quality policy ---------------------------------------------------------------------------

// A decoded image as the loader's slots hold it: header (and colour table at 8 bits), rows at
// the warp engine's stride, the picture margin readable around it. Noise, so that the smoothing
// warp differs from the nearest one.
struct SlotImage {
  std::vector<uint8_t> buffer;
  uint8_t* image = nullptr;

  SlotImage(int32_t width, int32_t height, int32_t depth, uint32_t coloursUsed) {
    BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = uint16_t(depth);
    h.clrUsed = coloursUsed;
    const PictureMargin margin = WarpPictureMargin(width, depth);
    const size_t rows = size_t(WarpPictureStride(width)) * (depth / 8) * height;
    buffer.assign(margin.before + HeaderBytes(h) + rows + margin.after, 0);
    image = buffer.data() + margin.before;
    WriteInfoHeader(image, h);
    uint32_t seed = 99;
    uint8_t* p = image + kInfoHeaderSize;
    for (size_t i = 0; i < HeaderBytes(h) - kInfoHeaderSize + rows; ++i) {
      seed = seed * 1664525u + 1013904223u;
      p[i] = uint8_t(seed >> 24);
    }
  }
  const uint8_t* Pixels() const { return image + HeaderBytes(ReadInfoHeader(image)); }
};

std::vector<uint8_t> ReferenceWarp(const SlotImage& slot, const ViewPose& pose, int32_t w,
                                   int32_t h, int32_t quality) {
  const BitmapInfoHeader header = ReadInfoHeader(slot.image);
  std::vector<uint8_t> out(size_t(w) * h * (header.bitCount / 8));
  Warper warper;
  const CapturePoint centre{};
  EXPECT_EQ(warper.RenderPanorama(kBox, pose, centre, w, h, out.data(), header.width,
                                  header.height, slot.Pixels(), header.bitCount, quality),
            1);
  return out;
}

std::vector<uint8_t> Bytes(const std::unique_ptr<uint8_t[]>& buffer, size_t n) {
  return std::vector<uint8_t>(buffer.get(), buffer.get() + n);
}

TEST(WarpPolicy, WarpsFastThenSmoothedThenCopiesTheCache) {
  SlotImage slot(250, 125, 24, 0);
  FrameOutput frame;
  FrameCache cache;
  ASSERT_TRUE(SizeFrameBuffers(frame, cache, 64, 64));
  const size_t n = 64 * 64 * 3;
  Warper warper;
  const ViewPose pose{0, 0, 0, 37.5, 10, 0, 75};
  const CapturePoint centre{};
  const std::vector<uint8_t> fast = ReferenceWarp(slot, pose, 64, 64, 0);
  const std::vector<uint8_t> smooth = ReferenceWarp(slot, pose, 64, 64, 1);
  ASSERT_NE(fast, smooth);

  WarpSource source;
  source.image = slot.image;
  EXPECT_EQ(WarpWithCache(warper, frame, cache, kBox, pose, centre, source), WarpKind::kFast);
  EXPECT_EQ(Bytes(frame.buffer, n), fast);
  EXPECT_EQ(cache.valid, 0);
  EXPECT_EQ(source.pixels, slot.Pixels());

  EXPECT_EQ(WarpWithCache(warper, frame, cache, kBox, pose, centre, source),
            WarpKind::kSmoothed);
  EXPECT_EQ(Bytes(frame.buffer, n), smooth);
  EXPECT_EQ(Bytes(cache.buffer, n), smooth);
  EXPECT_EQ(cache.valid, 1);

  // Sprites drawn over the last frame must not survive into the next one.
  std::memset(frame.buffer.get(), 0xAB, n);
  EXPECT_EQ(WarpWithCache(warper, frame, cache, kBox, pose, centre, source), WarpKind::kCopied);
  EXPECT_EQ(Bytes(frame.buffer, n), smooth);

  // Any one of the seven values changing is a new view.
  ViewPose moved = pose;
  moved.fieldOfView = 75.000001;
  EXPECT_EQ(WarpWithCache(warper, frame, cache, kBox, moved, centre, source), WarpKind::kFast);
  EXPECT_EQ(cache.valid, 0);
  moved.x = 1e-9;
  EXPECT_EQ(WarpWithCache(warper, frame, cache, kBox, moved, centre, source), WarpKind::kFast);
  EXPECT_EQ(WarpWithCache(warper, frame, cache, kBox, moved, centre, source),
            WarpKind::kSmoothed);
}

TEST(WarpPolicy, AnEightBitImageWithoutAColourCountGetsTheFullTable) {
  SlotImage slot(200, 100, 8, 0);
  FrameOutput frame;
  frame.bitsPerPixel = 8;
  FrameCache cache;
  ASSERT_TRUE(SizeFrameBuffers(frame, cache, 64, 32));
  Warper warper;
  const ViewPose pose{0, 0, 0, 200, -20, 0, 90};
  WarpSource source;
  source.image = slot.image;
  EXPECT_EQ(WarpWithCache(warper, frame, cache, kBox, pose, CapturePoint{}, source),
            WarpKind::kFast);
  EXPECT_EQ(ReadInfoHeader(slot.image).clrUsed, 256u);
  EXPECT_EQ(source.pixels, slot.image + kInfoHeaderSize + kColourTableSize);
  EXPECT_EQ(Bytes(frame.buffer, 64 * 32), ReferenceWarp(slot, pose, 64, 32, 0));
}

// ---- Sprites --------------------------------------------------------------------------------

// The viewer at the origin looking along +y with a 90-degree field of view on a 64 x 64
// frame: a sprite 10 units ahead and 10.2 wide spans screen columns 15..48.
const ViewPose kAhead{0, 0, 0, 0, 0, 0, 90};
constexpr int32_t kSide = 64;

struct Frame {
  int32_t depth;
  std::vector<uint8_t> bytes;
  explicit Frame(int32_t d, uint8_t fill = 0)
      : depth(d), bytes(size_t(kSide) * kSide * (d / 8), fill) {}
  uint8_t* At(int32_t x, int32_t y) { return &bytes[(size_t(y) * kSide + x) * (depth / 8)]; }
  uint32_t Pixel(int32_t x, int32_t y) {
    const uint8_t* p = At(x, y);
    if (depth == 8) return p[0];
    if (depth == 16) return LoadU16(p);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  }
  bool Draw(const SpriteState& s, const ViewPose& pose = kAhead) {
    return DrawSprite(s, kBox, pose, bytes.data(), kSide, kSide, int16_t(depth));
  }
};

uint32_t Bgr(uint8_t b, uint8_t g, uint8_t r) {
  return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16;
}

// A sprite picture of width x height pixels whose pixel (column, row from the bottom) is given
// by `colour` (low bytes first: index, or blue, green, red, alpha). 8-bit pictures get a
// colour table with entry i = (blue i, green 2i, red 3i).
template <class Colour>
void SetPicture(SpriteState& s, int32_t width, int32_t height, int32_t bits, Colour colour) {
  BitmapInfoHeader h;
  h.width = width;
  h.height = height;
  h.bitCount = uint16_t(bits);
  h.clrUsed = bits == 8 ? 256 : 0;
  const size_t headerBytes = HeaderBytes(h);
  s.pictureBytes = headerBytes + size_t(width) * height * (bits / 8);
  s.picture.reset(new uint8_t[s.pictureBytes]());
  WriteInfoHeader(s.picture.get(), h);
  if (bits == 8) {
    for (int i = 0; i < 256; ++i) {
      s.picture[kInfoHeaderSize + 4 * i] = uint8_t(i);
      s.picture[kInfoHeaderSize + 4 * i + 1] = uint8_t(2 * i);
      s.picture[kInfoHeaderSize + 4 * i + 2] = uint8_t(3 * i);
    }
  }
  uint8_t* p = s.picture.get() + headerBytes;
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const uint32_t v = colour(c, r);
      for (int32_t k = 0; k < bits / 8; ++k) *p++ = uint8_t(v >> (8 * k));
    }
  }
}

SpriteState& Place(SpriteState& s, double x, double y, double z, double sx, double sz) {
  s.position[0] = x;
  s.position[1] = y;
  s.position[2] = z;
  s.size[0] = sx;
  s.size[1] = 0;
  s.size[2] = sz;
  s.visible = 1;
  return s;
}

// The bounding box of the pixels that differ from `fill`: left, bottom, right, top (inclusive).
struct Drawn {
  int32_t left = kSide, bottom = kSide, right = -1, top = -1;
};
Drawn DrawnArea(Frame& f, uint32_t fill) {
  Drawn d;
  for (int32_t y = 0; y < kSide; ++y) {
    for (int32_t x = 0; x < kSide; ++x) {
      if (f.Pixel(x, y) == fill) continue;
      d.left = std::min(d.left, x);
      d.right = std::max(d.right, x);
      d.bottom = std::min(d.bottom, y);
      d.top = std::max(d.top, y);
    }
  }
  return d;
}

TEST(SpriteAnimation, AdvancesByRatePerFrameAndWrapsCells) {
  SpriteState s;
  s.frameColumns = 4;
  s.frameRows = 2;
  s.velocity[1] = 30;
  s.sizeRate[0] = 3;
  s.cellColumn = -0.5;
  s.cellRow = 1.5;
  s.cellRowRate = 15;  // half a row per frame at 30 frames per second
  AnimateSprite(s, 30);
  EXPECT_DOUBLE_EQ(s.position[1], 1.0);
  EXPECT_DOUBLE_EQ(s.size[0], 0.1);
  EXPECT_DOUBLE_EQ(s.cellColumn, 3.5);
  EXPECT_DOUBLE_EQ(s.cellRow, 0.0);

  s.cellColumn = 4.2;
  s.cellRow = -4.25;
  AnimateSprite(s, 30);
  EXPECT_NEAR(s.cellColumn, 0.2, 1e-12);
  EXPECT_NEAR(s.cellRow, 0.25, 1e-12);  // -4.25 + 0.5, then two whole sheets

  // Values no step can move, and ones that are not numbers, still end inside the sheet.
  s.cellColumn = 1e300;
  s.cellRow = -1e300;
  s.cellRowRate = 0;
  AnimateSprite(s, 30);
  EXPECT_GE(s.cellColumn, 0);
  EXPECT_LT(s.cellColumn, 4);
  EXPECT_GE(s.cellRow, 0);
  EXPECT_LT(s.cellRow, 2);
}

TEST(SpriteAnimation, AShrinkingSpriteStopsAtZeroAndThenDrawsNothing) {
  SpriteState s;
  SetPicture(s, 4, 4, 24, [](int32_t, int32_t) { return Bgr(9, 9, 9); });
  Place(s, 0, 10, 0, 10.2, 10.2);
  s.sizeRate[0] = -60;
  s.sizeRate[2] = -60;
  AnimateSprite(s, 10);  // 10.2 - 6
  EXPECT_DOUBLE_EQ(s.size[0], 10.2 - 6);
  AnimateSprite(s, 10);
  EXPECT_EQ(s.size[0], 0);
  EXPECT_EQ(s.size[2], 0);
  AnimateSprite(s, 10);
  EXPECT_EQ(s.size[0], 0);
  Frame f(24);
  EXPECT_TRUE(f.Draw(s));
  EXPECT_EQ(DrawnArea(f, 0).right, -1);
}

TEST(SpriteDrawing, CoversItsProjectedBoxOnEveryFrameDepth) {
  SpriteState s;
  SetPicture(s, 8, 8, 24, [](int32_t, int32_t) { return Bgr(50, 100, 200); });
  Place(s, 0, 10, 0, 10.2, 10.2);

  Frame f24(24);
  ASSERT_TRUE(f24.Draw(s));
  const Drawn d = DrawnArea(f24, 0);
  EXPECT_EQ(d.left, 15);
  EXPECT_EQ(d.right, 47);  // width 48 - 15: the right column itself is not covered
  EXPECT_EQ(d.bottom, 15);
  EXPECT_EQ(d.top, 47);
  EXPECT_EQ(f24.Pixel(32, 32), Bgr(50, 100, 200));

  // 5-5-5: red in bits 10-14, each channel its top five bits.
  Frame f16(16);
  ASSERT_TRUE(f16.Draw(s));
  EXPECT_EQ(f16.Pixel(32, 32), (200u >> 3) << 10 | (100u >> 3) << 5 | (50u >> 3));
  EXPECT_EQ(f16.Pixel(5, 5), 0u);

  // A true-colour picture has no place on an 8-bit frame.
  Frame f8(8, 3);
  EXPECT_FALSE(f8.Draw(s));
  EXPECT_EQ(DrawnArea(f8, 3).right, -1);
}

TEST(SpriteDrawing, EightBitPicturesSkipTheColourKey) {
  SpriteState s;
  // Left half index 0 (the key), right half index 7.
  SetPicture(s, 8, 8, 8, [](int32_t c, int32_t) { return c < 4 ? 0u : 7u; });
  Place(s, 0, 10, 0, 10.2, 10.2);

  Frame f8(8, 200);
  ASSERT_TRUE(f8.Draw(s));
  EXPECT_EQ(f8.Pixel(20, 32), 200u);
  EXPECT_EQ(f8.Pixel(44, 32), 7u);

  Frame f24(24, 1);
  ASSERT_TRUE(f24.Draw(s));
  EXPECT_EQ(f24.Pixel(20, 32), Bgr(1, 1, 1));
  EXPECT_EQ(f24.Pixel(44, 32), Bgr(7, 14, 21));

  Frame f16(16);
  ASSERT_TRUE(f16.Draw(s));
  EXPECT_EQ(f16.Pixel(44, 32), (21u >> 3) << 10 | (14u >> 3) << 5 | (7u >> 3));

  // Another key shows index 0 and hides index 7.
  s.colourKey = 7;
  Frame keyed(8, 200);
  ASSERT_TRUE(keyed.Draw(s));
  EXPECT_EQ(keyed.Pixel(20, 32), 0u);
  EXPECT_EQ(keyed.Pixel(44, 32), 200u);
}

TEST(SpriteDrawing, AlphaBlendsPerChannel) {
  SpriteState s;
  Place(s, 0, 10, 0, 10.2, 10.2);
  const auto withAlpha = [&](uint32_t alpha) {
    SetPicture(s, 4, 4, 32, [alpha](int32_t, int32_t) { return Bgr(50, 100, 200) | alpha << 24; });
  };

  withAlpha(255);  // counts as 256: the sprite replaces the frame
  Frame f(24);
  for (int32_t i = 0; i < kSide * kSide; ++i) {
    f.bytes[3 * size_t(i)] = 10;
    f.bytes[3 * size_t(i) + 1] = 20;
    f.bytes[3 * size_t(i) + 2] = 240;
  }
  Frame full = f;
  ASSERT_TRUE(full.Draw(s));
  EXPECT_EQ(full.Pixel(32, 32), Bgr(50, 100, 200));

  withAlpha(0);
  Frame none = f;
  ASSERT_TRUE(none.Draw(s));
  EXPECT_EQ(none.bytes, f.bytes);

  withAlpha(64);  // (s * 64 + f * 192) / 256
  Frame quarter = f;
  ASSERT_TRUE(quarter.Draw(s));
  EXPECT_EQ(quarter.Pixel(32, 32), Bgr((50 * 64 + 10 * 192) / 256, (100 * 64 + 20 * 192) / 256,
                                       (200 * 64 + 240 * 192) / 256));

  // 16-bit frames blend the 5-bit channels.
  Frame f16(16);
  StoreU16(f16.At(32, 32), uint16_t(30 << 10 | 2 << 5 | 17));
  ASSERT_TRUE(f16.Draw(s));
  const uint32_t red = (25 * 64 + 30 * 192) / 256, green = (12 * 64 + 2 * 192) / 256,
                 blue = (6 * 64 + 17 * 192) / 256;
  EXPECT_EQ(f16.Pixel(32, 32), red << 10 | green << 5 | blue);

  Frame f8(8);
  EXPECT_FALSE(f8.Draw(s));
}

TEST(SpriteDrawing, SelectsTheAnimationCellFromTheSheetsRightAndTop) {
  SpriteState s;
  // 4 x 2 cells of 4 x 4 pixels; the index tells the sheet column and the row from the bottom.
  SetPicture(s, 16, 8, 8, [](int32_t c, int32_t r) { return uint32_t(1 + c / 4 + 10 * (r / 4)); });
  s.frameColumns = 4;
  s.frameRows = 2;
  Place(s, 0, 10, 0, 10.2, 10.2);
  const auto shown = [&](double column, double row) {
    s.cellColumn = column;
    s.cellRow = row;
    Frame f(8);
    EXPECT_TRUE(f.Draw(s));
    return f.Pixel(32, 32);
  };
  EXPECT_EQ(shown(0, 0), 4u + 10);  // rightmost column, top row
  EXPECT_EQ(shown(3.9, 0), 1u + 10);
  EXPECT_EQ(shown(2.7, 1.2), 2u);
}

TEST(SpriteDrawing, IsFlippedWhenTheViewIsUpsideDown) {
  SpriteState s;
  // Top half of the picture index 1, bottom half index 2.
  SetPicture(s, 8, 8, 8, [](int32_t, int32_t r) { return r >= 4 ? 1u : 2u; });
  // The sprite stands 10 units along the view direction, upright (or, seen from straight
  // below, lying flat); returns the index shown a quarter up and three quarters up its box.
  const auto lowerAndUpper = [&](double pitch, double dy, double dz, bool flat) {
    const ViewPose pose{0, 0, 0, 0, pitch, 0, 90};
    Place(s, 0, dy, dz, 6, flat ? 0 : 6);
    if (flat) s.size[1] = 6;
    Frame f(8);
    EXPECT_TRUE(f.Draw(s, pose));
    const Drawn d = DrawnArea(f, 0);
    EXPECT_GT(d.top - d.bottom, 8);
    const int32_t x = (d.left + d.right) / 2;
    return std::make_pair(f.Pixel(x, d.bottom + (d.top - d.bottom) / 4),
                          f.Pixel(x, d.top - (d.top - d.bottom) / 4));
  };
  EXPECT_EQ(lowerAndUpper(60, 5, 8.66, false), std::make_pair(2u, 1u));
  EXPECT_EQ(lowerAndUpper(90, 0, 10, true), std::make_pair(2u, 1u));
  EXPECT_EQ(lowerAndUpper(120, -5, 8.66, false), std::make_pair(1u, 2u));
  EXPECT_EQ(lowerAndUpper(-120, -5, -8.66, false), std::make_pair(1u, 2u));
}

TEST(SpriteDrawing, ClipsAtTheFrameEdgesKeepingTheSourceColumns) {
  SpriteState s;
  // Left half index 1, right half index 2.
  SetPicture(s, 8, 8, 8, [](int32_t c, int32_t) { return c < 4 ? 1u : 2u; });
  // Centred on the frame's left edge (screen x -32 is world x -10 at 10 ahead).
  Place(s, -10, 10, 0, 10.2, 10.2);
  Frame f(8);
  ASSERT_TRUE(f.Draw(s));
  EXPECT_EQ(f.Pixel(0, 32), 2u);
  EXPECT_EQ(f.Pixel(15, 32), 2u);
  EXPECT_EQ(f.Pixel(17, 32), 0u);

  EXPECT_EQ(DrawnArea(f, 0).right, 15);

  // Hanging over each edge, or far larger than the frame on every side: the frame gets the
  // clipped rectangle and nothing around it is touched.
  struct Case {
    double x, z, size;
    Drawn expected;
  };
  const Case cases[] = {
      {-8.4375, -8.4375, 9.5, {0, 0, 19, 19}},   // screen -10 .. 20 both ways
      {8.4375, 8.4375, 9.5, {43, 43, 63, 63}},   // screen 43 .. 74
      {-8.4375, 8.4375, 9.5, {0, 43, 19, 63}},
      {0, 0, 200, {0, 0, 63, 63}},
  };
  constexpr size_t kGuard = 16 * kSide;
  for (const Case& c : cases) {
    std::vector<uint8_t> guarded(kGuard + size_t(kSide) * kSide + kGuard, 0xEE);
    Frame inside(8);
    Place(s, c.x, 10, c.z, c.size, c.size);
    std::copy(inside.bytes.begin(), inside.bytes.end(), guarded.begin() + kGuard);
    ASSERT_TRUE(DrawSprite(s, kBox, kAhead, guarded.data() + kGuard, kSide, kSide, 8));
    for (size_t i = 0; i < kGuard; ++i) {
      ASSERT_EQ(guarded[i], 0xEE) << c.x << " " << i;
      ASSERT_EQ(guarded[guarded.size() - 1 - i], 0xEE) << c.x << " " << i;
    }
    std::copy(guarded.begin() + kGuard, guarded.end() - kGuard, inside.bytes.begin());
    const Drawn d = DrawnArea(inside, 0);
    EXPECT_EQ(d.left, c.expected.left) << c.x;
    EXPECT_EQ(d.bottom, c.expected.bottom) << c.x;
    EXPECT_EQ(d.right, c.expected.right) << c.x;
    EXPECT_EQ(d.top, c.expected.top) << c.x;
  }
}

TEST(SpriteDrawing, SkipsWhatCannotBeDrawnSafely) {
  SpriteState s;
  SetPicture(s, 8, 8, 24, [](int32_t, int32_t) { return Bgr(1, 2, 3); });

  // No width on screen.
  Place(s, 0, 10, 0, 0, 10.2);
  Frame flat(24);
  EXPECT_TRUE(flat.Draw(s));
  EXPECT_EQ(DrawnArea(flat, 0).right, -1);

  // A corner behind the viewer.
  Place(s, 0, 1, 0, 10.2, 10.2);
  s.size[1] = 4;
  Frame around(24);
  EXPECT_FALSE(around.Draw(s));
  EXPECT_EQ(DrawnArea(around, 0).right, -1);

  // A header claiming more rows than the picture holds.
  Place(s, 0, 10, 0, 10.2, 10.2);
  s.pictureBytes -= 1;
  Frame cut(24);
  EXPECT_FALSE(cut.Draw(s));
  EXPECT_EQ(DrawnArea(cut, 0).right, -1);

  // Cells narrower than a pixel.
  s.pictureBytes += 1;
  s.frameColumns = 9;
  Frame thin(24);
  EXPECT_FALSE(thin.Draw(s));
  EXPECT_EQ(DrawnArea(thin, 0).right, -1);
}

TEST(SpriteOrder, FarthestFirstAndTheHigherSlotOnTopOfEquals) {
  SpriteState a, b, c;
  SetPicture(a, 4, 4, 8, [](int32_t, int32_t) { return 1u; });
  SetPicture(b, 4, 4, 8, [](int32_t, int32_t) { return 2u; });
  SetPicture(c, 4, 4, 8, [](int32_t, int32_t) { return 3u; });
  SpriteState* slots[] = {&a, nullptr, &b};
  const auto centre = [&](SpriteState* const* sprites, int32_t count) {
    Frame f(8);
    AnimateAndDrawSprites(sprites, count, 30, 0, 0, 0, kBox, kAhead, f.bytes.data(), kSide,
                          kSide, 8);
    return f.Pixel(32, 32);
  };

  // Equal distances: the higher slot is drawn last.
  Place(a, 0, 10, 0, 4, 4);
  Place(b, 0, 10, 0, 4, 4);
  EXPECT_EQ(centre(slots, 3), 2u);

  // The nearer sprite covers the farther one whatever their slots.
  Place(a, 0, 5, 0, 4, 4);
  Place(b, 0, 20, 0, 12, 12);
  EXPECT_EQ(centre(slots, 3), 1u);

  // An invisible sprite is animated but not drawn.
  a.visible = 0;
  a.velocity[0] = 30;
  EXPECT_EQ(centre(slots, 3), 2u);
  EXPECT_DOUBLE_EQ(a.position[0], 1.0);

  // A slot without a picture is neither animated nor drawn.
  c.picture.reset();
  Place(c, 0, 1, 0, 4, 4);
  c.velocity[0] = 30;
  SpriteState* withEmpty[] = {&b, &c};
  EXPECT_EQ(centre(withEmpty, 2), 2u);
  EXPECT_EQ(c.position[0], 0);
}

// ---- The blit -------------------------------------------------------------------------------

TEST(FrameBlit, UsesTheImageHeaderAtTheFrameSizeAndRestoresIt) {
  platform::OverrideScreenBitsPerPixel(24);
  UpdateDisplayDepth();
  platform::Window* window = platform::CreateOffscreenWindow(96, 64);
  ASSERT_NE(window, nullptr);

  // A 24-bit image of another size, whose header travels with the frame.
  BitmapInfoHeader h;
  h.width = 500;
  h.height = 250;
  h.bitCount = 24;
  std::vector<uint8_t> image(kInfoHeaderSize);
  WriteInfoHeader(image.data(), h);

  FrameOutput frame;
  FrameCache cache;
  ASSERT_TRUE(SizeFrameBuffers(frame, cache, 96, 64));
  for (int32_t i = 0; i < 96 * 64; ++i) {
    frame.buffer[3 * size_t(i)] = uint8_t(i % 96 + 1);
    frame.buffer[3 * size_t(i) + 1] = uint8_t(i / 96 + 1);
    frame.buffer[3 * size_t(i) + 2] = 0x80;
  }
  BlitFrameToWindow(window, image.data(), frame);
  EXPECT_EQ(ReadInfoHeader(image.data()).width, 500);
  EXPECT_EQ(ReadInfoHeader(image.data()).height, 250);
  std::vector<uint8_t> shown(96 * 64 * 3);
  ASSERT_TRUE(platform::ReadWindowPixels(window, shown.data()));
  EXPECT_EQ(shown, Bytes(frame.buffer, shown.size()));

  // With the drawing rectangle in force only it is drawn over.
  std::memset(frame.buffer.get(), 0x11, 96 * 64 * 3);
  frame.left = 8;
  frame.top = 4;
  frame.right = 24;
  frame.bottom = 12;
  frame.rectangleInForce = 1;
  BlitFrameToWindow(window, image.data(), frame);
  ASSERT_TRUE(platform::ReadWindowPixels(window, shown.data()));
  const auto at = [&](int32_t x, int32_t yFromTop) {
    return shown[(size_t(63 - yFromTop) * 96 + x) * 3];
  };
  EXPECT_EQ(at(8, 4), 0x11);
  EXPECT_EQ(at(23, 11), 0x11);
  EXPECT_EQ(at(24, 11), 24 + 1);
  EXPECT_EQ(at(7, 4), 7 + 1);
  platform::DestroyOffscreenWindow(window);
  platform::OverrideScreenBitsPerPixel(0);
  UpdateDisplayDepth();
}

}  // namespace
}  // namespace kvp
