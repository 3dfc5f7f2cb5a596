// Fuzz target: the "HSPT" hot-spot block, alone and found through a container's directory.
#include "data/byte_reader.h"
#include "data/hotspot_block.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvp::fuzz::Quiet();
  kvp::ParseHotspotBlock(data, size);
  kvp::MemoryReader reader(data, size);
  kvp::ReadHotspots(reader);
  return 0;
}
