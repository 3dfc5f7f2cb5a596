// Panorama image files: kind probe, container directory, image and block lookups, "dkrl".
#include "data/container.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kvp {

namespace {

bool ReadExactly(ByteReader& reader, void* buffer, uint32_t count) {
  return reader.Read(buffer, count) == count;
}

}  // namespace

FileKind ProbeFileKind(ByteReader& reader) {
  uint8_t magic[4] = {0, 0, 0, 0};
  reader.Seek(0);
  const uint32_t got = reader.Read(magic, 4);
  reader.Seek(0);
  if (got >= 2 && magic[0] == 'B' && magic[1] == 'M') return FileKind::Bitmap;
  if (got == 4 && std::memcmp(magic, "KVPF", 4) == 0) return FileKind::Container;
  return FileKind::Unknown;
}

uint32_t LocateBlock(ByteReader& reader, const char (&tag)[5]) {
  if (ProbeFileKind(reader) != FileKind::Container) {
    reader.Seek(0);
    return 0;
  }
  uint8_t header[kContainerHeaderSize];
  if (ReadExactly(reader, header, sizeof header)) {
    const uint32_t count = LoadU32(header + 8);
    // A count larger than the file holds ends at the first short read.
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t entry[kDirectoryEntrySize];
      if (!ReadExactly(reader, entry, sizeof entry)) break;
      if (std::memcmp(entry, tag, 4) == 0) {
        reader.Seek(LoadU32(entry + 4));
        return LoadU32(entry + 8);
      }
    }
  }
  reader.Seek(0);
  return 0;
}

uint32_t LocateImage(ByteReader& reader) {
  switch (ProbeFileKind(reader)) {
    case FileKind::Bitmap: {
      uint8_t header[kFileHeaderSize];
      if (ReadExactly(reader, header, sizeof header)) {
        const uint32_t fileSize = LoadU32(header + 2);
        // A size field of 14 or less would wrap around to a huge length: no image.
        if (fileSize > kFileHeaderSize) {
          reader.Seek(kFileHeaderSize);
          return fileSize - kFileHeaderSize;
        }
      }
      reader.Seek(0);
      return 0;
    }
    case FileKind::Container:
      return LocateBlock(reader, "BTMP");
    case FileKind::Unknown:
      break;
  }
  reader.Seek(0);
  return 0;
}

std::vector<DirectoryEntry> ReadDirectory(ByteReader& reader) {
  std::vector<DirectoryEntry> entries;
  if (ProbeFileKind(reader) != FileKind::Container) return entries;
  uint8_t header[kContainerHeaderSize];
  if (!ReadExactly(reader, header, sizeof header)) {
    reader.Seek(0);
    return entries;
  }
  const uint32_t count = LoadU32(header + 8);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t raw[kDirectoryEntrySize];
    if (!ReadExactly(reader, raw, sizeof raw)) break;
    DirectoryEntry e;
    std::memcpy(e.tag, raw, 4);
    e.offset = LoadU32(raw + 4);
    e.length = LoadU32(raw + 8);
    e.reserved = LoadU32(raw + 12);
    entries.push_back(e);
  }
  reader.Seek(0);
  return entries;
}

uint64_t RunLengthExpandedSize(const uint8_t* packed, size_t length) {
  constexpr size_t kPrefix = kInfoHeaderSize + kColourTableSize;
  if (packed == nullptr || length < kPrefix) return 0;
  const BitmapInfoHeader in = ReadInfoHeader(packed);
  const uint64_t pixelCount = PixelBytes(in.width, in.height, 8);
  return pixelCount == 0 ? 0 : pixelCount + kPrefix;
}

bool ExpandRunLengthInto(const uint8_t* packed, size_t length, uint8_t* out, size_t outLength) {
  constexpr size_t kPrefix = kInfoHeaderSize + kColourTableSize;
  const uint64_t size = RunLengthExpandedSize(packed, length);
  if (size == 0 || out == nullptr || outLength != size) return false;
  const BitmapInfoHeader in = ReadInfoHeader(packed);
  const size_t pixelCount = size_t(size) - kPrefix;

  // The image-size field says how many pairs there are; the bytes actually present win.
  size_t pairs = in.sizeImage > 1025 ? (in.sizeImage - kColourTableSize) / 2 : 0;
  pairs = std::min(pairs, (length - kPrefix) / 2);

  uint8_t* pixels = out + kPrefix;
  size_t filled = 0;
  const uint8_t* run = packed + kPrefix;
  for (size_t i = 0; i < pairs && filled < pixelCount; ++i, run += 2) {
    const size_t n = std::min<size_t>(run[0], pixelCount - filled);
    std::memset(pixels + filled, run[1], n);
    filled += n;
  }
  // What the runs do not reach is 0, never what the buffer held before.
  std::memset(pixels + filled, 0, pixelCount - filled);

  std::memcpy(out, packed, kPrefix);
  BitmapInfoHeader h = in;
  h.sizeImage = 0;
  h.bitCount = 8;
  h.clrUsed = 256;
  h.compression = 0;
  WriteInfoHeader(out, h);
  return true;
}

PackedImage ExpandRunLength(const uint8_t* packed, size_t length) {
  PackedImage out;
  const uint64_t size = RunLengthExpandedSize(packed, length);
  if (size == 0) return out;
  try {
    out.bytes.resize(size_t(size));
  } catch (const std::bad_alloc&) {
    return out;
  }
  if (!ExpandRunLengthInto(packed, length, out.bytes.data(), out.bytes.size())) out.bytes.clear();
  return out;
}

}  // namespace kvp
