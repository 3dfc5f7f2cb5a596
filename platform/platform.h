// The platform seam: every operating-system service the portable core uses, with Win32 meaning.
//
// The core never includes an OS header. Each function here has exactly the semantics of the
// Win32 call it stands for; platform/win32/ forwards to that call and platform/posix/
// reproduces it with the C++ library and POSIX. What is no OS call (the private-profile
// reader, the offscreen window, the codec registry, the test hooks) lives once in
// platform/common/ for every side. Tests drive the seam further through platform/testing.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// ==== Files, paths and profiles ==================================================================

// ---- Files --------------------------------------------------------------------------------------
//
// A file opened for reading panorama data. The handle is owned by the caller and released
// with CloseFile. All functions may be called from any thread, one thread per handle at a
// time.

struct File;

// Opens an existing file for reading and writing with read sharing (other openers may read);
// when that is refused (read-only file or folder, or a writer holds it) falls back to
// read-only access. Returns null on failure; LastError() then tells why.
File* OpenFile(const char* path);

// Reads up to `count` bytes at the current position into `buffer` and advances the position.
// Returns the number of bytes read: fewer than `count` only at the end of the file or on an
// error (then LastError() is set). Like ReadFile, a read at or past the end returns 0.
uint32_t ReadFile(File* file, void* buffer, uint32_t count);

// Sets the read position to `offset` bytes from the start (SetFilePointer, FILE_BEGIN).
// Positions past the end are allowed; reads there return 0. Returns false on failure.
bool SeekFile(File* file, uint32_t offset);

// The current read position, in bytes from the start.
uint32_t TellFile(File* file);

// The size of the file in bytes (GetFileSize); files above 4 GiB - 2 report 0xFFFFFFFF.
uint32_t FileSize(File* file);

// Closes the handle; null is allowed and ignored.
void CloseFile(File* file);

// The calling thread's last system error code (GetLastError; errno on POSIX).
uint32_t LastError();

// Opens an existing file for reading only, letting other openers read and write it (CreateFileA
// with GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE): for tools that only look at a file,
// which must work on read-only files and beside a viewer holding the same file. Returns a
// handle for ReadFile, SeekFile, TellFile, FileSize and CloseFile; null on failure, and then
// LastError() tells why.
File* OpenFileReadOnly(const char* path);

// The system's own text for an error code from LastError(), in the system's language, without
// a trailing newline or full stop (FormatMessageA; strerror on POSIX). Any thread.
std::string ErrorText(uint32_t code);

// ---- Paths and the current directory ------------------------------------------------------------
//
// GetFullPathNameA / GetCurrentDirectoryA / SetCurrentDirectoryA, under names the Win32
// headers' A/W macros cannot rewrite. The current directory belongs to the whole process:
// changing it affects every thread's relative paths, so only the window thread changes it
// (while it opens a description, before the render thread starts).

// Writes the absolute form of `path` (resolved against the current directory, "." and ".."
// folded away, the file need not exist) into `buffer`. Returns its length without the NUL;
// when `size` is too small, the size needed including the NUL, and `buffer` is left alone; 0
// on failure (null or empty path).
uint32_t GetFullPath(const char* path, char* buffer, uint32_t size);

// Writes the current directory into `buffer`; returns its length without the NUL, or the size
// needed including the NUL when `size` is too small (buffer untouched), or 0 on failure.
uint32_t ReadCurrentDirectory(char* buffer, uint32_t size);

// Makes `path` the current directory. Returns false on failure (LastError says why).
bool ChangeCurrentDirectory(const char* path);

// Whether `c` separates folders in a path: '\\' and '/' on Windows, '/' on POSIX.
bool IsPathSeparator(char c);

// ---- Private profiles ---------------------------------------------------------------------------
//
// GetPrivateProfileStringA / GetPrivateProfileIntA on ".ini" files. Windows: the real calls.
// Elsewhere: our own reader (platform/common/profile_reader.h), held to the Windows answers.
// Any thread may call them; each call reads the file anew.

// Copies the value of `key` in `section` of `fileName` into `buffer` (`size` bytes), or
// `defaultValue` (null reads as "") when there is none. Section and key names compare without
// regard to case. With a null `key` it copies the section's key names instead, each ended by
// a NUL and the list by a second NUL; with a null `section`, the section names likewise.
// Returns the number of characters copied, not counting the final NUL; a value cut to fit
// returns size - 1, a list cut to fit size - 2. `buffer` must not be null when size > 0.
uint32_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t size, const char* fileName);

