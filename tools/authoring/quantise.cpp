// Median-cut colour reduction and nearest-colour mapping for 8-bit panoramas.
#include "tools/authoring/quantise.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdlib>

namespace kvp::authoring {

namespace {

uint32_t PackRgb(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }

// Collects the distinct colours while there are at most `limit` of them; returns false as
// soon as there are more. Most pictures give up within a few rows, so this costs little
// before the histogram path.
bool CollectDistinct(const uint8_t* rgb, size_t pixelCount, size_t limit,
                     std::vector<uint32_t>& colours) {
  // Open addressing with key + 1 so that 0 marks a free slot; at least four times the limit
  // keeps probes short.
  int bits = 4;
  while ((size_t(1) << bits) < limit * 4) ++bits;
  const size_t slots = size_t(1) << bits;
  std::vector<uint32_t> table(slots, 0);
  colours.clear();
  uint32_t previous = UINT32_MAX;
  for (size_t i = 0; i < pixelCount; ++i) {
    const uint32_t key = PackRgb(rgb + i * 3);
    if (key == previous) continue;  // runs of one colour are the common case
    previous = key;
    // Fibonacci hashing: the high bits of the product mix all three channels.
    size_t slot = (key * 2654435761u) >> (32 - bits);
    while (table[slot] != 0 && table[slot] != key + 1) slot = (slot + 1) & (slots - 1);
    if (table[slot] != 0) continue;
    if (colours.size() == limit) return false;
    table[slot] = key + 1;
    colours.push_back(key);
  }
  std::sort(colours.begin(), colours.end());
  return true;
}

// Colours are gathered into cells of 5 bits per channel: the 32768 cells stay in cache, and
// finer cells were measured to buy almost nothing. The cells keep the exact sums so that the
// palette means and the error estimates are those of the real pixels.
constexpr int kCellBits = 5;
constexpr int kCellShift = 8 - kCellBits;

struct Cell {
  uint32_t key = 0;  // cell coordinates, red high
  uint64_t count = 0;
  uint64_t sum[3] = {0, 0, 0};
  uint64_t squares[3] = {0, 0, 0};
  int Coordinate(int channel) const {
    return int(key >> ((2 - channel) * kCellBits)) & ((1 << kCellBits) - 1);
  }
};

struct Totals {
  uint64_t count = 0;
  uint64_t sum[3] = {0, 0, 0};
  uint64_t squares[3] = {0, 0, 0};

  void Add(const Cell& c) {
    count += c.count;
    for (int k = 0; k < 3; ++k) {
      sum[k] += c.sum[k];
      squares[k] += c.squares[k];
    }
  }
  double ChannelError(int k) const {
    if (count == 0) return 0;
    const double s = double(sum[k]);
    return double(squares[k]) - s * s / double(count);
  }
  double Error() const { return ChannelError(0) + ChannelError(1) + ChannelError(2); }
};

Totals Sum(const std::vector<Cell>& cells, size_t begin, size_t end) {
  Totals t;
  for (size_t i = begin; i < end; ++i) t.Add(cells[i]);
  return t;
}

struct Box {
  size_t begin, end;  // range of cells
  Totals totals;
  double error;
};

std::vector<Cell> BuildCells(const uint8_t* rgb, size_t pixelCount) {
  std::vector<Cell> grid(size_t(1) << (3 * kCellBits));
  for (size_t i = 0; i < pixelCount; ++i) {
    const uint8_t* p = rgb + i * 3;
    const uint32_t key = uint32_t(p[0] >> kCellShift) << (2 * kCellBits) |
                         uint32_t(p[1] >> kCellShift) << kCellBits | uint32_t(p[2] >> kCellShift);
    Cell& cell = grid[key];
    cell.count++;
    for (int k = 0; k < 3; ++k) {
      cell.sum[k] += p[k];
      cell.squares[k] += uint32_t(p[k]) * p[k];
    }
  }
  std::vector<Cell> cells;
  for (uint32_t key = 0; key < grid.size(); ++key) {
    if (grid[key].count == 0) continue;
    grid[key].key = key;
    cells.push_back(grid[key]);
  }
  return cells;
}

// Splits `box` along its channel of largest error at the cut that leaves the least total
// error in the two halves: plain median cut splits at the pixel median, which wastes entries
// on large flat areas such as sky.
void SplitBox(std::vector<Cell>& cells, const Box& box, Box& low, Box& high) {
  int axis = 0;
  for (int k = 1; k < 3; ++k)
    if (box.totals.ChannelError(k) > box.totals.ChannelError(axis)) axis = k;
  std::sort(cells.begin() + ptrdiff_t(box.begin), cells.begin() + ptrdiff_t(box.end),
            [axis](const Cell& a, const Cell& b) {
              const int ca = a.Coordinate(axis), cb = b.Coordinate(axis);
              return ca != cb ? ca < cb : a.key < b.key;
            });

  Totals left;
  size_t bestCut = box.begin + 1;
  double bestError = -1;
  for (size_t cut = box.begin + 1; cut < box.end; ++cut) {
    left.Add(cells[cut - 1]);
    Totals right;
    right.count = box.totals.count - left.count;
    for (int k = 0; k < 3; ++k) {
      right.sum[k] = box.totals.sum[k] - left.sum[k];
      right.squares[k] = box.totals.squares[k] - left.squares[k];
    }
    const double error = left.Error() + right.Error();
    if (bestError < 0 || error < bestError) {
      bestError = error;
      bestCut = cut;
    }
  }
  low.begin = box.begin;
  low.end = bestCut;
  low.totals = Sum(cells, low.begin, low.end);
  low.error = low.totals.Error();
  high.begin = bestCut;
  high.end = box.end;
  high.totals = Sum(cells, high.begin, high.end);
  high.error = high.totals.Error();
}

std::vector<PaletteColour> MedianCut(const uint8_t* rgb, size_t pixelCount, int maxColours) {
  std::vector<Cell> cells = BuildCells(rgb, pixelCount);
  std::vector<Box> boxes;
  Box all{0, cells.size(), Sum(cells, 0, cells.size()), 0};
  all.error = all.totals.Error();
  boxes.push_back(all);
  while (int(boxes.size()) < maxColours) {
    size_t chosen = SIZE_MAX;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].end - boxes[i].begin < 2) continue;
      if (chosen == SIZE_MAX || boxes[i].error > boxes[chosen].error) chosen = i;
    }
    if (chosen == SIZE_MAX) break;  // every box is a single cell
    Box low, high;
    SplitBox(cells, boxes[chosen], low, high);
    boxes[chosen] = low;
    boxes.push_back(high);
  }

  std::vector<PaletteColour> palette;
  palette.reserve(boxes.size());
  for (const Box& box : boxes) {
    const uint64_t n = box.totals.count;
    const uint64_t half = n / 2;
    palette.push_back({uint8_t((box.totals.sum[0] + half) / n),
                       uint8_t((box.totals.sum[1] + half) / n),
                       uint8_t((box.totals.sum[2] + half) / n)});
  }
  return palette;
}

}  // namespace

