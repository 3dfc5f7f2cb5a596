// Helper threads that draw parts of one frame beside the render thread that owns it.
//
// A WarpWorkers belongs to one warp engine and so to one render thread, which alone calls Run;
// Run returns only when every part is drawn, so nothing a part touches outlives the call. The
// helpers start on the first Run and wait, idle, between frames; the destructor ends them.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {
struct Semaphore;
struct Thread;
}  // namespace platform

namespace kvp {

class WarpWorkers {
 public:
  // One part of a job: `part` of `parts`, 0 .. parts - 1.
  using Job = void (*)(void* context, int32_t part, int32_t parts);

  // Up to `helpers` threads besides the caller's (0: every part runs on the caller).
  explicit WarpWorkers(int32_t helpers);
  ~WarpWorkers();
  WarpWorkers(const WarpWorkers&) = delete;
  WarpWorkers& operator=(const WarpWorkers&) = delete;

  // The parts Run splits a job into: the helpers plus the caller.
  int32_t Parts() const { return wanted_ + 1; }

  // Runs job(context, p, parts) for every p < parts (at most Parts()): part 0 on the caller,
  // the others on helpers, or on the caller when a helper could not be started. Returns when
  // all are done; whatever they wrote is then visible to the caller.
  void Run(Job job, void* context, int32_t parts);

 private:
  struct Helper {
    WarpWorkers* owner = nullptr;
    int32_t part = 0;
    platform::Semaphore* go = nullptr;
    platform::Thread* thread = nullptr;
  };
  static uint32_t HelperMain(void* argument);
  void Start();

  const int32_t wanted_;
  bool started_ = false;
  std::vector<Helper> helpers_;  // the ones that run; fixed once started
  platform::Semaphore* done_ = nullptr;
  // Set by Run before it releases a helper's `go` and read by that helper after taking it (the
  // semaphore orders the two); quit_ is set only by the destructor, likewise.
  Job job_ = nullptr;
  void* context_ = nullptr;
  int32_t parts_ = 0;
  bool quit_ = false;
};

}  // namespace kvp