// The value of `key` in `section` read as a decimal integer (leading blanks, an optional
// sign, digits; what follows is ignored), or `defaultValue` when the key is missing.
int32_t ReadProfileInt(const char* section, const char* key, int32_t defaultValue,
                       const char* fileName);

// ---- A profile read once ------------------------------------------------------------------------
//
// A private-profile file parsed once, then asked any number of questions from memory with the
// answers of ReadProfileString / ReadProfileInt on the file as it was when read. A description
// of 20,000 nodes asks tens of thousands of questions; each call above reads the file anew.
// Every side uses our reader (platform/common/profile_reader), which the Windows tests hold
// to the real calls. A missing or unreadable file answers like one without sections. One
// thread at a time may ask; the object holds no OS resource.
class ProfileFile {
 public:
  explicit ProfileFile(const char* fileName);
  ~ProfileFile();
  ProfileFile(ProfileFile&&) noexcept;
  ProfileFile& operator=(ProfileFile&&) noexcept;
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  uint32_t ReadString(const char* section, const char* key, const char* defaultValue,
                      char* buffer, uint32_t size) const;
  int32_t ReadInt(const char* section, const char* key, int32_t defaultValue) const;

 private:
  struct Parsed;
  Parsed* parsed_;
};

// ==== Threads, semaphores and timers =============================================================

constexpr uint32_t kInfinite = 0xFFFFFFFFu;  // INFINITE: a wait without time-out

// ---- Threads ------------------------------------------------------------------------------------
//
// CreateThread / WaitForSingleObject on a thread / CloseHandle / thread priorities. A Thread
// is the handle of a started thread, owned by whoever started it. Closing the handle does not
// stop the thread: a thread whose handle is closed before it ends runs on, detached (on POSIX
// its resources go when it ends). Callers that free memory the thread touches must first wait
// for its end.

struct Thread;

// The thread's body: it receives the argument given to StartThread; its result is the
// thread's exit code.
using ThreadMain = uint32_t (*)(void* argument);

// Starts a thread running `main(argument)` at once, with the default stack. Null when the
// system refuses (LastError says why); then `main` never runs.
Thread* StartThread(ThreadMain main, void* argument);

// Waits up to `milliseconds` (kInfinite: for ever) for the thread to end. Returns true when it
// has ended, false when the time ran out first. Waiting on the calling thread's own handle
// never ends; do not.
bool WaitThread(Thread* thread, uint32_t milliseconds);

// Closes the handle (see above); null is ignored.
void CloseThread(Thread* thread);

// The processors the system runs threads on (GetSystemInfo's dwNumberOfProcessors; on POSIX
// the online processors), at least 1. Any thread; the answer does not change while running.
int32_t ProcessorCount();

// Thread priorities take the Win32 values (THREAD_PRIORITY_NORMAL 0, ABOVE_NORMAL 1, ...).
// Windows: GetThreadPriority / SetThreadPriority. POSIX: every thread runs at one priority;
// the calling thread's priority reads 0 and setting one changes nothing.
constexpr int32_t kThreadPriorityNormal = 0;
constexpr int32_t kThreadPriorityAboveNormal = 1;
int32_t CurrentThreadPriority();
void SetThreadPriority(Thread* thread, int32_t priority);
void SetCurrentThreadPriority(int32_t priority);

// ---- Threads written as steps -------------------------------------------------------------------
//
// A thread whose body is cut into bounded steps, so that a side without threads (the web) can
// run it between its other work; the render thread and the loader's workers are written so.
// A step returns what the thread does next.
struct Semaphore;

enum class StepResult {
  kMore,  // call the step again at once
  kIdle,  // nothing to do until `wake` is released: take one count, then call again
  kDone,  // the thread ends with exit code 0
};
using StepMain = StepResult (*)(void* argument);

// Starts a thread that calls `step(argument)` as its result says. `wake` may be null for a
// thread that never idles. The handle is waited for and closed like StartThread's.
//   Windows, POSIX: a real thread runs that loop (platform/common/step_thread.h).
//   Web: nothing runs now; the page's animation frame runs one step of every thread that can
//   go on, and WaitThread on the handle runs the thread's steps in the waiting call until it
//   ends or can go no further.
// Null when the system refuses; then `step` never runs.
Thread* StartStepThread(StepMain step, void* argument, Semaphore* wake);

