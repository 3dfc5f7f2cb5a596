// Win32 windows the core draws into: HWNDs and the GDI calls on them, and test windows.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/this_module.h"

namespace platform {

namespace {

// The seam's handles are the Win32 handles themselves, cast: no allocation, and a Window
// given to the core by the plug-in's host is simply its HWND.
HWND AsHwnd(Window* window) { return reinterpret_cast<HWND>(window); }
HDC AsHdc(DeviceContext* context) { return reinterpret_cast<HDC>(context); }
HPALETTE AsPalette(Palette* palette) { return reinterpret_cast<HPALETTE>(palette); }

constexpr const char* kOffscreenClass = "KVP Offscreen Class";

// Registered once per process, whichever thread makes the first window. The black class
// brush gives the same starting picture as the POSIX surface.
bool RegisterOffscreenClass() {
  static std::once_flag once;
  static bool registered = false;
  std::call_once(once, [] {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kOffscreenClass;
    registered = RegisterClassA(&wc) != 0;
  });
  return registered;
}

}  // namespace

void ClientSize(Window* window, int32_t& width, int32_t& height) {
  RECT r;
  if (window == nullptr || !GetClientRect(AsHwnd(window), &r)) {
    width = height = 0;
    return;
  }
  width = r.right - r.left;
  height = r.bottom - r.top;
}

DeviceContext* GetWindowContext(Window* window) {
  if (window == nullptr) return nullptr;
  return reinterpret_cast<DeviceContext*>(GetDC(AsHwnd(window)));
}

void ReleaseWindowContext(Window* window, DeviceContext* context) {
  if (context != nullptr) ReleaseDC(AsHwnd(window), AsHdc(context));
}

Palette* CreatePalette(const uint8_t* colourTable) {
  if (colourTable == nullptr) return nullptr;
  // LOGPALETTE declares one entry; the other 255 follow it in the same block.
  std::vector<uint8_t> block(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
  auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
  logical->palVersion = 0x300;
  logical->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) {
    PALETTEENTRY& e = logical->palPalEntry[i];
    e.peRed = colourTable[i * 4 + 2];
    e.peGreen = colourTable[i * 4 + 1];
    e.peBlue = colourTable[i * 4];
    e.peFlags = 0;
  }
  return reinterpret_cast<Palette*>(::CreatePalette(logical));
}

void DeletePalette(Palette* palette) {
  if (palette != nullptr) DeleteObject(AsPalette(palette));
}

Palette* SelectPalette(DeviceContext* context, Palette* palette, bool background) {
  return reinterpret_cast<Palette*>(
      ::SelectPalette(AsHdc(context), AsPalette(palette), background ? TRUE : FALSE));
}

void RealizePalette(DeviceContext* context) { ::RealizePalette(AsHdc(context)); }

void SetColorOnColor(DeviceContext* context) { SetStretchBltMode(AsHdc(context), COLORONCOLOR); }

int32_t StretchDIBits(DeviceContext* context, int32_t x, int32_t y, int32_t w, int32_t h,
                      int32_t sx, int32_t sy, int32_t sw, int32_t sh, const void* bits,
                      const void* header) {
  return ::StretchDIBits(AsHdc(context), x, y, w, h, sx, sy, sw, sh, bits,
                         static_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS, SRCCOPY);
}

bool PostWindowMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (window == nullptr) return false;
  return PostMessageA(AsHwnd(window), message, wParam, lParam) != 0;
}

Window* CreateOffscreenWindow(int32_t width, int32_t height) {
  if (!RegisterOffscreenClass()) return nullptr;
  // A popup has no frame, so the window rectangle is the client area. Topmost keeps other
  // windows from covering the pixels a test reads back. It is shown without taking the
  // focus: nobody types into it, and under X an activated window is handed to the window
  // manager, whose absence then costs seconds at every destruction.
  HWND hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kOffscreenClass, "", WS_POPUP,
                              0, 0, width, height, nullptr, nullptr, ThisModule(), nullptr);
  if (hwnd == nullptr) return nullptr;
  ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  UpdateWindow(hwnd);
  // Let the first paint and whatever else the system queues at creation happen now, so that
  // later blits are not erased by a late paint.
  MSG msg;
  while (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  return reinterpret_cast<Window*>(hwnd);
}

void DestroyOffscreenWindow(Window* window) {
  if (window != nullptr) DestroyWindow(AsHwnd(window));
}

bool ReadWindowPixels(Window* window, uint8_t* pixels) {
  if (window == nullptr || pixels == nullptr) return false;
  int32_t width, height;
  ClientSize(window, width, height);
  if (width <= 0 || height <= 0) return true;
  HWND hwnd = AsHwnd(window);
  HDC dc = GetDC(hwnd);
  if (dc == nullptr) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as the caller wants the rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (memory != nullptr && section != nullptr) {
    HGDIOBJ old = SelectObject(memory, section);
    ok = BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY) != 0;
    GdiFlush();
    if (ok) {
      const size_t row = static_cast<size_t>(width) * 3;
      const size_t stride = (row + 3) & ~static_cast<size_t>(3);
      for (int32_t y = 0; y < height; ++y) {
        std::memcpy(pixels + y * row, static_cast<const uint8_t*>(bits) + y * stride, row);
      }
    }
    SelectObject(memory, old);
  }
  if (section != nullptr) DeleteObject(section);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(hwnd, dc);
  return ok;
}

bool TakePostedMessage(Window* window, uint32_t& message, uintptr_t& wParam, intptr_t& lParam) {
  if (window == nullptr) return false;
  MSG msg;
  // Posted messages only: a paint or input the system generates is not what the caller posted.
  if (!PeekMessageA(&msg, AsHwnd(window), 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) return false;
  message = msg.message;
  wParam = msg.wParam;
  lParam = msg.lParam;
  return true;
}

}  // namespace platform
