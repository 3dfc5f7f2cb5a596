// The warp engine's set-up, corner evaluation and member choice, and the Warper around it.
#include "render/warp_engine.h"

#include "platform/platform.h"

#include <algorithm>
#include <cmath>

namespace kvp {

RowOffsetTable::RowOffsetTable() : entries_(2, 0) {}

void RowOffsetTable::Prepare(int32_t hm, int32_t stride) {
  // Rows 0 .. hm are addressed (the top row at the pole), plus row -1 below the lower pole.
  if (capacity_ < hm + 1) {
    capacity_ = hm + 10;
    entries_.assign(size_t(capacity_) + 1, 0);
    built_ = false;
  }
  if (!built_ || stride_ != stride) {
    for (int32_t i = -1; i < capacity_; ++i) entries_[size_t(i + 1)] = i * stride;
    stride_ = stride;
    built_ = true;
  }
}

WarpEngine::WarpEngine() { SetThreads(1); }

WarpEngine::~WarpEngine() = default;

void WarpEngine::SetThreads(int32_t threads) {
  if (threads < 1) threads = 1;
  if (threads > kMaxWarpThreads) threads = kMaxWarpThreads;
  if (threads == Threads()) return;
  workers_.reset();  // ends the old helpers before their scratch goes
  scratch_.resize(size_t(threads));
  for (auto& s : scratch_) {
    if (s == nullptr) s = std::make_unique<BlockScratch>();
  }
  if (threads > 1) workers_ = std::make_unique<WarpWorkers>(threads - 1);
}

void WarpEngine::PrepareRowRays(int32_t count) {
  if (rowRays_.size() < size_t(count)) rowRays_.resize(size_t(count));
  Ray ray{rayX_, rayY_, rayZ_};
  for (int32_t i = 0; i < count; ++i) {
    rowRays_[size_t(i)] = ray;
    ray.x += stepUpX_;
    ray.y += stepUpY_;
    ray.z += stepUpZ_;
  }
}

void WarpEngine::EvaluateCornerRow(const Ray& start, int32_t count, Corner* row) const {
  double X = start.x, Y = start.y, Z = start.z;
  for (int32_t i = 0; i < count; ++i) {
    MapToImage(X, Y, Z, pictureW_, pictureHm_, row[i].u, row[i].v);
    X += stepRightX_;
    Y += stepRightY_;
    Z += stepRightZ_;
  }
}

int32_t WarpEngine::SplitParts(int32_t blockRows) const {
  if (workers_ == nullptr || int64_t(frameWidth_) * frameHeight_ < kWarpSplitMinPixels) return 1;
  return std::min(workers_->Parts(), blockRows);
}

bool WarpEngine::SetUp(const ViewCamera& camera, int32_t w, int32_t h, uint8_t* frame,
                       int32_t pictureWidth, int32_t pictureHeight, const uint8_t* pixels,
                       int32_t depth) {
  if (w <= 0 || h <= 0 || w % kWarpBlock != 0 || h % kWarpBlock != 0 ||
      w > kMaxWarpFrameWidth || frame == nullptr || pixels == nullptr) {
    return false;
  }
  if (pictureWidth <= 0 || pictureHeight <= 0 || pictureWidth > kMaxWarpPictureWidth ||
      pictureHeight > kMaxWarpPictureHeight) {
    return false;
  }
  double heading = camera.heading;
  if (!std::isfinite(heading) || !std::isfinite(camera.pitch) || !std::isfinite(camera.roll) ||
      !std::isfinite(camera.focalLength) || !std::isfinite(camera.xOffset) ||
      !std::isfinite(camera.yOffset)) {
    return false;
  }

  pitch_ = camera.pitch;
  roll_ = camera.roll;
  focalLength_ = camera.focalLength;
  xOffset_ = camera.xOffset;
  yOffset_ = camera.yOffset;
  frameWidth_ = w;
  frameHeight_ = h;
  frameDepth_ = depth;
  frame_ = frame;
  pictureDepth_ = depth;

  // Heading into [0, 360]. Far-off values are folded first so the loops below stay short;
  // within a few turns the repeated subtraction is kept, since it decides the exact bits.
  if (std::fabs(heading) > 3600) heading = std::fmod(heading, 360.0);
  while (heading > 360) heading -= 360;
  while (heading < 0) heading += 360;

  // Origin shift: turn the picture so that the camera looks within a pixel of heading 270,
  // which puts the seam 90 degrees to the right of the view centre.
  originShift_ = int32_t((270 - heading) * pictureWidth / 360);
  pictureBase_ = pixels + ptrdiff_t(originShift_) * (depth / 8);
  heading_ = heading + originShift_ * 360.0 / pictureWidth;

  pictureHm_ = pictureHeight - 1;
  pictureW_ = WarpPictureStride(pictureWidth);
  rowOffsets_.Prepare(pictureHm_, pictureW_);

  // Lower-left corner ray (exact halves) and the camera-space steps of one block.
  rotation_ = MakeViewRotation(heading_, pitch_, roll_);
  rayX_ = -w / 2.0;
  rayY_ = -h / 2.0;
  rayZ_ = focalLength_;
  ApplyViewRotation(rotation_, xOffset_, yOffset_, rayX_, rayY_, rayZ_);
  stepRightX_ = kWarpBlock;
  stepRightY_ = 0;
  stepRightZ_ = 0;
  ApplyViewRotation(rotation_, 0, 0, stepRightX_, stepRightY_, stepRightZ_);
  stepUpX_ = 0;
  stepUpY_ = kWarpBlock;
  stepUpZ_ = 0;
  ApplyViewRotation(rotation_, 0, 0, stepUpX_, stepUpY_, stepUpZ_);
  return true;
}

int WarpEngine::WarpFrame(const ViewCamera& camera, int32_t w, int32_t h, uint8_t* frame,
                          int32_t pictureWidth, int32_t pictureHeight, const uint8_t* pixels,
                          int32_t depth, int32_t quality) {
  if (depth != 8 && depth != 16 && depth != 24) return 0;
  if (depth != 8 && quality != 0 && quality != 1) return 0;
  if (!SetUp(camera, w, h, frame, pictureWidth, pictureHeight, pixels, depth)) {
    return 0;
  }
  const int32_t* rows = rowOffsets_.Rows();
  switch (depth) {
    case 8: {
      const warp::Nearest8 nearest{pictureBase_, rows};
      RunBlockLoop(nearest);
      PolePass(nearest);
      break;
    }
    case 16: {
      const warp::Nearest16 nearest{pictureBase_, rows};
      if (quality == 1) {
        RunBlockLoop(warp::Smooth16{pictureBase_, pictureW_});
      } else {
        RunBlockLoop(nearest);
      }
      PolePass(nearest);
      break;
    }
    default: {
      const warp::Nearest24 nearest{pictureBase_, rows};
      if (quality == 1) {
        RunBlockLoop(warp::Smooth24{pictureBase_, pictureW_});
      } else {
        RunBlockLoop(nearest);
      }
      PolePass(nearest);
      break;
    }
  }
  return 1;
}

WarpCamera WarpEngine::Camera() const {
  WarpCamera c;
  c.heading = heading_;
  c.pitch = pitch_;
  c.roll = roll_;
  c.focalLength = focalLength_;
  c.xOffset = xOffset_;
  c.yOffset = yOffset_;
  c.frameWidth = frameWidth_;
  c.frameHeight = frameHeight_;
  c.pictureWidth = pictureW_;
  c.pictureHm = pictureHm_;
  return c;
}

// The same steps as kvp::ScreenToImage on Camera(), with the rotation computed once per frame.
void WarpEngine::ScreenToImage(int32_t i, int32_t j, Fixed16& u, Fixed16& v) const {
  double X = double(i) - double(frameWidth_ / 2);
  double Y = double(j) - double(frameHeight_ / 2);
  double Z = focalLength_;
  ApplyViewRotation(rotation_, xOffset_, yOffset_, X, Y, Z);
  MapToImage(X, Y, Z, pictureW_, pictureHm_, u, v);
}

Warper::Warper() : engine_(std::make_unique<WarpEngine>()) {
  engine_->SetThreads(platform::ProcessorCount());
}

int Warper::RenderPanorama(const EnvironmentBox& box, const ViewPose& pose,
                           const CapturePoint& capture, int32_t w, int32_t h, uint8_t* frame,
                           int32_t pictureWidth, int32_t pictureHeight, const uint8_t* pixels,
                           int32_t depth, int32_t quality) {
  ViewCamera camera{pose.heading, pose.pitch, pose.roll, 0, 0, 0};
  if (!CorrectParallax(box, pose, capture, w, camera.focalLength, camera.xOffset,
                       camera.yOffset)) {
    return 0;
  }
  return engine_->WarpFrame(camera, w, h, frame, pictureWidth, pictureHeight, pixels, depth,
                            quality);
}

}  // namespace kvp
