// Frames blitted into a window read back the same on both builds (Windows: a real window on
// the screen), with the bottom-up source convention, 8/16/24-bit sources, scaling and clipping.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace {

// A DIB: the 40-byte header, a colour table of `tableEntries`, and rows padded to 4 bytes.
struct Dib {
  std::vector<uint8_t> header;
  std::vector<uint8_t> bits;
  int32_t width, height, bitCount;
  size_t stride;

  Dib(int32_t w, int32_t h, int32_t bitCount, uint32_t tableEntries = 0)
      : header(40 + tableEntries * 4), width(w), height(h), bitCount(bitCount) {
    auto put = [this](size_t at, uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) header[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, 40, 4);
    put(4, static_cast<uint32_t>(w), 4);
    put(8, static_cast<uint32_t>(h), 4);
    put(12, 1, 2);
    put(14, static_cast<uint32_t>(bitCount), 2);
    put(32, bitCount == 8 ? tableEntries : 0, 4);
    stride = (static_cast<size_t>(w) * bitCount + 31) / 32 * 4;
    bits.assign(stride * h, 0);
  }
  // Row `row` counted from the bottom.
  uint8_t* Pixel(int32_t x, int32_t row) { return &bits[row * stride + x * bitCount / 8]; }
  void SetBgr(int32_t x, int32_t row, uint8_t b, uint8_t g, uint8_t r) {
    uint8_t* p = Pixel(x, row);
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
};

struct Rgb {
  uint8_t b, g, r;
  bool operator==(const Rgb& o) const { return b == o.b && g == o.g && r == o.r; }
};

// A test window and what was last read back from it.
class Screen {
 public:
  Screen(int32_t w, int32_t h)
      : width_(w), height_(h), window_(platform::CreateOffscreenWindow(w, h)) {}
  ~Screen() { platform::DestroyOffscreenWindow(window_); }
  platform::Window* window() const { return window_; }

  int32_t Blit(const Dib& dib, int32_t x, int32_t y, int32_t w, int32_t h, int32_t sx,
               int32_t sy, int32_t sw, int32_t sh) {
    platform::DeviceContext* dc = platform::GetWindowContext(window_);
    platform::SetColorOnColor(dc);
    const int32_t lines = platform::StretchDIBits(dc, x, y, w, h, sx, sy, sw, sh,
                                                  dib.bits.data(), dib.header.data());
    platform::ReleaseWindowContext(window_, dc);
    return lines;
  }
  bool Read() {
    pixels_.assign(static_cast<size_t>(width_) * height_ * 3, 0xCD);
    return platform::ReadWindowPixels(window_, pixels_.data());
  }
  // Client pixel (x, y), y counted from the top as in the destination rectangle.
  Rgb At(int32_t x, int32_t y) const {
    const uint8_t* p = &pixels_[((height_ - 1 - y) * static_cast<size_t>(width_) + x) * 3];
    return Rgb{p[0], p[1], p[2]};
  }

