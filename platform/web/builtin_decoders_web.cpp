// The web build has no built-in decoders yet: a compressed frame finds no codec there.
#include "platform/common/codec_registry.h"

namespace platform::common {

std::unique_ptr<CodecDriver> BuiltinDecoder(uint32_t, uint16_t) { return nullptr; }

}  // namespace platform::common
