// The "HSPT" block of a panorama container: hot spots given as heading/pitch rectangles,
// turned into boxes in the world.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/byte_reader.h"

namespace kvp {

// Longest link text kept; a longer one is cut.
constexpr size_t kMaxHotspotLink = 2047;

struct HotspotEntry {
  float h1 = 0, p1 = 0, h2 = 0, p2 = 0;  // degrees, as stored
  std::string link;
  double centre[3] = {0, 0, 0};  // world units
  double size[3] = {0, 0, 0};    // edge lengths
};

// The axis-aligned box around the four corner directions of a heading/pitch rectangle on a
// sphere of radius 10 about the origin, computed in single precision.
void HotspotBox(float h1, float p1, float h2, float p2, double centre[3], double size[3]);

// Parses a block's bytes (count byte, then the entries). Never reads past `length`: an entry
// whose four angles are cut off ends the list, a link without its NUL ends at the block's
// end, and links are cut to kMaxHotspotLink characters.
std::vector<HotspotEntry> ParseHotspotBlock(const uint8_t* block, size_t length);

// Finds the "HSPT" block of a container and parses it; bitmap files and unknown files have
// none. The block is read only as far as the data reach.
std::vector<HotspotEntry> ReadHotspots(ByteReader& reader);

}  // namespace kvp
