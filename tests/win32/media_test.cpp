// The viewer's clips and sprites in a real window: the MCI command strings in their order with
// chosen answers, the end-of-clip notification, hot-spot activation and sprite placement.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/panorama_controller.h"
#include "platform/testing.h"
#include "tests/test_files.h"
#include "tests/win32/recording_browser.h"
#include "viewer/kvp_win.h"

#include <mmsystem.h>  // after windows.h

namespace kvp {
namespace {

using test::BrowserWindow;
using test::RecordingBrowser;

// Records every MCI command (with its callback window) and sound stop, and answers each
// command with 0 unless it starts with `failing`.
class MciRecorder {
 public:
  MciRecorder() {
    platform::SetMultimediaHook(
        [](const char* command, platform::Window* callback, void* user) -> uint32_t {
          auto* self = static_cast<MciRecorder*>(user);
          if (command == nullptr) {
            self->commands.push_back("(stop)");
            return 0;
          }
          self->commands.push_back(command);
          self->callbacks.push_back(reinterpret_cast<HWND>(callback));
          if (self->notifyOnClose != nullptr && std::string(command).rfind("close ", 0) == 0) {
            PostMessageA(self->notifyOnClose, MM_MCINOTIFY, MCI_NOTIFY_ABORTED, 1);
          }
          const bool fails =
              !self->failing.empty() && std::string(command).rfind(self->failing, 0) == 0;
          return fails ? 263u : 0u;  // MCIERR_INVALID_DEVICE_NAME
        },
        this);
  }
  ~MciRecorder() { platform::SetMultimediaHook(nullptr, nullptr); }
  // The commands since the last call.
  std::vector<std::string> Take() {
    std::vector<std::string> taken;
    taken.swap(commands);
    callbacks.clear();
    return taken;
  }

  std::vector<std::string> commands;
  std::vector<HWND> callbacks;  // one per command, not per stop
  std::string failing;
  HWND notifyOnClose = nullptr;  // as MCI does when a playing clip with " notify" is closed
};

std::string ShortPath(const std::string& path) {
  char name[256] = {};
  EXPECT_GT(GetShortPathNameA(path.c_str(), name, sizeof name), 0u) << path;
  return name;
}

using Commands = std::vector<std::string>;

// An embedded viewer whose client area is exactly 300 x 200, showing a panorama with one hot
// spot straight ahead, and a clip folder.
class Media : public ::testing::Test {
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
    for (int i = 0; i < 500 && FrameHeight() == 0; ++i) {
      test::Pump();
      Sleep(10);
    }
    ASSERT_GT(FrameHeight(), 0);
    mci.Take();
  }
  int32_t FrameHeight() {
    PanoramaController* c = viewer->controller;
    if (c == nullptr || !c->TakeLock()) return 0;
    const int32_t height = c->frame.height;
    c->ReleaseLock();
    return height;
  }
  void TearDown() override {
    if (viewer != nullptr) {
      viewer->DestroyWindow();
      delete viewer;
    }
    NPN_MemFree(instance.pdata);
  }
  // A clip file (its content does not matter: MCI is answered by the recorder).
  std::string Clip(const std::string& name) { return dir.Write(name, std::string("RIFF")); }
  void Click() {
    SendMessageA(viewer->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 100));
    SendMessageA(viewer->m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(150, 100));
  }
  std::string Parent() { return std::to_string(reinterpret_cast<intptr_t>(viewer->m_hWnd)); }
  // "put" at the client area in screen coordinates.
  std::string Put(const std::string& name) {
    POINT origin = {0, 0};
    ClientToScreen(viewer->m_hWnd, &origin);
    return "put " + name + " window at " + std::to_string(origin.x) + " " +
           std::to_string(origin.y) + " 300 200";
  }

  RecordingBrowser browser;
  MciRecorder mci;
  test::TempDir dir;
  BrowserWindow page{400, 300};
  NPP_t instance = {};
  CKVPWin* viewer = nullptr;
};

