// The environment set's loader: nearest nodes, clamping, slots, fast images, synchronous and
// background loads with their aborts and failures, and the lifetime of transfer workers.
// Interleavings are driven by latches in the transfer hooks, never by sleeps.
#include "data/environment_set.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "data/codec_bridge.h"
#include "data/picture_layout.h"
#include "platform/common/step_thread.h"
#include "platform/platform.h"
#include "tests/data/tour_files.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {

// Reaches the background start directly: only two callers racing could otherwise put a
// transfer into each slot.
struct EnvironmentSetTestAccess {
  static void StartBackgroundLoad(EnvironmentSet& set, int32_t node, int slot, int movement) {
    set.StartBackgroundLoad(node, slot, movement);
  }
};

namespace {

using test::Capture;

// A gate that holds chunk reads until opened (or lets a given number through), and counts
// finished workers.
class Latches : public TransferHooks {
 public:
  explicit Latches(bool closed) : open_(!closed) {}
  void BeforeChunk(const TransferRecord&) override {
    std::unique_lock<std::mutex> hold(lock_);
    ++chunks_;
    changed_.notify_all();
    changed_.wait(hold, [this] { return open_ || tickets_ > 0; });
    if (!open_) --tickets_;
  }
  void Admit(int n) {
    std::lock_guard<std::mutex> hold(lock_);
    tickets_ += n;
    changed_.notify_all();
  }
  void AfterCompletion() override {
    std::lock_guard<std::mutex> hold(lock_);
    ++completions_;
    changed_.notify_all();
  }
  void Open() {
    std::lock_guard<std::mutex> hold(lock_);
    open_ = true;
    changed_.notify_all();
  }
  void WaitChunks(int n) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return chunks_ >= n; });
  }
  void WaitCompletions(int n) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return completions_ >= n; });
  }
  int Completions() {
    std::lock_guard<std::mutex> hold(lock_);
    return completions_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  // --- protected by lock_
  bool open_;
  int tickets_ = 0;
  int chunks_ = 0;
  int completions_ = 0;
};

ViewPose At(double x, double y = 0, double z = 0) {
  ViewPose pose;
  pose.x = x;
  pose.y = y;
  pose.z = z;
  pose.heading = 10;
  pose.pitch = 5;
  pose.fieldOfView = 90;
  return pose;
}

// A tour in a temporary folder: image files and a description listing them.
class Tour {
 public:
  std::string Image(const std::string& name, const PackedImage& image, size_t padding = 0) {
    return dir_.Write(name, test::Container(image, padding));
  }
  std::string Describe(const std::string& text) { return dir_.Write("tour.ini", text); }
  const test::TempDir& Dir() const { return dir_; }

 private:
  test::TempDir dir_;
};

struct Request {
  int result;
  ViewPose pose;
  ViewPose centre;
  const uint8_t* image;
  int32_t environment;
};

Request Ask(EnvironmentSet& set, ViewPose pose, int movement = kMovementNormal) {
  Request r{};
  r.result = set.RequestImage(pose, r.centre, r.image, r.environment, movement);
  r.pose = pose;
  return r;
}

int32_t Open(EnvironmentSet& set, const std::string& path) {
  char error[256] = "";
  ViewPose start, minimum, maximum;
  const int32_t result = set.OpenEnvironments(path.c_str(), error, start, minimum, maximum,
                                              nullptr, nullptr);
  EXPECT_NE(result, 0) << error;
  return result;
}

// The first pixel of a delivered 8-bit image.
uint8_t FirstPixel(const uint8_t* image) { return image[kInfoHeaderSize + kColourTableSize]; }

// ---- Nearest nodes, clamping, prediction ------------------------------------------------------

