// POSIX multimedia timers: a service thread that calls periodic callbacks one at a time.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/common/side.h"
#include "platform/platform.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
  std::chrono::milliseconds period;
  TimerCallback callback;
  void* user;
  Clock::time_point due;
};

// The one service of the process. Its thread starts with the first timer and then waits on a
// condition variable whenever nothing is due, so an idle service costs no processor time. It
// is a function-local static: its destructor stops and joins the thread at process exit.
class TimerService {
 public:
  ~TimerService() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (!worker_.joinable()) return;
    // exit() called from a callback runs this destructor on the worker itself.
    if (worker_.get_id() == std::this_thread::get_id()) {
      worker_.detach();
    } else {
      worker_.join();
    }
  }

  uint32_t Start(uint32_t delay, TimerCallback callback, void* user) {
    std::lock_guard<std::mutex> hold(lock_);
    if (stopping_) return 0;
    if (!worker_.joinable()) {
      try {
        worker_ = std::thread([this] { Run(); });
      } catch (const std::exception&) {
        return 0;
      }
    }
    // Ids count up through the lower half of the id space (manual timers own the upper half)
    // and skip any still in use, so a killed timer's id comes back only after 2^31 starts.
    do {
      lastId_ = lastId_ >= side::kFirstManualTimerId - 1 ? 1 : lastId_ + 1;
    } while (timers_.count(lastId_) != 0);
    const std::chrono::milliseconds period(delay);
    timers_[lastId_] = Timer{period, callback, user, Clock::now() + period};
    wake_.notify_all();
    return lastId_;
  }

  bool Kill(uint32_t id) {
    std::unique_lock<std::mutex> hold(lock_);
    if (timers_.erase(id) == 0) return false;
    // The worker re-reads the table after each callback, so erasing is enough to stop
    // further calls. A callback of this timer already running on another thread is waited
    // for; on the worker itself (a callback killing its own timer) that would never end.
    if (worker_.get_id() != std::this_thread::get_id()) {
      returned_.wait(hold, [this, id] { return running_ != id; });
    }
    wake_.notify_all();
    return true;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> hold(lock_);
    while (!stopping_) {
      if (timers_.empty()) {
        wake_.wait(hold);
        continue;
      }
      auto next = timers_.begin();
      for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due < next->second.due) next = it;
      }
      const Clock::time_point due = next->second.due;
      if (Clock::now() < due) {
        // Woken early by a start, a kill or the end: the table is looked at afresh.
        wake_.wait_until(hold, due);
        continue;
      }
      const uint32_t id = next->first;
      const Timer timer = next->second;
      running_ = id;
      hold.unlock();
      timer.callback(id, timer.user);
      hold.lock();
      running_ = 0;
      returned_.notify_all();
      auto again = timers_.find(id);
      if (again == timers_.end()) continue;  // killed meanwhile (maybe by itself)
      // The next period counts from the previous due time so that lateness does not add up;
      // periods that a slow callback overran are skipped, not fired in a burst.
      Clock::time_point following = timer.due + timer.period;
      const Clock::time_point now = Clock::now();
      if (following <= now) {
        const auto missed = (now - following) / timer.period + 1;
        following += missed * timer.period;
      }
      again->second.due = following;
    }
  }

  std::mutex lock_;
  std::condition_variable wake_;      // the worker: the table changed or the service ends
  std::condition_variable returned_;  // killers: a callback has returned
  // --- protected by lock_
  std::map<uint32_t, Timer> timers_;
  uint32_t lastId_ = 0;
  uint32_t running_ = 0;  // the timer whose callback runs now, 0 for none
  bool stopping_ = false;
  // Started under lock_ by the first Start; only the worker's own loop touches the table
  // outside the seam calls above.
  std::thread worker_;
};

TimerService& Service() {
  static TimerService service;
  return service;
}

}  // namespace

namespace side {

uint32_t StartPeriodicTimer(uint32_t delay, uint32_t /*resolution*/, TimerCallback callback,
                            void* user) {
  // Like timeSetEvent: a zero delay is refused.
  if (delay == 0) return 0;
  return Service().Start(delay, callback, user);
}

bool KillTimer(uint32_t id) { return Service().Kill(id); }

}  // namespace side

bool BeginTimerPeriod(uint32_t) { return true; }
bool EndTimerPeriod(uint32_t) { return true; }

}  // namespace platform
