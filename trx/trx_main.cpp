// TRX.EXE: the trace viewer window. Lists the texts other programs send it by WM_COPYDATA,
// and can copy, clear and save them; with --log FILE it also appends every received byte.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commdlg.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "trx_lines.h"

namespace {

constexpr char kClassName[] = "TRX Class";
constexpr char kWindowTitle[] = "TRX Window";
constexpr int kListId = 100;
constexpr UINT kCmdCopy = 1, kCmdClear = 2, kCmdSave = 3, kCmdExit = 4;
// Oldest lines go once this many are shown, so a chatty sender cannot eat all memory.
constexpr int kMaxLines = 20000;

// Everything the viewer keeps. Window thread only (every message is handled there).
struct Viewer {
  HWND window = nullptr;
  HWND list = nullptr;
  HANDLE log = INVALID_HANDLE_VALUE;  // --log FILE, open for appending
  trx::LineAssembler lines;
};
Viewer gViewer;

void AppendToLog(const void* bytes, DWORD count) {
  if (gViewer.log == INVALID_HANDLE_VALUE || count == 0) return;
  DWORD written = 0;
  WriteFile(gViewer.log, bytes, count, &written, nullptr);
}

void ShowReceived(const char* bytes, size_t count) {
  const trx::LineAssembler::Update update = gViewer.lines.Add(bytes, count);
  HWND list = gViewer.list;
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  bool first = true;
  for (const std::string& line : update.lines) {
    if (first && update.replaceLast) {
      const LRESULT last = SendMessageA(list, LB_GETCOUNT, 0, 0) - 1;
      if (last >= 0) SendMessageA(list, LB_DELETESTRING, last, 0);
    }
    first = false;
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  }
  while (SendMessageA(list, LB_GETCOUNT, 0, 0) > kMaxLines) {
    SendMessageA(list, LB_DELETESTRING, 0, 0);
  }
  const LRESULT count_now = SendMessageA(list, LB_GETCOUNT, 0, 0);
  if (count_now > 0) SendMessageA(list, LB_SETTOPINDEX, count_now - 1, 0);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

// The shown lines, each ended by CR LF; only the selected ones when `selectedOnly` and some
// are selected.
std::string CollectLines(bool selectedOnly) {
  HWND list = gViewer.list;
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  const bool useSelection = selectedOnly && SendMessageA(list, LB_GETSELCOUNT, 0, 0) > 0;
  std::string all;
  for (LRESULT i = 0; i < count; ++i) {
    if (useSelection && SendMessageA(list, LB_GETSEL, i, 0) <= 0) continue;
    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
    if (length < 0) continue;
    std::string line(size_t(length) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&line[0]));
    line.resize(std::strlen(line.c_str()));
    all += line;
    all += "\r\n";
  }
  return all;
}

void CopyLines() {
  const std::string text = CollectLines(true);
  if (!OpenClipboard(gViewer.window)) return;
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (memory != nullptr) {
    if (void* p = GlobalLock(memory)) {
      std::memcpy(p, text.c_str(), text.size() + 1);
      GlobalUnlock(memory);
      if (SetClipboardData(CF_TEXT, memory) == nullptr) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

void SaveLines() {
  char path[MAX_PATH] = "trace.txt";
  OPENFILENAMEA dialog;
  std::memset(&dialog, 0, sizeof dialog);
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = gViewer.window;
  dialog.lpstrFilter = "Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = sizeof path;
  dialog.lpstrDefExt = "txt";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameA(&dialog)) return;
  const std::string text = CollectLines(false);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    MessageBoxA(gViewer.window, "The file cannot be written.", kWindowTitle, MB_OK);
    return;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != text.size()) {
    MessageBoxA(gViewer.window, "The file cannot be written.", kWindowTitle, MB_OK);
  }
}

HMENU MakeMenu() {
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, kCmdSave, "&Save...");
  AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(file, MF_STRING, kCmdExit, "E&xit");
  HMENU edit = CreatePopupMenu();
  AppendMenuA(edit, MF_STRING, kCmdCopy, "&Copy");
  AppendMenuA(edit, MF_STRING, kCmdClear, "C&lear");
  HMENU bar = CreateMenu();
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "&Edit");
  return bar;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      gViewer.list = CreateWindowExA(
          WS_EX_CLIENTEDGE, "LISTBOX", nullptr,
          WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT |
              LBS_EXTENDEDSEL | LBS_NOTIFY,
          0, 0, 0, 0, window, reinterpret_cast<HMENU>(kListId), nullptr, nullptr);
      if (gViewer.list == nullptr) return -1;
      SendMessageA(gViewer.list, WM_SETFONT,
                   reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
      SendMessageA(gViewer.list, LB_SETHORIZONTALEXTENT, 4000, 0);
      return 0;
    case WM_SIZE:
      MoveWindow(gViewer.list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_COPYDATA: {
      // Only the byte count and the address mean anything; the data word is ignored.
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (data == nullptr || data->lpData == nullptr) return FALSE;
      AppendToLog(data->lpData, data->cbData);
      ShowReceived(static_cast<const char*>(data->lpData), data->cbData);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kCmdCopy: CopyLines(); return 0;
        case kCmdClear:
          SendMessageA(gViewer.list, LB_RESETCONTENT, 0, 0);
          gViewer.lines.Reset();
          return 0;
        case kCmdSave: SaveLines(); return 0;
        case kCmdExit: DestroyWindow(window); return 0;
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// `--log FILE` from the command line, or null.
const char* LogPathArgument() {
  for (int i = 1; i + 1 < __argc; ++i) {
    if (std::strcmp(__argv[i], "--log") == 0) return __argv[i + 1];
  }
  return nullptr;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  if (const char* path = LogPathArgument()) {
    gViewer.log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (gViewer.log == INVALID_HANDLE_VALUE) {
      MessageBoxA(nullptr, "The log file cannot be opened.", kWindowTitle, MB_OK);
      return 1;
    }
  }

  WNDCLASSA windowClass;
  std::memset(&windowClass, 0, sizeof windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassA(&windowClass)) return 1;

  // The window exists before the first wait for input: a sender that started this program
  // with WinExec looks for it as soon as WinExec returns, and WinExec returns when we idle.
  gViewer.window = CreateWindowExA(0, kClassName, kWindowTitle, WS_OVERLAPPEDWINDOW,
                                   CW_USEDEFAULT, CW_USEDEFAULT, 640, 400, nullptr, MakeMenu(),
                                   instance, nullptr);
  if (gViewer.window == nullptr) return 1;
  ShowWindow(gViewer.window, show);
  UpdateWindow(gViewer.window);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (gViewer.log != INVALID_HANDLE_VALUE) CloseHandle(gViewer.log);
  return 0;
}
