// `kvp sprite`: turns a PNG, JPEG or BMP picture into a sprite picture file (".avt").
#include <cstdint>

#include "tools/authoring/picture_io.h"
#include "tools/authoring/sprite_writer.h"
#include "tools/authoring/writer.h"
#include "tools/kvp/options.h"

namespace kvp::cli {

namespace {

struct SpriteOptions {
  std::string input;
  std::string output;
  int depth = 0;  // 0: not given, 24 (8 with --rle)
  bool runLength = false;
  int32_t columns = 1;
  int32_t rows = 1;
};

// N (cells across) or CxR (cells across and down).
bool ParseCells(const std::string& text, int32_t& columns, int32_t& rows, std::string& why) {
  const size_t x = text.find('x');
  long long c = 0, r = 1;
  const bool ok = x == std::string::npos
                      ? ParseInteger(text, c)
                      : ParseInteger(text.substr(0, x), c) && ParseInteger(text.substr(x + 1), r);
  if (!ok || c < 1 || r < 1 || c > 65535 || r > 65535) {
    why = "needs N or CxR, whole numbers from 1 to 65535, got '" + text + "'";
    return false;
  }
  columns = int32_t(c);
  rows = int32_t(r);
  return true;
}

int Sprite(const SpriteOptions& o, std::ostream& out, std::ostream& err) {
  if (o.runLength && o.depth != 0 && o.depth != 8) {
    err << "kvp sprite: --rle writes 8-bit pictures; --depth " << o.depth
        << " cannot be used with it\n";
    return 2;
  }
  authoring::SpriteFormat format;
  format.bits = uint16_t(o.depth != 0 ? o.depth : o.runLength ? 8 : 24);
  format.runLength = o.runLength;
  format.columns = o.columns;
  format.rows = o.rows;

  std::string error;
  authoring::Picture picture;
  PackedImage image;
  if (!authoring::LoadPicture(o.input, picture, &error) ||
      !authoring::PackSprite(picture, format, image, &error) ||
      !authoring::WriteFileBytes(o.output, authoring::BuildSpriteFile(image), &error)) {
    err << "kvp sprite: " << error << "\n";
    return 2;
  }
  out << "wrote " << o.output << " (" << (o.runLength ? "dkrl, " : "") << picture.width << "x"
      << picture.height << ", " << format.bits << " bits, " << format.columns << "x"
      << format.rows << (format.columns * format.rows == 1 ? " cell" : " cells") << ")\n";
  return 0;
}

}  // namespace

Runner DefineSprite(CLI::App& command) {
  auto o = std::make_shared<SpriteOptions>();
  AddInput(command, "IN", "the picture: a PNG, JPEG or BMP file", o->input);
  AddOutput(command, "OUT.avt", o->output);
  command.add_flag("--rle", o->runLength,
                   "code the picture in runs (\"dkrl\"); 8 bits, index 0 see-through");
  AddChoice(command, "--depth",
            "24 (default; laid over black), 32 (with alpha, blended) or 8 (255 colours and "
            "see-through index 0)",
            {8, 24, 32}, o->depth);
  AddParsed(command, "--cells", "N|CxR",
            "animation cells across (and down) in the picture, of equal size (default 1)",
            [o](const std::string& text, std::string& why) {
              return ParseCells(text, o->columns, o->rows, why);
            });
  return [o](std::ostream& out, std::ostream& err) { return Sprite(*o, out, err); };
}

}  // namespace kvp::cli
