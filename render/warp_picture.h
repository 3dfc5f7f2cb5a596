// A picture laid out the way the warp engine reads it: rows of WarpPictureStride(width)
// pixels, bottom-up, inside a buffer that keeps the picture margin readable on both sides.
// Tools, tests and benchmarks use it; the loader's image slots follow the same contract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvp {

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
