// The codec bridge over the real Video for Windows under Wine: a Cinepak frame decoded by the
// installed "cvid" decompressor, the display depth of the NT platform, and the request record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/codec_bridge.h"
#include "platform/platform.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

using test::Capture;
using test::ReadFixture;


struct Fixture {
  int32_t width, height;
  std::vector<uint8_t> packed;     // header + Cinepak frame
  std::vector<uint8_t> reference;  // FFmpeg's decode, bottom-up BGR
};

Fixture LoadFixture(int32_t w, int32_t h) {
  const std::string stem = "cinepak-" + std::to_string(w) + "x" + std::to_string(h);
  return Fixture{w, h, ReadFixture(stem + ".pan"), ReadFixture(stem + ".bgr")};
}

// Mean and largest difference of `count` bytes of 24-bit pixels against the reference.
struct Difference {
  double mean;
  int largest;
};
Difference Compare24(const uint8_t* pixels, const std::vector<uint8_t>& reference) {
  long total = 0;
  int largest = 0;
  for (size_t i = 0; i < reference.size(); ++i) {
    const int d = std::abs(int(pixels[i]) - int(reference[i]));
    total += d;
    if (d > largest) largest = d;
  }
  return Difference{double(total) / double(reference.size()), largest};
}

// The same for 5-5-5 pixels, each channel widened back to 8 bits.
Difference Compare16(const uint8_t* pixels, const std::vector<uint8_t>& reference) {
  long total = 0;
  int largest = 0;
  for (size_t i = 0; i < reference.size() / 3; ++i) {
    const uint16_t p = LoadU16(pixels + 2 * i);
    const int channel[3] = {(p & 0x1F) << 3, ((p >> 5) & 0x1F) << 3, ((p >> 10) & 0x1F) << 3};
    for (int c = 0; c < 3; ++c) {
      const int d = std::abs(channel[c] - int(reference[3 * i + c]));
      total += d;
      if (d > largest) largest = d;
    }
  }
  return Difference{double(total) / double(reference.size()), largest};
}

// Whether the installed "cvid" decompressor answers the extended query the bridge sends.
bool CinepakTakesExtendedRequests(Fixture& f) {
  platform::Codec* codec = platform::LocateCodec(FourCC("vidc"), FourCC("cvid"),
                                                 f.packed.data(), nullptr,
                                                 platform::kIcModeDecompress);
  if (codec == nullptr) return false;
  std::vector<uint8_t> out = test::InfoHeaderBytes(f.width, f.height, 24);
  platform::DecompressRequest request;
  request.sourceHeader = f.packed.data();
  request.destinationHeader = out.data();
  request.dxDst = request.dxSrc = f.width;
  request.dyDst = request.dySrc = f.height;
  const int32_t result = platform::SendCodecMessage(
      codec, platform::kIcmDecompressExQuery, reinterpret_cast<uintptr_t>(&request),
      sizeof request);
  platform::CloseCodec(codec);
  return result == 0;
}

TEST(WineCinepak, TheFixtureDecodesThroughTheInstalledDecompressor) {
  // The plain decompression messages, straight through the seam: proves the frame, the
  // installed decompressor and the forwarding of requests, whatever the bridge then asks.
  Fixture f = LoadFixture(128, 64);
  ASSERT_EQ(f.packed.size(), 40u + ReadInfoHeader(f.packed.data()).sizeImage);
  ASSERT_EQ(f.reference.size(), 128u * 64 * 3);
  platform::Codec* codec = platform::LocateCodec(FourCC("vidc"), FourCC("cvid"),
                                                 f.packed.data(), nullptr,
                                                 platform::kIcModeDecompress);
  ASSERT_NE(codec, nullptr) << "no Cinepak decompressor installed";
  for (uint16_t bits : {24, 16}) {
    std::vector<uint8_t> out = test::InfoHeaderBytes(128, 64, bits);
    std::vector<uint8_t> pixels(128 * 64 * (bits / 8), 0);
    const auto in = reinterpret_cast<uintptr_t>(f.packed.data());
    const auto outHeader = reinterpret_cast<uintptr_t>(out.data());
    ASSERT_EQ(platform::SendCodecMessage(codec, 0x400B /* ICM_DECOMPRESS_QUERY */, in,
                                         outHeader), 0);
    ASSERT_EQ(platform::SendCodecMessage(codec, 0x400C /* ICM_DECOMPRESS_BEGIN */, in,
                                         outHeader), 0);
    struct {  // ICDECOMPRESS
      uint32_t flags;
      const void* inputHeader;
      const void* input;
      void* outputHeader;
      void* output;
      uint32_t chunkId;
    } request = {0, f.packed.data(), f.packed.data() + 40, out.data(), pixels.data(), 0};
    ASSERT_EQ(platform::SendCodecMessage(codec, 0x400D /* ICM_DECOMPRESS */,
                                         reinterpret_cast<uintptr_t>(&request), sizeof request),
              0);
    platform::SendCodecMessage(codec, 0x400E /* ICM_DECOMPRESS_END */, 0, 0);
    const Difference d = bits == 24 ? Compare24(pixels.data(), f.reference)
                                    : Compare16(pixels.data(), f.reference);
    // Two Cinepak decoders, rounding their colour conversion differently.
    EXPECT_LT(d.mean, bits == 24 ? 2.0 : 6.0) << bits;
    EXPECT_LE(d.largest, bits == 24 ? 16 : 24) << bits;
  }
  platform::CloseCodec(codec);
}

