// The offscreen window: a client-sized 24-bit pixel surface that receives blits exactly as
// StretchDIBits draws into a window's device context, and a queue of posted messages.
//
// The seam's windows on every side without a windowing system the core draws into (POSIX,
// the web); tests, `kvp render` and front ends read the pixels back. The functions carry the
// meaning of their platform.h namesakes; a side hands these handles out as its Window,
// DeviceContext and Palette.
#pragma once

#include <cstdint>

namespace platform {
namespace common {

struct OffscreenWindow;
struct OffscreenContext;
struct OffscreenPalette;

// A window with a client area of width x height, filled black; null for a negative size or
// when memory runs out. A destroyed window is forgotten: calls on it then fail as they do on
// a gone HWND.
OffscreenWindow* CreateOffscreenWindow(int32_t width, int32_t height);
void DestroyOffscreenWindow(OffscreenWindow* window);

void ClientSize(OffscreenWindow* window, int32_t& width, int32_t& height);

OffscreenContext* GetWindowContext(OffscreenWindow* window);
void ReleaseWindowContext(OffscreenContext* context);

// A palette is the colour table it was made from. Selecting one only records it for the
// next selection's answer, and realising one changes no pixel: the surface shows every colour.
OffscreenPalette* CreatePalette(const uint8_t* colourTable);
void DeletePalette(OffscreenPalette* palette);
OffscreenPalette* SelectPalette(OffscreenContext* context, OffscreenPalette* palette);
void RealizePalette(OffscreenContext* context);

// Nearest-pixel scaling is the only kind the surface does, which is what COLORONCOLOR asks for.
void SetColorOnColor(OffscreenContext* context);

// The source's bottom-up rows (or top-down ones, for a negative height), 8-bit pixels through
// the colour table, 16-bit ones as 5-5-5, copied into the destination rectangle clipped to
// the client area, with the pixels GDI picks when it scales.
int32_t StretchDIBits(OffscreenContext* context, int32_t x, int32_t y, int32_t w, int32_t h,
                      int32_t sx, int32_t sy, int32_t sw, int32_t sh, const void* bits,
                      const void* header);

bool PostWindowMessage(OffscreenWindow* window, uint32_t message, uintptr_t wParam,
                       intptr_t lParam);
bool TakePostedMessage(OffscreenWindow* window, uint32_t& message, uintptr_t& wParam,
                       intptr_t& lParam);
bool ReadWindowPixels(OffscreenWindow* window, uint8_t* pixels);

}  // namespace common
}  // namespace platform