namespace {

constexpr int kIndexCellBits = 4;
constexpr int kIndexCellSide = 256 >> kIndexCellBits;

// Squared distance along one channel from `v` to the nearest and to the farthest value of
// the cell [low, low + side - 1].
int NearSquare(int v, int low) {
  const int high = low + kIndexCellSide - 1;
  const int d = v < low ? low - v : v > high ? v - high : 0;
  return d * d;
}

int FarSquare(int v, int low) {
  const int d = std::max(std::abs(v - low), std::abs(v - (low + kIndexCellSide - 1)));
  return d * d;
}

}  // namespace

PaletteIndex::PaletteIndex(const std::vector<PaletteColour>& palette) : palette_(palette) {
  assert(!palette.empty() && palette.size() <= 256);
  constexpr int cells = 1 << (3 * kIndexCellBits);
  cellStart_.reserve(cells + 1);
  std::vector<int> near(palette.size());
  for (int cell = 0; cell < cells; ++cell) {
    const int r0 = (cell >> (2 * kIndexCellBits)) * kIndexCellSide;
    const int g0 = ((cell >> kIndexCellBits) & ((1 << kIndexCellBits) - 1)) * kIndexCellSide;
    const int b0 = (cell & ((1 << kIndexCellBits) - 1)) * kIndexCellSide;
    // Every colour in the cell lies within `bound` of some entry, so an entry that is farther
    // than that from the whole cell can never be nearest, nor tie with the nearest.
    int bound = INT_MAX;
    for (size_t i = 0; i < palette.size(); ++i) {
      const PaletteColour& c = palette[i];
      near[i] = NearSquare(c.r, r0) + NearSquare(c.g, g0) + NearSquare(c.b, b0);
      bound = std::min(bound, FarSquare(c.r, r0) + FarSquare(c.g, g0) + FarSquare(c.b, b0));
    }
    cellStart_.push_back(uint32_t(candidates_.size()));
    for (size_t i = 0; i < palette.size(); ++i)
      if (near[i] <= bound) candidates_.push_back(uint8_t(i));
  }
  cellStart_.push_back(uint32_t(candidates_.size()));
}

uint8_t PaletteIndex::Nearest(uint8_t r, uint8_t g, uint8_t b) const {
  constexpr int shift = 8 - kIndexCellBits;
  const size_t cell = size_t(r >> shift) << (2 * kIndexCellBits) |
                      size_t(g >> shift) << kIndexCellBits | size_t(b >> shift);
  int best = INT_MAX;
  uint8_t bestIndex = 0;
  // Candidates run in ascending index order, so keeping the first strict minimum resolves
  // ties to the lowest index.
  for (uint32_t k = cellStart_[cell]; k < cellStart_[cell + 1]; ++k) {
    const PaletteColour& c = palette_[candidates_[k]];
    const int dr = c.r - r, dg = c.g - g, db = c.b - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      bestIndex = candidates_[k];
    }
  }
  return bestIndex;
}

QuantisedPicture Quantise(const uint8_t* rgb, size_t pixelCount, int maxColours) {
  assert(maxColours >= 1 && maxColours <= 256);
  maxColours = std::clamp(maxColours, 1, 256);
  QuantisedPicture result;
  if (pixelCount == 0) return result;

  std::vector<uint32_t> distinct;
  if (CollectDistinct(rgb, pixelCount, size_t(maxColours), distinct)) {
    for (uint32_t c : distinct)
      result.palette.push_back({uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
  } else {
    result.palette = MedianCut(rgb, pixelCount, maxColours);
  }

  const PaletteIndex index(result.palette);
  result.indices.resize(pixelCount);
  uint32_t previous = UINT32_MAX;
  uint8_t previousIndex = 0;
  for (size_t i = 0; i < pixelCount; ++i) {
    const uint8_t* p = rgb + i * 3;
    const uint32_t key = PackRgb(p);
    if (key != previous) {
      previous = key;
      previousIndex = index.Nearest(p[0], p[1], p[2]);
    }
    result.indices[i] = previousIndex;
  }
  return result;
}

}  // namespace kvp::authoring
