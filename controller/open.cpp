// Opening a panorama: the controller's reset, its semaphores, the environment set, the
// description keys, the initial view and the hot spots; then the tick queue, the sprite
// records and the render thread.
#include <cstdio>
#include <cstring>

#include "controller/panorama_controller.h"
#include "data/codec_bridge.h"
#include "data/environment_set.h"
#include "data/packed_image.h"
#include "diag/timed_lock.h"
#include "diag/trace.h"
#include "platform/platform.h"
#include "render/warp_engine.h"

namespace kvp {

namespace {

constexpr const char* kProductSection = "Kestrelvue";
constexpr const char* kExpectedVersion = "Release 2.0";
constexpr uint32_t kHotspotKeyBytes = 32768;
constexpr uint32_t kHotspotValueBytes = 256;

// The six keys of an environment section, thousandths of a world unit.
EnvironmentBox ReadBox(const char* section, const platform::ProfileFile& file) {
  auto value = [&](const char* key, int32_t fallback) {
    return file.ReadInt(section, key, fallback) * 0.001;
  };
  EnvironmentBox box;
  box.XMin = value("XMin", -1000000);
  box.XMax = value("XMax", 1000000);
  box.YMin = value("YMin", -1000000);
  box.YMax = value("YMax", 1000000);
  box.ZMin = value("ZMin", -1000000);
  box.ZMax = value("ZMax", 1000000);
  return box;
}

}  // namespace

double WrapAngle(double angle) {
  while (angle > 180) angle -= 360;
  while (angle <= -180) angle += 360;
  return angle;
}

PanoramaController::PanoramaController() = default;

PanoramaController::~PanoramaController() { Close(); }

bool PanoramaController::TakeLock() { return TakeTimedLock(lock); }

void PanoramaController::ReleaseLock() { platform::ReleaseSemaphore(lock); }

void PanoramaController::Reset(platform::Window* target, int16_t slots) {
  renderThread = nullptr;
  window = target;
  notifyWindow = nullptr;
  notifyMessage = 0;
  frameRate = 30;
  framesPending = 0;
  notifyPending = 1;
  x = y = z = 0;
  forwardSpeed = 0;
  forwardFrames = 0;
  heading = pitch = roll = 0;
  headingSpeed = pitchSpeed = rollSpeed = 0;
  headingFrames = pitchFrames = rollFrames = 0;
  travelHeading = travelPitch = 0;
  fieldOfView = 75;
  fovSpeed = 0;
  fovFrames = 0;
  frame = FrameOutput();
  cache = FrameCache();
  headingMin = pitchMin = rollMin = -360;
  headingMax = pitchMax = rollMax = 360;
  fovMin = 10;
  fovMax = 170;
  blockingWait = 0;
  timerId = 0;
  boxes.clear();
  envCount = 0;
  hotspotCount = 0;
  spriteSlots = slots;
  adaptiveRate = 0;
  onTimeTicks = droppedTicks = windowTicks = 0;
  evaluationPeriod = 0.5;
  rateStep = 1;
  leaving = false;
  countTicks = false;
  ticksHandled = 0;
  framesDrawn = 0;
}

int PanoramaController::SetNotifyTarget(platform::Window* target, uint32_t message) {
  if (lock == nullptr) return kStatusNotOpen;
  if (target != nullptr) notifyWindow = target;
  notifyMessage = message;
  return kStatusDone;
}

void PanoramaController::Open(const char* fileName, platform::Window* target,
                              uint32_t message, int16_t rate, int16_t slots) {
  if (lock != nullptr) Close();

  char full[256] = "";
  if (fileName != nullptr && platform::GetFullPath(fileName, full, sizeof full) >= sizeof full) {
    full[0] = '\0';  // a name that does not fit counts as no name
  }

  Reset(target, slots);
  lock = platform::MakeSemaphore(1, 1);
  tickSignal = platform::MakeSemaphore(0, 1);
  frameDoneSignal = platform::MakeSemaphore(0, 1);
  if (lock == nullptr || tickSignal == nullptr || frameDoneSignal == nullptr) {
    // Without its lock the controller cannot even be closed the usual way.
    platform::CloseSemaphore(lock);
    platform::CloseSemaphore(tickSignal);
    platform::CloseSemaphore(frameDoneSignal);
    lock = tickSignal = frameDoneSignal = nullptr;
    throw OpenFailure("Mem Fault");
  }
  auto fail = [this](const char* text) {
    Close();
    throw OpenFailure(text);
  };
  if (full[0] == '\0') fail("Invalid Path Name");

  UpdateDisplayDepth();
  SetNotifyTarget(target, message);

  environmentSet = std::make_unique<EnvironmentSet>();
  char errorText[256] = "";
  ViewPose start, minimum, maximum;
  const int32_t r =
      environmentSet->OpenEnvironments(full, errorText, start, minimum, maximum, this, target);
  if (r == 0) {
    errorText[sizeof errorText - 1] = '\0';
    fail(errorText);
  }
  x = start.x;
  y = start.y;
  z = start.z;
  try {
    if (r < 0) {
      OpenImageFile(full);
    } else {
      OpenDescription(full);
    }
  } catch (const OpenFailure&) {
    Close();
    throw;
  }

  tickQueue = std::make_unique<TickQueue>();
  if (tickQueue->lock == nullptr) fail("Mem Fault");
  for (int16_t i = 0; i < spriteSlots; ++i) {
    auto sprite = std::make_unique<SpriteRecord>();
    sprite->controller = this;
    spriteStates.push_back(sprite.get());
    sprites.push_back(std::move(sprite));
  }

  if (target != nullptr) {
    renderThread =
        platform::StartStepThread(&PanoramaController::RenderStep, this, tickSignal);
    SetFrameRate(rate);
  }
}

void PanoramaController::OpenImageFile(const char* full) {
  envCount = 0;
  boxes.assign(1, EnvironmentBox());

  ViewPose pose{x, y, z, 0, 0, 0, 0};
  ViewPose centre;
  const uint8_t* image = nullptr;
  int32_t environment = 1;
  if (environmentSet->RequestImage(pose, centre, image, environment, kMovementNormal) != 0 ||
      image == nullptr) {
    throw OpenFailure("File Not Readable");
  }
  const BitmapInfoHeader header = ReadInfoHeader(image);
  fieldOfView = DefaultFieldOfView(header.height);
  const ViewFields view = GetViewFields(header);
  if (view.Valid()) {
    fieldOfView = view.fov;
    heading = view.heading;
    pitch = view.pitch;
    roll = view.roll;
  }

  boxes[0] = EnvironmentBox{-1000, 1000, -1000, 1000, -1000, 1000};

  hotspots = ReadHotspotBlock(full);
  for (auto& spot : hotspots) {
    spot->controller = this;
    spot->enabled = 1;
  }
  hotspotCount = int16_t(hotspots.size());

  warper = std::make_unique<Warper>();
  frame.projection = 0;
}

void PanoramaController::OpenDescription(const char* full) {
  // Read once: 32767 environments are six keys each, and every answer comes from memory.
  const platform::ProfileFile profile(full);
  char version[64] = "";
  profile.ReadString(kProductSection, "VERSION", "", version, sizeof version);
  if (std::strcmp(version, kExpectedVersion) != 0) throw OpenFailure("Invalid File");

  // A negative count would size the box array below its default entry; it means no
  // numbered environments.
  const int32_t count = profile.ReadInt(kProductSection, "Environment Count", 0);
  envCount = count < 0 || count > 0x7FFF ? 0 : int16_t(count);
  boxes.assign(size_t(envCount) + 1, EnvironmentBox());
  for (int32_t d = 1; d <= envCount; ++d) {
    char section[32];
    std::snprintf(section, sizeof section, "Environment %d", int(d));
    boxes[size_t(d - 1)] = ReadBox(section, profile);
  }
  boxes[size_t(envCount)] = ReadBox("Environment", profile);

  ViewPose pose{x, y, z, 0, 0, 0, 0};
  ViewPose centre;
  const uint8_t* image = nullptr;
  int32_t environment = 1;
  environmentSet->RequestImage(pose, centre, image, environment, kMovementNormal);

  std::unique_ptr<char[]> keys(new char[kHotspotKeyBytes]);
  keys[0] = keys[1] = '\0';
  profile.ReadString("HOT SPOTS", nullptr, "", keys.get(), kHotspotKeyBytes);
  for (const char* key = keys.get(); *key != '\0' && hotspots.size() < 0x7FFF;
       key += std::strlen(key) + 1) {
    auto spot = std::make_unique<Hotspot>();
    spot->controller = this;
    char value[kHotspotValueBytes];
    profile.ReadString("Hot Spots", key, "0.0 0.0 0.0 0.0", value, sizeof value);
    // Numbers the value does not supply stay 0.
    double numbers[6] = {0, 0, 0, 0, 0, 0};
    std::sscanf(value, "%lf %lf %lf %lf %lf %lf", &numbers[0], &numbers[1], &numbers[2],
                &numbers[3], &numbers[4], &numbers[5]);
    for (int i = 0; i < 3; ++i) {
      spot->centre[i] = numbers[i];
      spot->size[i] = numbers[3 + i];
    }
    const char* bracket = std::strchr(key, ')');
    spot->SetLink(bracket != nullptr ? bracket + 1 : "");
    spot->enabled = 1;
    hotspots.push_back(std::move(spot));
  }
  hotspotCount = int16_t(hotspots.size());

  warper = std::make_unique<Warper>();
  frame.projection =
      int16_t(profile.ReadInt(kProductSection, "Projection", 1));
}

}  // namespace kvp
