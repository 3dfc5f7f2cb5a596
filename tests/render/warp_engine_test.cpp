// The warp engine against the exact projection: sampling accuracy, the seam and the poles,
// the picture margin, the members' pixel rules, refusals, and frames that must not change.
#include "render/warp_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "data/picture_layout.h"

namespace kvp {
namespace {

// A 24-bit picture whose every pixel holds its own column and row (12 bits each), so a frame
// tells exactly which picture pixel each frame pixel sampled.
WarpPicture CodedPicture(int32_t width, int32_t height) {
  std::vector<uint8_t> rows(size_t(width) * height * 3);
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const uint32_t code = uint32_t(c) | uint32_t(r) << 12;
      uint8_t* p = &rows[(size_t(r) * width + c) * 3];
      p[0] = uint8_t(code);
      p[1] = uint8_t(code >> 8);
      p[2] = uint8_t(code >> 16);
    }
  }
  WarpPicture picture;
  EXPECT_TRUE(picture.Assign(width, height, 24, rows.data()));
  return picture;
}

struct Sample {
  int32_t c, r;
};
Sample Decode(const uint8_t* p) {
  const uint32_t code = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  return {int32_t(code & 0xFFF), int32_t(code >> 12)};
}

struct View {
  double heading, pitch, roll, fov;
};

// The loops address picture pixel r * W + c relative to a base moved by the origin shift, and
// columns beyond the seam read on into the next stored row, by design. So "which pixel was
// chosen" is a position in the stored picture: compare those, allowing one column and one
// row either way.
bool Near(int64_t chosen, int64_t exact, int32_t W) {
  for (int64_t rows = -1; rows <= 1; ++rows) {
    if (std::llabs(chosen - exact - rows * W) <= 1) return true;
  }
  return false;
}

