// The warp's helper threads: one go signal each, one shared done signal.
#include "render/warp_workers.h"

#include "platform/platform.h"

namespace kvp {

WarpWorkers::WarpWorkers(int32_t helpers) : wanted_(helpers > 0 ? helpers : 0) {}

WarpWorkers::~WarpWorkers() {
  quit_ = true;
  for (Helper& h : helpers_) platform::ReleaseSemaphore(h.go);
  for (Helper& h : helpers_) {
    platform::WaitThread(h.thread, platform::kInfinite);
    platform::CloseThread(h.thread);
    platform::CloseSemaphore(h.go);
  }
  if (done_ != nullptr) platform::CloseSemaphore(done_);
}

uint32_t WarpWorkers::HelperMain(void* argument) {
  Helper& self = *static_cast<Helper*>(argument);
  WarpWorkers& owner = *self.owner;
  for (;;) {
    platform::WaitSemaphore(self.go, platform::kInfinite);
    if (owner.quit_) return 0;
    owner.job_(owner.context_, self.part, owner.parts_);
    platform::ReleaseSemaphore(owner.done_);
  }
}

void WarpWorkers::Start() {
  started_ = true;
  if (wanted_ == 0) return;
  done_ = platform::MakeSemaphore(0, wanted_);
  if (done_ == nullptr) return;
  // Reserved first: the helpers keep pointers into the vector.
  helpers_.reserve(size_t(wanted_));
  for (int32_t i = 0; i < wanted_; ++i) {
    Helper h;
    h.owner = this;
    h.part = i + 1;
    h.go = platform::MakeSemaphore(0, 1);
    if (h.go == nullptr) break;
    helpers_.push_back(h);
    Helper& placed = helpers_.back();
    placed.thread = platform::StartThread(HelperMain, &placed);
    if (placed.thread == nullptr) {
      platform::CloseSemaphore(placed.go);
      helpers_.pop_back();
      break;
    }
  }
}

void WarpWorkers::Run(Job job, void* context, int32_t parts) {
  if (parts > Parts()) parts = Parts();
  if (parts <= 1) {
    if (parts == 1) job(context, 0, 1);
    return;
  }
  if (!started_) Start();
  job_ = job;
  context_ = context;
  parts_ = parts;
  // Parts beyond the helpers that are running fall to the caller.
  int32_t released = 0;
  for (Helper& h : helpers_) {
    if (h.part >= parts) break;
    platform::ReleaseSemaphore(h.go);
    ++released;
  }
  job(context, 0, parts);
  for (int32_t p = released + 1; p < parts; ++p) job(context, p, parts);
  for (int32_t i = 0; i < released; ++i) platform::WaitSemaphore(done_, platform::kInfinite);
}

}  // namespace kvp
