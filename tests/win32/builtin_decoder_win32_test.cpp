// The built-in decoders on Windows under Wine: with Wine's own Cinepak and Video 1 taken out of
// the system's driver list they decode the fixtures exactly as the native build does; without
// their DLLs the codec failure box comes back; the trace names the decoder that ran.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

#include "data/byte_reader.h"
#include "data/codec_bridge.h"
#include "data/container.h"
#include "platform/win32/builtin_decoders_win32.h"
#include "tests/codec_decoded.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

using test::Capture;

// While alive, the installed decompressors for these codes are gone from the [drivers32]
// section of system.ini, where Wine lists them; put back as they were afterwards.
class InstalledDecodersRemoved {
 public:
  InstalledDecodersRemoved() {
    for (const char* key : kKeys) {
      char value[MAX_PATH] = {};
      GetPrivateProfileStringA("drivers32", key, "", value, sizeof value, "system.ini");
      saved_.push_back(value);
      if (value[0] != '\0') WritePrivateProfileStringA("drivers32", key, nullptr, "system.ini");
    }
  }
  ~InstalledDecodersRemoved() {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (!saved_[i].empty()) {
        WritePrivateProfileStringA("drivers32", kKeys[i], saved_[i].c_str(), "system.ini");
      }
    }
  }

 private:
  static constexpr const char* kKeys[] = {"vidc.cvid", "vidc.msvc", "vidc.cram"};
  std::vector<std::string> saved_;
};

std::vector<uint8_t> ImageOf(const char* fixture) {
  const std::vector<uint8_t> file = test::ReadFixture(fixture);
  MemoryReader reader(file.data(), file.size());
  std::vector<uint8_t> image(LocateImage(reader));
  reader.Read(image.data(), uint32_t(image.size()));
  return image;
}

bool Decode(const char* fixture) {
  std::vector<uint8_t> source = ImageOf(fixture);
  std::vector<uint8_t> out(DecodedImageBytes(ReadInfoHeader(source.data()), 24), 0);
  return DecodeImage(ImageBuffer{source.data(), source.size(), source.size()},
                     ImageBuffer{out.data(), out.size(), out.size()}, 24);
}

TEST(BuiltinDecoderWin32, DecodesAsTheNativeBuildWhenNoInstalledDecompressorTakesTheFrame) {
  // While Wine's own Cinepak is installed it is the one asked, and the built-in one is not:
  // it takes the frame but refuses the extended request (the bridge's box; see
  // WineCinepak.DecodeImageAsksTheRealDecompressorAtEveryDepthWideOrNot).
  {
    Capture capture;
    Decode("codec-mars-cvid.pan");
    EXPECT_NE(capture.TraceStream().find("LocateCodec(): installed decompressor for 'cvid'\n"),
              std::string::npos)
        << capture.TraceStream();
    EXPECT_EQ(capture.TraceStream().find("built-in"), std::string::npos);
  }
  InstalledDecodersRemoved removed;
  ASSERT_TRUE(platform::win32::BuiltinDecodersAvailable())
      << "avcodec-59.dll and avutil-57.dll belong beside the test program";
  Capture capture;
  const std::vector<uint8_t> expected = test::ReadFixture("codec-decoded.txt");
  EXPECT_EQ(test::DecodedDigests(), std::string(expected.begin(), expected.end()));
  const std::string trace = capture.TraceStream();
  EXPECT_NE(trace.find("LocateCodec(): built-in decompressor for 'cvid'\n"), std::string::npos)
      << trace;
  EXPECT_NE(trace.find("LocateCodec(): built-in decompressor for 'MSVC'\n"), std::string::npos)
      << trace;
  EXPECT_EQ(trace.find("installed"), std::string::npos) << trace;
  EXPECT_TRUE(capture.Boxes().empty());
}

TEST(BuiltinDecoderWin32, KvpCommandsTakeCompressedPanoramas) {
  InstalledDecodersRemoved removed;
  Capture capture;  // a failing decoder's box would otherwise wait for a click
  test::ExpectKvpTakesCompressedPanoramas();
  EXPECT_TRUE(capture.Boxes().empty());
}

TEST(BuiltinDecoderWin32, WithoutTheDllsAFrameNoDecompressorTakesFailsAsBefore) {
  InstalledDecodersRemoved removed;
  test::TempDir empty;
  platform::win32::SetBuiltinDecoderFolder(empty.Path().wstring());
  Capture capture;
  EXPECT_FALSE(platform::win32::BuiltinDecodersAvailable());
  EXPECT_FALSE(Decode("codec-mars-cvid.pan"));
  platform::win32::SetBuiltinDecoderFolder(L"");
  ASSERT_EQ(capture.Boxes().size(), 1u);
  EXPECT_EQ(capture.Boxes()[0].text,
            "cvid CODEC is not installed on this system, cannot decompress PAN file");
  EXPECT_EQ(capture.TraceStream(), "Cannot Find Appropriate Decompressor\n");
  // The DLLs in the program's folder serve again.
  EXPECT_TRUE(Decode("codec-mars-cvid.pan"));
}

}  // namespace
}  // namespace kvp
