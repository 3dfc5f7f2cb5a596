// Frame scheduling with the timer driven by hand: frames per tick, the stop, the notification,
// the rate adaptation and Close; and a soak with the real timer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include "controller/panorama_controller.h"
#include "data/environment_set.h"
#include "platform/platform.h"
#include "platform/testing.h"
#include "tests/data/tour_files.h"
#include "tests/diag/capture.h"
#include "tests/test_files.h"

namespace kvp {
namespace {

using test::TempDir;

// A 256 x 128 8-bit panorama of one bright colour.
std::string BrightImage(const TempDir& dir, const std::string& name, uint8_t red) {
  std::vector<uint8_t> table(kColourTableSize, 0);
  table[7 * 4 + 0] = 50;
  table[7 * 4 + 1] = 100;
  table[7 * 4 + 2] = red;
  std::vector<uint8_t> pixels(256 * 128, 7);
  return dir.Write(name, test::Container(authoring::MakePackedImage(256, 128, 8, pixels, table)));
}

// Waits until the render thread has dealt with `ticks` ticks in all (generous bound: the
// sanitizer builds under load are slow).
bool WaitForTicks(const PanoramaController& c, uint32_t ticks) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (c.ticksHandled.load() < ticks) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class Scheduling : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseManualTimers(true);
    window_ = platform::CreateOffscreenWindow(64, 48);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    c_.Close();
    platform::DestroyOffscreenWindow(window_);
    platform::UseManualTimers(false);
  }

  void Open(int16_t rate = 30) {
    c_.Open(BrightImage(dir_, "a.pan", 200).c_str(), window_, 0, rate, 5);
  }

  // Fires the one running timer and waits until the render thread has dealt with the tick.
  void Tick() {
    ASSERT_EQ(platform::ManualTimerCount(), 1u);
    ASSERT_TRUE(platform::FireTimer(platform::ManualTimerId(0)));
    ASSERT_TRUE(WaitForTicks(c_, ++ticks_));
  }

  TempDir dir_;
  platform::Window* window_ = nullptr;
  PanoramaController c_;
  uint32_t ticks_ = 0;
};

TEST_F(Scheduling, ThreeFramesOnThreeTicksThenTheStop) {
  Open();
  EXPECT_NE(c_.renderThread, nullptr);
  EXPECT_EQ(platform::ManualTimerCount(), 0u);  // nothing runs until frames are asked for
  EXPECT_EQ(c_.RequestFrames(3, 1), kStatusDone);
  ASSERT_EQ(platform::ManualTimerCount(), 1u);
  EXPECT_EQ(platform::ManualTimerDelay(platform::ManualTimerId(0)), 33u);
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ(c_.framesDrawn.load(), 3u);
  EXPECT_EQ(platform::ManualTimerCount(), 1u);
  Tick();  // finds nothing pending: the timer goes
  EXPECT_EQ(c_.framesDrawn.load(), 3u);
  EXPECT_EQ(platform::ManualTimerCount(), 0u);

  // The frames reached the window.
  std::vector<uint8_t> pixels(64 * 48 * 3);
  ASSERT_TRUE(platform::ReadWindowPixels(window_, pixels.data()));
  EXPECT_EQ(pixels[(24 * 64 + 32) * 3 + 2], 200);
  EXPECT_EQ(pixels[(24 * 64 + 32) * 3 + 1], 100);
}

