// The warp engine: turns the stored equirectangular picture into a perspective frame by
// evaluating the exact projection only at the corners of 32 x 32 blocks, interpolating 16.16
// picture coordinates inside them, and re-rendering the windows around the poles.
//
// Threads: a Warper and its engine belong to one panorama controller and are used by its
// render thread only (the controller lock is held for a whole frame). Nothing here locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "data/picture_layout.h"
#include "data/types.h"
#include "render/projection.h"
#include "render/warp_workers.h"

namespace kvp {

// The block loop: the exact projection at the corners of kWarpBlock x kWarpBlock blocks, with
// per-line steps of a corner difference shifted right by kWarpBlockShift.
constexpr int kWarpBlockShift = 5;
constexpr int32_t kWarpBlock = 1 << kWarpBlockShift;
// The pole pass: a kPoleWindow square of frame pixels around each visible pole, on the
// kPoleCell grid, is redrawn in cells of kPoleCell (2^kPoleCellShift) pixels, split in four
// down to single pixels where a cell straddles the seam or, when larger than half a cell,
// reaches within kPoleSplitFactor * Hm / f^2 rows of a pole (f: the focal length).
constexpr int32_t kPoleCell = 16;
constexpr int kPoleCellShift = 4;
constexpr int32_t kPoleWindow = 96;
constexpr double kPoleSplitFactor = 2048.0;
constexpr int32_t kMaxBlockColumns = 1023;
// Widest frame the fixed per-column arrays allow.
constexpr int32_t kMaxWarpFrameWidth = kMaxBlockColumns * kWarpBlock;  // 32736
// Splitting a frame's block rows across threads pays only when each part outweighs waking a
// helper and its cold caches: smaller frames are drawn by the render thread alone.
constexpr int32_t kWarpSplitMinPixels = 640 * 480;
constexpr int32_t kMaxWarpThreads = 16;

// Pixel offsets of picture rows (i * stride), rebuilt only when the stride or height changes.
// Entry -1 exists too: the lower pole can address row -1 (see PictureMargin).
class RowOffsetTable {
 public:
  RowOffsetTable();
  // Makes rows -1 .. hm (and a few more) available for `stride`.
  void Prepare(int32_t hm, int32_t stride);
  const int32_t* Rows() const { return entries_.data() + 1; }
  int32_t Stride() const { return stride_; }
  int32_t Capacity() const { return capacity_; }

 private:
  int32_t stride_ = 0;
  int32_t capacity_ = 1;
  std::vector<int32_t> entries_;  // entries_[i + 1] is row i
  bool built_ = false;
};

class WarpEngine {
 public:
  WarpEngine();
  ~WarpEngine();
  // Draws one frame through `camera`. w and h are positive multiples of 32 (w at most
  // kMaxWarpFrameWidth); `frame` holds w * h pixels of `depth` bits, rows bottom-up with pitch
  // w; `pixels` is the first pixel of a picture of pictureHeight rows at
  // WarpPictureStride(pictureWidth) pixels each, with the picture margin readable around it.
  // Returns 1 when drawn; 0, writing nothing, for an unsupported depth or quality (16 and 24
  // bits take quality 0 or 1) or sizes outside the limits above.
  int WarpFrame(const ViewCamera& camera, int32_t w, int32_t h, uint8_t* frame,
                int32_t pictureWidth, int32_t pictureHeight, const uint8_t* pixels, int32_t depth,
                int32_t quality);

  // Picture coordinates at frame pixel (i, j) for the camera of the last set-up (after the
  // origin shift, so columns are relative to the shifted picture base).
  void ScreenToImage(int32_t i, int32_t j, Fixed16& u, Fixed16& v) const;
  WarpCamera Camera() const;
  const RowOffsetTable& RowOffsets() const { return rowOffsets_; }

  // The origin shift of the last set-up, in pixels (for tests and tools).
  int32_t OriginShift() const { return originShift_; }

  // Threads that draw the block loop of a large frame (kWarpSplitMinPixels): the render thread
  // and threads - 1 helpers, which it waits for before WarpFrame returns; 1 (the default)
  // keeps it all on the render thread. The frame is the same, bit for bit, at any count.
  void SetThreads(int32_t threads);
  int32_t Threads() const { return int32_t(scratch_.size()); }

