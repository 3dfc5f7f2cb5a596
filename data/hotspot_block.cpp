// The "HSPT" block: hot-spot rectangles in heading and pitch, turned into world boxes.
#include "data/hotspot_block.h"

#include <algorithm>
#include <cmath>

#include "data/container.h"
#include "data/packed_image.h"

namespace kvp {

void HotspotBox(float h1, float p1, float h2, float p2, double centre[3], double size[3]) {
  // Single precision throughout, as the stored angles are; the results widen to double.
  const float k = static_cast<float>(2.0 * std::acos(0.0) / 180.0);
  const float a = -h1 * k;
  const float b = p1 * k;
  const float c = -h2 * k;
  const float d = p2 * k;

  const float x[4] = {std::sin(c) * std::cos(b), std::sin(a) * std::cos(b),
                      std::sin(c) * std::cos(d), std::sin(a) * std::cos(d)};
  const float y[4] = {std::cos(a) * std::cos(b), std::cos(c) * std::cos(b),
                      std::cos(c) * std::cos(d), std::cos(a) * std::cos(d)};
  const float z[2] = {std::sin(d), std::sin(b)};

  const auto place = [&](const float* v, int n, int axis) {
    const float hi = *std::max_element(v, v + n);
    const float lo = *std::min_element(v, v + n);
    centre[axis] = (hi + lo) * 5.0f;
    size[axis] = (hi - lo) * 10.0f;
  };
  place(x, 4, 0);
  place(y, 4, 1);
  place(z, 2, 2);
}

std::vector<HotspotEntry> ParseHotspotBlock(const uint8_t* block, size_t length) {
  std::vector<HotspotEntry> entries;
  if (block == nullptr || length == 0) return entries;
  const unsigned count = block[0];
  size_t pos = 1;
  for (unsigned i = 0; i < count; ++i) {
    if (length - pos < 16) break;  // the angles of this entry are cut off
    HotspotEntry e;
    e.h1 = LoadF32(block + pos);
    e.p1 = LoadF32(block + pos + 4);
    e.h2 = LoadF32(block + pos + 8);
    e.p2 = LoadF32(block + pos + 12);
    pos += 16;
    const size_t start = pos;
    while (pos < length && block[pos] != 0) ++pos;
    e.link.assign(reinterpret_cast<const char*>(block + start),
                  std::min(pos - start, kMaxHotspotLink));
    if (pos < length) ++pos;  // the NUL
    HotspotBox(e.h1, e.p1, e.h2, e.p2, e.centre, e.size);
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<HotspotEntry> ReadHotspots(ByteReader& reader) {
  const uint32_t length = LocateBlock(reader, "HSPT");
  if (length == 0) return {};
  // Never more than the longest block that can mean anything, nor more than the data hold.
  constexpr uint32_t kLongestBlock = 1 + 255 * (16 + kMaxHotspotLink + 1);
  const uint32_t at = reader.Tell();
  const uint32_t size = reader.Size();
  const uint32_t available = at < size ? size - at : 0;
  std::vector<uint8_t> block(std::min({length, available, kLongestBlock}));
  block.resize(reader.Read(block.data(), static_cast<uint32_t>(block.size())));
  return ParseHotspotBlock(block.data(), block.size());
}

}  // namespace kvp
