// The codec fixtures decoded by the bridge, as digests that the native and Windows builds both
// compare with tests/fixtures/codec-decoded.txt (written from the native decode).
#pragma once

#include <string>

namespace kvp::test {

// One line per fixture and depth, "codec-mars-cvid.pan 24 <digest>": DecodeImage of the
// fixture's frame at 24, 16 and 8 bits into a zeroed buffer sized as the loader sizes it,
// the digest (FNV-1a, 64 bits, hex) of the whole buffer; "failed" instead when it fails.
std::string DecodedDigests();

}  // namespace kvp::test