 private:
  int32_t width_, height_;
  platform::Window* window_;
  std::vector<uint8_t> pixels_;
};

constexpr Rgb kBlack{0, 0, 0};

// Every client pixel: `expected(x, y, out)` fills the colour and says whether the blit covers
// the pixel; uncovered ones must still be black. Reports the first few differences only.
template <typename Expected>
void ExpectScreen(const Screen& s, int32_t w, int32_t h, Expected expected) {
  int wrong = 0;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      Rgb want = kBlack;
      expected(x, y, want);
      const Rgb got = s.At(x, y);
      if (!(got == want) && ++wrong <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): got " << int(got.b) << "," << int(got.g)
                      << "," << int(got.r) << " want " << int(want.b) << "," << int(want.g) << ","
                      << int(want.r);
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

// A 24-bit frame whose pixels name their own column and bottom-up row.
Dib NumberedFrame(int32_t w, int32_t h) {
  Dib dib(w, h, 24);
  for (int32_t row = 0; row < h; ++row) {
    for (int32_t x = 0; x < w; ++x) {
      dib.SetBgr(x, row, static_cast<uint8_t>(x), static_cast<uint8_t>(row),
                 static_cast<uint8_t>(0x80 | (x >> 8) << 2 | row >> 8));
    }
  }
  return dib;
}

Rgb Numbered(int32_t x, int32_t row) {
  return Rgb{static_cast<uint8_t>(x), static_cast<uint8_t>(row),
             static_cast<uint8_t>(0x80 | (x >> 8) << 2 | row >> 8)};
}

TEST(WindowBlit, LowerLeftOfTheSourceLandsAtTheBottomLeftOfTheDestination) {
  Screen s(160, 240);
  ASSERT_NE(s.window(), nullptr);
  const Dib frame = NumberedFrame(128, 224);
  // GDI counts the lines of the whole image, not of the rectangle.
  EXPECT_EQ(s.Blit(frame, 10, 20, 100, 200, 0, 0, 100, 200), 224);
  ASSERT_TRUE(s.Read());
  // Source bottom row 0 is client row 219; source row 199 is client row 20.
  ExpectScreen(s, 160, 240, [](int32_t x, int32_t y, Rgb& want) {
    if (x >= 10 && x < 110 && y >= 20 && y < 220) want = Numbered(x - 10, 219 - y);
  });

  // A source rectangle off the origin: its (sx, sy) corner is its bottom-left.
  EXPECT_EQ(s.Blit(frame, 0, 0, 20, 10, 100, 200, 20, 10), 224);
  ASSERT_TRUE(s.Read());
  for (int32_t y = 0; y < 10; ++y) {
    for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(s.At(x, y), Numbered(100 + x, 209 - y));
  }
}

TEST(WindowBlit, EightBitFramesGoThroughTheirColourTable) {
  Screen s(24, 12);
  ASSERT_NE(s.window(), nullptr);
  Dib frame(13, 6, 8, 256);  // 13 bytes a row: 3 of padding
  for (int i = 0; i < 256; ++i) {
    uint8_t* e = &frame.header[40 + i * 4];
    e[0] = static_cast<uint8_t>(i);
    e[1] = static_cast<uint8_t>(255 - i);
    e[2] = static_cast<uint8_t>(i * 7);
  }
  for (int32_t row = 0; row < 6; ++row) {
    for (int32_t x = 0; x < 13; ++x) *frame.Pixel(x, row) = static_cast<uint8_t>(row * 40 + x * 3);
  }
  s.Blit(frame, 2, 3, 13, 6, 0, 0, 13, 6);
  ASSERT_TRUE(s.Read());
  ExpectScreen(s, 24, 12, [](int32_t x, int32_t y, Rgb& want) {
    if (x < 2 || x >= 15 || y < 3 || y >= 9) return;
    const int i = (8 - y) * 40 + (x - 2) * 3;
    want = Rgb{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)};
  });

  // A short table: the header says how many entries follow, and only those are read.
  Dib small(4, 1, 8, 3);
  const uint8_t table[] = {9, 8, 7, 0, 60, 50, 40, 0, 200, 100, 0, 0};
  std::memcpy(&small.header[40], table, sizeof table);
  const uint8_t indices[] = {2, 0, 1, 2};
  std::memcpy(small.bits.data(), indices, 4);
  s.Blit(small, 0, 0, 4, 1, 0, 0, 4, 1);
  ASSERT_TRUE(s.Read());
  EXPECT_EQ(s.At(0, 0), (Rgb{200, 100, 0}));
  EXPECT_EQ(s.At(1, 0), (Rgb{9, 8, 7}));
  EXPECT_EQ(s.At(2, 0), (Rgb{60, 50, 40}));
  EXPECT_EQ(s.At(3, 0), (Rgb{200, 100, 0}));
}

TEST(WindowBlit, SixteenBitFramesAre555WithTheTopBitsRepeated) {
  Screen s(40, 40);
  ASSERT_NE(s.window(), nullptr);
  Dib frame(33, 32, 16);  // 66 bytes a row: 2 of padding
  for (int32_t row = 0; row < 32; ++row) {
    for (int32_t x = 0; x < 33; ++x) {
      const uint16_t v = static_cast<uint16_t>((x & 31) << 10 | row << 5 | ((x + row) & 31));
      frame.Pixel(x, row)[0] = static_cast<uint8_t>(v);
      frame.Pixel(x, row)[1] = static_cast<uint8_t>(v >> 8);
    }
  }
  s.Blit(frame, 0, 0, 33, 32, 0, 0, 33, 32);
  ASSERT_TRUE(s.Read());
  auto widen = [](int v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); };
  ExpectScreen(s, 40, 40, [&widen](int32_t x, int32_t y, Rgb& want) {
    if (x >= 33 || y >= 32) return;
    const int row = 31 - y;
    want = Rgb{widen((x + row) & 31), widen(row), widen(x & 31)};
  });
}

