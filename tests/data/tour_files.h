// Test helper: small panorama files and description files for environment-set tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/packed_image.h"
#include "tools/authoring/writer.h"

namespace kvp::test {

// An 8-bit packed image whose every pixel is `value` (8 bits never needs a depth reduction on
// any display, so both builds deliver the same bytes).
inline PackedImage FlatImage(int32_t width, int32_t height, uint8_t value) {
  std::vector<uint8_t> table(kColourTableSize);
  for (size_t i = 0; i < table.size(); ++i) table[i] = uint8_t(i / 4);
  std::vector<uint8_t> pixels(size_t(width) * size_t(height), value);
  return authoring::MakePackedImage(width, height, 8, pixels, table);
}

// The same with row r filled with `value` + r, to see where rows land.
inline PackedImage RowImage(int32_t width, int32_t height, uint8_t value) {
  std::vector<uint8_t> table(kColourTableSize, 0);
  std::vector<uint8_t> pixels(size_t(width) * size_t(height));
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) pixels[size_t(r) * size_t(width) + size_t(c)] = uint8_t(value + r);
  }
  return authoring::MakePackedImage(width, height, 8, pixels, table);
}

// A container holding `image` (and, when `padding` > 0, an extra block of that many bytes).
inline std::vector<uint8_t> Container(const PackedImage& image, size_t padding = 0) {
  std::vector<authoring::Block> blocks{{"BTMP", image.bytes}};
  if (padding > 0) blocks.push_back({"JUNK", std::vector<uint8_t>(padding, 0x5A)});
  return authoring::BuildContainer(blocks);
}

}  // namespace kvp::test
