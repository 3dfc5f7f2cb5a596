// The codec bridge over the POSIX codec registry: the message sequence, every failing step
// and result code, the "msvc" round trip to 8 bits, and codecs kept from hostile frames.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/codec_bridge.h"
#include "platform/common/codec_registry.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

using platform::DecompressRequest;
using test::Capture;

constexpr uint32_t kVidc = FourCC("vidc");

// What a test decompressor saw.
struct Log {
  std::vector<uint32_t> messages;
  std::vector<DecompressRequest> requests;  // copies, at each extended message
  std::vector<uint32_t> destinationColoursUsed;
  uintptr_t sizeParam = 0;
  int closed = 0;
};

// A decompressor for the test code "TST1": it "decodes" by filling each destination row
// with the frame's first byte plus the row number, and can fail any step with any code.
class TestDecoder : public platform::CodecDriver {
 public:
  TestDecoder(Log* log, uint32_t failMessage, int32_t failCode)
      : log_(log), failMessage_(failMessage), failCode_(failCode) {}
  ~TestDecoder() override { ++log_->closed; }

  int32_t Message(uint32_t message, uintptr_t p1, uintptr_t p2) override {
    log_->messages.push_back(message);
    if (message == failMessage_) return failCode_;
    switch (message) {
      case platform::kIcmDecompressQuery: {
        const BitmapInfoHeader in = ReadInfoHeader(reinterpret_cast<const uint8_t*>(p1));
        return in.compression == FourCC("TST1") ? 0 : -2;
      }
      case platform::kIcmDecompressExQuery:
      case platform::kIcmDecompressExBegin:
      case platform::kIcmDecompressEx: {
        const auto* request = reinterpret_cast<const DecompressRequest*>(p1);
        log_->requests.push_back(*request);
        log_->sizeParam = p2;
        const auto* dst = static_cast<const uint8_t*>(request->destinationHeader);
        log_->destinationColoursUsed.push_back(ReadInfoHeader(dst).clrUsed);
        if (message == platform::kIcmDecompressEx) Decode(*request);
        return 0;
      }
      default:
        return 0;
    }
  }

 private:
  void Decode(const DecompressRequest& r) {
    const BitmapInfoHeader out =
        ReadInfoHeader(static_cast<const uint8_t*>(r.destinationHeader));
    const size_t row = size_t(out.width) * (out.bitCount / 8);
    const uint8_t first = *static_cast<const uint8_t*>(r.sourceData);
    for (int32_t y = 0; y < r.dyDst; ++y) {
      std::memset(static_cast<uint8_t*>(r.destinationData) + row * size_t(r.yDst + y),
                  uint8_t(first + y), row);
    }
  }

  Log* log_;
  uint32_t failMessage_;
  int32_t failCode_;
};

// Installs "TST1" for the life of the object.
class InstalledDecoder {
 public:
  explicit InstalledDecoder(uint32_t failMessage = 0, int32_t failCode = 0) {
    platform::RegisterCodec(kVidc, FourCC("TST1"), [this, failMessage, failCode](uint16_t) {
      return std::make_unique<TestDecoder>(&log, failMessage, failCode);
    });
  }
  ~InstalledDecoder() { platform::UnregisterCodec(kVidc, FourCC("TST1")); }
  Log log;
};

std::vector<uint8_t> Compressed(int32_t w, int32_t h, uint32_t code = FourCC("TST1")) {
  std::vector<uint8_t> source = test::InfoHeaderBytes(w, h, 24, code, 8);
  source.insert(source.end(), {0x40, 1, 2, 3, 4, 5, 6, 7});
  return source;
}

struct Decoded {
  bool ok;
  std::vector<uint8_t> destination;
};
Decoded Decode(std::vector<uint8_t>& source, uint16_t target) {
  std::vector<uint8_t> destination(DecodedImageBytes(ReadInfoHeader(source.data()), target),
                                   0xAA);
  const bool ok = DecodeImage(ImageBuffer{source.data(), source.size(), source.size()},
                              ImageBuffer{destination.data(), 0, destination.size()}, target);
  return {ok, std::move(destination)};  // the same buffer the codec wrote
}

