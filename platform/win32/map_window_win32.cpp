// The map window on Windows: a real popup of the class "Map Class" that the host registers.
#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/win32/this_module.h"

namespace platform {

struct MapWindow {
  HWND hwnd;
};

namespace {

constexpr DWORD kMapStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

}  // namespace

MapWindow* CreateMapWindow(int32_t clientWidth, int32_t clientHeight) {
  RECT r = {0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&r, kMapStyle, FALSE, 0);
  int width = r.right - r.left;
  int height = r.bottom - r.top;
  if (width < 100) width = 100;
  if (height < 100) height = 100;
  const int left = GetSystemMetrics(SM_CXSCREEN) - width;
  // Without a registration of "Map Class" by some module, CreateWindowEx fails: no map.
  HWND hwnd = CreateWindowExA(0, "Map Class", "Map", kMapStyle, left, 0, width, height,
                              nullptr, nullptr, ThisModule(), nullptr);
  if (hwnd == nullptr) return nullptr;
  ShowWindow(hwnd, SW_SHOWNORMAL);
  return new MapWindow{hwnd};
}

int32_t MapClientHeight(MapWindow* window) {
  if (window == nullptr) return 0;
  RECT client;
  if (!GetClientRect(window->hwnd, &client)) return 0;
  return client.bottom - client.top;
}

void FillMapRectangle(MapWindow* window, int32_t left, int32_t top, int32_t right,
                      int32_t bottom, uint8_t red, uint8_t green, uint8_t blue) {
  if (window == nullptr) return;
  HDC dc = GetDC(window->hwnd);
  if (dc == nullptr) return;
  HBRUSH brush = CreateSolidBrush(RGB(red, green, blue));
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  Rectangle(dc, left, top, right, bottom);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(brush);
  ReleaseDC(window->hwnd, dc);
}

void RepaintMap(MapWindow* window, bool whole, int32_t left, int32_t top, int32_t right,
                int32_t bottom) {
  if (window == nullptr) return;
  RECT r = {left, top, right, bottom};
  InvalidateRect(window->hwnd, whole ? nullptr : &r, TRUE);
}

void DestroyMapWindow(MapWindow* window) {
  if (window == nullptr) return;
  DestroyWindow(window->hwnd);
  delete window;
}

}  // namespace platform
