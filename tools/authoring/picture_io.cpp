// Picture files in and out of the tools, and their conversion to and from packed images.
#include "tools/authoring/picture_io.h"

#include <climits>
#include <cstdio>
#include <memory>

#include "tools/authoring/quantise.h"
#include "tools/authoring/writer.h"

// stb reads and writes memory only: the files go through our own readers and writers, so
// that paths behave alike on both targets. Other formats stb knows stay out: every decoder
// compiled in is more surface for a hostile file.
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STB_IMAGE_IMPLEMENTATION
#include "stb_image.h"

#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace kvp::authoring {

namespace {

void Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
}

std::string SizeText(int64_t width, int64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// The four characters of a compression code when they are printable, else its hex value.
std::string CodeText(uint32_t code) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = char((code >> (8 * i)) & 0xFF);
    if (c < 0x20 || c > 0x7E) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", unsigned(code));
      return hex;
    }
    text += c;
  }
  return "\"" + text + "\"";
}

bool CheckPicture(const Picture& picture, std::string* error) {
  if (picture.channels != 3 && picture.channels != 4) {
    Fail(error, "picture has " + std::to_string(picture.channels) + " channels, not 3 or 4");
    return false;
  }
  const uint64_t bytes = PixelBytes(picture.width, picture.height, uint16_t(picture.channels * 8));
  if (bytes == 0) {
    Fail(error, "picture size " + SizeText(picture.width, picture.height) +
                    " is empty or too large");
    return false;
  }
  if (picture.pixels.size() != bytes) {
    Fail(error, "picture holds " + std::to_string(picture.pixels.size()) + " bytes, expected " +
                    std::to_string(bytes));
    return false;
  }
  return true;
}

// Red, green, blue triples, top-down, with any alpha composited over the matte.
std::vector<uint8_t> FlattenOverMatte(const Picture& picture, Rgb matte) {
  const size_t count = size_t(picture.width) * size_t(picture.height);
  std::vector<uint8_t> rgb(count * 3);
  const uint8_t* src = picture.pixels.data();
  const uint8_t m[3] = {matte.r, matte.g, matte.b};
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = src + i * size_t(picture.channels);
    const unsigned alpha = picture.channels == 4 ? p[3] : 255;
    for (int k = 0; k < 3; ++k)
      rgb[i * 3 + k] = uint8_t((p[k] * alpha + m[k] * (255 - alpha) + 127) / 255);
  }
  return rgb;
}

uint16_t To555(const uint8_t* rgb) {
  auto five = [](unsigned v) { return (v * 31 + 127) / 255; };
  return uint16_t(five(rgb[0]) << 10 | five(rgb[1]) << 5 | five(rgb[2]));
}

uint8_t FromFive(unsigned v) { return uint8_t(v << 3 | v >> 2); }

void PngSink(void* context, void* data, int size) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(context);
  const auto* p = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), p, p + size);
}

}  // namespace

bool DecodePicture(const uint8_t* data, size_t length, Picture& out, std::string* error) {
  if (length > size_t(INT_MAX)) {
    Fail(error, "picture file is too large");
    return false;
  }
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(data, int(length), &width, &height, &channels)) {
    Fail(error, std::string("not a readable PNG, JPEG or BMP picture (") +
                    stbi_failure_reason() + ")");
    return false;
  }
  // Sized before decoding, so that a header claiming a huge picture costs nothing.
  if (PixelBytes(width, height, 32) == 0) {
    Fail(error, "picture size " + SizeText(width, height) + " is empty or too large");
    return false;
  }
  std::unique_ptr<stbi_uc, void (*)(void*)> decoded(
      stbi_load_from_memory(data, int(length), &width, &height, &channels, 4), stbi_image_free);
  if (!decoded) {
    Fail(error, std::string("cannot decode picture (") + stbi_failure_reason() + ")");
    return false;
  }
  // The decoder reports the size again; trust only what it actually delivered.
  const uint64_t bytes = PixelBytes(width, height, 32);
  if (bytes == 0) {
    Fail(error, "picture size " + SizeText(width, height) + " is empty or too large");
    return false;
  }
  out.width = width;
  out.height = height;
  out.channels = 4;
  out.pixels.assign(decoded.get(), decoded.get() + bytes);
  return true;
}

bool LoadPicture(const std::string& path, Picture& out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, bytes, error)) return false;
  if (!DecodePicture(bytes.data(), bytes.size(), out, error)) {
    if (error) *error = path + ": " + *error;
    return false;
  }
  return true;
}

bool EncodePng(const Picture& picture, std::vector<uint8_t>& png, std::string* error) {
  if (!CheckPicture(picture, error)) return false;
  png.clear();
  const int stride = picture.width * picture.channels;
  if (!stbi_write_png_to_func(PngSink, &png, picture.width, picture.height, picture.channels,
                              picture.pixels.data(), stride)) {
    Fail(error, "cannot encode PNG");
    return false;
  }
  return true;
}

bool SavePng(const std::string& path, const Picture& picture, std::string* error) {
  std::vector<uint8_t> png;
  return EncodePng(picture, png, error) && WriteFileBytes(path, png, error);
}

