// Byte-level access to the packed image: header fields, view fields, extents.
#include "data/packed_image.h"

#include <cstring>

namespace kvp {

uint16_t LoadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int32_t LoadI32(const uint8_t* p) { return static_cast<int32_t>(LoadU32(p)); }

float LoadF32(const uint8_t* p) {
  uint32_t bits = LoadU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void StoreU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

void StoreF32(uint8_t* p, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  StoreU32(p, bits);
}

BitmapInfoHeader ReadInfoHeader(const uint8_t* bytes) {
  BitmapInfoHeader header;
  header.size = LoadU32(bytes + 0);
  header.width = LoadI32(bytes + 4);
  header.height = LoadI32(bytes + 8);
  header.planes = LoadU16(bytes + 12);
  header.bitCount = LoadU16(bytes + 14);
  header.compression = LoadU32(bytes + 16);
  header.sizeImage = LoadU32(bytes + 20);
  header.xPelsPerMeter = LoadI32(bytes + 24);
  header.yPelsPerMeter = LoadI32(bytes + 28);
  header.clrUsed = LoadU32(bytes + 32);
  header.clrImportant = LoadU32(bytes + 36);
  return header;
}

void WriteInfoHeader(uint8_t* bytes, const BitmapInfoHeader& header) {
  StoreU32(bytes + 0, header.size);
  StoreU32(bytes + 4, static_cast<uint32_t>(header.width));
  StoreU32(bytes + 8, static_cast<uint32_t>(header.height));
  StoreU16(bytes + 12, header.planes);
  StoreU16(bytes + 14, header.bitCount);
  StoreU32(bytes + 16, header.compression);
  StoreU32(bytes + 20, header.sizeImage);
  StoreU32(bytes + 24, static_cast<uint32_t>(header.xPelsPerMeter));
  StoreU32(bytes + 28, static_cast<uint32_t>(header.yPelsPerMeter));
  StoreU32(bytes + 32, header.clrUsed);
  StoreU32(bytes + 36, header.clrImportant);
}

ViewFields GetViewFields(const BitmapInfoHeader& header) {
  const auto x = static_cast<uint32_t>(header.xPelsPerMeter);
  const auto y = static_cast<uint32_t>(header.yPelsPerMeter);
  ViewFields view;
  view.heading = static_cast<int16_t>(x & 0xFFFF);
  view.fov = static_cast<int16_t>(x >> 16);
  view.pitch = static_cast<int16_t>(y & 0xFFFF);
  view.roll = static_cast<int16_t>(y >> 16);
  return view;
}

void SetViewFields(BitmapInfoHeader& header, const ViewFields& view) {
  header.xPelsPerMeter =
      static_cast<int32_t>(uint32_t(uint16_t(view.fov)) << 16 | uint16_t(view.heading));
  header.yPelsPerMeter =
      static_cast<int32_t>(uint32_t(uint16_t(view.roll)) << 16 | uint16_t(view.pitch));
}

double DefaultFieldOfView(int32_t height) {
  double v = 180 - height * 0.087890625;
  if (v <= 60) v = 60;
  if (v >= 120) v = 120;
  return v;
}

uint32_t HeaderBytes(const BitmapInfoHeader& header) {
  return (header.compression == 0 && header.bitCount == 8) ? kInfoHeaderSize + kColourTableSize
                                                           : kInfoHeaderSize;
}

uint64_t PixelBytes(int32_t width, int32_t height, uint16_t bitCount) {
  if (width <= 0 || height <= 0) return 0;
  if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return 0;
  const uint64_t bytes = uint64_t(width) * uint64_t(height) * (bitCount / 8);
  return bytes > kMaxPixelBytes ? 0 : bytes;
}

BitmapInfoHeader PackedImageView::Header() const {
  return HasHeader() ? ReadInfoHeader(data_) : BitmapInfoHeader{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

const uint8_t* PackedImageView::ColourTable() const {
  if (!HasHeader()) return nullptr;
  const BitmapInfoHeader h = Header();
  if (h.compression != 0 || h.bitCount != 8) return nullptr;
  if (length_ < kInfoHeaderSize + kColourTableSize) return nullptr;
  return data_ + kInfoHeaderSize;
}

bool PackedImageView::PixelsComplete() const {
  if (!HasHeader()) return false;
  const BitmapInfoHeader h = Header();
  if (h.compression != 0) return false;
  const uint64_t bytes = PixelBytes(h.width, h.height, h.bitCount);
  if (bytes == 0) return false;
  return uint64_t(HeaderBytes(h)) + bytes <= length_;
}

const uint8_t* PackedImageView::Pixels() const {
  return PixelsComplete() ? data_ + HeaderBytes(Header()) : nullptr;
}

}  // namespace kvp
