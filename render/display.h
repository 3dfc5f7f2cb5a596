// Display output: copies a finished frame into the viewer window, keeping the panorama's
// logical palette selected around the copy on 8-bit screens.
//
// Caller: the frame renderer's BlitFrameToWindow, on a controller's render thread. Several
// controllers (one per plug-in instance) may blit at the same time from their own render
// threads; they share one palette for the whole process, which the lock in display.cpp
// serialises. Nothing here allocates frame memory or keeps a pointer to the caller's buffers.
#pragma once

#include <cstdint>

namespace platform {
struct DeviceContext;
struct Palette;
}  // namespace platform

namespace kvp {

// Copies the frame one to one (StretchDIBits, COLORONCOLOR, no scaling) to the window of
// `context`: to (0, 0) at the header's size, or, when `rectangle` (left, top, right, bottom in
// client coordinates) is given, to (left, top) at right - left by bottom - top pixels taken
// from the frame's lower-left corner.
//   `header`: a 40-byte bitmap information header whose width and height are the frame's,
//   followed by the 256-entry colour table when its bit count is 8. `bits`: the bottom-up
//   frame rows. Both are the caller's and only read during the call.
//   When the screen depth (ScreenDepth(), data/codec_bridge.h) is 8: with
//   `paletteResetPending` non-zero and an 8-bit frame, the process palette is rebuilt from the
//   colour table first (traced "Creating Palette"); the palette is selected as the foreground
//   palette and realised around the copy, then the previous one is selected back.
// GDI results are not checked: a blit that fails shows nothing and is not retried.
void BlitFrame(platform::DeviceContext* context, const uint8_t* header, const uint8_t* bits,
               int16_t paletteResetPending, const int32_t* rectangle);

// The process palette as BlitFrame last built it (null before the first one). For tests.
platform::Palette* CurrentPalette();

// Deletes the process palette, for the end of the process (library unload) and for tests
// that need to start without one. No blit may be running.
void ReleaseDisplayPalette();

}  // namespace kvp