// Suspends the calling thread for `milliseconds` (Sleep), letting the other threads run.
// Web: nothing else could run meanwhile and blocking would freeze the page, so it returns at
// once; what the pause was for happens at the next animation frame.
void Sleep(uint32_t milliseconds);

// ---- Semaphores ---------------------------------------------------------------------------------
//
// CreateSemaphore / ReleaseSemaphore / WaitForSingleObject on a semaphore / CloseHandle, under
// names the Win32 headers' A/W macros cannot rewrite. A Semaphore is owned by its creator and
// closed with CloseSemaphore once no thread waits on it or may still release it. Any thread
// may wait on or release it.

struct Semaphore;

// A semaphore holding `initial` counts, never more than `maximum` (1 <= maximum,
// 0 <= initial <= maximum). Null when the system refuses (LastError says why).
Semaphore* MakeSemaphore(int32_t initial, int32_t maximum);

// Adds one count. Returns false, changing nothing, when that would exceed the maximum.
bool ReleaseSemaphore(Semaphore* semaphore);

// Takes one count, waiting up to `milliseconds` (kInfinite: for ever) for one to be there.
// Returns true when a count was taken, false when the time ran out first.
bool WaitSemaphore(Semaphore* semaphore, uint32_t milliseconds);

// Closes the semaphore; null is ignored.
void CloseSemaphore(Semaphore* semaphore);

// ---- Multimedia timers --------------------------------------------------------------------------
//
// timeSetEvent (TIME_PERIODIC | TIME_CALLBACK_FUNCTION) / timeKillEvent / timeBeginPeriod /
// timeEndPeriod. Callbacks run on the timer service's own thread, one at a time, never on the
// thread that started the timer. A callback may kill its own timer and start another one (the
// frame scheduler does when it changes the frame rate); a kill from any other thread returns
// only when that timer's callback is not running and will not run again. Tests fire timers by
// hand instead (UseManualTimers, platform/testing.h).

using TimerCallback = void (*)(uint32_t id, void* user);

// Starts a periodic timer of `delay` ms (resolution `resolution` ms) that calls
// `callback(id, user)` every period. Returns its id, never 0; 0 when the system refuses.
uint32_t StartPeriodicTimer(uint32_t delay, uint32_t resolution, TimerCallback callback,
                            void* user);

// Stops the timer `id`. Returns false when no such timer runs.
bool KillTimer(uint32_t id);

// Request and give back a finer timer resolution (timeBeginPeriod / timeEndPeriod). POSIX: no
// effect, true.
bool BeginTimerPeriod(uint32_t milliseconds);
bool EndTimerPeriod(uint32_t milliseconds);

// ==== Windows and the map ========================================================================

// ---- Screen facts -------------------------------------------------------------------------------
//
// Any thread. Windows: BITSPIXEL of the screen's device context, and whether GetVersionEx
// reports the NT platform. POSIX: the offscreen screen is 24 bits and never NT.
uint16_t ScreenBitsPerPixel();
bool IsWindowsNT();

// Makes ScreenBitsPerPixel report `bits` instead of the screen's own depth (0: the real one
// again), so that `kvp render --depth` and tests see a given depth on either build. Set it
// while no other thread asks.
void OverrideScreenBitsPerPixel(uint16_t bits);

// ---- Windows the core draws into ----------------------------------------------------------------
//
// A Window is the window whose client area shows the frames (an HWND on Windows). The core
// never creates or destroys the viewer's window; it gets it from its caller. Tests and tools
// make their own with CreateOffscreenWindow.
//   Windows: a real window; GDI calls below are the real ones.
//   POSIX: an offscreen window (platform/common/offscreen_window.h): a client-sized 24-bit
//   surface that receives StretchDIBits exactly as a window's DC would (bottom-up source,
//   destination rectangle, clipping to the client area, 8/16/24-bit sources with their colour
//   table or 5-5-5 pixels), and a queue of posted messages.

struct Window;
struct DeviceContext;
struct Palette;

// GetClientRect: the client area's width and height in pixels (0, 0 for null or a window
// that is gone). Any thread.
void ClientSize(Window* window, int32_t& width, int32_t& height);

// GetDC / ReleaseDC for the window's client area. Any thread; the context is used by that
// thread only. Null for a null window.
DeviceContext* GetWindowContext(Window* window);
void ReleaseWindowContext(Window* window, DeviceContext* context);

