// Sprites in the frame: their animation, their placement by the projection, and the pixel
// rules for every picture depth onto every frame depth.
#include "render/sprite_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "data/packed_image.h"
#include "render/projection.h"

namespace kvp {

namespace {

// Wraps an animation cell position into [0, count): a negative value gains whole sheets, a
// value whose cell would lie beyond the sheet loses them. Script-set rates can drive it
// anywhere, so far-off values are first brought near with fmod (the loops alone would take
// forever, or never end once a step no longer changes the value) and non-finite ones restart.
double WrapCell(double cell, int32_t count) {
  if (count < 1) return cell;
  if (!std::isfinite(cell)) return 0;
  const double n = count;
  if (std::fabs(cell) > n * 65536) cell = std::fmod(cell, n);
  while (cell < 0) cell += n;
  while (std::trunc(cell) >= n) cell -= n;
  return cell;
}

// Screen positions of sprite corners can be huge when a corner lies near the screen plane;
// they are clamped to a range whose differences still fit the 64-bit loop arithmetic.
int64_t TruncateCoordinate(double v) {
  constexpr double kLimit = 1073741824.0;  // 2^30
  if (v > kLimit) return int64_t(kLimit);
  if (v < -kLimit) return -int64_t(kLimit);
  return int64_t(v);
}

uint16_t To555(uint8_t red, uint8_t green, uint8_t blue) {
  return uint16_t((red >> 3) << 10 | (green >> 3) << 5 | (blue >> 3));
}

uint8_t Blend(uint32_t source, uint32_t frame, uint32_t weight) {
  return uint8_t((source * weight + frame * (256 - weight)) / 256);
}

// Where a destination pixel of the sprite takes its colour from, and how it lands in the frame.
struct SpriteBlit {
  const uint8_t* pixels = nullptr;  // first pixel row of the picture (bottom row)
  const uint8_t* colourTable = nullptr;
  int32_t pictureWidth = 0, pictureHeight = 0;
  int32_t sourceBytes = 0;  // bytes per picture pixel: 1, 3 or 4
  uint8_t colourKey = 0;
  uint8_t* frame = nullptr;
  int32_t frameWidth = 0;
  int32_t frameBytes = 0;  // bytes per frame pixel: 1, 2 or 3
};

// One source pixel onto one frame pixel, by the picture's and the frame's depths.
void PutPixel(const SpriteBlit& b, const uint8_t* s, uint8_t* d) {
  if (b.sourceBytes == 1) {
    if (*s == b.colourKey) return;
    if (b.frameBytes == 1) {
      *d = *s;
      return;
    }
    const uint8_t* entry = b.colourTable + 4 * size_t(*s);
    if (b.frameBytes == 2) {
      StoreU16(d, To555(entry[2], entry[1], entry[0]));
    } else {
      d[0] = entry[0];
      d[1] = entry[1];
      d[2] = entry[2];
    }
  } else if (b.sourceBytes == 3) {
    if (b.frameBytes == 2) {
      StoreU16(d, To555(s[2], s[1], s[0]));
    } else {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  } else {
    const uint32_t a = s[3] == 255 ? 256 : s[3];
    if (b.frameBytes == 2) {
      const uint16_t f = LoadU16(d);
      const uint32_t red = Blend(s[2] >> 3, (f >> 10) & 31, a);
      const uint32_t green = Blend(s[1] >> 3, (f >> 5) & 31, a);
      const uint32_t blue = Blend(s[0] >> 3, f & 31, a);
      StoreU16(d, uint16_t(red << 10 | green << 5 | blue));
    } else {
      d[0] = Blend(s[0], d[0], a);
      d[1] = Blend(s[1], d[1], a);
      d[2] = Blend(s[2], d[2], a);
    }
  }
}

}  // namespace

void AnimateSprite(SpriteState& sprite, double frameRate) {
  const double r = frameRate;
  for (int i = 0; i < 3; ++i) {
    sprite.position[i] += sprite.velocity[i] / r;
    sprite.size[i] += sprite.sizeRate[i] / r;
  }
  sprite.cellColumn += sprite.cellColumnRate / r;
  sprite.cellRow += sprite.cellRowRate / r;
  for (double& s : sprite.size) {
    if (s < 0) s = 0;
  }
  sprite.cellColumn = WrapCell(sprite.cellColumn, sprite.frameColumns);
  sprite.cellRow = WrapCell(sprite.cellRow, sprite.frameRows);
}

bool DrawSprite(const SpriteState& sprite, const EnvironmentBox& box, const ViewPose& renderPose,
                uint8_t* frame, int32_t width, int32_t height, int16_t depth) {
  if (sprite.picture == nullptr) return false;

  // The screen rectangle that bounds the eight projected corners of the sprite's box.
  const CapturePoint viewer{renderPose.x, renderPose.y, renderPose.z};
  int64_t minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int corner = 0; corner < 8; ++corner) {
    double p[3];
    for (int axis = 0; axis < 3; ++axis) {
      const double half = sprite.size[axis] / 2;
      p[axis] = sprite.position[axis] + ((corner >> axis) & 1 ? half : -half);
    }
    double heading = 0, pitch = 0, x = 0, y = 0;
    XYZtoHP(renderPose, p[0], p[1], p[2], heading, pitch);
    if (HPtoXY(box, renderPose, viewer, width, height, heading, pitch, x, y) == 0) return false;
    if (std::isnan(x) || std::isnan(y)) return false;
    const int64_t sx = TruncateCoordinate(x), sy = TruncateCoordinate(y);
    if (corner == 0 || sx < minX) minX = sx;
    if (corner == 0 || sx > maxX) maxX = sx;
    if (corner == 0 || sy < minY) minY = sy;
    if (corner == 0 || sy > maxY) maxY = sy;
  }
  const int64_t left = minX, bottom = minY;
  const int64_t destWidth = maxX - minX, destHeight = maxY - minY;
  if (destWidth == 0 || destHeight == 0) return true;

