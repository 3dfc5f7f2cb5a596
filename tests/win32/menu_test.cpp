// The viewer's context menu and its commands in real windows under a recording browser: the
// tracked menu read back, the Help and About dialogs found while they are up, Save As through
// the seam's dialog hook, Reset Panorama's one-second return home, and the external viewer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "controller/panorama_controller.h"
#include "platform/platform.h"
#include "platform/testing.h"
#include "tests/test_files.h"
#include "tests/win32/recording_browser.h"
#include "viewer/kvp_win.h"

namespace kvp {
namespace {

using test::BrowserWindow;
using test::RecordingBrowser;

// ---- Reading the tracked menu ---------------------------------------------------------------

struct MenuItem {
  std::string text;
  UINT id;
  bool grayed;
};

// What the spy saw while the menu was up, and the keys it then pressed.
struct MenuSpy {
  WNDPROC original = nullptr;
  std::vector<MenuItem> items;
  HMENU menu = nullptr;  // the tracked popup
  RECT popup = {};
  bool idle = false;
  std::vector<std::pair<UINT, WPARAM>> keys;  // keyboard messages posted once it is idle
};
MenuSpy* gSpy = nullptr;

LRESULT CALLBACK SpyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITMENUPOPUP) {
    const HMENU menu = reinterpret_cast<HMENU>(wParam);
    gSpy->menu = menu;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[64] = {};
      GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
      const UINT state = GetMenuState(menu, UINT(i), MF_BYPOSITION);
      gSpy->items.push_back({text, GetMenuItemID(menu, i), (state & MF_GRAYED) != 0});
    }
  } else if (message == WM_ENTERIDLE && wParam == MSGF_MENU && !gSpy->idle) {
    gSpy->idle = true;
    const HWND popup = FindWindowA("#32768", nullptr);
    if (popup != nullptr) GetWindowRect(popup, &gSpy->popup);
    // The menu's loop takes keys from the thread's queue, whichever window they name.
    for (const auto& [key, code] : gSpy->keys) PostMessageA(hwnd, key, code, 0);
  }
  return CallWindowProcA(gSpy->original, hwnd, message, wParam, lParam);
}

// A menu left open by a failure would hang the suite: this ends it after five seconds.
void CALLBACK EndMenuLate(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EndMenu();
}

// ---- Closing the dialogs while they run ------------------------------------------------------

struct DialogSeen {
  std::string caption;
  bool found = false;
  HWND owner = nullptr;
  std::string firstText;  // of the dialog's first static text
};
DialogSeen* gDialog = nullptr;
UINT_PTR gDialogTimer = 0;

