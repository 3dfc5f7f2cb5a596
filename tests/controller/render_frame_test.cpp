// RenderFrame driven by hand (the render thread idle, the lock held by the test): the frame's
// size, the quality sequence, the box of the node's environment, and what reaches the window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "controller/panorama_controller.h"
#include "platform/platform.h"
#include "tests/data/tour_files.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

using test::TempDir;

// A 256 x 128 8-bit panorama with a horizontal gradient, so that a turn changes the frame.
std::string Gradient(const TempDir& dir, const std::string& name) {
  std::vector<uint8_t> table(kColourTableSize, 0);
  for (int i = 0; i < 256; ++i) {
    table[size_t(i) * 4 + 1] = uint8_t(i);
    table[size_t(i) * 4 + 2] = 200;
  }
  std::vector<uint8_t> pixels(256 * 128);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i % 256);
  return dir.Write(name, test::Container(authoring::MakePackedImage(256, 128, 8, pixels, table)));
}

class FrameSequence : public ::testing::Test {
 protected:
  void Open(const std::string& file, int32_t w, int32_t h) {
    window_ = platform::CreateOffscreenWindow(w, h);
    ASSERT_NE(window_, nullptr);
    c_.Open(file.c_str(), window_, 0, 30, 5);
    ASSERT_TRUE(c_.TakeLock());
    locked_ = true;
  }
  void TearDown() override {
    if (locked_) c_.ReleaseLock();
    c_.Close();
    platform::DestroyOffscreenWindow(window_);
  }
  std::vector<uint8_t> Frame() const {
    const size_t bytes = size_t(c_.frame.width) * size_t(c_.frame.height) * (c_.frame.bitsPerPixel / 8);
    return std::vector<uint8_t>(c_.frame.buffer.get(), c_.frame.buffer.get() + bytes);
  }

  TempDir dir_;
  platform::Window* window_ = nullptr;
  PanoramaController c_;
  bool locked_ = false;
};

TEST_F(FrameSequence, SizesInThirtyTwosAndSettlesIntoTheCache) {
  Open(Gradient(dir_, "g.pan"), 33, 33);
  EXPECT_EQ(c_.RenderFrame(), 0);
  EXPECT_EQ(c_.frame.width, 64);
  EXPECT_EQ(c_.frame.height, 64);
  EXPECT_EQ(c_.frame.bitsPerPixel, 8);
  EXPECT_EQ(c_.frame.paletteResetPending, 0);
  EXPECT_EQ(c_.cache.valid, 0);  // the first frame after a change is the fast one

  c_.RenderFrame();
  EXPECT_EQ(c_.cache.valid, 1);  // then smoothed once, into the cache
  const std::vector<uint8_t> smoothed = Frame();
  std::memset(c_.frame.buffer.get(), 0, smoothed.size());
  c_.RenderFrame();
  EXPECT_EQ(Frame(), smoothed);  // and copied from it

  // A turn invalidates the cache and changes the picture.
  c_.heading += 20;
  c_.RenderFrame();
  EXPECT_EQ(c_.cache.valid, 0);
  EXPECT_NE(Frame(), smoothed);

  // The window shows the client's part of the frame: its bottom rows.
  std::vector<uint8_t> pixels(33 * 33 * 3);
  ASSERT_TRUE(platform::ReadWindowPixels(window_, pixels.data()));
  EXPECT_EQ(pixels[2], 200);  // red of the panorama's colours
}

TEST_F(FrameSequence, NothingToDrawIntoIsNoFrame) {
  Open(Gradient(dir_, "g.pan"), 64, 64);
  const int32_t empty[4] = {0, 0, 0, 0};
  c_.ReleaseLock();
  c_.SetViewLimits(1, empty);
  ASSERT_TRUE(c_.TakeLock());
  EXPECT_EQ(c_.RenderFrame(), kNoFrame);
  EXPECT_EQ(c_.frame.width, 0);

  // A motion is not advanced by a frame that is not drawn.
  c_.headingSpeed = 30;
  c_.headingFrames = 5;
  EXPECT_EQ(c_.RenderFrame(), kNoFrame);
  EXPECT_EQ(c_.headingFrames, 5);
}

TEST_F(FrameSequence, TheViewerStandsAtTheCapturePointsHeight) {
  Gradient(dir_, "a.pan");
  const std::string tour = dir_.Write(
      "tour.ini", "[Kestrelvue]\nVERSION=Release 2.0\n[Directory]\na.pan=2,3,1.5,4\n");
  Open(tour, 64, 64);
  c_.z = 0;
  c_.RenderFrame();
  EXPECT_EQ(c_.z, 1.5);
  EXPECT_EQ(c_.x, 2);
  EXPECT_EQ(c_.y, 3);
}

// The frame drawn at (x, y) in the tour `ini` (in `dir`, whose a.pan and b.pan exist).
std::vector<uint8_t> FrameAt(const TempDir& dir, const std::string& ini, double x, double y) {
  const std::string tour = dir.Write("tour.ini", "[Kestrelvue]\nVERSION=Release 2.0\n" + ini);
  platform::Window* window = platform::CreateOffscreenWindow(64, 64);
  PanoramaController c;
  c.Open(tour.c_str(), window, 0, 30, 5);
  c.TakeLock();
  c.x = x;
  c.y = y;
  c.heading = 30;
  c.RenderFrame();
  std::vector<uint8_t> frame(c.frame.buffer.get(), c.frame.buffer.get() + 64 * 64);
  c.ReleaseLock();
  c.Close();
  platform::DestroyOffscreenWindow(window);
  return frame;
}

// Off its capture point the viewer sees the parallax of the box of its node's environment:
// box d for a node of "Directory d", the default box for a node of "Directory" (environment
// 0, which no numbered box holds).
TEST(FrameBoxes, TheNodesEnvironmentChoosesTheBox) {
  TempDir dir;
  Gradient(dir, "a.pan");
  const std::string small =
      "XMin=-2000\nXMax=2000\nYMin=-2000\nYMax=2000\nZMin=-2000\nZMax=2000\n";

  const std::string numbered = "Environment Count=1\n[Directory 1]\na.pan=0,0,0,1\n";
  const std::vector<uint8_t> plain = FrameAt(dir, numbered, 0.5, 0);
  EXPECT_NE(FrameAt(dir, numbered + "[Environment 1]\n" + small, 0.5, 0), plain);
  EXPECT_EQ(FrameAt(dir, numbered + "[Environment]\n" + small, 0.5, 0), plain);

  const std::string unnumbered = "[Directory]\na.pan=0,0,0,1\n";
  EXPECT_EQ(FrameAt(dir, unnumbered, 0.5, 0), plain);
  EXPECT_NE(FrameAt(dir, unnumbered + "[Environment]\n" + small, 0.5, 0), plain);
}

}  // namespace
}  // namespace kvp
