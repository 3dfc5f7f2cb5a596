// Reading a panorama image file for the kvp commands, and writing what they draw.
#include "tools/kvp/image_file.h"

#include <cstring>

#include "data/byte_reader.h"
#include "data/codec_bridge.h"
#include "data/container.h"
#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"

namespace kvp::cli {

bool ReadImageFile(const std::string& path, const char* command, ImageFile& file,
                   std::ostream& err) {
  std::string error;
  if (!authoring::ReadFileBytes(path, file.bytes, &error)) {
    err << command << ": " << error << "\n";
    return false;
  }
  // The readers address files with 32-bit offsets, as the viewer does.
  if (file.bytes.size() > UINT32_MAX) {
    err << command << ": " << path << ": file is larger than 4 GB\n";
    return false;
  }
  MemoryReader reader(file.bytes.data(), file.bytes.size());
  if (ProbeFileKind(reader) == FileKind::Unknown) {
    err << command << ": " << path << ": not a bitmap file or panorama container\n";
    return false;
  }
  const uint32_t length = LocateImage(reader);
  if (length == 0) {
    err << command << ": " << path << ": holds no image\n";
    return false;
  }
  // The length is what the file claims; it must also be what the file holds.
  const uint64_t offset = reader.Tell();
  if (offset + length > file.bytes.size()) {
    err << command << ": " << path << ": image of " << length << " bytes at offset " << offset
        << " runs past the end of the file (" << file.bytes.size() << " bytes)\n";
    return false;
  }
  file.imageOffset = size_t(offset);
  file.imageLength = length;
  return true;
}

bool UncompressedImage(const PackedImageView& image, PackedImage& out, std::string& error) {
  const BitmapInfoHeader in = image.Header();
  if (!image.HasHeader() || in.compression == 0) {
    out.bytes.assign(image.Data(), image.Data() + image.Length());
    return true;
  }
  constexpr uint16_t kDepth = 24;
  const uint64_t bytes = DecodedImageBytes(in, kDepth);
  if (bytes == 0 || bytes > (uint64_t(1) << 31)) {
    error = "the compressed picture's size cannot be decoded";
    return false;
  }
  std::vector<uint8_t> source(image.Data(), image.Data() + image.Length());
  std::vector<uint8_t> decoded(size_t(bytes), 0);
  if (!DecodeImage(ImageBuffer{source.data(), source.size(), source.size()},
                   ImageBuffer{decoded.data(), decoded.size(), decoded.size()}, kDepth)) {
    char code[5] = {};
    StoreU32(reinterpret_cast<uint8_t*>(code), in.compression);
    error = std::string("the '") + code + "' frame could not be decoded";
    return false;
  }
  // The stored rows only: a wide picture sits at its placement row of a taller image.
  const int32_t height = in.height;
  const size_t rowBytes = size_t(in.width) * 3;
  const size_t first = IsWide(in.width, height) ? size_t(PlacementRow(height)) : 0;
  BitmapInfoHeader header = ReadInfoHeader(decoded.data());
  header.height = height;
  header.sizeImage = uint32_t(rowBytes * size_t(height));
  out.bytes.assign(kInfoHeaderSize + rowBytes * size_t(height), 0);
  WriteInfoHeader(out.bytes.data(), header);
  std::memcpy(out.bytes.data() + kInfoHeaderSize,
              decoded.data() + kInfoHeaderSize + first * rowBytes, rowBytes * size_t(height));
  return true;
}

bool WritePicture(const std::string& path, const PackedImage& image, const std::string& details,
                  const char* command, std::ostream& out, std::ostream& err) {
  const bool bmp = path.size() >= 4 && (path.compare(path.size() - 4, 4, ".bmp") == 0 ||
                                        path.compare(path.size() - 4, 4, ".BMP") == 0);
  std::string error;
  authoring::Picture rgb;
  const bool written =
      bmp ? authoring::WriteFileBytes(path, authoring::BuildBitmapFile(image), &error)
          : authoring::UnpackPicture(image.View(), rgb, &error) &&
                authoring::SavePng(path, rgb, &error);
  if (!written) {
    err << command << ": " << error << "\n";
    return false;
  }
  const BitmapInfoHeader header = image.View().Header();
  out << "wrote " << path << " (" << header.width << "x" << header.height << details << ")\n";
  return true;
}

}  // namespace kvp::cli
