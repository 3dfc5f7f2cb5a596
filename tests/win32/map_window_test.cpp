// The map window on Windows: created only when "Map Class" is registered, placed at the top
// right of the screen, and the markers the loader draws read back from its pixels.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "data/environment_set.h"
#include "tests/data/tour_files.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

// Registers "Map Class" as a host would, with default message handling and a black
// background, for the life of the object.
class MapClass {
 public:
  MapClass() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "Map Class";
    registered_ = RegisterClassA(&wc) != 0;
  }
  ~MapClass() { UnregisterClassA("Map Class", GetModuleHandleA(nullptr)); }
  bool Registered() const { return registered_; }

 private:
  bool registered_ = false;
};

// Drains the thread's messages so that the window is painted before pixels are read.
void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

COLORREF PixelAt(HWND hwnd, int x, int y) {
  HDC dc = GetDC(hwnd);
  const COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(hwnd, dc);
  return c;
}

// The example tour of the map geometry: x from -10 to 30, y from 0 to 20, largest radius 5.
std::string ExampleTour(const test::TempDir& dir) {
  for (const char* name : {"a.pan", "b.pan", "c.pan"}) {
    dir.Write(name, test::Container(test::FlatImage(16, 8, 1)));
  }
  return dir.Write("tour.ini",
                   "[Directory]\na.pan=-10,0,0,5\nb.pan=30,20,0,1\nc.pan=0,10,0,2\n");
}

int32_t Open(EnvironmentSet& set, const std::string& path) {
  char error[256] = "";
  ViewPose start, minimum, maximum;
  return set.OpenEnvironments(path.c_str(), error, start, minimum, maximum, nullptr, nullptr);
}

TEST(MapWindow, NotCreatedWithoutARegisteredClass) {
  test::TempDir dir;
  EnvironmentSet set;
  ASSERT_EQ(Open(set, ExampleTour(dir)), 3);
  EXPECT_FALSE(set.HasMapWindow());
  EXPECT_EQ(FindWindowA("Map Class", "Map"), nullptr);
  set.DrawMapMarker(0, 0, kMarkerPosition);  // nothing to draw on, nothing happens
}

TEST(MapWindow, PopupAtTheTopRightWithTheClientAreaOfTheGeometry) {
  MapClass mapClass;
  ASSERT_TRUE(mapClass.Registered());
  test::TempDir dir;
  {
    EnvironmentSet set;
    ASSERT_EQ(Open(set, ExampleTour(dir)), 3);
    ASSERT_TRUE(set.HasMapWindow());
    HWND hwnd = FindWindowA("Map Class", "Map");
    ASSERT_NE(hwnd, nullptr);
    const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_EQ(GetWindowLongA(hwnd, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    EXPECT_EQ(GetParent(hwnd), nullptr);
    RECT client, window;
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, &window);
    EXPECT_EQ(client.right, 360);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_EQ(window.top, 0);
    EXPECT_EQ(window.right, GetSystemMetrics(SM_CXSCREEN));

    Pump();
    set.DrawMapMarker(-10, 0, kMarkerPosition);  // centred at (60, 180)
    EXPECT_EQ(PixelAt(hwnd, 60, 180), RGB(255, 255, 0));
    EXPECT_EQ(PixelAt(hwnd, 59, 179), RGB(255, 255, 0));
    EXPECT_EQ(PixelAt(hwnd, 64, 184), RGB(0, 0, 0));
    set.DrawMapMarker(30, 20, kMarkerLoaded);  // (300, 60)
    EXPECT_EQ(PixelAt(hwnd, 300, 60), RGB(0, 0, 255));
    set.DrawMapMarker(0, 10, kMarkerFailed);  // (120, 120)
    EXPECT_EQ(PixelAt(hwnd, 120, 120), RGB(255, 255, 255));
  }
  EXPECT_EQ(FindWindowA("Map Class", "Map"), nullptr);  // destroyed with the set
}

TEST(MapWindow, SingleNodeMapIsAtLeastOneHundredPixelsSquare) {
  MapClass mapClass;
  test::TempDir dir;
  dir.Write("a.pan", test::Container(test::FlatImage(16, 8, 1)));
  EnvironmentSet set;
  ASSERT_EQ(Open(set, dir.Write("tour.ini", "[Directory]\na.pan=4,-2,1,0\n")), 1);
  HWND hwnd = FindWindowA("Map Class", "Map");
  ASSERT_NE(hwnd, nullptr);
  RECT window;
  GetWindowRect(hwnd, &window);
  EXPECT_EQ(window.right - window.left, 100);
  EXPECT_EQ(window.bottom - window.top, 100);
}

TEST(MapWindow, RequestsMarkThePositionInYellow) {
  MapClass mapClass;
  test::TempDir dir;
  EnvironmentSet set;
  ASSERT_EQ(Open(set, ExampleTour(dir)), 3);
  HWND hwnd = FindWindowA("Map Class", "Map");
  ASSERT_NE(hwnd, nullptr);
  ViewPose pose, centre;
  pose.x = -10;
  const uint8_t* image = nullptr;
  int32_t environment = -1;
  ASSERT_EQ(set.RequestImage(pose, centre, image, environment, kMovementNormal), 0);
  Pump();  // the synchronous load had the whole map repainted
  ASSERT_EQ(set.RequestImage(pose, centre, image, environment, kMovementNormal), 0);
  EXPECT_EQ(PixelAt(hwnd, 60, 180), RGB(255, 255, 0));
}

}  // namespace
}  // namespace kvp