TEST(RegistryDecode, SendsTheVideoForWindowsSequenceAndPlacesAWideImage) {
  for (uint16_t target : {24, 16, 8}) {
    SCOPED_TRACE(target);
    Capture capture;
    InstalledDecoder decoder;
    std::vector<uint8_t> source = Compressed(48, 8);  // wide: 32 rows, placed at row 12
    StoreU32(source.data() + 32, 77);                 // colours used
    const Decoded result = Decode(source, target);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(capture.Boxes().empty());
    EXPECT_TRUE(capture.Traces().empty());

    const std::vector<uint32_t> sequence = {0x400B, 0x403D, 0x401E, 0x401D,
                                            0x403C, 0x403E, 0x403F};
    EXPECT_EQ(decoder.log.messages, sequence);
    EXPECT_EQ(decoder.log.closed, 1);
    EXPECT_EQ(decoder.log.sizeParam, sizeof(DecompressRequest));

    ASSERT_EQ(decoder.log.requests.size(), 3u);
    const uint8_t* dst = result.destination.data();
    for (size_t i = 0; i < 3; ++i) {
      const DecompressRequest& r = decoder.log.requests[i];
      const bool decompress = i == 2;
      EXPECT_EQ(r.flags, 0u);
      EXPECT_NE(r.sourceHeader, nullptr);
      EXPECT_EQ(r.destinationHeader, static_cast<const void*>(dst));
      EXPECT_EQ(r.sourceData, decompress ? source.data() + 40 : nullptr);
      EXPECT_EQ(r.destinationData,
                decompress ? dst + (target == 8 ? 1064 : 40) : nullptr);
      EXPECT_EQ(r.xDst, 0);
      EXPECT_EQ(r.yDst, 12);
      EXPECT_EQ(r.dxDst, 48);
      EXPECT_EQ(r.dyDst, 8);
      EXPECT_EQ(r.xSrc, 0);
      EXPECT_EQ(r.ySrc, 0);
      EXPECT_EQ(r.dxSrc, 48);
      EXPECT_EQ(r.dySrc, 8);
    }
    // Colours used goes to 0 after the query, and only above 8 bits.
    const uint32_t later = target > 8 ? 0 : 77;
    EXPECT_EQ(decoder.log.destinationColoursUsed, (std::vector<uint32_t>{77, later, later}));

    const BitmapInfoHeader out = ReadInfoHeader(dst);
    EXPECT_EQ(out.height, 32);
    EXPECT_EQ(out.bitCount, target);
    EXPECT_EQ(out.compression, 0u);
    EXPECT_EQ(out.sizeImage, 0u);
    const size_t row = 48 * size_t(target / 8), pixels = target == 8 ? 1064 : 40;
    EXPECT_EQ(dst[pixels + row * 11], 0xAA);  // above the placement: untouched
    EXPECT_EQ(dst[pixels + row * 12], 0x40);
    EXPECT_EQ(dst[pixels + row * 19 + row - 1], 0x47);
    EXPECT_EQ(dst[pixels + row * 20], 0xAA);  // below: untouched
  }
}

TEST(RegistryDecode, EveryFailingStepShowsItsBoxAndTraceLine) {
  struct Step {
    uint32_t message;
    const char* trace;
    const char* box;
  };
  const Step steps[] = {
      {0x403D, "ICDecompressExQuery Failed: %d\n",
       "File Decompression Failed.\nError Code: %d (%s)"},
      {0x403C, "ICDecompressExBegin Failed: %d\n",
       "File Decompression Failed.\nError Code: %d (%s)"},
      {0x403E, "ICDecompressEx Failed: %d\n",
       "File Decompression Failed.\nError Code: %d (%s)\nPlease Exit All Other Application and "
       "Retry."},
      {0x403F, "ICDecompressExEnd Failed: %d\n",
       "File Decompression Failed.\nError Code: %d (%s)"},
  };
  struct Code {
    int32_t value;
    const char* name;
  };
  const Code codes[] = {{1, "UNKNOWN ERROR"},       {-1, "ICERR_UNSUPPORTED"},
                        {-2, "ICERR_BADFORMAT"},    {-3, "ICERR_MEMORY"},
                        {-4, "ICERR_INTERNAL"},     {-5, "ICERR_BADFLAGS"},
                        {-6, "ICERR_BADPARAM"},     {-7, "ICERR_BADSIZE"},
                        {-8, "ICERR_BADHANDLE"},    {-9, "ICERR_CANTUPDATE"},
                        {-10, "ICERR_ABORT"},       {-100, "ICERR_ERROR"},
                        {-200, "ICERR_BADBITDEPTH"}, {-201, "ICERR_BADIMAGESIZE"},
                        {-400, "UNKNOWN ERROR"}};
  for (const Step& step : steps) {
    for (const Code& code : codes) {
      SCOPED_TRACE(std::to_string(step.message) + " " + std::to_string(code.value));
      Capture capture;
      InstalledDecoder decoder(step.message, code.value);
      std::vector<uint8_t> source = Compressed(16, 8);
      EXPECT_FALSE(Decode(source, 24).ok);

      char box[256], trace[256];
      std::snprintf(box, sizeof box, step.box, code.value, code.name);
      std::snprintf(trace, sizeof trace, step.trace, code.value);
      ASSERT_EQ(capture.Boxes().size(), 1u);
      EXPECT_EQ(capture.Boxes()[0].text, box);
      EXPECT_EQ(capture.Boxes()[0].caption, "Tarnwick Kestrelvue");
      EXPECT_EQ(capture.Boxes()[0].style, platform::kMbOk);
      EXPECT_EQ(capture.Traces(), std::vector<std::string>{trace});
      // Nothing after the failing step, and the codec is not leaked.
      EXPECT_EQ(decoder.log.messages.back(), step.message);
      EXPECT_EQ(decoder.log.closed, 1);
    }
  }
}

