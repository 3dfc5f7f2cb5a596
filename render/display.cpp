// Display output: the frame's copy to the window and the process-wide palette of 8-bit screens.
#include "render/display.h"

#include <mutex>

#include "data/codec_bridge.h"
#include "data/packed_image.h"
#include "diag/trace.h"
#include "platform/platform.h"

namespace kvp {

namespace {

// The palette belongs to the process, not to an instance: every instance on an 8-bit screen
// shows its frames through it. Instances render on their own threads, so a rebuild by one
// must not delete the palette another has selected into its context mid-copy; the lock is
// therefore held from the rebuild to the moment the previous palette is selected back.
struct ProcessPalette {
  std::mutex lock;
  // --- protected by lock
  platform::Palette* palette = nullptr;
};

ProcessPalette& ThePalette() {
  static ProcessPalette shared;
  return shared;
}

constexpr int32_t kWidthAt = 4;
constexpr int32_t kHeightAt = 8;
constexpr int32_t kBitCountAt = 14;

}  // namespace

void BlitFrame(platform::DeviceContext* context, const uint8_t* header, const uint8_t* bits,
               int16_t paletteResetPending, const int32_t* rectangle) {
  int32_t x = 0, y = 0;
  int32_t right = LoadI32(header + kWidthAt);
  int32_t bottom = LoadI32(header + kHeightAt);
  if (rectangle != nullptr) {
    x = rectangle[0];
    y = rectangle[1];
    right = rectangle[2];
    bottom = rectangle[3];
  }
  const int32_t w = right - x, h = bottom - y;

  ProcessPalette& shared = ThePalette();
  const bool paletteScreen = ScreenDepth() == 8;
  std::unique_lock<std::mutex> hold(shared.lock, std::defer_lock);
  platform::Palette* previous = nullptr;
  if (paletteScreen) {
    hold.lock();
    if (paletteResetPending != 0 && LoadU16(header + kBitCountAt) == 8) {
      platform::DeletePalette(shared.palette);
      shared.palette = nullptr;
      TraceLine("Creating Palette");
      shared.palette = platform::CreatePalette(header + kInfoHeaderSize);
    }
    previous = platform::SelectPalette(context, shared.palette, false);
    platform::RealizePalette(context);
  }

  platform::SetColorOnColor(context);
  platform::StretchDIBits(context, x, y, w, h, 0, 0, w, h, bits, header);

  if (paletteScreen) platform::SelectPalette(context, previous, false);
}

platform::Palette* CurrentPalette() {
  ProcessPalette& shared = ThePalette();
  std::lock_guard<std::mutex> hold(shared.lock);
  return shared.palette;
}

void ReleaseDisplayPalette() {
  ProcessPalette& shared = ThePalette();
  std::lock_guard<std::mutex> hold(shared.lock);
  platform::DeletePalette(shared.palette);
  shared.palette = nullptr;
}

}  // namespace kvp
