// Windows test helper: starting, reading and closing the trace viewer.
#include "tests/win32/trace_viewer_helper.h"

#include <cstring>
#include <cwchar>

#include "platform/win32/trace_viewer.h"

#include <gtest/gtest.h>

namespace kvp::test {

namespace {

// Lines sent by code under test must never start a viewer as a side effect; the tests that
// want one ask for it.
class NoTraceViewerProgram : public ::testing::Environment {
 public:
  void SetUp() override { platform::SetTraceViewerProgram("KVP-NO-TRACE-VIEWER.EXE"); }
};
::testing::Environment* const gNoTraceViewer =
    ::testing::AddGlobalTestEnvironment(new NoTraceViewerProgram);

}  // namespace

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

HWND FindTraceViewerWindow() { return FindWindowA("TRX Class", "TRX Window"); }

std::vector<std::string> ShownLines(HWND viewer) {
  std::vector<std::string> lines;
  HWND list = FindWindowExA(viewer, nullptr, "LISTBOX", nullptr);
  if (list == nullptr) return lines;
  // Across processes the text comes back as UTF-16 whatever the caller's character set
  // (Wine writes that many bytes even into an ANSI buffer), so ask for it wide.
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
    if (length < 0) break;
    std::wstring wide(size_t(length) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
    wide.resize(wcslen(wide.c_str()));
    std::string line;
    for (wchar_t c : wide) line += c < 0x100 ? char(c) : '?';
    lines.push_back(line);
  }
  return lines;
}

bool CloseTraceViewer(HWND viewer) {
  DWORD pid = 0;
  GetWindowThreadProcessId(viewer, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  PostMessageA(viewer, WM_CLOSE, 0, 0);
  if (process == nullptr) return false;
  const bool ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process, 1);
  CloseHandle(process);
  return ended;
}

TraceViewerProcess::TraceViewerProcess(const std::string& logPath) {
  std::string command = "\"" + ProgramFolder() + "TRX.EXE\" --log \"" + logPath + "\"";
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process_)) {
    return;
  }
  // The viewer makes its window before it first waits for input.
  WaitForInputIdle(process_.hProcess, 10000);
  for (int i = 0; i < 500 && window_ == nullptr; ++i) {
    window_ = FindTraceViewerWindow();
    if (window_ == nullptr) Sleep(20);
  }
}

TraceViewerProcess::~TraceViewerProcess() {
  if (process_.hProcess == nullptr) return;
  if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) {
    TerminateProcess(process_.hProcess, 1);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

}  // namespace kvp::test
