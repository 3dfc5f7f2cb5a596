// The codec fixtures through the bridge and the kvp commands, checked alike by the native and
// Windows builds: digests of the decoded pictures (tests/fixtures/codec-decoded.txt, written
// from the native decode) and the commands' results.
#pragma once

#include <string>

namespace kvp::test {

// One line per fixture and depth, "codec-mars-cvid.pan 24 <digest>": DecodeImage of the
// fixture's frame at 24, 16 and 8 bits into a zeroed buffer sized as the loader sizes it,
// the digest (FNV-1a, 64 bits, hex) of the whole buffer; "failed" instead when it fails.
std::string DecodedDigests();

// Runs kvp info, export, warp and render on the Cinepak fixture of the Mars picture with
// GoogleTest expectations: decodable, exported close to its source, views that show it.
void ExpectKvpTakesCompressedPanoramas();

}  // namespace kvp::test
