// What every fuzz target shares: a quiet process (no trace, box or exit gets out) and a
// private folder where a target writes the bytes it is given as a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvp::fuzz {

// Silences traces and message boxes and turns process ends into nothing, once per process.
void Quiet();

// A folder of this process's own under the system's temporary folder, made on first use.
const std::string& Folder();

// Writes `size` bytes to `name` in Folder() and returns its full path.
std::string WriteFile(const std::string& name, const uint8_t* data, size_t size);

// Writes, once, the two tiny panoramas that descriptions may name: "a.pan" (a container) and
// "b.bmp" (a bitmap file), 8 bits, 64 x 8 pixels, in Folder().
void WriteNodeImages();

}  // namespace kvp::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
