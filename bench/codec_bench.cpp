// Decode time of one large frame per codec through the built-in decoders alone (the same
// messages the codec bridge sends), at each decode depth; and, on Windows, the size of the
// decoder DLLs. Built natively and for Windows (run under Wine by `make bench`). Prints;
// never fails.
//   kvp_codec_bench FILE.pan...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "data/byte_reader.h"
#include "data/codec_bridge.h"
#include "data/container.h"
#include "platform/common/codec_registry.h"
#include "platform/platform.h"
#include "tools/authoring/writer.h"

namespace {

using Clock = std::chrono::steady_clock;

// One decode, begin to end, as the bridge asks for it; false when a step fails.
bool DecodeOnce(platform::CodecDriver& codec, std::vector<uint8_t>& source,
                std::vector<uint8_t>& destination, uint16_t depth) {
  using namespace kvp;
  const BitmapInfoHeader in = ReadInfoHeader(source.data());
  BitmapInfoHeader out = in;
  out.compression = 0;
  out.sizeImage = 0;
  out.bitCount = depth;
  WriteInfoHeader(destination.data(), out);
  platform::DecompressRequest request;
  request.sourceHeader = source.data();
  request.destinationHeader = destination.data();
  request.dxDst = request.dxSrc = in.width;
  request.dyDst = request.dySrc = in.height;
  const auto r = reinterpret_cast<uintptr_t>(&request);
  codec.Message(platform::kIcmDecompressGetPalette, r,
                reinterpret_cast<uintptr_t>(destination.data()));
  if (codec.Message(platform::kIcmDecompressExBegin, r, sizeof request) != 0) return false;
  request.sourceData = source.data() + kInfoHeaderSize;
  request.destinationData = destination.data() + (depth == 8 ? kInfoHeaderSize + kColourTableSize
                                                             : kInfoHeaderSize);
  const bool ok = codec.Message(platform::kIcmDecompressEx, r, sizeof request) == 0;
  codec.Message(platform::kIcmDecompressExEnd, 0, 0);
  return ok;
}

void Bench(const std::string& path) {
  using namespace kvp;
  std::vector<uint8_t> file;
  std::string error;
  if (!authoring::ReadFileBytes(path, file, &error)) {
    std::printf("%s: %s\n", path.c_str(), error.c_str());
    return;
  }
  MemoryReader reader(file.data(), file.size());
  std::vector<uint8_t> source(LocateImage(reader));
  if (source.size() < kInfoHeaderSize) {
    std::printf("%s: no image\n", path.c_str());
    return;
  }
  reader.Read(source.data(), uint32_t(source.size()));
  const BitmapInfoHeader in = ReadInfoHeader(source.data());
  char code[5] = {};
  StoreU32(reinterpret_cast<uint8_t*>(code), in.compression);
  auto codec = platform::common::BuiltinDecoder(in.compression, platform::kIcModeDecompress);
  if (!codec) {
    std::printf("%-6s %dx%d: no built-in decoder in this build\n", code, in.width, in.height);
    return;
  }
  std::printf("%-6s %dx%d, %zu bytes:", code, in.width, in.height, source.size());
  for (uint16_t depth : {24, 16, 8}) {
    std::vector<uint8_t> destination(kInfoHeaderSize + kColourTableSize +
                                     size_t(in.width) * size_t(in.height) * (depth / 8));
    // The median of several runs after one that warms the caches and the allocator.
    std::vector<double> ms;
    bool ok = DecodeOnce(*codec, source, destination, depth);
    for (int i = 0; ok && i < 15; ++i) {
      const auto start = Clock::now();
      ok = DecodeOnce(*codec, source, destination, depth);
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    if (!ok) {
      std::printf("  %u bits: failed", depth);
      continue;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %u bits %.1f ms", depth, ms[ms.size() / 2]);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("decode of one frame by the built-in decoder (median of 15):\n");
  for (int i = 1; i < argc; ++i) Bench(argv[i]);
#ifdef _WIN32
  // What the decoders add to the Windows build: the DLLs shipped beside the programs.
  const std::filesystem::path folder = std::filesystem::path(argv[0]).parent_path();
  for (const char* dll : {"avcodec-59.dll", "avutil-57.dll"}) {
    std::error_code failed;
    const auto bytes = std::filesystem::file_size(folder / dll, failed);
    if (failed) {
      std::printf("%s: not beside the program\n", dll);
    } else {
      std::printf("%s: %llu bytes\n", dll, static_cast<unsigned long long>(bytes));
    }
  }
#endif
  return 0;
}