  // The picture is the browser's file: believe its header only as far as the bytes go.
  const PackedImageView picture(sprite.picture.get(), sprite.pictureBytes);
  if (!picture.PixelsComplete()) return false;
  const BitmapInfoHeader header = picture.Header();
  SpriteBlit b;
  b.pixels = picture.Pixels();
  b.colourTable = picture.ColourTable();
  b.pictureWidth = header.width;
  b.pictureHeight = header.height;
  b.sourceBytes = header.bitCount / 8;
  b.colourKey = sprite.colourKey;
  b.frame = frame;
  b.frameWidth = width;
  b.frameBytes = depth / 8;
  if (b.sourceBytes != 1 && b.sourceBytes != 3 && b.sourceBytes != 4) return false;
  if (b.frameBytes != 1 && b.frameBytes != 2 && b.frameBytes != 3) return false;
  if (b.sourceBytes == 1 && b.colourTable == nullptr) return false;
  if (b.sourceBytes != 1 && b.frameBytes == 1) return false;  // no colour matching on 8 bits

  // The animation cell; cells are counted from the sheet's right and top.
  if (sprite.frameColumns < 1 || sprite.frameRows < 1) return false;
  const int32_t cellWidth = header.width / sprite.frameColumns;
  const int32_t cellHeight = header.height / sprite.frameRows;
  if (cellWidth == 0 || cellHeight == 0) return false;
  const double column = std::trunc(sprite.cellColumn), row = std::trunc(sprite.cellRow);
  if (!(column >= 0 && column < sprite.frameColumns && row >= 0 && row < sprite.frameRows)) {
    return false;  // a cell outside the sheet (never animated into it)
  }
  const int32_t cellLeft = (sprite.frameColumns - int32_t(column) - 1) * cellWidth;
  const int32_t cellBottom = (sprite.frameRows - int32_t(row) - 1) * cellHeight;

  const bool flipped = renderPose.pitch < -90 || renderPose.pitch > 90;
  const double xStep = double(cellWidth) / double(destWidth);
  const double yStep = double(cellHeight) / double(destHeight);
  const size_t sourceRowBytes = size_t(header.width) * size_t(b.sourceBytes);

  // Rows below the frame and columns left of it are skipped; the frame's top and right edges
  // end the sprite and each row.
  const int64_t firstRow = std::max<int64_t>(0, -bottom);
  const int64_t endRow = std::min<int64_t>(destHeight, int64_t(height) - bottom);
  const int64_t firstColumn = std::max<int64_t>(0, -left);
  const int64_t endColumn = std::min<int64_t>(destWidth, int64_t(width) - left);
  for (int64_t i = firstRow; i < endRow; ++i) {
    const int64_t cellRowOffset =
        int64_t((flipped ? double(destHeight - i - 1) : double(i)) * yStep);
    if (cellRowOffset < 0 || cellRowOffset >= cellHeight) continue;
    const uint8_t* sourceRow = b.pixels + size_t(cellBottom + cellRowOffset) * sourceRowBytes;
    uint8_t* frameRow = frame + size_t(bottom + i) * size_t(width) * size_t(b.frameBytes);
    for (int64_t j = firstColumn; j < endColumn; ++j) {
      const int64_t cellColumnOffset = int64_t(double(j) * xStep);
      if (cellColumnOffset >= cellWidth) break;
      PutPixel(b, sourceRow + size_t(cellLeft + cellColumnOffset) * size_t(b.sourceBytes),
               frameRow + size_t(left + j) * size_t(b.frameBytes));
    }
  }
  return true;
}

void AnimateAndDrawSprites(SpriteState* const* sprites, int32_t count, double frameRate,
                           double viewerX, double viewerY, double viewerZ,
                           const EnvironmentBox& box, const ViewPose& renderPose,
                           uint8_t* frame, int32_t width, int32_t height, int16_t depth) {
  if (count <= 0) return;
  std::vector<double> distance(size_t(count), -1.0);
  for (int32_t i = 0; i < count; ++i) {
    SpriteState* s = sprites[i];
    if (s == nullptr || s->picture == nullptr) continue;
    AnimateSprite(*s, frameRate);
    const double dx = s->position[0] - viewerX, dy = s->position[1] - viewerY,
                 dz = s->position[2] - viewerZ;
    distance[size_t(i)] = std::sqrt(dx * dx + dy * dy + dz * dz);
  }
  // Farthest first so that nearer sprites cover farther ones; the strict comparison keeps the
  // lower slot of equal distances first, so the higher one ends on top.
  for (;;) {
    int32_t next = -1;
    for (int32_t i = 0; i < count; ++i) {
      const SpriteState* s = sprites[i];
      if (s == nullptr || s->picture == nullptr || s->visible == 0) continue;
      if (!(distance[size_t(i)] >= 0)) continue;
      if (next < 0 || distance[size_t(i)] > distance[size_t(next)]) next = i;
    }
    if (next < 0) break;
    DrawSprite(*sprites[next], box, renderPose, frame, width, height, depth);
    distance[size_t(next)] = -1;
  }
}

}  // namespace kvp
