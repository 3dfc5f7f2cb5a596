// Display output: where the frame lands in the window, and when the process palette is built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "data/codec_bridge.h"
#include "data/packed_image.h"
#include "platform/platform.h"
#include "render/display.h"
#include "tests/diag/capture.h"

namespace kvp {
namespace {

// Makes the core see a screen of `bits` for the life of the object.
class ScreenDepthAs {
 public:
  explicit ScreenDepthAs(uint16_t bits) {
    platform::OverrideScreenBitsPerPixel(bits);
    UpdateDisplayDepth();
  }
  ~ScreenDepthAs() {
    platform::OverrideScreenBitsPerPixel(0);
    UpdateDisplayDepth();
  }
};

// A frame header (with a colour table at 8 bits) and bottom-up pixels. At 8 bits entry i is
// (blue 255 - i, green i, red 128); at 24 bits the blue byte tells the column and the green
// byte the row, neither ever 0, so nothing drawn can pass for the black window.
struct TestFrame {
  std::vector<uint8_t> header;
  std::vector<uint8_t> bits;
  TestFrame(int32_t width, int32_t height, uint16_t bitCount) {
    BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = bitCount;
    h.clrUsed = bitCount == 8 ? 256 : 0;
    header.assign(HeaderBytes(h), 0);
    WriteInfoHeader(header.data(), h);
    if (bitCount == 8) {
      for (int i = 0; i < 256; ++i) {
        header[kInfoHeaderSize + 4 * i] = uint8_t(255 - i);
        header[kInfoHeaderSize + 4 * i + 1] = uint8_t(i);
        header[kInfoHeaderSize + 4 * i + 2] = 128;
      }
    }
    bits.assign(size_t(width) * height * (bitCount / 8), 0);
    for (int32_t r = 0; r < height; ++r) {
      for (int32_t c = 0; c < width; ++c) {
        uint8_t* p = &bits[(size_t(r) * width + c) * (bitCount / 8)];
        if (bitCount == 8) {
          p[0] = uint8_t(c + r);
        } else {
          p[0] = uint8_t(1 + c);
          p[1] = uint8_t(1 + r);
          p[2] = 0x40;
        }
      }
    }
  }
};

// The window's client area, bottom-up 24-bit rows, looked up with the top-down coordinates of
// the blit's destination.
struct Shown {
  int32_t width, height;
  std::vector<uint8_t> pixels;
  Shown(platform::Window* window, int32_t w, int32_t h)
      : width(w), height(h), pixels(size_t(w) * h * 3) {
    EXPECT_TRUE(platform::ReadWindowPixels(window, pixels.data()));
  }
  const uint8_t* At(int32_t x, int32_t yFromTop) const {
    return &pixels[(size_t(height - 1 - yFromTop) * width + x) * 3];
  }
};

size_t PaletteTraces(const test::Capture& capture) {
  size_t n = 0;
  for (const std::string& t : capture.Traces()) n += t == "Creating Palette\n";
  return n;
}

TEST(BlitFrame, CopiesTheRectangleFromTheFramesLowerLeftCorner) {
  ScreenDepthAs screen(24);
  const int32_t w = 160, h = 256;
  platform::Window* window = platform::CreateOffscreenWindow(w, h);
  ASSERT_NE(window, nullptr);
  platform::DeviceContext* context = platform::GetWindowContext(window);
  ASSERT_NE(context, nullptr);

  // Black first, whatever a new window shows.
  TestFrame black(w, h, 24);
  std::fill(black.bits.begin(), black.bits.end(), 0);
  BlitFrame(context, black.header.data(), black.bits.data(), 0, nullptr);

  TestFrame frame(128, 224, 24);
  const int32_t rectangle[4] = {10, 20, 110, 220};
  BlitFrame(context, frame.header.data(), frame.bits.data(), 0, rectangle);
  platform::ReleaseWindowContext(window, context);

  const Shown shown(window, w, h);
  for (int32_t y = 0; y < 200; ++y) {
    for (int32_t x = 0; x < 100; ++x) {
      const uint8_t* p = shown.At(10 + x, 20 + y);
      // The destination's top row shows frame row 199 (counted from the bottom).
      ASSERT_EQ(p[0], 1 + x) << x << "," << y;
      ASSERT_EQ(p[1], 1 + (199 - y)) << x << "," << y;
      ASSERT_EQ(p[2], 0x40) << x << "," << y;
    }
  }
  // Nothing beyond the rectangle.
  for (int32_t y = 0; y < h; ++y) {
    EXPECT_EQ(shown.At(9, y)[0], 0) << y;
    EXPECT_EQ(shown.At(110, y)[0], 0) << y;
  }
  for (int32_t x = 0; x < w; ++x) {
    EXPECT_EQ(shown.At(x, 19)[0], 0) << x;
    EXPECT_EQ(shown.At(x, 220)[0], 0) << x;
  }
  platform::DestroyOffscreenWindow(window);
}

TEST(BlitFrame, BuildsThePaletteOnlyOnEightBitScreensWhenAsked) {
  ReleaseDisplayPalette();
  platform::Window* window = platform::CreateOffscreenWindow(64, 32);
  ASSERT_NE(window, nullptr);
  TestFrame eight(64, 32, 8);
  TestFrame deep(64, 32, 24);
  const auto blit = [&](const TestFrame& f, int16_t pending) {
    platform::DeviceContext* context = platform::GetWindowContext(window);
    BlitFrame(context, f.header.data(), f.bits.data(), pending, nullptr);
    platform::ReleaseWindowContext(window, context);
  };

  {
    ScreenDepthAs screen(24);
    test::Capture capture;
    blit(eight, 1);
    blit(deep, 1);
    EXPECT_EQ(CurrentPalette(), nullptr);
    EXPECT_EQ(PaletteTraces(capture), 0u);
  }

  ScreenDepthAs screen(8);
  {
    // A deep frame on a palette screen has no table to build from.
    test::Capture capture;
    blit(deep, 1);
    EXPECT_EQ(CurrentPalette(), nullptr);
    EXPECT_EQ(capture.Traces().size(), 0u);
  }
  {
    test::Capture capture;
    blit(eight, 1);
    EXPECT_EQ(capture.Traces(), std::vector<std::string>{"Creating Palette\n"});
  }
  platform::Palette* built = CurrentPalette();
  ASSERT_NE(built, nullptr);
  {
    test::Capture capture;
    blit(eight, 0);
    blit(eight, 0);
    EXPECT_EQ(CurrentPalette(), built);
    EXPECT_EQ(PaletteTraces(capture), 0u);
  }
  // The copy itself still happens through the palette: the colours of the table.
  const Shown shown(window, 64, 32);
  const uint8_t* p = shown.At(5, 31);  // bottom row, column 5: index 5
  EXPECT_EQ(p[0], 255 - 5);
  EXPECT_EQ(p[1], 5);
  EXPECT_EQ(p[2], 128);
  {
    test::Capture capture;
    blit(eight, 1);
    EXPECT_EQ(PaletteTraces(capture), 1u);
    EXPECT_NE(CurrentPalette(), nullptr);
  }
  platform::DestroyOffscreenWindow(window);
  ReleaseDisplayPalette();
}

// Two instances on an 8-bit screen, each rebuilding the shared palette on every frame from its
// own render thread: neither may select or copy through a palette the other has just deleted
// (the sanitizer builds see it if one does), and every rebuild is traced.
TEST(BlitFrame, InstancesRebuildingThePaletteAtOnceTakeTurns) {
  ReleaseDisplayPalette();
  ScreenDepthAs screen(8);
  test::Capture capture;
  TestFrame frame(64, 32, 8);
  platform::Window* windows[2] = {platform::CreateOffscreenWindow(64, 32),
                                  platform::CreateOffscreenWindow(64, 32)};
  ASSERT_NE(windows[0], nullptr);
  ASSERT_NE(windows[1], nullptr);
  constexpr int kFrames = 200;
  std::promise<void> start;
  std::shared_future<void> started = start.get_future().share();
  std::vector<std::thread> renderers;
  for (platform::Window* window : windows) {
    renderers.emplace_back([&, window] {
      started.wait();
      for (int i = 0; i < kFrames; ++i) {
        platform::DeviceContext* context = platform::GetWindowContext(window);
        BlitFrame(context, frame.header.data(), frame.bits.data(), 1, nullptr);
        platform::ReleaseWindowContext(window, context);
      }
    });
  }
  start.set_value();
  for (std::thread& t : renderers) t.join();

  EXPECT_EQ(PaletteTraces(capture), size_t(2 * kFrames));
  EXPECT_NE(CurrentPalette(), nullptr);
  for (platform::Window* window : windows) {
    const Shown shown(window, 64, 32);
    EXPECT_EQ(shown.At(7, 30)[0], 255 - 8);  // second row from the bottom, column 7: index 8
    EXPECT_EQ(shown.At(7, 30)[1], 8);
    platform::DestroyOffscreenWindow(window);
  }
  ReleaseDisplayPalette();
}

}  // namespace
}  // namespace kvp
