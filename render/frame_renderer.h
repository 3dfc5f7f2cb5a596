// The pieces of a frame: sizing the frame and cache buffers, the quality policy with the frame
// cache, and the hand-over to the display (sprites: render/sprite_drawing.h).
//
// The panorama controller runs these on its render thread under its lock, in the order of its
// RenderFrame (controller/render_frame.cpp); nothing here takes a lock or knows the controller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "data/types.h"

namespace platform {
struct Window;
}

namespace kvp {

class Warper;

// The frame the controller draws into. Fields in the controller record's order.
struct FrameOutput {
  int32_t width = 0, height = 0;  // multiples of 32 once sized
  int16_t bitsPerPixel = 24;      // 8, 16 or 24: the depth of the last image
  int16_t projection = 0;         // kept from the description; no drawing depends on it
  std::unique_ptr<uint8_t[]> buffer;  // bitsPerPixel / 8 * width * height, bottom-up rows
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // drawing rectangle, client coordinates
  int16_t rectangleInForce = 0;
  int16_t paletteResetPending = 1;
};

// The last full-quality warp, reused while the view stands still.
struct FrameCache {
  int16_t valid = 0;
  ViewPose pose;  // the render pose of the cached frame
  int32_t width = 0, height = 0;
  int16_t bitsPerPixel = 24;
  std::unique_ptr<uint8_t[]> buffer;  // same byte count as the frame buffer
};

// The size a target of `size` pixels is drawn at: the next multiple of 32 (a multiple stays).
int32_t RoundUpTo32(int32_t size);

// Makes both buffers fit a frame of width x height (already rounded) at the frame's bits per
// pixel. Nothing happens when the size is the stored one. Otherwise frees the frame buffer,
// stores the size and allocates; clears the cache, gives it the same size and depth and
// allocates its buffer. On an allocation failure traces "Mem Fault", clears the stored sizes
// (so that the next frame of that size tries again) and returns false.
bool SizeFrameBuffers(FrameOutput& frame, FrameCache& cache, int32_t width, int32_t height);

// What a warp needs to know of the decoded image. When `image` is set, WarpWithCache takes
// the other fields from its header (the pixels start after the header and, for 8 bits, a
// full colour table); otherwise they are used as given.
struct WarpSource {
  uint8_t* image = nullptr;  // the packed image; its colour count may be set to 256
  int32_t width = 0, height = 0;
  int16_t bitsPerPixel = 24;
  const uint8_t* pixels = nullptr;
};

// Which warp WarpWithCache did, for tests and benchmarks.
enum class WarpKind { kFast, kSmoothed, kCopied };

// The quality policy. The view is unchanged when the render pose equals the cached frame's
// pose in all seven doubles. Changed: remember the pose, invalidate the cache, give an 8-bit
// image with colour count 0 a count of 256 and warp at quality 0. Unchanged with a valid
// cache: copy the cache into the frame. Unchanged, cache not valid: warp at quality 1, copy
// the frame into the cache and mark it valid. `capture` is the panorama's capture point.
WarpKind WarpWithCache(Warper& warper, FrameOutput& frame, FrameCache& cache,
                       const EnvironmentBox& box, const ViewPose& renderPose,
                       const CapturePoint& capture, WarpSource& source);

// The blit of a finished frame: `image` is the decoded image whose header (with its colour
// table) doubles as the frame's header; its width and height are set to the frame size for
// the copy and restored afterwards. Fetches and releases the window's context around
// BlitFrame (render/display.h).
void BlitFrameToWindow(platform::Window* window, uint8_t* image, const FrameOutput& frame);

}  // namespace kvp
