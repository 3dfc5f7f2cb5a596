// Frame scheduling: the tick queue, the timer callback with its rate adaptation, the render
// thread's step, Stop, and Close, which tears the controller down.
//
// Three threads meet here: the window thread (frame requests, setters, Close), the timer
// service's thread (TimerTick) and the render thread (RenderStep). The controller lock is
// outside, the queue's lock inside; the callback and the render thread never hold both.
#include "controller/panorama_controller.h"
#include "data/environment_set.h"
#include "diag/timed_lock.h"
#include "platform/platform.h"
#include "render/warp_engine.h"

namespace kvp {

namespace {

// Any non-null value marks a tick.
int gTickMarker;

}  // namespace

// ---- Tick queue ---------------------------------------------------------------------------------

TickQueue::TickQueue() : lock(platform::MakeSemaphore(1, 1)) {}

TickQueue::~TickQueue() { platform::CloseSemaphore(lock); }

bool TickQueue::Push(int32_t& ticks) {
  const int32_t next = writeIndex < lastIndex ? writeIndex + 1 : 0;
  if (next == readIndex) return false;
  slots[writeIndex] = &gTickMarker;
  writeIndex = next;
  ticks = ++count;
  return true;
}

bool TickQueue::Take() {
  if (readIndex == writeIndex) return false;
  slots[readIndex] = nullptr;
  readIndex = readIndex < lastIndex ? readIndex + 1 : 0;
  --count;
  return true;
}

// ---- Timer callback ------------------------------------------------------------------------------

void PanoramaController::UpdateTickCounting() {
  countTicks = adaptiveRate != 0 && cache.valid == 0;
}

void PanoramaController::TimerTick(uint32_t /*id*/, void* controller) {
  auto* c = static_cast<PanoramaController*>(controller);
  // A still view (the cache holds its smoothed frame) says nothing about the machine's speed.
  const bool counting = c->countTicks;

  int32_t n = 0;
  {
    TimedLock queue(c->tickQueue->lock);
    if (!c->tickQueue->Push(n)) n = 0;  // full: the tick is dropped
  }
  platform::ReleaseSemaphore(c->tickSignal);

  // The tick counters are guarded by the controller lock like the rest of the record. The
  // tick is queued and signalled first, so a frame in progress (which holds the lock) does
  // not delay it.
  TimedLock held(c->lock);
  if (counting) {
    if (n == 0) ++c->droppedTicks;
    if (n == 1) ++c->onTimeTicks;
  }
  int16_t change = 0;
  if (c->adaptiveRate != 0) {
    ++c->windowTicks;
    if (c->windowTicks >= c->frameRate * c->evaluationPeriod) {
      const int32_t r = c->frameRate;
      int32_t next = r;
      if (c->droppedTicks > 0) {
        next = r - int32_t(c->droppedTicks / c->evaluationPeriod);
        c->rateStep = 1;
      } else if (c->onTimeTicks >= c->windowTicks) {
        next = r + c->rateStep;
        c->rateStep *= 2;
      } else {
        c->rateStep = 1;
      }
      c->onTimeTicks = c->droppedTicks = c->windowTicks = 0;
      if (next != r && next >= 1 && next <= 30) change = int16_t(next);
    }
  }
  held.Release();
  if (change != 0) c->SetFrameRate(int16_t(-change));
}

// ---- Render thread ------------------------------------------------------------------------------

platform::StepResult PanoramaController::RenderStep(void* controller) {
  auto* c = static_cast<PanoramaController*>(controller);
  if (c->leaving) return platform::StepResult::kDone;
  bool ticked = false;
  {
    TimedLock queue(c->tickQueue->lock);
    ticked = c->tickQueue->Take();
  }
  if (!ticked) return platform::StepResult::kIdle;

  TimedLock held(c->lock);
  if (c->leaving) return platform::StepResult::kDone;
  if (c->framesPending == 0) {
    const uint32_t stopped = c->Stop();
    held.Release();
    if (stopped != 0) platform::KillTimer(stopped);
    ++c->ticksHandled;
    return platform::StepResult::kMore;
  }
  if (c->framesPending > 0) --c->framesPending;
  const int16_t result = c->RenderFrame();
  if (result >= 2 && c->notifyPending != 0) {
    c->notifyPending = 0;
    platform::PostWindowMessage(c->notifyWindow, c->notifyMessage, 1, result);
  }
  held.Release();
  if (result != kNoFrame) ++c->framesDrawn;
  ++c->ticksHandled;
  return platform::StepResult::kMore;
}

uint32_t PanoramaController::Stop() {
  const uint32_t stopped = timerId;
  if (timerId != 0) {
    platform::EndTimerPeriod(kTimerResolutionMs);
    timerId = 0;
  }
  for (;;) {
    TimedLock queue(tickQueue->lock);
    if (!tickQueue->Take()) break;
  }
  if (blockingWait != 0) {
    blockingWait = 0;
    platform::ReleaseSemaphore(frameDoneSignal);
  }
  return stopped;
}

// ---- Close ---------------------------------------------------------------------------------------

void PanoramaController::Close() {
  if (lock == nullptr) return;

  // A controller that failed to open may lack its queue; there is no render thread then and
  // no timer can have started.
  if (tickQueue != nullptr) {
    RequestFrames(0, kFramesRequested);  // one final frame; ends continuous running
    // Time for the timer's next tick and the render thread to draw that frame (and post its
    // notification) before Stop below empties the queue and the thread is told to leave. At
    // low frame rates the tick may come too late; Close goes on regardless.
    platform::Sleep(100);
  }

  TimedLock held(lock);
  const uint32_t stopped = tickQueue != nullptr ? Stop() : 0;
  // The render thread leaves its loop at its next look and is waited for, instead of being
  // killed where it stands; the lock is let go meanwhile so that it, and a timer callback
  // in flight, can finish what they are doing.
  leaving = true;
  held.Release();
  if (stopped != 0) platform::KillTimer(stopped);
  if (renderThread != nullptr) {
    platform::ReleaseSemaphore(tickSignal);
    platform::WaitThread(renderThread, platform::kInfinite);
    platform::CloseThread(renderThread);
    renderThread = nullptr;
  }
  TimedLock heldAgain(lock);

  hotspots.clear();
  hotspotCount = 0;
  tickQueue.reset();
  platform::CloseSemaphore(tickSignal);
  tickSignal = nullptr;
  platform::CloseSemaphore(frameDoneSignal);
  frameDoneSignal = nullptr;
  boxes.clear();
  environmentSet.reset();
  warper.reset();
  frame.buffer.reset();
  cache.buffer.reset();
  cache.valid = 0;
  heldAgain.Release();

  spriteStates.clear();
  sprites.clear();  // nothing else can reach them now

  platform::CloseSemaphore(lock);
  lock = nullptr;
}

}  // namespace kvp
