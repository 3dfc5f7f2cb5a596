// What a whole frame costs through the controller (warp, sprites, blit into the offscreen
// window) against, in the same run, the warp alone and the memory floor (a gather through a
// precomputed offset map, a plain copy of the frame's bytes); the frame rate the adaptive
// scheduler settles at with the real timer, and the memory an open controller holds. Uses the
// Mars panorama from samples/. Prints; never fails.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "controller/panorama_controller.h"
#include "data/environment_set.h"
#include "data/picture_layout.h"
#include "platform/platform.h"
#include "render/projection.h"
#include "render/warp_engine.h"
#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"

namespace kvp {
namespace {

std::string gPanorama;  // the Mars sample packed as a 24-bit container

// The view every frame below looks at.
constexpr double kHeading = 30, kPitch = -5, kFov = 90;

WarpPicture gPicture;  // the same picture in the warp layout, 24 bits, for the warp alone

// Bottom-up blue-green-red rows from the decoded (top-down, four-channel) picture.
void KeepWarpPicture(const authoring::Picture& picture) {
  std::vector<uint8_t> rows(size_t(picture.width) * picture.height * 3);
  for (int32_t r = 0; r < picture.height; ++r) {
    const uint8_t* in = &picture.pixels[size_t(picture.height - 1 - r) * picture.width * 4];
    uint8_t* out = &rows[size_t(r) * picture.width * 3];
    for (int32_t c = 0; c < picture.width; ++c, in += 4, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  gPicture.Assign(picture.width, picture.height, 24, rows.data());
}

void PerPixel(benchmark::State& state, int32_t w, int32_t h) {
  state.counters["ns_per_pixel"] = benchmark::Counter(
      double(w) * h, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The warp alone on the frame's picture and view, on `threads` threads.
void WarpAlone(benchmark::State& state, int32_t w, int32_t h, int32_t quality, int32_t threads) {
  std::vector<uint8_t> frame(size_t(w) * h * 3);
  WarpEngine engine;
  engine.SetThreads(threads);
  const ViewCamera camera{kHeading, kPitch, 0, FocalLength(w, kFov), 0, 0};
  for (auto _ : state) {
    engine.WarpFrame(camera, w, h, frame.data(), gPicture.Width(), gPicture.Height(),
                     gPicture.Pixels(), 24, quality);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  PerPixel(state, w, h);
}

// Memory floor (a): the frame's picture pixels through a precomputed map of byte offsets.
void Gather(benchmark::State& state, int32_t w, int32_t h) {
  WarpEngine engine;
  const ViewCamera camera{kHeading, kPitch, 0, FocalLength(w, kFov), 0, 0};
  std::vector<uint8_t> frame(size_t(w) * h * 3 + 1);
  // The coded picture tells which picture pixel the warp chose for every frame pixel.
  std::vector<uint8_t> coded(size_t(gPicture.Width()) * gPicture.Height() * 3);
  for (size_t i = 0; i < coded.size() / 3; ++i) {
    coded[3 * i] = uint8_t(i);
    coded[3 * i + 1] = uint8_t(i >> 8);
    coded[3 * i + 2] = uint8_t(i >> 16);
  }
  WarpPicture codes;
  codes.Assign(gPicture.Width(), gPicture.Height(), 24, coded.data());
  engine.WarpFrame(camera, w, h, frame.data(), codes.Width(), codes.Height(), codes.Pixels(), 24,
                   0);
  std::vector<int32_t> offsets(size_t(w) * h);
  const int32_t width = gPicture.Width(), stride = WarpPictureStride(width);
  for (size_t i = 0; i < offsets.size(); ++i) {
    const int32_t n = frame[3 * i] | frame[3 * i + 1] << 8 | frame[3 * i + 2] << 16;
    offsets[i] = ((n / width) * stride + n % width) * 3;
  }
  for (auto _ : state) {
    const uint8_t* src = gPicture.Pixels();
    uint8_t* dst = frame.data();
    for (size_t i = 0; i < offsets.size(); ++i) std::memcpy(dst + 3 * i, src + offsets[i], 4);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  PerPixel(state, w, h);
}

// Memory floor (b): one plain copy of a frame's bytes.
void FrameCopy(benchmark::State& state, int32_t w, int32_t h) {
  std::vector<uint8_t> from(size_t(w) * h * 3, 0x5A), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  PerPixel(state, w, h);
}

bool PackSample(const std::string& source, const std::string& target) {
  authoring::Picture picture;
  PackedImage image;
  std::string error;
  ViewFields view;
  view.fov = 90;
  if (!authoring::LoadPicture(source, picture, &error)) {
    std::fprintf(stderr, "frame_bench: %s: %s\n", source.c_str(), error.c_str());
    return false;
  }
  KeepWarpPicture(picture);
  if (
      !authoring::PackPicture(picture, 24, authoring::Rgb{0xC9, 0xA2, 0x7E}, view, image,
                              &error)) {
    std::fprintf(stderr, "frame_bench: %s: %s\n", source.c_str(), error.c_str());
    return false;
  }
  return authoring::WriteFileBytes(target, authoring::BuildContainer({{"BTMP", image.bytes}}),
                                   &error);
}

// Resident memory of the process in bytes (Linux).
long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// RenderFrame on the calling thread with the lock held, the render thread idle. `moving`
// turns the view a little every frame (fast warps); otherwise the view stands still and,
// after its one smoothed frame, every frame is the cached copy.
void Frame(benchmark::State& state, int32_t w, int32_t h, bool moving) {
  platform::Window* window = platform::CreateOffscreenWindow(w, h);
  PanoramaController c;
  c.Open(gPanorama.c_str(), window, 0, 30, 5);
  c.warper->Engine().SetThreads(1);  // CPU time of one thread is the whole frame's
  c.SetView(kHeading, kPitch, 0, kFov, 0);
  if (moving) c.SetHeadingMotion(30, -1, 0);
  c.TakeLock();
  c.RenderFrame();
  c.RenderFrame();
  for (auto _ : state) benchmark::DoNotOptimize(c.RenderFrame());
  c.ReleaseLock();
  PerPixel(state, w, h);
  c.Close();
  platform::DestroyOffscreenWindow(window);
}

// The frame after the view stops: the smoothed warp and the cache fill. Each iteration moves
// the view (a fast frame, not timed) and then times the first still frame.
void FirstStillFrame(benchmark::State& state, int32_t w, int32_t h) {
  platform::Window* window = platform::CreateOffscreenWindow(w, h);
  PanoramaController c;
  c.Open(gPanorama.c_str(), window, 0, 30, 5);
  c.warper->Engine().SetThreads(1);
  c.TakeLock();
  double heading = 0;
  for (auto _ : state) {
    state.PauseTiming();
    heading += 1;
    c.heading = heading;
    c.RenderFrame();
    state.ResumeTiming();
    benchmark::DoNotOptimize(c.RenderFrame());
  }
  c.ReleaseLock();
  PerPixel(state, w, h);
  c.Close();
  platform::DestroyOffscreenWindow(window);
}

// Keeps each run's CPU and wall time per iteration (ms) so the summary can form the ratios.
// Names are kept without the "/real_time" suffix.
class Reporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::pair<double, double>> ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      std::string name = run.benchmark_name();
      const std::string suffix = "/real_time";
      if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        name.resize(name.size() - suffix.size());
      }
      ms[name] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Cpu(const std::string& name) const {
    auto it = ms.find(name);
    return it == ms.end() ? NAN : it->second.first;
  }
  double Wall(const std::string& name) const {
    auto it = ms.find(name);
    return it == ms.end() ? NAN : it->second.second;
  }
};

// Runs the viewer's continuous rotation with the real timer and the adaptive rate for a few
// seconds at 640 x 480 and reports where the rate has settled.
void SettledRate() {
  platform::Window* window = platform::CreateOffscreenWindow(640, 480);
  PanoramaController c;
  c.Open(gPanorama.c_str(), window, 0, 0, 5);
  c.SetHeadingMotion(30, -1, 0);
  c.RequestFrames(-1, 1);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(6));
  const uint32_t frames = c.framesDrawn.load();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int16_t rate = 0;
  c.GetFrameRate(rate);
  c.Close();
  platform::DestroyOffscreenWindow(window);
  std::printf("adaptive frame rate at 640x480 while turning: settled at %d fps "
              "(%u frames drawn in %.1f s: %.1f fps)\n",
              int(rate), frames, seconds, frames / seconds);
}

void Memory() {
  const long before = ResidentBytes();
  platform::Window* window = platform::CreateOffscreenWindow(1024, 768);
  {
    PanoramaController c;
    c.Open(gPanorama.c_str(), window, 0, 30, 5);
    const long opened = ResidentBytes();
    c.TakeLock();
    c.RenderFrame();
    c.RenderFrame();
    const size_t buffers = c.environmentSet->StagingSize() + c.environmentSet->SlotBufferSize(0) +
                           c.environmentSet->SlotBufferSize(1);
    const size_t frames = size_t(c.frame.width) * c.frame.height * 3 * 2;
    c.ReleaseLock();
    const long drawn = ResidentBytes();
    std::printf("memory of an open controller (Mars 2048x1024, 24 bits): image buffers %.1f MiB "
                "allocated (staging + 2 slots), frame + cache at 1024x768 %.1f MiB; resident "
                "growth %.1f MiB after opening, %.1f MiB after two frames\n",
                buffers / 1048576.0, frames / 1048576.0, (opened - before) / 1048576.0,
                (drawn - before) / 1048576.0);
    c.Close();
  }
  platform::DestroyOffscreenWindow(window);
}

}  // namespace
}  // namespace kvp

int main(int argc, char** argv) {
  using namespace kvp;
  const std::string samples = KVP_SAMPLES_DIR;
  gPanorama = "/tmp/kvp-frame-bench-mars.pan";
  if (!PackSample(samples + "/mars-husband-hill-2048x1024.png", gPanorama)) return 0;

  Memory();
  const int32_t processors = std::min(platform::ProcessorCount(), kMaxWarpThreads);
  const std::pair<int32_t, int32_t> sizes[] = {{640, 480}, {1024, 768}, {1920, 1088}};
  for (auto [w, h] : sizes) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    benchmark::RegisterBenchmark(("warp_nearest24/" + size + "/threads:1").c_str(), WarpAlone, w,
                                 h, 0, 1)->Unit(benchmark::kMillisecond);
    for (int32_t threads : {1, processors}) {
      const std::string t = "/threads:" + std::to_string(threads);
      benchmark::RegisterBenchmark(("warp_smooth24/" + size + t).c_str(), WarpAlone, w, h, 1,
                                   threads)->Unit(benchmark::kMillisecond)->UseRealTime();
      if (processors == 1) break;
    }
    benchmark::RegisterBenchmark(("floor_gather/" + size).c_str(), Gather, w, h)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("floor_copy/" + size).c_str(), FrameCopy, w, h)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("frame_moving/" + size).c_str(), Frame, w, h, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("frame_first_still/" + size).c_str(), FirstStillFrame, w, h)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("frame_settled/" + size).c_str(), Frame, w, h, false)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  // CPU time per frame in ms, everything on one thread (the controller's warper too), except
  // the split smoothed frame, which is wall time at 1 and at every processor.
  std::printf("\nSummary (CPU ms per frame; aims in brackets; %d processors)\n", int(processors));
  const std::string all = "/threads:" + std::to_string(processors);
  for (auto [w, h] : sizes) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    auto get = [&](const std::string& what) { return reporter.Cpu(what + "/" + size); };
    const std::string one = "/" + size + "/threads:1", every = "/" + size + all;
    const double nearest1 = reporter.Cpu("warp_nearest24" + one);
    const double smooth1 = reporter.Cpu("warp_smooth24" + one);
    const double smoothWall1 = reporter.Wall("warp_smooth24" + one);
    const double smoothWallAll = reporter.Wall("warp_smooth24" + every);
    const double gather = get("floor_gather"), copy = get("floor_copy");
    const double moving = get("frame_moving"), settled = get("frame_settled");
    const double still = get("frame_first_still");
    std::printf("  %-9s warp nearest24 %.3f  smooth24 %.3f  moving %.3f  first still %.3f  "
                "settled %.3f  gather %.3f  copy %.3f\n",
                size.c_str(), nearest1, smooth1, moving, still, settled, gather, copy);
    std::printf("  %-9s moving/(warp+copy) %.2f [<= 1.3]  settled/(2 copies) %.2f [<= 1.5]  "
                "nearest24/gather %.2f [<= 1.5]  smooth24/nearest24 %.2f [<= 3]\n",
                "", moving / (nearest1 + copy), settled / (2 * copy), nearest1 / gather,
                smooth1 / nearest1);
    std::printf("  %-9s smooth24 frame (wall ms) at 1 thread %.3f, at %d threads %.3f: %.2fx\n",
                "", smoothWall1, int(processors), smoothWallAll, smoothWall1 / smoothWallAll);
  }
  SettledRate();
  benchmark::Shutdown();
  std::remove(gPanorama.c_str());
  return 0;
}
