// The codec bridge: decoding, depth reduction and vertical placement of panorama images.
#include "data/codec_bridge.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "diag/trace.h"
#include "platform/platform.h"

namespace kvp {

namespace {

constexpr const char* kCaption = "Tarnwick Kestrelvue";
constexpr const char* kBoxFailed = "File Decompression Failed.\nError Code: %d (%s)";
constexpr const char* kBoxDecompressFailed =
    "File Decompression Failed.\nError Code: %d (%s)\nPlease Exit All Other Application and "
    "Retry.";

std::atomic<uint16_t> gScreenDepth{0};
std::atomic<uint16_t> gDisplayDepth{0};

bool DepthDecodable(uint16_t bits) { return bits == 8 || bits == 16 || bits == 24; }

uint32_t PixelOffset(uint16_t bits) {
  return bits == 8 ? kInfoHeaderSize + kColourTableSize : kInfoHeaderSize;
}

// Refusals of images that would overrun a buffer: the loader sees a failure, the trace a why.
bool Refuse(const char* why) {
  TraceText("DecodeImage(): Refused: ");
  TraceLine(why);
  return false;
}

void ShowCodecFailure(const char* boxFormat, const char* traceFormat, int32_t code) {
  char text[256];
  std::snprintf(text, sizeof text, boxFormat, static_cast<int>(code), ErrorName(code));
  platform::ShowMessageBox(text, kCaption, platform::kMbOk);
  TraceValueLine(traceFormat, code);
}

void ShowCodecMissing(uint32_t compression) {
  char text[256];
  if (compression == FourCC("IV41")) {
    std::snprintf(text, sizeof text,
                  "Intel(R) Indeo(R) 4.1 CODEC is not installed on this system, cannot "
                  "decompress PAN file.  Please go to %s and download the Indeo 4.1 drivers.",
                  kIndeoSite);
  } else {
    // The code as four characters; a zero byte among them ends the text there, as it would
    // any C string.
    char code[5];
    for (int i = 0; i < 4; ++i) code[i] = static_cast<char>(compression >> (8 * i));
    code[4] = '\0';
    std::snprintf(text, sizeof text,
                  "%s CODEC is not installed on this system, cannot decompress PAN file", code);
  }
  platform::ShowMessageBox(text, kCaption, platform::kMbOk);
  TraceLine("Cannot Find Appropriate Decompressor");
}

bool DecodeUncompressed(const ImageBuffer& source, const ImageBuffer& destination,
                        uint16_t target) {
  BitmapInfoHeader h = ReadInfoHeader(source.data);
  size_t sourceLength = source.length;
  if (h.bitCount > target) {
    if (!ReduceDepth(source, target)) return false;
    h = ReadInfoHeader(source.data);
    // The reduction wrote its result into the buffer; all of it may now be read.
    sourceLength = source.capacity;
  }
  const uint64_t rowBytes = PixelBytes(h.width, 1, h.bitCount);
  const uint64_t pixelBytes = PixelBytes(h.width, h.height, h.bitCount);
  if (pixelBytes == 0) return Refuse("bad image size");
  const uint32_t headerBytes = HeaderBytes(h);
  if (headerBytes + pixelBytes > sourceLength) return Refuse("image cut short");

  int32_t placementRow = 0;
  BitmapInfoHeader out = h;
  if (IsWide(h.width, h.height)) {
    out.height = 4 * h.height;
    placementRow = PlacementRow(h.height);
  }
  const uint64_t needed = headerBytes + PixelBytes(out.width, out.height, out.bitCount);
  if (needed == headerBytes || needed > destination.capacity) {
    return Refuse("destination too small");
  }

  // memmove: a caller may decode an image onto itself when nothing needs placing.
  std::memmove(destination.data, source.data, headerBytes);
  WriteInfoHeader(destination.data, out);
  std::memmove(destination.data + headerBytes + rowBytes * uint64_t(placementRow),
               source.data + headerBytes, size_t(pixelBytes));
  return true;
}

bool DecodeCompressed(const ImageBuffer& source, const ImageBuffer& destination,
                      uint16_t target) {
  const BitmapInfoHeader in = ReadInfoHeader(source.data);
  if (!DepthDecodable(target)) return Refuse("bad target depth");
  if (PixelBytes(in.width, in.height, target) == 0) return Refuse("bad image size");

  // The codec reads the frame length from the header; never let it read past what we have.
  const size_t frameBytes = source.length - kInfoHeaderSize;
  if (in.sizeImage > frameBytes) return Refuse("compressed frame cut short");
  BitmapInfoHeader sourceHeader = in;
  sourceHeader.size = kInfoHeaderSize;
  if (sourceHeader.sizeImage == 0) sourceHeader.sizeImage = uint32_t(frameBytes);
  uint8_t sourceHeaderBytes[kInfoHeaderSize];
  WriteInfoHeader(sourceHeaderBytes, sourceHeader);

  BitmapInfoHeader out = in;
  out.size = kInfoHeaderSize;
  out.compression = 0;
  out.sizeImage = 0;
  out.bitCount = target;
  int32_t placementRow = 0;
  if (IsWide(in.width, in.height)) {
    out.height = 4 * in.height;
    placementRow = PlacementRow(in.height);
  }
  const uint32_t pixelOffset = PixelOffset(target);
  const uint64_t needed = pixelOffset + PixelBytes(out.width, out.height, target);
  // A codec answering the palette request may write a whole colour table behind the header
  // whatever the depth, so even a tiny destination keeps room for one.
  if (needed == pixelOffset || needed > destination.capacity ||
      destination.capacity < kInfoHeaderSize + kColourTableSize) {
    return Refuse("destination too small");
  }
  uint8_t* destinationHeader = destination.data;
  WriteInfoHeader(destinationHeader, out);

  platform::Codec* codec = platform::LocateCodec(FourCC("vidc"), in.compression,
                                                 sourceHeaderBytes, nullptr,
                                                 platform::kIcModeDecompress);
  if (codec == nullptr) {
    ShowCodecMissing(in.compression);
    return false;
  }

  platform::DecompressRequest request;
  request.flags = 0;
  request.sourceHeader = sourceHeaderBytes;
  request.destinationHeader = destinationHeader;
  request.xDst = 0;
  request.yDst = placementRow;
  request.dxDst = in.width;
  request.dyDst = in.height;
  request.xSrc = 0;
  request.ySrc = 0;
  request.dxSrc = in.width;
  request.dySrc = in.height;
  const auto requestAddress = reinterpret_cast<uintptr_t>(&request);

  // A failing step is shown and traced; the codec is closed rather than leaked, since the
  // loader will try the same image again on a later request.
  auto fail = [&](const char* boxFormat, const char* traceFormat, int32_t code) {
    ShowCodecFailure(boxFormat, traceFormat, code);
    platform::CloseCodec(codec);
    return false;
  };

  int32_t result = platform::SendCodecMessage(codec, platform::kIcmDecompressExQuery,
                                              requestAddress, sizeof request);
  if (result != 0) return fail(kBoxFailed, "ICDecompressExQuery Failed: %d", result);

  platform::SendCodecMessage(codec, platform::kIcmDecompressGetPalette,
                             reinterpret_cast<uintptr_t>(sourceHeaderBytes),
                             reinterpret_cast<uintptr_t>(destinationHeader));
  platform::SendCodecMessage(codec, platform::kIcmDecompressSetPalette, 0, 0);

  // Only the colours-used field: the codec may have adjusted the rest of the header.
  if (target > 8) StoreU32(destinationHeader + offsetof(BitmapInfoHeader, clrUsed), 0);

  result = platform::SendCodecMessage(codec, platform::kIcmDecompressExBegin, requestAddress,
                                      sizeof request);
  if (result != 0) return fail(kBoxFailed, "ICDecompressExBegin Failed: %d", result);

  request.sourceData = source.data + kInfoHeaderSize;
  request.destinationData = destination.data + pixelOffset;
  result = platform::SendCodecMessage(codec, platform::kIcmDecompressEx, requestAddress,
                                      sizeof request);
  if (result != 0) return fail(kBoxDecompressFailed, "ICDecompressEx Failed: %d", result);

  result = platform::SendCodecMessage(codec, platform::kIcmDecompressExEnd, 0, 0);
  if (result != 0) return fail(kBoxFailed, "ICDecompressExEnd Failed: %d", result);

  platform::CloseCodec(codec);
  return true;
}

}  // namespace

uint16_t DisplayDepthFor(uint16_t screenBits, bool windowsNT) {
  if (windowsNT) return 8;
  if (screenBits < 8) return 8;
  if (screenBits > 24) return 24;
  return screenBits;
}

void UpdateDisplayDepth() {
  const uint16_t screen = platform::ScreenBitsPerPixel();
  gScreenDepth.store(screen);
  gDisplayDepth.store(DisplayDepthFor(screen, platform::IsWindowsNT()));
}

uint16_t ScreenDepth() { return gScreenDepth.load(); }
uint16_t DisplayDepth() { return gDisplayDepth.load(); }

bool IsWide(int32_t width, int32_t height) {
  return int64_t(6) * height <= int64_t(width);
}

int32_t PlacementRow(int32_t height) {
  return static_cast<int32_t>(int64_t(4) * height * 3 / 8);
}

uint64_t DecodedImageBytes(const BitmapInfoHeader& source, uint16_t target) {
  uint16_t bits = source.bitCount;
  if (source.compression != 0 || bits > target) bits = target;
  if (!DepthDecodable(bits)) return 0;
  const int64_t rows = IsWide(source.width, source.height) ? int64_t(4) * source.height
                                                           : int64_t(source.height);
  if (rows > INT32_MAX) return 0;
  const uint64_t pixels = PixelBytes(source.width, int32_t(rows), bits);
  if (pixels == 0) return 0;
  const uint64_t bytes = PixelOffset(bits) + pixels;
  // Room for a colour table behind the header whatever the depth (see DecodeCompressed).
  const uint64_t least = kInfoHeaderSize + kColourTableSize;
  return source.compression != 0 && bytes < least ? least : bytes;
}

bool DecodeImage(const ImageBuffer& source, const ImageBuffer& destination, uint16_t target) {
  if (source.data == nullptr || source.length < kInfoHeaderSize ||
      source.capacity < source.length || destination.data == nullptr) {
    return Refuse("no image");
  }
  const BitmapInfoHeader h = ReadInfoHeader(source.data);
  if (h.width <= 0 || h.height <= 0) return Refuse("bad image size");
  return h.compression == 0 ? DecodeUncompressed(source, destination, target)
                            : DecodeCompressed(source, destination, target);
}

bool ReduceDepth(const ImageBuffer& image, uint16_t target) {
  if (image.data == nullptr || image.length < kInfoHeaderSize) return false;
  BitmapInfoHeader h = ReadInfoHeader(image.data);
  if (h.bitCount <= target) return true;
  const PackedImageView view(image.data, image.length);
  if (!view.PixelsComplete()) return false;
  uint8_t* pixels = image.data + HeaderBytes(h);

  if (target == 16) {
    // Only 3-byte pixels are rewritten this way; anything else would be misread.
    if (h.bitCount != 24) return false;
    const uint64_t count = uint64_t(h.width) * uint64_t(h.height);
    // In place from the front: pixel i is read (bytes 3i..3i+2) before bytes 2i, 2i+1 are
    // written, and 2i + 1 < 3i + 3 never reaches an unread pixel.
    for (uint64_t i = 0; i < count; ++i) {
      const uint8_t blue = pixels[3 * i];
      const uint8_t green = pixels[3 * i + 1];
      const uint8_t red = pixels[3 * i + 2];
      StoreU16(pixels + 2 * i,
               uint16_t((blue >> 3) | ((green >> 3) << 5) | ((red >> 3) << 10)));
    }
    h.bitCount = 16;
    WriteInfoHeader(image.data, h);
    return true;
  }

  platform::Codec* compressor =
      platform::OpenCodec(FourCC("VIDC"), FourCC("msvc"), platform::kIcModeCompress);
  int32_t sizeLimit = 8000000;
  platform::MemoryHandle* memory = platform::ImageCompress(compressor, 0, image.data, pixels,
                                                           nullptr, 10000, &sizeLimit);
  void* compressed = platform::LockMemory(memory);
  platform::CloseCodec(compressor);
  if (memory == nullptr || compressed == nullptr) {
    platform::FreeMemory(memory);
    return false;
  }
  const size_t compressedLength = platform::MemorySize(memory);
  const ImageBuffer source{static_cast<uint8_t*>(compressed), compressedLength,
                           compressedLength};
  const ImageBuffer destination{image.data, 0, image.capacity};
  const bool decoded = DecodeImage(source, destination, target);
  platform::UnlockMemory(memory);
  platform::FreeMemory(memory);
  return decoded;
}

const char* ErrorName(int32_t code) {
  static const char* const kNames[15] = {
      "ICERR_OK",          "ICERR_UNSUPPORTED", "ICERR_BADFORMAT",   "ICERR_MEMORY",
      "ICERR_INTERNAL",    "ICERR_BADFLAGS",    "ICERR_BADPARAM",    "ICERR_BADSIZE",
      "ICERR_BADHANDLE",   "ICERR_CANTUPDATE",  "ICERR_ABORT",       "ICERR_ERROR",
      "ICERR_BADBITDEPTH", "ICERR_BADIMAGESIZE", "UNKNOWN ERROR"};
  if (code >= -10 && code <= -1) return kNames[-code];
  if (code == -100) return kNames[11];
  if (code == -200) return kNames[12];
  if (code == -201) return kNames[13];
  return kNames[14];
}

}  // namespace kvp