// Near a pole a picture pixel is a thin wedge and "one column" means almost nothing, so there
// distance is measured on the sphere: from the exact ray's direction to the centre of the
// sampled pixel, in pixel heights (180 / Hm degrees).
double SphereDistance(double c, double r, double exactC, double exactR, int32_t W, int32_t hm) {
  const auto direction = [&](double col, double row, double out[3]) {
    const double theta = col * 360.0 / W * 3.141592653589793 / 180;
    const double phi = (row * 180.0 / hm - 90) * 3.141592653589793 / 180;
    out[0] = std::cos(phi) * std::sin(theta);
    out[1] = std::sin(phi);
    out[2] = std::cos(phi) * std::cos(theta);
  };
  double a[3], b[3];
  direction(c, r, a);
  direction(exactC, exactR, b);
  const double dot = std::min(1.0, a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
  return std::acos(dot) * 180 / 3.141592653589793 / (180.0 / hm);
}

// The sampled pixel of a stored position, read as the loop chose it (a row and a column that
// may run past the seam), nearest to the exact point.
double PoleError(int64_t chosen, Fixed16 u, Fixed16 v, int32_t shift, int32_t W, int32_t hm) {
  double best = 1e9;
  for (int64_t row = (v >> 16) - 1; row <= (v >> 16) + 1; ++row) {
    const int64_t col = chosen - shift - row * W;
    best = std::min(best, SphereDistance(col + 0.5, row + 0.5, u / 65536.0, v / 65536.0, W, hm));
  }
  return best;
}

struct Accuracy {
  double body = 1;       // rays within +-80 degrees of pitch: within one column and row
  double poles = 1;      // pixels inside the pole windows: within 2 pixel heights
  double worstPole = 0;  // largest pole-window distance, in pixel heights
  double worstAnywhere = 0;  // largest distance on the sphere over the whole frame
  int64_t polePixels = 0;
};

// How often each frame pixel's sampled picture pixel is within one pixel of the one the
// engine's exact ScreenToImage gives.
Accuracy Measure(const View& v, int32_t w, int32_t h, int32_t pw, int32_t ph,
                 bool polePass = true) {
  const WarpPicture picture = CodedPicture(pw, ph);
  std::vector<uint8_t> frame(size_t(w) * h * 3);
  WarpEngine engine;
  const double f = FocalLength(w, v.fov);
  if (polePass) {
    EXPECT_EQ(engine.WarpFrame({v.heading, v.pitch, v.roll, f, 0, 0}, w, h, frame.data(), pw, ph,
                               picture.Pixels(), 24, 0),
              1);
  } else {
    EXPECT_TRUE(engine.SetUp({v.heading, v.pitch, v.roll, f, 0, 0}, w, h, frame.data(), pw, ph,
                             picture.Pixels(), 24));
    engine.RunBlockLoop(
        warp::Nearest24{picture.Pixels() + engine.OriginShift() * 3, engine.RowOffsets().Rows()});
  }
  // The windows the pole pass redraws.
  std::vector<bool> inPole(size_t(w) * h, false);
  const WarpCamera cam = engine.Camera();
  for (double polePitch : {-90.0, 90.0}) {
    double x, y;
    if (!DirectionToScreen(cam.heading, cam.pitch, cam.roll, f, 0, 0, 0, polePitch, x, y)) continue;
    if (std::fabs(x) > 1e6 || std::fabs(y) > 1e6) continue;
    const int32_t cx = w / 2 + int32_t(x), cy = h / 2 + int32_t(y);
    const int32_t x0 = cx - cx % 16 - 48, y0 = cy - cy % 16 - 48;
    for (int32_t j = std::max(0, y0); j < std::min(h, y0 + 96); ++j) {
      for (int32_t i = std::max(0, x0); i < std::min(w, x0 + 96); ++i) inPole[size_t(j) * w + i] = true;
    }
  }
  const int32_t W = WarpPictureStride(pw);
  int64_t body = 0, bodyGood = 0, pole = 0, poleGood = 0;
  double worstPole = 0, worstAnywhere = 0;
  for (int32_t j = 0; j < h; ++j) {
    for (int32_t i = 0; i < w; ++i) {
      Fixed16 u, vv;
      engine.ScreenToImage(i, j, u, vv);
      const Sample s = Decode(&frame[(size_t(j) * w + i) * 3]);
      const int64_t chosen = int64_t(s.r) * W + s.c;
      const bool good =
          Near(chosen, int64_t(vv >> 16) * W + (u >> 16) + engine.OriginShift(), W);
      worstAnywhere =
          std::max(worstAnywhere, PoleError(chosen, u, vv, engine.OriginShift(), W, ph - 1));
      if (inPole[size_t(j) * w + i]) {
        ++pole;
        const double error = PoleError(chosen, u, vv, engine.OriginShift(), W, ph - 1);
        poleGood += error <= 2.0;
        worstPole = std::max(worstPole, error);
      } else if (std::fabs((vv / 65536.0) / (ph - 1) * 180 - 90) <= 80) {
        ++body;
        bodyGood += good;
      }
    }
  }
  Accuracy a;
  if (body) a.body = double(bodyGood) / body;
  if (pole) a.poles = double(poleGood) / pole;
  a.polePixels = pole;
  a.worstPole = worstPole;
  a.worstAnywhere = worstAnywhere;
  return a;
}

TEST(WarpEngine, NearestSamplingFollowsTheExactProjection) {
  // Ordinary views, with headings that put the picture's seam and the shifted seam in view.
  const View views[] = {{0, 0, 0, 75},       {90, 10, 0, 90},     {180, 0, 0, 60},
                        {200, -30, 15, 75},  {359.5, 40, -20, 75}, {271, -20, 5, 90},
                        {135, 20, 170, 75},  {300, 5, 0, 80}};
  for (const View& v : views) {
    EXPECT_GE(Measure(v, 640, 480, 2048, 1024).body, 0.999)
        << v.heading << "/" << v.pitch << "/" << v.roll << " fov " << v.fov;
  }
  // A picture width that is not a multiple of 4.
  EXPECT_GE(Measure({300, 5, 0, 80}, 512, 384, 1001, 500).body, 0.999);
}

TEST(WarpEngine, PoleWindowsAreRepairedByThePolePass) {
  // Around a pole the subdivision samples exactly at single pixels and interpolates only
  // small cells; the ring of 8-pixel cells touching the pole keeps errors of up to about
  // 3.5 pixel heights (0.6 degrees at this size), a few tenths of a percent of the window.
  for (const View& v : {View{10, 90, 0, 75}, View{200, -90, 0, 75}, View{77, 70, 30, 90},
                        View{300, -75, -10, 75}}) {
    const Accuracy a = Measure(v, 640, 480, 2048, 1024);
    EXPECT_GT(a.polePixels, 0);
    EXPECT_GE(a.poles, 0.995) << v.heading << "/" << v.pitch << "/" << v.roll;
    EXPECT_LT(a.worstPole, 5) << v.heading << "/" << v.pitch << "/" << v.roll;
    // Without the pass the block interpolation alone is far off there.
    EXPECT_LT(Measure(v, 640, 480, 2048, 1024, false).poles, 0.97);
  }
}

TEST(WarpEngine, NoBlockSmearsAcrossTheSeam) {
  // Looking up or down brings the seam into view in many blocks at once; the per-block lift
  // of the small u values keeps each of them interpolating across it, never across the whole
  // picture (which would put some pixels hundreds of pixel heights away).
  for (const View& v : {View{0, 60, 0, 90}, View{123, -70, 10, 100}, View{250, 88, -30, 75}}) {
    const Accuracy a = Measure(v, 640, 480, 2048, 1024);
    EXPECT_LT(a.worstAnywhere, 8) << v.heading << "/" << v.pitch << "/" << v.roll;
  }
}

// A member that writes nothing and records the range of picture bytes it would read,
// relative to the unshifted first pixel, and the frame area it would write.
struct Probe {
  static constexpr int kBytes = 3;
  const uint8_t* base;
  const uint8_t* origin;
  const int32_t* rows;
  int32_t stride;
  bool smoothing;
  const uint8_t* frame;
  int32_t frameWidth;
  mutable ptrdiff_t lowest = PTRDIFF_MAX, highest = PTRDIFF_MIN;
  mutable int32_t minRow = 1 << 30, maxRow = -(1 << 30);
  mutable int32_t minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
  void Read(ptrdiff_t pixel, int bytes) const {
    const ptrdiff_t at = (base - origin) + pixel * 3;
    lowest = std::min(lowest, at);
    highest = std::max(highest, at + bytes - 1);
  }
  void Span(uint8_t* dst, int32_t u, int32_t v, int32_t du, int32_t dv, int n) const {
    const ptrdiff_t cell = (dst - frame) / 3;
    minX = std::min(minX, int32_t(cell % frameWidth));
    maxX = std::max(maxX, int32_t(cell % frameWidth) + n - 1);
    minY = std::min(minY, int32_t(cell / frameWidth));
    maxY = std::max(maxY, int32_t(cell / frameWidth));
    for (int i = 0; i < n; ++i) {
      const int32_t r = v >> 16, c = u >> 16;
      minRow = std::min(minRow, r);
      maxRow = std::max(maxRow, r);
      const ptrdiff_t p = ptrdiff_t(rows[r]) + c;
      if (smoothing) {
        Read(p, 3);
        if (u & 0x8000) Read(p + 1, 3);
        if (v & 0x8000) Read(p + stride, 3);
        if ((u & 0x8000) && (v & 0x8000)) Read(p + stride + 1, 3);
      } else {
        Read(p, i < n - 1 ? 4 : 3);  // the 24-bit loop's 4-byte loads
      }
      u += du;
      v += dv;
    }
  }
};

TEST(WarpEngine, ReadsStayInsideThePictureMarginForAnyView) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> heading(-720, 720), pitch(-90, 90), roll(-180, 180),
      fov(10, 170), offset(-400, 400), unit(0, 1);
  const int32_t widths[] = {5, 64, 333, 1001, 2048, 4099};
  for (int n = 0; n < 600; ++n) {
    const int32_t pw = widths[n % 6];
    const int32_t ph = std::max<int32_t>(2, pw / 2 + int32_t(unit(rng) * 7));
    const int32_t w = 32 * (1 + int32_t(unit(rng) * 12)), h = 32 * (1 + int32_t(unit(rng) * 8));
    std::vector<uint8_t> frame(size_t(w) * h * 3);
    std::vector<uint8_t> picture(3);  // only its address matters: nothing is read
    // Views near the poles are where the interpolation undershoots; weight them.
    const double p = n % 3 == 0 ? (unit(rng) < 0.5 ? -1 : 1) * (85 + 5 * unit(rng)) : pitch(rng);
    const bool withOffsets = n % 4 == 0;
    WarpEngine engine;
    // Now and then an extreme zoom, as a viewer pressed against a wall gets from the parallax
    // correction: neighbouring block corners then differ by a few 16.16 units.
    const double focal = n % 5 == 0 ? std::pow(10.0, 3 + 4 * unit(rng)) : FocalLength(w, fov(rng));
    ASSERT_TRUE(engine.SetUp({heading(rng), p, roll(rng), focal,
                             withOffsets ? offset(rng) : 0, withOffsets ? offset(rng) : 0}, w, h,
                             frame.data(), pw, ph, picture.data(), 24));
    const int32_t W = WarpPictureStride(pw);
    const PictureMargin margin = WarpPictureMargin(pw, 24);
    for (bool smoothing : {false, true}) {
      Probe probe{picture.data() + ptrdiff_t(engine.OriginShift()) * 3, picture.data(),
                  engine.RowOffsets().Rows(), W, smoothing, frame.data(), w};
      engine.RunBlockLoop(probe);
      if (!smoothing) engine.PolePass(probe);
      EXPECT_GE(probe.lowest, -ptrdiff_t(margin.before)) << "n=" << n;
      EXPECT_LE(probe.highest, ptrdiff_t(W) * ph * 3 + ptrdiff_t(margin.after) - 1) << "n=" << n;
      EXPECT_GE(probe.minRow, -1) << "n=" << n;
      EXPECT_LE(probe.maxRow, ph - 1) << "n=" << n;
    }
  }
}

