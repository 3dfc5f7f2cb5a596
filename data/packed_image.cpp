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

BitmapInfoHeader ReadInfoHeader(const uint8_t* b) {
  BitmapInfoHeader h;
  h.size = LoadU32(b + 0);
  h.width = LoadI32(b + 4);
  h.height = LoadI32(b + 8);
  h.planes = LoadU16(b + 12);
  h.bitCount = LoadU16(b + 14);
  h.compression = LoadU32(b + 16);
  h.sizeImage = LoadU32(b + 20);
  h.xPelsPerMeter = LoadI32(b + 24);
  h.yPelsPerMeter = LoadI32(b + 28);
  h.clrUsed = LoadU32(b + 32);
  h.clrImportant = LoadU32(b + 36);
  return h;
}

void WriteInfoHeader(uint8_t* b, const BitmapInfoHeader& h) {
  StoreU32(b + 0, h.size);
  StoreU32(b + 4, static_cast<uint32_t>(h.width));
  StoreU32(b + 8, static_cast<uint32_t>(h.height));
  StoreU16(b + 12, h.planes);
  StoreU16(b + 14, h.bitCount);
  StoreU32(b + 16, h.compression);
  StoreU32(b + 20, h.sizeImage);
  StoreU32(b + 24, static_cast<uint32_t>(h.xPelsPerMeter));
  StoreU32(b + 28, static_cast<uint32_t>(h.yPelsPerMeter));
  StoreU32(b + 32, h.clrUsed);
  StoreU32(b + 36, h.clrImportant);
}

ViewFields GetViewFields(const BitmapInfoHeader& h) {
  const auto x = static_cast<uint32_t>(h.xPelsPerMeter);
  const auto y = static_cast<uint32_t>(h.yPelsPerMeter);
  ViewFields v;
  v.heading = static_cast<int16_t>(x & 0xFFFF);
  v.fov = static_cast<int16_t>(x >> 16);
  v.pitch = static_cast<int16_t>(y & 0xFFFF);
  v.roll = static_cast<int16_t>(y >> 16);
  return v;
}

void SetViewFields(BitmapInfoHeader& h, const ViewFields& v) {
  h.xPelsPerMeter = static_cast<int32_t>(uint32_t(uint16_t(v.fov)) << 16 | uint16_t(v.heading));
  h.yPelsPerMeter = static_cast<int32_t>(uint32_t(uint16_t(v.roll)) << 16 | uint16_t(v.pitch));
}

double DefaultFieldOfView(int32_t height) {
  double v = 180 - height * 0.087890625;
  if (v <= 60) v = 60;
  if (v >= 120) v = 120;
  return v;
}

uint32_t HeaderBytes(const BitmapInfoHeader& h) {
  return (h.compression == 0 && h.bitCount == 8) ? kInfoHeaderSize + kColourTableSize
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
