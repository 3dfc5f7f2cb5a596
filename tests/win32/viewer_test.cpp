// CKVPWin in a real window under a recording browser: steering, capture, hot-spot clicks,
// the thumbnail rectangle and the cursor bit test.
#include <gtest/gtest.h>

#include <string>

#include "controller/panorama_controller.h"
#include "tests/test_files.h"
#include "tests/win32/recording_browser.h"
#include "viewer/kvp_win.h"

namespace kvp {
namespace {

using test::BrowserWindow;
using test::RecordingBrowser;

TEST(ViewerGeometry, SteeringValuesAndThumbnailRectangles) {
  struct Case {
    int x, y, a, b;
  };
  for (const Case& c : {Case{0, 100, 60, 0}, Case{150, 0, 0, 60}, Case{200, 150, -20, -30},
                        Case{299, 199, -59, -59}}) {
    const Steering s = SteeringFor(c.x, c.y, 300, 200);
    EXPECT_EQ(s.a, c.a) << c.x << "," << c.y;
    EXPECT_EQ(s.b, c.b) << c.x << "," << c.y;
  }
  const Steering tiny = SteeringFor(0, 0, 1, 1);  // no centre: no motion
  EXPECT_EQ(tiny.a, 0);
  EXPECT_EQ(tiny.b, 0);

  RECT r = ThumbnailRectangle(300, 200);
  RECT expected = {70, 36, 230, 164};
  EXPECT_TRUE(EqualRect(&r, &expected));
  r = ThumbnailRectangle(640, 480);
  expected = {144, 112, 496, 368};
  EXPECT_TRUE(EqualRect(&r, &expected));
}

// An embedded viewer whose client area is exactly 300 x 200, showing a panorama.
class ViewerWindow : public ::testing::Test {
 protected:
  void Show(const std::string& link) {
    NPP_New(nullptr, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr);
    viewer = new CKVPWin(page.hwnd, 0, 0, 300, 200, &instance);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    ASSERT_NE(viewer->m_hWnd, nullptr);
    RECT outer, client;
    GetWindowRect(viewer->m_hWnd, &outer);
    viewer->GetClientRect(&client);
    viewer->MoveWindow(0, 0, 300 + (outer.right - outer.left) - client.right,
                       200 + (outer.bottom - outer.top) - client.bottom);
    viewer->ShowWindow(SW_SHOWNORMAL);
    ASSERT_EQ(viewer->ResisterPanorama(dir.Write("p.pan", test::PanoramaFile(link)).c_str(), 0),
              1);
    // Picking needs the frame the render thread sizes to the window.
    for (int i = 0; i < 500 && FrameHeight() == 0; ++i) {
      test::Pump();
      Sleep(10);
    }
    ASSERT_GT(FrameHeight(), 0);
  }
  int32_t FrameHeight() {
    PanoramaController* c = viewer->controller;
    if (c == nullptr || !c->TakeLock()) return 0;
    const int32_t height = c->frame.height;
    c->ReleaseLock();
    return height;
  }
  void TearDown() override {
    ClipCursor(nullptr);
    ReleaseCapture();
    if (viewer != nullptr) {
      viewer->DestroyWindow();
      delete viewer;
    }
    NPN_MemFree(instance.pdata);
  }
  LRESULT Send(UINT message, WPARAM keys, int x, int y) {
    return SendMessageA(viewer->m_hWnd, message, keys, MAKELPARAM(x, y));
  }

