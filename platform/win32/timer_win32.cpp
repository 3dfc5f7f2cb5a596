// Win32 multimedia timers: timeSetEvent and friends, plus the manual timers tests fire.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

#include <map>
#include <mutex>

#include "platform/manual_timers.h"
#include "platform/platform.h"

namespace platform {

namespace {

// What the system's callback needs to reach ours. One per running timer, freed by KillTimer.
struct Target {
  TimerCallback callback;
  void* user;
};

std::mutex gLock;
// --- protected by gLock
std::map<UINT, Target*> gTargets;

void CALLBACK TimerEntry(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  // Copied before the call: the callback may kill its own timer, which frees the target.
  const Target target = *reinterpret_cast<const Target*>(user);
  target.callback(id, target.user);
}

}  // namespace

uint32_t StartPeriodicTimer(uint32_t delay, uint32_t resolution, TimerCallback callback,
                            void* user) {
  if (callback == nullptr) return 0;
  if (manual_timers::On()) {
    return delay == 0 ? 0 : manual_timers::Start(delay, callback, user);
  }
  auto* target = new Target{callback, user};
  // The lock is held across timeSetEvent so that a first callback which kills its timer at
  // once finds the target recorded. The system does not hold its own lock while it calls
  // back, so a callback waiting here cannot block timeSetEvent.
  std::lock_guard<std::mutex> hold(gLock);
  // TIME_KILL_SYNCHRONOUS: timeKillEvent returns only once a running callback has returned,
  // which is what lets KillTimer free the target.
  const UINT id = timeSetEvent(delay, resolution, TimerEntry, reinterpret_cast<DWORD_PTR>(target),
                               TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
  if (id == 0) {
    delete target;
    return 0;
  }
  gTargets[id] = target;
  return id;
}

bool KillTimer(uint32_t id) {
  if (id == 0) return false;
  if (manual_timers::Kill(id)) return true;
  Target* target;
  {
    std::lock_guard<std::mutex> hold(gLock);
    auto it = gTargets.find(id);
    if (it == gTargets.end()) return false;
    target = it->second;
    gTargets.erase(it);
  }
  // Unlocked: waiting for a running callback while holding gLock would deadlock with a
  // callback that starts or kills a timer.
  timeKillEvent(id);
  delete target;
  return true;
}

bool BeginTimerPeriod(uint32_t milliseconds) {
  return timeBeginPeriod(milliseconds) == TIMERR_NOERROR;
}

bool EndTimerPeriod(uint32_t milliseconds) {
  return timeEndPeriod(milliseconds) == TIMERR_NOERROR;
}

void UseManualTimers(bool on) { manual_timers::SetOn(on); }
bool FireTimer(uint32_t id) { return manual_timers::Fire(id); }
uint32_t ManualTimerCount() { return manual_timers::Count(); }
uint32_t ManualTimerId(uint32_t index) { return manual_timers::IdAt(index); }
uint32_t ManualTimerDelay(uint32_t id) { return manual_timers::DelayOf(id); }

}  // namespace platform
