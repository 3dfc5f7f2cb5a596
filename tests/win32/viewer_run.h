// Windows test helper: one run of kvpview.exe under Wine, its logs and its windows.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kvp::test {

// A text file's lines without their CR LF ends; a missing file has none.
std::string ReadLog(const std::filesystem::path& path);
std::vector<std::string> Lines(const std::string& text);
// Index of the first line starting with `prefix` at or after `from`; -1 when none.
int Find(const std::vector<std::string>& lines, const std::string& prefix, int from = 0);

// Starts kvpview.exe (beside the test program) with its log, and the recording plug-in's log
// (KVP_RECORD_LOG), in `logFolder`. The process is ended at destruction if still running.
class ViewerRun {
 public:
  explicit ViewerRun(std::filesystem::path logFolder);
  ~ViewerRun();
  ViewerRun(const ViewerRun&) = delete;
  ViewerRun& operator=(const ViewerRun&) = delete;

  // `arguments` after the program name; " --quiet --log ..." is added.
  bool Start(const std::string& arguments);

  std::string ViewLog() const { return ReadLog(folder_ / "view.log"); }
  std::string PluginLog() const { return ReadLog(folder_ / "plugin.log"); }

  // Waits up to 30 s for kvpview's log to hold `text`.
  bool WaitForLog(const std::string& text) const;

  HWND Frame() const;           // the top-level window (class "KvpFrame")
  HWND PluginWindow() const;    // the plug-in's own window in the first object's port
  std::string StatusText() const;
  static std::string Text(HWND hwnd);  // WM_GETTEXT, which also crosses processes

  // Closes the window as a user would; the exit status, or -1 when still running 10 s later.
  int Close();
  int Wait();

 private:
  std::filesystem::path folder_;
  PROCESS_INFORMATION process_ = {};
};

}  // namespace kvp::test
