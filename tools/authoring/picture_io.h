// Picture files for the tools (PNG, JPEG and BMP in, PNG out) and their conversion to and
// from the packed images the viewer reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/packed_image.h"

namespace kvp::authoring {

// An 8-bit picture with rows top-down and no padding: `channels` is 3 (red, green, blue) or
// 4 (red, green, blue, alpha).
struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  int channels = 4;
  std::vector<uint8_t> pixels;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

// Decodes a PNG, JPEG or BMP file held in memory into a 4-channel picture. The size is
// checked against kMaxPixelBytes before anything is decoded. On failure returns false with a
// one-line reason.
bool DecodePicture(const uint8_t* data, size_t length, Picture& out, std::string* error);

// Reads and decodes a picture file.
bool LoadPicture(const std::string& path, Picture& out, std::string* error);

// Encodes a 3- or 4-channel picture as PNG.
bool EncodePng(const Picture& picture, std::vector<uint8_t>& png, std::string* error);

// Encodes and writes a PNG file.
bool SavePng(const std::string& path, const Picture& picture, std::string* error);

// Turns a picture into an uncompressed packed image of `bits` 8, 16 or 24 with the given
// view fields: alpha is composited over `matte`, rows are turned bottom-up, 16 bits round each
// channel to 5 bits, 8 bits go through the quantiser. On failure returns false with a reason.
bool PackPicture(const Picture& picture, uint16_t bits, Rgb matte, const ViewFields& view,
                 PackedImage& out, std::string* error);

// Decodes an uncompressed packed image of 8, 16 or 24 bits into a 3-channel top-down
// picture. The image is treated as hostile: a compressed frame, another depth, a size that
// is not positive or too large, or pixels cut short give false with a one-line reason.
bool UnpackPicture(const PackedImageView& image, Picture& out, std::string* error);

}  // namespace kvp::authoring
