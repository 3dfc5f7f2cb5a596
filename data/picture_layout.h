// How a panorama picture lies in memory for the warp: the row stride, the readable margin
// around the rows, the largest sizes, and WarpPicture, which lays a picture out that way.
// The loader's image slots follow the same contract, so it lives below the renderer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvp {

// Largest picture whose 16.16 coordinates fit 32 bits everywhere: the seam threshold of the
// pole pass, 3W/2 in 16.16, is the biggest value the engine forms.
constexpr int32_t kMaxWarpPictureWidth = 21844;
constexpr int32_t kMaxWarpPictureHeight = 32767;

// Row pitch, in pixels, at which the engine addresses a picture: the width rounded up to a
// multiple of 4. The same count of pixels spans 360 degrees.
inline int32_t WarpPictureStride(int32_t width) { return (width + 3) & ~3; }

// The picture margin: the loops read outside the stored picture, so whoever hands pixels to
// WarpFrame must keep `before` bytes readable before the first pixel and `after` bytes after
// the last one (the picture being `height` rows of WarpPictureStride(width) pixels). What
// lies there is never relied on. Why these numbers:
//  - columns: the origin shift moves the base by -W/4 .. 3W/4 pixels and the seam fix lifts
//    columns up to 5W/4, so reads run from column -W/4 - 1 to 2W + 1 (+1: smoothing's right
//    neighbour and the 24-bit loop's 4-byte loads);
//  - rows: block and pole interpolation step with arithmetic shifts, which round toward minus
//    infinity, so near the lower pole v can dip a few 16.16 units below 0: row -1 is read.
//    Nothing ever exceeds row Hm (smoothing's upper neighbour needs v's fraction >= 1/2).
// So: before = 1 row + W/4 + 2 pixels; after = 1 row + 2 pixels + 1 byte.
struct PictureMargin {
  size_t before;
  size_t after;
};
PictureMargin WarpPictureMargin(int32_t width, int32_t depth);

// A picture in the warp layout: rows of WarpPictureStride(width) pixels, bottom-up, inside a
// buffer that keeps the picture margin readable on both sides. Tools, tests and benchmarks
// use it.
class WarpPicture {
 public:
  // Copies `height` bottom-up rows of `width` pixels of `depth` bits (8, 16 or 24), stored
  // one after another without padding, to the warp layout. The margins are zero. Returns
  // false for sizes the engine does not take or when memory runs out.
  bool Assign(int32_t width, int32_t height, int32_t depth, const uint8_t* rows);

  const uint8_t* Pixels() const { return buffer_.data() + before_; }
  uint8_t* MutablePixels() { return buffer_.data() + before_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t Depth() const { return depth_; }
  // The whole allocation, margins included (for bounds checks in tests).
  const std::vector<uint8_t>& Buffer() const { return buffer_; }

 private:
  std::vector<uint8_t> buffer_;
  size_t before_ = 0;
  int32_t width_ = 0, height_ = 0, depth_ = 0;
};

}  // namespace kvp
