// The built-in decoders behind the codec bridge: a decoder for each legacy code, real Cinepak
// and Video 1 frames at every decode depth, and damaged Indeo frames reported as codec failures.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/byte_reader.h"
#include "data/codec_bridge.h"
#include "data/container.h"
#include "platform/common/avcodec/avcodec_decoder.h"
#include "platform/platform.h"
#include "tests/codec_decoded.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"
#include "tools/authoring/picture_io.h"

namespace kvp {
namespace {

using test::Capture;
using test::ReadFixture;


ImageBuffer Whole(std::vector<uint8_t>& bytes) {
  return ImageBuffer{bytes.data(), bytes.size(), bytes.size()};
}

// The decoded picture as bottom-up blue, green, red rows of its stored height, read from a
// packed image at any depth (at 8 bits through its colour table).
std::vector<uint8_t> AsBgr(const std::vector<uint8_t>& packed, int32_t firstRow, int32_t rows) {
  const BitmapInfoHeader h = ReadInfoHeader(packed.data());
  const size_t bytes = h.bitCount / 8;
  const size_t offset = h.bitCount == 8 ? kInfoHeaderSize + kColourTableSize : kInfoHeaderSize;
  std::vector<uint8_t> out;
  for (int32_t y = firstRow; y < firstRow + rows; ++y) {
    for (int32_t x = 0; x < h.width; ++x) {
      const uint8_t* p = packed.data() + offset + (size_t(y) * h.width + x) * bytes;
      if (h.bitCount == 24) {
        out.insert(out.end(), p, p + 3);
      } else if (h.bitCount == 16) {
        const unsigned v = LoadU16(p);
        for (unsigned c : {v & 31, (v >> 5) & 31, (v >> 10) & 31}) out.push_back(uint8_t(c << 3 | c >> 2));
      } else {
        const uint8_t* entry = packed.data() + kInfoHeaderSize + 4 * size_t(*p);
        out.insert(out.end(), entry, entry + 3);
      }
    }
  }
  return out;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += double(int(a[i]) - int(b[i])) * double(int(a[i]) - int(b[i]));
  const double mse = sum / double(a.size());
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// DecodeImage of a whole packed image at `depth`, into a buffer sized as the loader sizes it.
std::vector<uint8_t> Decode(std::vector<uint8_t> packed, uint16_t depth, bool* ok) {
  std::vector<uint8_t> out(DecodedImageBytes(ReadInfoHeader(packed.data()), depth), 0);
  *ok = DecodeImage(Whole(packed), Whole(out), depth);
  return out;
}

TEST(BuiltinDecoder, EachLegacyCodeHasItsLibraryDecoderAndOthersNone) {
  const struct {
    const char* code;
    AVCodecID id;
  } cases[] = {{"IV41", AV_CODEC_ID_INDEO4}, {"IV31", AV_CODEC_ID_INDEO3},
               {"iv32", AV_CODEC_ID_INDEO3}, {"IV50", AV_CODEC_ID_INDEO5},
               {"RT21", AV_CODEC_ID_INDEO2}, {"cvid", AV_CODEC_ID_CINEPAK},
               {"MSVC", AV_CODEC_ID_MSVIDEO1}, {"CRAM", AV_CODEC_ID_MSVIDEO1},
               {"XQ7z", AV_CODEC_ID_NONE}};
  for (const auto& c : cases) {
    const uint32_t code = FourCC(*reinterpret_cast<const char(*)[5]>(c.code));
    EXPECT_EQ(platform::avcodec::CodecFor(code), c.id) << c.code;
    // ICLocate finds it by the frame's code, and it refuses a frame of another code.
    const std::vector<uint8_t> header = test::InfoHeaderBytes(64, 32, 24, code, 10);
    platform::Codec* codec = platform::LocateCodec(FourCC("vidc"), code, header.data(),
                                                   nullptr, platform::kIcModeDecompress);
    EXPECT_EQ(codec != nullptr, c.id != AV_CODEC_ID_NONE) << c.code;
    if (codec != nullptr) {
      const std::vector<uint8_t> other = test::InfoHeaderBytes(64, 32, 24, FourCC("XQ7z"), 10);
      EXPECT_NE(platform::SendCodecMessage(codec, platform::kIcmDecompressQuery,
                                           reinterpret_cast<uintptr_t>(other.data()), 0),
                0);
    }
    platform::CloseCodec(codec);
  }
  // Switched off they are gone, as on a build without them.
  platform::UseBuiltinDecoders(false);
  const std::vector<uint8_t> header = test::InfoHeaderBytes(64, 32, 24, FourCC("cvid"), 10);
  EXPECT_EQ(platform::LocateCodec(FourCC("vidc"), FourCC("cvid"), header.data(), nullptr,
                                  platform::kIcModeDecompress),
            nullptr);
  platform::UseBuiltinDecoders(true);
}

TEST(BuiltinDecoder, CinepakFramesMatchTheLibrarysOwnDecodeAtEveryDepth) {
  for (const auto& [w, h] : {std::pair{128, 64}, std::pair{192, 32}}) {
    const std::string stem = "cinepak-" + std::to_string(w) + "x" + std::to_string(h);
    const std::vector<uint8_t> packed = ReadFixture(stem + ".pan");
    const std::vector<uint8_t> reference = ReadFixture(stem + ".bgr");
    ASSERT_EQ(reference.size(), size_t(w) * h * 3) << stem;
    const int32_t row = IsWide(w, h) ? PlacementRow(h) : 0;
    for (uint16_t depth : {24, 16, 8}) {
      Capture capture;
      bool ok = false;
      const std::vector<uint8_t> out = Decode(packed, depth, &ok);
      ASSERT_TRUE(ok) << stem << " at " << depth << ": " << capture.TraceStream();
      EXPECT_TRUE(capture.Boxes().empty());
      const BitmapInfoHeader header = ReadInfoHeader(out.data());
      EXPECT_EQ(header.bitCount, depth);
      EXPECT_EQ(header.height, IsWide(w, h) ? 4 * h : h);
      const std::vector<uint8_t> bgr = AsBgr(out, row, h);
      if (depth == 24) {
        EXPECT_EQ(bgr, reference) << stem;  // the same library, the same pixels
      } else {
        // 5-5-5 loses three bits a channel (about 40 dB); the 6-level cube much more.
        EXPECT_GT(Psnr(bgr, reference), depth == 16 ? 38.0 : 24.0) << stem << " " << depth;
      }
    }
  }
}

// The packed image of a container file.
std::vector<uint8_t> ImageOf(const std::vector<uint8_t>& file) {
  MemoryReader reader(file.data(), file.size());
  const uint32_t length = LocateImage(reader);
  std::vector<uint8_t> image(length);
  reader.Read(image.data(), length);
  return image;
}

// A source picture as bottom-up blue, green, red rows.
std::vector<uint8_t> SourceBgr(const std::string& name) {
  authoring::Picture picture;
  std::string error;
  const std::filesystem::path folder =
      std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures";
  EXPECT_TRUE(authoring::LoadPicture((folder / name).string(), picture, &error)) << error;
  std::vector<uint8_t> out;
  for (int32_t y = picture.height - 1; y >= 0; --y) {
    for (int32_t x = 0; x < picture.width; ++x) {
      const uint8_t* p = picture.pixels.data() + (size_t(y) * picture.width + x) * picture.channels;
      out.insert(out.end(), {p[2], p[1], p[0]});
    }
  }
  return out;
}

TEST(BuiltinDecoder, CompressedSamplePicturesDecodeCloseToTheirSource) {
  // The floors at 24 bits are the PSNRs FFmpeg's own decoders reach on these frames
  // (scripts/make-codec-fixtures.sh prints them), less 0.05 dB; at 16 bits the 5-5-5 rounding
  // and at 8 bits the colour cube cost more, measured here: a decoder that misplaced, flipped
  // or miscoloured rows falls far below any of them.
  const struct {
    const char* name;
    const char* source;
    double floor24, floor16, floor8;
  } cases[] = {
      {"mars-cvid", "mars", 36.07, 34.0, 23.5},   {"mars-msvc", "mars", 29.49, 29.49, 22.5},
      {"earth-cvid", "earth", 30.89, 29.5, 23.5},  // 150 x 75: Cinepak pads to 4 x 4 blocks
      {"strip-cvid", "strip", 37.39, 34.0, 23.5}, {"strip-msvc", "strip", 29.01, 29.01, 22.5},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> packed = ImageOf(ReadFixture(std::string("codec-") + c.name + ".pan"));
    ASSERT_GT(packed.size(), kInfoHeaderSize) << c.name;
    const BitmapInfoHeader in = ReadInfoHeader(packed.data());
    const std::vector<uint8_t> source = SourceBgr(std::string("codec-") + c.source + ".png");
    ASSERT_EQ(source.size(), size_t(in.width) * in.height * 3) << c.name;
    for (uint16_t depth : {24, 16, 8}) {
      Capture capture;
      bool ok = false;
      const std::vector<uint8_t> out = Decode(packed, depth, &ok);
      ASSERT_TRUE(ok) << c.name << " at " << depth << ": " << capture.TraceStream();
      const int32_t row = IsWide(in.width, in.height) ? PlacementRow(in.height) : 0;
      const double psnr = Psnr(AsBgr(out, row, in.height), source);
      const double floor = depth == 24 ? c.floor24 : depth == 16 ? c.floor16 : c.floor8;
      EXPECT_GT(psnr, floor) << c.name << " at " << depth << " bits";
    }
  }
}

// The reference for the Windows build, which decodes with its own build of the library.
TEST(BuiltinDecoder, FixturesDecodeToTheRecordedDigests) {
  const std::vector<uint8_t> expected = ReadFixture("codec-decoded.txt");
  EXPECT_EQ(test::DecodedDigests(), std::string(expected.begin(), expected.end()));
}

TEST(BuiltinDecoder, KvpCommandsTakeCompressedPanoramas) {
  test::ExpectKvpTakesCompressedPanoramas();
}

TEST(BuiltinDecoder, DamagedIndeoFramesAreCodecFailuresNotCrashes) {
  for (const char* code : {"IV41", "IV31", "IV32", "IV50"}) {
    std::vector<uint8_t> frame = test::InfoHeaderBytes(
        160, 120, 24, FourCC(*reinterpret_cast<const char(*)[5]>(code)), 600);
    for (int i = 0; i < 600; ++i) frame.push_back(uint8_t(i * 37 + 11));
    Capture capture;
    bool ok = true;
    Decode(frame, 24, &ok);
    EXPECT_FALSE(ok) << code;
    ASSERT_EQ(capture.Boxes().size(), 1u) << code;
    EXPECT_EQ(capture.Boxes()[0].text.rfind("File Decompression Failed.\nError Code: ", 0), 0u)
        << capture.Boxes()[0].text;
  }
}

}  // namespace
}  // namespace kvp