TEST(WindowBlit, ClipsToTheClientAreaAndToTheSourceImage) {
  Screen s(64, 48);
  ASSERT_NE(s.window(), nullptr);
  const Dib frame = NumberedFrame(40, 40);
  // Over the right and bottom edges: client columns 40..63 and rows 30..47 show.
  s.Blit(frame, 40, 30, 40, 40, 0, 0, 40, 40);
  // Over the left and top edges.
  s.Blit(frame, -30, -35, 40, 40, 0, 0, 40, 40);
  ASSERT_TRUE(s.Read());
  ExpectScreen(s, 64, 48, [](int32_t x, int32_t y, Rgb& want) {
    if (x >= 40 && y >= 30) want = Numbered(x - 40, 69 - y);
    if (x < 10 && y < 5) want = Numbered(x + 30, 4 - y);
  });

  // A source rectangle reaching past the image's right and top: only the part inside the
  // image is copied, and the rest of the destination keeps what it had.
  Screen t(32, 32);
  ASSERT_NE(t.window(), nullptr);
  EXPECT_EQ(t.Blit(frame, 4, 4, 20, 20, 30, 30, 20, 20), 40);
  // Wholly outside the client area still counts; a source rectangle that misses the image
  // copies nothing and says so.
  EXPECT_EQ(t.Blit(frame, 40, 40, 10, 10, 0, 0, 10, 10), 40);
  EXPECT_EQ(t.Blit(frame, 0, 0, 10, 10, 40, 0, 10, 10), 0);
  EXPECT_EQ(t.Blit(frame, 0, 0, 10, 10, 0, 40, 10, 10), 0);
  ASSERT_TRUE(t.Read());
  ExpectScreen(t, 32, 32, [](int32_t x, int32_t y, Rgb& want) {
    // Destination column 4 + i shows source column 30 + i (i < 10); destination row 23 - j
    // shows source row 30 + j (j < 10).
    if (x >= 4 && x < 14 && y >= 14 && y < 24) want = Numbered(30 + x - 4, 30 + 23 - y);
  });
}

TEST(WindowBlit, AnUnscaledFrameOfTheClientSizeArrivesByteForByte) {
  Screen s(96, 64);
  ASSERT_NE(s.window(), nullptr);
  Dib frame(96, 64, 24);
  uint32_t seed = 7;
  for (uint8_t& b : frame.bits) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  EXPECT_EQ(s.Blit(frame, 0, 0, 96, 64, 0, 0, 96, 64), 64);
  std::vector<uint8_t> back(frame.bits.size());
  ASSERT_TRUE(platform::ReadWindowPixels(s.window(), back.data()));
  EXPECT_TRUE(back == frame.bits);

  // Top-down 32-bit rows, unscaled but hanging over the left and bottom edges.
  Dib deep(20, 10, 32);
  deep.header[8] = static_cast<uint8_t>(-10);
  for (int i = 9; i < 12; ++i) deep.header[i] = 0xFF;
  for (int32_t stored = 0; stored < 10; ++stored) {
    for (int32_t x = 0; x < 20; ++x) {
      const Rgb c = Numbered(x, 9 - stored);  // stored row 0 is the top one
      uint8_t* p = deep.Pixel(x, stored);
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
      p[3] = 0x5A;
    }
  }
  Screen t(16, 8);
  ASSERT_NE(t.window(), nullptr);
  EXPECT_EQ(t.Blit(deep, -6, 3, 20, 10, 0, 0, 20, 10), 10);
  ASSERT_TRUE(t.Read());
  ExpectScreen(t, 16, 8, [](int32_t x, int32_t y, Rgb& want) {
    if (x < 14 && y >= 3) want = Numbered(x + 6, 12 - y);
  });
}

