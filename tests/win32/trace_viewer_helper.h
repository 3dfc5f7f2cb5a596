// Windows test helper: runs the real trace viewer, TRX.EXE, and reads what it shows.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

namespace kvp::test {

// The folder of the running test program (where the build puts TRX.EXE), with a trailing
// backslash.
std::string ProgramFolder();

// The trace viewer's window, or null when none runs.
HWND FindTraceViewerWindow();

// The lines the trace viewer's list shows, read across processes.
std::vector<std::string> ShownLines(HWND viewer);

// Closes the viewer that owns `viewer` (WM_CLOSE) and waits for its process to end; ends it
// by force if it has not after 10 s. Returns true when it ended by itself.
bool CloseTraceViewer(HWND viewer);

// A TRX.EXE started by the test with `--log path`, closed when the object goes.
class TraceViewerProcess {
 public:
  explicit TraceViewerProcess(const std::string& logPath);
  ~TraceViewerProcess();
  TraceViewerProcess(const TraceViewerProcess&) = delete;
  TraceViewerProcess& operator=(const TraceViewerProcess&) = delete;

  HWND Window() const { return window_; }  // null if it failed to start

 private:
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

}  // namespace kvp::test
