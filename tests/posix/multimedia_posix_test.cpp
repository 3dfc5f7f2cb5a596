// The multimedia seam where there is no MCI: every command fails plainly, short paths are the
// paths themselves, and the test hook still sees everything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/testing.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

TEST(MultimediaPosix, NoDeviceAnswersEveryCommandAndPathsStayLong) {
  EXPECT_EQ(platform::SendMciCommand("open /tmp/x.wav", nullptr),
            platform::kMciErrorDeviceNotInstalled);
  EXPECT_EQ(platform::SendMciCommand("close x", nullptr), platform::kMciErrorDeviceNotInstalled);
  EXPECT_TRUE(platform::StopWaveSound());

  test::TempDir dir;
  const std::string file = dir.Write("a rather long name.wav", std::string("RIFF"));
  char name[256];
  EXPECT_EQ(platform::GetShortPath(file.c_str(), name, sizeof name), file.size());
  EXPECT_EQ(name, file);
  char small[4] = "abc";
  EXPECT_EQ(platform::GetShortPath(file.c_str(), small, sizeof small), file.size() + 1);
  EXPECT_STREQ(small, "abc");  // too small: untouched
  EXPECT_EQ(platform::GetShortPath((dir.Path() / "gone.wav").c_str(), name, sizeof name), 0u);
  EXPECT_EQ(platform::GetShortPath(nullptr, name, sizeof name), 0u);
}

TEST(MultimediaPosix, HookSeesCommandsAndStops) {
  std::vector<std::string> seen;
  platform::SetMultimediaHook(
      [](const char* command, platform::Window*, void* user) -> uint32_t {
        static_cast<std::vector<std::string>*>(user)->push_back(command ? command : "(stop)");
        return 7;
      },
      &seen);
  EXPECT_EQ(platform::SendMciCommand("play x notify", nullptr), 7u);
  EXPECT_TRUE(platform::StopWaveSound());
  platform::SetMultimediaHook(nullptr, nullptr);
  EXPECT_EQ(platform::SendMciCommand("play x", nullptr), platform::kMciErrorDeviceNotInstalled);
  EXPECT_EQ(seen, (std::vector<std::string>{"play x notify", "(stop)"}));
}

}  // namespace
}  // namespace kvp