TEST(WarpEngine, RealWarpsOfRandomViewsReadOnlyTheirBuffers) {
  // The same, with real reads: WarpPicture allocates exactly the margin around the picture, so
  // under AddressSanitizer any read beyond it stops the test.
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> angle(-360, 360), fov(10, 170), unit(0, 1);
  const int32_t widths[] = {5, 64, 333, 1001};
  const int32_t depths[] = {8, 16, 24};
  for (int n = 0; n < 120; ++n) {
    const int32_t pw = widths[n % 4], ph = std::max(2, pw / 2), depth = depths[n % 3];
    std::vector<uint8_t> rows(size_t(pw) * ph * (depth / 8), uint8_t(n));
    WarpPicture picture;
    ASSERT_TRUE(picture.Assign(pw, ph, depth, rows.data()));
    const int32_t w = 32 * (1 + n % 7), h = 32 * (1 + n % 5);
    std::vector<uint8_t> frame(size_t(w) * h * (depth / 8));
    const double focal = n % 6 == 0 ? std::pow(10.0, 3 + 4 * unit(rng)) : FocalLength(w, fov(rng));
    const double pitch = n % 2 ? (unit(rng) < 0.5 ? -90 : 90) * (0.9 + 0.1 * unit(rng)) : angle(rng) / 4;
    WarpEngine engine;
    EXPECT_EQ(engine.WarpFrame({angle(rng), pitch, angle(rng), focal, 0, 0}, w, h, frame.data(), pw,
                               ph, picture.Pixels(), depth, n % 2),
              1);
  }
}

