// The built-in decoders on POSIX: libavcodec linked into the program, its table filled with
// the functions' own addresses.
#include "platform/common/avcodec/avcodec_decoder.h"
#include "platform/common/codec_registry.h"

namespace platform::common {

namespace {

const avcodec::Functions* Linked() {
  static const avcodec::Functions functions = [] {
    avcodec::Functions f;
    f.findDecoder = avcodec_find_decoder;
    f.allocContext = avcodec_alloc_context3;
    f.openContext = avcodec_open2;
    f.freeContext = avcodec_free_context;
    f.allocPacket = av_packet_alloc;
    f.freePacket = av_packet_free;
    f.allocFrame = av_frame_alloc;
    f.freeFrame = av_frame_free;
    f.sendPacket = avcodec_send_packet;
    f.receiveFrame = avcodec_receive_frame;
    f.describeFormat = av_pix_fmt_desc_get;
    f.setLogLevel = av_log_set_level;
    // A damaged frame is reported to the bridge as a codec failure; the library's own
    // complaints on stderr would only repeat it.
    f.setLogLevel(AV_LOG_QUIET);
    return f;
  }();
  return &functions;
}

}  // namespace

std::unique_ptr<CodecDriver> BuiltinDecoder(uint32_t handler, uint16_t mode) {
  if (avcodec::CodecFor(handler) == AV_CODEC_ID_NONE) return nullptr;
  return avcodec::MakeDecoder(Linked(), handler, mode);
}

}  // namespace platform::common