// The step the render thread runs after each wake-up, run here on the test's thread as a page
// runs it on each animation frame: the real thread sleeps on, since no tick signal wakes it.
TEST_F(Scheduling, TheRenderStepDrawsAQueuedTickWithoutTheThread) {
  Open();
  // The real thread makes one step of its own as it starts, then parks on the tick signal; a
  // slow start (sanitizers, a busy machine) must not let that first step take the ticks below.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto queueTick = [this] {
    platform::Semaphore* queueLock = c_.tickQueue->lock;
    ASSERT_TRUE(platform::WaitSemaphore(queueLock, 5000));
    int32_t n = 0;
    EXPECT_TRUE(c_.tickQueue->Push(n));
    platform::ReleaseSemaphore(queueLock);
  };
  EXPECT_EQ(PanoramaController::RenderStep(&c_), platform::StepResult::kIdle);
  ASSERT_EQ(c_.RequestFrames(2, 1), kStatusDone);
  ASSERT_EQ(platform::ManualTimerCount(), 1u);

  queueTick();
  EXPECT_EQ(PanoramaController::RenderStep(&c_), platform::StepResult::kMore);
  EXPECT_EQ(c_.framesDrawn.load(), 1u);
  EXPECT_EQ(c_.framesPending, 1);
  std::vector<uint8_t> pixels(64 * 48 * 3);
  ASSERT_TRUE(platform::ReadWindowPixels(window_, pixels.data()));
  EXPECT_EQ(pixels[3 * (24 * 64 + 32) + 2], 200);  // the panorama's red, mid-window
  EXPECT_EQ(PanoramaController::RenderStep(&c_), platform::StepResult::kIdle);

  queueTick();
  queueTick();
  EXPECT_EQ(PanoramaController::RenderStep(&c_), platform::StepResult::kMore);
  EXPECT_EQ(c_.framesDrawn.load(), 2u);
  // No frames left: this tick stops the timer.
  EXPECT_EQ(PanoramaController::RenderStep(&c_), platform::StepResult::kMore);
  EXPECT_EQ(c_.framesDrawn.load(), 2u);
  EXPECT_EQ(c_.timerId, 0u);
  EXPECT_EQ(platform::ManualTimerCount(), 0u);
  EXPECT_EQ(c_.ticksHandled.load(), 3u);

  // Told to leave, the step ends the thread's work; Close then waits for the real thread.
  c_.leaving = true;
  EXPECT_EQ(PanoramaController::RenderStep(&c_), platform::StepResult::kDone);
  c_.Close();
  EXPECT_FALSE(c_.IsOpen());
}

TEST_F(Scheduling, ACountedTurnDrawsItsFramesAndStops) {
  Open();
  c_.SetView(170, 0, 0, 75, 0);
  EXPECT_EQ(c_.SetHeadingMotion(30, 15, 1), kStatusDone);
  EXPECT_EQ(c_.framesPending, 15);
  for (int i = 0; i < 15; ++i) Tick();
  Tick();
  EXPECT_EQ(c_.framesDrawn.load(), 15u);
  EXPECT_EQ(platform::ManualTimerCount(), 0u);
  double h, p, r, fov;
  c_.GetView(h, p, r, fov);
  EXPECT_NEAR(h, -175, 1e-9);  // 15 degrees on, through 180
}

TEST_F(Scheduling, AWaitingCallerIsReleasedByTheStop) {
  Open();
  EXPECT_EQ(c_.RequestFrames(-1, 2), kStatusRefused);
  std::atomic<int> returned{-1};
  std::thread waiter([&] { returned = c_.RequestFrames(2, 2); });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (platform::ManualTimerCount() == 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::yield();
  }
  Tick();
  Tick();
  EXPECT_EQ(returned.load(), -1);
  // While somebody waits, other requests are refused.
  EXPECT_EQ(c_.RequestFrames(1, 1), kStatusRefused);
  Tick();
  waiter.join();
  EXPECT_EQ(returned.load(), kStatusDone);
  EXPECT_EQ(c_.framesDrawn.load(), 2u);
}

TEST_F(Scheduling, ContinuousRunningAndItsEnd) {
  Open();
  c_.RequestFrames(-1, 1);
  for (int i = 0; i < 5; ++i) Tick();
  EXPECT_EQ(c_.RequestFrames(5, 1), kStatusDone);  // changes nothing
  Tick();
  EXPECT_EQ(c_.RequestFrames(0, 1), kStatusDone);  // one more frame, then the stop
  Tick();
  Tick();
  EXPECT_EQ(c_.framesDrawn.load(), 7u);
  EXPECT_EQ(platform::ManualTimerCount(), 0u);
}

