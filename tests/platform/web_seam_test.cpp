// The web side's portable parts on both builds: the timer pump the animation frame drives, the
// pump of stepped threads, the threaded step loop, and the path kept for each fetched URL.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/common/step_thread.h"
#include "platform/common/timer_pump.h"
#include "platform/common/url_paths.h"
#include "platform/platform.h"

namespace {

using platform::StepResult;
using platform::common::StepPump;
using platform::common::StepTask;
using platform::common::TimerPump;

// ---- Timer pump ----------------------------------------------------------------------------------

struct Calls {
  std::vector<uint32_t> ids;
  TimerPump* pump = nullptr;
  uint32_t replaceWithDelay = 0;  // a call kills its own timer and starts one of this delay
  uint32_t replacement = 0;
};

void Record(uint32_t id, void* user) {
  auto* calls = static_cast<Calls*>(user);
  calls->ids.push_back(id);
  if (calls->replaceWithDelay != 0 && calls->replacement == 0) {
    calls->pump->Kill(id);
    calls->replacement = calls->pump->Start(calls->replaceWithDelay, &Record, user);
  }
}

TEST(TimerPump, FiresOncePerPeriodPassedAndCatchesUpOnlyAsFarAsTheQueueCouldHold) {
  TimerPump pump(100);
  Calls calls;
  const uint32_t id = pump.Start(33, &Record, &calls);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(pump.Fire(32.9), 0);
  EXPECT_EQ(pump.Fire(33), 1);
  EXPECT_EQ(pump.Fire(60), 0);
  EXPECT_EQ(pump.Fire(100), 2);  // due at 66 and 99
  // A hidden tab: ten seconds pass; five calls, then the next is a period after now.
  EXPECT_EQ(pump.Fire(10100), TimerPump::kMaxCatchUp);
  EXPECT_EQ(pump.Fire(10132), 0);
  EXPECT_EQ(pump.Fire(10133), 1);
  // A clock that goes backwards fires nothing and does not move the timers.
  EXPECT_EQ(pump.Fire(5000), 0);
  EXPECT_EQ(pump.Now(), 10133);
  EXPECT_EQ(calls.ids.size(), 9u);
  for (uint32_t called : calls.ids) EXPECT_EQ(called, id);
  EXPECT_TRUE(pump.Kill(id));
  EXPECT_FALSE(pump.Kill(id));
  EXPECT_EQ(pump.Fire(20000), 0);
}

TEST(TimerPump, ACallbackReplacesItsOwnTimerWhichIsDueAPeriodAfterThatCall) {
  TimerPump pump(100);
  Calls calls;
  calls.pump = &pump;
  calls.replaceWithDelay = 50;
  const uint32_t first = pump.Start(10, &Record, &calls);
  // The first timer is killed by its first call: no catch-up calls follow.
  EXPECT_EQ(pump.Fire(45), 1);
  ASSERT_NE(calls.replacement, 0u);
  EXPECT_NE(calls.replacement, first);
  EXPECT_EQ(pump.Count(), 1u);
  EXPECT_EQ(pump.Fire(94), 0);
  EXPECT_EQ(pump.Fire(95), 1);
  EXPECT_EQ(calls.ids.back(), calls.replacement);
}

TEST(TimerPump, RefusesWhatTimeSetEventRefusesAndKeepsIdsBelowItsLimit) {
  TimerPump pump(4);
  Calls calls;
  EXPECT_EQ(pump.Start(0, &Record, &calls), 0u);
  EXPECT_EQ(pump.Start(10, nullptr, &calls), 0u);
  const uint32_t a = pump.Start(10, &Record, &calls);
  const uint32_t b = pump.Start(10, &Record, &calls);
  const uint32_t c = pump.Start(10, &Record, &calls);
  EXPECT_EQ(pump.Start(10, &Record, &calls), 0u);  // ids 1..3 are all in use
  EXPECT_EQ((std::vector<uint32_t>{a, b, c}), (std::vector<uint32_t>{1, 2, 3}));
  pump.Kill(b);
  EXPECT_EQ(pump.Start(10, &Record, &calls), 2u);  // wrapped, skipping the ids in use
}

// ---- Stepped threads -----------------------------------------------------------------------------

// A thread of `work` steps that idles after each `idleEvery` steps until woken.
struct Worker {
  int work = 0;
  int idleEvery = 0;
  int done = 0;
  platform::Semaphore* wake = nullptr;
  StepPump* pump = nullptr;
  StepTask* closeOnFirstStep = nullptr;
};

StepResult Work(void* argument) {
  auto* w = static_cast<Worker*>(argument);
  if (w->closeOnFirstStep != nullptr) {
    w->pump->Close(w->closeOnFirstStep);
    w->closeOnFirstStep = nullptr;
  }
  if (w->done == w->work) return StepResult::kDone;
  ++w->done;
  if (w->idleEvery != 0 && w->done % w->idleEvery == 0) return StepResult::kIdle;
  return StepResult::kMore;
}

TEST(StepPump, ARoundRunsOneStepOfEachTaskAndAnIdleTaskOnlyOnceWoken) {
  StepPump pump;
  platform::Semaphore* wake = platform::MakeSemaphore(0, 1);
  Worker busy{3, 0, 0, nullptr};
  Worker sleepy{4, 2, 0, wake};
  StepTask* b = pump.Add(&Work, &busy, nullptr);
  StepTask* s = pump.Add(&Work, &sleepy, wake);
  EXPECT_EQ(pump.RunRound(), 2);
  EXPECT_EQ(pump.RunRound(), 2);  // sleepy has done 2 and idles now
  EXPECT_TRUE(s->idle);
  EXPECT_EQ(pump.RunRound(), 1);
  EXPECT_EQ(busy.done, 3);
  EXPECT_EQ(pump.RunRound(), 1);  // busy's last step says done
  EXPECT_TRUE(b->ended);
  EXPECT_EQ(pump.RunRound(), 0);
  ASSERT_TRUE(platform::ReleaseSemaphore(wake));
  EXPECT_EQ(pump.RunRound(), 1);  // the wake's count is taken
  EXPECT_EQ(sleepy.done, 3);
  EXPECT_FALSE(platform::WaitSemaphore(wake, 0));
  // Waiting for the end runs the task here until it idles with nothing to wake it.
  EXPECT_FALSE(pump.RunUntilEnded(s));
  EXPECT_EQ(sleepy.done, 4);
  ASSERT_TRUE(platform::ReleaseSemaphore(wake));
  EXPECT_TRUE(pump.RunUntilEnded(s));
  pump.Close(b);
  pump.Close(s);
  EXPECT_EQ(pump.TaskCount(), 0u);
  platform::CloseSemaphore(wake);
}

TEST(StepPump, AHandleClosedByAStepDuringARoundIsForgottenOnlyOnceTheRoundIsOver) {
  StepPump pump;
  Worker first{1, 0, 0, nullptr};
  Worker second{1, 0, 0, nullptr};
  StepTask* a = pump.Add(&Work, &first, nullptr);
  second.pump = &pump;
  pump.Add(&Work, &second, nullptr);
  pump.RunRound();
  EXPECT_EQ(pump.RunRound(), 2);
  EXPECT_TRUE(a->ended);
  // The second task's step closes the first, which the round has just walked past.
  Worker third{1, 0, 0, nullptr};
  third.pump = &pump;
  third.closeOnFirstStep = a;
  pump.Add(&Work, &third, nullptr);
  EXPECT_EQ(pump.RunRound(), 1);
  EXPECT_EQ(pump.TaskCount(), 2u);  // first forgotten after the round
}

TEST(StepThread, ARealThreadRunsTheStepsWaitingOnTheWakeWhenIdle) {
  platform::Semaphore* wake = platform::MakeSemaphore(0, 1);
  Worker w{6, 2, 0, wake};
  platform::Thread* thread = platform::StartStepThread(&Work, &w, wake);
  ASSERT_NE(thread, nullptr);
  // Two steps, then it idles until each release: three releases see it to its end.
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(platform::WaitThread(thread, 20));
    while (!platform::ReleaseSemaphore(wake)) platform::Sleep(1);
  }
  EXPECT_TRUE(platform::WaitThread(thread, 10000));
  EXPECT_EQ(w.done, 6);
  platform::CloseThread(thread);
  platform::CloseSemaphore(wake);
}

