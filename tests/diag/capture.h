// Test helper: captures trace texts, message boxes and process ends instead of letting them out.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/testing.h"

namespace kvp::test {

struct Box {
  std::string text;
  std::string caption;
  uint32_t style;
};

// While alive, every trace text, box and process end of this process lands here. Boxes are
// answered with `answer`. One at a time.
class Capture {
 public:
  explicit Capture(int answer = platform::kIdOk) : answer_(answer) {
    platform::SetTraceHook(&OnTrace, this);
    platform::SetMessageBoxHook(&OnBox, this);
    platform::SetExitHook(&OnExit, this);
  }
  ~Capture() {
    platform::SetTraceHook(nullptr, nullptr);
    platform::SetMessageBoxHook(nullptr, nullptr);
    platform::SetExitHook(nullptr, nullptr);
  }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  std::vector<std::string> Traces() const {
    std::lock_guard<std::mutex> hold(lock_);
    return traces_;
  }
  std::vector<Box> Boxes() const {
    std::lock_guard<std::mutex> hold(lock_);
    return boxes_;
  }
  std::vector<uint32_t> Exits() const {
    std::lock_guard<std::mutex> hold(lock_);
    return exits_;
  }
  // Everything traced, joined, as the trace viewer would show it.
  std::string TraceStream() const {
    std::string all;
    for (const std::string& t : Traces()) all += t;
    return all;
  }

 private:
  static void OnTrace(const char* text, void* user) {
    auto* self = static_cast<Capture*>(user);
    std::lock_guard<std::mutex> hold(self->lock_);
    self->traces_.emplace_back(text);
  }
  static int OnBox(const char* text, const char* caption, uint32_t style, void* user) {
    auto* self = static_cast<Capture*>(user);
    std::lock_guard<std::mutex> hold(self->lock_);
    self->boxes_.push_back(Box{text, caption, style});
    return self->answer_;
  }
  static void OnExit(uint32_t code, void* user) {
    auto* self = static_cast<Capture*>(user);
    std::lock_guard<std::mutex> hold(self->lock_);
    self->exits_.push_back(code);
  }

  const int answer_;
  mutable std::mutex lock_;
  // --- protected by lock_
  std::vector<std::string> traces_;
  std::vector<Box> boxes_;
  std::vector<uint32_t> exits_;
};

}  // namespace kvp::test
