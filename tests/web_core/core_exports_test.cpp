// The page's calls run natively over the web side of the seam, one thread, the timers and the
// steps pumped by kv_frame as a page pumps them: stored files, the settled picture against
// `kvp render`'s, a tour that waits for its node files, failures as the plug-in's messages,
// and the frame timer driven by the page's clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "web/core_exports.h"

namespace {

namespace fs = std::filesystem;

// The calls keep their files under KVP_WEB_STORE, read once: set before the first call.
const fs::path& Store() {
  static const fs::path folder = [] {
    char name[] = "/tmp/kvp-web-core-XXXXXX";
    const char* made = mkdtemp(name);
    setenv("KVP_WEB_STORE", made != nullptr ? made : "/tmp", 1);
    return fs::path(made != nullptr ? made : "/tmp");
  }();
  return folder;
}

// The stored files go with the program.
class RemoveStore : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(Store(), ignored);
  }
};
const ::testing::Environment* const kRemoveStore =
    ::testing::AddGlobalTestEnvironment(new RemoveStore);

std::vector<uint8_t> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Hands `bytes` over as a page does, in chunks of `chunk`; kv_file_end's result.
int Deliver(const std::string& url, const std::vector<uint8_t>& bytes, bool ok = true,
            size_t chunk = 65536) {
  Store();
  const int handle = kv_file_begin(url.c_str());
  EXPECT_GT(handle, 0) << url;
  for (size_t at = 0; at < bytes.size(); at += chunk) {
    const size_t n = bytes.size() - at < chunk ? bytes.size() - at : chunk;
    auto* copy = static_cast<uint8_t*>(kv_malloc(int(n)));
    std::copy(bytes.begin() + long(at), bytes.begin() + long(at + n), copy);
    EXPECT_EQ(kv_file_write(handle, copy, int(n)), 0);
    kv_free(copy);
  }
  return kv_file_end(handle, ok ? 1 : 0);
}

std::vector<std::string> Requests(int id) {
  std::vector<std::string> out;
  while (const char* r = kv_poll(id)) out.push_back(r);
  return out;
}

// The page's clock, performance.now(): one for the whole program, as the timers share it.
double gClock = 0;

// Animation frames 1/60 s apart: the timers due and a step each. `now` gets the last time.
void Frames(int id, double& now, int count) {
  for (int i = 0; i < count; ++i) kv_frame(id, gClock += 1000.0 / 60);
  now = gClock;
}

TEST(WebCore, ASettledViewIsKvpRendersPicturePixelForPixel) {
  const std::string sample = std::string(KVP_SAMPLES_DIR) + "/site/mars.pan";
  ASSERT_EQ(Deliver("http://example.test/site/mars.pan", Bytes(sample)), 0);
  const int id = kv_create(320, 240);
  ASSERT_GT(id, 0);
  ASSERT_EQ(kv_open(id, "http://example.test/site/mars.pan", 0), 0);
  double now = 0;
  int rounds = 0;
  // As the page does: a frame, and another while the view has not settled into its smoothed one.
  for (; rounds < 5 && kv_is_settled(id) == 0; ++rounds) {
    ASSERT_EQ(kv_request_frames(id, 1, 1), 0);
    Frames(id, now, 6);
  }
  EXPECT_EQ(rounds, 2);
  EXPECT_EQ(kv_frame(id, now), 1);
  const uint8_t* rgba = kv_pixels(id);
  ASSERT_NE(rgba, nullptr);
  EXPECT_EQ(kv_frame(id, now), 0);  // nothing new since the pixels were taken
  const std::vector<std::string> requests = Requests(id);
  EXPECT_EQ(requests, std::vector<std::string>(2, "{\"type\":\"notify\",\"what\":\"idle\"}"));

  const fs::path bmp = Store() / "mars.bmp";
  const std::string command = std::string(KVP_TOOL) + " render '" + sample + "' -o '" +
                              bmp.string() + "' --size 320x240 >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<uint8_t> file = Bytes(bmp);
  ASSERT_GE(file.size(), 54u + 320 * 240 * 3);
  const size_t offset = file[10] | file[11] << 8 | file[12] << 16;
  int differing = 0;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const uint8_t* b = &file[offset + size_t(239 - y) * 960 + size_t(x) * 3];
      const uint8_t* p = rgba + (size_t(y) * 320 + size_t(x)) * 4;
      if (p[0] != b[2] || p[1] != b[1] || p[2] != b[0] || p[3] != 255) ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
  kv_destroy(id);
  EXPECT_EQ(kv_is_open(id), 0);
}

