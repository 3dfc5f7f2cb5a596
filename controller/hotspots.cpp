// Hot spots and sprites of a panorama controller, and picking what lies under a window point.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "controller/panorama_controller.h"
#include "data/byte_reader.h"
#include "data/environment_set.h"
#include "data/hotspot_block.h"
#include "data/packed_image.h"
#include "data/sprite_picture.h"
#include "diag/timed_lock.h"
#include "diag/trace.h"
#include "platform/platform.h"
#include "render/projection.h"

namespace kvp {

namespace {

// The controller lock as the hot-spot and sprite operations take it: a time-out goes on
// without a word. A record that belongs to no controller (or to one that is not open) has
// nothing to serialise with.
platform::Semaphore* ControllerLock(const PanoramaController* controller) {
  return controller != nullptr ? controller->lock : nullptr;
}

// Frees a sprite's picture. Callers that need the lock hold it already.
void DropPicture(SpriteState& sprite) {
  sprite.picture.reset();
  sprite.pictureBytes = 0;
}

// Frame coordinates of a window point must fit an int32; a projection that lands beyond
// that is far outside any frame, so it saturates (NaN: nothing to show, 0).
int32_t TruncateToPixel(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(v);
}

}  // namespace

// ---- Hot spots --------------------------------------------------------------------------------

int Hotspot::GetCentre(double& cx, double& cy, double& cz) {
  TimedLock hold(ControllerLock(controller), OnLockTimeout::kSilent);
  cx = centre[0];
  cy = centre[1];
  cz = centre[2];
  return 0;
}

int Hotspot::GetExtent(double& sx, double& sy, double& sz) {
  TimedLock hold(ControllerLock(controller), OnLockTimeout::kSilent);
  sx = size[0];
  sy = size[1];
  sz = size[2];
  return 0;
}

// The link and the enabled flag are touched only on the window thread (the viewer's status
// line and clicks, Pick, Open); the render thread never looks at hot spots.
int Hotspot::GetLink(char* buffer, int32_t bufferSize) {
  if (buffer == nullptr || bufferSize <= 0) return 0;
  const char* text = link ? link.get() : "";
  size_t n = 0;
  while (n < size_t(bufferSize) && text[n] != '\0') ++n;
  std::memcpy(buffer, text, n);
  std::memset(buffer + n, 0, size_t(bufferSize) - n);
  return 0;
}

void Hotspot::SetLink(const char* text) {
  link.reset();
  if (text == nullptr) return;
  const size_t n = std::strlen(text);
  link.reset(new char[n + 1]);
  std::memcpy(link.get(), text, n + 1);
}

int Hotspot::SetEnabled(int16_t flag) {
  enabled = flag;
  return 0;
}

std::vector<std::unique_ptr<Hotspot>> ReadHotspotBlock(const char* fileName) {
  std::vector<std::unique_ptr<Hotspot>> spots;
  if (fileName == nullptr) return spots;
  OpenedFile file(fileName);
  if (file.get() == nullptr) return spots;
  FileReader reader(file.get());
  for (const HotspotEntry& e : ReadHotspots(reader)) {
    auto spot = std::make_unique<Hotspot>();
    for (int axis = 0; axis < 3; ++axis) {
      spot->centre[axis] = e.centre[axis];
      spot->size[axis] = e.size[axis];
    }
    spot->SetLink(e.link.c_str());
    spot->enabled = 1;
    spots.push_back(std::move(spot));
  }
  return spots;
}

// ---- Sprites ----------------------------------------------------------------------------------

// Nothing else can be using a record that is being destroyed (the render thread has ended
// before the controller frees its sprites), and the controller's lock may already be gone.
SpriteRecord::~SpriteRecord() { DropPicture(*this); }

int SpriteRecord::ReleasePicture() {
  TimedLock hold(ControllerLock(controller), OnLockTimeout::kSilent);
  DropPicture(*this);
  return 0;
}

// The whole load runs under the lock: the render thread animates and draws the record, and
// the environment set takes one request at a time.
int SpriteRecord::LoadSpriteImage(const char* fileName, double cx, double cy, double cz,
                                  double sx, double sy, double sz, int16_t show) {
  TimedLock hold(ControllerLock(controller), OnLockTimeout::kSilent);
  DropPicture(*this);
  if (fileName == nullptr) return 0;

  visible = show;
  size[0] = sx;
  size[1] = sy;
  size[2] = sz;
  position[0] = cx;
  position[1] = cy;
  position[2] = cz;
  for (int axis = 0; axis < 3; ++axis) {
    sizeRate[axis] = 0;
    velocity[axis] = 0;
  }
  cellColumn = cellRow = 0;
  cellColumnRate = cellRowRate = 0;

  SpritePicture loaded = ReadSpritePicture(fileName);
  if (!loaded.bytes) return 1;
  colourKey = 0;
  picture = std::move(loaded.bytes);
  pictureBytes = loaded.length;
  frameColumns = std::max<int32_t>(1, LoadI32(picture.get() + 24));
  frameRows = std::max<int32_t>(1, LoadI32(picture.get() + 28));

  // A record of no controller has no panorama to match its colours to.
  if (controller == nullptr) return 0;
  EnvironmentSet* set = controller->environmentSet.get();
  ViewPose pose = controller->LivePose();
  ViewPose centre;
  const uint8_t* image = nullptr;
  int32_t environment = -1;
  if (set == nullptr ||
      set->RequestImage(pose, centre, image, environment, kMovementEither) != kImageDelivered ||
      image == nullptr) {
    DropPicture(*this);
    return 1;
  }
  if (ReadInfoHeader(image).bitCount == 8) {
    // Colour matching needs a palette on both sides; a deeper sprite over a palette panorama
    // could only be drawn in colours it does not have.
    if (ReadInfoHeader(picture.get()).bitCount != 8) {
      DropPicture(*this);
      return 1;
    }
    RemapToPanoramaColours(picture.get(), image + kInfoHeaderSize);
  }
  return 0;
}

int SpriteRecord::SetSpriteVelocity(double vx, double vy, double vz) {
  TimedLock hold(ControllerLock(controller), OnLockTimeout::kSilent);
  if (!picture) return 1;
  velocity[0] = vx;
  velocity[1] = vy;
  velocity[2] = vz;
  return 0;
}

int SpriteRecord::SetSpriteGrowth(double gx, double gy, double gz) {
  TimedLock hold(ControllerLock(controller), OnLockTimeout::kSilent);
  if (!picture) return 1;
  sizeRate[0] = gx;
  sizeRate[1] = gy;
  sizeRate[2] = gz;
  return 0;
}

int SpriteRecord::SetSpriteAnimation(double columnPasses, double rowPasses) {
  TimedLock hold(ControllerLock(controller), OnLockTimeout::kSilent);
  if (!picture) return 1;
  cellColumnRate = frameColumns * columnPasses;
  cellRowRate = frameRows * rowPasses;
  return 0;
}

void RemapToPanoramaColours(uint8_t* picture, const uint8_t* panoramaTable) {
  uint8_t* table = picture + kInfoHeaderSize;
  // Index 0 is the sprite's transparent colour and must stay 0; the panorama's entry 0 is
  // never a target, so no visible sprite pixel turns transparent.
  uint8_t map[256];
  map[0] = 0;
  for (int i = 1; i < 256; ++i) {
    const uint8_t* s = table + 4 * i;
    int32_t best = 195075;  // 3 * 255 * 255: farther than any two colours can be
    uint8_t nearest = 0;
    for (int j = 1; j < 256; ++j) {
      const uint8_t* p = panoramaTable + 4 * j;
      const int32_t db = int32_t(s[0]) - p[0];
      const int32_t dg = int32_t(s[1]) - p[1];
      const int32_t dr = int32_t(s[2]) - p[2];
      const int32_t d = db * db + dg * dg + dr * dr;
      if (d < best) {
        best = d;
        nearest = uint8_t(j);
      }
    }
    map[i] = nearest;
  }

  const BitmapInfoHeader h = ReadInfoHeader(picture);
  if (h.width > 0 && h.height > 0) {
    uint8_t* pixels = picture + kInfoHeaderSize + kColourTableSize;
    const size_t count = size_t(h.width) * size_t(h.height);
    for (size_t k = 0; k < count; ++k) pixels[k] = map[pixels[k]];
  }
  std::memcpy(table, panoramaTable, kColourTableSize);
}

// ---- Controller: lookup, projection, picking ----------------------------------------------------

Hotspot* PanoramaController::GetHotspot(int32_t index) {
  if (index < 0 || index >= hotspotCount || size_t(index) >= hotspots.size()) return nullptr;
  return hotspots[size_t(index)].get();
}

SpriteRecord* PanoramaController::GetSprite(int32_t index) {
  if (index < 0 || index >= spriteSlots || size_t(index) >= sprites.size()) return nullptr;
  return sprites[size_t(index)].get();
}

int PanoramaController::ProjectPoint(double px, double py, double pz, int32_t& wx, int32_t& wy) {
  if (!environmentSet) return 0;
  // The request settles which environment (and so which box) the viewer is in, and may pull
  // the pose into the node's roaming box: the projection uses the pose the renderer would.
  ViewPose pose = LivePose();
  ViewPose centre;
  const uint8_t* image = nullptr;
  int32_t environment = -1;
  int result;
  try {
    result = environmentSet->RequestImage(pose, centre, image, environment, kMovementEither);
  } catch (...) {
    TraceText("\tCacher Failed\n");
    return 0;
  }
  if (result != kImageDelivered) return 0;

  int32_t e = environment - 1;
  if (e < 0 || e > envCount) e = envCount;
  if (size_t(e) >= boxes.size()) return 0;
  const EnvironmentBox& box = boxes[size_t(e)];
  if (!warper) return 0;

  double g = 0, h = 0;
  try {
    XYZtoHP(pose, px, py, pz, g, h);
  } catch (...) {
    TraceLine("XYZtoHP Failed");
    return 0;
  }

  // Seen from the viewer itself, so only the box test of the parallax correction can fail.
  const CapturePoint capture{pose.x, pose.y, pose.z};
  double sx = 0, sy = 0;
  try {
    if (HPtoXY(box, pose, capture, frame.width, frame.height, g, h, sx, sy) == 0) return 0;
  } catch (...) {
    TraceLine("HPtoXY Failed");
    return 0;
  }
  wx = TruncateToPixel(sx);
  wy = TruncateToPixel(sy);
  return 1;
}

namespace {

// Whether the frame point (px, py) lies in the screen rectangle that bounds the eight
// projected corners of the box centre +- extent / 2. A corner that cannot be projected (for
// instance behind the viewer) rules the box out. The caller holds the controller lock.
bool PickBox(PanoramaController& c, const double centre[3], const double extent[3], int32_t px,
             int32_t py) {
  int32_t minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int corner = 0; corner < 8; ++corner) {
    // x varies slowest and z fastest: (-,-,-), (-,-,+), (-,+,-) ... (+,+,+).
    const double sx = (corner & 4) ? 0.5 : -0.5;
    const double sy = (corner & 2) ? 0.5 : -0.5;
    const double sz = (corner & 1) ? 0.5 : -0.5;
    int32_t wx = 0, wy = 0;
    if (!c.ProjectPoint(centre[0] + sx * extent[0], centre[1] + sy * extent[1],
                        centre[2] + sz * extent[2], wx, wy)) {
      return false;
    }
    if (corner == 0) {
      minX = maxX = wx;
      minY = maxY = wy;
    } else {
      minX = std::min(minX, wx);
      maxX = std::max(maxX, wx);
      minY = std::min(minY, wy);
      maxY = std::max(maxY, wy);
    }
  }
  return minX <= px && px <= maxX && minY <= py && py <= maxY;
}

}  // namespace

