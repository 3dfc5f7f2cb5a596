// Authoring: sprite picture files (".avt"), plain or "dkrl" run-length, from a decoded picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/packed_image.h"
#include "tools/authoring/picture_io.h"

namespace kvp::authoring {

// How a sprite picture is stored. The viewer takes 8, 24 or 32 bits uncompressed, or 8 bits
// as "dkrl" runs. The sheet holds `columns` x `rows` animation cells of equal size; the two
// counts go where a bitmap keeps its resolution.
struct SpriteFormat {
  uint16_t bits = 24;
  bool runLength = false;  // only with 8 bits
  int32_t columns = 1;
  int32_t rows = 1;
};

// The packed sprite picture, uncompressed. Transparency by depth, as the renderer draws it:
// 8 bits keeps index 0 for pixels whose alpha is below 128 (the renderer's colour key) and
// quantises the rest to entries 1..255; 24 bits lays every pixel over black; 32 bits keeps
// the alpha as the fourth byte (blue, green, red, alpha), which the renderer blends with.
// On failure (bad depth, picture too large, cells that do not divide the picture) returns
// false with a one-line reason.
bool PackSprite(const Picture& picture, const SpriteFormat& format, PackedImage& out,
                std::string* error);

// Codes an uncompressed 8-bit packed image as "dkrl": header and colour table, then (length,
// index) pairs of at most 255 pixels each, running on across rows. The image-size field
// counts the colour table and the pairs. Returns an empty image when `image` is not an
// uncompressed, complete 8-bit picture.
PackedImage EncodeRunLength(const PackedImageView& image);

// The whole ".avt" file: the 14-byte "BM" header whose file size covers everything, then the
// packed image.
std::vector<uint8_t> BuildSpriteFile(const PackedImage& image);

}  // namespace kvp::authoring
