// The inner loops of the warp engine: the five sampling members and the block and pole passes
// that drive them. Included by warp_engine.h; the passes are templates so that each member's
// span loop is compiled into them without a call per pixel.
//
// A member samples `n` frame pixels along a line of 16.16 picture coordinates starting at
// (u, v) with steps (du, dv): column c = u >> 16, row r = v >> 16 (arithmetic shifts). The
// nearest members find rows through the row offset table (`rows`, row -1 included); the
// smoothing members multiply by the picture's `stride` in pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kvp::warp {

// 8-bit nearest: the palette index.
struct Nearest8 {
  static constexpr int kBytes = 1;
  const uint8_t* base;
  const int32_t* rows;
  void Span(uint8_t* dst, int32_t u, int32_t v, int32_t du, int32_t dv, int n) const {
    const uint8_t* const pixels = base;  // locals: stores through dst may alias the members
    const int32_t* const offsets = rows;
    for (int i = 0; i < n; ++i) {
      dst[i] = pixels[offsets[v >> 16] + (u >> 16)];
      u += du;
      v += dv;
    }
  }
};

// 16-bit nearest: the 5-5-5 pixel unchanged.
struct Nearest16 {
  static constexpr int kBytes = 2;
  const uint8_t* base;
  const int32_t* rows;
  void Span(uint8_t* dst, int32_t u, int32_t v, int32_t du, int32_t dv, int n) const {
    const uint8_t* const pixels = base;
    const int32_t* const offsets = rows;
    for (int i = 0; i < n; ++i) {
      std::memcpy(dst + 2 * i, pixels + 2 * (offsets[v >> 16] + (u >> 16)), 2);
      u += du;
      v += dv;
    }
  }
};

// 24-bit nearest: three bytes. All but the last pixel of a span move four bytes at once (the
// fourth is overwritten by the next pixel), which is why the picture margin has one spare byte
// and why the last pixel is copied exactly: the frame has none.
struct Nearest24 {
  static constexpr int kBytes = 3;
  const uint8_t* base;
  const int32_t* rows;
  void Span(uint8_t* dst, int32_t u, int32_t v, int32_t du, int32_t dv, int n) const {
    const uint8_t* const pixels = base;
    const int32_t* const offsets = rows;
    if (n <= 0) return;
    // v moves linearly, so when the span's ends share a picture row every pixel does: the row
    // is looked up once. Most spans of a view near the horizon are such.
    const int32_t lastV = int32_t(uint32_t(v) + uint32_t(dv) * uint32_t(n - 1));
    if ((lastV >> 16) == (v >> 16) && ((dv >= 0) == (lastV >= v))) {
      const uint8_t* const row = pixels + 3 * ptrdiff_t(offsets[v >> 16]);
      for (int i = 0; i < n - 1; ++i) {
        std::memcpy(dst + 3 * i, row + 3 * (u >> 16), 4);
        u += du;
      }
      std::memcpy(dst + 3 * (n - 1), row + 3 * (u >> 16), 3);
      return;
    }
    for (int i = 0; i < n - 1; ++i) {
      std::memcpy(dst + 3 * i, pixels + 3 * (offsets[v >> 16] + (u >> 16)), 4);
      u += du;
      v += dv;
    }
    std::memcpy(dst + 3 * (n - 1), pixels + 3 * (offsets[v >> 16] + (u >> 16)), 3);
  }
};

// The smoothing members never branch on the half-pixel bits: a clear bit points that
// neighbour back at the pixel itself, so every pixel sums four reads and shifts by 2. Twice
// two pixels shifted by 2 is their average shifted by 1, and four times one pixel is that
// pixel, so the result is bit for bit the 1-, 2- or 4-pixel rule, and only the addresses the
// rule reads are read (a 24-bit read takes one byte more, as Nearest24's do).

