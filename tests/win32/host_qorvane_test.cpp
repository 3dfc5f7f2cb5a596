// kvpview.exe with the real plug-in on the sample site: the thumbnail leads to the full
// panorama, a hot spot under the pointer shows its link, a click on it follows the link.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_files.h"
#include "tests/win32/trace_viewer_helper.h"
#include "tests/win32/viewer_run.h"

namespace kvp {
namespace {

using test::Find;
using test::Lines;
using test::ViewerRun;

const std::string kSite = std::string(KVP_SAMPLES_DIR) + "/site/";

// What the screen shows in the bottom eighth of `window`'s client area, below the thumbnail's
// centred rectangle, as 32-bit pixels (read from the screen, as a user sees it: another
// process's window cannot be read through its own device context here).
std::vector<uint32_t> BottomOfWindowOnScreen(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  client.bottom /= 8;
  POINT origin = {0, client.bottom * 7};
  ClientToScreen(window, &origin);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = client.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<uint32_t> pixels;
  if (section != nullptr) {
    HGDIOBJ old = SelectObject(memory, section);
    if (BitBlt(memory, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY)) {
      GdiFlush();
      const auto* pixel = static_cast<const uint32_t*>(bits);
      pixels.assign(pixel, pixel + size_t(client.right) * client.bottom);
    }
    SelectObject(memory, old);
    DeleteObject(section);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

size_t ColoursOnScreen(HWND window) {
  const std::vector<uint32_t> pixels = BottomOfWindowOnScreen(window);
  return std::set<uint32_t>(pixels.begin(), pixels.end()).size();
}

// The screen's picture of `window` once it has held still for half a second.
std::vector<uint32_t> SettledPicture(HWND window) {
  std::vector<uint32_t> last = BottomOfWindowOnScreen(window);
  for (int i = 0; i < 40; ++i) {
    Sleep(500);
    std::vector<uint32_t> now = BottomOfWindowOnScreen(window);
    if (now == last) break;
    last = std::move(now);
  }
  return last;
}

TEST(HostQorvane, ThumbnailThenFullPanoramaThenHotSpotLinkAndClick) {
  test::TempDir logs;
  ViewerRun run(logs.Path());
  ASSERT_TRUE(run.Start("\"" + kSite + "index.html\""));
  ASSERT_TRUE(run.WaitForLog("DestroyStream 1 http://localhost/mars.pan reason=0"))
      << run.ViewLog();
  const std::vector<std::string> v = Lines(run.ViewLog());
  const int thumbnail = Find(v, "StreamAsFile 1 http://localhost/_mars.pan ");
  ASSERT_GE(thumbnail, 0) << run.ViewLog();
  EXPECT_GT(Find(v, "GetURL 1 http://localhost/mars.pan (http://localhost/mars.pan) target=null "
                    "-> 0", thumbnail), thumbnail);

  // The full panorama, which fills the window, reaches the screen by itself: nothing here wakes
  // the browser's window thread, so a frame the render thread finished must not wait for input.
  HWND viewer = run.PluginWindow();
  ASSERT_NE(viewer, nullptr);
  RECT client;
  GetClientRect(viewer, &client);
  size_t colours = 0;
  for (int i = 0; i < 50 && colours < 64; ++i) {
    Sleep(100);
    colours = ColoursOnScreen(viewer);
  }
  EXPECT_GE(colours, 64u) << "the viewer's window shows no panorama";

  // The hot spot straight ahead (the panorama's initial heading) links to the tour's page.
  const LPARAM centre = MAKELPARAM(client.right / 2, client.bottom / 2);
  bool shown = false;
  for (int i = 0; i < 100 && !shown; ++i) {
    PostMessageA(viewer, WM_MOUSEMOVE, 0, centre);
    Sleep(100);
    shown = run.StatusText() == "tour.html";
  }
  EXPECT_TRUE(shown) << run.StatusText() << "\n" << run.ViewLog();
  EXPECT_NE(run.ViewLog().find("Status 1 tour.html\n"), std::string::npos);

  PostMessageA(viewer, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  PostMessageA(viewer, WM_LBUTTONUP, 0, centre);
  ASSERT_TRUE(run.WaitForLog("navigate http://localhost/tour.html")) << run.ViewLog();
  EXPECT_NE(run.ViewLog().find("GetURL 1 tour.html (http://localhost/tour.html) target=_self"),
            std::string::npos);
  ASSERT_TRUE(run.WaitForLog("DestroyStream 2 http://localhost/tour/tour.ini reason=0"));
  EXPECT_EQ(ViewerRun::Text(run.Frame()), "Kestrelvue sample: the tour");
  // The tour's map: a popup of the class the browser registered, made by the plug-in.
  HWND map = nullptr;
  for (int i = 0; i < 100 && map == nullptr; ++i, Sleep(50)) map = FindWindowA("Map Class", "Map");
  EXPECT_NE(map, nullptr);
  EXPECT_EQ(run.Close(), 0);
  EXPECT_EQ(Lines(run.ViewLog()).back(), "closed");
}

// A file named .pan that holds no panorama: the plug-in says so in its box, the page stays up
// and closes normally.
TEST(HostQorvane, NonPanoramaFileGivesItsMessageAndNoCrash) {
  test::TempDir site;
  const std::string bad = site.Write("notes.pan", std::string("just some text, no picture\n"));
  test::TempDir logs;
  ViewerRun run(logs.Path());
  ASSERT_TRUE(run.Start("\"" + bad + "\""));
  ASSERT_TRUE(run.WaitForLog("StreamAsFile 1 http://localhost/notes.pan")) << run.ViewLog();
  HWND box = nullptr;
  for (int i = 0; i < 100 && box == nullptr; ++i, Sleep(50)) box = FindWindowA("#32770", nullptr);
  ASSERT_NE(box, nullptr) << "no message box";
  std::string text;
  for (HWND item = GetWindow(box, GW_CHILD); item != nullptr; item = GetWindow(item, GW_HWNDNEXT)) {
    text += ViewerRun::Text(item) + "|";
  }
  EXPECT_NE(text.find("Invalid File"), std::string::npos) << text;
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(run.WaitForLog("DestroyStream 1 http://localhost/notes.pan")) << run.ViewLog();
  EXPECT_EQ(run.Close(), 0);
}

// A drag through the real browser stand-in turns the view while the button is held and leaves
// it where it stopped.
TEST(HostQorvane, DragTurnsTheViewUntilReleased) {
  test::TempDir logs;
  ViewerRun run(logs.Path());
  ASSERT_TRUE(run.Start("\"" + kSite + "mars.pan\" --full"));
  ASSERT_TRUE(run.WaitForLog("DestroyStream 1 http://localhost/mars.pan reason=0"));
  HWND viewer = run.PluginWindow();
  ASSERT_NE(viewer, nullptr);
  const std::vector<uint32_t> before = SettledPicture(viewer);
  ASSERT_FALSE(before.empty());

  RECT client;
  GetClientRect(viewer, &client);
  const LPARAM right = MAKELPARAM(client.right * 7 / 8, client.bottom / 2);
  PostMessageA(viewer, WM_LBUTTONDOWN, MK_LBUTTON, right);
  Sleep(1000);
  PostMessageA(viewer, WM_LBUTTONUP, 0, right);
  const std::vector<uint32_t> after = SettledPicture(viewer);
  EXPECT_NE(after, before);
  Sleep(1000);
  EXPECT_EQ(BottomOfWindowOnScreen(viewer), after);  // released: the view stays put
  EXPECT_EQ(run.Close(), 0);
}

}  // namespace
}  // namespace kvp