TEST(EnvironmentSet, SingleImageFileIsOneNodeAtTheOriginThatEveryPoseGets) {
  Tour tour;
  const std::string file = tour.Image("hall.pan", test::FlatImage(64, 32, 7));
  EnvironmentSet set;
  EXPECT_EQ(Open(set, file), -1);
  ASSERT_EQ(set.NodeCount(), 1);
  EXPECT_EQ(set.Node(0).environment, 0);
  EXPECT_EQ(set.Node(0).nearest, -1);
  EXPECT_EQ(set.PredictNext(0, At(500, -3)), 0);

  for (double x : {0.0, 1000.0, -55.5}) {
    const Request r = Ask(set, At(x, x, x));
    ASSERT_EQ(r.result, kImageDelivered);
    EXPECT_EQ(r.pose.x, x);  // nothing clamps without a roaming radius
    EXPECT_EQ(r.centre.x, 0);
    EXPECT_EQ(r.centre.heading, 10);
    EXPECT_EQ(r.environment, 0);
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(ReadInfoHeader(r.image).width, 64);
    EXPECT_EQ(FirstPixel(r.image), 7);
  }
  EXPECT_EQ(set.SlotIndex(0), 0);
  EXPECT_EQ(set.SlotIndex(1), -1);
}

TEST(EnvironmentSet, NearestTiesGoToTheLowerIndex) {
  Tour tour;
  tour.Image("a.pan", test::FlatImage(16, 8, 1));
  tour.Image("b.pan", test::FlatImage(16, 8, 2));
  EnvironmentSet set;
  ASSERT_EQ(Open(set, tour.Describe("[Directory]\nb.pan=1,0,0,0\na.pan=-1,0,0,0\n")), 2);
  double distance = -1;
  EXPECT_EQ(set.FindNearest(0, 0, 0, &distance), 0);
  EXPECT_DOUBLE_EQ(distance, 1);
  EXPECT_EQ(set.FindNearest(0, 5, 0), 0);
  EXPECT_EQ(set.FindNearest(0.001, 0, 0), 0);
  EXPECT_EQ(set.FindNearest(-0.001, 0, 0), 1);
  const Request r = Ask(set, At(0, 3));
  ASSERT_EQ(r.result, kImageDelivered);
  EXPECT_EQ(FirstPixel(r.image), 2);  // b.pan, listed first
}

TEST(EnvironmentSet, PoseIsClampedIntoTheRoamingBox) {
  Tour tour;
  tour.Image("a.pan", test::FlatImage(16, 8, 1));
  EnvironmentSet set;
  ASSERT_EQ(Open(set, tour.Describe("[Directory]\na.pan=0, 0, 0, 2\n")), 1);
  Request r = Ask(set, At(5, -1, -3));
  EXPECT_EQ(r.result, kPoseClamped);
  EXPECT_EQ(r.pose.x, 2);
  EXPECT_EQ(r.pose.y, -1);
  EXPECT_EQ(r.pose.z, -2);
  ASSERT_NE(r.image, nullptr);  // clamped and delivered
  r = Ask(set, At(1, 2, -2));
  EXPECT_EQ(r.result, kImageDelivered);
  EXPECT_EQ(r.pose.x, 1);
}

TEST(EnvironmentSet, PredictNextStepsAlongTheMotion) {
  Tour tour;
  tour.Image("a.pan", test::FlatImage(16, 8, 1));
  tour.Image("b.pan", test::FlatImage(16, 8, 2));
  tour.Image("c.pan", test::FlatImage(16, 8, 3));
  EnvironmentSet set;
  ASSERT_EQ(Open(set, tour.Describe("[Directory]\na.pan=0,0,0,0\nb.pan=10,0,0,0\n"
                                    "c.pan=0,10,0,0\n")),
            3);
  // Last pose is node 0's capture point.
  EXPECT_EQ(set.PredictNext(0, At(0)), 0);        // no motion
  EXPECT_EQ(set.PredictNext(0, At(1)), 1);        // along +x
  EXPECT_EQ(set.PredictNext(0, At(0, 1)), 2);     // along +y
  EXPECT_EQ(set.PredictNext(0, At(-1)), 0);       // nothing that way
  EXPECT_EQ(set.PredictNext(0, At(9)), 1);        // already nearest to another node
}

// ---- Fast images and the movement flag -----------------------------------------------------------

class FastImages : public ::testing::Test {
 protected:
  std::string Tour(int fleetglider) {
    tour_.Image("room.pan", test::FlatImage(16, 8, 50));
    tour_.Image("room.pa_", test::FlatImage(16, 8, 60));
    return tour_.Describe("[Kestrelvue]\nFleetglider=" + std::to_string(fleetglider) +
                          "\n[Directory]\nroom.pan=0,0,0,0\n");
  }
  ::kvp::Tour tour_;
};

