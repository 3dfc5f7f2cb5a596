// Web semaphores and threads: one thread only, so a semaphore is a count nobody else can change
// during a wait, and a thread is a stepped thread run by the page's animation frame.
#include <cerrno>
#include <new>

#include "platform/common/step_thread.h"
#include "platform/platform.h"
#include "platform/web/web_side.h"

namespace platform {

struct Semaphore {
  int32_t count;
  int32_t maximum;
};

Semaphore* MakeSemaphore(int32_t initial, int32_t maximum) {
  if (maximum < 1 || initial < 0 || initial > maximum) {
    errno = EINVAL;
    return nullptr;
  }
  return new (std::nothrow) Semaphore{initial, maximum};
}

bool ReleaseSemaphore(Semaphore* semaphore) {
  if (semaphore == nullptr || semaphore->count >= semaphore->maximum) return false;
  ++semaphore->count;
  return true;
}

// No other thread exists to release the count while we wait, so an empty semaphore times out
// at once; a wait without time-out would never end and times out likewise.
bool WaitSemaphore(Semaphore* semaphore, uint32_t /*milliseconds*/) {
  if (semaphore == nullptr || semaphore->count == 0) return false;
  --semaphore->count;
  return true;
}

void CloseSemaphore(Semaphore* semaphore) { delete semaphore; }

namespace {

common::StepPump& Pump() {
  static common::StepPump pump;
  return pump;
}

}  // namespace

// A handle names a stepped thread; plain threads cannot be started here.
struct Thread {
  common::StepTask* task;
};

Thread* StartThread(ThreadMain, void*) {
  errno = ENOSYS;
  return nullptr;
}

Thread* StartStepThread(StepMain step, void* argument, Semaphore* wake) {
  common::StepTask* task = Pump().Add(step, argument, wake);
  if (task == nullptr) return nullptr;
  auto* thread = new (std::nothrow) Thread{task};
  if (thread == nullptr) {
    task->ended = true;
    Pump().Close(task);
  }
  return thread;
}

// The waiting thread is the only one, so waiting runs the other thread's steps here.
bool WaitThread(Thread* thread, uint32_t /*milliseconds*/) {
  return thread != nullptr && Pump().RunUntilEnded(thread->task);
}

void CloseThread(Thread* thread) {
  if (thread == nullptr) return;
  Pump().Close(thread->task);
  delete thread;
}

// The warp then never splits a frame across helper threads.
int32_t ProcessorCount() { return 1; }

int32_t CurrentThreadPriority() { return kThreadPriorityNormal; }
void SetThreadPriority(Thread*, int32_t) {}
void SetCurrentThreadPriority(int32_t) {}

void Sleep(uint32_t) {}

namespace web {

int32_t RunSteps() { return Pump().RunRound(); }

}  // namespace web
}  // namespace platform