  RecordingBrowser browser;
  test::TempDir dir;
  BrowserWindow page{400, 300};
  NPP_t instance = {};
  CKVPWin* viewer = nullptr;
};

TEST_F(ViewerWindow, DragSteersAndCapturesUntilRelease) {
  Show("");
  PanoramaController& c = *viewer->controller;
  Send(WM_LBUTTONDOWN, MK_LBUTTON, 0, 100);
  EXPECT_EQ(c.headingSpeed, 60);
  EXPECT_EQ(c.headingFrames, -1);
  EXPECT_EQ(c.pitchSpeed, 0);
  EXPECT_EQ(c.fovFrames, 0);
  EXPECT_EQ(GetCapture(), viewer->m_hWnd);
  Send(WM_MOUSEMOVE, MK_LBUTTON, 0, 100);
  EXPECT_EQ(c.headingSpeed, 180);  // a drag turns three times faster than the press

  Send(WM_MOUSEMOVE, MK_LBUTTON, 200, 150);
  EXPECT_EQ(c.headingSpeed, -60);
  EXPECT_EQ(c.pitchSpeed, -90);
  Send(WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, 200, 150);
  EXPECT_EQ(c.pitchFrames, 0);
  EXPECT_EQ(c.fovSpeed, 30);
  EXPECT_EQ(c.fovFrames, -1);
  EXPECT_EQ(browser.log.calls.back(), "Status ");  // nothing under the pointer

  Send(WM_LBUTTONUP, 0, 200, 150);
  EXPECT_NE(GetCapture(), viewer->m_hWnd);
  EXPECT_EQ(c.headingFrames, 0);
  EXPECT_EQ(c.pitchFrames, 0);
  EXPECT_EQ(c.fovFrames, 0);

  Send(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, 150, 0);
  EXPECT_EQ(c.headingSpeed, 0);
  EXPECT_EQ(c.pitchFrames, 0);
  EXPECT_EQ(c.fovSpeed, -60);
  Send(WM_MOUSEMOVE, 0, 10, 10);  // button up: everything stops
  EXPECT_EQ(c.headingFrames, 0);
  EXPECT_EQ(c.fovFrames, 0);
}

TEST_F(ViewerWindow, HotspotClickGoesToTheBrowserAndStartsNoDrag) {
  Show("next.pan");
  PanoramaController& c = *viewer->controller;
  Send(WM_MOUSEMOVE, 0, 150, 100);
  EXPECT_EQ(browser.log.calls.back(), "Status next.pan");
  Send(WM_LBUTTONDOWN, MK_LBUTTON, 150, 100);
  EXPECT_EQ(browser.log.calls.back(), "GetURL next.pan _self");
  EXPECT_NE(GetCapture(), viewer->m_hWnd);
  EXPECT_EQ(c.headingFrames, 0);
  EXPECT_EQ(viewer->pendingHotspot, -1);

  c.GetHotspot(0)->SetLink("clips/statue.avt");
  Send(WM_LBUTTONDOWN, MK_LBUTTON, 150, 100);
  EXPECT_EQ(browser.log.calls.back(), "GetURL clips/statue.avt (null)");
  EXPECT_EQ(viewer->pendingHotspot, 0);
  c.GetHotspot(0)->SetLink("sound.WAV");  // upper case is a page to the activation
  Send(WM_LBUTTONDOWN, MK_LBUTTON, 150, 100);
  EXPECT_EQ(browser.log.calls.back(), "GetURL sound.WAV _self");
  EXPECT_EQ(viewer->pendingHotspot, -1);
}

TEST_F(ViewerWindow, OddHitTestCodesKeepTheCursor) {
  Show("");
  SetCursor(viewer->cursorWait);
  EXPECT_EQ(SendMessageA(viewer->m_hWnd, WM_SETCURSOR, WPARAM(viewer->m_hWnd),
                         MAKELPARAM(HTRIGHT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_EQ(GetCursor(), viewer->cursorWait);
  SendMessageA(viewer->m_hWnd, WM_SETCURSOR, WPARAM(viewer->m_hWnd),
               MAKELPARAM(HTCAPTION, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), viewer->cursorArrow);  // default processing
}

TEST_F(ViewerWindow, CloseReleasesTheController) {
  Show("");
  const HWND hwnd = viewer->m_hWnd;
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(viewer->controller, nullptr);
  EXPECT_EQ(viewer->m_hWnd, nullptr);
}

}  // namespace
}  // namespace kvp
