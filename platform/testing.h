// Controls of the platform seam for tests: hooks that catch traces, message boxes and the
// process end, and timers fired by hand. Nothing that ships calls these.
//
// Both sides share them (platform/common/), so a test runs the same on Windows and POSIX.
// Set and clear each one while no other thread uses the call it redirects.
#pragma once

#include <cstdint>

namespace platform {

// ---- Trace, message boxes and process end ----------------------------------------------------
//
// While a hook is set, the seam call hands its arguments to the hook on the calling thread and
// does nothing else; null removes the hook. `user` is passed back unchanged.

// SendTrace gives the text to the hook and neither looks for the viewer nor writes a file.
using TraceHook = void (*)(const char* text, void* user);
void SetTraceHook(TraceHook hook, void* user);

// ShowMessageBox shows nothing and returns the hook's answer, so a Windows test never waits
// on a modal box.
using MessageBoxHook = int (*)(const char* text, const char* caption, uint32_t style,
                               void* user);
void SetMessageBoxHook(MessageBoxHook hook, void* user);

// ExitProcess calls the hook and returns to its caller.
using ExitHook = void (*)(uint32_t code, void* user);
void SetExitHook(ExitHook hook, void* user);

// ---- Manual timers ---------------------------------------------------------------------------
//
// While manual timers are on, StartPeriodicTimer starts nothing that runs by itself; it records
// the timer and returns an id as usual, and the test fires it by hand with FireTimer on its own
// thread. KillTimer forgets it. Turn them on and off while no timer exists; the switch forgets
// every manual timer.
void UseManualTimers(bool on);

// Calls the callback of manual timer `id` once on the calling thread (the callback may kill
// or start timers). Returns false when no such manual timer exists.
bool FireTimer(uint32_t id);

// The manual timers that exist, in the order they were started, and their delays.
uint32_t ManualTimerCount();
uint32_t ManualTimerId(uint32_t index);  // 0 when index >= count
uint32_t ManualTimerDelay(uint32_t id);  // 0 when there is no such timer

// ---- The file-save dialog ----------------------------------------------------------------------
//
// While the hook is set, ShowSaveDialog shows nothing: the hook sees the request (and may
// write its answer into request.path) and its result is the dialog's. Null removes it.
struct SaveDialogRequest;
using SaveDialogHook = bool (*)(SaveDialogRequest& request, void* user);
void SetSaveDialogHook(SaveDialogHook hook, void* user);

// ---- Multimedia ------------------------------------------------------------------------------
//
// While the hook is set, SendMciCommand hands it the command and the callback window and
// returns its answer as the MCI error code, and StopWaveSound hands it a null command (and a
// null window) and returns true; neither reaches the system. Null removes the hook.
struct Window;
using MultimediaHook = uint32_t (*)(const char* command, Window* callback, void* user);
void SetMultimediaHook(MultimediaHook hook, void* user);

// ---- Built-in decoders -------------------------------------------------------------------
//
// While off, the codec calls see only installed codecs, as on a build without the decoders
// the program carries itself (platform/common/codec_registry.h). On by default.
void UseBuiltinDecoders(bool on);

}  // namespace platform