void CALLBACK CloseDialog(HWND, UINT, UINT_PTR, DWORD) {
  const HWND dialog = FindWindowA("#32770", gDialog->caption.c_str());
  if (dialog == nullptr || !IsWindowVisible(dialog)) return;
  gDialog->found = true;
  gDialog->owner = GetWindow(dialog, GW_OWNER);
  char text[128] = {};
  GetWindowTextA(FindWindowExA(dialog, nullptr, "Static", nullptr), text, sizeof text);
  gDialog->firstText = text;
  KillTimer(nullptr, gDialogTimer);
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

// A dialog left open by a failure would hang the suite.
void CALLBACK CancelDialogLate(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (HWND d = FindWindowA("#32770", nullptr)) PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
}

// ---- The viewer in its page ------------------------------------------------------------------

class ViewerMenu : public ::testing::Test {
 protected:
  // Menus and dialogs come from the plug-in library itself, as in the browser.
  static void SetUpTestSuite() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dll(path);
    dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "Qorvane.DLL";
    library = LoadLibraryA(dll.c_str());
    AfxGetApp()->SetResourceHandle(library);
  }
  static void TearDownTestSuite() {
    AfxGetApp()->SetResourceHandle(nullptr);
    FreeLibrary(library);
  }

  // Shows the full panorama (or its thumbnail) in a 300 x 200 viewer; the instance knows both
  // files, which differ.
  void Show(bool thumbnail) {
    ASSERT_NE(library, nullptr);
    NPP_New(nullptr, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr);
    full = dir.Write("hall.pan", test::PanoramaFile("next.pan"));
    preview = dir.Write("_hall.pan", test::PanoramaFile());
    Data()->panoramaFile = Copy(full);
    Data()->thumbnailFile = Copy(preview);
    ShowWindow(page.hwnd, SW_SHOWNORMAL);
    viewer = new CKVPWin(page.hwnd, 0, 0, 300, 200, &instance);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    ASSERT_NE(viewer->m_hWnd, nullptr);
    viewer->ShowWindow(SW_SHOWNORMAL);
    ASSERT_EQ(viewer->ResisterPanorama((thumbnail ? preview : full).c_str(), thumbnail ? 1 : 0),
              1);
  }
  InstanceData* Data() { return static_cast<InstanceData*>(instance.pdata); }
  static char* Copy(const std::string& text) {
    char* copy = static_cast<char*>(NPN_MemAlloc(uint32_t(text.size() + 1)));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
  }
  void TearDown() override {
    platform::SetSaveDialogHook(nullptr, nullptr);
    if (viewer != nullptr) {
      viewer->DestroyWindow();
      delete viewer;
    }
    if (InstanceData* data = Data()) {
      NPN_MemFree(data->panoramaFile);
      NPN_MemFree(data->thumbnailFile);
      NPN_MemFree(data);
    }
  }

  // A right click at the client point (x, y), with the menu answered by `keys`.
  MenuSpy RightClick(int x, int y, std::vector<std::pair<UINT, WPARAM>> keys) {
    MenuSpy spy;
    spy.keys = std::move(keys);
    gSpy = &spy;
    spy.original = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        viewer->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SpyProc)));
    const UINT_PTR guard = SetTimer(nullptr, 0, 5000, EndMenuLate);
    SendMessageA(viewer->m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    KillTimer(nullptr, guard);
    SetWindowLongPtrA(viewer->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(spy.original));
    gSpy = nullptr;
    return spy;
  }

  // Runs `command` with a timer that finds the dialog of that caption and presses its OK.
  DialogSeen RunDialog(UINT command, const std::string& caption) {
    DialogSeen seen;
    seen.caption = caption;
    gDialog = &seen;
    gDialogTimer = SetTimer(nullptr, 0, 50, CloseDialog);
    const UINT_PTR guard = SetTimer(nullptr, 0, 5000, CancelDialogLate);
    SendMessageA(viewer->m_hWnd, WM_COMMAND, command, 0);
    KillTimer(nullptr, guard);
    KillTimer(nullptr, gDialogTimer);
    gDialog = nullptr;
    return seen;
  }

  static inline HMODULE library = nullptr;
  RecordingBrowser browser;
  test::TempDir dir;
  BrowserWindow page{400, 300};
  NPP_t instance = {};
  CKVPWin* viewer = nullptr;
  std::string full, preview;
};

TEST_F(ViewerMenu, RightClickTracksMenu129AtTheClickAndDestroysIt) {
  Show(false);
  const MenuSpy spy = RightClick(40, 30, {{WM_KEYDOWN, VK_ESCAPE}});
  ASSERT_TRUE(spy.idle);
  const std::vector<MenuItem> expected = {{"Help", 32775, false},
                                          {"Save As", 32771, false},
                                          {"Reset Panorama", 32774, false},
                                          {"About", 32773, false},
                                          {"Launch External Viewer", 32777, false}};
  ASSERT_EQ(spy.items.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(spy.items[i].text, expected[i].text) << i;
    EXPECT_EQ(spy.items[i].id, expected[i].id) << i;
    EXPECT_EQ(spy.items[i].grayed, expected[i].grayed) << i;
  }
  // The menu's left edge and top are the click in screen coordinates.
  POINT click = {40, 30};
  ClientToScreen(viewer->m_hWnd, &click);
  EXPECT_EQ(spy.popup.left, click.x);
  EXPECT_EQ(spy.popup.top, click.y);
  const HWND popup = FindWindowA("#32768", nullptr);
  EXPECT_FALSE(popup != nullptr && IsWindowVisible(popup));
  EXPECT_FALSE(IsMenu(spy.menu));  // destroyed with the loaded menu once tracking ended

  // No controller, no menu.
  viewer->ResisterPanorama(dir.Write("bad.pan", std::string("not a panorama")).c_str(), 0);
  ASSERT_EQ(viewer->controller, nullptr);
  EXPECT_FALSE(RightClick(40, 30, {{WM_KEYDOWN, VK_ESCAPE}}).idle);
}

TEST_F(ViewerMenu, ThumbnailGreysTheExternalViewerOnly) {
  Show(true);
  const MenuSpy spy = RightClick(150, 100, {{WM_KEYDOWN, VK_ESCAPE}});
  ASSERT_EQ(spy.items.size(), 5u);
  for (size_t i = 0; i < 4; ++i) EXPECT_FALSE(spy.items[i].grayed) << i;
  EXPECT_EQ(spy.items[4].text, "Launch External Viewer");
  EXPECT_TRUE(spy.items[4].grayed);
}

