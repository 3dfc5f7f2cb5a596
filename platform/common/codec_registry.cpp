// The codec registry and the call sequences Video for Windows runs over its drivers.
#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/common/codec_registry.h"
#include "platform/platform.h"
#include "platform/testing.h"

namespace platform {

namespace common {

struct OpenCodecHandle {
  std::unique_ptr<CodecDriver> driver;
};

struct CompressedImage {
  std::vector<uint8_t> bytes;
};

}  // namespace common

namespace {

uint32_t LowerCode(uint32_t code) {
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>(code >> (8 * i));
    out |= uint32_t(std::tolower(c)) << (8 * i);
  }
  return out;
}

using Key = std::pair<uint32_t, uint32_t>;  // lower-case type and handler

constexpr uint32_t kVidc = 'v' | 'i' << 8 | 'd' << 16 | uint32_t('c') << 24;

std::atomic<bool> gBuiltinDecoders{true};

std::mutex gRegistryLock;
std::map<Key, CodecFactory> gRegistry;  // protected by gRegistryLock

CodecFactory FindFactory(const Key& key) {
  std::lock_guard<std::mutex> hold(gRegistryLock);
  auto it = gRegistry.find(key);
  return it == gRegistry.end() ? CodecFactory() : it->second;
}

constexpr uint32_t kHeaderBytes = 40;
uint32_t HeaderU32(const void* header, size_t offset) {
  uint32_t v;
  std::memcpy(&v, static_cast<const uint8_t*>(header) + offset, 4);
  return v;
}

}  // namespace

void RegisterCodec(uint32_t type, uint32_t handler, CodecFactory factory) {
  std::lock_guard<std::mutex> hold(gRegistryLock);
  gRegistry[Key(LowerCode(type), LowerCode(handler))] = std::move(factory);
}

void UnregisterCodec(uint32_t type, uint32_t handler) {
  std::lock_guard<std::mutex> hold(gRegistryLock);
  gRegistry.erase(Key(LowerCode(type), LowerCode(handler)));
}