// ---- URL paths -----------------------------------------------------------------------------------

TEST(UrlPaths, EachUrlHasOnePathUnderTheRootAndTheNamesBesideItResolveBack) {
  using platform::common::PathForUrl;
  using platform::common::UrlForPath;
  EXPECT_EQ(PathForUrl("https://example.org/tours/hall.pan"),
            "/url/https/example.org/tours/hall.pan");
  EXPECT_EQ(PathForUrl("http://127.0.0.1:8080/a%20b/x.pan?v=2#top"),
            "/url/http/127.0.0.1:8080/a b/x.pan?v=2");
  EXPECT_EQ(PathForUrl("http://h"), "/url/http/h/");
  // Escapes that would make a separator, a query, a control character or an escape stay.
  EXPECT_EQ(PathForUrl("http://h/a%2Fb%3F%25%0a.pan"), "/url/http/h/a%2Fb%3F%25%0a.pan");
  for (const char* refused :
       {"", "hall.pan", "/abs/hall.pan", "://h/x", "ht tp://h/x", "http:///x", "http://h/../x",
        "http://h/a/%2e%2e/x", "http://h/./x", "http://h/a\\b", "http://h/a\nb"}) {
    EXPECT_EQ(PathForUrl(refused), "") << refused;
  }

  EXPECT_EQ(UrlForPath("/url/https/example.org/tours/room 1.pan"),
            "https://example.org/tours/room%201.pan");
  EXPECT_EQ(UrlForPath("/url/http/h/caf\xC3\xA9.pan?v=1"), "http://h/caf%C3%A9.pan?v=1");
  EXPECT_EQ(UrlForPath("/url/http/h"), "http://h/");
  for (const char* refused : {"/tmp/x.pan", "/url/", "/url/http", "/url//h/x", "/url/http//x"}) {
    EXPECT_EQ(UrlForPath(refused), "") << refused;
  }
  for (const char* url : {"https://example.org/tours/room%201.pan", "http://h:81/a/b.pa_?q=1",
                          "http://h/caf%C3%A9.pan"}) {
    EXPECT_EQ(UrlForPath(PathForUrl(url)), url);
  }
}

}  // namespace
