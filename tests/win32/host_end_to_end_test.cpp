// kvpview.exe end to end: the real program started under Wine with the recording plug-in,
// its browser log and the plug-in's log read back, its window asked for its status text.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/test_files.h"
#include "tests/win32/viewer_run.h"

namespace kvp {
namespace {

using test::Find;
using test::Lines;
using test::ViewerRun;

std::string Padded(const std::string& commands, size_t size) {
  std::string text = commands;
  while (text.size() < size) text += "padding line of a test panorama\n";
  return text;
}

// kvpview's arguments for `page` in `dir`, run with the recording plug-in.
std::string WithRecorder(const test::TempDir& dir, const char* page,
                         const std::string& options = "") {
  return "\"" + (dir.Path() / page).string() + "\" " + options +
         (options.empty() ? "" : " ") + "--plugin kvp_recording_plugin.dll";
}

TEST(HostEndToEnd, DeliversThumbnailThenFullStreamInBrowserOrder) {
  test::TempDir dir;
  dir.Write("index.html",
            "<html><title>Hall</title><body><embed src=\"tour/_hall.pan\" width=320 "
            "height=200></body></html>");
  std::filesystem::create_directories(dir.Path() / "tour");
  const std::string thumb = Padded("status Thumbnail here\n", 5000);
  const std::string full = Padded("status Full panorama here\n", 20000);
  dir.Write("tour/_hall.pan", thumb);
  dir.Write("tour/hall.pan", full);
  ViewerRun run(dir.Path());
  ASSERT_TRUE(run.Start(WithRecorder(dir, "index.html")));
  ASSERT_TRUE(run.WaitForLog("DestroyStream 1 http://localhost/tour/hall.pan")) << run.ViewLog();
  EXPECT_EQ(ViewerRun::Text(run.Frame()), "Hall");
  EXPECT_EQ(run.StatusText(), "Full panorama here");
  EXPECT_EQ(run.Close(), 0);

  const std::vector<std::string> p = Lines(run.PluginLog());
  const std::string thumbUrl = "http://localhost/tour/_hall.pan";
  const std::string fullUrl = "http://localhost/tour/hall.pan";
  int i = Find(p, "NPP_New application/x-pan mode=1 src=tour/_hall.pan width=320 height=200");
  ASSERT_GE(i, 0) << run.PluginLog();
  ASSERT_EQ(p[i + 1], "NPP_SetWindow 320x200 window");
  // Each file: NewStream, WriteReady/Write until every byte is offered, the whole file, the end.
  for (const auto& [url, size] : {std::pair{thumbUrl, thumb.size()}, {fullUrl, full.size()}}) {
    i = Find(p, "NPP_NewStream " + url + " application/x-pan end=" + std::to_string(size), i);
    ASSERT_GE(i, 0) << run.PluginLog();
    size_t offered = 0;
    for (++i; p[i].rfind("NPP_WriteReady " + url, 0) == 0; i += 2) {
      EXPECT_EQ(p[i + 1], "NPP_Write " + url + " " + std::to_string(offered) + " " +
                              std::to_string(std::min<size_t>(4096, size - offered)));
      offered += std::min<size_t>(4096, size - offered);
    }
    EXPECT_EQ(offered, size);
    EXPECT_EQ(p[i], "NPP_StreamAsFile " + url + " " + std::to_string(size));
    if (url == thumbUrl) {
      // NPN_GetURL returned before the stream it asked for began.
      EXPECT_EQ(p[++i], "GetURL " + fullUrl + " null -> 0");
      EXPECT_EQ(p[++i], "Status Thumbnail here");
    } else {
      EXPECT_EQ(p[++i], "Status Full panorama here");
    }
    EXPECT_EQ(p[++i], "NPP_DestroyStream " + url + " 0");
  }
  EXPECT_EQ(p[p.size() - 2], "NPP_Destroy");
  EXPECT_EQ(p.back(), "NP_Shutdown");
  const std::string view = run.ViewLog();
  EXPECT_NE(view.find("Status 1 Full panorama here\n"), std::string::npos);
  EXPECT_NE(view.find("GetURL 1 http://localhost/tour/hall.pan (http://localhost/tour/hall.pan) "
                      "target=null -> 0\n"),
            std::string::npos);
  EXPECT_EQ(Lines(view).back(), "closed");
}

TEST(HostEndToEnd, NavigatesOnSelfAndReportsMissingFiles) {
  test::TempDir dir;
  dir.Write("index.html", "<title>First</title><embed src=a.pan width=200 height=100>"
                          "<embed src=a.pan width=100 height=100>");
  dir.Write("a.pan", "geturl page2.html _self\n");
  dir.Write("page2.html", "<title>Second page</title><object data=b.pan width=50 height=60>"
                          "</object>");
  dir.Write("b.pan", "status On page two\ngeturl clip.avi null\n");
  ViewerRun run(dir.Path());
  ASSERT_TRUE(run.Start(WithRecorder(dir, "index.html")));
  ASSERT_TRUE(run.WaitForLog("missing 3 http://localhost/clip.avi")) << run.ViewLog();
  EXPECT_EQ(ViewerRun::Text(run.Frame()), "Second page");
  EXPECT_EQ(run.StatusText(), "File not found: http://localhost/clip.avi");
  EXPECT_EQ(run.Close(), 0);

  const std::vector<std::string> v = Lines(run.ViewLog());
  const int navigate = Find(v, "navigate http://localhost/page2.html");
  ASSERT_GE(navigate, 0) << run.ViewLog();
  // Leaving the page breaks off the second object's stream and ends both instances before the
  // new page's one begins.
  EXPECT_LT(Find(v, "DestroyStream 2 http://localhost/a.pan reason=2"), navigate);
  EXPECT_LT(Find(v, "NPP_Destroy 1"), navigate);
  EXPECT_LT(Find(v, "NPP_Destroy 2"), navigate);
  EXPECT_GT(Find(v, "NPP_New 3 http://localhost/b.pan mode=1 -> 0"), navigate);
  EXPECT_GT(Find(v, "Status 3 On page two"), navigate);
  const std::vector<std::string> p = Lines(run.PluginLog());
  EXPECT_NE(Find(p, "GetURL clip.avi null -> 0"), -1);  // found missing only later, as a browser
  EXPECT_GT(Find(p, "NPP_New application/x-pan mode=1 data=b.pan width=50 height=60"),
            Find(p, "NPP_Destroy"));
}

TEST(HostEndToEnd, OpensAPanoramaFullPageWithAVersion8Table) {
  test::TempDir dir;
  dir.Write("alone.pan", "status Alone\n");
  ViewerRun run(dir.Path());
  ASSERT_TRUE(run.Start(WithRecorder(dir, "alone.pan", "--full --size 640x480 --npapi-minor 8")));
  ASSERT_TRUE(run.WaitForLog("DestroyStream 1 http://localhost/alone.pan")) << run.ViewLog();
  EXPECT_EQ(run.Close(), 0);
  const std::vector<std::string> p = Lines(run.PluginLog());
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p[0], "NP_Initialize version=8 size=52");  // no 0.9 slots offered
  EXPECT_EQ(p[1], "NPP_New application/x-pan mode=2 src=http://localhost/alone.pan "
                  "type=application/x-pan");
  EXPECT_EQ(p[2], "NPP_SetWindow 640x480 window");
}

TEST(HostEndToEnd, RefusesWhatItCannotRunWithAMessage) {
  const struct {
    const char* arguments;
    const char* message;
  } cases[] = {
      {"--plugin kvp_foreign_plugin.dll", "is not a plug-in for application/x-pan"},
      {"--plugin no-such-plugin.dll", "was not found"},
      {"--plugin kvp_tests.exe", "is not a plug-in for application/x-pan"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    dir.Write("index.html", "<embed src=a.pan>");
    dir.Write("a.pan", "x");
    ViewerRun run(dir.Path());
    ASSERT_TRUE(run.Start("\"" + (dir.Path() / "index.html").string() + "\" " + c.arguments));
    EXPECT_EQ(run.Wait(), 2) << c.arguments;
    EXPECT_NE(run.ViewLog().find(c.message), std::string::npos) << run.ViewLog();
    EXPECT_EQ(run.PluginLog(), "") << c.arguments;  // the library was never started
  }
  test::TempDir dir;
  ViewerRun run(dir.Path());
  ASSERT_TRUE(run.Start(WithRecorder(dir, "nothing.html")));
  EXPECT_EQ(run.Wait(), 2);
  EXPECT_NE(run.ViewLog().find("was not found"), std::string::npos) << run.ViewLog();
}

TEST(HostEndToEnd, PageWithoutPanoramaSaysSo) {
  test::TempDir dir;
  dir.Write("index.html", "<title>Plain</title><p>Nothing here <embed src=movie.avi>");
  ViewerRun run(dir.Path());
  ASSERT_TRUE(run.Start(WithRecorder(dir, "index.html")));
  ASSERT_TRUE(run.WaitForLog("page http://localhost/index.html objects=0")) << run.ViewLog();
  for (int i = 0; i < 100 && run.Frame() == nullptr; ++i) Sleep(50);
  EXPECT_EQ(run.StatusText(), "This page embeds no panorama.");
  EXPECT_EQ(run.Close(), 0);
}

}  // namespace
}  // namespace kvp
