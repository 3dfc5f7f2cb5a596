// The timed lock wait and its trace line.
#include "diag/timed_lock.h"

#include "diag/trace.h"
#include "platform/platform.h"

namespace kvp {

bool TakeTimedLock(platform::Semaphore* lock, OnLockTimeout report) {
  if (platform::WaitSemaphore(lock, kLockTimeoutMs)) return true;
  if (report == OnLockTimeout::kTrace) TraceLockTimeout();
  return false;
}

TimedLock::TimedLock(platform::Semaphore* lock, OnLockTimeout report)
    : lock_(lock), held_(TakeTimedLock(lock, report)) {}

void TimedLock::Release() {
  if (held_) platform::ReleaseSemaphore(lock_);
  held_ = false;
}

}  // namespace kvp
