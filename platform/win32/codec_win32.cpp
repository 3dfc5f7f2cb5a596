// Win32 side of the video codec calls: each forwards to Video for Windows (msvfw32), and a
// frame that no installed decompressor takes goes to the built-in decoders.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <vfw.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/common/codec_registry.h"
#include "platform/platform.h"

namespace platform {

// The request is handed to the codec as the Win32 record itself.
static_assert(sizeof(DecompressRequest) == 52, "ICDECOMPRESSEX is 52 bytes");
static_assert(sizeof(DecompressRequest) == sizeof(ICDECOMPRESSEX), "ICDECOMPRESSEX size");
static_assert(offsetof(DecompressRequest, flags) == offsetof(ICDECOMPRESSEX, dwFlags), "");
static_assert(offsetof(DecompressRequest, sourceHeader) == offsetof(ICDECOMPRESSEX, lpbiSrc),
              "");
static_assert(offsetof(DecompressRequest, sourceData) == offsetof(ICDECOMPRESSEX, lpSrc), "");
static_assert(offsetof(DecompressRequest, destinationHeader) ==
                  offsetof(ICDECOMPRESSEX, lpbiDst), "");
static_assert(offsetof(DecompressRequest, destinationData) == offsetof(ICDECOMPRESSEX, lpDst),
              "");
static_assert(offsetof(DecompressRequest, xDst) == offsetof(ICDECOMPRESSEX, xDst), "");
static_assert(offsetof(DecompressRequest, yDst) == offsetof(ICDECOMPRESSEX, yDst), "");
static_assert(offsetof(DecompressRequest, dxDst) == offsetof(ICDECOMPRESSEX, dxDst), "");
static_assert(offsetof(DecompressRequest, dyDst) == offsetof(ICDECOMPRESSEX, dyDst), "");
static_assert(offsetof(DecompressRequest, xSrc) == offsetof(ICDECOMPRESSEX, xSrc), "");
static_assert(offsetof(DecompressRequest, ySrc) == offsetof(ICDECOMPRESSEX, ySrc), "");
static_assert(offsetof(DecompressRequest, dxSrc) == offsetof(ICDECOMPRESSEX, dxSrc), "");
static_assert(offsetof(DecompressRequest, dySrc) == offsetof(ICDECOMPRESSEX, dySrc), "");
static_assert(kIcmDecompressExQuery == ICM_DECOMPRESSEX_QUERY, "message numbers");
static_assert(kIcmDecompressExBegin == ICM_DECOMPRESSEX_BEGIN, "message numbers");
static_assert(kIcmDecompressEx == ICM_DECOMPRESSEX, "message numbers");
static_assert(kIcmDecompressExEnd == ICM_DECOMPRESSEX_END, "message numbers");
static_assert(kIcmDecompressGetPalette == ICM_DECOMPRESS_GET_PALETTE, "message numbers");
static_assert(kIcmDecompressSetPalette == ICM_DECOMPRESS_SET_PALETTE, "message numbers");
static_assert(kIcmDecompressQuery == ICM_DECOMPRESS_QUERY, "message numbers");
static_assert(kIcmCompressGetFormat == ICM_COMPRESS_GET_FORMAT &&
                  kIcmCompressGetSize == ICM_COMPRESS_GET_SIZE &&
                  kIcmCompressQuery == ICM_COMPRESS_QUERY &&
                  kIcmCompressBegin == ICM_COMPRESS_BEGIN && kIcmCompress == ICM_COMPRESS &&
                  kIcmCompressEnd == ICM_COMPRESS_END,
              "message numbers");
static_assert(kIcModeDecompress == ICMODE_DECOMPRESS && kIcModeCompress == ICMODE_COMPRESS,
              "modes");

namespace {

// A seam handle: an installed codec's HIC, or one of the built-in decoders.
struct OpenedCodec {
  HIC hic = nullptr;
  std::unique_ptr<CodecDriver> builtin;
};

OpenedCodec* Opened(Codec* codec) { return reinterpret_cast<OpenedCodec*>(codec); }
Codec* AsCodec(OpenedCodec* codec) { return reinterpret_cast<Codec*>(codec); }
HIC AsHic(Codec* codec) { return codec != nullptr ? Opened(codec)->hic : nullptr; }
HGLOBAL AsGlobal(MemoryHandle* memory) { return reinterpret_cast<HGLOBAL>(memory); }

Codec* Installed(HIC hic) {
  if (hic == nullptr) return nullptr;
  auto* codec = new OpenedCodec;
  codec->hic = hic;
  return AsCodec(codec);
}

constexpr uint32_t kVidc = 'v' | 'i' << 8 | 'd' << 16 | uint32_t('c') << 24;

bool IsVideoType(uint32_t type) { return (type | 0x20202020u) == kVidc; }

// Which decompressor took a frame, for whoever reads the trace: an installed one or ours.
void TraceChosen(const char* which, uint32_t handler) {
  std::string line = "LocateCodec(): ";
  line += which;
  line += " decompressor for '";
  for (int i = 0; i < 4; ++i) line += char(handler >> (8 * i));
  line += "'\n";
  SendTrace(line.c_str());
}

// The built-in decoder for `handler`, when the build's decoders are on and loaded.
std::unique_ptr<CodecDriver> Builtin(uint32_t type, uint32_t handler, uint16_t mode) {
  if (!IsVideoType(type) || !common::BuiltinDecodersOn()) return nullptr;
  return common::BuiltinDecoder(handler, mode);
}

}  // namespace

Codec* LocateCodec(uint32_t type, uint32_t handler, const void* inHeader, const void* outHeader,
                   uint16_t mode) {
  HIC hic = ICLocate(type, handler, static_cast<LPBITMAPINFOHEADER>(const_cast<void*>(inHeader)),
                     static_cast<LPBITMAPINFOHEADER>(const_cast<void*>(outHeader)), mode);
  if (mode != kIcModeDecompress) return Installed(hic);
  if (hic != nullptr) {
    TraceChosen("installed", handler);
    return Installed(hic);
  }
  // Behind every installed decompressor, as a system with a codec for the frame would have it.
  std::unique_ptr<CodecDriver> builtin = Builtin(type, handler, mode);
  if (builtin == nullptr ||
      builtin->Message(kIcmDecompressQuery, reinterpret_cast<uintptr_t>(inHeader),
                       reinterpret_cast<uintptr_t>(outHeader)) != 0) {
    return nullptr;
  }
  TraceChosen("built-in", handler);
  auto* codec = new OpenedCodec;
  codec->builtin = std::move(builtin);
  return AsCodec(codec);
}

Codec* OpenCodec(uint32_t type, uint32_t handler, uint16_t mode) {
  if (Codec* codec = Installed(ICOpen(type, handler, mode))) return codec;
  std::unique_ptr<CodecDriver> builtin = Builtin(type, handler, mode);
  if (builtin == nullptr) return nullptr;
  auto* codec = new OpenedCodec;
  codec->builtin = std::move(builtin);
  return AsCodec(codec);
}

int32_t SendCodecMessage(Codec* codec, uint32_t message, uintptr_t param1, uintptr_t param2) {
  if (codec != nullptr && Opened(codec)->builtin) {
    return Opened(codec)->builtin->Message(message, param1, param2);
  }
  return static_cast<int32_t>(ICSendMessage(AsHic(codec), message, param1, param2));
}

void CloseCodec(Codec* codec) {
  if (codec == nullptr) return;
  if (Opened(codec)->hic != nullptr) ICClose(Opened(codec)->hic);
  delete Opened(codec);
}

MemoryHandle* ImageCompress(Codec* codec, uint32_t flags, const void* inHeader,
                            const void* inBits, const void* outHeader, int32_t quality,
                            int32_t* size) {
  if (AsHic(codec) == nullptr) return nullptr;  // the built-in decoders compress nothing
  HANDLE memory = ICImageCompress(
      AsHic(codec), flags, static_cast<LPBITMAPINFO>(const_cast<void*>(inHeader)),
      const_cast<void*>(inBits), static_cast<LPBITMAPINFO>(const_cast<void*>(outHeader)),
      quality, reinterpret_cast<LONG*>(size));
  return reinterpret_cast<MemoryHandle*>(memory);
}

void* LockMemory(MemoryHandle* memory) {
  return memory != nullptr ? GlobalLock(AsGlobal(memory)) : nullptr;
}

size_t MemorySize(MemoryHandle* memory) {
  return memory != nullptr ? GlobalSize(AsGlobal(memory)) : 0;
}

void UnlockMemory(MemoryHandle* memory) {
  if (memory != nullptr) GlobalUnlock(AsGlobal(memory));
}

void FreeMemory(MemoryHandle* memory) {
  if (memory != nullptr) GlobalFree(AsGlobal(memory));
}

}  // namespace platform
