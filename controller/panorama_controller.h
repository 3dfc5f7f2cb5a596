// The panorama controller: one per shown panorama. It holds the view and its motion, the hot
// spots and sprites, the frame scheduling machinery and the render thread, and owns the
// environment set that supplies the images and the warper that draws them.
//
// Threads:
//  - The window thread calls Open, Close, the setters, Pick, and the hot-spot and sprite
//    operations.
//  - The timer service's thread runs TimerTick (controller/render_thread.cpp).
//  - The render thread runs RenderStep (one tick's work) after each wait for a tick and, for
//    each frame, RenderFrame. Where there are no threads the page's animation frame runs the
//    same step (platform::StartStepThread).
// Every field below is protected by `lock` once the controller is open, except where noted;
// the render thread holds the lock for a whole frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/types.h"
#include "platform/platform.h"
#include "render/frame_renderer.h"
#include "render/sprite_drawing.h"

namespace platform {
struct Semaphore;
struct Thread;
struct Window;
}  // namespace platform

namespace kvp {

class EnvironmentSet;
class Warper;
class PanoramaController;

// Status codes of the controller's operations.
constexpr int kStatusDone = 0;
constexpr int kStatusRefused = 2;
constexpr int kStatusNotOpen = 3;

// The `mode` of RequestFrames and of the setters that may ask for frames.
constexpr int32_t kFramesNotRequested = 0;  // setters: change the value only
constexpr int32_t kFramesRequested = 1;     // start the frames and return
constexpr int32_t kFramesAwaited = 2;       // start them and wait until the animation stops

// Resolution of the frame timer and of the timer period taken around it.
constexpr uint32_t kTimerResolutionMs = 20;

// Bit of the frame's view-change flags: a view value was pulled back to a limit.
constexpr int16_t kViewLimited = 8;
// RenderFrame's result when no frame could be produced.
constexpr int16_t kNoFrame = 1;

// What Open raises: the text the viewer window shows in a message box.
class OpenFailure : public std::runtime_error {
 public:
  explicit OpenFailure(const std::string& text) : std::runtime_error(text) {}
};

// ---- Hot spots --------------------------------------------------------------------------------

class Hotspot {
 public:
  Hotspot() = default;
  Hotspot(const Hotspot&) = delete;
  Hotspot& operator=(const Hotspot&) = delete;

  // Copy the centre or the size under the controller lock (a time-out goes on silently).
  int GetCentre(double& cx, double& cy, double& cz);
  int GetExtent(double& sx, double& sy, double& sz);
  // Copies the link into `buffer` as strncpy does: at most `bufferSize` characters, the rest
  // NULs, no terminator when the link has `bufferSize` characters or more. Returns 0.
  int GetLink(char* buffer, int32_t bufferSize);
  // Replaces the link with a copy of `text` (null: no link).
  void SetLink(const char* text);
  int SetEnabled(int16_t flag);

  double centre[3] = {0, 0, 0};
  double size[3] = {0, 0, 0};
  std::unique_ptr<char[]> link;  // null reads as empty
  int16_t enabled = 0;
  PanoramaController* controller = nullptr;
};

// Reads the "HSPT" block of an image file into hot spots (none for a bitmap file, a file
// without the block, an empty block or an unreadable file).
std::vector<std::unique_ptr<Hotspot>> ReadHotspotBlock(const char* fileName);

// ---- Sprites ----------------------------------------------------------------------------------

class SpriteRecord : public SpriteState {
 public:
  SpriteRecord() = default;
  ~SpriteRecord();
  SpriteRecord(const SpriteRecord&) = delete;
  SpriteRecord& operator=(const SpriteRecord&) = delete;

  // Loads a bitmap picture file ("dkrl" run-length, or uncompressed 8, 24 or 32 bits) into
  // the record at the given box; 0 on success, 1 on failure (no picture then). Holds the
  // controller lock while it runs, so the render thread never sees a half-loaded sprite.
  int LoadSpriteImage(const char* fileName, double cx, double cy, double cz, double sx,
                      double sy, double sz, int16_t show);
  int ReleasePicture();
  int SetSpriteVelocity(double vx, double vy, double vz);
  int SetSpriteGrowth(double gx, double gy, double gz);
  // Full passes through the sheet's columns and through its rows per second.
  int SetSpriteAnimation(double columnPasses, double rowPasses);

