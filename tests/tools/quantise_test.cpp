// Colour reduction: exact palettes for few colours, small error for many, exact nearest lookup.
#include "tools/authoring/quantise.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace kvp::authoring {
namespace {

// A small deterministic generator, so that the pictures are the same on every target.
struct Lcg {
  uint32_t state;
  uint8_t Next() {
    state = state * 1664525u + 1013904223u;
    return uint8_t(state >> 24);
  }
};

std::vector<uint8_t> Gradient(int width, int height) {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      rgb.push_back(uint8_t(x * 255 / (width - 1)));
      rgb.push_back(uint8_t(y * 255 / (height - 1)));
      rgb.push_back(uint8_t((x + y) * 255 / (width + height - 2)));
    }
  return rgb;
}

double MeanError(const std::vector<uint8_t>& rgb, const QuantisedPicture& q) {
  double total = 0;
  for (size_t i = 0; i < q.indices.size(); ++i) {
    const PaletteColour& c = q.palette[q.indices[i]];
    total += std::abs(c.r - rgb[i * 3]) + std::abs(c.g - rgb[i * 3 + 1]) +
             std::abs(c.b - rgb[i * 3 + 2]);
  }
  return total / double(q.indices.size() * 3);
}

void ExpectIndicesInRange(const QuantisedPicture& q) {
  for (uint8_t index : q.indices) ASSERT_LT(index, q.palette.size());
}

TEST(Quantise, KeepsUpTo256ColoursExactly) {
  for (int colours : {1, 37, 256}) {
    Lcg random{uint32_t(colours)};
    std::vector<uint8_t> swatch;
    std::set<std::vector<uint8_t>> seen;
    while (int(seen.size()) < colours) {
      std::vector<uint8_t> c = {random.Next(), random.Next(), random.Next()};
      if (seen.insert(c).second) swatch.insert(swatch.end(), c.begin(), c.end());
    }
    // Each colour repeated in runs and scattered, as in a real picture.
    std::vector<uint8_t> rgb;
    for (int i = 0; i < 4000; ++i) {
      const size_t pick = size_t(random.Next() % colours) * 3;
      rgb.insert(rgb.end(), swatch.begin() + ptrdiff_t(pick), swatch.begin() + ptrdiff_t(pick) + 3);
    }
    const QuantisedPicture q = Quantise(rgb.data(), rgb.size() / 3);
    ASSERT_EQ(q.palette.size(), size_t(colours));
    ASSERT_EQ(q.indices.size(), rgb.size() / 3);
    ExpectIndicesInRange(q);
    for (size_t i = 0; i < q.indices.size(); ++i) {
      const PaletteColour& c = q.palette[q.indices[i]];
      ASSERT_EQ(c, (PaletteColour{rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]})) << "pixel " << i;
    }
  }
}

TEST(Quantise, GradientGetsAFullPaletteAndSmallError) {
  const std::vector<uint8_t> rgb = Gradient(512, 256);
  const QuantisedPicture q = Quantise(rgb.data(), rgb.size() / 3);
  EXPECT_EQ(q.palette.size(), 256u);
  ExpectIndicesInRange(q);
  EXPECT_LT(MeanError(rgb, q), 4.5);  // 256 cells over a 256x256 sheet: about 4 at best

  // The same pixels give the same palette and indices.
  const QuantisedPicture again = Quantise(rgb.data(), rgb.size() / 3);
  EXPECT_EQ(again.palette, q.palette);
  EXPECT_EQ(again.indices, q.indices);
}

TEST(Quantise, HonoursASmallerLimitOnNoise) {
  Lcg random{7};
  std::vector<uint8_t> rgb(30000);
  for (uint8_t& v : rgb) v = random.Next();
  const QuantisedPicture q = Quantise(rgb.data(), rgb.size() / 3, 16);
  EXPECT_EQ(q.palette.size(), 16u);
  ExpectIndicesInRange(q);
  // Sixteen colours for uniform noise: far from exact, but far better than one grey.
  EXPECT_LT(MeanError(rgb, q), 40.0);
}

TEST(PaletteIndex, AgreesWithExhaustiveSearchIncludingTies) {
  Lcg random{42};
  std::vector<PaletteColour> palette;
  for (int i = 0; i < 200; ++i)
    palette.push_back({uint8_t(random.Next() & 0xF0), uint8_t(random.Next() & 0xF0),
                       uint8_t(random.Next() & 0xF0)});
  // Coarse values make duplicates and equal distances common: ties must go to the lowest index.
  palette.push_back(palette[3]);
  const PaletteIndex index(palette);
  for (int n = 0; n < 20000; ++n) {
    const uint8_t r = random.Next(), g = random.Next() & 0xF8, b = random.Next();
    int best = -1, bestDistance = 0;
    for (size_t i = 0; i < palette.size(); ++i) {
      const int dr = palette[i].r - r, dg = palette[i].g - g, db = palette[i].b - b;
      const int d = dr * dr + dg * dg + db * db;
      if (best < 0 || d < bestDistance) {
        best = int(i);
        bestDistance = d;
      }
    }
    ASSERT_EQ(index.Nearest(r, g, b), best) << int(r) << "," << int(g) << "," << int(b);
  }
}

}  // namespace
}  // namespace kvp::authoring
