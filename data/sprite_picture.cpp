// Reading sprite picture files: the file header, the packed image it announces, run-length
// expansion and the widening of short colour tables.
#include "data/sprite_picture.h"

#include <cstring>
#include <new>

#include "data/byte_reader.h"
#include "data/container.h"
#include "data/packed_image.h"
#include "platform/platform.h"

namespace kvp {

namespace {

std::unique_ptr<uint8_t[]> Allocate(size_t bytes) {
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]);
}

// An uncompressed 8-bit picture stored with a short colour table gets the full 256 entries
// the renderer and the colour matching index by (the missing entries are black); the pixels
// move up behind the longer table. `table` is the stored entry count, 1..255.
SpritePicture WidenColourTable(const uint8_t* stored, uint32_t table, uint64_t pixelBytes) {
  SpritePicture out;
  const size_t length = kInfoHeaderSize + kColourTableSize + size_t(pixelBytes);
  out.bytes = Allocate(length);
  if (!out.bytes) return out;
  uint8_t* p = out.bytes.get();
  std::memcpy(p, stored, kInfoHeaderSize + 4 * table);
  std::memset(p + kInfoHeaderSize + 4 * table, 0, kColourTableSize - 4 * table);
  std::memcpy(p + kInfoHeaderSize + kColourTableSize, stored + kInfoHeaderSize + 4 * table,
              size_t(pixelBytes));
  BitmapInfoHeader h = ReadInfoHeader(p);
  h.clrUsed = 256;
  WriteInfoHeader(p, h);
  out.length = length;
  return out;
}

}  // namespace

SpritePicture ReadSpritePicture(const char* fileName) {
  SpritePicture none;
  OpenedFile file(fileName);
  if (file.get() == nullptr) return none;

  uint8_t head[kFileHeaderSize + kInfoHeaderSize];
  if (platform::ReadFile(file.get(), head, sizeof head) != sizeof head) return none;
  const uint32_t fileSize = LoadU32(head + 2);  // the whole file, as its header tells it
  // A file shorter than it claims is cut; a claim shorter than two headers is nonsense. Both
  // also keep the allocation below to what the disk really holds.
  if (fileSize < sizeof head || fileSize > platform::FileSize(file.get())) return none;

  // The picture is the file without its 14-byte header: the information header, then the
  // rest read straight after it.
  SpritePicture raw;
  raw.length = fileSize - kFileHeaderSize;
  raw.bytes = Allocate(raw.length);
  if (!raw.bytes) return none;
  std::memcpy(raw.bytes.get(), head + kFileHeaderSize, kInfoHeaderSize);
  const uint32_t rest = uint32_t(raw.length - kInfoHeaderSize);
  if (platform::ReadFile(file.get(), raw.bytes.get() + kInfoHeaderSize, rest) != rest) {
    return none;
  }

  const BitmapInfoHeader h = ReadInfoHeader(raw.bytes.get());
  if (h.compression == FourCC("dkrl")) {
    // Expanded once, straight into the picture kept.
    const uint64_t size = RunLengthExpandedSize(raw.bytes.get(), raw.length);
    if (size == 0) return none;
    SpritePicture out;
    out.bytes = Allocate(size_t(size));
    if (!out.bytes ||
        !ExpandRunLengthInto(raw.bytes.get(), raw.length, out.bytes.get(), size_t(size))) {
      return none;
    }
    out.length = size_t(size);
    return out;
  }
  if (h.compression != 0) return none;
  if (h.bitCount != 8 && h.bitCount != 24 && h.bitCount != 32) return none;
  const uint64_t pixelBytes = PixelBytes(h.width, h.height, h.bitCount);
  if (pixelBytes == 0) return none;

  // Windows counts 0 as the full table of an 8-bit picture.
  uint32_t table = 0;
  if (h.bitCount == 8) {
    if (h.clrUsed > 256) return none;
    table = h.clrUsed == 0 ? 256 : h.clrUsed;
  }
  if (uint64_t(kInfoHeaderSize) + 4 * table + pixelBytes > raw.length) return none;
  if (table > 0 && table < 256) return WidenColourTable(raw.bytes.get(), table, pixelBytes);
  return raw;
}

}  // namespace kvp
