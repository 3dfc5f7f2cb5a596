// Sprites in the frame: the state the frame renderer animates and draws, one frame of
// animation, and drawing one sprite or all of them farthest first.
//
// The panorama controller runs these on its render thread under its lock; nothing here takes
// a lock or knows the controller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "data/types.h"

namespace kvp {

// The state of a sprite that the frame renderer animates and draws; the controller's sprite
// record adds its operations and its reference to the controller. Fields in the record's
// order.
struct SpriteState {
  std::unique_ptr<uint8_t[]> picture;  // packed image: header, colour table for 8 bits, pixels
  size_t pictureBytes = 0;
  int32_t frameColumns = 1, frameRows = 1;  // animation cells of the picture sheet
  uint8_t colourKey = 0;  // transparent index of 8-bit pictures
  int16_t visible = 0;
  double size[3] = {0, 0, 0};
  double sizeRate[3] = {0, 0, 0};
  double position[3] = {0, 0, 0};
  double velocity[3] = {0, 0, 0};
  double cellColumn = 0, cellRow = 0;
  double cellColumnRate = 0, cellRowRate = 0;
};

// One frame of a sprite's animation at `frameRate` frames per second: position, size and cells
// advance by their rates / frameRate; negative sizes become 0; cells wrap into the sheet.
void AnimateSprite(SpriteState& sprite, double frameRate);

// Draws one sprite into the frame (width x height at `depth` bits per pixel, bottom-up) as
// seen from `renderPose` inside `box`. Returns false when a corner cannot be projected (the
// sprite is skipped) or the picture cannot be drawn.
bool DrawSprite(const SpriteState& sprite, const EnvironmentBox& box, const ViewPose& renderPose,
                uint8_t* frame, int32_t width, int32_t height, int16_t depth);

// Animates every slot that has a picture, then draws the visible ones farthest from the viewer
// (x, y, z) first; of equal distances the lower slot first. `sprites` has `count` entries
// (null entries are skipped).
void AnimateAndDrawSprites(SpriteState* const* sprites, int32_t count, double frameRate,
                           double viewerX, double viewerY, double viewerZ,
                           const EnvironmentBox& box, const ViewPose& renderPose,
                           uint8_t* frame, int32_t width, int32_t height, int16_t depth);

}  // namespace kvp