TEST_F(ViewerMenu, ChosenHelpRunsDialog130OwnedByTheViewersPageAndAboutHasNoOwner) {
  Show(false);
  // Down once selects Help; Return chooses it, and WM_COMMAND comes back to the viewer.
  DialogSeen help;
  help.caption = "Kestrelvue Panorama Plugin Help";
  gDialog = &help;
  gDialogTimer = SetTimer(nullptr, 0, 50, CloseDialog);
  RightClick(40, 30, {{WM_KEYDOWN, VK_DOWN}, {WM_CHAR, '\r'}});
  for (int i = 0; i < 200 && !help.found; ++i) {
    test::Pump();
    Sleep(10);
  }
  KillTimer(nullptr, gDialogTimer);
  gDialog = nullptr;
  EXPECT_TRUE(help.found);
  // A dialog whose parent is a child window is owned by that window's top-level window.
  EXPECT_EQ(help.owner, GetAncestor(viewer->m_hWnd, GA_ROOT));
  EXPECT_EQ(help.firstText, "Navigating in Kestrelvue Panorama");

  const DialogSeen about = RunDialog(kCommandAbout, "About Kestrelvue Panorama Plugin");
  EXPECT_TRUE(about.found);
  EXPECT_EQ(about.owner, nullptr);
}

// ---- Save As ---------------------------------------------------------------------------------

struct SaveAnswer {
  std::string target;  // empty: cancel
  int calls = 0;
  HWND owner = nullptr;
  std::string filter, extension, initial;
  uint32_t flags = 0;
};

bool AnswerSave(platform::SaveDialogRequest& request, void* user) {
  auto* answer = static_cast<SaveAnswer*>(user);
  ++answer->calls;
  answer->owner = reinterpret_cast<HWND>(request.owner);
  const char* end = request.filter;
  while (*end != '\0') end += std::strlen(end) + 1;  // up to the list's closing NUL
  answer->filter.assign(request.filter, end + 1);
  answer->extension = request.defaultExtension;
  answer->initial = request.path;
  answer->flags = request.flags;
  if (answer->target.empty()) return false;
  std::snprintf(request.path, request.pathSize, "%s", answer->target.c_str());
  return true;
}

std::vector<uint8_t> Bytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  authoring::ReadFileBytes(path, bytes, &error);
  return bytes;
}

TEST_F(ViewerMenu, SaveAsCopiesTheFullFileOrTheThumbnailOntoTheChosenPath) {
  Show(false);
  SaveAnswer answer;
  answer.target = (dir.Path() / "saved.pan").string();
  dir.Write("saved.pan", std::string("an older file to replace"));
  platform::SetSaveDialogHook(AnswerSave, &answer);
  SendMessageA(viewer->m_hWnd, WM_COMMAND, kCommandSaveAs, 0);
  ASSERT_EQ(answer.calls, 1);
  EXPECT_EQ(answer.owner, viewer->m_hWnd);
  EXPECT_EQ(answer.filter,
            std::string("Kestrelvue Panorama (*.pan)\0*.pan\0All Files (*.*)\0*.*\0\0", 55));
  EXPECT_EQ(answer.extension, "pan");
  EXPECT_EQ(answer.initial, "*.pan");
  EXPECT_EQ(answer.flags, 6u);
  EXPECT_EQ(Bytes(answer.target), Bytes(full));

  // The thumbnail's view saves the thumbnail.
  ASSERT_EQ(viewer->ResisterPanorama(preview.c_str(), 1), 1);
  answer.target = (dir.Path() / "preview.pan").string();
  SendMessageA(viewer->m_hWnd, WM_COMMAND, kCommandSaveAs, 0);
  EXPECT_EQ(Bytes(answer.target), Bytes(preview));
  EXPECT_NE(Bytes(preview), Bytes(full));

  // A cancel copies nothing.
  answer.target.clear();
  SendMessageA(viewer->m_hWnd, WM_COMMAND, kCommandSaveAs, 0);
  EXPECT_EQ(answer.calls, 3);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "*.pan"));
}

std::string gTyped;  // empty: cancel the dialog

void CALLBACK AnswerRealDialog(HWND, UINT, UINT_PTR id, DWORD) {
  const HWND dialog = FindWindowA("#32770", nullptr);
  if (dialog == nullptr || !IsWindowVisible(dialog)) return;
  KillTimer(nullptr, id);
  if (!gTyped.empty()) {
    SetDlgItemTextA(dialog, 1148, gTyped.c_str());  // the file-name box
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  } else {
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }
}

