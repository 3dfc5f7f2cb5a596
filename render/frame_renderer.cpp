// The pieces of a frame: buffer sizing, the warp quality policy with its cache, the blit.
#include "render/frame_renderer.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

#include "data/packed_image.h"
#include "diag/trace.h"
#include "platform/platform.h"
#include "render/display.h"
#include "render/warp_engine.h"

namespace kvp {

namespace {

// The frame's depth follows the image (8, 16 or 24 bits) and may change while the size stays,
// but the buffers are only reallocated when the size changes. Sizing them for the deepest
// frame keeps a deeper image from ever writing past them.
constexpr int32_t kDeepestFrameBytes = 3;

// A frame bigger than this cannot be described by a bitmap header's 32-bit size nor allocated
// by a 32-bit process; refusing it early also keeps the size product from overflowing.
constexpr uint64_t kMaxFrameBytes = uint64_t(std::numeric_limits<int32_t>::max());

constexpr size_t kHeaderSizeAt = 0;
constexpr size_t kWidthAt = 4;
constexpr size_t kHeightAt = 8;
constexpr size_t kBitCountAt = 14;
constexpr size_t kColoursUsedAt = offsetof(BitmapInfoHeader, clrUsed);

void ClearBuffers(FrameOutput& frame, FrameCache& cache) {
  frame.buffer.reset();
  frame.width = frame.height = 0;
  cache.valid = 0;
  cache.buffer.reset();
  cache.width = cache.height = 0;
}

// The bytes of one frame at its current depth, never more than the buffers hold.
size_t FrameBytes(int32_t width, int32_t height, int16_t bitsPerPixel) {
  const int32_t pixelBytes = std::min<int32_t>(bitsPerPixel / 8, kDeepestFrameBytes);
  return size_t(pixelBytes) * size_t(width) * size_t(height);
}

bool SamePose(const ViewPose& a, const ViewPose& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && a.heading == b.heading &&
         a.pitch == b.pitch && a.roll == b.roll && a.fieldOfView == b.fieldOfView;
}

}  // namespace

int32_t RoundUpTo32(int32_t size) {
  if (size <= 0) return 0;
  const int64_t rounded = (int64_t(size) + 31) / 32 * 32;
  return rounded > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() & ~31
                                                       : int32_t(rounded);
}

bool SizeFrameBuffers(FrameOutput& frame, FrameCache& cache, int32_t width, int32_t height) {
  if (width == frame.width && height == frame.height && frame.buffer != nullptr) return true;
  ClearBuffers(frame, cache);
  // An empty target has nothing to draw; it is not a memory fault.
  if (width <= 0 || height <= 0) return false;

  const uint64_t bytes = uint64_t(kDeepestFrameBytes) * uint64_t(width) * uint64_t(height);
  if (bytes <= kMaxFrameBytes) {
    frame.width = width;
    frame.height = height;
    frame.buffer.reset(new (std::nothrow) uint8_t[size_t(bytes)]);
  }
  if (frame.buffer == nullptr) {
    TraceLine("Mem Fault");
    ClearBuffers(frame, cache);
    return false;
  }
  cache.width = width;
  cache.height = height;
  cache.bitsPerPixel = frame.bitsPerPixel;
  cache.buffer.reset(new (std::nothrow) uint8_t[size_t(bytes)]);
  if (cache.buffer == nullptr) {
    TraceLine("Mem Fault");
    ClearBuffers(frame, cache);
    return false;
  }
  return true;
}

WarpKind WarpWithCache(Warper& warper, FrameOutput& frame, FrameCache& cache,
                       const EnvironmentBox& box, const ViewPose& renderPose,
                       const CapturePoint& capture, WarpSource& source) {
  assert(frame.buffer != nullptr && cache.buffer != nullptr);
  if (source.image != nullptr) {
    // The slot image's own header says what it holds; its rows lie at the warp engine's stride
    // right after the header and, for 8 bits, the full colour table.
    const BitmapInfoHeader header = ReadInfoHeader(source.image);
    source.width = header.width;
    source.height = header.height;
    source.bitsPerPixel = int16_t(header.bitCount);
    source.pixels = source.image + HeaderBytes(header);
  }
  const size_t bytes = FrameBytes(frame.width, frame.height, frame.bitsPerPixel);

  if (!SamePose(renderPose, cache.pose)) {
    cache.pose = renderPose;
    cache.valid = 0;
    if (source.image != nullptr && LoadU16(source.image + kBitCountAt) == 8 &&
        LoadU32(source.image + kColoursUsedAt) == 0) {
      StoreU32(source.image + kColoursUsedAt, 256);
    }
    warper.RenderPanorama(box, renderPose, capture, frame.width, frame.height,
                          frame.buffer.get(), source.width, source.height, source.pixels,
                          source.bitsPerPixel, 0);
    return WarpKind::kFast;
  }
  if (cache.valid != 0) {
    std::memcpy(frame.buffer.get(), cache.buffer.get(), bytes);
    return WarpKind::kCopied;
  }
  // A warp that misses the box leaves the previous frame, which is then what stays cached
  // until the view changes, as it would stay on screen.
  warper.RenderPanorama(box, renderPose, capture, frame.width, frame.height,
                        frame.buffer.get(), source.width, source.height, source.pixels,
                        source.bitsPerPixel, 1);
  std::memcpy(cache.buffer.get(), frame.buffer.get(), bytes);
  cache.valid = 1;
  return WarpKind::kSmoothed;
}

void BlitFrameToWindow(platform::Window* window, uint8_t* image, const FrameOutput& frame) {
  if (image == nullptr || frame.buffer == nullptr) return;
  platform::DeviceContext* context = platform::GetWindowContext(window);
  if (context == nullptr) return;
  const uint32_t width = LoadU32(image + kWidthAt), height = LoadU32(image + kHeightAt);
  // The file's header-size field is never trusted (the header is always 40 bytes), but a
  // blit finds the colour table behind it: a hostile value would send it past the picture.
  const uint32_t headerSize = LoadU32(image + kHeaderSizeAt);
  StoreU32(image + kHeaderSizeAt, uint32_t(sizeof(BitmapInfoHeader)));
  StoreU32(image + kWidthAt, uint32_t(frame.width));
  StoreU32(image + kHeightAt, uint32_t(frame.height));
  const int32_t rectangle[4] = {frame.left, frame.top, frame.right, frame.bottom};
  BlitFrame(context, image, frame.buffer.get(), frame.paletteResetPending,
            frame.rectangleInForce != 0 ? rectangle : nullptr);
  StoreU32(image + kHeaderSizeAt, headerSize);
  StoreU32(image + kWidthAt, width);
  StoreU32(image + kHeightAt, height);
  platform::ReleaseWindowContext(window, context);
}

}  // namespace kvp