  PanoramaController* controller = nullptr;
};

// Maps an 8-bit sprite picture's pixels onto the nearest colours of an 8-bit panorama's table
// (`panoramaTable`: 256 entries of blue, green, red, reserved) and takes that table over.
// `picture` holds the header, a full 256-entry table and width * height pixels.
void RemapToPanoramaColours(uint8_t* picture, const uint8_t* panoramaTable);

// ---- The tick queue ---------------------------------------------------------------------------

// Timer ticks waiting for the render thread: five slots, so at most four ticks.
struct TickQueue {
  TickQueue();
  ~TickQueue();
  TickQueue(const TickQueue&) = delete;
  TickQueue& operator=(const TickQueue&) = delete;

  // The caller holds `lock`. Both return false (changing nothing) when the queue is full or
  // empty. `ticks` gets the ticks in the queue after a push.
  bool Push(int32_t& ticks);
  bool Take();

  platform::Semaphore* lock = nullptr;  // protects the indices, count and slots
  int32_t readIndex = 0;
  int32_t writeIndex = 0;
  int32_t count = 0;
  int32_t lastIndex = 4;
  void* slots[5] = {};
};

// ---- The controller ---------------------------------------------------------------------------

class PanoramaController {
 public:
  PanoramaController();
  ~PanoramaController();  // closes the controller if it is open
  PanoramaController(const PanoramaController&) = delete;
  PanoramaController& operator=(const PanoramaController&) = delete;

  // ---- Opening and configuration (controller/open.cpp) ----
  // Opens an image file or a panorama description. `window` may be null (no render thread).
  // `frameRate` goes to SetFrameRate (0: adaptive from 30). Raises OpenFailure with the text
  // to show; the controller is then closed.
  void Open(const char* fileName, platform::Window* target, uint32_t message, int16_t rate,
            int16_t slots);
  int SetNotifyTarget(platform::Window* target, uint32_t message);
  bool IsOpen() const { return lock != nullptr; }

  // ---- View and motion (controller/view.cpp) ----
  int RequestFrames(int32_t count, int32_t mode);
  int SetFrameRate(int16_t rate);
  int GetFrameRate(int16_t& rate);
  int SetView(double newHeading, double newPitch, double newRoll, double newFov, int32_t mode);
  int GetView(double& viewHeading, double& viewPitch, double& viewRoll, double& viewFov);
  // Places the viewer (px, py, pz) in the world of a description; not clamped here (the next
  // frame's image request clamps it to the node's roaming box). Tools use it.
  int SetPosition(double px, double py, double pz, int32_t mode);
  int GetPosition(double& px, double& py, double& pz);
  int SetTravelDirection(double newHeading, double newPitch, int32_t mode);
  int SetForwardMotion(double speed, int32_t frames, int32_t mode);
  int SetHeadingMotion(double speed, int32_t frames, int32_t mode);
  int SetPitchMotion(double speed, int32_t frames, int32_t mode);
  int SetRollMotion(double speed, int32_t frames, int32_t mode);
  int SetZoomMotion(double speed, int32_t frames, int32_t mode);
  int SetViewLimits(int16_t kind, const int32_t* data);
  // One frame's advance of the view; the caller holds the lock. Returns the view-change flags
  // (kViewLimited) and sets `movement` for the frame's image request.
  int16_t MotionStep(int& movement);

  // ---- Hot spots, sprites, picking (controller/hotspots.cpp) ----
  Hotspot* GetHotspot(int32_t index);
  SpriteRecord* GetSprite(int32_t index);
  // Where the world point (px, py, pz) appears in the frame: (wx, wy), frame rows from the
  // bottom. Returns 0 when it cannot be shown. The caller holds the lock.
  int ProjectPoint(double px, double py, double pz, int32_t& wx, int32_t& wy);
  // What lies under the window point (wx, wy), window rows from the top: the sprite slot
  // (kind 2) or hot spot (kind 4); -1 for nothing.
  int32_t Pick(int32_t wx, int32_t wy, int16_t& kind);

  // ---- Frames (controller/render_frame.cpp, controller/render_thread.cpp) ----
  // Draws one frame; the render thread calls it holding the lock.
  int16_t RenderFrame();
  void Close();

  // The live position and view, as the environment set and the projections take them.
  ViewPose LivePose() const { return ViewPose{x, y, z, heading, pitch, roll, fieldOfView}; }

