// The codec registry: video codecs plugged in by four-character code and driven by the
// messages of Video for Windows installable compressors, for the sides that have no Video
// for Windows (POSIX, the web). Windows installs codecs in the system instead; RegisterCodec
// there changes nothing the seam's codec calls see.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/platform.h"

namespace platform {

// One open instance of a codec: the counterpart of an installable compressor's driver
// procedure. It receives exactly what SendCodecMessage is given, plus ICM_DECOMPRESS_QUERY
// (param1 input header, param2 output header or 0) and ICM_COMPRESS_QUERY from LocateCodec,
// and the compress messages from ImageCompress. Results are ICERR_ codes (0 success), except
// ICM_COMPRESS_GET_FORMAT with param2 0 (bytes of the output format) and
// ICM_COMPRESS_GET_SIZE (largest compressed frame in bytes).
// Not responsible for: locking (an instance is used by one thread at a time).
class CodecDriver {
 public:
  virtual ~CodecDriver() = default;
  virtual int32_t Message(uint32_t message, uintptr_t param1, uintptr_t param2) = 0;
};

// Makes an instance for `mode` (kIcModeCompress / kIcModeDecompress), or null to refuse.
using CodecFactory = std::function<std::unique_ptr<CodecDriver>(uint16_t mode)>;

// Installs (or replaces) the codec `type`/`handler`, e.g. "vidc"/"cvid"; codes are compared
// without regard to case, as Video for Windows does. Instances already open keep running.
// Any thread.
void RegisterCodec(uint32_t type, uint32_t handler, CodecFactory factory);
void UnregisterCodec(uint32_t type, uint32_t handler);

// ICCOMPRESS, the request of ICM_COMPRESS (param1 its address, param2 its size).
struct CompressRequest {
  uint32_t flags = 0;
  void* outputHeader = nullptr;  // the format from ICM_COMPRESS_GET_FORMAT; the codec sets
                                 // its image size to the bytes written
  void* output = nullptr;
  const void* inputHeader = nullptr;
  const void* input = nullptr;
  uint32_t* chunkId = nullptr;
  uint32_t* frameFlags = nullptr;
  int32_t frameNumber = 0;
  uint32_t frameSize = 0;  // the size limit, 0 for none
  uint32_t quality = 0;
  const void* previousHeader = nullptr;
  const void* previous = nullptr;
};

namespace common {

// The seam's codec calls over the registry, with the meaning of their platform.h namesakes:
// ICOpen, ICLocate (the named handler first, then every other codec of the type),
// ICSendMessage, ICClose, ICImageCompress, and GlobalLock, GlobalSize, GlobalUnlock and
// GlobalFree on the memory it returns. A side hands these handles out as its Codec and
// MemoryHandle.
struct OpenCodecHandle;
struct CompressedImage;

OpenCodecHandle* OpenCodec(uint32_t type, uint32_t handler, uint16_t mode);
OpenCodecHandle* LocateCodec(uint32_t type, uint32_t handler, const void* inHeader,
                             const void* outHeader, uint16_t mode);
int32_t SendCodecMessage(OpenCodecHandle* codec, uint32_t message, uintptr_t param1,
                         uintptr_t param2);
void CloseCodec(OpenCodecHandle* codec);
CompressedImage* ImageCompress(OpenCodecHandle* codec, uint32_t flags, const void* inHeader,
                               const void* inBits, const void* outHeader, int32_t quality,
                               int32_t* size);
void* LockMemory(CompressedImage* memory);
size_t MemorySize(CompressedImage* memory);
void UnlockMemory(CompressedImage* memory);
void FreeMemory(CompressedImage* memory);

// ---- Built-in decoders --------------------------------------------------------------------
//
// Decompressors the program carries itself (platform/common/avcodec/), tried by LocateCodec
// and OpenCodec after every registered codec, as an installed decompressor comes before them
// on Windows. Each side defines BuiltinDecoder: a decompressor for `handler` in `mode`, or
// null when it has none (a side without built-in decoders always returns null). Any thread.
std::unique_ptr<CodecDriver> BuiltinDecoder(uint32_t handler, uint16_t mode);

// Whether the built-in decoders are consulted (platform::UseBuiltinDecoders in testing.h).
bool BuiltinDecodersOn();

}  // namespace common
}  // namespace platform
