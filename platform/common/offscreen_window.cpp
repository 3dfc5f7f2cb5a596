// The offscreen window: the surface, the StretchDIBits rules and the posted-message queue.
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "platform/common/offscreen_window.h"

namespace platform {
namespace common {

namespace {

struct Message {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

}  // namespace

struct OffscreenPalette {
  uint8_t table[256 * 4];  // blue, green, red, reserved: the colour table it was made from
};

struct OffscreenWindow {
  const int32_t width;
  const int32_t height;
  std::mutex lock;
  // --- protected by lock
  std::vector<uint8_t> surface;  // bottom-up rows of width * 3 bytes, blue green red
  OffscreenPalette* selected = nullptr;  // recorded for SelectPalette's answer
  std::deque<Message> queue;
};

// A window's context is the window itself; GetDC/ReleaseDC hand out a small record so that a
// context is never mistaken for a window by the compiler.
struct OffscreenContext {
  OffscreenWindow* window;
};

namespace {

// Windows that exist, so that calls on a destroyed window fail as they do on a gone HWND
// instead of touching freed memory. Held for the whole of each call that checks, so a window
// cannot be destroyed under it.
std::mutex gWindowsLock;
// --- protected by gWindowsLock
std::set<OffscreenWindow*> gWindows;

bool Alive(OffscreenWindow* window) { return window != nullptr && gWindows.count(window) != 0; }

uint32_t Read16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Read32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The fields of a 40-byte bitmap information header that a blit needs.
struct Source {
  int32_t width;
  int32_t height;     // rows, always positive
  bool topDown;       // negative height in the header
  uint32_t bits;      // 8, 16, 24 or 32
  size_t stride;      // bytes per row, padded to 4
  const uint8_t* table;
  uint32_t tableSize;
  const uint8_t* pixels;
};

bool ReadSource(const void* header, const void* bits, Source& s) {
  if (header == nullptr || bits == nullptr) return false;
  const auto* h = static_cast<const uint8_t*>(header);
  const uint32_t size = Read32(h);
  if (size < 40) return false;
  s.width = static_cast<int32_t>(Read32(h + 4));
  const int32_t height = static_cast<int32_t>(Read32(h + 8));
  s.bits = Read16(h + 14);
  const uint32_t compression = Read32(h + 16);
  const uint32_t used = Read32(h + 32);
  if (s.width <= 0 || height == 0 || height == INT32_MIN || compression != 0) return false;
  if (s.bits != 8 && s.bits != 16 && s.bits != 24 && s.bits != 32) return false;
  s.topDown = height < 0;
  s.height = height < 0 ? -height : height;
  s.stride = (static_cast<size_t>(s.width) * s.bits + 31) / 32 * 4;
  s.table = h + size;
  s.tableSize = s.bits == 8 ? (used == 0 || used > 256 ? 256 : used) : 0;
  s.pixels = static_cast<const uint8_t*>(bits);
  return true;
}

// The 5-bit channel widened as GDI does: the top bits repeat in the low ones, so 31 is 255.
uint8_t Widen5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

// Blue, green, red of the pixel in column `x` of bottom-up row `row`.
void SourcePixel(const Source& s, int32_t x, int32_t row, uint8_t* bgr) {
  const int32_t stored = s.topDown ? s.height - 1 - row : row;
  const uint8_t* line = s.pixels + static_cast<size_t>(stored) * s.stride;
  switch (s.bits) {
    case 8: {
      const uint32_t index = line[x];
      if (index >= s.tableSize) {
        bgr[0] = bgr[1] = bgr[2] = 0;  // beyond the table: black
      } else {
        std::memcpy(bgr, s.table + index * 4, 3);
      }
      break;
    }
    case 16: {
      const uint32_t v = Read16(line + x * 2);
      bgr[0] = Widen5(v & 31);
      bgr[1] = Widen5((v >> 5) & 31);
      bgr[2] = Widen5((v >> 10) & 31);
      break;
    }
    case 24:
      std::memcpy(bgr, line + x * 3, 3);
      break;
    default:
      std::memcpy(bgr, line + x * 4, 3);
      break;
  }
}

// The pixels `count` of source columns from `column` on, of bottom-up row `row`, as blue,
// green, red. The depth is looked at once per row: a 24-bit row is a plain copy.
void SourceRow(const Source& s, int32_t column, int32_t row, int32_t count, uint8_t* bgr) {
  const int32_t stored = s.topDown ? s.height - 1 - row : row;
  const uint8_t* line = s.pixels + static_cast<size_t>(stored) * s.stride;
  switch (s.bits) {
    case 8:
      for (int32_t i = 0; i < count; ++i, bgr += 3) {
        const uint32_t index = line[column + i];
        if (index >= s.tableSize) {
          bgr[0] = bgr[1] = bgr[2] = 0;
        } else {
          std::memcpy(bgr, s.table + index * 4, 3);
        }
      }
      break;
    case 16:
      for (int32_t i = 0; i < count; ++i, bgr += 3) {
        const uint32_t v = Read16(line + (column + i) * 2);
        bgr[0] = Widen5(v & 31);
        bgr[1] = Widen5((v >> 5) & 31);
        bgr[2] = Widen5((v >> 10) & 31);
      }
      break;
    case 24:
      std::memcpy(bgr, line + static_cast<size_t>(column) * 3, static_cast<size_t>(count) * 3);
      break;
    default:
      for (int32_t i = 0; i < count; ++i, bgr += 3) std::memcpy(bgr, line + (column + i) * 4, 3);
      break;
  }
}

// Nearest-pixel scaling, choosing the very pixels GDI chooses (measured against the Win32
// build pixel by pixel): destination step i of `count` shows source step
// (i * span + bias) / count. The bias, in source steps, differs between growing and
// shrinking and between the two axes; the vertical steps count from the bottom row.
int64_t ColumnBias(int64_t span, int64_t count) {
  return count >= span ? (span - 1) / 2 : span - (count + 1) / 2;
}
int64_t RowBias(int64_t span, int64_t count) {
  return count > span ? span / 2 : span - 1 - count / 2;
}
int32_t Sample(int32_t start, int32_t span, int32_t i, int32_t count, int64_t bias) {
  return start + static_cast<int32_t>((static_cast<int64_t>(i) * span + bias) / count);
}

}  // namespace

OffscreenWindow* CreateOffscreenWindow(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return nullptr;
  auto* window = new (std::nothrow) OffscreenWindow{width, height, {}, {}, nullptr, {}};
  if (window == nullptr) return nullptr;
  try {
    window->surface.assign(static_cast<size_t>(width) * height * 3, 0);
    std::lock_guard<std::mutex> hold(gWindowsLock);
    gWindows.insert(window);
  } catch (const std::exception&) {
    delete window;
    return nullptr;
  }
  return window;
}

void DestroyOffscreenWindow(OffscreenWindow* window) {
  std::lock_guard<std::mutex> hold(gWindowsLock);
  if (!Alive(window)) return;
  gWindows.erase(window);
  delete window;
}

void ClientSize(OffscreenWindow* window, int32_t& width, int32_t& height) {
  std::lock_guard<std::mutex> hold(gWindowsLock);
  width = height = 0;
  if (!Alive(window)) return;
  width = window->width;
  height = window->height;
}

OffscreenContext* GetWindowContext(OffscreenWindow* window) {
  if (window == nullptr) return nullptr;
  return new (std::nothrow) OffscreenContext{window};
}

void ReleaseWindowContext(OffscreenContext* context) { delete context; }

OffscreenPalette* CreatePalette(const uint8_t* colourTable) {
  if (colourTable == nullptr) return nullptr;
  auto* palette = new (std::nothrow) OffscreenPalette;
  if (palette != nullptr) std::memcpy(palette->table, colourTable, sizeof palette->table);
  return palette;
}

void DeletePalette(OffscreenPalette* palette) { delete palette; }

OffscreenPalette* SelectPalette(OffscreenContext* context, OffscreenPalette* palette) {
  if (context == nullptr) return nullptr;
  OffscreenWindow& window = *context->window;
  std::lock_guard<std::mutex> hold(window.lock);
  OffscreenPalette* previous = window.selected;
  window.selected = palette;
  return previous;
}

// A 24-bit surface shows every colour directly, so realising a palette changes no pixel.
void RealizePalette(OffscreenContext*) {}

void SetColorOnColor(OffscreenContext*) {}

int32_t StretchDIBits(OffscreenContext* context, int32_t x, int32_t y, int32_t w, int32_t h,
                      int32_t sx, int32_t sy, int32_t sw, int32_t sh, const void* bits,
                      const void* header) {
  if (context == nullptr) return 0;
  Source s;
  if (!ReadSource(header, bits, s)) return 0;
  // Mirrored blits (negative sizes) are not something the core asks for; refused.
  if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return 0;
  // GDI's count: nothing when the source rectangle misses the image, else every line of the
  // image, however much of it the rectangles and the client area let through.
  if (sx >= s.width || sy >= s.height || static_cast<int64_t>(sx) + sw <= 0 ||
      static_cast<int64_t>(sy) + sh <= 0) {
    return 0;
  }
  OffscreenWindow& window = *context->window;
  std::lock_guard<std::mutex> hold(window.lock);
  // Destination pixels are visited within the client area only, and each one copies its
  // source pixel only when that lies inside the image: clipping to both at once.
  const int32_t left = x < 0 ? 0 : x;
  const int32_t top = y < 0 ? 0 : y;
  const int64_t rightEdge = static_cast<int64_t>(x) + w;
  const int64_t bottomEdge = static_cast<int64_t>(y) + h;
  const int32_t right = rightEdge > window.width ? window.width : static_cast<int32_t>(rightEdge);
  const int32_t bottom =
      bottomEdge > window.height ? window.height : static_cast<int32_t>(bottomEdge);
  if (sw == w && sh == h) {
    // Unscaled, GDI's sampling is a plain shift by (sx - x, sy): every row is one run of
    // source pixels, clipped to the client area and to the image once for the whole blit.
    const int64_t firstInImage = static_cast<int64_t>(x) - sx;
    const int64_t endInImage = firstInImage + s.width;
    const int32_t runLeft = firstInImage > left ? static_cast<int32_t>(firstInImage) : left;
    const int32_t runRight = endInImage < right ? static_cast<int32_t>(endInImage) : right;
    if (runLeft >= runRight) return s.height;
    for (int32_t cy = top; cy < bottom; ++cy) {
      const int64_t row = static_cast<int64_t>(sy) + (bottomEdge - 1 - cy);
      if (row < 0 || row >= s.height) continue;
      uint8_t* line = window.surface.data() + static_cast<size_t>(window.height - 1 - cy) *
                                                  window.width * 3;
      SourceRow(s, static_cast<int32_t>(runLeft - firstInImage), static_cast<int32_t>(row),
                runRight - runLeft, line + static_cast<size_t>(runLeft) * 3);
    }
    return s.height;
  }
  const int64_t columnBias = ColumnBias(sw, w);
  const int64_t rowBias = RowBias(sh, h);
  for (int32_t cy = top; cy < bottom; ++cy) {
    // The destination's bottom row shows the source's row sy: rows count upwards in both.
    const int32_t row = Sample(sy, sh, static_cast<int32_t>(bottomEdge - 1 - cy), h, rowBias);
    if (row < 0 || row >= s.height) continue;
    uint8_t* line = window.surface.data() + static_cast<size_t>(window.height - 1 - cy) *
                                                window.width * 3;
    for (int32_t cx = left; cx < right; ++cx) {
      const int32_t column = Sample(sx, sw, cx - x, w, columnBias);
      if (column < 0 || column >= s.width) continue;
      SourcePixel(s, column, row, line + cx * 3);
    }
  }
  return s.height;
}

bool PostWindowMessage(OffscreenWindow* window, uint32_t message, uintptr_t wParam,
                       intptr_t lParam) {
  std::lock_guard<std::mutex> hold(gWindowsLock);
  if (!Alive(window)) return false;
  std::lock_guard<std::mutex> holdWindow(window->lock);
  try {
    window->queue.push_back(Message{message, wParam, lParam});
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

bool TakePostedMessage(OffscreenWindow* window, uint32_t& message, uintptr_t& wParam,
                       intptr_t& lParam) {
  std::lock_guard<std::mutex> hold(gWindowsLock);
  if (!Alive(window)) return false;
  std::lock_guard<std::mutex> holdWindow(window->lock);
  if (window->queue.empty()) return false;
  const Message m = window->queue.front();
  window->queue.pop_front();
  message = m.message;
  wParam = m.wParam;
  lParam = m.lParam;
  return true;
}

bool ReadWindowPixels(OffscreenWindow* window, uint8_t* pixels) {
  std::lock_guard<std::mutex> hold(gWindowsLock);
  if (!Alive(window) || pixels == nullptr) return false;
  std::lock_guard<std::mutex> holdWindow(window->lock);
  std::memcpy(pixels, window->surface.data(), window->surface.size());
  return true;
}

}  // namespace common
}  // namespace platform
