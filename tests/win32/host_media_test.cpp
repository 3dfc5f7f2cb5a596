// kvpview.exe with the real plug-in and Wine's own MCI: a click on a clip's hot spot plays the
// clip in a popup laid over the viewer, closed when the clip ends; a click on a sprite's hot
// spot places the picture there on screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_files.h"
#include "tests/win32/recording_browser.h"
#include "tests/win32/viewer_run.h"

namespace kvp {
namespace {

using test::ViewerRun;

// The screen's pixels inside `r` (screen coordinates), read as a user sees them.
std::vector<uint32_t> ScreenPixels(const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<uint32_t> pixels(size_t(w) * h);
  GetDIBits(memory, bitmap, 0, h, pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

RECT ClientOnScreen(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A visible top-level window owned by the viewer's top-level window: the clip's popup.
struct PopupSearch {
  HWND owner;
  HWND found;
};
BOOL CALLBACK FindOwned(HWND hwnd, LPARAM data) {
  auto* s = reinterpret_cast<PopupSearch*>(data);
  const HWND owner = GetWindow(hwnd, GW_OWNER);
  if (IsWindowVisible(hwnd) && owner != nullptr && GetAncestor(owner, GA_ROOT) == s->owner) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}
HWND ClipPopup(HWND viewer) {
  PopupSearch search = {GetAncestor(viewer, GA_ROOT), nullptr};
  EnumWindows(FindOwned, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A site holding one panorama with a hot spot straight ahead linking to `link`.
std::string Site(const test::TempDir& dir, const std::string& link) {
  return dir.Write("pano.pan", test::PanoramaFile(link));
}

// Starts kvpview on the site's panorama as a full page; the viewer's window, or null.
HWND Open(ViewerRun& run, const std::string& panorama) {
  EXPECT_TRUE(run.Start("\"" + panorama + "\" --full --size 320x240"));
  EXPECT_TRUE(run.WaitForLog("DestroyStream 1 http://localhost/pano.pan reason=0"))
      << run.ViewLog();
  return run.PluginWindow();
}

// Points at the middle of the viewer until the status line shows `link` (the hot spot can be
// picked once the render thread has sized its first frame); Click presses there.
void Hover(ViewerRun& run, HWND viewer, const std::string& link) {
  RECT client;
  GetClientRect(viewer, &client);
  const LPARAM centre = MAKELPARAM(client.right / 2, client.bottom / 2);
  for (int i = 0; i < 100 && run.StatusText() != link; ++i) {
    PostMessageA(viewer, WM_MOUSEMOVE, 0, centre);
    Sleep(100);
  }
  EXPECT_EQ(run.StatusText(), link);
}
void Click(HWND viewer) {
  RECT client;
  GetClientRect(viewer, &client);
  const LPARAM centre = MAKELPARAM(client.right / 2, client.bottom / 2);
  PostMessageA(viewer, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  PostMessageA(viewer, WM_LBUTTONUP, 0, centre);
}

TEST(HostMedia, VideoPlaysInAPopupOverTheViewerAndClosesAtItsEnd) {
  test::TempDir site;
  std::filesystem::copy_file(std::string(KVP_SAMPLES_DIR) + "/site/clip.avi",
                             site.Path() / "clip.avi");
  test::TempDir logs;
  ViewerRun run(logs.Path());
  HWND viewer = Open(run, Site(site, "clip.avi"));
  ASSERT_NE(viewer, nullptr);
  Hover(run, viewer, "clip.avi");
  Click(viewer);
  ASSERT_TRUE(run.WaitForLog("DestroyStream 1 http://localhost/clip.avi reason=0"))
      << run.ViewLog();
  EXPECT_NE(run.ViewLog().find("GetURL 1 clip.avi (http://localhost/clip.avi) target=null"),
            std::string::npos);

  HWND popup = nullptr;
  for (int i = 0; i < 100 && popup == nullptr; ++i, Sleep(20)) popup = ClipPopup(viewer);
  ASSERT_NE(popup, nullptr) << "no clip window";
  RECT placed;
  GetWindowRect(popup, &placed);
  const RECT client = ClientOnScreen(viewer);
  EXPECT_TRUE(EqualRect(&placed, &client))
      << placed.left << "," << placed.top << "," << placed.right << "," << placed.bottom;

  // A second click while it plays: the first clip's window goes, the second's stays for its
  // two seconds (closing the first must not end the second).
  Click(viewer);
  const std::string delivered = "DestroyStream 1 http://localhost/clip.avi reason=0";
  for (int i = 0; i < 300 && Count(run.ViewLog(), delivered) < 2; ++i) Sleep(20);
  ASSERT_EQ(Count(run.ViewLog(), delivered), 2) << run.ViewLog();
  for (int i = 0; i < 100 && IsWindow(popup); ++i) Sleep(20);
  EXPECT_FALSE(IsWindow(popup));
  popup = nullptr;
  for (int i = 0; i < 100 && popup == nullptr; ++i, Sleep(20)) popup = ClipPopup(viewer);
  ASSERT_NE(popup, nullptr) << "no second clip window";
  Sleep(1000);
  EXPECT_TRUE(IsWindow(popup)) << "the second clip ended early";

  // Two seconds of clip: the end-of-clip notification closes the device and its window goes.
  bool gone = false;
  for (int i = 0; i < 150 && !gone; ++i, Sleep(100)) gone = !IsWindow(popup);
  EXPECT_TRUE(gone) << "the clip's device stayed open";
  EXPECT_EQ(run.Close(), 0);
}

TEST(HostMedia, SpritePictureAppearsAtItsHotSpot) {
  test::TempDir site;
  // A white square sprite; the panorama is one dark grey, so whatever changes is the sprite.
  std::vector<uint8_t> table(1024, 0);
  for (size_t i = 0; i < table.size(); ++i) table[i] = uint8_t(i / 4);
  site.Write("rover.avt", authoring::BuildBitmapFile(authoring::MakePackedImage(
                              8, 8, 8, std::vector<uint8_t>(64, 255), table)));
  test::TempDir logs;
  ViewerRun run(logs.Path());
  HWND viewer = Open(run, Site(site, "rover.avt"));
  ASSERT_NE(viewer, nullptr);
  Hover(run, viewer, "rover.avt");
  Sleep(500);  // the frame settles
  const RECT client = ClientOnScreen(viewer);
  const std::vector<uint32_t> before = ScreenPixels(client);
  Click(viewer);
  ASSERT_TRUE(run.WaitForLog("DestroyStream 1 http://localhost/rover.avt reason=0"))
      << run.ViewLog();

  // The sprite covers the hot spot's box around the middle: 40 of the view's 60 degrees
  // across; the margins of the view keep the panorama.
  std::vector<uint32_t> after;
  const int w = client.right - client.left, h = client.bottom - client.top;
  int left = w, right = -1, top = h, bottom = -1;
  for (int attempt = 0; attempt < 50 && right < 0; ++attempt, Sleep(100)) {
    after = ScreenPixels(client);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const size_t k = size_t(y) * w + x;
        if ((after[k] & 0xFFFFFF) == (before[k] & 0xFFFFFF)) continue;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
  }
  ASSERT_GE(right, 0) << "nothing placed\n" << run.ViewLog();
  const std::string box = std::to_string(left) + "," + std::to_string(top) + " - " +
                          std::to_string(right) + "," + std::to_string(bottom);
  EXPECT_TRUE(left < w / 2 && w / 2 < right && top < h / 2 && h / 2 < bottom) << box;
  EXPECT_NEAR(right - left + 1, w * 40 / 60, w / 20) << box;
  EXPECT_TRUE(left > 10 && right < w - 10 && top > 10 && bottom < h - 10) << box;
  EXPECT_EQ(after[size_t(h / 2) * w + w / 2] & 0xFFFFFF, 0xFFFFFFu);  // the sprite's white
  EXPECT_EQ(run.Close(), 0);
}

}  // namespace
}  // namespace kvp