// The real common dialog, answered from a timer: a cancel, then a typed name.
TEST(SaveDialogWin32, RealDialogCancelsAndReturnsTheTypedPath) {
  test::TempDir dir;
  const std::string typed = (dir.Path() / "typed").string();
  for (bool ok : {false, true}) {
    char path[MAX_PATH] = "*.pan";
    platform::SaveDialogRequest request;
    request.filter = "Kestrelvue Panorama (*.pan)\0*.pan\0All Files (*.*)\0*.*\0";
    request.defaultExtension = "pan";
    request.flags = platform::kOfnHideReadOnly | platform::kOfnOverwritePrompt;
    request.path = path;
    request.pathSize = sizeof path;
    gTyped = ok ? typed : std::string();
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, AnswerRealDialog);
    const bool answered = platform::ShowSaveDialog(request);
    KillTimer(nullptr, timer);
    EXPECT_EQ(answered, ok);
    if (ok) {
      EXPECT_EQ(std::filesystem::path(path), std::filesystem::path(typed + ".pan"));
    }
  }
}

// ---- Reset Panorama and the external viewer --------------------------------------------------

TEST_F(ViewerMenu, ResetTurnsHomeInOneSecondAndPointsTheTravelThere) {
  Show(false);
  PanoramaController& c = *viewer->controller;
  c.SetFrameRate(30);  // a fixed rate: each frame moves by a thirtieth of the speeds
  c.SetView(170, -20, 0, 60, 0);
  c.SetForwardMotion(2.0, -1, 0);
  const auto start = std::chrono::steady_clock::now();
  SendMessageA(viewer->m_hWnd, WM_COMMAND, kCommandResetPanorama, 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double h = 1, p = 1, r = 1, f = 0;
  c.GetView(h, p, r, f);
  EXPECT_NEAR(h, 0, 1e-9);
  EXPECT_NEAR(p, 0, 1e-9);
  EXPECT_NEAR(r, 0, 1e-9);
  EXPECT_NEAR(f, 90, 1e-9);
  // Home reached, every motion is left at speed 0.
  EXPECT_EQ(c.headingSpeed, 0);
  EXPECT_EQ(c.pitchSpeed, 0);
  EXPECT_EQ(c.rollSpeed, 0);
  EXPECT_EQ(c.fovSpeed, 0);
  EXPECT_EQ(c.forwardSpeed, 0);
  EXPECT_NEAR(c.travelHeading, 0, 1e-9);
  EXPECT_NEAR(c.travelPitch, 0, 1e-9);
  EXPECT_GT(seconds, 0.8);  // thirty frames at thirty a second, while the window waits
  std::printf("reset animation: %.3f s\n", seconds);
}

BOOL CALLBACK CollectViewer(HWND hwnd, LPARAM list) {
  char name[64] = {};
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  GetClassNameA(hwnd, name, sizeof name);
  if (process == GetCurrentProcessId() && std::strcmp(name, "KVPFrameworkWnd") == 0) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  }
  return TRUE;
}

// Top-level windows of the viewer's class in this process (the embedded one is a child).
std::vector<HWND> ExternalViewers() {
  std::vector<HWND> found;
  EnumWindows(CollectViewer, reinterpret_cast<LPARAM>(&found));
  return found;
}

TEST_F(ViewerMenu, LaunchingTwiceLeavesOneExternalViewerOnTheFullPanorama) {
  Show(false);
  SendMessageA(viewer->m_hWnd, WM_COMMAND, kCommandLaunchExternalViewer, 0);
  ASSERT_NE(viewer->externalViewer, nullptr);
  const HWND first = viewer->externalViewer->m_hWnd;
  SendMessageA(viewer->m_hWnd, WM_COMMAND, kCommandLaunchExternalViewer, 0);
  ASSERT_NE(viewer->externalViewer, nullptr);
  const HWND second = viewer->externalViewer->m_hWnd;
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(ExternalViewers(), std::vector<HWND>{second});

  RECT outer;
  GetWindowRect(second, &outer);
  const RECT expected = {100, 100, 400, 400};
  EXPECT_TRUE(EqualRect(&outer, &expected));
  EXPECT_TRUE(IsWindowVisible(second));
  EXPECT_EQ(GetParent(second), nullptr);
  ASSERT_NE(viewer->externalViewer->controller, nullptr);  // its own, running continuously
  EXPECT_NE(viewer->externalViewer->controller, viewer->controller);
  EXPECT_EQ(viewer->externalViewer->controller->framesPending, -1);
  EXPECT_TRUE(browser.log.boxes.empty());

  delete viewer;  // the owner's end takes the external viewer with it
  viewer = nullptr;
  EXPECT_FALSE(IsWindow(second));
  EXPECT_TRUE(ExternalViewers().empty());
}

}  // namespace
}  // namespace kvp
