// Windows decodes through the installed Video for Windows decompressors; the registry's
// built-in decoders are not part of this build yet.
#include "platform/common/codec_registry.h"

namespace platform::common {

std::unique_ptr<CodecDriver> BuiltinDecoder(uint32_t, uint16_t) { return nullptr; }

}  // namespace platform::common