TEST_F(Scheduling, FrameRateChangesRestartTheTimer) {
  Open(24);
  c_.RequestFrames(-1, 1);
  EXPECT_EQ(platform::ManualTimerDelay(platform::ManualTimerId(0)), 41u);
  EXPECT_EQ(c_.SetFrameRate(0), kStatusDone);
  EXPECT_EQ(c_.frameRate, 24);
  EXPECT_EQ(c_.adaptiveRate, 1);
  EXPECT_EQ(c_.SetFrameRate(12), kStatusDone);
  EXPECT_EQ(c_.adaptiveRate, 0);
  ASSERT_EQ(platform::ManualTimerCount(), 1u);
  EXPECT_EQ(platform::ManualTimerDelay(platform::ManualTimerId(0)), 83u);
}

TEST_F(Scheduling, TheLimitIsNotifiedOnce) {
  Open();
  c_.SetNotifyTarget(window_, 0x0400);
  const int32_t thumbnail[8] = {-360, 360, 0, 0, 0, 0, 60, 60};
  c_.SetViewLimits(2, thumbnail);
  c_.SetView(0, 0, 0, 90, 0);
  c_.RequestFrames(2, 1);
  Tick();
  Tick();
  Tick();
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  ASSERT_TRUE(platform::TakePostedMessage(window_, message, wParam, lParam));
  EXPECT_EQ(message, 0x0400u);
  EXPECT_EQ(wParam, 1u);
  EXPECT_EQ(lParam, 8);

  c_.SetView(0, 0, 0, 90, 0);
  c_.RequestFrames(1, 1);
  Tick();
  Tick();
  EXPECT_FALSE(platform::TakePostedMessage(window_, message, wParam, lParam));
}

TEST_F(Scheduling, CloseWhileRunningContinuously) {
  Open();
  c_.SetHeadingMotion(30, -1, 0);
  c_.RequestFrames(-1, 1);
  Tick();
  Tick();
  c_.Close();
  EXPECT_FALSE(c_.IsOpen());
  EXPECT_EQ(c_.renderThread, nullptr);
  EXPECT_EQ(platform::ManualTimerCount(), 0u);
  c_.Close();
  EXPECT_FALSE(c_.IsOpen());
}

// The rate adaptation, ticking the callback directly on a controller whose render thread does
// not exist, so the test alone decides what the queue holds.
class Adaptation : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseManualTimers(true);
    window_ = platform::CreateOffscreenWindow(32, 32);
    c_.Open(BrightImage(dir_, "a.pan", 200).c_str(), nullptr, 0, 0, 0);
    c_.window = window_;  // allows the adaptive rate; no render thread takes the ticks
  }
  void TearDown() override {
    c_.window = nullptr;
    c_.Close();
    platform::DestroyOffscreenWindow(window_);
    platform::UseManualTimers(false);
  }

  void Adaptive(int16_t rate) {
    ASSERT_EQ(c_.SetFrameRate(int16_t(-rate)), kStatusDone);
    ASSERT_EQ(c_.adaptiveRate, 1);
  }
  // One tick that finds the queue empty (the render thread kept up).
  void OnTime() {
    while (c_.tickQueue->Take()) {
    }
    PanoramaController::TimerTick(0, &c_);
  }
  // One tick that finds the queue full.
  void Dropped() {
    int32_t n;
    while (c_.tickQueue->Push(n)) {
    }
    PanoramaController::TimerTick(0, &c_);
  }

  TempDir dir_;
  platform::Window* window_ = nullptr;
  PanoramaController c_;
};

