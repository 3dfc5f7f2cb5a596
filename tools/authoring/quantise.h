// Colour reduction for 8-bit panoramas: a median-cut palette of up to 256 colours and the
// nearest palette entry for every pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvp::authoring {

struct PaletteColour {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const PaletteColour& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct QuantisedPicture {
  std::vector<PaletteColour> palette;  // 1..maxColours entries (none for an empty picture)
  std::vector<uint8_t> indices;        // one per pixel, each < palette.size()
};

// Reduces `pixelCount` pixels given as red, green, blue byte triples to at most `maxColours`
// (1..256) colours. A picture with no more distinct colours than that keeps them exactly
// (palette in ascending red, green, blue order); otherwise boxes of colour space are split
// where the squared error falls most and each palette entry is the mean of its box. Every
// pixel then gets its nearest entry (squared RGB distance, lowest index on a tie).
// Deterministic: the same pixels always give the same result, on every target.
QuantisedPicture Quantise(const uint8_t* rgb, size_t pixelCount, int maxColours = 256);

// Nearest-entry lookup over a fixed palette, exact and fast enough for millions of distinct
// colours. Colour space is cut into 16x16x16 cells; each cell lists only the entries that can
// be nearest to some colour inside it, so a lookup scans a handful of entries, not all 256.
class PaletteIndex {
 public:
  explicit PaletteIndex(const std::vector<PaletteColour>& palette);
  // Index of the nearest entry (squared RGB distance); ties go to the lowest index.
  uint8_t Nearest(uint8_t r, uint8_t g, uint8_t b) const;

 private:
  std::vector<PaletteColour> palette_;
  std::vector<uint32_t> cellStart_;  // 4097 offsets into candidates_
  std::vector<uint8_t> candidates_;  // per cell, ascending index
};

}  // namespace kvp::authoring
