// The sample tour in samples/tour opens and streams like any tour: real panoramas, real files.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>

#include "data/environment_set.h"
#include "tests/data/tour_files.h"

namespace kvp {
namespace {

std::filesystem::path SampleTour() {
  return std::filesystem::path(KVP_SAMPLES_DIR) / "tour" / "tour.ini";
}

class Stopwatch : public TransferHooks {
 public:
  void AfterCompletion() override {
    std::lock_guard<std::mutex> hold(lock_);
    ++done_;
    changed_.notify_all();
  }
  void Wait(int n) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return done_ >= n; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  int done_ = 0;  // protected by lock_
};

TEST(SampleTour, OpensWithThreeNodesAndWalksFromTheSummitToTheRidge) {
  const std::filesystem::path tour = SampleTour();
  EnvironmentSet set;
  Stopwatch watch;
  char error[256] = "";
  ViewPose start, minimum, maximum;
  ASSERT_EQ(set.OpenEnvironments(tour.string().c_str(), error, start, minimum, maximum,
                                 nullptr, nullptr),
            3)
      << error;
  EXPECT_EQ(set.FastImagesEnabled(), 1);
  EXPECT_EQ(set.Node(0).environment, 1);
  EXPECT_EQ(set.Node(2).environment, 2);
  EXPECT_EQ(set.Node(0).nearest, 1);
  set.SetTransferHooks(&watch);

  ViewPose pose = start, centre;
  const uint8_t* image = nullptr;
  int32_t environment = -1;
  ASSERT_EQ(set.RequestImage(pose, centre, image, environment, kMovementNormal), 0);
  EXPECT_EQ(ReadInfoHeader(image).width, 512);
  EXPECT_EQ(environment, 1);
  // Walking towards the ridge prefetches it; arriving finds it decoded.
  pose.x = 1;
  pose.y = 0.25;
  ASSERT_EQ(set.RequestImage(pose, centre, image, environment, kMovementNormal), 0);
  watch.Wait(1);
  pose.x = 7;
  pose.y = 2;
  ASSERT_EQ(set.RequestImage(pose, centre, image, environment, kMovementNormal), 0);
  EXPECT_EQ(centre.x, 8);
  EXPECT_EQ(set.SlotIndex(1), 1);
  // On the move the fast image comes.
  ASSERT_EQ(set.RequestImage(pose, centre, image, environment, kMovementFast), 0);
  EXPECT_EQ(ReadInfoHeader(image).width, 256);
}

}  // namespace
}  // namespace kvp