TEST_F(Adaptation, DropsLowerTheRate) {
  Adaptive(30);
  for (int i = 0; i < 12; ++i) OnTime();
  for (int i = 0; i < 3; ++i) Dropped();
  EXPECT_EQ(c_.frameRate, 24);
  EXPECT_EQ(c_.adaptiveRate, 1);
  EXPECT_EQ(c_.rateStep, 1);
  EXPECT_EQ(c_.windowTicks, 0);

  // At 5 frames a second three drops would give -1: the rate stays.
  Adaptive(5);
  for (int i = 0; i < 3; ++i) Dropped();
  EXPECT_EQ(c_.frameRate, 5);
  EXPECT_EQ(c_.droppedTicks, 0);
}

TEST_F(Adaptation, PerfectWindowsRaiseTheRateFasterAndFaster) {
  Adaptive(10);
  const int16_t expected[] = {11, 13, 17, 25, 25};
  for (int16_t rate : expected) {
    const int ticks = int(std::ceil(c_.frameRate * 0.5));
    for (int i = 0; i < ticks; ++i) OnTime();
    EXPECT_EQ(c_.frameRate, rate);
  }
  EXPECT_EQ(c_.rateStep, 32);

  // A window with one late tick (neither dropped nor on time) starts the steps again.
  const int ticks = int(std::ceil(c_.frameRate * 0.5));
  int32_t n;
  c_.tickQueue->Push(n);
  PanoramaController::TimerTick(0, &c_);
  for (int i = 1; i < ticks; ++i) OnTime();
  EXPECT_EQ(c_.frameRate, 25);
  EXPECT_EQ(c_.rateStep, 1);
}

TEST_F(Adaptation, AStillViewCountsNeitherWay) {
  Adaptive(30);
  c_.cache.valid = 1;
  c_.UpdateTickCounting();
  for (int i = 0; i < 15; ++i) OnTime();
  EXPECT_EQ(c_.frameRate, 30);
  EXPECT_EQ(c_.rateStep, 1);
  for (int i = 0; i < 15; ++i) Dropped();
  EXPECT_EQ(c_.frameRate, 30);
  EXPECT_EQ(c_.onTimeTicks + c_.droppedTicks + c_.windowTicks, 0);
}

// Continuous rotation through a tour that loads its next node in the background, with the
// real timer, then Close: no race (under the thread sanitizer), no deadlock, no lock time-out.
TEST(Soak, RotationThroughATourWithTheRealTimer) {
  const char* setting = std::getenv("KVP_SOAK_SECONDS");
  const int seconds = setting != nullptr ? std::atoi(setting) : 3;
  TempDir dir;
  BrightImage(dir, "a.pan", 200);
  BrightImage(dir, "b.pan", 150);
  BrightImage(dir, "c.pan", 100);
  const std::string tour = dir.Write(
      "tour.ini",
      "[Kestrelvue]\nVERSION=Release 2.0\n[Directory]\na.pan=0,0,0,3\nb.pan=4,0,0,3\n"
      "c.pan=8,0,0,3\n");
  test::Capture capture;
  platform::Window* window = platform::CreateOffscreenWindow(160, 120);
  ASSERT_NE(window, nullptr);
  {
    PanoramaController c;
    c.Open(tour.c_str(), window, 0, 0, 5);
    c.SetHeadingMotion(90, -1, 0);
    c.SetTravelDirection(-90, 0, 0);
    c.RequestFrames(-1, 1);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int leg = 0;
    while (std::chrono::steady_clock::now() < until) {
      // Walk back and forth along the nodes so that loads start and get cut off.
      c.SetForwardMotion(leg % 2 == 0 ? 20.0 : -20.0, 10, 0);
      ++leg;
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      double h, p, r, fov;
      EXPECT_EQ(c.GetView(h, p, r, fov), kStatusDone);
    }
    c.Close();
    EXPECT_GT(c.framesDrawn.load(), 0u);
  }
  platform::DestroyOffscreenWindow(window);
  for (const std::string& line : capture.Traces()) {
    EXPECT_EQ(line.find("\a*"), std::string::npos) << "lock time-out";
  }
}

}  // namespace
}  // namespace kvp