TEST(WebCore, ATourWaitsForItsNodeFilesAndOpensOnceTheLastHasArrived) {
  const fs::path tour = fs::path(KVP_SAMPLES_DIR) / "tour";
  const std::string base = "https://example.test/old%20site/tour/";
  ASSERT_EQ(Deliver(base + "tour.ini", Bytes(tour / "tour.ini")), 0);
  const int id = kv_create(160, 120);
  EXPECT_EQ(kv_open(id, (base + "tour.ini").c_str(), 0), -1);
  EXPECT_EQ(kv_is_open(id), 0);
  // Every node and, the tour allowing fast images, each fast image: absolute, escaped again.
  std::set<std::string> fetches;
  for (const std::string& r : Requests(id)) {
    const std::string head = "{\"type\":\"fetch\",\"url\":\"";
    ASSERT_EQ(r.compare(0, head.size(), head), 0) << r;
    fetches.insert(r.substr(head.size(), r.size() - head.size() - 2));
  }
  std::set<std::string> expected;
  for (const char* name : {"summit", "ridge", "earth"}) {
    expected.insert(base + name + ".pan");
    expected.insert(base + name + ".pa_");
  }
  ASSERT_EQ(fetches, expected);
  // The fetches end in any order; one fast image fails; the open waits for the last.
  for (const std::string& url : fetches) {
    const std::string name = url.substr(base.size());
    const bool fails = name == "earth.pa_";
    EXPECT_TRUE(Requests(id).empty());
    EXPECT_EQ(Deliver(url, Bytes(tour / name), !fails), fails ? 1 : 0);
  }
  EXPECT_EQ(Requests(id), std::vector<std::string>{"{\"type\":\"open\",\"code\":0}"});
  EXPECT_EQ(kv_is_open(id), 1);
  double now = 0;
  ASSERT_EQ(kv_request_frames(id, 1, 1), 0);
  Frames(id, now, 6);
  EXPECT_EQ(kv_frame(id, now), 1);
  kv_destroy(id);
}

TEST(WebCore, FailuresComeOutAsThePlugInsMessagesAndLeaveNothingOpen) {
  const int id = kv_create(64, 48);
  EXPECT_EQ(kv_open(id, "http://example.test/never-stored.pan", 0), 1);
  EXPECT_EQ(Requests(id), std::vector<std::string>{
                              "{\"type\":\"message\",\"text\":\"Invalid File\","
                              "\"caption\":\"Qorvane\"}"});
  ASSERT_EQ(Deliver("http://example.test/broken.pan", {'K', 'V', 'P', 'F', 0, 1, 2}), 0);
  EXPECT_EQ(kv_open(id, "http://example.test/broken.pan", 0), 1);
  const std::vector<std::string> requests = Requests(id);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind("{\"type\":\"message\",\"text\":\"", 0), 0u) << requests[0];
  EXPECT_EQ(kv_is_open(id), 0);
  EXPECT_EQ(kv_request_frames(id, 1, 1), 3);  // not open
  EXPECT_EQ(kv_open(id, "not a url", 0), 1);
  EXPECT_EQ(Requests(id).size(), 1u);
  EXPECT_EQ(kv_file_begin("http://example.test/../x.pan"), 0);
  kv_destroy(id);
  EXPECT_EQ(kv_poll(id), nullptr);
}

TEST(WebCore, ThePagesClockDrivesTheFrameTimerAndAMotionStopsWithAnIdleNotice) {
  const std::string sample = std::string(KVP_SAMPLES_DIR) + "/site/mars.pan";
  ASSERT_EQ(Deliver("http://example.test/m/mars.pan", Bytes(sample)), 0);
  const int id = kv_create(128, 96);
  ASSERT_EQ(kv_open(id, "http://example.test/m/mars.pan", 30), 0);
  double view[4];
  ASSERT_EQ(kv_get_view(id, view), 0);
  const double start = view[0];
  // 30 degrees a second for 12 frames: a frame per 1/30 s tick, one tick per second frame.
  ASSERT_EQ(kv_set_heading_motion(id, 30, 12, 1), 0);
  double now = 0;
  Frames(id, now, 2);
  ASSERT_EQ(kv_get_view(id, view), 0);
  EXPECT_DOUBLE_EQ(view[0], start + 1);
  Frames(id, now, 22);
  ASSERT_EQ(kv_get_view(id, view), 0);
  EXPECT_DOUBLE_EQ(view[0], start + 12);
  EXPECT_TRUE(Requests(id).empty());  // the timer still runs: the tick that stops it is due
  Frames(id, now, 4);
  EXPECT_EQ(Requests(id), std::vector<std::string>{"{\"type\":\"notify\",\"what\":\"idle\"}"});
  EXPECT_EQ(kv_get_frame_rate(id), 30);
  // A new size draws the view again at that size.
  ASSERT_EQ(kv_resize(id, 96, 64), 0);
  EXPECT_EQ(kv_width(id), 96);
  EXPECT_EQ(kv_height(id), 64);
  Frames(id, now, 4);
  EXPECT_EQ(kv_frame(id, now), 1);
  EXPECT_NE(kv_pixels(id), nullptr);
  kv_destroy(id);
}

}  // namespace
