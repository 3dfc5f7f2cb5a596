// The plug-in's handlers against a recording browser: tables, instance lifecycle, window
// placement and the dispatch of delivered files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "controller/panorama_controller.h"
#include "platform/platform.h"
#include "tests/test_files.h"
#include "tests/win32/recording_browser.h"
#include "viewer/kvp_win.h"

namespace kvp {
namespace {

using test::BrowserWindow;
using test::RecordingBrowser;

InstanceData* Data(NPP_t& instance) { return static_cast<InstanceData*>(instance.pdata); }

// A new instance of `mode` given the browser's window `record`; the viewer it made, or null.
CKVPWin* NewInstanceIn(NPP_t& instance, NPWindow& record, uint16_t mode) {
  EXPECT_EQ(NPP_New(nullptr, &instance, mode, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(NPP_SetWindow(&instance, &record), 0);
  return Data(instance)->kvpWindow;
}

TEST(PluginEntryPoints, TablesOfBothBrowserVersionsAndNullTables) {
  EXPECT_EQ(NP_GetEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
  EXPECT_EQ(NP_Initialize(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
  {
    RecordingBrowser browser(9);
    EXPECT_EQ(browser.funcs.version, 9);
    EXPECT_EQ(browser.funcs.size, 0);  // the browser's to set
    EXPECT_EQ(browser.funcs.newp, &NPP_New);
    EXPECT_EQ(browser.funcs.asfile, &NPP_StreamAsFile);
    EXPECT_EQ(browser.funcs.print, &NPP_Print);
    EXPECT_EQ(browser.funcs.event, nullptr);
    EXPECT_EQ(browser.funcs.urlNotify, &NPP_URLNotify);
    EXPECT_EQ(browser.funcs.javaClass, nullptr);
  }
  {
    RecordingBrowser browser(8);  // no notification slots
    EXPECT_EQ(browser.funcs.urlNotify, nullptr);
    EXPECT_EQ(NPN_GetJavaEnv(), nullptr);
  }
  {
    // A newer major version is refused, but its table is still the one in use.
    RecordingBrowser browser;
    NPNetscapeFuncs newer = browser.table;
    newer.version = 0x0109;
    EXPECT_EQ(NP_Initialize(&newer), NPERR_INCOMPATIBLE_VERSION_ERROR);
    NPN_Status(nullptr, "x");
    EXPECT_EQ(browser.log.calls.back(), "Status x");
  }
  // Without a browser nothing is called.
  EXPECT_EQ(NPN_MemAlloc(16), nullptr);
  EXPECT_EQ(NPN_GetURL(nullptr, "a", nullptr), NPERR_GENERIC_ERROR);
}

TEST(PluginHandlers, NullInstancesAndTheStreamAnswers) {
  RecordingBrowser browser;
  EXPECT_EQ(NPP_New(nullptr, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr),
            NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_TRUE(browser.log.boxes.empty());
  EXPECT_EQ(NPP_DestroyStream(nullptr, nullptr, 0), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_TRUE(browser.log.boxes.empty());

  EXPECT_EQ(NPP_Destroy(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(NPP_SetWindow(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  uint16_t type = 0;
  EXPECT_EQ(NPP_NewStream(nullptr, nullptr, nullptr, 0, &type), NPERR_INVALID_INSTANCE_ERROR);
  NPP_URLNotify(nullptr, "u", 0, nullptr);
  NPP_StreamAsFile(nullptr, nullptr, "f");
  const std::string invalid = "NPP_SetWindow(): Invalid instance.";
  EXPECT_EQ(browser.log.boxes, (std::vector<std::string>{invalid, invalid, invalid, invalid,
                                                         "NPP_StreamAsFile(): Invalid instance."}));

  NPP_t instance = {};
  ASSERT_EQ(NPP_New(nullptr, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(NPP_NewStream(&instance, nullptr, nullptr, 0, &type), 0);
  EXPECT_EQ(type, NP_ASFILE);
  EXPECT_EQ(NPP_WriteReady(nullptr, nullptr), 0x0FFFFFFF);
  EXPECT_EQ(NPP_Write(nullptr, nullptr, 0, 12345, nullptr), 12345);

  NPPrint print = {};
  print.mode = NP_FULL;
  print.print.fullPrint.pluginPrinted = true;
  NPP_Print(&instance, &print);
  EXPECT_FALSE(print.print.fullPrint.pluginPrinted);
  print.mode = NP_EMBED;
  print.print.embedPrint.platformPrint = &print;
  NPP_Print(&instance, &print);
  EXPECT_EQ(print.print.embedPrint.platformPrint, &print);

  // Never given a window: the record goes without touching one.
  EXPECT_EQ(NPP_Destroy(&instance, nullptr), 0);
  EXPECT_EQ(instance.pdata, nullptr);
  EXPECT_EQ(browser.log.frees, browser.log.allocations);
}

TEST(PluginHandlers, FullModePlacesTheViewerInTheMiddle) {
  struct Case {
    int width, height;
    RECT expected;
  };
  for (const Case& c : {Case{640, 480, {170, 140, 470, 340}}, Case{200, 100, {0, 0, 200, 100}},
                        Case{280, 300, {-10, 50, 290, 250}}, Case{299, 129, {0, -35, 300, 165}}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const RECT r = FullModePlacement(c.width, c.height);
    EXPECT_TRUE(EqualRect(&r, &c.expected));
  }

  RecordingBrowser browser;
  BrowserWindow page(640, 480);
  NPP_t instance = {};
  NPWindow record = page.Record();
  CKVPWin* viewer = NewInstanceIn(instance, record, NP_FULL);
  ASSERT_NE(viewer, nullptr);
  const HWND hwnd = viewer->m_hWnd;
  ASSERT_NE(hwnd, nullptr);
  RECT placed = test::PlacementOf(hwnd);
  RECT expected = {170, 140, 470, 340};
  EXPECT_TRUE(EqualRect(&placed, &expected));
  EXPECT_NE(GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE, 0);

  // The page shrinks: a later call places it again.
  MoveWindow(page.hwnd, 0, 0, 280, 300, FALSE);
  ASSERT_EQ(NPP_SetWindow(&instance, &record), 0);
  EXPECT_EQ(Data(instance)->kvpWindow, viewer);  // created once
  placed = test::PlacementOf(hwnd);
  expected = {-10, 50, 290, 250};
  EXPECT_TRUE(EqualRect(&placed, &expected));
  EXPECT_TRUE(browser.Traced("NPP_SetWindow(): Both handles are OK."));

  EXPECT_EQ(NPP_Destroy(&instance, nullptr), 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(browser.log.frees, browser.log.allocations);
}

TEST(PluginHandlers, EmbeddedWindowCoversTheAreaAndIsNeverMovedAgain) {
  RecordingBrowser browser;
  BrowserWindow page(400, 300);
  NPP_t instance = {};
  NPWindow record = page.Record();
  CKVPWin* viewer = NewInstanceIn(instance, record, NP_EMBED);
  ASSERT_NE(viewer, nullptr);
  const HWND hwnd = viewer->m_hWnd;
  ASSERT_NE(hwnd, nullptr);
  const RECT covers = {0, 0, 400, 300};
  RECT placed = test::PlacementOf(hwnd);
  EXPECT_TRUE(EqualRect(&placed, &covers));
  EXPECT_EQ(GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD, WS_CHILD);
  EXPECT_EQ(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_ABOVE_NORMAL);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);

  MoveWindow(page.hwnd, 0, 0, 800, 600, FALSE);
  NPWindow second = page.Record();
  ASSERT_EQ(NPP_SetWindow(&instance, &second), 0);
  placed = test::PlacementOf(hwnd);
  EXPECT_TRUE(EqualRect(&placed, &covers));
  EXPECT_EQ(Data(instance)->lastNpWindow, &second);

  // A null handle afterwards changes only the remembered record.
  NPWindow empty = {};
  ASSERT_EQ(NPP_SetWindow(&instance, &empty), 0);
  EXPECT_EQ(Data(instance)->lastNpWindow, &empty);
  EXPECT_EQ(Data(instance)->hWindow, page.hwnd);
  EXPECT_EQ(Data(instance)->kvpWindow, viewer);
  EXPECT_TRUE(browser.Traced(
      "NPP_SetWindow(): Error: npWindow == NULL but This->hWindow != NULL."));

  EXPECT_EQ(NPP_Destroy(&instance, nullptr), 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(browser.log.boxes.empty());
}

TEST(PluginHandlers, UnknownModeKeepsTheHandleAndMakesNoWindow) {
  RecordingBrowser browser;
  BrowserWindow page(100, 100);
  NPP_t instance = {};
  ASSERT_EQ(NPP_New(nullptr, &instance, 7, 0, nullptr, nullptr, nullptr), 0);
  NPWindow record = page.Record();
  EXPECT_EQ(NPP_SetWindow(&instance, &record), 0);
  EXPECT_EQ(browser.log.boxes, (std::vector<std::string>{"NPP_SetWindow: Unknown plugin mode."}));
  EXPECT_EQ(Data(instance)->hWindow, page.hwnd);
  EXPECT_EQ(Data(instance)->kvpWindow, nullptr);
  NPP_Destroy(&instance, nullptr);
}

TEST(PluginNaming, ThumbnailAndHotspotNames) {
  RecordingBrowser browser;
  struct Pair {
    const char* in;
    const char* out;
  };
  for (const Pair& p : {Pair{"http://h/tour/_hall.pan", "http://h/tour/hall.pan"},
                        Pair{"http://h/a/_b/c.pan", "http://h/a/b/c.pan"},
                        Pair{"http://h/_a/_b.pan", "http://h/a/_b.pan"}}) {
    char* full = FullPanoramaURL(p.in);
    EXPECT_STREQ(full, p.out);
    NPN_MemFree(full);
  }
  for (const Pair& p : {Pair{"C:\\cache\\pano.pan", "C:\\cache\\pano.hsp"},
                        Pair{"C:\\cache.d\\pano", "C:\\cache.hsp"}, Pair{"C:\\cache\\pano", ".hsp"}}) {
    char* name = HotspotName(p.in);
    EXPECT_STREQ(name, p.out);
    NPN_MemFree(name);
  }
}

TEST(PluginStreams, ThumbnailThenFullPanoramaThenHotspotTargets) {
  RecordingBrowser browser;
  test::TempDir dir;
  const std::string thumb = dir.Write("_hall.pan", test::PanoramaFile());
  const std::string full = dir.Write("hall.pan", test::PanoramaFile());
  BrowserWindow page(300, 200);
  NPP_t instance = {};
  NPWindow record = page.Record();
  CKVPWin* viewer = NewInstanceIn(instance, record, NP_EMBED);
  ASSERT_NE(viewer, nullptr);

  // A file that arrives without a name is asked for again.
  NPStream stream = {};
  stream.url = "http://h/tour/_hall.pan";
  NPP_StreamAsFile(&instance, &stream, nullptr);
  ASSERT_EQ(browser.log.calls.size(), 1u);
  EXPECT_EQ(browser.log.calls[0], "GetURL http://h/tour/_hall.pan (null)");

  NPP_StreamAsFile(&instance, &stream, thumb.c_str());
  EXPECT_EQ(browser.log.calls.back(), "GetURL http://h/tour/hall.pan (null)");
  EXPECT_EQ(Data(instance)->state, 0);
  EXPECT_STREQ(Data(instance)->thumbnailFile, thumb.c_str());
  EXPECT_EQ(viewer->thumbnailMode, 1);
  ASSERT_NE(viewer->controller, nullptr);
  EXPECT_EQ(viewer->controller->pitchMax, 0);
  viewer->controller->SetView(45, 0, 0, 60, 0);

  stream.url = "http://h/tour/hall.pan";
  NPP_StreamAsFile(&instance, &stream, full.c_str());
  EXPECT_EQ(Data(instance)->state, 2);
  EXPECT_STREQ(Data(instance)->panoramaURL, "http://h/tour/hall.pan");
  EXPECT_STREQ(Data(instance)->hotspotURL, "http://h/tour/hall.hsp");
  EXPECT_EQ(std::string(Data(instance)->hotspotFile), (dir.Path() / "hall.hsp").string());
  EXPECT_EQ(viewer->thumbnailMode, 0);
  ASSERT_NE(viewer->controller, nullptr);
  double h = 0, p = 0, r = 0, f = 0;
  viewer->controller->GetView(h, p, r, f);
  EXPECT_EQ(h, 45);  // the thumbnail's view carried over

  // From now on every file is a hot-spot target, whatever its URL.
  // A sound plays through MCI; a sprite picture sends no MCI command.
  browser.log.traces.clear();
  static std::vector<std::string> commands;
  commands.clear();
  platform::SetMultimediaHook(
      [](const char* command, platform::Window*, void*) -> uint32_t {
        commands.push_back(command != nullptr ? command : "(stop)");
        return 0;
      },
      nullptr);
  const std::string sound = dir.Write("clip.WAV", std::string("RIFF"));
  char shortName[256] = {};
  GetShortPathNameA(sound.c_str(), shortName, sizeof shortName);
  NPP_StreamAsFile(&instance, &stream, sound.c_str());
  NPP_StreamAsFile(&instance, &stream, dir.Write("model.avt", std::string("BM")).c_str());
  platform::SetMultimediaHook(nullptr, nullptr);
  EXPECT_EQ(commands, (std::vector<std::string>{"(stop)", std::string("open ") + shortName,
                                                std::string("play ") + shortName + " from 0"}));
  EXPECT_TRUE(browser.log.boxes.empty());
  NPP_StreamAsFile(&instance, &stream, "C:\\cache\\model.AVT");
  NPP_StreamAsFile(&instance, &stream, full.c_str());
  EXPECT_EQ(browser.log.boxes,
            (std::vector<std::string>(2, "CKVPWin::PlayMultiMedia(): Unknown multimedia type.")));
  NPP_StreamAsFile(&instance, &stream, nullptr);
  EXPECT_TRUE(browser.Traced("ERROR NPP_StreamAsFile(): hotspot fname == NULL"));
  EXPECT_EQ(browser.log.calls.size(), 2u);  // no more requests

  EXPECT_EQ(NPP_Destroy(&instance, nullptr), 0);
  EXPECT_EQ(browser.log.frees, browser.log.allocations);
}

// What the browser's page shows is what the viewer's own controller draws for the same view:
// the plug-in adds nothing to the frame and loses nothing of it.
TEST(PluginStreams, FullPanoramaOnThePageIsTheControllersFrame) {
  RecordingBrowser browser;
  BrowserWindow page(640, 480);
  ShowWindow(page.hwnd, SW_SHOWNORMAL);
  NPP_t instance = {};
  NPWindow record = page.Record();
  CKVPWin* viewer = NewInstanceIn(instance, record, NP_FULL);
  ASSERT_NE(viewer, nullptr);
  NPStream stream = {};
  stream.url = "http://site/summit.pan";
  const std::string path = std::string(KVP_SAMPLES_DIR) + "/tour/summit.pan";
  NPP_StreamAsFile(&instance, &stream, path.c_str());
  ASSERT_NE(viewer->controller, nullptr);

  RECT client;
  viewer->GetClientRect(&client);
  platform::Window* reference = platform::CreateOffscreenWindow(client.right, client.bottom);
  PanoramaController expected;
  expected.Open(path.c_str(), reference, 0, 0, 5);
  expected.SetView(0, 0, 0, 60, 0);  // the view a full panorama opens with
  expected.RequestFrames(1, 2);      // drawn before it returns

  std::vector<uint8_t> want(size_t(client.right) * client.bottom * 3);
  std::vector<uint8_t> got(want.size());
  ASSERT_TRUE(platform::ReadWindowPixels(reference, want.data()));
  auto* shown = reinterpret_cast<platform::Window*>(viewer->m_hWnd);
  for (int i = 0; i < 300 && got != want; ++i) {  // until the render thread's frame is there
    test::Pump();
    Sleep(10);
    ASSERT_TRUE(platform::ReadWindowPixels(shown, got.data()));
  }
  EXPECT_TRUE(got == want);
  expected.Close();
  platform::DestroyOffscreenWindow(reference);
  EXPECT_EQ(NPP_Destroy(&instance, nullptr), 0);
}

TEST(PluginStreams, FilesBeforeAnyWindow) {
  RecordingBrowser browser;
  NPP_t instance = {};
  ASSERT_EQ(NPP_New(nullptr, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr), 0);
  NPStream stream = {};
  stream.url = "http://h/_p.pan";
  NPP_StreamAsFile(&instance, &stream, "C:\\t\\_p.pan");
  EXPECT_TRUE(browser.Traced("NPP_StreamAsFile(): Error: Thumbnial arrived but kvpWindow == NULL"));
  EXPECT_EQ(browser.log.calls, (std::vector<std::string>{"GetURL http://h/p.pan (null)"}));
  stream.url = "http://h/p.pan";
  NPP_StreamAsFile(&instance, &stream, "C:\\t\\p.pan");
  EXPECT_EQ(browser.log.boxes, (std::vector<std::string>{"ARGHHHH"}));
  EXPECT_EQ(Data(instance)->state, 2);
  EXPECT_EQ(NPP_Destroy(&instance, nullptr), 0);
  EXPECT_EQ(browser.log.frees, browser.log.allocations);
}

}  // namespace
}  // namespace kvp

namespace kvp {
namespace {

// Whether the module's resource of that type and id holds `text` as UTF-16.
bool ResourceHolds(HMODULE module, LPCSTR type, int id, const std::string& text) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (found == nullptr) return false;
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
  const std::string data(bytes, SizeofResource(module, found));
  std::string wide;
  for (char c : text) wide += std::string{c, '\0'};
  return data.find(wide) != std::string::npos;
}

// The library as a browser finds it: beside the test program, with plain export names.
TEST(PluginLibrary, ExportsAndRegistrationResources) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dll(path);
  dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "Qorvane.DLL";
  HMODULE module = LoadLibraryA(dll.c_str());
  ASSERT_NE(module, nullptr) << dll;
  auto getEntryPoints =
      reinterpret_cast<NP_GetEntryPointsFunc>(
          reinterpret_cast<void*>(GetProcAddress(module, "NP_GetEntryPoints")));
  ASSERT_NE(getEntryPoints, nullptr);
  EXPECT_NE(GetProcAddress(module, "NP_Initialize"), nullptr);
  EXPECT_NE(GetProcAddress(module, "NP_Shutdown"), nullptr);
  NPPluginFuncs funcs = {};
  EXPECT_EQ(getEntryPoints(&funcs), 0);
  EXPECT_EQ(funcs.version, 9);
  EXPECT_NE(funcs.asfile, nullptr);

  for (const char* text : {"MIMEType", "application/x-pan", "FileExtents", "FileOpenName",
                           "Kestrelvue Panorama (*.pan)", "Qorvane Dynamic Link Library",
                           "040904E4", "1, 0, 0, 1", "Qorvane.DLL"}) {
    EXPECT_TRUE(ResourceHolds(module, MAKEINTRESOURCEA(16), 1, text)) << text;
  }
  EXPECT_TRUE(ResourceHolds(module, MAKEINTRESOURCEA(4), 129, "Launch External Viewer"));
  EXPECT_TRUE(ResourceHolds(module, MAKEINTRESOURCEA(5), 130, "Left Mouse Button: pan and tilt"));
  EXPECT_TRUE(ResourceHolds(module, MAKEINTRESOURCEA(5), 100,
                            "Kestrelvue Panorama Plugin Version 3.0"));
  EXPECT_NE(LoadBitmapA(module, MAKEINTRESOURCEA(131)), nullptr);
  FreeLibrary(module);
}

}  // namespace
}  // namespace kvp