// 16-bit half-pixel smoothing: bit 15 of u and of v choose 1, 2 or 4 pixels; 5-5-5 channels
// are summed in place and shifted back. A lone pixel loses its unused top bit.
struct Smooth16 {
  static constexpr int kBytes = 2;
  const uint8_t* base;
  int32_t stride;
  // Green moved to the upper half, away from red and blue, with room for a sum of four.
  static uint32_t Spread(const uint8_t* p) {
    const uint32_t x = uint32_t(p[0]) | uint32_t(p[1]) << 8;
    return (x | x << 16) & 0x03E07C1Fu;
  }
  void Span(uint8_t* dst, int32_t u, int32_t v, int32_t du, int32_t dv, int n) const {
    const uint8_t* const pixels = base;
    const int32_t pitch = stride, up = 2 * stride;
    for (int i = 0; i < n; ++i) {
      const uint8_t* p = pixels + 2 * ((v >> 16) * pitch + (u >> 16));
      const int32_t right = (u >> 15 & 1) * 2, above = (v >> 15 & 1) * up;
      const uint32_t sum = Spread(p) + Spread(p + right) + Spread(p + above) +
                           Spread(p + above + right);
      const uint32_t q = sum >> 2;
      const uint32_t out = (q & 0x7C1Fu) | (q >> 16 & 0x03E0u);
      dst[2 * i] = uint8_t(out);
      dst[2 * i + 1] = uint8_t(out >> 8);
      u += du;
      v += dv;
    }
  }
};

// 24-bit half-pixel smoothing, each byte averaged on its own: bytes 0 and 2 and bytes 1 and 3
// of four-byte reads are summed in 16-bit lanes. All but the last pixel of a span store four
// bytes, as Nearest24 does.
struct Smooth24 {
  static constexpr int kBytes = 3;
  const uint8_t* base;
  int32_t stride;
  static uint32_t Load4(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
  uint32_t Pixel(int32_t u, int32_t v) const {
    const uint8_t* p = base + 3 * ((v >> 16) * stride + (u >> 16));
    const int32_t right = (u >> 15 & 1) * 3, above = (v >> 15 & 1) * 3 * stride;
    const uint32_t a = Load4(p), b = Load4(p + right), c = Load4(p + above),
                   d = Load4(p + above + right);
    const uint32_t even = (a & 0x00FF00FFu) + (b & 0x00FF00FFu) + (c & 0x00FF00FFu) +
                          (d & 0x00FF00FFu);
    const uint32_t odd = (a >> 8 & 0x00FF00FFu) + (b >> 8 & 0x00FF00FFu) +
                         (c >> 8 & 0x00FF00FFu) + (d >> 8 & 0x00FF00FFu);
    return (even >> 2 & 0x00FF00FFu) | (odd << 6 & 0xFF00FF00u);
  }
  void Span(uint8_t* dst, int32_t u, int32_t v, int32_t du, int32_t dv, int n) const {
    const Smooth24 m = *this;  // locals: stores through dst may alias the members
    for (int i = 0; i < n - 1; ++i) {
      const uint32_t out = m.Pixel(u, v);
      uint8_t* o = dst + 3 * i;
      o[0] = uint8_t(out);
      o[1] = uint8_t(out >> 8);
      o[2] = uint8_t(out >> 16);
      o[3] = uint8_t(out >> 24);
      u += du;
      v += dv;
    }
    if (n > 0) {
      const uint32_t out = m.Pixel(u, v);
      uint8_t* o = dst + 3 * (n - 1);
      o[0] = uint8_t(out);
      o[1] = uint8_t(out >> 8);
      o[2] = uint8_t(out >> 16);
    }
  }
};

}  // namespace kvp::warp

