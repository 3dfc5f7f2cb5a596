// Win32 multimedia timers: timeSetEvent and friends.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

#include <map>
#include <mutex>

#include "platform/common/side.h"
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

namespace side {

uint32_t StartPeriodicTimer(uint32_t delay, uint32_t resolution, TimerCallback callback,
                            void* user) {
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

}  // namespace side

bool BeginTimerPeriod(uint32_t milliseconds) {
  return timeBeginPeriod(milliseconds) == TIMERR_NOERROR;
}

bool EndTimerPeriod(uint32_t milliseconds) {
  return timeEndPeriod(milliseconds) == TIMERR_NOERROR;
}

}  // namespace platform
