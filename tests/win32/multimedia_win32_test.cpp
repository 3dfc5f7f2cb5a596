// The multimedia seam on Windows without the test hook: real short names, and the sample clips
// through the system's own MCI with the viewer's command strings.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/test_files.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

namespace kvp {
namespace {

const std::string kSite = std::string(KVP_SAMPLES_DIR) + "/site/";

std::string Short(const std::string& path) {
  char name[256] = {};
  const uint32_t n = platform::GetShortPath(path.c_str(), name, sizeof name);
  return n > 0 && n < sizeof name ? name : "";
}

uint32_t Mci(const std::string& command, platform::Window* callback = nullptr) {
  return platform::SendMciCommand(command.c_str(), callback);
}

// Waits up to `milliseconds` for MM_MCINOTIFY to `window`, dispatching everything else.
bool WaitForNotify(platform::Window* window, DWORD milliseconds, WPARAM& code, LPARAM& device) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.hwnd == reinterpret_cast<HWND>(window) && msg.message == MM_MCINOTIFY) {
        code = msg.wParam;
        device = msg.lParam;
        return true;
      }
      DispatchMessageA(&msg);
    }
    Sleep(10);
  }
  return false;
}

TEST(MultimediaWin32, ShortNamesHaveNoSpacesAndMissingFilesHaveNone) {
  test::TempDir dir;
  const std::string file = dir.Write("a clip with a long name.wav", std::string("RIFF"));
  const std::string name = Short(file);
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name.find(' '), std::string::npos) << name;  // MCI reads a space as the name's end
  EXPECT_EQ(_stricmp(name.substr(name.size() - 4).c_str(), ".wav"), 0) << name;  // 8.3: ".WAV"
  char small[4] = "abc";
  EXPECT_EQ(platform::GetShortPath(file.c_str(), small, sizeof small), name.size() + 1);
  char none[256];
  EXPECT_EQ(platform::GetShortPath((dir.Path() / "gone.wav").string().c_str(), none, 256), 0u);
  EXPECT_TRUE(platform::StopWaveSound());
}

TEST(MultimediaWin32, SampleVideoPlaysToItsEndAndNotifiesTheWindow) {
  platform::Window* window = platform::CreateOffscreenWindow(160, 120);
  ASSERT_NE(window, nullptr);
  const std::string name = Short(kSite + "clip.avi");
  ASSERT_FALSE(name.empty());
  const std::string parent = std::to_string(reinterpret_cast<intptr_t>(window));
  const std::string open = "open " + name + " parent " + parent + " style popup";
  EXPECT_NE(Mci("open " + name + "x parent " + parent + " style popup"), 0u);  // no such file
  ASSERT_EQ(Mci(open), 0u);
  EXPECT_EQ(Mci("put " + name + " window at 0 0 160 120"), 0u);
  const DWORD start = GetTickCount();
  ASSERT_EQ(Mci("play " + name + " notify", window), 0u);
  WPARAM code = 0;
  LPARAM device = 0;
  ASSERT_TRUE(WaitForNotify(window, 15000, code, device));
  EXPECT_EQ(code, WPARAM(MCI_NOTIFY_SUCCESSFUL));
  EXPECT_NE(device, 0);
  EXPECT_GE(GetTickCount() - start, 1500u);  // two seconds of clip
  EXPECT_EQ(Mci("close " + name), 0u);
  // A closed device is gone: the name addresses nothing.
  EXPECT_NE(Mci("put " + name + " window at 0 0 1 1"), 0u);

  // Closing a clip that is still playing: does its window hear of it?
  ASSERT_EQ(Mci(open), 0u);
  ASSERT_EQ(Mci("play " + name + " notify", window), 0u);
  Sleep(200);
  EXPECT_EQ(Mci("close " + name), 0u);
  EXPECT_TRUE(WaitForNotify(window, 1000, code, device));
  platform::DestroyOffscreenWindow(window);
}

// Wine may have no sound output here: the sound's open must work (the wave device reads the
// file), its play is recorded for the report whichever way it goes.
TEST(MultimediaWin32, SampleSoundOpensAndCloses) {
  const std::string name = Short(kSite + "bell.wav");
  ASSERT_FALSE(name.empty());
  ASSERT_EQ(platform::SendMciCommand(("open " + name).c_str(), nullptr), 0u);
  const uint32_t played = platform::SendMciCommand(("play " + name + " from 0").c_str(), nullptr);
  RecordProperty("play_result", int(played));
  EXPECT_EQ(platform::SendMciCommand(("close " + name).c_str(), nullptr), 0u);
}

}  // namespace
}  // namespace kvp