TEST_F(Media, SoundOpensPlaysFromTheStartAndStaysOpenUntilTheNextClip) {
  Show("");
  const std::string a = ShortPath(Clip("bell.wav")), b = ShortPath(Clip("horn.WAV"));
  viewer->PlayMultiMedia(Clip("bell.wav").c_str());
  EXPECT_EQ(mci.commands, (Commands{"(stop)", "open " + a, "play " + a + " from 0"}));
  EXPECT_EQ(mci.callbacks, (std::vector<HWND>{nullptr, nullptr}));
  EXPECT_STREQ(viewer->player.deviceName, a.c_str());
  mci.Take();

  viewer->PlayMultiMedia(Clip("horn.WAV").c_str());  // a delivered upper-case file plays
  EXPECT_EQ(mci.Take(), (Commands{"close " + a, "(stop)", "open " + b, "play " + b + " from 0"}));

  // A failed play closes the device again; a failed open leaves none.
  mci.failing = "play ";
  viewer->PlayMultiMedia(Clip("bell.wav").c_str());
  EXPECT_EQ(mci.Take(), (Commands{"close " + b, "(stop)", "open " + a, "play " + a + " from 0",
                                  "close " + a}));
  EXPECT_FALSE(viewer->player.IsOpen());
  mci.failing = "open ";
  viewer->PlayMultiMedia(Clip("bell.wav").c_str());
  EXPECT_EQ(mci.Take(), (Commands{"(stop)", "open " + a}));
  EXPECT_FALSE(viewer->player.IsOpen());

  // A file that is not there has no short name: nothing is sent for it.
  viewer->PlayMultiMedia((dir.Path() / "gone.wav").string().c_str());
  EXPECT_EQ(mci.Take(), (Commands{"(stop)"}));
}

TEST_F(Media, VideoOpensInAPopupOverTheClientAreaAndAsksForTheEnd) {
  Show("");
  const std::string first = ShortPath(Clip("first.avi")), second = ShortPath(Clip("second.AVI"));
  viewer->PlayMultiMedia(Clip("first.avi").c_str());
  EXPECT_EQ(mci.commands, (Commands{"(stop)", "open " + first + " parent " + Parent() +
                                                  " style popup",
                                    Put(first), "play " + first + " notify"}));
  EXPECT_EQ(mci.callbacks, (std::vector<HWND>{nullptr, nullptr, viewer->m_hWnd}));
  EXPECT_STREQ(viewer->player.deviceName, first.c_str());
  mci.Take();

  // A second clip interrupts the first.
  viewer->PlayMultiMedia(Clip("second.AVI").c_str());
  EXPECT_EQ(mci.Take(), (Commands{"close " + first, "(stop)",
                                  "open " + second + " parent " + Parent() + " style popup",
                                  Put(second), "play " + second + " notify"}));

  // The end of a clip closes whatever is open at the time, whichever device it came from.
  SendMessageA(viewer->m_hWnd, MM_MCINOTIFY, MCI_NOTIFY_ABORTED, 1234);
  EXPECT_EQ(mci.Take(), (Commands{"close " + second, "(stop)"}));
  EXPECT_FALSE(viewer->player.IsOpen());
  SendMessageA(viewer->m_hWnd, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 1);
  EXPECT_EQ(mci.Take(), (Commands{"(stop)"}));

  // Neither sound nor video: the box, and nothing sent ("Avi" is not a video).
  viewer->PlayMultiMedia(Clip("mixed.Avi").c_str());
  EXPECT_EQ(browser.log.boxes, (Commands{"CKVPWin::PlayMultiMedia(): Unknown multimedia type."}));
  EXPECT_TRUE(mci.Take().empty());
  // Both extensions: sound wins.
  const std::string both = ShortPath(Clip("x.avi.wav"));
  viewer->PlayMultiMedia(Clip("x.avi.wav").c_str());
  EXPECT_EQ(mci.Take(), (Commands{"(stop)", "open " + both, "play " + both + " from 0"}));
}