TEST_F(FastImages, FleetgliderOffAlwaysLoadsTheNormalImage) {
  EnvironmentSet set;
  ASSERT_EQ(Open(set, Tour(0)), 1);
  for (int movement : {kMovementFast, kMovementEither, kMovementNormal}) {
    const Request r = Ask(set, At(0), movement);
    ASSERT_EQ(r.result, kImageDelivered);
    EXPECT_EQ(FirstPixel(r.image), 50) << movement;
  }
  EXPECT_EQ(set.SlotVariant(0), 1);
  EXPECT_EQ(set.SlotIndex(1), -1);  // one load served all three
}

TEST_F(FastImages, EitherLoadsTheFastImageAndThenServesBoth) {
  EnvironmentSet set;
  ASSERT_EQ(Open(set, Tour(1)), 1);
  Request r = Ask(set, At(0), kMovementEither);
  ASSERT_EQ(r.result, kImageDelivered);
  EXPECT_EQ(FirstPixel(r.image), 60);
  EXPECT_EQ(set.SlotVariant(0), 0);
  r = Ask(set, At(0), kMovementFast);
  EXPECT_EQ(FirstPixel(r.image), 60);
  EXPECT_EQ(set.SlotIndex(1), -1);
  // The normal image is not in a slot: a second, synchronous load into slot 1.
  r = Ask(set, At(0), kMovementNormal);
  ASSERT_EQ(r.result, kImageDelivered);
  EXPECT_EQ(FirstPixel(r.image), 50);
  EXPECT_EQ(set.SlotIndex(1), 0);
  EXPECT_EQ(set.SlotVariant(1), 1);
  // Now either variant is found; "either" takes the first slot that holds the node.
  EXPECT_EQ(FirstPixel(Ask(set, At(0), kMovementEither).image), 60);
  EXPECT_EQ(FirstPixel(Ask(set, At(0), kMovementNormal).image), 50);
  EXPECT_EQ(FirstPixel(Ask(set, At(0), kMovementFast).image), 60);
}

TEST_F(FastImages, MissingFastImageFailsTheLoad) {
  EnvironmentSet set;
  ASSERT_EQ(Open(set, Tour(1)), 1);
  std::remove((tour_.Dir().Path() / "room.pa_").string().c_str());
  Capture capture;
  const Request r = Ask(set, At(0), kMovementFast);
  EXPECT_EQ(r.result, kAskAgain);
  EXPECT_EQ(r.image, nullptr);
  const std::string stream = capture.TraceStream();
  EXPECT_NE(stream.find("File I/O Error: "), std::string::npos);
  EXPECT_NE(stream.find("room.pa_\nCannot Read File\n"), std::string::npos) << stream;
  EXPECT_EQ(set.SlotIndex(0), -1);
}

// ---- Failures of synchronous loads -----------------------------------------------------------------

TEST(EnvironmentSet, BlockedNodeAnswersBlockedEveryTime) {
  Tour tour;
  tour.Image("a.pan", test::FlatImage(16, 8, 1));
  tour.Image("#hall.pan", test::FlatImage(16, 8, 2));
  EnvironmentSet set;
  ASSERT_EQ(Open(set, tour.Describe("[Directory]\na.pan=0,0,0,0\n#hall.pan=0, 10, 0, 2\n")), 2);
  Capture capture;
  for (int i = 0; i < 2; ++i) {
    const Request r = Ask(set, At(0, 9));
    EXPECT_EQ(r.result, kNodeIsBlocked);
    EXPECT_EQ(r.image, nullptr);
    EXPECT_EQ(r.environment, -1);
    EXPECT_EQ(r.centre.y, 10);
  }
  EXPECT_EQ(capture.TraceStream(), "BLOCKED\nBLOCKED\n");
}

TEST(EnvironmentSet, PackedImageOfOnlyAHeaderCannotBeRead) {
  Tour tour;
  PackedImage header;
  header.bytes = test::InfoHeaderBytes(16, 8, 8);
  const std::string file = tour.Image("empty.pan", header);
  EnvironmentSet set;
  ASSERT_EQ(Open(set, file), -1);
  Capture capture;
  const Request r = Ask(set, At(0));
  EXPECT_EQ(r.result, kAskAgain);
  EXPECT_EQ(r.image, nullptr);
  EXPECT_EQ(capture.TraceStream(), "Cannot Read File\n");
  EXPECT_EQ(set.SlotIndex(0), -1);
  EXPECT_FALSE(set.SlotFilling(0));
}

