// What each platform side supplies to the shared half of a seam call: the OS part alone.
//
// The seam's trace send, message box, process end, screen depth and periodic timers first
// answer from what tests and tools set (platform/testing.h, OverrideScreenBitsPerPixel) in
// platform/common/, the same on every side, and only then ask the side. Each side defines
// these in its own folder with the meaning of the seam call of the same name.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {
namespace side {

// SendTrace's delivery; `text` is never null.
void SendTrace(const char* text);

// ShowMessageBox's box, or its stand-in where nobody can be asked.
int ShowMessageBox(const char* text, const char* caption, uint32_t style);

// ExitProcess's end of the process; never returns.
[[noreturn]] void ExitProcess(uint32_t code);

// The screen's own depth in bits per pixel.
uint16_t ScreenBitsPerPixel();

// A timer of the system's own service; `callback` is never null. Ids it hands out stay below
// kFirstManualTimerId, so the two kinds of timer never share an id.
uint32_t StartPeriodicTimer(uint32_t delay, uint32_t resolution, TimerCallback callback,
                            void* user);
bool KillTimer(uint32_t id);

// ShowSaveDialog's dialog, or a cancel where nobody can be asked.
bool ShowSaveDialog(SaveDialogRequest& request);

// Manual timers take ids from here up: a stale manual id never names a system timer, whose
// service hands out small numbers.
constexpr uint32_t kFirstManualTimerId = 0x80000000u;

// The multimedia calls themselves (platform.h, Multimedia).
uint32_t SendMciCommand(const char* command, Window* callback);
bool StopWaveSound();

}  // namespace side
}  // namespace platform