TEST(WarpEngine, InterpolationUndershootReachesRowMinusOne) {
  // Straight down at an extreme zoom, with a block corner on the nadir (v = 0): the next
  // corner is a few 16.16 units away, and stepping toward 0 with shifts that round toward
  // minus infinity passes below it. This is why the margin holds a whole row before the
  // picture, and why the row table has an entry for row -1.
  std::vector<uint8_t> frame(size_t(64) * 64 * 3), picture(3);
  WarpEngine engine;
  ASSERT_TRUE(engine.SetUp({0, -90, 0, 1e7, 0, 0}, 64, 64, frame.data(), 2000, 1000,
                           picture.data(), 24));
  Probe probe{picture.data() + ptrdiff_t(engine.OriginShift()) * 3, picture.data(),
              engine.RowOffsets().Rows(), 2000, false, frame.data(), 64};
  engine.RunBlockLoop(probe);
  EXPECT_EQ(probe.minRow, -1);
  EXPECT_GE(probe.lowest, -ptrdiff_t(WarpPictureMargin(2000, 24).before));
}

TEST(WarpEngine, OriginShiftAndPictureStride) {
  const WarpPicture picture = CodedPicture(2048, 64);
  std::vector<uint8_t> frame(32 * 32 * 3);
  WarpEngine engine;
  ASSERT_EQ(engine.WarpFrame({270, 0, 0, 100, 0, 0}, 32, 32, frame.data(), 2048, 64,
                             picture.Pixels(), 24, 0), 1);
  EXPECT_EQ(engine.OriginShift(), 0);
  ASSERT_EQ(engine.WarpFrame({0, 0, 0, 100, 0, 0}, 32, 32, frame.data(), 2048, 64,
                             picture.Pixels(), 24, 0), 1);
  EXPECT_EQ(engine.OriginShift(), 1536);
  EXPECT_EQ(engine.Camera().heading, 270);
  // -90 normalises to 270; 720 + 45 to 45.
  ASSERT_EQ(engine.WarpFrame({-90, 0, 0, 100, 0, 0}, 32, 32, frame.data(), 2048, 64,
                             picture.Pixels(), 24, 0), 1);
  EXPECT_EQ(engine.OriginShift(), 0);

  const WarpPicture odd = CodedPicture(1001, 40);
  ASSERT_EQ(engine.WarpFrame({10, 0, 0, 100, 0, 0}, 32, 32, frame.data(), 1001, 40, odd.Pixels(),
                             24, 0), 1);
  EXPECT_EQ(engine.Camera().pictureWidth, 1004);
  EXPECT_EQ(engine.Camera().pictureHm, 39);
  EXPECT_EQ(engine.RowOffsets().Rows()[39], 39 * 1004);
  EXPECT_EQ(engine.RowOffsets().Rows()[-1], -1004);

  // The engine's own mapping (rotation kept per frame) is the plain one on its camera.
  for (auto [i, j] : {std::pair<int32_t, int32_t>{0, 0}, {17, 31}, {32, 32}, {-5, 40}}) {
    Fixed16 u1, v1, u2, v2;
    engine.ScreenToImage(i, j, u1, v1);
    ScreenToImage(engine.Camera(), i, j, u2, v2);
    EXPECT_EQ(u1, u2);
    EXPECT_EQ(v1, v2);
  }
}