// CreatePalette from a 256-entry colour table (blue, green, red, reserved per entry; the
// logical palette version 0x300, entry i = red, green, blue of table entry i, flags 0).
// DeletePalette ignores null.
Palette* CreatePalette(const uint8_t* colourTable);
void DeletePalette(Palette* palette);

// SelectPalette (foreground when `background` is false) returning the previously selected
// palette (null on POSIX before any selection); RealizePalette.
Palette* SelectPalette(DeviceContext* context, Palette* palette, bool background);
void RealizePalette(DeviceContext* context);

// SetStretchBltMode(COLORONCOLOR).
void SetColorOnColor(DeviceContext* context);

// StretchDIBits(..., DIB_RGB_COLORS, SRCCOPY): copies the source rectangle (sx, sy, sw, sh;
// sy counted from the bottom row of the bottom-up `bits`) of the image described by `header`
// (a 40-byte bitmap information header followed, when it has 8 bits per pixel, by its colour
// table of biClrUsed entries, 256 when that is 0; rows padded to 4 bytes as in a DIB) into
// the destination rectangle (x, y, w, h) of the client area, scaling when the sizes differ.
// Returns the lines copied as GDI counts them: the image's whole height, or 0 when the
// source rectangle misses the image. POSIX picks the same nearest pixels as GDI when scaling
// and does not mirror (negative sizes copy nothing).
int32_t StretchDIBits(DeviceContext* context, int32_t x, int32_t y, int32_t w, int32_t h,
                      int32_t sx, int32_t sy, int32_t sw, int32_t sh, const void* bits,
                      const void* header);

// PostMessage(window, message, wParam, lParam). Any thread; returns false when the window is
// null or gone.
bool PostWindowMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// A window for tests and tools with a client area of width x height, shown, with no parent.
// Windows: a real popup window of its own class, created on the calling thread (which must
// be the thread that later reads its messages). POSIX: the offscreen window, filled black.
// Null on failure.
Window* CreateOffscreenWindow(int32_t width, int32_t height);
void DestroyOffscreenWindow(Window* window);

// Reads the client area back as bottom-up 24-bit rows (blue, green, red; width * 3 bytes per
// row, no padding) into `pixels` (width * height * 3 bytes). Windows: from the window's DC.
// Returns false for a null window.
bool ReadWindowPixels(Window* window, uint8_t* pixels);

// Takes the oldest message posted to the window (on Windows with PeekMessage on the calling
// thread, which must be the window's). Returns false when none is waiting.
bool TakePostedMessage(Window* window, uint32_t& message, uintptr_t& wParam, intptr_t& lParam);

// ---- The map window -----------------------------------------------------------------------------
//
// The small popup of class "Map Class", title "Map", that shows where the viewer stands among
// the nodes of a tour. This module never registers the class: the window exists only when
// some module of the process (the host) has registered "Map Class".
//   Windows: a real popup (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, no extended
//   style, no parent, no menu) created for this module and shown at once.
//   POSIX: never created; CreateMapWindow returns null.
// Callers: the environment set. It creates and destroys the window on the window thread; it
// draws markers and asks for repaints from the render thread and from transfer threads too
// (GDI drawing on another thread's window is allowed; nothing here sends messages that wait
// for the window thread).

struct MapWindow;

// Creates the window for a client area of `clientWidth` x `clientHeight` pixels: the window
// rectangle for that client area and the style, each side then at least 100 pixels, placed at
// the top right of the screen (left = screen width - window width, top = 0). Null when the
// class is not registered or the window cannot be made.
MapWindow* CreateMapWindow(int32_t clientWidth, int32_t clientHeight);

// The window's current client height in pixels (0 for null).
int32_t MapClientHeight(MapWindow* window);

// Fills the client rectangle left, top, right, bottom (Rectangle's coordinates, drawn with no
// outline) with a solid colour, on a device context got for this call. Null is ignored.
void FillMapRectangle(MapWindow* window, int32_t left, int32_t top, int32_t right,
                      int32_t bottom, uint8_t red, uint8_t green, uint8_t blue);

// Asks for the rectangle to be erased and repainted (InvalidateRect with erase); the whole
// client area when `whole` is true. Returns at once. Null is ignored.
void RepaintMap(MapWindow* window, bool whole, int32_t left, int32_t top, int32_t right,
                int32_t bottom);

// Destroys the window (on the thread that created it); null is ignored.
void DestroyMapWindow(MapWindow* window);

// ==== Messages and trace =========================================================================

