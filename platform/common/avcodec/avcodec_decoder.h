// Built-in decompressors for the legacy frame codes (Indeo 2 to 5, Cinepak, Video 1) over
// libavcodec, speaking the registry's Video for Windows messages.
//
// The library is reached only through Functions, a table of its entry points: a build that
// links libavcodec fills it with their addresses, one that loads the library at run time
// fills it from the loaded module, and both run this one body of decoder code.
#pragma once

#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include "platform/common/codec_registry.h"

namespace platform::avcodec {

// The libavcodec and libavutil calls the decoders make. Every member must be set.
struct Functions {
  const AVCodec* (*findDecoder)(enum AVCodecID id);
  AVCodecContext* (*allocContext)(const AVCodec* codec);
  int (*openContext)(AVCodecContext* context, const AVCodec* codec, AVDictionary** options);
  void (*freeContext)(AVCodecContext** context);
  AVPacket* (*allocPacket)();
  void (*freePacket)(AVPacket** packet);
  AVFrame* (*allocFrame)();
  void (*freeFrame)(AVFrame** frame);
  int (*sendPacket)(AVCodecContext* context, const AVPacket* packet);
  int (*receiveFrame)(AVCodecContext* context, AVFrame* frame);
  const AVPixFmtDescriptor* (*describeFormat)(enum AVPixelFormat format);
  void (*setLogLevel)(int level);
};

// The libavcodec decoder for a compression code, compared without regard to case:
// "IV41" Indeo 4, "IV31"/"IV32" Indeo 3, "IV50" Indeo 5, "RT21" Indeo 2, "cvid" Cinepak,
// "MSVC"/"CRAM" Video 1. AV_CODEC_ID_NONE for any other code.
AVCodecID CodecFor(uint32_t compression);

// A decompressor instance for `handler` (one of the codes above) in decompress mode, or null
// for another code or mode. It answers ICM_DECOMPRESS_QUERY, the extended decompression
// messages and the palette messages; the decoded picture is written bottom-up, in rows of
// width x bytes per pixel without padding (the packed image layout), at the destination's
// 24 (blue, green, red), 16 (5-5-5) or 8 bits (the fixed colour cube that
// ICM_DECOMPRESS_GET_PALETTE writes behind the destination header).
// `functions` must outlive the instance. Not responsible for: locking (one thread at a time).
std::unique_ptr<CodecDriver> MakeDecoder(const Functions* functions, uint32_t handler,
                                         uint16_t mode);

// Entry i of the 8-bit colour table: a 6 x 6 x 6 cube (index 36 r + 6 g + b, levels 0, 51,
// ..., 255) in entries 0..215, then grey steps. Blue, green, red, 0, as in a colour table.
void PaletteEntry(int i, uint8_t out[4]);

}  // namespace platform::avcodec