TEST(WarpEngine, LookingStraightUpRedrawsTheWindowAroundTheUpperPoleOnly) {
  std::vector<uint8_t> frame(size_t(320) * 256 * 3), picture(3);
  WarpEngine engine;
  ASSERT_TRUE(engine.SetUp({40, 90, 0, FocalLength(320, 75), 0, 0}, 320, 256, frame.data(), 2048,
                           1024, picture.data(), 24));
  Probe probe{picture.data(), picture.data(), engine.RowOffsets().Rows(), 2048, false,
              frame.data(), 320};
  engine.PolePass(probe);
  // Centre (160, 128): window from 160 - 0 - 48 to +96, 128 - 0 - 48 to +96.
  EXPECT_EQ(probe.minX, 112);
  EXPECT_EQ(probe.maxX, 207);
  EXPECT_EQ(probe.minY, 80);
  EXPECT_EQ(probe.maxY, 175);
  EXPECT_GT(probe.minRow, 512);  // only the upper pole's rows were sampled

  // Near a corner the window is clipped to the frame.
  ASSERT_TRUE(engine.SetUp({40, 90, 0, FocalLength(320, 75), 150, 120}, 320, 256, frame.data(),
                           2048, 1024, picture.data(), 24));
  Probe clipped{picture.data(), picture.data(), engine.RowOffsets().Rows(), 2048, false,
                frame.data(), 320};
  engine.PolePass(clipped);
  EXPECT_EQ(clipped.minX, 0);
  EXPECT_EQ(clipped.minY, 0);
  EXPECT_LT(clipped.maxX, 96);
}