  // Set-up and the two passes, separately, so that tests can run the loop with an
  // instrumented member (see warp_loops.h). SetUp returns false for unsupported input.
  bool SetUp(const ViewCamera& camera, int32_t w, int32_t h, uint8_t* frame,
             int32_t pictureWidth, int32_t pictureHeight, const uint8_t* pixels, int32_t depth);
  template <class Member> void RunBlockLoop(const Member& member);
  template <class Member> void PolePass(const Member& nearest);

 private:
  struct Corner {
    Fixed16 u, v;
  };
  struct BlockCorners {
    Corner nextLeft, nextRight, left, right;  // next (upper) corner row first
  };
  struct Edges {
    Fixed16 leftU, leftV, rightU, rightV;
  };

  struct Ray {
    double x, y, z;
  };
  // A thread's working rows: one row of block corners; per block column its four corners,
  // its edges and their per-scanline increments.
  struct BlockScratch {
    Corner cornerRow[kMaxBlockColumns + 1];
    BlockCorners blocks[kMaxBlockColumns + 1];
    Edges edges[kMaxBlockColumns + 1];
    Edges edgeSteps[kMaxBlockColumns + 1];
  };

  // The first ray of corner rows 0 .. count - 1, summed step by step from the start.
  void PrepareRowRays(int32_t count);
  void EvaluateCornerRow(const Ray& start, int32_t count, Corner* row) const;
  int32_t SplitParts(int32_t blockRows) const;
  template <class Member>
  void DrawBlockRows(const Member& member, int32_t firstRow, int32_t endRow,
                     BlockScratch& scratch) const;
  template <class Member>
  void Subdivide(const Member& m, int32_t x, int32_t y, int32_t s, int k, Corner ul, Corner ur,
                 Corner ll, Corner lr);
  template <class Member>
  void DrawCell(const Member& m, int32_t x, int32_t y, int32_t s, int k, Corner ul, Corner ur,
                Corner ll, Corner lr);

  // Camera, and its rotation (the pole pass maps many points with it).
  double heading_ = 0, pitch_ = 0, roll_ = 0, focalLength_ = 0, xOffset_ = 0, yOffset_ = 0;
  ViewRotation rotation_{};
  // Frame.
  int32_t frameWidth_ = 0, frameHeight_ = 0, frameDepth_ = 0;
  uint8_t* frame_ = nullptr;
  // Picture: W (rounded stride), Hm = height - 1, depth, base moved by the origin shift.
  int32_t pictureW_ = 0, pictureHm_ = 0, pictureDepth_ = 0;
  const uint8_t* pictureBase_ = nullptr;
  // Ray of the current corner row's first corner, and the block steps.
  double rayX_ = 0, rayY_ = 0, rayZ_ = 0;
  double stepRightX_ = 0, stepRightY_ = 0, stepRightZ_ = 0;
  double stepUpX_ = 0, stepUpY_ = 0, stepUpZ_ = 0;
  std::vector<Ray> rowRays_;
  // One scratch per thread (index = part); helpers only while more than one thread is set.
  std::vector<std::unique_ptr<BlockScratch>> scratch_;
  std::unique_ptr<WarpWorkers> workers_;
  RowOffsetTable rowOffsets_;

  int32_t originShift_ = 0;
};

// Owns one WarpEngine (a large record: keep it on the heap) and adds the parallax correction.
class Warper {
 public:
  // Large frames are split across the machine's processors (up to kMaxWarpThreads).
  Warper();

  // The parallax-corrected camera for `pose` inside `box`, seen from the panorama's
  // `capture` point, then WarpFrame. Returns 0 (frame untouched) when the view ray leaves the
  // box nowhere, else WarpFrame's result.
  int RenderPanorama(const EnvironmentBox& box, const ViewPose& pose, const CapturePoint& capture,
                     int32_t w, int32_t h, uint8_t* frame, int32_t pictureWidth,
                     int32_t pictureHeight, const uint8_t* pixels, int32_t depth, int32_t quality);

  WarpEngine& Engine() { return *engine_; }

 private:
  std::unique_ptr<WarpEngine> engine_;
};

}  // namespace kvp

#include "render/warp_loops.h"
