// Periodic timers fired by hand from the caller's clock.
#include "platform/common/timer_pump.h"

namespace platform {
namespace common {

TimerPump::Timer* TimerPump::Find(uint32_t id) {
  for (Timer& t : timers_) {
    if (t.id == id) return &t;
  }
  return nullptr;
}

uint32_t TimerPump::Start(uint32_t delay, TimerCallback callback, void* user) {
  if (delay == 0 || callback == nullptr || idLimit_ < 2) return 0;
  // Ids advance and wrap below the limit; one still in use is skipped.
  for (uint32_t tries = 0; tries < idLimit_; ++tries) {
    lastId_ = lastId_ + 1 >= idLimit_ ? 1 : lastId_ + 1;
    if (Find(lastId_) == nullptr) {
      timers_.push_back(Timer{lastId_, double(delay), now_ + delay, callback, user});
      return lastId_;
    }
  }
  return 0;
}

bool TimerPump::Kill(uint32_t id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->id == id) {
      timers_.erase(it);
      return true;
    }
  }
  return false;
}

int32_t TimerPump::Fire(double nowMs) {
  if (nowMs > now_) now_ = nowMs;
  // The ids due now; callbacks may change the list, so each is looked up again before a call.
  std::vector<uint32_t> due;
  for (const Timer& t : timers_) {
    if (t.due <= now_) due.push_back(t.id);
  }
  int32_t calls = 0;
  for (uint32_t id : due) {
    for (int32_t n = 0; n < kMaxCatchUp; ++n) {
      Timer* t = Find(id);
      if (t == nullptr || t->due > now_) break;
      t->due += t->period;
      const TimerCallback callback = t->callback;
      void* const user = t->user;
      callback(id, user);
      ++calls;
    }
    Timer* t = Find(id);
    if (t != nullptr && t->due <= now_) t->due = now_ + t->period;
  }
  return calls;
}

}  // namespace common
}  // namespace platform
