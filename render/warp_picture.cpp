// The warp layout of a picture: padded rows inside the picture margin.
#include "render/warp_picture.h"

#include <cstring>
#include <new>

#include "render/warp_engine.h"

namespace kvp {

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
