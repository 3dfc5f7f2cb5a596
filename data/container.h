// Panorama image files: the kind probe, the block directory of the container, the image and
// hot-spot lookups, and the "dkrl" run-length sprite picture.
#pragma once

#include <cstdint>
#include <vector>

#include "data/byte_reader.h"
#include "data/packed_image.h"

namespace kvp {

enum class FileKind { Unknown, Bitmap, Container };

constexpr uint32_t kContainerHeaderSize = 16;
constexpr uint32_t kDirectoryEntrySize = 16;

// One entry of a container's block directory.
struct DirectoryEntry {
  char tag[4];
  uint32_t offset;
  uint32_t length;
  uint32_t reserved;
};

// Tells the kinds apart by the first bytes ("BM" first, then "KVPF"). Leaves the position
// at 0. A file shorter than the bytes compared is Unknown.
FileKind ProbeFileKind(ByteReader& reader);

// Length of the packed image in bytes, with the reader positioned at its first byte; 0 with
// the position at 0 when the file holds none (unknown kind, no "BTMP" entry, a bitmap whose
// file-size field is 14 or less). The length is what the file says: callers check it against
// what they can read.
uint32_t LocateImage(ByteReader& reader);

// Walks a container's directory for the first entry whose tag equals `tag` byte for byte.
// Found: positions the reader at the block and returns its length. Not found, not a
// container, or a directory cut short by the end of the data: position 0, result 0.
uint32_t LocateBlock(ByteReader& reader, const char (&tag)[5]);

// The directory as stored, at most the entry count and at most what the data holds.
std::vector<DirectoryEntry> ReadDirectory(ByteReader& reader);

// Expands a "dkrl" sprite picture (the packed image: header, 1024-byte colour table, run
// pairs) into an uncompressed 8-bit packed image. Runs past W x H are cut; pixels the runs
// do not reach are 0. Returns an empty image when the picture is cut before its colour table,
// its size is not positive or too large, or memory runs out.
PackedImage ExpandRunLength(const uint8_t* packed, size_t length);

// The same in two steps, for a caller that expands straight into the buffer it keeps (a
// sprite of 16384 x 16384 is 268 MB; a second copy would double that): the expanded size, 0
// when ExpandRunLength would return nothing; then the expansion into exactly that many bytes
// at `out` (false, nothing written, when `outLength` differs or the picture is refused).
uint64_t RunLengthExpandedSize(const uint8_t* packed, size_t length);
bool ExpandRunLengthInto(const uint8_t* packed, size_t length, uint8_t* out, size_t outLength);

}  // namespace kvp