TEST(EnvironmentSet, ImageLargerThanTheSlotsIsRefusedNotWrittenPast) {
  Tour tour;
  // The largest file sizes the buffers, but its image is tiny; the second node's image is far
  // larger than the slots made for the first.
  tour.Image("a.pan", test::FlatImage(16, 8, 1), 40000);
  tour.Image("b.pan", test::FlatImage(160, 80, 2));
  EnvironmentSet set;
  ASSERT_EQ(Open(set, tour.Describe("[Directory]\na.pan=0,0,0,0\nb.pan=10,0,0,0\n")), 2);
  ASSERT_LT(set.SlotBufferSize(0), 160u * 80u);
  Capture capture;
  Request r = Ask(set, At(10));
  EXPECT_EQ(r.result, kAskAgain);
  EXPECT_EQ(capture.TraceStream(), "Cannot Read File\n");
  EXPECT_EQ(set.SlotIndex(0), -1);

  // In the background the same image leaves the slot empty (white marker) and the node open.
  Latches latches(false);
  set.SetTransferHooks(&latches);
  ASSERT_EQ(Ask(set, At(0)).result, kImageDelivered);
  ASSERT_EQ(Ask(set, At(1)).result, kImageDelivered);  // moving towards b
  latches.WaitCompletions(1);
  EXPECT_EQ(set.SlotIndex(1), -1);
  EXPECT_EQ(set.Node(1).status, kNodeUsable);
}

// ---- Background loads --------------------------------------------------------------------------------

class Background : public ::testing::Test {
 protected:
  void SetUp() override {
    tour_.Image("a.pan", test::FlatImage(64, 32, 11));
    tour_.Image("b.pan", test::FlatImage(64, 32, 22));
    tour_.Image("c.pan", test::FlatImage(64, 32, 33));
    // Chunks of 64 x 32 + 1064 bytes: one chunk each.
    description_ = tour_.Describe(
        "[Directory]\na.pan=0,0,0,0\nb.pan=10,0,0,0\nc.pan=0,-10,0,1\n");
  }
  Tour tour_;
  std::string description_;
};

TEST_F(Background, LoadStartedWhileMovingIsFoundCompleteLater) {
  Latches latches(false);
  EnvironmentSet set;
  set.SetTransferHooks(&latches);
  ASSERT_EQ(Open(set, description_), 3);
  ASSERT_EQ(Ask(set, At(0)).result, kImageDelivered);  // synchronous, slot 0
  EXPECT_EQ(set.SlotIndex(1), -1);
  Request r = Ask(set, At(1));  // moving towards b: its load starts
  ASSERT_EQ(r.result, kImageDelivered);
  EXPECT_EQ(FirstPixel(r.image), 11);
  latches.WaitCompletions(1);
  EXPECT_EQ(set.SlotIndex(1), 1);
  EXPECT_FALSE(set.SlotFilling(1));
  r = Ask(set, At(8));
  ASSERT_EQ(r.result, kImageDelivered);
  EXPECT_EQ(FirstPixel(r.image), 22);
  EXPECT_EQ(set.SlotIndex(0), 0);  // node a stays where it was
}

TEST_F(Background, SlotStillFillingAnswersTwoOrFour) {
  EnvironmentSet set;
  ASSERT_EQ(Open(set, description_), 3);
  ASSERT_EQ(Ask(set, At(0)).result, kImageDelivered);
  // Hold the background read of c before its first chunk.
  Latches held(true);
  set.SetTransferHooks(&held);
  ASSERT_EQ(Ask(set, At(0, -1)).result, kImageDelivered);
  held.WaitChunks(1);
  EXPECT_TRUE(set.SlotFilling(1));
  Request r = Ask(set, At(0, -9));
  EXPECT_EQ(r.result, kStillLoading);
  EXPECT_EQ(r.image, nullptr);
  r = Ask(set, At(3, -9));  // outside c's box: clamped, and 4 stands for 2
  EXPECT_EQ(r.result, kPoseClamped);
  EXPECT_EQ(r.image, nullptr);
  held.Open();
  held.WaitCompletions(1);
  r = Ask(set, At(0, -9));
  ASSERT_EQ(r.result, kImageDelivered);
  EXPECT_EQ(FirstPixel(r.image), 33);
}

