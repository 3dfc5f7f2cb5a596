// Sprite picture files: a 14-byte file header, then a packed image ("dkrl" run-length, or
// uncompressed 8, 24 or 32 bits), read into the packed image that sprites are drawn from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kvp {

// A packed image: the information header, for 8 bits a full 256-entry colour table, pixels.
struct SpritePicture {
  std::unique_ptr<uint8_t[]> bytes;  // null: nothing was read
  size_t length = 0;
};

// Reads a sprite picture file. Every size the file states is checked against what the file
// holds before it is used. Returns an empty picture for anything unreadable, cut short or
// unsupported. An 8-bit picture stored with a short colour table gets the full 256 entries
// (the missing ones black).
SpritePicture ReadSpritePicture(const char* fileName);

}  // namespace kvp
