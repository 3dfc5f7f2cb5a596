// The live view and its motion: frame requests, the frame rate, the view and motion setters,
// the limits, and the per-frame MotionStep.
#include <cmath>

#include "controller/panorama_controller.h"
#include "diag/timed_lock.h"
#include "platform/platform.h"
#include "render/trig.h"

namespace kvp {

void PanoramaController::StartTimer() {
  platform::BeginTimerPeriod(kTimerResolutionMs);
  timerId = platform::StartPeriodicTimer(uint32_t(1000 / frameRate), kTimerResolutionMs,
                                         &PanoramaController::TimerTick, this);
}

int PanoramaController::RequestFrames(int32_t count, int32_t mode) {
  if (lock == nullptr || window == nullptr) return kStatusNotOpen;
  TimedLock held(lock);
  if (mode == kFramesNotRequested || blockingWait != 0 || (mode == kFramesAwaited && count < 0)) {
    return kStatusRefused;
  }
  if (renderThread == nullptr || leaving) return kStatusRefused;

  if (framesPending < 0) {
    if (count != 0) return kStatusDone;  // continuous running goes on
    framesPending = 1;
  } else if (count == 0) {
    framesPending = 1;
  } else if (count < 0) {
    framesPending = -1;
  } else if (count > framesPending) {
    framesPending = count;
  }

  if (timerId == 0) StartTimer();

  if (mode == kFramesAwaited) {
    blockingWait = 1;
    held.Release();
    platform::WaitSemaphore(frameDoneSignal, platform::kInfinite);
  }
  return kStatusDone;
}

int PanoramaController::SetFrameRate(int16_t rate) {
  if (lock == nullptr) return kStatusNotOpen;
  if (window == nullptr && rate <= 0) return kStatusRefused;
  if (rate > 30 || rate < -30) return kStatusRefused;
  TimedLock held(lock);
  if (rate == 0) rate = int16_t(-frameRate);
  if (rate < 0) {
    adaptiveRate = 1;
    rate = int16_t(-rate);
  } else {
    adaptiveRate = 0;
  }
  frameRate = rate;
  if (frameRate > 30 || frameRate <= 0) frameRate = 30;
  UpdateTickCounting();
  uint32_t replaced = 0;
  if (timerId != 0) {
    replaced = timerId;
    timerId = platform::StartPeriodicTimer(uint32_t(1000 / frameRate), kTimerResolutionMs,
                                           &PanoramaController::TimerTick, this);
  }
  // The old timer goes once the lock is free: a kill from another thread waits for its
  // running callback, which may be waiting for the lock. From the callback itself (the rate
  // adaptation) the kill returns at once.
  held.Release();
  if (replaced != 0) platform::KillTimer(replaced);
  return kStatusDone;
}

int PanoramaController::GetFrameRate(int16_t& rate) {
  if (lock == nullptr) return kStatusNotOpen;
  TimedLock held(lock);
  rate = frameRate;
  return kStatusDone;
}

int PanoramaController::SetView(double newHeading, double newPitch, double newRoll,
                                double newFov, int32_t mode) {
  if (lock == nullptr) return kStatusNotOpen;
  {
    TimedLock held(lock);
    heading = WrapAngle(newHeading);
    pitch = WrapAngle(newPitch);
    roll = WrapAngle(newRoll);
    fieldOfView = newFov;
  }
  if (mode != kFramesNotRequested) RequestFrames(1, mode);
  return kStatusDone;
}

int PanoramaController::GetView(double& viewHeading, double& viewPitch, double& viewRoll,
                                double& viewFov) {
  if (lock == nullptr) return kStatusNotOpen;
  TimedLock held(lock);
  viewHeading = heading;
  viewPitch = pitch;
  viewRoll = roll;
  viewFov = fieldOfView;
  return kStatusDone;
}

int PanoramaController::SetPosition(double px, double py, double pz, int32_t mode) {
  if (lock == nullptr) return kStatusNotOpen;
  {
    TimedLock held(lock);
    x = px;
    y = py;
    z = pz;
  }
  if (mode != kFramesNotRequested) RequestFrames(1, mode);
  return kStatusDone;
}

int PanoramaController::GetPosition(double& px, double& py, double& pz) {
  if (lock == nullptr) return kStatusNotOpen;
  TimedLock held(lock);
  px = x;
  py = y;
  pz = z;
  return kStatusDone;
}

int PanoramaController::SetTravelDirection(double newHeading, double newPitch, int32_t mode) {
  if (lock == nullptr) return kStatusNotOpen;
  {
    TimedLock held(lock);
    travelHeading = WrapAngle(newHeading);
    travelPitch = WrapAngle(newPitch);
  }
  if (mode != kFramesNotRequested) RequestFrames(1, mode);
  return kStatusDone;
}

int PanoramaController::SetMotion(double& speed, int32_t& frames, double newSpeed,
                                  int32_t newFrames, int32_t mode) {
  if (lock == nullptr) return kStatusNotOpen;
  {
    TimedLock held(lock);
    speed = newSpeed;
    frames = newFrames;
  }
  if (mode != kFramesNotRequested) RequestFrames(newFrames, mode);
  return kStatusDone;
}

int PanoramaController::SetForwardMotion(double speed, int32_t frames, int32_t mode) {
  return SetMotion(forwardSpeed, forwardFrames, speed, frames, mode);
}

int PanoramaController::SetHeadingMotion(double speed, int32_t frames, int32_t mode) {
  return SetMotion(headingSpeed, headingFrames, speed, frames, mode);
}

int PanoramaController::SetPitchMotion(double speed, int32_t frames, int32_t mode) {
  return SetMotion(pitchSpeed, pitchFrames, speed, frames, mode);
}

int PanoramaController::SetRollMotion(double speed, int32_t frames, int32_t mode) {
  return SetMotion(rollSpeed, rollFrames, speed, frames, mode);
}

int PanoramaController::SetZoomMotion(double speed, int32_t frames, int32_t mode) {
  return SetMotion(fovSpeed, fovFrames, speed, frames, mode);
}

int PanoramaController::SetViewLimits(int16_t kind, const int32_t* data) {
  if (lock == nullptr) return kStatusNotOpen;
  if (kind != 1 && kind != 2) return kStatusRefused;
  // Under the lock, so that a frame never sees half of the new limits.
  TimedLock held(lock);
  if (kind == 1) {
    if (data == nullptr) {
      frame.rectangleInForce = 0;
    } else {
      frame.left = data[0];
      frame.top = data[1];
      frame.right = data[2];
      frame.bottom = data[3];
      frame.rectangleInForce = 1;
    }
    return kStatusDone;
  }
  if (data == nullptr) {
    headingMin = pitchMin = rollMin = -360;
    headingMax = pitchMax = rollMax = 360;
    fovMin = 10;
    fovMax = 170;
    return kStatusDone;
  }
  headingMin = data[0];
  headingMax = data[1];
  pitchMin = data[2];
  pitchMax = data[3];
  rollMin = data[4];
  rollMax = data[5];
  fovMin = data[6] >= 170 ? 170 : data[6];
  fovMax = data[7] <= 10 ? 10 : data[7];
  return kStatusDone;
}

int16_t PanoramaController::MotionStep(int& movement) {
  const double r = frameRate;
  double step = 0;
  if (forwardFrames != 0) {
    step = forwardSpeed / r;
    if (forwardFrames > 0) --forwardFrames;
  }
  auto turn = [r](double& angle, double speed, int32_t& frames, bool wrap) {
    if (frames == 0) return;
    angle = wrap ? WrapAngle(angle + speed / r) : angle + speed / r;
    if (frames > 0) --frames;
  };
  turn(heading, headingSpeed, headingFrames, true);
  turn(pitch, pitchSpeed, pitchFrames, true);
  turn(roll, rollSpeed, rollFrames, true);
  turn(fieldOfView, fovSpeed, fovFrames, false);

  int16_t flags = 0;
  auto limit = [&flags](double& value, double minimum, double maximum) {
    if (value > maximum) {
      value = maximum;
      flags |= kViewLimited;
    }
    if (value < minimum) {
      value = minimum;
      flags |= kViewLimited;
    }
  };
  limit(heading, headingMin, headingMax);
  limit(pitch, pitchMin, pitchMax);
  limit(roll, rollMin, rollMax);
  limit(fieldOfView, fovMin, fovMax);

  // The portable sine and cosine keep both builds on the same path.
  const double radians = 2 * std::acos(0.0) / 180;
  const double th = travelHeading * radians;
  const double tp = travelPitch * radians;
  x = x - trig::Sin(th) * trig::Cos(tp) * step;
  y = y + trig::Cos(th) * trig::Cos(tp) * step;
  z = z + trig::Sin(tp) * step;

  movement = (forwardSpeed != 0 && forwardFrames != 0) ? 1 : 0;
  return flags;
}

}  // namespace kvp
