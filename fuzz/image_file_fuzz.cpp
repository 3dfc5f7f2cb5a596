// Fuzz target: an image file from memory through the probe, the directory, the block lookups
// and the decode of its packed image at 8, 16 and 24 bits.
#include <algorithm>
#include <cstring>
#include <vector>

#include "data/byte_reader.h"
#include "data/codec_bridge.h"
#include "data/container.h"
#include "data/packed_image.h"
#include "fuzz/fuzz_support.h"

namespace {

// Decoded images beyond this are refused by the loader's buffers long before a decode; the
// target keeps its runs fast by not allocating for them either.
constexpr uint64_t kMaxDecodeBytes = uint64_t(64) << 20;

void Decode(const std::vector<uint8_t>& packed, uint16_t depth) {
  if (packed.size() < kvp::kInfoHeaderSize) return;
  const kvp::BitmapInfoHeader header = kvp::ReadInfoHeader(packed.data());
  const uint64_t needed = kvp::DecodedImageBytes(header, depth);
  if (needed == 0 || needed > kMaxDecodeBytes) return;
  // The source is reduced in place before it is placed: it gets room for that result.
  std::vector<uint8_t> source(std::max<size_t>(packed.size(), size_t(needed)));
  std::memcpy(source.data(), packed.data(), packed.size());
  std::vector<uint8_t> destination(static_cast<size_t>(needed));
  kvp::DecodeImage(kvp::ImageBuffer{source.data(), packed.size(), source.size()},
                   kvp::ImageBuffer{destination.data(), 0, destination.size()}, depth);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvp::fuzz::Quiet();
  kvp::MemoryReader reader(data, size);
  kvp::ProbeFileKind(reader);
  kvp::ReadDirectory(reader);
  kvp::LocateBlock(reader, "HSPT");
  const uint32_t length = kvp::LocateImage(reader);
  if (length == 0) return 0;
  // Only what the data hold: the loader checks the claimed length against the file the same way.
  const uint32_t at = reader.Tell();
  if (at > size || length > size - at) return 0;
  const std::vector<uint8_t> packed(data + at, data + at + length);
  for (uint16_t depth : {8, 16, 24}) Decode(packed, depth);
  return 0;
}
