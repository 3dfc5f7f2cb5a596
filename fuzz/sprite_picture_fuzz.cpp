// Fuzz target: sprite picture files, plain and "dkrl" run-length, read from disk as the
// viewer reads them, and the run-length expansion on its own.
#include "data/container.h"
#include "data/sprite_picture.h"
#include "fuzz/fuzz_support.h"

namespace {

// The 268 MB a picture may legally claim is allowed, but under libFuzzer the target skips
// such expansions to keep its rate up (ExpandRunLength's writes are bounded the same way at
// any size); the replay of saved inputs takes them whole.
#ifdef KVP_LIBFUZZER
constexpr uint64_t kMaxExpandBytes = uint64_t(16) << 20;
#else
constexpr uint64_t kMaxExpandBytes = uint64_t(1) << 40;
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvp::fuzz::Quiet();
  // The packed image as it follows the 14-byte file header.
  if (size >= kvp::kFileHeaderSize) {
    const uint8_t* packed = data + kvp::kFileHeaderSize;
    const size_t length = size - kvp::kFileHeaderSize;
    const uint64_t expanded = kvp::RunLengthExpandedSize(packed, length);
    if (expanded != 0 && expanded <= kMaxExpandBytes) kvp::ExpandRunLength(packed, length);
  }
  if (size >= kvp::kFileHeaderSize + kvp::kInfoHeaderSize) {
    const kvp::BitmapInfoHeader h = kvp::ReadInfoHeader(data + kvp::kFileHeaderSize);
    const uint64_t pixels = uint64_t(h.width > 0 ? h.width : 0) * uint64_t(h.height > 0 ? h.height : 0);
    if (pixels > kMaxExpandBytes) return 0;
  }
  kvp::ReadSpritePicture(kvp::fuzz::WriteFile("sprite.avt", data, size).c_str());
  return 0;
}
