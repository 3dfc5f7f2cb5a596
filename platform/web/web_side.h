// What the web side offers the page's exports (web/core_exports.cpp) beyond the seam: the
// animation-frame pump of timers and stepped threads, and where message boxes go.
//
// Everything on the web runs on the page's one thread: the exports, the timer callbacks and
// every step of the render thread and the loader's workers. No lock is ever contended there.
#pragma once

#include <cstdint>

namespace platform {
namespace web {

// Fires the periodic timers due at `nowMs` (the page's clock, performance.now()). Returns the
// callbacks run. The timers' clock is the last time given here.
int32_t FireTimers(double nowMs);

// Runs one step of every stepped thread that can go on (StartStepThread). Returns the steps run.
int32_t RunSteps();

// Where ShowMessageBox sends its text and caption: the exports point it at the viewer whose
// call is under way. Null drops the boxes. The box answers OK (or Yes) at once.
using MessageSink = void (*)(const char* text, const char* caption, void* user);
void SetMessageSink(MessageSink sink, void* user);

}  // namespace web
}  // namespace platform