namespace kvp {

template <class Member>
void WarpEngine::RunBlockLoop(const Member& member) {
  const int32_t blockRows = frameHeight_ / kWarpBlock;
  PrepareRowRays(blockRows + 1);
  const int32_t parts = SplitParts(blockRows);
  if (parts <= 1) {
    DrawBlockRows(member, 0, blockRows, *scratch_[0]);
    return;
  }
  struct Split {
    const WarpEngine* engine;
    const Member* member;
    int32_t blockRows;
  } split{this, &member, blockRows};
  workers_->Run(
      [](void* context, int32_t part, int32_t parts) {
        const Split& s = *static_cast<const Split*>(context);
        s.engine->DrawBlockRows(*s.member, s.blockRows * part / parts,
                                s.blockRows * (part + 1) / parts, *s.engine->scratch_[size_t(part)]);
      },
      &split, parts);
}

// Block rows firstRow .. endRow - 1. Each corner row depends only on its ray, so a part that
// starts mid-frame evaluates the corner row below it again and gets the same corners.
template <class Member>
void WarpEngine::DrawBlockRows(const Member& member, int32_t firstRow, int32_t endRow,
                               BlockScratch& scratch) const {
  const int32_t columns = frameWidth_ / kWarpBlock;
  const Fixed16 seamHigh = (pictureW_ / 2) * 65536;
  const Fixed16 seamLow = (pictureW_ / 4) * 65536;
  const Fixed16 turn = pictureW_ * 65536;
  const size_t rowBytes = size_t(frameWidth_) * Member::kBytes;
  Corner* const cornerRow = scratch.cornerRow;
  BlockCorners* const blocks = scratch.blocks;
  Edges* const edges = scratch.edges;
  Edges* const edgeSteps = scratch.edgeSteps;

  if (firstRow >= endRow) return;
  EvaluateCornerRow(rowRays_[size_t(firstRow)], columns + 1, cornerRow);
  for (int32_t row = firstRow; row < endRow; ++row) {
    for (int32_t j = 0; j < columns; ++j) {
      blocks[j].left = cornerRow[j];
      blocks[j].right = cornerRow[j + 1];
    }
    EvaluateCornerRow(rowRays_[size_t(row) + 1], columns + 1, cornerRow);
    for (int32_t j = 0; j < columns; ++j) {
      BlockCorners& b = blocks[j];
      b.nextLeft = cornerRow[j];
      b.nextRight = cornerRow[j + 1];
      // A block that straddles the seam interpolates across it with columns beyond W.
      if (b.left.u > seamHigh || b.right.u > seamHigh || b.nextLeft.u > seamHigh ||
          b.nextRight.u > seamHigh) {
        for (Corner* c : {&b.left, &b.right, &b.nextLeft, &b.nextRight}) {
          if (c->u < seamLow) c->u += turn;
        }
      }
      edges[j] = Edges{b.left.u, b.left.v, b.right.u, b.right.v};
      edgeSteps[j] = Edges{(b.nextLeft.u - b.left.u) >> kWarpBlockShift,
                           (b.nextLeft.v - b.left.v) >> kWarpBlockShift,
                           (b.nextRight.u - b.right.u) >> kWarpBlockShift,
                           (b.nextRight.v - b.right.v) >> kWarpBlockShift};
    }
    uint8_t* out = frame_ + size_t(row) * kWarpBlock * rowBytes;
    for (int line = 0; line < kWarpBlock; ++line) {
      for (int32_t j = 0; j < columns; ++j) {
        Edges& e = edges[j];
        member.Span(out, e.leftU, e.leftV, (e.rightU - e.leftU) >> kWarpBlockShift,
                    (e.rightV - e.leftV) >> kWarpBlockShift, kWarpBlock);
        out += kWarpBlock * Member::kBytes;
        const Edges& d = edgeSteps[j];
        e.leftU += d.leftU;
        e.leftV += d.leftV;
        e.rightU += d.rightU;
        e.rightV += d.rightV;
      }
    }
  }
}

template <class Member>
void WarpEngine::PolePass(const Member& nearest) {
  const int32_t w = frameWidth_, h = frameHeight_;
  for (const double polePitch : {-90.0, 90.0}) {
    double x = 0, y = 0;
    if (!DirectionToScreen(heading_, pitch_, roll_, focalLength_, xOffset_, yOffset_, 0.0,
                           polePitch, x, y)) {
      continue;  // behind the viewer
    }
    // A pole far off the frame (or a NaN camera) gives no window; the clamp also keeps the
    // conversion to int defined.
    if (!(x > -1e6 && x < 1e6 && y > -1e6 && y < 1e6)) continue;
    const int32_t cx = w / 2 + int32_t(x), cy = h / 2 + int32_t(y);
    int32_t x0 = cx - cx % kPoleCell - kPoleWindow / 2;
    int32_t y0 = cy - cy % kPoleCell - kPoleWindow / 2;
    int32_t x1 = x0 + kPoleWindow, y1 = y0 + kPoleWindow;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > w) x1 = w;
    if (y1 > h) y1 = h;
    for (int32_t cellX = x0; cellX < x1; cellX += kPoleCell) {
      for (int32_t cellY = y0; cellY < y1; cellY += kPoleCell) {
        Corner ul, ur, ll, lr;
        ScreenToImage(cellX, cellY + kPoleCell, ul.u, ul.v);
        ScreenToImage(cellX + kPoleCell, cellY + kPoleCell, ur.u, ur.v);
        ScreenToImage(cellX, cellY, ll.u, ll.v);
        ScreenToImage(cellX + kPoleCell, cellY, lr.u, lr.v);
        Subdivide(nearest, cellX, cellY, kPoleCell, kPoleCellShift, ul, ur, ll, lr);
      }
    }
  }
}