// Closing a clip that still plays posts its notification; the clip that interrupted it must
// not be closed by it.
TEST_F(Media, ANewClipOutlivesTheNotificationOfTheOneItInterrupted) {
  Show("");
  mci.notifyOnClose = viewer->m_hWnd;
  const std::string second = ShortPath(Clip("second.avi")), bell = ShortPath(Clip("bell.wav"));
  viewer->PlayMultiMedia(Clip("first.avi").c_str());
  viewer->PlayMultiMedia(Clip("second.avi").c_str());
  test::Pump();
  EXPECT_STREQ(viewer->player.deviceName, second.c_str());
  viewer->PlayMultiMedia(Clip("bell.wav").c_str());
  test::Pump();
  EXPECT_STREQ(viewer->player.deviceName, bell.c_str());
  // The end of a clip still closes it.
  mci.notifyOnClose = nullptr;
  viewer->PlayMultiMedia(Clip("second.avi").c_str());
  PostMessageA(viewer->m_hWnd, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 1);
  test::Pump();
  EXPECT_FALSE(viewer->player.IsOpen());
}

TEST_F(Media, RefusedVideoCommandsLeaveNoDeviceAndABusyPlayerRefuses) {
  Show("");
  const std::string clip = Clip("c.avi"), name = ShortPath(clip);
  RECT client = {0, 0, 300, 200};
  MediaPlayer& player = viewer->player;

  mci.failing = "open ";
  EXPECT_EQ(player.PlayVideo(clip.c_str(), 9, viewer->m_hWnd, &client), kPlayFailed);
  EXPECT_EQ(mci.Take().size(), 2u);  // stop, open
  EXPECT_FALSE(player.IsOpen());

  mci.failing = "put ";
  EXPECT_EQ(player.PlayVideo(clip.c_str(), 9, viewer->m_hWnd, &client), kPlayFailed);
  EXPECT_EQ(mci.Take().back(), "close " + name);
  EXPECT_FALSE(player.IsOpen());

  mci.failing = "play ";
  EXPECT_EQ(player.PlayVideo(clip.c_str(), 9, viewer->m_hWnd, &client), kPlayFailed);
  EXPECT_EQ(mci.Take().back(), "close " + name);
  EXPECT_FALSE(player.IsOpen());

  // Without the interrupt flag an open device makes the player busy; without notify the play
  // has no " notify".
  mci.failing.clear();
  EXPECT_EQ(player.PlayVideo(clip.c_str(), 0, viewer->m_hWnd, &client), kPlayStarted);
  EXPECT_EQ(mci.Take().back(), "play " + name);
  EXPECT_EQ(player.PlayVideo(clip.c_str(), 8, viewer->m_hWnd, &client), kPlayBusy);
  EXPECT_TRUE(mci.Take().empty());

  // Without a rectangle: the client area remembered at the first use; without a window too,
  // the whole screen.
  player.CloseDevice();
  viewer->MoveWindow(10, 20, 120, 90);
  RECT now;
  viewer->GetClientRect(&now);
  mci.Take();
  EXPECT_EQ(player.PlayVideo(clip.c_str(), 1, viewer->m_hWnd, nullptr), kPlayStarted);
  POINT origin = {0, 0};
  ClientToScreen(viewer->m_hWnd, &origin);
  EXPECT_EQ(mci.commands[2], "put " + name + " window at " + std::to_string(origin.x) + " " +
                                 std::to_string(origin.y) + " " + std::to_string(now.right) +
                                 " " + std::to_string(now.bottom));
  EXPECT_EQ(player.placement.right, now.right);
  viewer->MoveWindow(0, 0, 60, 50);
  mci.Take();
  player.PlayVideo(clip.c_str(), 1, viewer->m_hWnd, nullptr);
  const std::string remembered = " " + std::to_string(now.right) + " " + std::to_string(now.bottom);
  EXPECT_EQ(mci.commands[3].substr(mci.commands[3].size() - remembered.size()), remembered);
  mci.Take();
  player.PlayVideo(clip.c_str(), 1, nullptr, nullptr);
  EXPECT_EQ(mci.commands[2], "open " + name + " parent 0 style popup");
  EXPECT_EQ(mci.commands[3], "put " + name + " window at 0 0 " +
                                 std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " " +
                                 std::to_string(GetSystemMetrics(SM_CYSCREEN)));
}

