// Authoring: builds the files the viewer reads (packed images, containers, bitmap files,
// hot-spot blocks). Only the tools write; the viewer never does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/packed_image.h"

namespace kvp::authoring {

// An uncompressed packed image of `bits` 8, 16, 24 (or 32 for sprites). `pixels` holds the
// bottom-up rows without padding, width * height * bits / 8 bytes; `colourTable` the 1024
// bytes for 8 bits (ignored otherwise). Returns an empty image when the sizes disagree.
PackedImage MakePackedImage(int32_t width, int32_t height, uint16_t bits,
                            const std::vector<uint8_t>& pixels,
                            const std::vector<uint8_t>& colourTable = {},
                            const ViewFields& view = {});

// A block of a container, in the order it is written.
struct Block {
  std::string tag;  // four characters
  std::vector<uint8_t> data;
};

// A container: the 16-byte "KVPF" header, the directory and the blocks right after it.
std::vector<uint8_t> BuildContainer(const std::vector<Block>& blocks);

// A bitmap file: the 14-byte "BM" header (file size, pixel offset) and the packed image.
std::vector<uint8_t> BuildBitmapFile(const PackedImage& image);

// One hot spot as written: a heading/pitch rectangle and its link.
struct HotspotRectangle {
  float h1 = 0, p1 = 0, h2 = 0, p2 = 0;
  std::string link;
};

// An "HSPT" block; at most 255 hot spots. Links longer than the reader keeps are refused.
// Returns false (and leaves `out` alone) when the list cannot be written.
bool BuildHotspotBlock(const std::vector<HotspotRectangle>& hotspots, std::vector<uint8_t>& out,
                       std::string* error);

// Writes the bytes to a new file (replacing an old one). On failure returns false with a
// one-line reason.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* error);

// Reads a whole file. On failure returns false with a one-line reason.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string* error);

}  // namespace kvp::authoring
