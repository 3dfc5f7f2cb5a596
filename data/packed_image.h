// The packed image: a 40-byte bitmap information header, a colour table for 8-bit pictures,
// then bottom-up rows without padding (or one compressed frame). Panoramas, decoded images,
// sprite pictures and frame headers all use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvp {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kColourTableSize = 1024;  // 256 entries of blue, green, red, reserved
constexpr uint32_t kFileHeaderSize = 14;     // the "BM" bitmap file header

// Little-endian four-character code as stored in the compression field ("IV41", "dkrl").
constexpr uint32_t FourCC(const char (&code)[5]) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
         uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24;
}

// Largest pixel area any reader accepts. Far above any real panorama or sprite; it keeps a
// hostile header from making a 32-bit process allocate gigabytes.
constexpr uint64_t kMaxPixelBytes = uint64_t(1) << 28;

// The Windows bitmap information header, field for field. It is decoded from and encoded to
// bytes explicitly (little-endian), never by casting a pointer, but its layout is that of
// BITMAPINFOHEADER so that the Win32 code can hand it over unchanged.
struct BitmapInfoHeader {
  uint32_t size = kInfoHeaderSize;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;  // panoramas: initial field of view (high half), heading (low)
  int32_t yPelsPerMeter = 0;  // panoramas: initial roll (high half), pitch (low)
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(offsetof(BitmapInfoHeader, bitCount) == 14, "BITMAPINFOHEADER layout");
static_assert(offsetof(BitmapInfoHeader, compression) == 16, "BITMAPINFOHEADER layout");
static_assert(offsetof(BitmapInfoHeader, xPelsPerMeter) == 24, "BITMAPINFOHEADER layout");
static_assert(offsetof(BitmapInfoHeader, yPelsPerMeter) == 28, "BITMAPINFOHEADER layout");

// Decodes / encodes the 40 header bytes at `bytes`.
BitmapInfoHeader ReadInfoHeader(const uint8_t* bytes);
void WriteInfoHeader(uint8_t* bytes, const BitmapInfoHeader& header);

// Little-endian field access for the readers of the file layouts.
uint16_t LoadU16(const uint8_t* p);
uint32_t LoadU32(const uint8_t* p);
int32_t LoadI32(const uint8_t* p);
float LoadF32(const uint8_t* p);
void StoreU16(uint8_t* p, uint16_t v);
void StoreU32(uint8_t* p, uint32_t v);
void StoreF32(uint8_t* p, float v);

// The initial view a panorama carries in its two resolution fields, each split into int16
// halves. Taken only when 0 < fov < 180.
struct ViewFields {
  int16_t fov = 0;
  int16_t heading = 0;
  int16_t pitch = 0;
  int16_t roll = 0;
  bool Valid() const { return fov > 0 && fov < 180; }
};
ViewFields GetViewFields(const BitmapInfoHeader& header);
void SetViewFields(BitmapInfoHeader& header, const ViewFields& view);

// The field of view a panorama of `height` rows opens with when its header carries none:
// 180 - 0.087890625 * height, limited to 60..120.
double DefaultFieldOfView(int32_t height);

// Bytes before the pixels: 1064 for an uncompressed 8-bit image (header and colour table),
// 40 otherwise (compressed frames follow the header directly).
uint32_t HeaderBytes(const BitmapInfoHeader& header);

// Bytes of W x H pixels of `bitCount` bits without row padding, or 0 when the width or height
// is not positive, the depth is not 8, 16, 24 or 32, or the product exceeds kMaxPixelBytes.
uint64_t PixelBytes(int32_t width, int32_t height, uint16_t bitCount);

// A read-only look at a packed image in memory. Every accessor is bounded by `length`.
class PackedImageView {
 public:
  PackedImageView(const uint8_t* data, size_t length) : data_(data), length_(length) {}

  bool HasHeader() const { return data_ != nullptr && length_ >= kInfoHeaderSize; }
  BitmapInfoHeader Header() const;  // all zero when !HasHeader()
  const uint8_t* Data() const { return data_; }
  size_t Length() const { return length_; }

  // The colour table of an uncompressed 8-bit image, or null when there is none or it is cut.
  const uint8_t* ColourTable() const;

  // True when the header describes an uncompressed image of 8, 16 or 24 bits (32 for
  // sprites) whose pixels are all present; then Pixels() points at them.
  bool PixelsComplete() const;
  const uint8_t* Pixels() const;  // null unless PixelsComplete()

 private:
  const uint8_t* data_;
  size_t length_;
};

// An owned packed image (tools, sprites, tests).
struct PackedImage {
  std::vector<uint8_t> bytes;
  PackedImageView View() const { return PackedImageView(bytes.data(), bytes.size()); }
};

}  // namespace kvp
