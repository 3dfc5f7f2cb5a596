// POSIX has no Video for Windows: the seam's codecs are the registry's (platform/common/).
#include "platform/common/codec_registry.h"
#include "platform/platform.h"

namespace platform {

namespace {

// The seam's handles are the registry's own, cast, as the Win32 side casts HIC and HGLOBAL.
common::OpenCodecHandle* Opened(Codec* codec) {
  return reinterpret_cast<common::OpenCodecHandle*>(codec);
}
Codec* AsCodec(common::OpenCodecHandle* codec) { return reinterpret_cast<Codec*>(codec); }
common::CompressedImage* Compressed(MemoryHandle* memory) {
  return reinterpret_cast<common::CompressedImage*>(memory);
}

}  // namespace

Codec* LocateCodec(uint32_t type, uint32_t handler, const void* inHeader, const void* outHeader,
                   uint16_t mode) {
  return AsCodec(common::LocateCodec(type, handler, inHeader, outHeader, mode));
}

Codec* OpenCodec(uint32_t type, uint32_t handler, uint16_t mode) {
  return AsCodec(common::OpenCodec(type, handler, mode));
}

int32_t SendCodecMessage(Codec* codec, uint32_t message, uintptr_t param1, uintptr_t param2) {
  return common::SendCodecMessage(Opened(codec), message, param1, param2);
}

void CloseCodec(Codec* codec) { common::CloseCodec(Opened(codec)); }

MemoryHandle* ImageCompress(Codec* codec, uint32_t flags, const void* inHeader,
                            const void* inBits, const void* outHeader, int32_t quality,
                            int32_t* size) {
  return reinterpret_cast<MemoryHandle*>(
      common::ImageCompress(Opened(codec), flags, inHeader, inBits, outHeader, quality, size));
}

void* LockMemory(MemoryHandle* memory) { return common::LockMemory(Compressed(memory)); }

size_t MemorySize(MemoryHandle* memory) { return common::MemorySize(Compressed(memory)); }

void UnlockMemory(MemoryHandle* memory) { common::UnlockMemory(Compressed(memory)); }

void FreeMemory(MemoryHandle* memory) { common::FreeMemory(Compressed(memory)); }

}  // namespace platform
