// The window framework's application object, default window class and window procedure.
#include "viewer/framework.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace kvp {

namespace {

CWinApp* gApp = nullptr;

constexpr const char* kDefaultClass = "KVPFrameworkWnd";

// The module that holds this code (the plug-in DLL, or a test program).
HINSTANCE CodeModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&CodeModule), &module);
  return module;
}

}  // namespace

CWinApp::CWinApp() : module_(CodeModule()), resources_(module_) {
  // The name is the module's file name without folder and extension ("Qorvane").
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module_, path, MAX_PATH - 1);
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  std::snprintf(appName_, sizeof appName_, "%s", name);
  if (char* dot = std::strrchr(appName_, '.')) *dot = '\0';
  gApp = this;
}

CWinApp::~CWinApp() {
  if (gApp == this) gApp = nullptr;
}

CWinApp* AfxGetApp() { return gApp; }

int AfxMessageBox(const char* text, UINT style) {
  const char* caption = gApp != nullptr ? gApp->AppName() : "";
  return platform::ShowMessageBox(text, caption, style);
}

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

INT_PTR RunModalDialog(UINT id, HWND parent) {
  const HINSTANCE resources = gApp != nullptr ? gApp->ResourceHandle() : CodeModule();
  return DialogBoxParamA(resources, MAKEINTRESOURCEA(id), parent, PlainDialogProc, 0);
}

CWnd::~CWnd() {
  if (m_hWnd != nullptr) DestroyWindow();
}

bool CWnd::CreateEx(DWORD exStyle, const char* title, DWORD style, int x, int y, int width,
                    int height, HWND parent, UINT_PTR idOrMenu) {
  const HINSTANCE module = CodeModule();
  WNDCLASSA existing;
  if (!GetClassInfoA(module, kDefaultClass, &existing)) {
    // No background brush: the render thread paints the whole client area.
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &CWnd::WindowProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kDefaultClass;
    if (RegisterClassA(&wc) == 0) return false;
  }
  // The window procedure attaches `this` on WM_NCCREATE, so creation messages reach the map.
  const HWND hwnd = CreateWindowExA(exStyle, kDefaultClass, title, style, x, y, width, height,
                                    parent, reinterpret_cast<HMENU>(idOrMenu), module, this);
  return hwnd != nullptr;
}

bool CWnd::DestroyWindow() {
  if (m_hWnd == nullptr) return false;
  return ::DestroyWindow(m_hWnd) != 0;
}

bool CWnd::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT CWnd::Default() {
  return DefWindowProcA(m_hWnd, currentMessage_, currentWParam_, currentLParam_);
}

LRESULT CALLBACK CWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* window = static_cast<CWnd*>(create->lpCreateParams);
    window->m_hWnd = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<CWnd*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);

  // Messages nest (a handler may send more): keep the outer message for its Default().
  const UINT outerMessage = window->currentMessage_;
  const WPARAM outerWParam = window->currentWParam_;
  const LPARAM outerLParam = window->currentLParam_;
  window->currentMessage_ = message;
  window->currentWParam_ = wParam;
  window->currentLParam_ = lParam;
  LRESULT result = 0;
  if (!window->OnMessage(message, wParam, lParam, result)) result = window->Default();
  window->currentMessage_ = outerMessage;
  window->currentWParam_ = outerWParam;
  window->currentLParam_ = outerLParam;

  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    window->m_hWnd = nullptr;
  }
  return result;
}

}  // namespace kvp