TEST(WarpEngine, RefusesWhatItCannotDraw) {
  const WarpPicture picture = CodedPicture(64, 32);
  std::vector<uint8_t> frame(size_t(64) * 64 * 3, 0xAA);
  WarpEngine engine;
  auto warp = [&](int32_t w, int32_t h, int32_t depth, int32_t quality) {
    return engine.WarpFrame({0, 0, 0, 50, 0, 0}, w, h, frame.data(), 64, 32, picture.Pixels(),
                            depth, quality);
  };
  EXPECT_EQ(warp(64, 64, 32, 0), 0);
  EXPECT_EQ(warp(64, 64, 16, 2), 0);
  EXPECT_EQ(warp(64, 64, 24, -1), 0);
  EXPECT_EQ(warp(60, 64, 24, 0), 0);  // not a multiple of 32
  EXPECT_EQ(warp(0, 64, 24, 0), 0);
  EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == 0xAA; }));
  EXPECT_EQ(engine.WarpFrame({0, 0, 0, 50, 0, 0}, kMaxWarpFrameWidth + 32, 32, frame.data(), 64,
                             32, picture.Pixels(), 24, 0), 0);
  EXPECT_EQ(engine.WarpFrame({NAN, 0, 0, 50, 0, 0}, 64, 64, frame.data(), 64, 32,
                             picture.Pixels(), 24, 0), 0);
  EXPECT_EQ(engine.WarpFrame({0, 0, 0, 50, 0, 0}, 64, 64, frame.data(), kMaxWarpPictureWidth + 1,
                             32, picture.Pixels(), 24, 0), 0);
  // 8 bits ignore the quality.
  std::vector<uint8_t> indexed(64 * 32, 7), frame8(64 * 64);
  WarpPicture indexedPicture;
  ASSERT_TRUE(indexedPicture.Assign(64, 32, 8, indexed.data()));
  EXPECT_EQ(engine.WarpFrame({0, 0, 0, 50, 0, 0}, 64, 64, frame8.data(), 64, 32,
                             indexedPicture.Pixels(), 8, 5), 1);
  EXPECT_EQ(std::count(frame8.begin(), frame8.end(), 7), 64 * 64);
}

TEST(WarpEngine, AThirtyTwoPixelFrameIsOneBlock) {
  const WarpPicture picture = CodedPicture(512, 256);
  std::vector<uint8_t> frame(32 * 32 * 3);
  WarpEngine engine;
  ASSERT_EQ(engine.WarpFrame({123, 4, 0, FocalLength(32, 20), 0, 0}, 32, 32, frame.data(), 512,
                             256, picture.Pixels(), 24, 0), 1);
  // The block's corners are exact: the lower-left pixel is the picture pixel of its ray.
  Fixed16 u, v;
  engine.ScreenToImage(0, 0, u, v);
  const Sample s = Decode(frame.data());
  EXPECT_EQ(int64_t(s.r) * 512 + s.c, int64_t(v >> 16) * 512 + (u >> 16) + engine.OriginShift());
}

TEST(WarpMembers, HalfPixelSmoothingRules) {
  // 2 x 2 picture, 5-5-5: the top bit of each stored pixel is set to prove it is dropped.
  const uint16_t px[4] = {0x8000 | (31 << 10) | (0 << 5) | 2, 0x8000 | (1 << 10) | (31 << 5) | 4,
                          0x8000 | (10 << 10) | (6 << 5) | 30, 0x8000 | (0 << 10) | (1 << 5) | 1};
  const warp::Smooth16 smooth{reinterpret_cast<const uint8_t*>(px), 2};
  uint16_t out = 0;
  smooth.Span(reinterpret_cast<uint8_t*>(&out), 0x7FFF, 0x7FFF, 0, 0, 1);  // neither half
  EXPECT_EQ(out, px[0] & 0x7FFF);
  smooth.Span(reinterpret_cast<uint8_t*>(&out), 0x8000, 0, 0, 0, 1);  // u only: p, p + 1
  EXPECT_EQ(out, (16 << 10) | (15 << 5) | 3);
  smooth.Span(reinterpret_cast<uint8_t*>(&out), 0, 0x8000, 0, 0, 1);  // v only: p, p + W
  EXPECT_EQ(out, (20 << 10) | (3 << 5) | 16);
  smooth.Span(reinterpret_cast<uint8_t*>(&out), 0xC000, 0xC000, 0, 0, 1);  // all four
  EXPECT_EQ(out, (10 << 10) | (9 << 5) | 9);

  // The last byte is the picture margin's spare one, which 24-bit members may read.
  const uint8_t rgb[13] = {0, 10, 255, 4, 20, 255, 100, 30, 0, 101, 41, 1, 0};
  const warp::Smooth24 smooth24{rgb, 2};
  uint8_t o[3];
  smooth24.Span(o, 0x8000, 0x8000, 0, 0, 1);
  EXPECT_EQ(o[0], (0 + 4 + 100 + 101) >> 2);
  EXPECT_EQ(o[1], (10 + 20 + 30 + 41) >> 2);
  EXPECT_EQ(o[2], (255 + 255 + 0 + 1) >> 2);
  smooth24.Span(o, 0, 0x8000, 0, 0, 1);
  EXPECT_EQ(o[2], (255 + 0) >> 1);
}

