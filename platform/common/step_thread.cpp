// Threads written as steps: the loop a real thread runs, and the pump for sides without threads.
#include "platform/common/step_thread.h"

#include <new>
#include <thread>

namespace platform {
namespace common {

namespace {

struct Steps {
  StepMain step;
  void* argument;
  Semaphore* wake;
};

uint32_t StepLoop(void* argument) {
  const Steps steps = *static_cast<Steps*>(argument);
  delete static_cast<Steps*>(argument);
  for (;;) {
    switch (steps.step(steps.argument)) {
      case StepResult::kDone:
        return 0;
      case StepResult::kIdle:
        WaitSemaphore(steps.wake, kInfinite);
        break;
      case StepResult::kMore:
        // Between the chunks of a transfer: the render thread gets its turn.
        std::this_thread::yield();
        break;
    }
  }
}

}  // namespace

Thread* StartThreadedSteps(StepMain step, void* argument, Semaphore* wake) {
  if (step == nullptr) return nullptr;
  auto* steps = new (std::nothrow) Steps{step, argument, wake};
  if (steps == nullptr) return nullptr;
  Thread* thread = StartThread(&StepLoop, steps);
  if (thread == nullptr) delete steps;
  return thread;
}

StepTask* StepPump::Add(StepMain step, void* argument, Semaphore* wake) {
  if (step == nullptr) return nullptr;
  tasks_.push_back(StepTask{step, argument, wake, false, false, false});
  return &tasks_.back();
}

bool StepPump::RunStep(StepTask& task) {
  if (task.ended) return false;
  if (task.idle) {
    if (task.wake == nullptr || !WaitSemaphore(task.wake, 0)) return false;
    task.idle = false;
  }
  switch (task.step(task.argument)) {
    case StepResult::kDone:
      task.ended = true;
      break;
    case StepResult::kIdle:
      task.idle = true;
      break;
    case StepResult::kMore:
      break;
  }
  return true;
}

int32_t StepPump::RunRound() {
  // Only the tasks there now: a step may add tasks (a transfer started by a frame).
  const size_t count = tasks_.size();
  int32_t ran = 0;
  ++depth_;
  auto it = tasks_.begin();
  for (size_t i = 0; i < count && it != tasks_.end(); ++i, ++it) {
    if (RunStep(*it)) ++ran;
  }
  --depth_;
  ForgetClosedEnded();
  return ran;
}

bool StepPump::RunUntilEnded(StepTask* task) {
  if (task == nullptr) return false;
  ++depth_;
  while (!task->ended && RunStep(*task)) {
  }
  --depth_;
  return task->ended;
}

void StepPump::Close(StepTask* task) {
  if (task == nullptr) return;
  task->closed = true;
  ForgetClosedEnded();
}

void StepPump::ForgetClosedEnded() {
  // A step may close handles (a frame reaps a finished transfer) while a round walks the list.
  if (depth_ > 0) return;
  tasks_.remove_if([](const StepTask& t) { return t.ended && t.closed; });
}

}  // namespace common
}  // namespace platform
