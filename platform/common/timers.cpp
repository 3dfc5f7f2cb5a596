// Periodic timers with the manual timers tests fire by hand, the same on every side, so a
// test drives the frame scheduler alike on Windows and POSIX; other timers go to the side.
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/common/side.h"
#include "platform/platform.h"
#include "platform/testing.h"

namespace platform {

namespace {

struct Entry {
  uint32_t id;
  uint32_t delay;
  TimerCallback callback;
  void* user;
};

struct Registry {
  std::mutex lock;
  // --- protected by lock
  bool on = false;
  uint32_t lastId = side::kFirstManualTimerId - 1;
  std::vector<Entry> timers;  // in start order
};

Registry& Timers() {
  static Registry registry;
  return registry;
}

bool ManualTimersOn() {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.on;
}

bool Contains(const Registry& r, uint32_t id) {
  for (const Entry& e : r.timers) {
    if (e.id == id) return true;
  }
  return false;
}

// Records a timer; returns its id, or 0 when manual timers are off.
uint32_t StartManualTimer(uint32_t delay, TimerCallback callback, void* user) {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  if (!r.on) return 0;
  // Ids advance and wrap within the upper half; one still in use is skipped.
  do {
    r.lastId = r.lastId == 0xFFFFFFFFu ? side::kFirstManualTimerId : r.lastId + 1;
  } while (Contains(r, r.lastId));
  r.timers.push_back(Entry{r.lastId, delay, callback, user});
  return r.lastId;
}

// Forgets the timer; false when it is not a manual timer.
bool KillManualTimer(uint32_t id) {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  for (auto it = r.timers.begin(); it != r.timers.end(); ++it) {
    if (it->id == id) {
      r.timers.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace

uint32_t StartPeriodicTimer(uint32_t delay, uint32_t resolution, TimerCallback callback,
                            void* user) {
  if (callback == nullptr) return 0;
  // Like timeSetEvent, a manual timer of no delay is refused.
  if (ManualTimersOn()) return delay == 0 ? 0 : StartManualTimer(delay, callback, user);
  return side::StartPeriodicTimer(delay, resolution, callback, user);
}

bool KillTimer(uint32_t id) {
  if (id == 0) return false;
  if (KillManualTimer(id)) return true;
  return side::KillTimer(id);
}

void UseManualTimers(bool on) {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  r.on = on;
  // Whatever a test left behind goes with the switch, so the next test starts empty.
  r.timers.clear();
}

bool FireTimer(uint32_t id) {
  Registry& r = Timers();
  Entry entry{};
  {
    std::lock_guard<std::mutex> hold(r.lock);
    bool found = false;
    for (const Entry& e : r.timers) {
      if (e.id == id) {
        entry = e;
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  // Called unlocked: the callback may kill this timer and start another, as real ones do.
  entry.callback(entry.id, entry.user);
  return true;
}

uint32_t ManualTimerCount() {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  return static_cast<uint32_t>(r.timers.size());
}

uint32_t ManualTimerId(uint32_t index) {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  return index < r.timers.size() ? r.timers[index].id : 0;
}

uint32_t ManualTimerDelay(uint32_t id) {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  for (const Entry& e : r.timers) {
    if (e.id == id) return e.delay;
  }
  return 0;
}

}  // namespace platform
