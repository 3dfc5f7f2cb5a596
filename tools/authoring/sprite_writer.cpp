// Authoring: sprite pictures at 8, 24 or 32 bits and their "dkrl" run-length coding.
#include "tools/authoring/sprite_writer.h"

#include <cstring>

#include "tools/authoring/quantise.h"
#include "tools/authoring/writer.h"

namespace kvp::authoring {

namespace {

void Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
}

// Below this alpha an 8-bit sprite pixel is see-through; 8 bits know no partial cover.
constexpr uint8_t kOpaqueFrom = 128;

}  // namespace

bool PackSprite(const Picture& picture, const SpriteFormat& format, PackedImage& out,
                std::string* error) {
  const uint16_t bits = format.bits;
  if (bits != 8 && bits != 24 && bits != 32) {
    Fail(error, "depth must be 8, 24 or 32 bits, not " + std::to_string(bits));
    return false;
  }
  if (format.runLength && bits != 8) {
    Fail(error, "run-length pictures have 8 bits, not " + std::to_string(bits));
    return false;
  }
  if (picture.channels != 3 && picture.channels != 4) {
    Fail(error, "the picture needs 3 or 4 channels");
    return false;
  }
  const uint64_t pixelBytes = PixelBytes(picture.width, picture.height, bits);
  const size_t count = size_t(picture.width) * size_t(picture.height);
  if (pixelBytes == 0 || picture.pixels.size() != count * size_t(picture.channels)) {
    Fail(error, "picture size " + std::to_string(picture.width) + "x" +
                    std::to_string(picture.height) + " cannot be a sprite");
    return false;
  }
  if (format.columns < 1 || format.rows < 1 || picture.width % format.columns != 0 ||
      picture.height % format.rows != 0) {
    Fail(error, std::to_string(format.columns) + "x" + std::to_string(format.rows) +
                    " cells do not divide a " + std::to_string(picture.width) + "x" +
                    std::to_string(picture.height) + " picture into equal cells");
    return false;
  }

  const size_t width = size_t(picture.width);
  const size_t height = size_t(picture.height);
  const size_t channels = size_t(picture.channels);
  auto alphaOf = [&](size_t i) -> uint8_t {
    return channels == 4 ? picture.pixels[i * channels + 3] : 255;
  };

  // 8 bits: the opaque pixels share entries 1..255; entry 0 stays black and see-through.
  std::vector<uint8_t> table;
  std::vector<uint8_t> indices(bits == 8 ? count : 0, 0);
  if (bits == 8) {
    std::vector<uint8_t> rgb;
    std::vector<size_t> opaque;
    for (size_t i = 0; i < count; ++i) {
      if (alphaOf(i) < kOpaqueFrom) continue;
      opaque.push_back(i);
      rgb.insert(rgb.end(), &picture.pixels[i * channels], &picture.pixels[i * channels] + 3);
    }
    const QuantisedPicture reduced = Quantise(rgb.data(), opaque.size(), 255);
    table.assign(kColourTableSize, 0);
    for (size_t e = 0; e < reduced.palette.size(); ++e) {
      table[(e + 1) * 4 + 0] = reduced.palette[e].b;
      table[(e + 1) * 4 + 1] = reduced.palette[e].g;
      table[(e + 1) * 4 + 2] = reduced.palette[e].r;
    }
    for (size_t k = 0; k < opaque.size(); ++k) indices[opaque[k]] = uint8_t(reduced.indices[k] + 1);
  }

  const size_t bytesPerPixel = bits / 8u;
  std::vector<uint8_t> pixels(static_cast<size_t>(pixelBytes));
  for (size_t y = 0; y < height; ++y) {
    const size_t source = (height - 1 - y) * width;  // packed rows run bottom-up
    uint8_t* row = pixels.data() + y * width * bytesPerPixel;
    for (size_t x = 0; x < width; ++x) {
      const size_t i = source + x;
      const uint8_t* p = &picture.pixels[i * channels];
      uint8_t* q = row + x * bytesPerPixel;
      if (bits == 8) {
        q[0] = indices[i];
      } else if (bits == 24) {
        const uint32_t a = alphaOf(i);
        q[0] = uint8_t(p[2] * a / 255);
        q[1] = uint8_t(p[1] * a / 255);
        q[2] = uint8_t(p[0] * a / 255);
      } else {
        q[0] = p[2];
        q[1] = p[1];
        q[2] = p[0];
        q[3] = alphaOf(i);
      }
    }
  }

  PackedImage image = MakePackedImage(picture.width, picture.height, bits, pixels, table);
  if (image.bytes.empty()) {
    Fail(error, "cannot build the packed image");
    return false;
  }
  BitmapInfoHeader h = ReadInfoHeader(image.bytes.data());
  h.xPelsPerMeter = format.columns;
  h.yPelsPerMeter = format.rows;
  WriteInfoHeader(image.bytes.data(), h);
  out = format.runLength ? EncodeRunLength(image.View()) : std::move(image);
  if (out.bytes.empty()) {
    Fail(error, "cannot code the picture in runs");
    return false;
  }
  return true;
}

PackedImage EncodeRunLength(const PackedImageView& image) {
  PackedImage out;
  if (!image.PixelsComplete()) return out;
  BitmapInfoHeader h = image.Header();
  if (h.bitCount != 8 || h.compression != 0) return out;
  const size_t prefix = kInfoHeaderSize + kColourTableSize;
  const size_t count = size_t(PixelBytes(h.width, h.height, 8));
  const uint8_t* pixels = image.Pixels();

  out.bytes.assign(image.Data(), image.Data() + prefix);
  for (size_t i = 0; i < count;) {
    const uint8_t index = pixels[i];
    size_t run = 1;
    while (run < 255 && i + run < count && pixels[i + run] == index) ++run;
    out.bytes.push_back(uint8_t(run));
    out.bytes.push_back(index);
    i += run;
  }
  // The reader counts its pairs from this field, and the field is 32 bits wide.
  const uint64_t sizeImage = out.bytes.size() - kInfoHeaderSize;
  if (sizeImage > UINT32_MAX) {
    out.bytes.clear();
    return out;
  }
  h.compression = FourCC("dkrl");
  h.sizeImage = uint32_t(sizeImage);
  h.clrUsed = 256;
  WriteInfoHeader(out.bytes.data(), h);
  return out;
}

std::vector<uint8_t> BuildSpriteFile(const PackedImage& image) {
  std::vector<uint8_t> file = BuildBitmapFile(image);
  // A "dkrl" picture has a colour table too; the offset names where its runs begin (the
  // viewer reads on from the header whatever it says, but other tools look here).
  const PackedImageView view = image.View();
  if (view.HasHeader() && view.Header().compression == FourCC("dkrl")) {
    StoreU32(file.data() + 10, kFileHeaderSize + kInfoHeaderSize + kColourTableSize);
  }
  return file;
}

}  // namespace kvp::authoring