// The half-pixel rules written out plainly, one pixel at a time, branching on the two bits.
void PlainSmooth24(const uint8_t* base, int32_t stride, int32_t u, int32_t v, uint8_t* o) {
  const uint8_t* p = base + 3 * ((v >> 16) * stride + (u >> 16));
  const int32_t up = 3 * stride;
  const bool halfU = (u & 0x8000) != 0, halfV = (v & 0x8000) != 0;
  for (int k = 0; k < 3; ++k) {
    if (halfU && halfV) {
      o[k] = uint8_t((p[k] + p[k + 3] + p[k + up] + p[k + up + 3]) >> 2);
    } else if (halfU || halfV) {
      o[k] = uint8_t((p[k] + p[k + (halfU ? 3 : up)]) >> 1);
    } else {
      o[k] = p[k];
    }
  }
}
uint16_t PlainSmooth16(const uint8_t* base, int32_t stride, int32_t u, int32_t v) {
  const uint8_t* p = base + 2 * ((v >> 16) * stride + (u >> 16));
  auto at = [](const uint8_t* q) { return uint32_t(q[0] | q[1] << 8); };
  const bool halfU = (u & 0x8000) != 0, halfV = (v & 0x8000) != 0;
  if (!halfU && !halfV) return uint16_t(at(p) & 0x7FFF);
  uint32_t px[4] = {at(p), 0, 0, 0};
  int count = 1;
  if (halfU) px[count++] = at(p + 2);
  if (halfV) px[count++] = at(p + 2 * stride);
  if (halfU && halfV) px[count++] = at(p + 2 * stride + 2);
  uint32_t r = 0, g = 0, b = 0;
  for (int i = 0; i < count; ++i) {
    r += px[i] & 0x7C00;
    g += px[i] & 0x03E0;
    b += px[i] & 0x001F;
  }
  const int shift = count == 4 ? 2 : 1;
  return uint16_t((r >> (10 + shift) << 10) | (g >> (5 + shift) << 5) | (b >> shift));
}

