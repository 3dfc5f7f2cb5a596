// Semaphores held as locks: the one timed wait every lock of the core is taken with. A wait
// that runs out sends the lock time-out trace line and goes on without the lock.
#pragma once

#include <cstdint>

namespace platform {
struct Semaphore;
}

namespace kvp {

// How long any lock wait lasts before it gives up.
constexpr uint32_t kLockTimeoutMs = 5000;

// Whether a time-out is traced. The hot-spot and sprite operations give up without a line;
// every other wait traces.
enum class OnLockTimeout { kTrace, kSilent };

// Takes `lock`, waiting up to kLockTimeoutMs. Returns false when the time ran out (traced
// unless kSilent): the caller goes on without the lock and must not release it.
bool TakeTimedLock(platform::Semaphore* lock, OnLockTimeout report = OnLockTimeout::kTrace);

// TakeTimedLock for one scope: released when the scope ends, or earlier by Release, and only
// when it was taken. A null lock is never taken (the wait fails at once).
class TimedLock {
 public:
  explicit TimedLock(platform::Semaphore* lock, OnLockTimeout report = OnLockTimeout::kTrace);
  ~TimedLock() { Release(); }
  TimedLock(const TimedLock&) = delete;
  TimedLock& operator=(const TimedLock&) = delete;

  void Release();
  bool Held() const { return held_; }

 private:
  platform::Semaphore* lock_;
  bool held_;
};

}  // namespace kvp