int32_t PanoramaController::Pick(int32_t wx, int32_t wy, int16_t& kind) {
  if (!IsOpen()) return -1;
  TimedLock held(lock);
  // Window rows count from the top, frame rows from the bottom; the frame's height belongs to
  // the render thread, so it is read under the lock.
  const int32_t fy = frame.height - 1 - wy;
  int32_t found = -1;

  // Sprites are tried nearest first; of equal distances the lower slot first. A plain
  // selection (strictly nearer wins) keeps that order without relying on a sort's behaviour
  // when a position from a file is NaN.
  const size_t slots = std::min(sprites.size(), size_t(spriteSlots > 0 ? spriteSlots : 0));
  std::vector<double> distance(slots, 0);
  std::vector<bool> pending(slots, false);
  for (size_t i = 0; i < slots; ++i) {
    const SpriteRecord* s = sprites[i].get();
    if (s == nullptr || !s->picture || s->visible == 0) continue;
    const double dx = s->position[0] - x, dy = s->position[1] - y, dz = s->position[2] - z;
    distance[i] = std::sqrt(dx * dx + dy * dy + dz * dz);
    pending[i] = true;
  }
  for (;;) {
    size_t next = slots;
    for (size_t i = 0; i < slots; ++i) {
      if (pending[i] && (next == slots || distance[i] < distance[next])) next = i;
    }
    if (next == slots) break;
    pending[next] = false;
    const SpriteRecord& s = *sprites[next];
    if (PickBox(*this, s.position, s.size, wx, fy)) {
      kind = 2;
      found = int32_t(next);
      break;
    }
  }

  // A sprite hides nothing: every enabled hot spot is still a candidate when no sprite hit.
  if (found < 0) {
    const size_t count = std::min(hotspots.size(), size_t(hotspotCount > 0 ? hotspotCount : 0));
    for (size_t i = 0; i < count; ++i) {
      const Hotspot* h = hotspots[i].get();
      if (h == nullptr || h->enabled == 0) continue;
      if (PickBox(*this, h->centre, h->size, wx, fy)) {
        kind = 4;
        found = int32_t(i);
        break;
      }
    }
  }

  return found;
}

}  // namespace kvp