template <class Member>
void WarpEngine::Subdivide(const Member& m, int32_t x, int32_t y, int32_t s, int k, Corner ul,
                           Corner ur, Corner ll, Corner lr) {
  uint8_t* frame = frame_;
  if (s == 1) {
    m.Span(frame + (size_t(y) * frameWidth_ + x) * Member::kBytes, ll.u, ll.v, 0, 0, 1);
    return;
  }
  const double e = pictureHm_ * kPoleSplitFactor / (focalLength_ * focalLength_);
  const Fixed16 vLow = TruncateToFixed(e * 65536), vHigh = TruncateToFixed((pictureHm_ - e) * 65536);
  const Fixed16 uHalf = (pictureW_ / 2) * 65536, uQuarter = (pictureW_ / 4) * 65536;
  const Fixed16 uHigh = ((3 * pictureW_) / 2) * 65536;
  const Corner c[4] = {ul, ur, ll, lr};

  bool split = s > kPoleCell;
  if (!split && s > kPoleCell / 2) {
    for (const Corner& q : c) split = split || q.v > vHigh || q.v < vLow;
  }
  if (!split) {
    bool anyHigh = false, anyLow = false;
    for (const Corner& q : c) {
      anyHigh = anyHigh || q.u > uHalf;
      anyLow = anyLow || q.u <= uQuarter;
    }
    split = anyHigh && anyLow;
  }
  if (!split) {
    bool allAboveHalf = true, allBelowHigh = true;
    for (const Corner& q : c) {
      allAboveHalf = allAboveHalf && q.u >= uHalf;
      allBelowHigh = allBelowHigh && q.u < uHigh;
    }
    if (allAboveHalf || allBelowHigh) {
      DrawCell(m, x, y, s, k, ul, ur, ll, lr);
      return;
    }
  }
  const int32_t half = s / 2;
  Corner top, left, centre, right, bottom;
  ScreenToImage(x + half, y + s, top.u, top.v);
  ScreenToImage(x, y + half, left.u, left.v);
  ScreenToImage(x + half, y + half, centre.u, centre.v);
  ScreenToImage(x + s, y + half, right.u, right.v);
  ScreenToImage(x + half, y, bottom.u, bottom.v);
  Subdivide(m, x, y, half, k - 1, left, centre, ll, bottom);
  Subdivide(m, x + half, y, half, k - 1, centre, right, bottom, lr);
  Subdivide(m, x, y + half, half, k - 1, ul, top, left, centre);
  Subdivide(m, x + half, y + half, half, k - 1, top, ur, centre, right);
}

template <class Member>
void WarpEngine::DrawCell(const Member& m, int32_t x, int32_t y, int32_t s, int k, Corner ul,
                          Corner ur, Corner ll, Corner lr) {
  Fixed16 leftU = ll.u, leftV = ll.v, rightU = lr.u, rightV = lr.v;
  const Fixed16 leftStepU = (ul.u - ll.u) >> k, leftStepV = (ul.v - ll.v) >> k;
  const Fixed16 rightStepU = (ur.u - lr.u) >> k, rightStepV = (ur.v - lr.v) >> k;
  for (int32_t row = 0; row < s; ++row) {
    uint8_t* out = frame_ + (size_t(y + row) * frameWidth_ + x) * Member::kBytes;
    m.Span(out, leftU, leftV, (rightU - leftU) >> k, (rightV - leftV) >> k, s);
    leftU += leftStepU;
    leftV += leftStepV;
    rightU += rightStepU;
    rightV += rightStepV;
  }
}

}  // namespace kvp
