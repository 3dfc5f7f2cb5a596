// The codec bridge: turns a packed image into the uncompressed image the renderer warps —
// decoding compressed frames through the installed video decompressor, lowering the colour
// depth to the display depth, and placing very wide images inside a taller one.
//
// Caller: the streaming loader, on whichever thread completes a load (the requesting thread
// or a background transfer thread). The bridge keeps no state between calls; the display
// depth is only read. Codec failures reach the user as a message box (caption
// "Tarnwick Kestrelvue", no owner window, shown from the calling thread) and a trace line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/packed_image.h"

namespace kvp {

// ---- Display depth -------------------------------------------------------------------------
//
// Two process-wide values: the screen's bits per pixel and the depth images are decoded to.
// Written by UpdateDisplayDepth whenever an environment set is created (a panorama opens);
// read from any thread.

// The depth images are decoded to on a screen of `screenBits`: limited to 8..24, and 8
// whenever the platform is Windows NT.
uint16_t DisplayDepthFor(uint16_t screenBits, bool windowsNT);

// Reads the platform's screen facts and stores both values.
void UpdateDisplayDepth();
uint16_t ScreenDepth();   // 0 until the first update
uint16_t DisplayDepth();  // 0 until the first update

// ---- Placement ------------------------------------------------------------------------------

// A wide image (6 x height <= width) is placed in an image 4 x height rows high, its rows
// starting at PlacementRow(height) = (4 x height x 3) / 8.
bool IsWide(int32_t width, int32_t height);
int32_t PlacementRow(int32_t height);

// ---- Decoding -------------------------------------------------------------------------------

// A caller-owned buffer holding a packed image: `length` bytes are the image, `capacity`
// bytes (from `data`) may be written.
struct ImageBuffer {
  uint8_t* data = nullptr;
  size_t length = 0;
  size_t capacity = 0;
};

// The bytes a destination needs for `source` (its information header) decoded to `target`
// bits: header, colour table at 8 bits, and 4 x height rows when the image is wide; for a
// compressed source never less than a header and a colour table. 0 when the header or depth
// cannot be decoded.
uint64_t DecodedImageBytes(const BitmapInfoHeader& source, uint16_t target);

// Decodes `source` into `destination` (a packed image: header, colour table at 8 bits, then
// the pixels) at `target` bits, normally DisplayDepth(). An uncompressed source deeper than
// the target is first reduced in place, so `source.capacity` must hold that result.
// Returns false on failure: a missing or failing codec (box and trace line shown), or an
// image that does not fit its buffers or whose header cannot be true (refused before any
// write, with a trace line). The destination may then hold a header and some rows.
bool DecodeImage(const ImageBuffer& source, const ImageBuffer& destination, uint16_t target);

// Lowers an uncompressed image to `target` bits in place: to 16 by rewriting its 24-bit
// pixels as 5-5-5, to 8 through a round trip over the "msvc" image compressor, which also
// gives it a colour table and places a wide image. Does nothing and succeeds when the image
// is not deeper than the target. Failures of the compressor or its memory show nothing.
bool ReduceDepth(const ImageBuffer& image, uint16_t target);

// The name of a codec result: "ICERR_UNSUPPORTED" (-1) to "ICERR_ABORT" (-10),
// "ICERR_ERROR" (-100), "ICERR_BADBITDEPTH" (-200), "ICERR_BADIMAGESIZE" (-201), else
// "UNKNOWN ERROR".
const char* ErrorName(int32_t code);

// The maker's web site named in the box for a missing Indeo 4.1 decompressor.
constexpr const char* kIndeoSite = "www.example.com";

}  // namespace kvp