// ---- Message boxes ------------------------------------------------------------------------------
//
// MessageBoxA with no owner window. Callers: the codec bridge (from whichever thread decodes)
// and the check failure; the call blocks that thread until the box is answered. Strings are
// the caller's. `style` takes the Win32 values below; the result is the Win32 button id.
//   Windows: the real modal box.
//   POSIX: "caption: text" on standard error; an OK box answers kIdOk, a yes/no box kIdYes
//   (there is nobody to ask, so the caller carries on).
// Tests answer boxes themselves (SetMessageBoxHook, platform/testing.h).
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbTaskModal = 0x2000;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
int ShowMessageBox(const char* text, const char* caption, uint32_t style);

// ---- Trace channel ------------------------------------------------------------------------------
//
// The send end of the trace forms (diag/trace.h). Callers: every trace form, on any thread
// (window thread, render thread, transfer threads); there is no lock and no state between
// calls. `text` is a NUL-terminated ANSI text owned by the caller and only read during the
// call; null is ignored. Nothing is reported back: a text that cannot be delivered is dropped.
//   Windows: FindWindowA("TRX Class", "TRX Window"); when absent, WinExec("TRX.EXE",
//   SW_SHOWNORMAL) and one more FindWindowA right after it returns; then SendMessageA
//   WM_COPYDATA (sender 0, byte count strlen + 1), waiting until the viewer has handled it.
//   POSIX: appended to the file named by the environment variable KVP_TRACE when it is set
//   (opened and closed for each text), else dropped.
// Tests catch the texts instead (SetTraceHook, platform/testing.h).
void SendTrace(const char* text);

// ---- Process end --------------------------------------------------------------------------------
//
// ExitProcess: ends the process at once with `code`, running no destructors of the caller's
// objects. Callers: the check failure and the fatal stop. Tests catch the end instead
// (SetExitHook, platform/testing.h); then ExitProcess returns to its caller.
void ExitProcess(uint32_t code);

// ==== Codecs =====================================================================================

// ---- Video decompressors ------------------------------------------------------------------------
//
// Installable video codecs addressed by four-character codes, with the calls and messages of
// Video for Windows. A Codec is an open codec instance (HIC), owned by whoever opened it and
// released with CloseCodec. One thread at a time per instance; different instances may be
// used from different threads. Windows: the real msvfw32 calls. POSIX: a registry of drivers
// (platform/common/codec_registry.h) that receive the same messages.

struct Codec;

constexpr uint16_t kIcModeCompress = 1;
constexpr uint16_t kIcModeDecompress = 2;

constexpr uint32_t kIcmDecompressQuery = 0x400B;
constexpr uint32_t kIcmCompressGetFormat = 0x4004;
constexpr uint32_t kIcmCompressGetSize = 0x4005;
constexpr uint32_t kIcmCompressQuery = 0x4006;
constexpr uint32_t kIcmCompressBegin = 0x4007;
constexpr uint32_t kIcmCompress = 0x4008;
constexpr uint32_t kIcmCompressEnd = 0x4009;
constexpr uint32_t kIcmDecompressSetPalette = 0x401D;
constexpr uint32_t kIcmDecompressGetPalette = 0x401E;
constexpr uint32_t kIcmDecompressExBegin = 0x403C;
constexpr uint32_t kIcmDecompressExQuery = 0x403D;
constexpr uint32_t kIcmDecompressEx = 0x403E;
constexpr uint32_t kIcmDecompressExEnd = 0x403F;

// The extended decompression request (ICDECOMPRESSEX), field for field; on the 32-bit
// Windows build it is the 52-byte Win32 record itself (checked in platform/win32/). The
// header pointers address 40-byte bitmap information headers, the destination's followed
// by its colour table when it has 8 bits per pixel.
struct DecompressRequest {
  uint32_t flags = 0;
  const void* sourceHeader = nullptr;
  const void* sourceData = nullptr;
  void* destinationHeader = nullptr;
  void* destinationData = nullptr;
  int32_t xDst = 0, yDst = 0, dxDst = 0, dyDst = 0;
  int32_t xSrc = 0, ySrc = 0, dxSrc = 0, dySrc = 0;
};

// ICLocate: an open codec of `type` that accepts `inHeader` (and `outHeader`, which may be
// null) in `mode`, trying `handler` first; null when none does.
Codec* LocateCodec(uint32_t type, uint32_t handler, const void* inHeader, const void* outHeader,
                   uint16_t mode);

