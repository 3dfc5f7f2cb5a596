// The little window framework the plug-in is written against: one application object per
// module, windows of one default class whose messages go through a message map, and the
// application's message box.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstddef>

namespace kvp {

// The module's one application object. It has no name of its own: message boxes carry the
// module's file name without its extension, as the framework has always done.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Where menus, dialogs and bitmaps are loaded from: the module this code is linked into.
  HINSTANCE ResourceHandle() const { return resources_; }
  // Takes menus, dialogs and bitmaps from another module from now on (null: this one again).
  void SetResourceHandle(HINSTANCE resources) { resources_ = resources ? resources : module_; }
  // The thread the application runs on; the pseudo-handle means "the calling thread", which
  // for a plug-in is the browser's user-interface thread.
  HANDLE ThreadHandle() const { return GetCurrentThread(); }
  const char* AppName() const { return appName_; }

 private:
  HINSTANCE module_;
  HINSTANCE resources_;
  char appName_[MAX_PATH];
};

// The application object of this module (set by CWinApp's constructor); null before load.
CWinApp* AfxGetApp();

// The application's message box: no owner window, the application's name as caption.
// It goes through platform::ShowMessageBox, so tests answer it with the seam's hook.
int AfxMessageBox(const char* text, UINT style = MB_OK);

// Runs the dialog resource `id` modally; OK and Cancel end it. Returns the button's id.
INT_PTR RunModalDialog(UINT id, HWND parent);

// A window whose messages are looked up in the derived class's message map (OnMessage) and
// otherwise get default processing.
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();  // destroys the native window if it still exists
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Creates the native window of the framework's default class; false on failure.
  bool CreateEx(DWORD exStyle, const char* title, DWORD style, int x, int y, int width,
                int height, HWND parent, UINT_PTR idOrMenu);
  bool DestroyWindow();
  HWND GetSafeHwnd() const { return m_hWnd; }

  bool MoveWindow(int x, int y, int width, int height, bool repaint = true) {
    return ::MoveWindow(m_hWnd, x, y, width, height, repaint) != 0;
  }
  bool ShowWindow(int command) { return ::ShowWindow(m_hWnd, command) != 0; }
  void UpdateWindow() { ::UpdateWindow(m_hWnd); }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

  // The native window, null before creation and after destruction.
  HWND m_hWnd = nullptr;

 protected:
  // The message map: true when the class handled the message (its result in `result`).
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Default processing of the message being handled.
  LRESULT Default();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  // The message being handled, for Default().
  UINT currentMessage_ = 0;
  WPARAM currentWParam_ = 0;
  LPARAM currentLParam_ = 0;
};

// A message-map entry: a message (and, for WM_COMMAND, the command identifier) and the member
// that handles it. Handlers take the message's wParam and lParam and return its result.
template <class Window>
struct MessageMapEntry {
  UINT message;
  UINT command;  // WM_COMMAND only; 0 otherwise
  LRESULT (Window::*handler)(WPARAM wParam, LPARAM lParam);
};

// Looks the message up in `map` and runs the first matching handler.
template <class Window>
bool DispatchMessageMap(Window* window, const MessageMapEntry<Window>* map, size_t count,
                        UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  for (size_t i = 0; i < count; ++i) {
    const MessageMapEntry<Window>& entry = map[i];
    if (entry.message != message) continue;
    if (message == WM_COMMAND && entry.command != LOWORD(wParam)) continue;
    result = (window->*entry.handler)(wParam, lParam);
    return true;
  }
  return false;
}

}  // namespace kvp
