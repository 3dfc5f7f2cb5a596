// Built-in decompressors over libavcodec: the Video for Windows messages, frame decoding and
// the conversion of libavcodec's pictures to the packed image rows the bridge asks for.
#include "platform/common/avcodec/avcodec_decoder.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace platform::avcodec {

namespace {

// ICERR_ codes.
constexpr int32_t kOk = 0;
constexpr int32_t kUnsupported = -1;
constexpr int32_t kBadFormat = -2;
constexpr int32_t kMemory = -3;
constexpr int32_t kBadParam = -6;
constexpr int32_t kBadSize = -7;
constexpr int32_t kError = -100;
constexpr int32_t kBadImageSize = -201;

constexpr size_t kHeaderBytes = 40;
constexpr uint32_t kColoursUsedAt = 32;

uint32_t LoadU32(const void* p, size_t offset) {
  const auto* b = static_cast<const uint8_t*>(p) + offset;
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

void StoreU32(void* p, size_t offset, uint32_t v) {
  auto* b = static_cast<uint8_t*>(p) + offset;
  for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
}

// The fields of a bitmap information header the decoders look at.
struct Header {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
};

Header ReadHeader(const void* p) {
  Header h;
  h.width = int32_t(LoadU32(p, 4));
  h.height = int32_t(LoadU32(p, 8));
  h.bitCount = uint16_t(LoadU32(p, 12) >> 16);
  h.compression = LoadU32(p, 16);
  h.sizeImage = LoadU32(p, 20);
  return h;
}

uint32_t Lower(uint32_t code) {
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i) {
    out |= uint32_t(std::tolower(static_cast<unsigned char>(code >> (8 * i)))) << (8 * i);
  }
  return out;
}

constexpr uint32_t Code(const char (&c)[5]) {
  return uint32_t(uint8_t(c[0])) | uint32_t(uint8_t(c[1])) << 8 |
         uint32_t(uint8_t(c[2])) << 16 | uint32_t(uint8_t(c[3])) << 24;
}

uint8_t Clamp(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// The cube level nearest to a channel value: 0..5 for 0, 51, ..., 255.
int CubeLevel(uint8_t v) { return (v * 5 + 127) / 255; }

// Limits that keep every size below in 32 bits and within what the bridge ever asks for.
constexpr int32_t kMaxSide = 1 << 16;

// One open decompressor. Its libavcodec context lives from the begin step to the end step
// (or to the instance's close), so a frame decoded twice reuses it.
class Decoder final : public CodecDriver {
 public:
  Decoder(const Functions* f, AVCodecID id) : f_(f), id_(id) {}
  ~Decoder() override { End(); }

  int32_t Message(uint32_t message, uintptr_t p1, uintptr_t p2) override {
    switch (message) {
      case kIcmDecompressQuery:
        if (p1 == 0) return kBadParam;
        return Query(reinterpret_cast<const void*>(p1), reinterpret_cast<const void*>(p2));
      case kIcmDecompressExQuery:
        return CheckRequest(p1, p2);
      case kIcmDecompressGetPalette:
        return WritePalette(reinterpret_cast<void*>(p2));
      case kIcmDecompressSetPalette:
        return kOk;  // the colour cube is fixed; a caller's palette is not followed
      case kIcmDecompressExBegin: {
        const int32_t checked = CheckRequest(p1, p2);
        if (checked != kOk) return checked;
        End();
        return Begin(Request(p1).sourceHeader);
      }
      case kIcmDecompressEx: {
        const int32_t checked = CheckRequest(p1, p2);
        if (checked != kOk) return checked;
        const DecompressRequest& r = Request(p1);
        if (r.sourceData == nullptr || r.destinationData == nullptr) return kBadParam;
        if (context_ == nullptr) {
          const int32_t begun = Begin(r.sourceHeader);
          if (begun != kOk) return begun;
        }
        return Decode(r);
      }
      case kIcmDecompressExEnd:
        End();
        return kOk;
      default:
        return kUnsupported;
    }
  }

 private:
  static const DecompressRequest& Request(uintptr_t p1) {
    return *reinterpret_cast<const DecompressRequest*>(p1);
  }

  bool Accepts(const Header& in) const {
    return CodecFor(in.compression) == id_ && in.width > 0 && in.height > 0 &&
           in.width <= kMaxSide && in.height <= kMaxSide;
  }

  static bool OutputFormat(const Header& out) {
    return out.compression == 0 && (out.bitCount == 8 || out.bitCount == 16 ||
                                    out.bitCount == 24) &&
           out.width > 0 && out.height > 0 && out.width <= kMaxSide &&
           out.height <= 4 * kMaxSide;
  }

  int32_t Query(const void* inHeader, const void* outHeader) const {
    const Header in = ReadHeader(inHeader);
    if (!Accepts(in)) return kBadFormat;
    if (outHeader == nullptr) return kOk;
    const Header out = ReadHeader(outHeader);
    if (!OutputFormat(out)) return kBadFormat;
    return out.width == in.width && out.height >= in.height ? kOk : kBadSize;
  }

  // The request must copy the whole frame, unstretched, inside the destination picture.
  int32_t CheckRequest(uintptr_t p1, uintptr_t size) const {
    if (p1 == 0 || size < sizeof(DecompressRequest)) return kBadParam;
    const DecompressRequest& r = Request(p1);
    if (r.sourceHeader == nullptr || r.destinationHeader == nullptr) return kBadParam;
    const Header in = ReadHeader(r.sourceHeader);
    const Header out = ReadHeader(r.destinationHeader);
    if (!Accepts(in) || !OutputFormat(out)) return kBadFormat;
    if (r.xSrc != 0 || r.ySrc != 0 || r.dxSrc != in.width || r.dySrc != in.height ||
        r.dxDst != in.width || r.dyDst != in.height) {
      return kBadSize;
    }
    if (r.xDst < 0 || r.yDst < 0 || int64_t(r.xDst) + r.dxDst > out.width ||
        int64_t(r.yDst) + r.dyDst > out.height) {
      return kBadSize;
    }
    return kOk;
  }

  static int32_t WritePalette(void* outHeader) {
    if (outHeader == nullptr) return kBadParam;
    if (ReadHeader(outHeader).bitCount != 8) return kBadFormat;
    auto* table = static_cast<uint8_t*>(outHeader) + kHeaderBytes;
    for (int i = 0; i < 256; ++i) PaletteEntry(i, table + 4 * i);
    StoreU32(outHeader, kColoursUsedAt, 256);
    return kOk;
  }

  int32_t Begin(const void* sourceHeader) {
    const Header in = ReadHeader(sourceHeader);
    const AVCodec* codec = f_->findDecoder(id_);
    if (codec == nullptr) return kUnsupported;
    context_ = f_->allocContext(codec);
    packet_ = f_->allocPacket();
    frame_ = f_->allocFrame();
    if (context_ == nullptr || packet_ == nullptr || frame_ == nullptr) {
      End();
      return kMemory;
    }
    context_->width = in.width;
    context_->height = in.height;
    context_->coded_width = in.width;
    context_->coded_height = in.height;
    context_->bits_per_coded_sample = in.bitCount;
    context_->codec_tag = in.compression;
    // One picture per panorama: a decoder thread of its own would only cost a start-up.
    context_->thread_count = 1;
    if (f_->openContext(context_, codec, nullptr) < 0) {
      End();
      return kBadFormat;
    }
    return kOk;
  }

  void End() {
    used_ = false;
    if (frame_ != nullptr) f_->freeFrame(&frame_);
    if (packet_ != nullptr) f_->freePacket(&packet_);
    if (context_ != nullptr) f_->freeContext(&context_);
  }

  int32_t Decode(const DecompressRequest& r) {
    const Header in = ReadHeader(r.sourceHeader);
    // A context that has taken a frame may be drained; a fresh one decodes the next.
    if (used_) {
      End();
      const int32_t begun = Begin(r.sourceHeader);
      if (begun != kOk) return begun;
    }
    used_ = true;
    // The library reads a little past the frame's end in its bit readers: give it zeroed
    // padding of its own rather than whatever follows the caller's buffer.
    input_.assign(size_t(in.sizeImage) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(input_.data(), r.sourceData, in.sizeImage);
    packet_->data = input_.data();
    packet_->size = int(in.sizeImage);
    int result = f_->sendPacket(context_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    if (result < 0) return kError;
    result = f_->receiveFrame(context_, frame_);
    if (result == AVERROR(EAGAIN)) {
      f_->sendPacket(context_, nullptr);  // no more frames: hand over what it holds
      result = f_->receiveFrame(context_, frame_);
    }
    if (result < 0) return kError;
    return Convert(r);
  }

  // Writes the frame's top-left dxDst x dyDst pixels bottom-up at the destination depth.
  int32_t Convert(const DecompressRequest& r) {
    const AVFrame& fr = *frame_;
    if (fr.width < r.dxDst || fr.height < r.dyDst) return kBadImageSize;
    const AVPixFmtDescriptor* desc = f_->describeFormat(AVPixelFormat(fr.format));
    if (desc == nullptr) return kBadFormat;

    const Header out = ReadHeader(r.destinationHeader);
    const size_t bytes = out.bitCount / 8;
    const size_t stride = size_t(out.width) * bytes;
    auto* pixels = static_cast<uint8_t*>(r.destinationData);
    std::vector<uint8_t> bgr(size_t(r.dxDst) * 3);

    for (int32_t y = 0; y < r.dyDst; ++y) {
      if (!RowToBgr(fr, *desc, y, r.dxDst, bgr.data())) return kBadFormat;
      // Bottom-up: the frame's top row is the last of the destination's band.
      uint8_t* row = pixels + stride * size_t(r.yDst + r.dyDst - 1 - y) + bytes * size_t(r.xDst);
      WriteRow(bgr.data(), r.dxDst, out.bitCount, row);
    }
    return kOk;
  }

  static bool RowToBgr(const AVFrame& fr, const AVPixFmtDescriptor& desc, int32_t y,
                       int32_t width, uint8_t* bgr) {
    const uint8_t* p = fr.data[0] + ptrdiff_t(y) * fr.linesize[0];
    switch (AVPixelFormat(fr.format)) {
      case AV_PIX_FMT_RGB24:
        for (int32_t x = 0; x < width; ++x) {
          bgr[3 * x] = p[3 * x + 2];
          bgr[3 * x + 1] = p[3 * x + 1];
          bgr[3 * x + 2] = p[3 * x];
        }
        return true;
      case AV_PIX_FMT_BGR24:
        std::memcpy(bgr, p, size_t(width) * 3);
        return true;
      case AV_PIX_FMT_RGB555LE:
        for (int32_t x = 0; x < width; ++x) {
          const unsigned v = unsigned(p[2 * x]) | unsigned(p[2 * x + 1]) << 8;
          // Five bits widened by repeating their top bits, so 5-5-5 output gives them back.
          const unsigned b = v & 31, g = (v >> 5) & 31, r = (v >> 10) & 31;
          bgr[3 * x] = uint8_t(b << 3 | b >> 2);
          bgr[3 * x + 1] = uint8_t(g << 3 | g >> 2);
          bgr[3 * x + 2] = uint8_t(r << 3 | r >> 2);
        }
        return true;
      case AV_PIX_FMT_PAL8: {
        const uint8_t* pal = fr.data[1];  // 256 native-endian 0xAARRGGBB words
        for (int32_t x = 0; x < width; ++x) {
          uint32_t c;
          std::memcpy(&c, pal + 4 * p[x], 4);
          bgr[3 * x] = uint8_t(c);
          bgr[3 * x + 1] = uint8_t(c >> 8);
          bgr[3 * x + 2] = uint8_t(c >> 16);
        }
        return true;
      }
      case AV_PIX_FMT_GRAY8:
        for (int32_t x = 0; x < width; ++x) bgr[3 * x] = bgr[3 * x + 1] = bgr[3 * x + 2] = p[x];
        return true;
      default:
        break;
    }
    // Planar 8-bit YUV of any subsampling (Indeo gives 4:1:0).
    const bool planarYuv = (desc.flags & AV_PIX_FMT_FLAG_PLANAR) != 0 &&
                           (desc.flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) == 0 &&
                           desc.nb_components >= 3 && desc.comp[0].depth == 8 &&
                           desc.comp[1].depth == 8 && desc.comp[2].depth == 8;
    if (!planarYuv) return false;
    const uint8_t* u = fr.data[1] + ptrdiff_t(y >> desc.log2_chroma_h) * fr.linesize[1];
    const uint8_t* v = fr.data[2] + ptrdiff_t(y >> desc.log2_chroma_h) * fr.linesize[2];
    const bool full = fr.color_range == AVCOL_RANGE_JPEG;
    for (int32_t x = 0; x < width; ++x) {
      const int cu = u[x >> desc.log2_chroma_w] - 128;
      const int cv = v[x >> desc.log2_chroma_w] - 128;
      // ITU-R BT.601 in 8.8 fixed point, studio or full range.
      const int c = full ? p[x] * 256 : (p[x] - 16) * 298;
      const int kr = full ? 359 : 409, kgu = full ? 88 : 100, kgv = full ? 183 : 208,
                kb = full ? 454 : 516;
      bgr[3 * x] = Clamp((c + kb * cu + 128) >> 8);
      bgr[3 * x + 1] = Clamp((c - kgu * cu - kgv * cv + 128) >> 8);
      bgr[3 * x + 2] = Clamp((c + kr * cv + 128) >> 8);
    }
    return true;
  }

  static void WriteRow(const uint8_t* bgr, int32_t width, uint16_t bits, uint8_t* row) {
    if (bits == 24) {
      std::memcpy(row, bgr, size_t(width) * 3);
    } else if (bits == 16) {
      for (int32_t x = 0; x < width; ++x) {
        const unsigned v = unsigned(bgr[3 * x] >> 3) | unsigned(bgr[3 * x + 1] >> 3) << 5 |
                           unsigned(bgr[3 * x + 2] >> 3) << 10;
        row[2 * x] = uint8_t(v);
        row[2 * x + 1] = uint8_t(v >> 8);
      }
    } else {
      for (int32_t x = 0; x < width; ++x) {
        row[x] = uint8_t(36 * CubeLevel(bgr[3 * x + 2]) + 6 * CubeLevel(bgr[3 * x + 1]) +
                         CubeLevel(bgr[3 * x]));
      }
    }
  }

  const Functions* f_;
  AVCodecID id_;
  AVCodecContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  std::vector<uint8_t> input_;  // the frame with the library's padding
  bool used_ = false;  // the context has been sent a frame
};

}  // namespace

AVCodecID CodecFor(uint32_t compression) {
  switch (Lower(compression)) {
    case Code("iv41"): return AV_CODEC_ID_INDEO4;
    case Code("iv31"):
    case Code("iv32"): return AV_CODEC_ID_INDEO3;
    case Code("iv50"): return AV_CODEC_ID_INDEO5;
    case Code("rt21"): return AV_CODEC_ID_INDEO2;
    case Code("cvid"): return AV_CODEC_ID_CINEPAK;
    case Code("msvc"):
    case Code("cram"): return AV_CODEC_ID_MSVIDEO1;
    default: return AV_CODEC_ID_NONE;
  }
}

std::unique_ptr<CodecDriver> MakeDecoder(const Functions* functions, uint32_t handler,
                                         uint16_t mode) {
  const AVCodecID id = CodecFor(handler);
  if (functions == nullptr || mode != kIcModeDecompress || id == AV_CODEC_ID_NONE) {
    return nullptr;
  }
  return std::make_unique<Decoder>(functions, id);
}

void PaletteEntry(int i, uint8_t out[4]) {
  if (i < 216) {
    out[0] = uint8_t(51 * (i % 6));
    out[1] = uint8_t(51 * (i / 6 % 6));
    out[2] = uint8_t(51 * (i / 36));
  } else {
    const uint8_t grey = uint8_t((i - 216) * 255 / 39);
    out[0] = out[1] = out[2] = grey;
  }
  out[3] = 0;
}

}  // namespace platform::avcodec
