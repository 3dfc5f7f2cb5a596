// A frame split across helper threads is the frame the render thread draws alone, and the
// helpers run every part once per frame and are gone with their engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "data/picture_layout.h"
#include "platform/platform.h"
#include "render/warp_engine.h"
#include "render/warp_workers.h"

namespace kvp {
namespace {

WarpPicture NoisePicture(int32_t width, int32_t height, int32_t depth) {
  std::vector<uint8_t> rows(size_t(width) * height * (depth / 8));
  uint32_t seed = 99;
  for (uint8_t& b : rows) {
    seed = seed * 1664525u + 1013904223u;
    b = uint8_t(seed >> 24);
  }
  WarpPicture picture;
  EXPECT_TRUE(picture.Assign(width, height, depth, rows.data()));
  return picture;
}

TEST(WarpThreads, EveryThreadCountDrawsTheSameFrame) {
  // 800 x 608 is above the split size and has 19 block rows, which no count tried divides.
  const int32_t w = 800, h = 608, pw = 1001, ph = 500;
  struct View {
    double heading, pitch, roll, fov;
  };
  const View views[] = {{183.25, 12, 0, 90}, {45.5, 80, -15, 110}, {300, -60, 4, 70}};
  const std::pair<int32_t, int32_t> members[] = {{8, 0}, {16, 0}, {16, 1}, {24, 0}, {24, 1}};
  for (auto [depth, quality] : members) {
    const WarpPicture picture = NoisePicture(pw, ph, depth);
    for (const View& v : views) {
      std::vector<uint8_t> alone;
      for (int32_t threads : {1, 2, 3, 5}) {
        WarpEngine engine;
        engine.SetThreads(threads);
        ASSERT_EQ(engine.Threads(), threads);
        std::vector<uint8_t> frame(size_t(w) * h * (depth / 8), 0xEE);
        ASSERT_EQ(engine.WarpFrame({v.heading, v.pitch, v.roll, FocalLength(w, v.fov), 3.5, -2},
                                   w, h, frame.data(), pw, ph, picture.Pixels(), depth, quality),
                  1);
        if (threads == 1) {
          alone = frame;
        } else {
          EXPECT_TRUE(frame == alone) << threads << " threads, depth " << depth << " quality "
                                      << quality << ", heading " << v.heading;
        }
      }
    }
  }
}

TEST(WarpThreads, HelpersRunEachPartOnceAndEndWithTheirOwner) {
  struct Record {
    std::atomic<int32_t> runs[8];
    std::atomic<bool> elsewhere{false};
    std::thread::id caller;
  };
  auto job = [](void* context, int32_t part, int32_t parts) {
    Record& r = *static_cast<Record*>(context);
    if (part < 0 || part >= parts || parts > 8) return;
    r.runs[part].fetch_add(1);
    if (std::this_thread::get_id() != r.caller) r.elsewhere = true;
  };
  for (int32_t helpers : {0, 1, 3}) {
    WarpWorkers workers(helpers);
    EXPECT_EQ(workers.Parts(), helpers + 1);
    for (int32_t parts : {1, 2, 4, 8}) {
      for (int frame = 0; frame < 20; ++frame) {
        Record r;
        for (auto& n : r.runs) n = 0;
        r.caller = std::this_thread::get_id();
        workers.Run(job, &r, parts);
        const int32_t used = std::min(parts, helpers + 1);  // never more parts than threads
        for (int32_t p = 0; p < 8; ++p) ASSERT_EQ(r.runs[p].load(), p < used ? 1 : 0);
        EXPECT_EQ(r.elsewhere.load(), used > 1);
      }
    }
  }
}

TEST(WarpThreads, TheSystemReportsItsProcessors) {
  const int32_t count = platform::ProcessorCount();
  EXPECT_GE(count, 1);
  const unsigned library = std::thread::hardware_concurrency();
  if (library != 0) {
    EXPECT_EQ(count, int32_t(library));
  }
}

}  // namespace
}  // namespace kvp
