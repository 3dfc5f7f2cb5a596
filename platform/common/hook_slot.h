// One test hook of the seam (platform/testing.h): a function and its user value, set and read
// from any thread.
#pragma once

#include <mutex>

namespace platform {

// Holds one hook. Setting and reading take a lock so that a thread reading it never sees the
// function of one hook with the user value of another; the hook itself is called unlocked.
template <typename Fn>
class HookSlot {
 public:
  void Set(Fn fn, void* user) {
    std::lock_guard<std::mutex> hold(lock_);
    fn_ = fn;
    user_ = user;
  }
  // Copies the hook out; false when none is set.
  bool Get(Fn& fn, void*& user) const {
    std::lock_guard<std::mutex> hold(lock_);
    fn = fn_;
    user = user_;
    return fn_ != nullptr;
  }

 private:
  mutable std::mutex lock_;
  // --- protected by lock_
  Fn fn_ = nullptr;
  void* user_ = nullptr;
};

}  // namespace platform