TEST(WineCinepak, DecodeImageAsksTheRealDecompressorAtEveryDepthWideOrNot) {
  for (auto [w, h] : {std::pair<int32_t, int32_t>{128, 64}, {192, 32}}) {
    Fixture f = LoadFixture(w, h);
    ASSERT_FALSE(f.packed.empty());
    const bool extended = CinepakTakesExtendedRequests(f);
    const int32_t placement = IsWide(w, h) ? PlacementRow(h) : 0;
    for (uint16_t target : {24, 16, 8}) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " to " +
                   std::to_string(target));
      Capture capture;
      std::vector<uint8_t> destination(
          DecodedImageBytes(ReadInfoHeader(f.packed.data()), target), 0xAA);
      const bool decoded =
          DecodeImage(ImageBuffer{f.packed.data(), f.packed.size(), f.packed.size()},
                      ImageBuffer{destination.data(), 0, destination.size()}, target);
      const BitmapInfoHeader out = ReadInfoHeader(destination.data());
      EXPECT_EQ(out.height, placement != 0 ? 4 * h : h);
      EXPECT_EQ(out.bitCount, target);
      EXPECT_EQ(out.compression, 0u);
      if (!extended) {
        // Wine 8.0's Cinepak decoder knows only the plain messages: the extended query
        // fails with ICERR_UNSUPPORTED, which the user sees and the trace records.
        EXPECT_FALSE(decoded);
        ASSERT_EQ(capture.Boxes().size(), 1u);
        EXPECT_EQ(capture.Boxes()[0].text,
                  "File Decompression Failed.\nError Code: -1 (ICERR_UNSUPPORTED)");
        EXPECT_EQ(capture.Boxes()[0].caption, "Tarnwick Kestrelvue");
        EXPECT_EQ(capture.Traces(),
                  (std::vector<std::string>{"LocateCodec(): installed decompressor for 'cvid'\n",
                                            "ICDecompressExQuery Failed: -1\n"}));
        continue;
      }
      if (target == 8) {
        // Cinepak decoders do not write 8-bit pictures; the query refuses the format.
        EXPECT_FALSE(decoded);
        EXPECT_EQ(capture.Traces(),
                  (std::vector<std::string>{"LocateCodec(): installed decompressor for 'cvid'\n",
                                            "ICDecompressExQuery Failed: -2\n"}));
        continue;
      }
      ASSERT_TRUE(decoded);
      EXPECT_TRUE(capture.Boxes().empty());
      const uint8_t* placed = destination.data() + 40 + size_t(placement) * w * (target / 8);
      const Difference d =
          target == 24 ? Compare24(placed, f.reference) : Compare16(placed, f.reference);
      EXPECT_LT(d.mean, target == 24 ? 2.0 : 6.0);
      for (size_t i = 40; i < 40 + size_t(placement) * w * (target / 8); ++i) {
        ASSERT_EQ(destination[i], 0xAA) << "row above the placement written at " << i;
      }
    }
  }
}

TEST(WineCinepak, ATruncatedFrameIsDecodedWithoutACrashOrRefused) {
  Fixture f = LoadFixture(128, 64);
  std::vector<uint8_t> cut(f.packed.begin(), f.packed.begin() + 40 + 200);
  StoreU32(cut.data() + 20, 200);  // the header tells the truth about the cut frame
  Capture capture;
  std::vector<uint8_t> destination(DecodedImageBytes(ReadInfoHeader(cut.data()), 24), 0);
  DecodeImage(ImageBuffer{cut.data(), cut.size(), cut.size()},
              ImageBuffer{destination.data(), 0, destination.size()}, 24);
  // And one that claims more than it has is refused before the decoder sees it.
  StoreU32(cut.data() + 20, 3000);
  const size_t boxes = capture.Boxes().size();
  EXPECT_FALSE(DecodeImage(ImageBuffer{cut.data(), cut.size(), cut.size()},
                           ImageBuffer{destination.data(), 0, destination.size()}, 24));
  EXPECT_EQ(capture.Boxes().size(), boxes);
}

TEST(WineDisplayDepth, IsEightOnTheNtPlatform) {
  UpdateDisplayDepth();
  EXPECT_TRUE(platform::IsWindowsNT());  // Wine reports an NT version
  EXPECT_EQ(ScreenDepth(), platform::ScreenBitsPerPixel());
  EXPECT_GE(ScreenDepth(), 8);  // a real screen's depth, not the POSIX stand-in
  EXPECT_EQ(DisplayDepth(), 8);
}

}  // namespace
}  // namespace kvp
