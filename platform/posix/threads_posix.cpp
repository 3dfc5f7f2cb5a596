// POSIX semaphores and threads with Win32 meaning: counted semaphores with a maximum and timed
// waits, threads with a timed wait for their end and a handle that may be closed early.
#include "platform/platform.h"
#include "platform/common/step_thread.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unistd.h>

namespace platform {

struct Semaphore {
  std::mutex lock;
  std::condition_variable available;
  // --- protected by lock
  int32_t count;
  const int32_t maximum;
};

Semaphore* MakeSemaphore(int32_t initial, int32_t maximum) {
  if (maximum < 1 || initial < 0 || initial > maximum) {
    errno = EINVAL;
    return nullptr;
  }
  return new (std::nothrow) Semaphore{{}, {}, initial, maximum};
}

bool ReleaseSemaphore(Semaphore* semaphore) {
  if (semaphore == nullptr) return false;
  // Notify under the lock: the waiter it wakes may close the semaphore as soon as it has its
  // count, and must not do so while this call still touches it.
  std::lock_guard<std::mutex> hold(semaphore->lock);
  if (semaphore->count >= semaphore->maximum) return false;
  ++semaphore->count;
  semaphore->available.notify_one();
  return true;
}

bool WaitSemaphore(Semaphore* semaphore, uint32_t milliseconds) {
  if (semaphore == nullptr) return false;
  std::unique_lock<std::mutex> hold(semaphore->lock);
  auto ready = [semaphore] { return semaphore->count > 0; };
  if (milliseconds == kInfinite) {
    semaphore->available.wait(hold, ready);
  } else if (!semaphore->available.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                            ready)) {
    return false;
  }
  --semaphore->count;
  return true;
}

void CloseSemaphore(Semaphore* semaphore) { delete semaphore; }

namespace {

// What the thread and its handle share; whichever lets go last frees it.
struct ThreadState {
  std::mutex lock;
  std::condition_variable ended;
  // --- protected by lock
  bool done = false;
};

}  // namespace

struct Thread {
  std::thread thread;
  std::shared_ptr<ThreadState> state;
};

Thread* StartThread(ThreadMain main, void* argument) {
  auto* handle = new (std::nothrow) Thread;
  if (handle == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  try {
    handle->state = std::make_shared<ThreadState>();
    // The thread touches only its own copy of the shared state, never the handle, so the
    // handle may be closed while it runs.
    handle->thread = std::thread([main, argument, state = handle->state] {
      main(argument);
      {
        std::lock_guard<std::mutex> hold(state->lock);
        state->done = true;
      }
      state->ended.notify_all();
    });
  } catch (const std::exception&) {
    delete handle;
    errno = EAGAIN;
    return nullptr;
  }
  return handle;
}

bool WaitThread(Thread* thread, uint32_t milliseconds) {
  if (thread == nullptr) return false;
  ThreadState& state = *thread->state;
  std::unique_lock<std::mutex> hold(state.lock);
  auto done = [&state] { return state.done; };
  if (milliseconds == kInfinite) {
    state.ended.wait(hold, done);
    return true;
  }
  return state.ended.wait_for(hold, std::chrono::milliseconds(milliseconds), done);
}

void CloseThread(Thread* thread) {
  if (thread == nullptr) return;
  if (thread->thread.joinable()) {
    bool done;
    {
      std::lock_guard<std::mutex> hold(thread->state->lock);
      done = thread->state->done;
    }
    // An ended thread is joined (it only has its return left); a running one goes on alone.
    if (done) {
      thread->thread.join();
    } else {
      thread->thread.detach();
    }
  }
  delete thread;
}

int32_t ProcessorCount() {
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? int32_t(online) : 1;
}

int32_t CurrentThreadPriority() { return kThreadPriorityNormal; }
void SetThreadPriority(Thread*, int32_t) {}
void SetCurrentThreadPriority(int32_t) {}

Thread* StartStepThread(StepMain step, void* argument, Semaphore* wake) {
  return common::StartThreadedSteps(step, argument, wake);
}

void Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
