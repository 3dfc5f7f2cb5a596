// The codec fixtures through the bridge and the kvp commands, shared by the native and Windows
// tests.
#include "tests/codec_decoded.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "data/byte_reader.h"
#include "data/codec_bridge.h"
#include "data/container.h"
#include "tests/test_files.h"
#include "tools/authoring/picture_io.h"
#include "tools/kvp/commands.h"

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

namespace {

int Kvp(const std::vector<std::string>& args, std::string* errText,
        std::string* outText = nullptr) {
  std::ostringstream out, err;
  const int status = cli::RunKvp(args, out, err);
  *errText = err.str();
  if (outText != nullptr) *outText = out.str();
  return status;
}

}  // namespace

void ExpectKvpTakesCompressedPanoramas() {
  test::TempDir dir;
  const std::string pan = dir.Write("mars.pan", test::ReadFixture("codec-mars-cvid.pan"));
  const std::string source = dir.Write("mars.png", test::ReadFixture("codec-mars.png"));
  const std::string png = (dir.Path() / "out.png").string();
  std::string err;
  ASSERT_EQ(Kvp({"export", pan, "-o", png}, &err), 0) << err;
  authoring::Picture exported, original;
  ASSERT_TRUE(authoring::LoadPicture(png, exported, &err)) << err;
  ASSERT_TRUE(authoring::LoadPicture(source, original, &err)) << err;
  ASSERT_EQ(exported.width, original.width);
  ASSERT_EQ(exported.height, original.height);
  // Close to the source (Cinepak reaches about 36 dB on it), the right way up: flipped rows
  // or swapped channels would be far off.
  double squares = 0;
  size_t count = 0;
  for (size_t i = 0; i < size_t(original.width) * size_t(original.height); ++i) {
    for (int c = 0; c < 3; ++c) {
      const double d = double(exported.pixels[i * size_t(exported.channels) + size_t(c)]) -
                       double(original.pixels[i * size_t(original.channels) + size_t(c)]);
      squares += d * d;
      ++count;
    }
  }
  EXPECT_GT(10 * std::log10(255.0 * 255.0 * double(count) / squares), 35.0);

  for (const char* command : {"warp", "render"}) {
    ASSERT_EQ(Kvp({command, pan, "-o", png, "--size", "64x48", "--depth", "16"}, &err), 0)
        << command << ": " << err;
    authoring::Picture view;
    ASSERT_TRUE(authoring::LoadPicture(png, view, &err)) << err;
    long sum = 0;
    for (uint8_t v : view.pixels) sum += v;
    EXPECT_GT(sum, long(view.pixels.size()) * 20) << command << ": the surface, not black";
  }

  std::string report;
  EXPECT_EQ(Kvp({"info", pan}, &err, &report), 0) << err;
  EXPECT_NE(report.find("\"codec\":\"Cinepak\",\"decodable\":true"), std::string::npos)
      << report;
}

}  // namespace kvp::test