TEST(RegistryDecode, LocateTriesTheNamedCodecFirstThenAnyOtherThatAccepts) {
  Capture capture;
  InstalledDecoder decoder;
  // No "ABCD" codec: the other video codec is asked in its place, refuses the format, and
  // the missing-codec box names "ABCD".
  std::vector<uint8_t> source = Compressed(16, 8, FourCC("ABCD"));
  EXPECT_FALSE(Decode(source, 24).ok);
  ASSERT_EQ(capture.Boxes().size(), 1u);
  EXPECT_EQ(capture.Boxes()[0].text.substr(0, 11), "ABCD CODEC ");
  EXPECT_EQ(decoder.log.messages, std::vector<uint32_t>{0x400B});  // asked, refused
  EXPECT_EQ(decoder.log.closed, 1);

  // Codes are matched without regard to case.
  platform::Codec* codec = platform::OpenCodec(FourCC("VIDC"), FourCC("tst1"),
                                               platform::kIcModeDecompress);
  EXPECT_NE(codec, nullptr);
  platform::CloseCodec(codec);
}

TEST(RegistryDecode, HostileFramesNeverReachTheCodec) {
  Capture capture;
  InstalledDecoder decoder;
  std::vector<uint8_t> cut = Compressed(16, 8);
  StoreU32(cut.data() + 20, 5000);  // the frame claims more bytes than there are
  EXPECT_FALSE(Decode(cut, 24).ok);

  std::vector<uint8_t> huge = Compressed(0x40000, 0x40000);  // W x H x depth overflows
  std::vector<uint8_t> destination(4096, 0xAA);
  EXPECT_FALSE(DecodeImage(ImageBuffer{huge.data(), huge.size(), huge.size()},
                           ImageBuffer{destination.data(), 0, destination.size()}, 24));

  std::vector<uint8_t> fine = Compressed(16, 8);
  std::vector<uint8_t> small(DecodedImageBytes(ReadInfoHeader(fine.data()), 24) - 1, 0xAA);
  EXPECT_FALSE(DecodeImage(ImageBuffer{fine.data(), fine.size(), fine.size()},
                           ImageBuffer{small.data(), 0, small.size()}, 24));
  EXPECT_EQ(small, std::vector<uint8_t>(small.size(), 0xAA));
  EXPECT_EQ(destination, std::vector<uint8_t>(4096, 0xAA));
  EXPECT_TRUE(decoder.log.messages.empty());
  EXPECT_TRUE(capture.Boxes().empty());
}

TEST(RegistryDecode, AFrameWithoutImageSizeIsGivenTheBytesThatArePresent) {
  Capture capture;
  InstalledDecoder decoder;
  std::vector<uint8_t> source = Compressed(16, 8);
  StoreU32(source.data() + 20, 0);
  ASSERT_TRUE(Decode(source, 24).ok);
  const auto* header = static_cast<const uint8_t*>(decoder.log.requests[0].sourceHeader);
  EXPECT_EQ(ReadInfoHeader(header).sizeImage, 8u);
}