namespace common {

// The built-in decoders stand behind the registered codecs of type "vidc" only.
std::unique_ptr<CodecDriver> Builtin(uint32_t type, uint32_t handler, uint16_t mode) {
  if (!BuiltinDecodersOn() || LowerCode(type) != kVidc) return nullptr;
  return BuiltinDecoder(handler, mode);
}

OpenCodecHandle* OpenCodec(uint32_t type, uint32_t handler, uint16_t mode) {
  std::unique_ptr<CodecDriver> driver;
  if (CodecFactory factory = FindFactory(Key(LowerCode(type), LowerCode(handler)))) {
    driver = factory(mode);
  }
  if (!driver) driver = Builtin(type, handler, mode);
  if (!driver) return nullptr;
  return new OpenCodecHandle{std::move(driver)};
}

OpenCodecHandle* LocateCodec(uint32_t type, uint32_t handler, const void* inHeader,
                             const void* outHeader, uint16_t mode) {
  const uint32_t query = mode == kIcModeDecompress ? kIcmDecompressQuery : kIcmCompressQuery;
  auto accepts = [&](uint32_t h) -> OpenCodecHandle* {
    OpenCodecHandle* codec = OpenCodec(type, h, mode);
    if (codec == nullptr) return nullptr;
    if (SendCodecMessage(codec, query, reinterpret_cast<uintptr_t>(inHeader),
                         reinterpret_cast<uintptr_t>(outHeader)) == 0) {
      return codec;
    }
    CloseCodec(codec);
    return nullptr;
  };
  // The named handler first, then every other codec of the type, as ICLocate does.
  if (OpenCodecHandle* codec = accepts(handler)) return codec;
  std::vector<uint32_t> others;
  {
    std::lock_guard<std::mutex> hold(gRegistryLock);
    for (const auto& entry : gRegistry) {
      if (entry.first.first == LowerCode(type) && entry.first.second != LowerCode(handler)) {
        others.push_back(entry.first.second);
      }
    }
  }
  for (uint32_t h : others) {
    if (OpenCodecHandle* codec = accepts(h)) return codec;
  }
  // A registered codec of the handler's name that refused leaves the built-in one to try.
  if (std::unique_ptr<CodecDriver> driver = Builtin(type, handler, mode)) {
    auto* codec = new OpenCodecHandle{std::move(driver)};
    if (SendCodecMessage(codec, query, reinterpret_cast<uintptr_t>(inHeader),
                         reinterpret_cast<uintptr_t>(outHeader)) == 0) {
      return codec;
    }
    CloseCodec(codec);
  }
  return nullptr;
}

bool BuiltinDecodersOn() { return gBuiltinDecoders.load(); }

int32_t SendCodecMessage(OpenCodecHandle* codec, uint32_t message, uintptr_t param1,
                         uintptr_t param2) {
  constexpr int32_t kBadHandle = -8;  // ICERR_BADHANDLE
  if (codec == nullptr) return kBadHandle;
  return codec->driver->Message(message, param1, param2);
}

void CloseCodec(OpenCodecHandle* codec) { delete codec; }

CompressedImage* ImageCompress(OpenCodecHandle* codec, uint32_t flags, const void* inHeader,
                               const void* inBits, const void* outHeader, int32_t quality,
                               int32_t* size) {
  if (codec == nullptr || inHeader == nullptr || inBits == nullptr) return nullptr;
  const auto in = reinterpret_cast<uintptr_t>(inHeader);

  // The output format: the caller's, or the codec's own choice for this input.
  std::vector<uint8_t> format;
  if (outHeader != nullptr) {
    const uint32_t formatBytes = HeaderU32(outHeader, 0);
    if (formatBytes < kHeaderBytes) return nullptr;
    const auto* p = static_cast<const uint8_t*>(outHeader);
    format.assign(p, p + formatBytes);
  } else {
    const int32_t formatBytes = SendCodecMessage(codec, kIcmCompressGetFormat, in, 0);
    if (formatBytes < int32_t(kHeaderBytes)) return nullptr;
    format.assign(size_t(formatBytes), 0);
    if (SendCodecMessage(codec, kIcmCompressGetFormat, in,
                         reinterpret_cast<uintptr_t>(format.data())) != 0) {
      return nullptr;
    }
  }
  const auto out = reinterpret_cast<uintptr_t>(format.data());
  if (SendCodecMessage(codec, kIcmCompressQuery, in, out) != 0) return nullptr;
  const int32_t frameBytes = SendCodecMessage(codec, kIcmCompressGetSize, in, out);
  if (frameBytes <= 0) return nullptr;
  if (SendCodecMessage(codec, kIcmCompressBegin, in, out) != 0) return nullptr;

  auto* memory = new CompressedImage;
  memory->bytes.assign(format.size() + size_t(frameBytes), 0);
  std::memcpy(memory->bytes.data(), format.data(), format.size());
  uint32_t chunkId = 0, frameFlags = 0;
  CompressRequest request;
  request.flags = flags;
  request.outputHeader = memory->bytes.data();
  request.output = memory->bytes.data() + format.size();
  request.inputHeader = inHeader;
  request.input = inBits;
  request.chunkId = &chunkId;
  request.frameFlags = &frameFlags;
  request.frameSize = size != nullptr && *size > 0 ? uint32_t(*size) : 0;
  request.quality = uint32_t(quality);
  const int32_t result = SendCodecMessage(codec, kIcmCompress,
                                          reinterpret_cast<uintptr_t>(&request), sizeof request);
  SendCodecMessage(codec, kIcmCompressEnd, 0, 0);
  const uint32_t written = HeaderU32(memory->bytes.data(), 20);  // biSizeImage
  if (result != 0 || written > uint32_t(frameBytes)) {
    delete memory;
    return nullptr;
  }
  memory->bytes.resize(format.size() + written);
  if (size != nullptr) *size = int32_t(written);
  return memory;
}

void* LockMemory(CompressedImage* memory) {
  return memory != nullptr ? memory->bytes.data() : nullptr;
}

size_t MemorySize(CompressedImage* memory) {
  return memory != nullptr ? memory->bytes.size() : 0;
}

// The bytes never move here, so there is no lock to give back.
void UnlockMemory(CompressedImage*) {}

void FreeMemory(CompressedImage* memory) { delete memory; }

}  // namespace common

void UseBuiltinDecoders(bool on) { gBuiltinDecoders.store(on); }

}  // namespace platform
