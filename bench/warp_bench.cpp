// Speed of the warp engine's members against two baselines measured in the same run: the naive
// exact remap (two atan2 and a square root per pixel) and a gather through a precomputed
// offset map for the same view (what the memory traffic alone costs). Prints; never fails.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "data/picture_layout.h"
#include "render/projection.h"
#include "render/warp_engine.h"

namespace kvp {
namespace {

constexpr int32_t kPictureWidth = 4096, kPictureHeight = 2048;

struct ViewCase {
  const char* name;
  double heading, pitch, roll, fov;
};
const ViewCase kViews[] = {
    {"horizon", 30, 0, 0, 90},
    {"seam", 180, 10, 0, 90},
    {"pole", 0, 75, 0, 90},
};
struct SizeCase {
  int32_t w, h;
};
const SizeCase kSizes[] = {{640, 480}, {1024, 768}, {1920, 1088}};

// A picture with some texture at every depth; its content does not change the timing much.
const WarpPicture& Picture(int32_t depth) {
  static std::map<int32_t, WarpPicture> pictures;
  WarpPicture& picture = pictures[depth];
  if (picture.Width() == 0) {
    const size_t bytes = size_t(depth / 8);
    std::vector<uint8_t> rows(size_t(kPictureWidth) * kPictureHeight * bytes);
    uint32_t seed = 1;
    for (size_t i = 0; i < rows.size(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      rows[i] = uint8_t((i / bytes) % 251 + (seed >> 29));
    }
    picture.Assign(kPictureWidth, kPictureHeight, depth, rows.data());
  }
  return picture;
}

void Warp(benchmark::State& state, ViewCase view, SizeCase size, int32_t depth, int32_t quality) {
  const WarpPicture& picture = Picture(depth);
  std::vector<uint8_t> frame(size_t(size.w) * size.h * (depth / 8));
  WarpEngine engine;
  const double f = FocalLength(size.w, view.fov);
  for (auto _ : state) {
    engine.WarpFrame({view.heading, view.pitch, view.roll, f, 0, 0}, size.w, size.h, frame.data(),
                     kPictureWidth, kPictureHeight, picture.Pixels(), depth, quality);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_px"] = benchmark::Counter(
      double(size.w) * size.h * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}

// The exact picture pixel (byte offset from the first pixel) of every frame pixel.
void ExactOffsets(const ViewCase& view, SizeCase size, std::vector<int32_t>& offsets) {
  offsets.resize(size_t(size.w) * size.h);
  const double f = FocalLength(size.w, view.fov);
  double X0 = -size.w / 2.0, Y0 = -size.h / 2.0, Z0 = f;
  RotateView(view.heading, view.pitch, view.roll, 0, 0, X0, Y0, Z0);
  double rx = 1, ry = 0, rz = 0, ux = 0, uy = 1, uz = 0;
  RotateView(view.heading, view.pitch, view.roll, 0, 0, rx, ry, rz);
  RotateView(view.heading, view.pitch, view.roll, 0, 0, ux, uy, uz);
  const int32_t W = kPictureWidth, hm = kPictureHeight - 1;
  for (int32_t j = 0; j < size.h; ++j) {
    for (int32_t i = 0; i < size.w; ++i) {
      const double X = X0 + i * rx + j * ux, Y = Y0 + i * ry + j * uy, Z = Z0 + i * rz + j * uz;
      const double theta = std::atan2(X, Z) * RAD2DEG, phi = std::atan2(Y, std::sqrt(X * X + Z * Z)) * RAD2DEG;
      const int32_t c = int32_t((theta + 180) * W / 360) % W, r = int32_t((phi + 90) * hm / 180);
      offsets[size_t(j) * size.w + i] = (r * W + c) * 3;
    }
  }
}

// Baseline (a): the exact projection at every pixel, then the nearest 24-bit pixel.
void NaiveRemap(benchmark::State& state, ViewCase view, SizeCase size) {
  const WarpPicture& picture = Picture(24);
  std::vector<uint8_t> frame(size_t(size.w) * size.h * 3);
  std::vector<int32_t> offsets;
  for (auto _ : state) {
    ExactOffsets(view, size, offsets);  // two atan2 and a square root per pixel
    const uint8_t* src = picture.Pixels();
    for (size_t i = 0; i < offsets.size(); ++i) std::memcpy(&frame[3 * i], src + offsets[i], 3);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_px"] = benchmark::Counter(
      double(size.w) * size.h * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Baseline (b): the same view through a precomputed offset map, 4-byte overlapping copies.
void Gather(benchmark::State& state, ViewCase view, SizeCase size) {
  const WarpPicture& picture = Picture(24);
  std::vector<uint8_t> frame(size_t(size.w) * size.h * 3 + 1);
  std::vector<int32_t> offsets;
  ExactOffsets(view, size, offsets);
  for (auto _ : state) {
    const uint8_t* src = picture.Pixels();
    uint8_t* dst = frame.data();
    for (size_t i = 0; i < offsets.size(); ++i) std::memcpy(dst + 3 * i, src + offsets[i], 4);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_px"] = benchmark::Counter(
      double(size.w) * size.h * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

const char* MemberName(int32_t depth, int32_t quality) {
  if (depth == 8) return "nearest8";
  if (depth == 16) return quality ? "smooth16" : "nearest16";
  return quality ? "smooth24" : "nearest24";
}

// Keeps each run's time per pixel so the summary can form the ratios.
class Reporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> nsPerPixel;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("ns_per_px");
      if (it != run.counters.end()) nsPerPixel[run.benchmark_name()] = double(it->second);
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

std::string Name(const char* what, const ViewCase& v, SizeCase s) {
  return std::string(what) + "/" + v.name + "/" + std::to_string(s.w) + "x" + std::to_string(s.h);
}

}  // namespace
}  // namespace kvp

int main(int argc, char** argv) {
  using namespace kvp;
  const std::pair<int32_t, int32_t> members[] = {{8, 0}, {16, 0}, {16, 1}, {24, 0}, {24, 1}};
  for (const ViewCase& v : kViews) {
    for (const SizeCase& s : kSizes) {
      for (auto [depth, quality] : members) {
        benchmark::RegisterBenchmark(Name(MemberName(depth, quality), v, s).c_str(), Warp, v, s,
                                     depth, quality)->Unit(benchmark::kMillisecond);
      }
    }
  }
  for (const ViewCase& v : kViews) {
    const SizeCase s = kSizes[1];
    benchmark::RegisterBenchmark(Name("baseline_naive", v, s).c_str(), NaiveRemap, v, s)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(Name("baseline_gather", v, s).c_str(), Gather, v, s)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  // Ratios at 1024 x 768, the targets in brackets.
  std::printf("\nSummary at 1024x768 (ns per pixel; single thread)\n");
  for (const ViewCase& v : kViews) {
    const SizeCase s = kSizes[1];
    auto get = [&](const std::string& n) {
      auto it = reporter.nsPerPixel.find(n);
      return it == reporter.nsPerPixel.end() ? NAN : it->second;
    };
    const double n24 = get(Name("nearest24", v, s)), s24 = get(Name("smooth24", v, s));
    const double n16 = get(Name("nearest16", v, s)), s16 = get(Name("smooth16", v, s));
    const double naive = get(Name("baseline_naive", v, s)), gather = get(Name("baseline_gather", v, s));
    std::printf("  %-8s nearest24 %.3f  naive %.3f  gather %.3f  | naive/nearest24 %.1fx [>= 25]"
                "  nearest24/gather %.2fx [<= 2, goal 1.5]  smooth24/nearest24 %.2fx [<= 3]"
                "  smooth16/nearest16 %.2fx [<= 3]\n",
                v.name, n24, naive, gather, naive / n24, n24 / gather, s24 / n24, s16 / n16);
  }
  benchmark::Shutdown();
  return 0;
}