TEST_F(Background, RequestElsewhereAbortsTheLoadThenLoadsSynchronously) {
  EnvironmentSet set;
  ASSERT_EQ(Open(set, description_), 3);
  ASSERT_EQ(Ask(set, At(0)).result, kImageDelivered);
  Latches held(true);
  set.SetTransferHooks(&held);
  ASSERT_EQ(Ask(set, At(1)).result, kImageDelivered);  // b starts loading into slot 1
  held.WaitChunks(1);
  Capture capture;
  // Slot 0 holds a, slot 1 fills with b; c is in neither: the load is asked to stop.
  Request r = Ask(set, At(0, -9));
  EXPECT_EQ(r.result, kAskAgain);
  EXPECT_EQ(r.image, nullptr);
  r = Ask(set, At(0, -9));  // the worker has not ended yet: asked again
  EXPECT_EQ(r.result, kAskAgain);
  held.Open();
  held.WaitCompletions(1);
  EXPECT_EQ(set.SlotIndex(1), -1);  // aborted: emptied
  EXPECT_FALSE(set.SlotFilling(1));
  r = Ask(set, At(0, -9));
  ASSERT_EQ(r.result, kImageDelivered);
  EXPECT_EQ(FirstPixel(r.image), 33);
  EXPECT_EQ(set.SlotIndex(1), 2);
  EXPECT_EQ(capture.TraceStream(), "");
}

TEST_F(Background, TwoTransfersAtACompletionCancelAll) {
  EnvironmentSet set;
  ASSERT_EQ(Open(set, description_), 3);
  Latches held(true);
  set.SetTransferHooks(&held);
  Capture capture;
  EnvironmentSetTestAccess::StartBackgroundLoad(set, 1, 0, kMovementNormal);
  EnvironmentSetTestAccess::StartBackgroundLoad(set, 2, 1, kMovementNormal);
  EXPECT_TRUE(set.SlotFilling(0));
  EXPECT_TRUE(set.SlotFilling(1));
  // One worker reads and completes while the other waits before its first chunk (they share
  // the staging buffer); the waiter then finds itself aborted.
  held.WaitChunks(2);
  held.Admit(1);
  held.WaitCompletions(1);
  held.Admit(1);
  held.WaitCompletions(2);
  held.Open();
  EXPECT_EQ(capture.TraceStream(), "Simultatious Transfer Completed -- Canceling all\n");
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(set.SlotIndex(k), -1);
    EXPECT_FALSE(set.SlotFilling(k));
  }
  // The next request loads synchronously.
  const Request r = Ask(set, At(10));
  ASSERT_EQ(r.result, kImageDelivered);
  EXPECT_EQ(FirstPixel(r.image), 22);
}

TEST_F(Background, MissingFileBlocksTheNode) {
  EnvironmentSet set;
  ASSERT_EQ(Open(set, description_), 3);
  ASSERT_EQ(Ask(set, At(0)).result, kImageDelivered);
  const std::string b = set.Node(1).path;
  ASSERT_EQ(std::remove(b.c_str()), 0);
  Capture capture;
  ASSERT_EQ(Ask(set, At(1)).result, kImageDelivered);
  const std::vector<std::string> traces = capture.Traces();
  ASSERT_EQ(traces.size(), 3u);
  EXPECT_EQ(traces[0].rfind("File I/O Error: ", 0), 0u);
  EXPECT_EQ(traces[0].back(), ' ');
  EXPECT_EQ(traces[1], b + "\n");
  EXPECT_EQ(traces[2], "1 Error\n");
  EXPECT_EQ(set.Node(1).status, kNodeBlocked);
  EXPECT_EQ(set.SlotIndex(1), -1);
  EXPECT_FALSE(set.SlotFilling(1));
  EXPECT_EQ(Ask(set, At(9)).result, kNodeIsBlocked);
}