TEST(WarpMembers, SmoothingSpansMatchThePlainRulesBitForBit) {
  const int32_t pw = 61, ph = 40, stride = WarpPictureStride(pw);
  std::mt19937 random(18);
  std::vector<uint8_t> rows24(size_t(pw) * ph * 3), rows16(size_t(pw) * ph * 2);
  for (uint8_t& b : rows24) b = uint8_t(random());
  for (uint8_t& b : rows16) b = uint8_t(random());  // top bits set too: they must go
  WarpPicture q24, q16;
  ASSERT_TRUE(q24.Assign(pw, ph, 24, rows24.data()));
  ASSERT_TRUE(q16.Assign(pw, ph, 16, rows16.data()));
  const warp::Smooth24 smooth24{q24.Pixels(), stride};
  const warp::Smooth16 smooth16{q16.Pixels(), stride};
  // Spans whose every pixel stays inside the picture, with every mix of the half bits.
  std::uniform_int_distribution<int32_t> startU(0, (pw - 40) << 16), startV(0, (ph - 40) << 16);
  std::uniform_int_distribution<int32_t> step(0, 1 << 16);
  int wrong = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int32_t u = startU(random), v = startV(random), du = step(random), dv = step(random);
    const int n = 1 + trial % 32;
    std::vector<uint8_t> got24(size_t(n) * 3), got16(size_t(n) * 2);
    smooth24.Span(got24.data(), u, v, du, dv, n);
    smooth16.Span(got16.data(), u, v, du, dv, n);
    for (int i = 0; i < n; ++i) {
      uint8_t want[3];
      PlainSmooth24(q24.Pixels(), stride, u + i * du, v + i * dv, want);
      const uint16_t want16 = PlainSmooth16(q16.Pixels(), stride, u + i * du, v + i * dv);
      if (std::memcmp(want, &got24[3 * size_t(i)], 3) != 0) ++wrong;
      if (want16 != uint16_t(got16[2 * size_t(i)] | got16[2 * size_t(i) + 1] << 8)) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(WarpMembers, AllDepthsSampleTheSamePicturePixels) {
  // One 256 x 128 picture coded three ways: 24 bits (column and row), 16 bits (column in the
  // low 8 bits, row in the next 7), and 8 bits twice (once the column, once the row).
  const int32_t pw = 256, ph = 128, w = 256, h = 192;
  std::vector<uint8_t> p24(size_t(pw) * ph * 3), p16(size_t(pw) * ph * 2), col8(size_t(pw) * ph),
      row8(size_t(pw) * ph);
  for (int32_t r = 0; r < ph; ++r) {
    for (int32_t c = 0; c < pw; ++c) {
      const size_t i = size_t(r) * pw + c;
      const uint32_t code = uint32_t(c) | uint32_t(r) << 12;
      p24[3 * i] = uint8_t(code);
      p24[3 * i + 1] = uint8_t(code >> 8);
      p24[3 * i + 2] = uint8_t(code >> 16);
      const uint16_t code16 = uint16_t(c | r << 8);
      p16[2 * i] = uint8_t(code16);
      p16[2 * i + 1] = uint8_t(code16 >> 8);
      col8[i] = uint8_t(c);
      row8[i] = uint8_t(r);
    }
  }
  WarpPicture q24, q16, qc, qr;
  ASSERT_TRUE(q24.Assign(pw, ph, 24, p24.data()));
  ASSERT_TRUE(q16.Assign(pw, ph, 16, p16.data()));
  ASSERT_TRUE(qc.Assign(pw, ph, 8, col8.data()));
  ASSERT_TRUE(qr.Assign(pw, ph, 8, row8.data()));
  for (const View& v : {View{30, 10, 0, 80}, View{250, -85, 20, 100}, View{181, 60, -5, 70}}) {
    std::vector<uint8_t> f24(size_t(w) * h * 3), f16(size_t(w) * h * 2), fc(size_t(w) * h),
        fr(size_t(w) * h);
    WarpEngine engine;
    const double f = FocalLength(w, v.fov);
    ASSERT_EQ(engine.WarpFrame({v.heading, v.pitch, v.roll, f, 0, 0}, w, h, f24.data(), pw, ph,
                               q24.Pixels(), 24, 0), 1);
    ASSERT_EQ(engine.WarpFrame({v.heading, v.pitch, v.roll, f, 0, 0}, w, h, f16.data(), pw, ph,
                               q16.Pixels(), 16, 0), 1);
    ASSERT_EQ(engine.WarpFrame({v.heading, v.pitch, v.roll, f, 0, 0}, w, h, fc.data(), pw, ph,
                               qc.Pixels(), 8, 0), 1);
    ASSERT_EQ(engine.WarpFrame({v.heading, v.pitch, v.roll, f, 0, 0}, w, h, fr.data(), pw, ph,
                               qr.Pixels(), 8, 0), 1);
    int mismatches = 0;
    for (size_t i = 0; i < size_t(w) * h; ++i) {
      const Sample s = Decode(&f24[3 * i]);
      const uint16_t s16 = uint16_t(f16[2 * i] | f16[2 * i + 1] << 8);
      // Reads that land in the zeroed margin show (0, 0) at every depth.
      if (s16 != uint16_t(s.c | s.r << 8) || fc[i] != s.c || fr[i] != s.r) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0) << v.heading << "/" << v.pitch;
  }
}

}  // namespace
}  // namespace kvp