TEST(WindowBlit, ScalesByRepeatingTheNearestPixel) {
  Screen s(32, 16);
  ASSERT_NE(s.window(), nullptr);
  const Dib frame = NumberedFrame(8, 4);
  s.Blit(frame, 0, 0, 16, 8, 0, 0, 8, 4);
  s.Blit(frame, 16, 0, 16, 12, 0, 0, 4, 4);  // x4 across, x3 down
  ASSERT_TRUE(s.Read());
  ExpectScreen(s, 32, 16, [](int32_t x, int32_t y, Rgb& want) {
    if (x < 16 && y < 8) want = Numbered(x / 2, (7 - y) / 2);
    if (x >= 16 && y < 12) want = Numbered((x - 16) / 4, (11 - y) / 3);
  });

  // Uneven ratios, up and down, on both axes: the pixels GDI picks. Across, step i of n
  // over a span of s shows (i * s + bias) / n with bias (s - 1) / 2 when growing and
  // s - (n + 1) / 2 when shrinking; upwards from the bottom row, s / 2 and s - 1 - n / 2.
  Screen t(40, 24);
  ASSERT_NE(t.window(), nullptr);
  const Dib odd = NumberedFrame(13, 11);
  t.Blit(odd, 0, 0, 5, 4, 0, 0, 13, 11);
  t.Blit(odd, 8, 0, 30, 17, 0, 0, 13, 11);
  ASSERT_TRUE(t.Read());
  const int32_t shrunkColumns[5] = {2, 4, 7, 9, 12};
  const int32_t shrunkRows[4] = {2, 4, 7, 10};  // from the bottom
  const int32_t grownColumns[30] = {0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 4, 4, 5, 5, 6,
                                    6, 7, 7, 8, 8, 8, 9, 9, 10, 10, 11, 11, 11, 12, 12};
  const int32_t grownRows[17] = {0, 0, 1, 2, 2, 3, 4, 4, 5, 6, 6, 7, 8, 8, 9, 10, 10};
  ExpectScreen(t, 40, 24, [&](int32_t x, int32_t y, Rgb& want) {
    if (x < 5 && y < 4) want = Numbered(shrunkColumns[x], shrunkRows[3 - y]);
    if (x >= 8 && x < 38 && y < 17) want = Numbered(grownColumns[x - 8], grownRows[16 - y]);
  });
}

TEST(Window, ReportsItsClientSizeAndHandsBackPostedMessagesInOrder) {
  platform::Window* w = platform::CreateOffscreenWindow(72, 40);
  ASSERT_NE(w, nullptr);
  int32_t width = -1, height = -1;
  platform::ClientSize(w, width, height);
  EXPECT_EQ(width, 72);
  EXPECT_EQ(height, 40);

  constexpr uint32_t kNotify = 0x8000 + 7;  // an application message
  ASSERT_TRUE(platform::PostWindowMessage(w, kNotify, 11, -5));
  ASSERT_TRUE(platform::PostWindowMessage(w, kNotify + 1, 12, 6));
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  ASSERT_TRUE(platform::TakePostedMessage(w, message, wParam, lParam));
  EXPECT_EQ(message, kNotify);
  EXPECT_EQ(wParam, 11u);
  EXPECT_EQ(lParam, -5);
  ASSERT_TRUE(platform::TakePostedMessage(w, message, wParam, lParam));
  EXPECT_EQ(message, kNotify + 1);
  EXPECT_EQ(lParam, 6);
  EXPECT_FALSE(platform::TakePostedMessage(w, message, wParam, lParam));

  platform::DestroyOffscreenWindow(w);
  platform::ClientSize(w, width, height);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);
  EXPECT_FALSE(platform::PostWindowMessage(w, kNotify, 0, 0));
  EXPECT_FALSE(platform::PostWindowMessage(nullptr, kNotify, 0, 0));
  platform::ClientSize(nullptr, width, height);
  EXPECT_EQ(width, 0);
}

TEST(Window, SelectingAPaletteHandsBackThePreviousOne) {
  Screen s(8, 8);
  ASSERT_NE(s.window(), nullptr);
  uint8_t table[256 * 4] = {};
  for (int i = 0; i < 256; ++i) table[i * 4 + 1] = static_cast<uint8_t>(i);
  platform::Palette* palette = platform::CreatePalette(table);
  ASSERT_NE(palette, nullptr);
  platform::DeviceContext* dc = platform::GetWindowContext(s.window());
  ASSERT_NE(dc, nullptr);
  platform::Palette* previous = platform::SelectPalette(dc, palette, false);
  platform::RealizePalette(dc);
  EXPECT_EQ(platform::SelectPalette(dc, previous, true), palette);
  platform::ReleaseWindowContext(s.window(), dc);
  platform::DeletePalette(palette);
}

TEST(ScreenDepth, AnOverrideReplacesTheScreensDepthUntilCleared) {
  const uint16_t own = platform::ScreenBitsPerPixel();
  platform::OverrideScreenBitsPerPixel(8);
  EXPECT_EQ(platform::ScreenBitsPerPixel(), 8);
  platform::OverrideScreenBitsPerPixel(0);
  EXPECT_EQ(platform::ScreenBitsPerPixel(), own);
}

}  // namespace