// ICOpen: opens the codec `type`/`handler` (codes compared without regard to case) in
// `mode`; null when it is not installed or refuses.
Codec* OpenCodec(uint32_t type, uint32_t handler, uint16_t mode);

// ICSendMessage: the codec's result (an ICERR_ code: 0 success, negative errors).
int32_t SendCodecMessage(Codec* codec, uint32_t message, uintptr_t param1, uintptr_t param2);

// ICClose; null is ignored.
void CloseCodec(Codec* codec);

// Movable memory as GlobalAlloc returns it. ImageCompress hands one to its caller, who
// releases it with FreeMemory.
struct MemoryHandle;

// ICImageCompress: compresses one uncompressed image (`inHeader` with its colour table when it
// has 8 bits, `inBits` its pixels) with `codec`, to the codec's own output format when
// `outHeader` is null, at `quality` (0..10000), keeping within `*size` bytes when `size` is
// not null. Returns a handle holding a packed image (header, colour table if any, data) or
// null on failure.
MemoryHandle* ImageCompress(Codec* codec, uint32_t flags, const void* inHeader,
                            const void* inBits, const void* outHeader, int32_t quality,
                            int32_t* size);

// GlobalLock / GlobalUnlock / GlobalSize / GlobalFree for handles from ImageCompress.
// LockMemory returns null and MemorySize 0 for a null handle; FreeMemory ignores null.
void* LockMemory(MemoryHandle* memory);
size_t MemorySize(MemoryHandle* memory);
void UnlockMemory(MemoryHandle* memory);
void FreeMemory(MemoryHandle* memory);

// ==== The file-save dialog =======================================================================
//
// GetSaveFileNameA for the viewer's Save As command. Caller: the viewer window's thread; the
// call blocks it (the dialog's own message loop runs) until the user answers. Everything in the
// request is the caller's and is only used during the call.
//   Windows: the common file-save dialog with exactly these fields and flags.
//   POSIX: nobody can be asked: answered as a cancel.
// Tests answer it themselves (SetSaveDialogHook, platform/testing.h).
struct SaveDialogRequest {
  Window* owner = nullptr;             // the dialog's owner window; null: none
  const char* filter = nullptr;        // pairs of NUL-ended texts, the list ended by one more NUL
  const char* defaultExtension = nullptr;  // added to a name typed without one; no dot
  uint32_t flags = 0;                  // Win32 OFN_* values
  char* path = nullptr;                // in: the initial file name; out: the chosen full path
  uint32_t pathSize = 0;               // bytes at `path`, NUL included
};
constexpr uint32_t kOfnOverwritePrompt = 0x2;
constexpr uint32_t kOfnHideReadOnly = 0x4;
// True when the user confirmed (OK) with the full path in `path`; false for a cancel or a
// failure, `path` then unspecified.
bool ShowSaveDialog(SaveDialogRequest& request);

// ==== Multimedia =================================================================================
//
// Clips played through the Media Control Interface's command strings, the short file names
// MCI device names are made of, and the waveform sound stop. Callers: the viewer window's
// MediaPlayer, on the window thread. Strings are the caller's and only read during the call.
//   Windows: the real winmm and kernel calls.
//   POSIX: there is no MCI: every command fails with kMciErrorDeviceNotInstalled; there are no
//   8.3 names, so a short path is the path itself; there is no sound to stop.
// Tests see and answer every command and stop themselves (SetMultimediaHook, platform/testing.h).

// MCIERR_DEVICE_NOT_INSTALLED (MCIERR_BASE + 50): the POSIX side's answer to every command.
constexpr uint32_t kMciErrorDeviceNotInstalled = 306;

// mciSendStringA(command, no return buffer, 0, callback): the MCI error code, 0 on success. A
// command ending in " notify" posts MM_MCINOTIFY (0x3B9) to `callback` when it completes, is
// aborted or superseded; null `callback` asks for nothing.
uint32_t SendMciCommand(const char* command, Window* callback);

// GetShortPathNameA: the 8.3 form of an existing file's path into `buffer`. Returns its length
// without the NUL; when `size` is too small, the size needed including the NUL and `buffer` is
// left alone; 0 when the file does not exist (LastError says why).
uint32_t GetShortPath(const char* path, char* buffer, uint32_t size);

// PlaySoundA(null, null, SND_ASYNC | SND_NODEFAULT | SND_NOWAIT): stops whatever PlaySound is
// playing in this process. Returns the call's result (true also when nothing was playing).
bool StopWaveSound();

}  // namespace platform
