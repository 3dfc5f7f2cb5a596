// The codec fixtures decoded by the bridge, as digests shared by the native and Windows tests.
#include "tests/codec_decoded.h"

#include <cstdio>
#include <vector>

#include "data/byte_reader.h"
#include "data/codec_bridge.h"
#include "data/container.h"
#include "tests/test_files.h"

namespace kvp::test {

std::string DecodedDigests() {
  std::string lines;
  for (const char* name : {"codec-mars-cvid.pan", "codec-earth-cvid.pan", "codec-strip-cvid.pan",
                           "codec-mars-msvc.pan", "codec-strip-msvc.pan"}) {
    const std::vector<uint8_t> file = ReadFixture(name);
    MemoryReader reader(file.data(), file.size());
    std::vector<uint8_t> packed(LocateImage(reader));
    reader.Read(packed.data(), uint32_t(packed.size()));
    for (uint16_t depth : {24, 16, 8}) {
      std::string digest = "failed";
      if (packed.size() >= kInfoHeaderSize) {
        std::vector<uint8_t> source = packed;
        std::vector<uint8_t> out(DecodedImageBytes(ReadInfoHeader(source.data()), depth), 0);
        if (DecodeImage(ImageBuffer{source.data(), source.size(), source.size()},
                        ImageBuffer{out.data(), out.size(), out.size()}, depth)) {
          uint64_t hash = 0xcbf29ce484222325u;
          for (uint8_t b : out) hash = (hash ^ b) * 0x100000001b3u;
          char text[17];
          std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
          digest = text;
        }
      }
      lines += std::string(name) + " " + std::to_string(depth) + " " + digest + "\n";
    }
  }
  return lines;
}

}  // namespace kvp::test
