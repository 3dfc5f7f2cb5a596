// Threads written as steps, run by the two ways a side can run them: a real thread looping
// over the steps, or a pump that runs one step at a time on the caller's thread.
#pragma once

#include <cstdint>
#include <list>

#include "platform/platform.h"

namespace platform {
namespace common {

// StartStepThread for the sides with threads: a thread that runs the step loop, waiting on
// `wake` (without time-out) whenever a step says it is idle.
Thread* StartThreadedSteps(StepMain step, void* argument, Semaphore* wake);

// One thread written as steps, as a pump keeps it.
struct StepTask {
  StepMain step = nullptr;
  void* argument = nullptr;
  Semaphore* wake = nullptr;
  bool idle = false;    // the last step said kIdle: the next one waits for a count of `wake`
  bool ended = false;   // a step said kDone; no step runs any more
  bool closed = false;  // its handle is closed: forgotten once ended
};

// The stepped threads of a side without threads. Everything runs on the caller's thread, so
// no step ever overlaps another; one thread at a time may use a pump.
class StepPump {
 public:
  StepPump() = default;
  StepPump(const StepPump&) = delete;
  StepPump& operator=(const StepPump&) = delete;

  // A new task; the pump owns it until it has ended and been closed.
  StepTask* Add(StepMain step, void* argument, Semaphore* wake);

  // Runs one step of every task that can go on: not ended, and not idle unless its wake
  // semaphore holds a count (which it takes). Tasks added by a step wait for the next round.
  // Returns the steps run.
  int32_t RunRound();

  // Runs the task's steps until it ends or, idle, finds no count to take. Returns whether it
  // has ended. The caller of a wait for a thread's end: no other thread can end it meanwhile.
  bool RunUntilEnded(StepTask* task);

  // Closes the handle: an ended task is forgotten now, a running one when it ends.
  void Close(StepTask* task);

  size_t TaskCount() const { return tasks_.size(); }

 private:
  // Runs one step if the task can go on; false when it could not.
  bool RunStep(StepTask& task);
  void ForgetClosedEnded();

  std::list<StepTask> tasks_;  // stable addresses: the handles point into it
  int32_t depth_ = 0;          // rounds and waits under way (steps may nest a wait)
};

}  // namespace common
}  // namespace platform
