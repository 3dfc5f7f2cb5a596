// Reading a panorama image file for the kvp commands: the file's bytes and its packed image.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "data/packed_image.h"

namespace kvp::cli {

struct ImageFile {
  std::vector<uint8_t> bytes;  // the whole file
  size_t imageOffset = 0;      // where the packed image starts
  size_t imageLength = 0;      // its length, checked against the file
  PackedImageView Image() const {
    return PackedImageView(bytes.data() + imageOffset, imageLength);
  }
};

// Reads a bitmap file or container and locates its packed image. On failure writes one line,
// prefixed with `command`, to `err` and returns false.
bool ReadImageFile(const std::string& path, const char* command, ImageFile& file,
                   std::ostream& err);

// The picture of `image` uncompressed: a copy when it is, else the frame decoded by whatever
// decoder this build has for it (an installed decompressor on Windows, then the built-in
// ones) at 24 bits, its stored width and height (a wide picture taken back out of the taller
// image the viewer places it in). On failure `error` says why; a decoder that fails also
// shows its box and trace line, as the viewer's would.
bool UncompressedImage(const PackedImageView& image, PackedImage& out, std::string& error);

// Writes a packed image as a bitmap file when `path` ends in ".bmp" (either case), else as a
// PNG, and says "wrote PATH (WxH`details`)" on `out`. On failure writes one line, prefixed
// with `command`, to `err` and returns false.
bool WritePicture(const std::string& path, const PackedImage& image, const std::string& details,
                  const char* command, std::ostream& out, std::ostream& err);

}  // namespace kvp::cli