  // The controller lock for code outside the controller (tools, benchmarks): TakeTimedLock on
  // `lock`, so a time-out is traced and TakeLock returns false; ReleaseLock only after true.
  bool TakeLock();
  void ReleaseLock();

  // ---- The record ----
  platform::Thread* renderThread = nullptr;
  platform::Window* window = nullptr;
  platform::Window* notifyWindow = nullptr;
  uint32_t notifyMessage = 0;
  int16_t frameRate = 30;
  int32_t framesPending = 0;
  int16_t notifyPending = 1;
  double x = 0, y = 0, z = 0;
  double forwardSpeed = 0;
  int32_t forwardFrames = 0;
  double heading = 0, pitch = 0, roll = 0;
  double headingSpeed = 0, pitchSpeed = 0, rollSpeed = 0;
  int32_t headingFrames = 0, pitchFrames = 0, rollFrames = 0;
  double travelHeading = 0, travelPitch = 0;
  double fieldOfView = 75;
  double fovSpeed = 0;
  int32_t fovFrames = 0;
  FrameOutput frame;
  FrameCache cache;
  double headingMin = -360, headingMax = 360, pitchMin = -360, pitchMax = 360;
  double rollMin = -360, rollMax = 360;
  double fovMin = 10, fovMax = 170;
  int16_t blockingWait = 0;
  uint32_t timerId = 0;
  platform::Semaphore* frameDoneSignal = nullptr;
  std::vector<EnvironmentBox> boxes;  // envCount numbered environments, then the default
  std::unique_ptr<EnvironmentSet> environmentSet;
  std::unique_ptr<Warper> warper;
  int16_t envCount = 0;
  int16_t hotspotCount = 0;
  int16_t spriteSlots = 0;
  int16_t adaptiveRate = 0;
  int32_t onTimeTicks = 0, droppedTicks = 0, windowTicks = 0;
  double evaluationPeriod = 0.5;
  int32_t rateStep = 1;
  platform::Semaphore* tickSignal = nullptr;
  std::unique_ptr<TickQueue> tickQueue;
  platform::Semaphore* lock = nullptr;  // count 1; null: not open
  std::vector<std::unique_ptr<Hotspot>> hotspots;
  std::vector<std::unique_ptr<SpriteRecord>> sprites;
  // The same records as the frame renderer takes them; made once by Open.
  std::vector<SpriteState*> spriteStates;

  // --- outside the lock
  // Set by Close to tell the render thread to leave its loop; the thread is then woken and
  // waited for.
  std::atomic<bool> leaving{false};
  // adaptiveRate set and the cache not valid: whether the timer callback counts its tick as
  // dropped or on time. Kept up to date by whoever changes either (under the lock) so that
  // the callback can read it before it queues its tick, without the lock.
  std::atomic<bool> countTicks{false};
  // Ticks the render thread has taken from the queue and dealt with, and the frames among
  // them that RenderFrame drew: for tests and measurements that need to know when the
  // thread has caught up.
  std::atomic<uint32_t> ticksHandled{0};
  std::atomic<uint32_t> framesDrawn{0};

  // The render thread's work for one tick (argument: the controller): takes a tick from the
  // queue and, while frames are pending, draws one frame; idle when no tick waits; done once
  // Close has told the thread to leave. Run by the render thread after each wake-up, or by
  // the page's animation frame where there are no threads; tests call it directly.
  static platform::StepResult RenderStep(void* controller);
  // The timer callback (user: the controller).
  static void TimerTick(uint32_t id, void* controller);
  // Ends the animation; the caller holds the lock. Returns the timer it stopped (0: none),
  // which the caller kills once it has released the lock: a kill waits for a running
  // callback, and the callback may be waiting for this very lock.
  uint32_t Stop();
  // Starts the periodic timer at 1000 / frameRate ms; the caller holds the lock.
  void StartTimer();
  // Refreshes countTicks; the caller holds the lock.
  void UpdateTickCounting();

 private:
  void Reset(platform::Window* target, int16_t slots);
  void OpenImageFile(const char* full);
  void OpenDescription(const char* full);
  int SetMotion(double& speed, int32_t& frames, double newSpeed, int32_t newFrames,
                int32_t mode);
};

// Wraps an angle into (-180, 180].
double WrapAngle(double angle);

}  // namespace kvp