bool PackPicture(const Picture& picture, uint16_t bits, Rgb matte, const ViewFields& view,
                 PackedImage& out, std::string* error) {
  if (!CheckPicture(picture, error)) return false;
  if (bits != 8 && bits != 16 && bits != 24) {
    Fail(error, "depth must be 8, 16 or 24 bits, not " + std::to_string(bits));
    return false;
  }
  const uint64_t pixelBytes = PixelBytes(picture.width, picture.height, bits);
  if (pixelBytes == 0) {
    Fail(error, "picture size " + SizeText(picture.width, picture.height) + " is too large");
    return false;
  }
  const std::vector<uint8_t> rgb = FlattenOverMatte(picture, matte);
  const size_t width = size_t(picture.width);
  const size_t height = size_t(picture.height);
  const size_t bytesPerPixel = bits / 8u;
  const size_t rowBytes = width * bytesPerPixel;

  std::vector<uint8_t> pixels(pixelBytes);
  std::vector<uint8_t> table;
  std::vector<uint8_t> indices;
  if (bits == 8) {
    QuantisedPicture reduced = Quantise(rgb.data(), width * height, 256);
    indices = std::move(reduced.indices);
    table.assign(kColourTableSize, 0);
    for (size_t i = 0; i < reduced.palette.size(); ++i) {
      table[i * 4 + 0] = reduced.palette[i].b;
      table[i * 4 + 1] = reduced.palette[i].g;
      table[i * 4 + 2] = reduced.palette[i].r;
    }
  }
  // The packed image stores rows bottom-up.
  for (size_t y = 0; y < height; ++y) {
    const size_t source = (height - 1 - y) * width;
    uint8_t* row = pixels.data() + y * rowBytes;
    for (size_t x = 0; x < width; ++x) {
      const uint8_t* p = rgb.data() + (source + x) * 3;
      uint8_t* q = row + x * bytesPerPixel;
      if (bits == 8) {
        q[0] = indices[source + x];
      } else if (bits == 16) {
        const uint16_t v = To555(p);
        q[0] = uint8_t(v);
        q[1] = uint8_t(v >> 8);
      } else {
        q[0] = p[2];
        q[1] = p[1];
        q[2] = p[0];
      }
    }
  }
  out = MakePackedImage(picture.width, picture.height, bits, pixels, table, view);
  if (out.bytes.empty()) {
    Fail(error, "cannot build the packed image");
    return false;
  }
  return true;
}

bool UnpackPicture(const PackedImageView& image, Picture& out, std::string* error) {
  if (!image.HasHeader()) {
    Fail(error, "image of " + std::to_string(image.Length()) +
                    " bytes is shorter than its 40-byte header");
    return false;
  }
  const BitmapInfoHeader header = image.Header();
  if (header.compression != 0) {
    Fail(error, "image is compressed (" + CodeText(header.compression) +
                    "); only uncompressed images can be exported");
    return false;
  }
  if (header.bitCount != 8 && header.bitCount != 16 && header.bitCount != 24) {
    Fail(error, "unsupported depth of " + std::to_string(header.bitCount) + " bits per pixel");
    return false;
  }
  const uint64_t pixelBytes = PixelBytes(header.width, header.height, header.bitCount);
  if (pixelBytes == 0) {
    Fail(error, "image size " + SizeText(header.width, header.height) + " is empty or too large");
    return false;
  }
  const uint64_t needed = uint64_t(HeaderBytes(header)) + pixelBytes;
  if (image.Length() < needed) {
    Fail(error, "image is cut short: " + std::to_string(image.Length()) + " bytes of " +
                    std::to_string(needed));
    return false;
  }

  const size_t width = size_t(header.width);
  const size_t height = size_t(header.height);
  const size_t bytesPerPixel = header.bitCount / 8u;
  const uint8_t* table = image.Data() + kInfoHeaderSize;
  const uint8_t* pixels = image.Data() + HeaderBytes(header);
  out.width = header.width;
  out.height = header.height;
  out.channels = 3;
  out.pixels.assign(width * height * 3, 0);
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* row = pixels + (height - 1 - y) * width * bytesPerPixel;
    uint8_t* dest = out.pixels.data() + y * width * 3;
    for (size_t x = 0; x < width; ++x, dest += 3) {
      const uint8_t* p = row + x * bytesPerPixel;
      if (header.bitCount == 8) {
        const uint8_t* entry = table + size_t(p[0]) * 4;
        dest[0] = entry[2];
        dest[1] = entry[1];
        dest[2] = entry[0];
      } else if (header.bitCount == 16) {
        const unsigned v = unsigned(p[0]) | unsigned(p[1]) << 8;
        dest[0] = FromFive((v >> 10) & 31);
        dest[1] = FromFive((v >> 5) & 31);
        dest[2] = FromFive(v & 31);
      } else {
        dest[0] = p[2];
        dest[1] = p[1];
        dest[2] = p[0];
      }
    }
  }
  return true;
}

}  // namespace kvp::authoring
