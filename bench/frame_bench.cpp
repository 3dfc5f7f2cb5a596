// What a whole frame costs through the controller (warp, sprites, blit into the offscreen
// window), the frame rate the adaptive scheduler settles at with the real timer, and the memory
// an open controller holds. Uses the Mars panorama from samples/. Prints; never fails.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "controller/panorama_controller.h"
#include "data/environment_set.h"
#include "platform/platform.h"
#include "tools/authoring/picture_io.h"
#include "tools/authoring/writer.h"

namespace kvp {
namespace {

std::string gPanorama;  // the Mars sample packed as a 24-bit container

bool PackSample(const std::string& source, const std::string& target) {
  authoring::Picture picture;
  PackedImage image;
  std::string error;
  ViewFields view;
  view.fov = 90;
  if (!authoring::LoadPicture(source, picture, &error) ||
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
  c.SetView(30, -5, 0, 90, 0);
  if (moving) c.SetHeadingMotion(30, -1, 0);
  c.TakeLock();
  c.RenderFrame();
  c.RenderFrame();
  for (auto _ : state) benchmark::DoNotOptimize(c.RenderFrame());
  c.ReleaseLock();
  state.counters["ns_per_pixel"] = benchmark::Counter(
      double(w) * h, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  c.Close();
  platform::DestroyOffscreenWindow(window);
}

// The frame after the view stops: the smoothed warp and the cache fill. Each iteration moves
// the view (a fast frame, not timed) and then times the first still frame.
void FirstStillFrame(benchmark::State& state, int32_t w, int32_t h) {
  platform::Window* window = platform::CreateOffscreenWindow(w, h);
  PanoramaController c;
  c.Open(gPanorama.c_str(), window, 0, 30, 5);
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
  c.Close();
  platform::DestroyOffscreenWindow(window);
}

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
  const std::pair<int32_t, int32_t> sizes[] = {{640, 480}, {1024, 768}, {1920, 1088}};
  for (auto [w, h] : sizes) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    benchmark::RegisterBenchmark(("frame_moving/" + size).c_str(), Frame, w, h, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("frame_first_still/" + size).c_str(), FirstStillFrame, w, h)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("frame_settled/" + size).c_str(), Frame, w, h, false)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  SettledRate();
  benchmark::Shutdown();
  std::remove(gPanorama.c_str());
  return 0;
}
