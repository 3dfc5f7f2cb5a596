// The warp layout of a picture: the margin sizes, and padded rows inside the margin.
#include "data/picture_layout.h"

#include <cstring>
#include <new>

namespace kvp {

PictureMargin WarpPictureMargin(int32_t width, int32_t depth) {
  const size_t W = size_t(WarpPictureStride(width < 0 ? 0 : width));
  const size_t bytes = size_t(depth > 0 ? depth : 0) / 8;
  return PictureMargin{(W + W / 4 + 2) * bytes, (W + 2) * bytes + 1};
}

bool WarpPicture::Assign(int32_t width, int32_t height, int32_t depth, const uint8_t* rows) {
  if ((depth != 8 && depth != 16 && depth != 24) || width <= 0 || height <= 0 ||
      width > kMaxWarpPictureWidth || height > kMaxWarpPictureHeight || rows == nullptr) {
    return false;
  }
  const size_t bytes = size_t(depth / 8);
  const size_t stride = size_t(WarpPictureStride(width)) * bytes;
  const size_t rowBytes = size_t(width) * bytes;
  const PictureMargin margin = WarpPictureMargin(width, depth);
  try {
    buffer_.assign(margin.before + stride * size_t(height) + margin.after, 0);
  } catch (const std::bad_alloc&) {
    buffer_.clear();
    return false;
  }
  before_ = margin.before;
  for (int32_t r = 0; r < height; ++r) {
    std::memcpy(buffer_.data() + before_ + size_t(r) * stride, rows + size_t(r) * rowBytes, rowBytes);
  }
  width_ = width;
  height_ = height;
  depth_ = depth;
  return true;
}

}  // namespace kvp