TEST(EnvironmentSetWide, SynchronousAsStoredBackgroundPlacedInFourTimesTheRows) {
  Tour tour;
  tour.Image("a.pan", test::RowImage(60, 10, 100));
  tour.Image("b.pan", test::RowImage(60, 10, 100));
  EnvironmentSet set;
  Latches latches(false);
  set.SetTransferHooks(&latches);
  ASSERT_EQ(Open(set, tour.Describe("[Directory]\na.pan=0,0,0,0\nb.pan=10,0,0,0\n")), 2);

  Request r = Ask(set, At(0));
  ASSERT_EQ(r.result, kImageDelivered);
  BitmapInfoHeader h = ReadInfoHeader(r.image);
  EXPECT_EQ(h.height, 10);
  const uint8_t* pixels = r.image + kInfoHeaderSize + kColourTableSize;
  const size_t stride = size_t(WarpPictureStride(60));
  for (int row = 0; row < 10; ++row) EXPECT_EQ(pixels[size_t(row) * stride], 100 + row);

  ASSERT_EQ(Ask(set, At(1)).result, kImageDelivered);
  latches.WaitCompletions(1);
  r = Ask(set, At(10));
  ASSERT_EQ(r.result, kImageDelivered);
  h = ReadInfoHeader(r.image);
  EXPECT_EQ(h.height, 40);
  pixels = r.image + kInfoHeaderSize + kColourTableSize;
  const int placed = PlacementRow(10);
  ASSERT_EQ(placed, 15);
  for (int row = 0; row < 10; ++row) {
    EXPECT_EQ(pixels[size_t(placed + row) * stride], 100 + row);
    EXPECT_EQ(pixels[size_t(placed + row) * stride + 59], 100 + row);
  }
}

// ---- Layout for the warp engine --------------------------------------------------------------------

TEST(EnvironmentSetLayout, RowsAtTheWarpStrideWithTheMarginInsideTheSlot) {
  Tour tour;
  // 30 pixels is not a multiple of 4: the rows are spread to 32 apart. Tiny images give a
  // tenth of b far less than the margin, which the slot must keep anyway.
  const std::string file = tour.Image("odd.pan", test::RowImage(30, 6, 1));
  EnvironmentSet set;
  ASSERT_EQ(Open(set, file), -1);
  const Request r = Ask(set, At(0));
  ASSERT_EQ(r.result, kImageDelivered);
  const uint8_t* pixels = r.image + kInfoHeaderSize + kColourTableSize;
  for (int row = 0; row < 6; ++row) {
    EXPECT_EQ(pixels[size_t(row) * 32], 1 + row);
    EXPECT_EQ(pixels[size_t(row) * 32 + 29], 1 + row);
    EXPECT_EQ(pixels[size_t(row) * 32 + 30], 0);  // padding
  }
  const PictureMargin margin = WarpPictureMargin(30, 8);
  const size_t pixelsAt = set.SlotImageOffset(0) + kInfoHeaderSize + kColourTableSize;
  EXPECT_GE(pixelsAt, margin.before);
  EXPECT_LE(pixelsAt + 32 * 6 + margin.after, set.SlotBufferSize(0));
}

TEST(EnvironmentSetLayout, BuffersFollowTheLargestImage) {
  Tour tour;
  const PackedImage big = test::FlatImage(400, 200, 1);
  tour.Image("a.pan", test::FlatImage(40, 20, 1));
  tour.Image("b.pan", big);
  EnvironmentSet set;
  ASSERT_EQ(Open(set, tour.Describe("[Directory]\na.pan=0,0,0,0\nb.pan=1,0,0,0\n")), 2);
  const size_t b = big.bytes.size();
  EXPECT_EQ(set.StagingSize(), test::Container(big).size());  // the largest file
  EXPECT_EQ(set.SlotBufferSize(0), b * 12 / 10);
  EXPECT_EQ(set.SlotImageOffset(0), b / 10);
  EXPECT_EQ(set.SlotBufferSize(1), b * 12 / 10);
}

// ---- Threads and lifetime ---------------------------------------------------------------------------

TEST_F(Background, ConcurrentRequestIsRefusedWithoutTouchingAnything) {
  EnvironmentSet set;
  ASSERT_EQ(Open(set, description_), 3);
  Latches held(true);
  set.SetTransferHooks(&held);
  Request first{};
  std::thread loader([&] { first = Ask(set, At(0)); });  // synchronous load, held
  held.WaitChunks(1);
  const Request second = Ask(set, At(10));
  EXPECT_EQ(second.result, kAskAgain);
  EXPECT_EQ(second.image, nullptr);
  held.Open();
  loader.join();
  EXPECT_EQ(first.result, kImageDelivered);
  EXPECT_EQ(set.SlotIndex(0), 0);
  EXPECT_EQ(set.SlotIndex(1), -1);
}

