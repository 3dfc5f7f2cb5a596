// The browser's side of the plug-in tests: a 0.9 (or 0.8) NPNetscapeFuncs table that records
// every call with its arguments, the plug-in's answers (message boxes, trace-hook texts), a
// browser window to put instances in, and panorama files with hot spots.
#pragma once

#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/npapi.h"
#include "plugin/plugin.h"
#include "platform/testing.h"
#include "tests/data/tour_files.h"
#include "tools/authoring/writer.h"

namespace kvp::test {

// What the plug-in asked of the browser and told the user, in order.
struct BrowserLog {
  std::vector<std::string> calls;  // "GetURL <url> <target or (null)>", "Status <text>", ...
  std::vector<std::string> boxes;
  std::vector<std::string> traces;
  int allocations = 0;
  int frees = 0;
};

inline BrowserLog* gLog = nullptr;

inline NPError RecordGetURL(NPP, const char* url, const char* target) {
  gLog->calls.push_back(std::string("GetURL ") + (url ? url : "(null)") + " " +
                        (target ? target : "(null)"));
  return NPERR_NO_ERROR;
}
inline void RecordStatus(NPP, const char* text) {
  gLog->calls.push_back(std::string("Status ") + text);
}
inline void* RecordMemAlloc(uint32_t size) {
  ++gLog->allocations;
  return std::malloc(size);
}
inline void RecordMemFree(void* p) {
  ++gLog->frees;
  std::free(p);
}

// Installs the table and the hooks for the life of the object (one test).
class RecordingBrowser {
 public:
  explicit RecordingBrowser(uint16_t version = 9) {
    gLog = &log;
    table.size = sizeof table;
    table.version = version;
    table.geturl = RecordGetURL;
    table.status = RecordStatus;
    table.memalloc = RecordMemAlloc;
    table.memfree = RecordMemFree;
    platform::SetMessageBoxHook(
        [](const char* text, const char*, uint32_t, void*) {
          gLog->boxes.push_back(text);
          return IDOK;
        },
        nullptr);
    SetTraceHookObserver([](NPP, const char* text, int, void*) { gLog->traces.push_back(text); },
                         nullptr);
    NP_GetEntryPoints(&funcs);
    NP_Initialize(&table);
  }
  ~RecordingBrowser() {
    NP_Shutdown();
    SetTraceHookObserver(nullptr, nullptr);
    platform::SetMessageBoxHook(nullptr, nullptr);
    gLog = nullptr;
  }
  bool Traced(const std::string& text) const {
    for (const std::string& t : log.traces) {
      if (t == text) return true;
    }
    return false;
  }

  BrowserLog log;
  NPNetscapeFuncs table = {};
  NPPluginFuncs funcs = {};
};

// A borderless browser window whose client area is exactly width x height.
class BrowserWindow {
 public:
  BrowserWindow(int width, int height) {
    hwnd = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_CLIPCHILDREN, 0, 0, width, height,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ~BrowserWindow() { DestroyWindow(hwnd); }
  NPWindow Record() { return NPWindow{hwnd, 0, 0, 0, 0, {0, 0, 0, 0}}; }
  HWND hwnd;
};

// A child's rectangle in its parent's client coordinates.
inline RECT PlacementOf(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A flat panorama container, with one hot spot straight ahead when `link` is given.
inline std::vector<uint8_t> PanoramaFile(const std::string& link = "") {
  std::vector<authoring::Block> blocks{{"BTMP", FlatImage(64, 32, 7).bytes}};
  if (!link.empty()) {
    std::vector<uint8_t> block;
    EXPECT_TRUE(authoring::BuildHotspotBlock({{-20, -10, 20, 10, link}}, block, nullptr));
    blocks.push_back({"HSPT", block});
  }
  return authoring::BuildContainer(blocks);
}

inline void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

}  // namespace kvp::test
