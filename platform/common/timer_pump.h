// Periodic timers fired by hand from a clock the caller reads: the multimedia timers of a side
// whose only regular beat is the page's animation frame.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace common {

// The timers of one pump. Callbacks run inside Fire on the caller's thread, so a callback may
// kill its own timer and start another (the frame scheduler does when it changes the rate).
// One thread at a time may use a pump.
class TimerPump {
 public:
  // The most periods one Fire makes up for a timer that has fallen behind: the tick queue
  // holds four, so one more already counts as dropped. A longer gap (a hidden tab) is skipped.
  static constexpr int32_t kMaxCatchUp = 5;

  // A timer of `delay` ms (at least 1) first due one period after the last Fire's time. Ids
  // start at 1 and stay below `idLimit`; 0 for a zero delay, a null callback or no free id.
  explicit TimerPump(uint32_t idLimit) : idLimit_(idLimit) {}
  uint32_t Start(uint32_t delay, TimerCallback callback, void* user);
  bool Kill(uint32_t id);

  // Calls every timer due at `nowMs` (in start order), each once per period passed, at most
  // kMaxCatchUp times; a timer still behind after that is next due a period from now. A
  // timer started by a callback is first due a period after `nowMs`. Returns the calls made.
  // `nowMs` that goes backwards is taken as the previous time.
  int32_t Fire(double nowMs);

  double Now() const { return now_; }
  size_t Count() const { return timers_.size(); }

 private:
  struct Timer {
    uint32_t id;
    double period;
    double due;
    TimerCallback callback;
    void* user;
  };
  Timer* Find(uint32_t id);

  const uint32_t idLimit_;
  uint32_t lastId_ = 0;
  double now_ = 0;
  std::vector<Timer> timers_;  // in start order
};

}  // namespace common
}  // namespace platform
