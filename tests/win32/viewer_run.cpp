// Windows test helper: starting kvpview.exe, reading its logs, finding and closing its window.
#include "tests/win32/viewer_run.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/win32/trace_viewer_helper.h"

namespace kvp::test {

namespace {

struct FrameSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindFrame(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<FrameSearch*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof(name));
  if (pid == search->pid && std::string(name) == "KvpFrame") search->found = hwnd;
  return search->found == nullptr;
}

}  // namespace

std::string ReadLog(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string lines = text.str();  // both logs are written in text mode: CR LF
  lines.erase(std::remove(lines.begin(), lines.end(), '\r'), lines.end());
  return lines;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int Find(const std::vector<std::string>& lines, const std::string& prefix, int from) {
  for (int i = std::max(from, 0); i < int(lines.size()); ++i)
    if (lines[i].rfind(prefix, 0) == 0) return i;
  return -1;
}

ViewerRun::ViewerRun(std::filesystem::path logFolder) : folder_(std::move(logFolder)) {
  SetEnvironmentVariableA("KVP_RECORD_LOG", (folder_ / "plugin.log").string().c_str());
}

ViewerRun::~ViewerRun() {
  if (process_.hProcess != nullptr) {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(process_.hProcess, 99);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  SetEnvironmentVariableA("KVP_RECORD_LOG", nullptr);
}

bool ViewerRun::Start(const std::string& arguments) {
  std::string command = "\"" + ProgramFolder() + "kvpview.exe\" " + arguments +
                        " --quiet --log \"" + (folder_ / "view.log").string() + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  return CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        ProgramFolder().c_str(), &startup, &process_) != 0;
}

bool ViewerRun::WaitForLog(const std::string& text) const {
  for (int i = 0; i < 600; ++i) {
    if (ViewLog().find(text) != std::string::npos) return true;
    if (WaitForSingleObject(process_.hProcess, 50) == WAIT_OBJECT_0) break;
  }
  return ViewLog().find(text) != std::string::npos;
}

HWND ViewerRun::Frame() const {
  FrameSearch search = {process_.dwProcessId, nullptr};
  EnumWindows(FindFrame, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ViewerRun::PluginWindow() const {
  HWND port = FindWindowExA(Frame(), nullptr, "KvpPluginPort", nullptr);
  return port == nullptr ? nullptr : GetWindow(port, GW_CHILD);
}

std::string ViewerRun::Text(HWND hwnd) {
  char text[512] = {};
  SendMessageA(hwnd, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

std::string ViewerRun::StatusText() const {
  return Text(FindWindowExA(Frame(), nullptr, "msctls_statusbar32", nullptr));
}

int ViewerRun::Close() {
  PostMessageA(Frame(), WM_CLOSE, 0, 0);
  return Wait();
}

int ViewerRun::Wait() {
  if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return int(code);
}

}  // namespace kvp::test
