// Authoring: packed images, containers, bitmap files and hot-spot blocks as bytes.
#include "tools/authoring/writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace kvp::authoring {

PackedImage MakePackedImage(int32_t width, int32_t height, uint16_t bits,
                            const std::vector<uint8_t>& pixels,
                            const std::vector<uint8_t>& colourTable, const ViewFields& view) {
  PackedImage image;
  const uint64_t pixelBytes = PixelBytes(width, height, bits);
  if (pixelBytes == 0 || pixels.size() != pixelBytes) return image;
  if (bits == 8 && colourTable.size() != kColourTableSize) return image;

  BitmapInfoHeader h;
  h.width = width;
  h.height = height;
  h.bitCount = bits;
  h.sizeImage = static_cast<uint32_t>(pixelBytes);
  h.clrUsed = bits == 8 ? 256 : 0;
  SetViewFields(h, view);

  image.bytes.resize(HeaderBytes(h));
  WriteInfoHeader(image.bytes.data(), h);
  if (bits == 8) std::memcpy(image.bytes.data() + kInfoHeaderSize, colourTable.data(), kColourTableSize);
  image.bytes.insert(image.bytes.end(), pixels.begin(), pixels.end());
  return image;
}

std::vector<uint8_t> BuildContainer(const std::vector<Block>& blocks) {
  const uint32_t count = static_cast<uint32_t>(blocks.size());
  std::vector<uint8_t> out(16 + 16 * size_t(count), 0);
  std::memcpy(out.data(), "KVPF", 4);
  StoreU32(out.data() + 8, count);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* entry = out.data() + 16 + 16 * size_t(i);
    char tag[4] = {' ', ' ', ' ', ' '};
    std::memcpy(tag, blocks[i].tag.data(), std::min<size_t>(4, blocks[i].tag.size()));
    std::memcpy(entry, tag, 4);
    StoreU32(entry + 4, static_cast<uint32_t>(out.size()));
    StoreU32(entry + 8, static_cast<uint32_t>(blocks[i].data.size()));
    out.insert(out.end(), blocks[i].data.begin(), blocks[i].data.end());
  }
  return out;
}

std::vector<uint8_t> BuildBitmapFile(const PackedImage& image) {
  std::vector<uint8_t> out(kFileHeaderSize, 0);
  out[0] = 'B';
  out[1] = 'M';
  StoreU32(out.data() + 2, static_cast<uint32_t>(kFileHeaderSize + image.bytes.size()));
  const uint32_t headerBytes =
      image.View().HasHeader() ? HeaderBytes(image.View().Header()) : kInfoHeaderSize;
  StoreU32(out.data() + 10, kFileHeaderSize + headerBytes);
  out.insert(out.end(), image.bytes.begin(), image.bytes.end());
  return out;
}

bool BuildHotspotBlock(const std::vector<HotspotRectangle>& hotspots, std::vector<uint8_t>& out,
                       std::string* error) {
  if (hotspots.size() > 255) {
    if (error) *error = "at most 255 hot spots fit in a panorama file";
    return false;
  }
  std::vector<uint8_t> block(1, static_cast<uint8_t>(hotspots.size()));
  for (const HotspotRectangle& h : hotspots) {
    if (h.link.size() > 2047 || h.link.find('\0') != std::string::npos) {
      if (error) *error = "a hot-spot link must be at most 2047 characters without NUL";
      return false;
    }
    uint8_t angles[16];
    StoreF32(angles, h.h1);
    StoreF32(angles + 4, h.p1);
    StoreF32(angles + 8, h.h2);
    StoreF32(angles + 12, h.p2);
    block.insert(block.end(), std::begin(angles), std::end(angles));
    block.insert(block.end(), h.link.begin(), h.link.end());
    block.push_back(0);
  }
  out = std::move(block);
  return true;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  int reason = errno;
  if (file != nullptr && std::fclose(file) != 0 && written) {
    written = false;
    reason = errno;
  }
  if (!written) {
    if (error) *error = "cannot write " + path + ": " + std::strerror(reason);
    return false;
  }
  return true;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string* error) {
  platform::File* file = platform::OpenFileReadOnly(path.c_str());
  if (file == nullptr) {
    const uint32_t code = platform::LastError();
    if (error) *error = "cannot open " + path + ": " + platform::ErrorText(code);
    return false;
  }
  const uint32_t size = platform::FileSize(file);
  bytes.clear();
  uint8_t chunk[65536];
  uint32_t n = 0;
  while ((n = platform::ReadFile(file, chunk, sizeof chunk)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  // A read stops short of the size only on an error (the size is 0xFFFFFFFF beyond 4 GiB).
  const bool complete = size == 0xFFFFFFFFu || bytes.size() >= size;
  const uint32_t reason = platform::LastError();
  platform::CloseFile(file);
  if (!complete) {
    if (error) *error = "cannot read " + path + ": " + platform::ErrorText(reason);
    return false;
  }
  return true;
}

}  // namespace kvp::authoring