TEST_F(Media, ResetAndReleaseCloseTheDevice) {
  Show("");
  const std::string name = ShortPath(Clip("s.wav"));
  viewer->PlayMultiMedia(Clip("s.wav").c_str());
  mci.Take();
  SendMessageA(viewer->m_hWnd, WM_COMMAND, kCommandResetPanorama, 0);
  EXPECT_EQ(mci.Take(), (Commands{"close " + name, "(stop)"}));

  viewer->PlayMultiMedia(Clip("s.wav").c_str());
  mci.Take();
  SendMessageA(viewer->m_hWnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(mci.Take(), (Commands{"close " + name, "(stop)"}));
  EXPECT_EQ(viewer->controller, nullptr);
}

TEST_F(Media, ClipLinksAreFetchedForTheInstanceAndLongLinksAreCut) {
  Show("music/bell.wav");
  PanoramaController& c = *viewer->controller;
  Click();
  EXPECT_EQ(browser.log.calls.back(), "GetURL music/bell.wav (null)");
  c.GetHotspot(0)->SetLink("film.avi?size=2");
  Click();
  EXPECT_EQ(browser.log.calls.back(), "GetURL film.avi?size=2 (null)");
  EXPECT_EQ(viewer->pendingHotspot, -1);

  // 600 characters whose ".avi" starts at 508: the 511 used end in ".av", a page.
  const std::string link = std::string(508, 'x') + ".avi" + std::string(88, 'y');
  c.GetHotspot(0)->SetLink(link.c_str());
  Click();
  EXPECT_EQ(browser.log.calls.back(), "GetURL " + link.substr(0, 511) + " _self");
  EXPECT_TRUE(mci.commands.empty());  // clicks only ask the browser
}

TEST_F(Media, SpriteGoesToTheClickedHotSpotUnlessAnotherClickCameFirst) {
  Show("statue.avt");
  PanoramaController& c = *viewer->controller;
  // The panorama has 8 bits, so the sprite has too (a deeper one has no table to match).
  std::vector<uint8_t> table(1024, 0);
  for (size_t i = 0; i < table.size(); ++i) table[i] = uint8_t(i / 4);
  const std::string sprite = dir.Write(
      "statue.avt", authoring::BuildBitmapFile(authoring::MakePackedImage(
                        4, 4, 8, std::vector<uint8_t>(4 * 4, 200), table)));
  SpriteRecord& slot = *c.GetSprite(0);

  // A sound click before the sprite file arrives: nothing is placed.
  Click();
  EXPECT_EQ(viewer->pendingHotspot, 0);
  c.GetHotspot(0)->SetLink("bell.wav");
  Click();
  EXPECT_EQ(viewer->pendingHotspot, -1);
  EXPECT_EQ(viewer->PlaceSprite(sprite.c_str()), 0);
  EXPECT_EQ(slot.picture, nullptr);

  c.GetHotspot(0)->SetLink("statue.avt");
  Click();
  slot.SetSpriteVelocity(1, 2, 3);
  slot.SetSpriteGrowth(1, 1, 1);
  EXPECT_EQ(viewer->PlaceSprite(sprite.c_str()), 1);
  ASSERT_NE(slot.picture, nullptr);
  double centre[3], size[3];
  c.GetHotspot(0)->GetCentre(centre[0], centre[1], centre[2]);
  c.GetHotspot(0)->GetExtent(size[0], size[1], size[2]);
  ASSERT_TRUE(c.TakeLock());
  for (int i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(slot.position[i], centre[i]) << i;
    EXPECT_DOUBLE_EQ(slot.size[i], size[i]) << i;
    EXPECT_EQ(slot.velocity[i], 0) << i;
    EXPECT_EQ(slot.sizeRate[i], 0) << i;
  }
  EXPECT_EQ(slot.visible, 1);
  EXPECT_EQ(slot.cellColumnRate, 0);
  c.ReleaseLock();
  EXPECT_EQ(viewer->pendingHotspot, 0);  // a later file of the same click goes there too
}

}  // namespace
}  // namespace kvp
