// POSIX has no window the core draws into: the seam's windows are offscreen ones
// (platform/common/offscreen_window.h).
#include "platform/common/offscreen_window.h"
#include "platform/platform.h"

namespace platform {

namespace {

// The seam's handles are the offscreen window's own, cast, as the Win32 side casts HWND and HDC.
common::OffscreenWindow* Offscreen(Window* window) {
  return reinterpret_cast<common::OffscreenWindow*>(window);
}
common::OffscreenContext* Offscreen(DeviceContext* context) {
  return reinterpret_cast<common::OffscreenContext*>(context);
}
common::OffscreenPalette* Offscreen(Palette* palette) {
  return reinterpret_cast<common::OffscreenPalette*>(palette);
}

}  // namespace

Window* CreateOffscreenWindow(int32_t width, int32_t height) {
  return reinterpret_cast<Window*>(common::CreateOffscreenWindow(width, height));
}

void DestroyOffscreenWindow(Window* window) { common::DestroyOffscreenWindow(Offscreen(window)); }

void ClientSize(Window* window, int32_t& width, int32_t& height) {
  common::ClientSize(Offscreen(window), width, height);
}

DeviceContext* GetWindowContext(Window* window) {
  return reinterpret_cast<DeviceContext*>(common::GetWindowContext(Offscreen(window)));
}

void ReleaseWindowContext(Window*, DeviceContext* context) {
  common::ReleaseWindowContext(Offscreen(context));
}

Palette* CreatePalette(const uint8_t* colourTable) {
  return reinterpret_cast<Palette*>(common::CreatePalette(colourTable));
}

void DeletePalette(Palette* palette) { common::DeletePalette(Offscreen(palette)); }

Palette* SelectPalette(DeviceContext* context, Palette* palette, bool /*background*/) {
  return reinterpret_cast<Palette*>(common::SelectPalette(Offscreen(context), Offscreen(palette)));
}

void RealizePalette(DeviceContext* context) { common::RealizePalette(Offscreen(context)); }

void SetColorOnColor(DeviceContext* context) { common::SetColorOnColor(Offscreen(context)); }

int32_t StretchDIBits(DeviceContext* context, int32_t x, int32_t y, int32_t w, int32_t h,
                      int32_t sx, int32_t sy, int32_t sw, int32_t sh, const void* bits,
                      const void* header) {
  return common::StretchDIBits(Offscreen(context), x, y, w, h, sx, sy, sw, sh, bits, header);
}

bool PostWindowMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return common::PostWindowMessage(Offscreen(window), message, wParam, lParam);
}

bool TakePostedMessage(Window* window, uint32_t& message, uintptr_t& wParam, intptr_t& lParam) {
  return common::TakePostedMessage(Offscreen(window), message, wParam, lParam);
}

bool ReadWindowPixels(Window* window, uint8_t* pixels) {
  return common::ReadWindowPixels(Offscreen(window), pixels);
}

}  // namespace platform
