// kvpview's browser: the window with its page area and status bar, the plug-in's instances,
// the browser functions it calls, stream delivery and navigation. Window thread only.
#pragma once

#include <string>

namespace kvp::host {

struct Options {
  std::string target;  // the page (.html/.htm) or panorama (.pan, .ini) to open
  bool full = false;   // a panorama opens as a full-page plug-in (NP_FULL)
  int width = 800;     // page area, without the frame and the status bar
  int height = 600;
  std::string pluginPath;  // "" : Qorvane.DLL beside kvpview.exe
  std::string logPath;     // "" : no log
  int npapiMinor = 9;      // 8 offers the 0.8 browser table
  bool quiet = false;      // failures go to standard error and the log only, no message box
  int closeAfter = 0;      // seconds after which the window closes itself (scripts); 0: never
};

// Reads kvpview's command line (without the program name). Returns false with a one-line
// reason for anything it does not understand.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

inline constexpr const char* kUsage =
    "usage: kvpview PAGE.html|FILE.pan [--full] [--size WxH] [--plugin PATH] [--log FILE] "
    "[--npapi-minor 8] [--quiet] [--close-after SECONDS]";

// Opens the window, loads the plug-in and the page, and runs until the window is closed.
// Returns the process's exit status: 0 after a normal close, 2 when the page or the plug-in
// could not be opened.
int RunBrowser(const Options& options);

}  // namespace kvp::host