TEST_F(Background, DestroyingTheSetWaitsForItsWorker) {
  auto set = std::make_unique<EnvironmentSet>();
  ASSERT_EQ(Open(*set, description_), 3);
  ASSERT_EQ(Ask(*set, At(0)).result, kImageDelivered);
  Latches held(true);
  set->SetTransferHooks(&held);
  ASSERT_EQ(Ask(*set, At(1)).result, kImageDelivered);
  held.WaitChunks(1);
  int completionsAtEnd = -1;
  std::thread closer([&] {
    set.reset();
    completionsAtEnd = held.Completions();
  });
  held.Open();
  closer.join();
  EXPECT_EQ(completionsAtEnd, 1);
}

TEST(Transfer, ReadsInChunksAndStopsAtTheEnd) {
  test::TempDir dir;
  std::vector<uint8_t> bytes(300000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 13);
  const std::string file = dir.Write("data.bin", bytes);
  std::vector<uint8_t> out(400000, 0);
  TransferRecord* record = OpenTransfer(file.c_str());
  ASSERT_NE(record->file, nullptr);
  record->cursor = out.data();
  record->remaining = 400000;
  record->chunk = kTransferChunk;
  EXPECT_EQ(RunTransfer(record), 300000u);
  EXPECT_EQ(std::memcmp(out.data(), bytes.data(), bytes.size()), 0);
  EXPECT_EQ(record->cursor, out.data() + 2 * kTransferChunk);  // the short chunk does not move it
  DestroyTransfer(record);
}

// A worker's steps as a page runs them, one chunk per animation frame, and the completion
// once, after the last chunk, with every byte counted.
TEST(Transfer, AWorkersStepsReadOneChunkEachAndCompleteAfterTheLast) {
  test::TempDir dir;
  std::vector<uint8_t> bytes(2 * kTransferChunk + 1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7);
  const std::string file = dir.Write("data.bin", bytes);
  std::vector<uint8_t> out(bytes.size(), 0);
  TransferRecord* record = OpenTransfer(file.c_str());
  ASSERT_NE(record->file, nullptr);
  struct Done {
    int calls = 0;
    uint32_t bytes = 0;
  } done;
  record->cursor = out.data();
  record->remaining = uint32_t(bytes.size());
  record->chunk = kTransferChunk;
  record->context = &done;
  record->completion = [](void* context, TransferRecord*, uint8_t*, uint32_t n) {
    ++static_cast<Done*>(context)->calls;
    static_cast<Done*>(context)->bytes = n;
  };
  platform::common::StepPump pump;
  platform::common::StepTask* task = pump.Add(&TransferStep, record, nullptr);
  for (uint32_t round = 1; round <= 2; ++round) {
    EXPECT_EQ(pump.RunRound(), 1);
    EXPECT_EQ(record->transferred, round * kTransferChunk);
    EXPECT_EQ(done.calls, 0);
  }
  EXPECT_EQ(pump.RunRound(), 1);  // the last, short chunk, the finish and the completion
  EXPECT_TRUE(task->ended);
  EXPECT_EQ(done.calls, 1);
  EXPECT_EQ(done.bytes, bytes.size());
  EXPECT_EQ(record->completion, nullptr);
  EXPECT_EQ(out, bytes);
  pump.Close(task);
  DestroyTransfer(record);
}

TEST(Transfer, MissingFileIsTracedAndStillGivesARecord) {
  Capture capture;
  TransferRecord* record = OpenTransfer("/no/such/folder/file.pan");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->file, nullptr);
  const std::vector<std::string> traces = capture.Traces();
  ASSERT_EQ(traces.size(), 2u);
  EXPECT_EQ(traces[0].rfind("File I/O Error: ", 0), 0u);
  EXPECT_EQ(traces[1], "/no/such/folder/file.pan\n");
  DestroyTransfer(record);
}

}  // namespace
}  // namespace kvp