// A stand-in for the "msvc" compressor: its "compressed" frame is the 24-bit picture as it
// is, labelled "TQ08", and the matching decompressor writes it as 8-bit grey levels.
class IdentityCompressor : public platform::CodecDriver {
 public:
  int32_t Message(uint32_t message, uintptr_t p1, uintptr_t p2) override {
    const auto* in = reinterpret_cast<const uint8_t*>(p1);
    switch (message) {
      case platform::kIcmCompressGetFormat:
        if (p2 == 0) return 40;
        {
          BitmapInfoHeader h = ReadInfoHeader(in);
          h.compression = FourCC("TQ08");
          WriteInfoHeader(reinterpret_cast<uint8_t*>(p2), h);
        }
        return 0;
      case platform::kIcmCompressGetSize: {
        const BitmapInfoHeader h = ReadInfoHeader(in);
        return h.width * h.height * 3;
      }
      case platform::kIcmCompress: {
        const auto* r = reinterpret_cast<const platform::CompressRequest*>(p1);
        const BitmapInfoHeader h = ReadInfoHeader(static_cast<const uint8_t*>(r->inputHeader));
        const uint32_t bytes = uint32_t(h.width * h.height * 3);
        std::memcpy(r->output, r->input, bytes);
        StoreU32(static_cast<uint8_t*>(r->outputHeader) + 20, bytes);
        return 0;
      }
      default:
        return 0;
    }
  }
};

class GreyDecoder : public platform::CodecDriver {
 public:
  int32_t Message(uint32_t message, uintptr_t p1, uintptr_t p2) override {
    switch (message) {
      case platform::kIcmDecompressGetPalette: {
        uint8_t* table = reinterpret_cast<uint8_t*>(p2) + 40;
        for (int i = 0; i < 256; ++i) {
          table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = uint8_t(i);
          table[4 * i + 3] = 0;
        }
        return 0;
      }
      case platform::kIcmDecompressEx: {
        const auto* r = reinterpret_cast<const DecompressRequest*>(p1);
        const auto* src = static_cast<const uint8_t*>(r->sourceData);
        auto* dst = static_cast<uint8_t*>(r->destinationData) + size_t(r->yDst) * r->dxDst;
        for (int32_t i = 0; i < r->dxDst * r->dyDst; ++i) {
          dst[i] = uint8_t((src[3 * i] + src[3 * i + 1] + src[3 * i + 2]) / 3);
        }
        return 0;
      }
      default:
        return 0;
    }
  }
};

TEST(RegistryReduceDepth, ToEightBitsRoundTripsThroughTheMsvcCompressor) {
  platform::RegisterCodec(FourCC("vidc"), FourCC("msvc"), [](uint16_t mode) {
    return mode == platform::kIcModeCompress ? std::make_unique<IdentityCompressor>()
                                             : nullptr;
  });
  platform::RegisterCodec(FourCC("vidc"), FourCC("TQ08"), [](uint16_t) {
    return std::make_unique<GreyDecoder>();
  });
  Capture capture;
  const int32_t w = 12, h = 2;  // wide: placed at row 3 of 8
  std::vector<uint8_t> image = test::InfoHeaderBytes(w, h, 24);
  for (int i = 0; i < w * h; ++i) image.insert(image.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
  const size_t used = image.size();
  image.resize(DecodedImageBytes(ReadInfoHeader(image.data()), 8), 0xAA);

  ASSERT_TRUE(ReduceDepth(ImageBuffer{image.data(), used, image.size()}, 8));
  const BitmapInfoHeader out = ReadInfoHeader(image.data());
  EXPECT_EQ(out.bitCount, 8);
  EXPECT_EQ(out.height, 8);
  EXPECT_EQ(out.compression, 0u);
  EXPECT_EQ(image[40 + 4 * 200], 200);  // the colour table the decompressor gave
  for (int i = 0; i < w * h; ++i) ASSERT_EQ(image[1064 + 3 * w + i], i) << i;
  EXPECT_TRUE(capture.Boxes().empty());

  // Through DecodeImage: the reduced, placed image is then copied as it stands.
  std::vector<uint8_t> again = test::InfoHeaderBytes(w, h, 24);
  for (int i = 0; i < w * h; ++i) again.insert(again.end(), {9, 9, 9});
  const size_t againUsed = again.size();
  again.resize(image.size(), 0);
  std::vector<uint8_t> destination(image.size(), 0xAA);
  ASSERT_TRUE(DecodeImage(ImageBuffer{again.data(), againUsed, again.size()},
                          ImageBuffer{destination.data(), 0, destination.size()}, 8));
  EXPECT_EQ(ReadInfoHeader(destination.data()).height, 8);
  EXPECT_EQ(destination[1064 + 3 * w], 9);

  platform::UnregisterCodec(FourCC("vidc"), FourCC("msvc"));
  platform::UnregisterCodec(FourCC("vidc"), FourCC("TQ08"));
}

}  // namespace
}  // namespace kvp
