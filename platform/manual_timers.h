// Timers that tests fire by hand: a registry both platform sides share, so a test drives the
// frame scheduler the same way on Windows and POSIX.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace manual_timers {

struct Entry {
  uint32_t id;
  uint32_t delay;
  TimerCallback callback;
  void* user;
};

// Manual ids live in the upper half of the id space so that a stale manual id can never name
// a timer of the system's service, which hands out small numbers.
constexpr uint32_t kFirstId = 0x80000000u;

struct Registry {
  std::mutex lock;
  // --- protected by lock
  bool on = false;
  uint32_t lastId = kFirstId - 1;
  std::vector<Entry> timers;  // in start order
};

inline Registry& Timers() {
  static Registry registry;
  return registry;
}

inline bool On() {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.on;
}

inline void SetOn(bool on) {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  r.on = on;
  // Whatever a test left behind goes with the switch, so the next test starts empty.
  r.timers.clear();
}

inline bool Contains(const Registry& r, uint32_t id) {
  for (const Entry& e : r.timers) {
    if (e.id == id) return true;
  }
  return false;
}

// Records a timer; returns its id, or 0 when manual timers are off (the caller then starts a
// real one).
inline uint32_t Start(uint32_t delay, TimerCallback callback, void* user) {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  if (!r.on) return 0;
  // Ids advance and wrap within the upper half; one still in use is skipped.
  do {
    r.lastId = r.lastId == 0xFFFFFFFFu ? kFirstId : r.lastId + 1;
  } while (Contains(r, r.lastId));
  r.timers.push_back(Entry{r.lastId, delay, callback, user});
  return r.lastId;
}

// Forgets the timer; false when it is not a manual timer.
inline bool Kill(uint32_t id) {
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

inline bool Fire(uint32_t id) {
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

inline uint32_t Count() {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  return static_cast<uint32_t>(r.timers.size());
}

inline uint32_t IdAt(uint32_t index) {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  return index < r.timers.size() ? r.timers[index].id : 0;
}

inline uint32_t DelayOf(uint32_t id) {
  Registry& r = Timers();
  std::lock_guard<std::mutex> hold(r.lock);
  for (const Entry& e : r.timers) {
    if (e.id == id) return e.delay;
  }
  return 0;
}

}  // namespace manual_timers
}  // namespace platform
