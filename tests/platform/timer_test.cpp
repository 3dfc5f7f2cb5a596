// Periodic timers on both builds: repeated calls, a callback replacing its own timer, a kill
// that waits for a running callback, and the manual timers tests drive by hand.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/platform.h"
#include "platform/testing.h"

namespace {

// Generous: a loaded machine or Wine may be slow, but a timer that never fires still fails.
constexpr uint32_t kPatience = 10000;

struct Ticks {
  platform::Semaphore* tick = platform::MakeSemaphore(0, 1000000);
  std::atomic<int> calls{0};
  std::atomic<int> inside{0};     // callbacks running at once, over all timers sharing it
  std::atomic<bool> overlapped{false};
  std::atomic<bool> killed{false};
  std::atomic<int> callsAfterKill{0};
  ~Ticks() { platform::CloseSemaphore(tick); }
};

void Tick(uint32_t, void* user) {
  auto* t = static_cast<Ticks*>(user);
  if (t->inside.fetch_add(1) != 0) t->overlapped = true;
  if (t->killed) ++t->callsAfterKill;
  ++t->calls;
  t->inside.fetch_sub(1);
  platform::ReleaseSemaphore(t->tick);
}

// Waits until `ticks` has been called `n` more times.
bool AwaitTicks(Ticks& ticks, int n) {
  for (int i = 0; i < n; ++i) {
    if (!platform::WaitSemaphore(ticks.tick, kPatience)) return false;
  }
  return true;
}

TEST(PeriodicTimer, FiresRepeatedlyOneCallbackAtATimeAndNeverAfterItsKill) {
  Ticks a, b;
  const uint32_t idA = platform::StartPeriodicTimer(2, 1, &Tick, &a);
  const uint32_t idB = platform::StartPeriodicTimer(3, 1, &Tick, &b);
  ASSERT_NE(idA, 0u);
  ASSERT_NE(idB, 0u);
  EXPECT_NE(idA, idB);
  ASSERT_TRUE(AwaitTicks(a, 5));
  ASSERT_TRUE(AwaitTicks(b, 5));

  EXPECT_TRUE(platform::KillTimer(idA));
  a.killed = true;
  EXPECT_FALSE(platform::KillTimer(idA));  // already gone
  // Time passes for the service, measured by the timer that still runs.
  ASSERT_TRUE(AwaitTicks(b, 10));
  EXPECT_TRUE(platform::KillTimer(idB));
  EXPECT_EQ(a.callsAfterKill, 0);
  EXPECT_FALSE(a.overlapped);
  EXPECT_FALSE(platform::KillTimer(0));
  EXPECT_EQ(platform::StartPeriodicTimer(5, 1, nullptr, nullptr), 0u);
}

// The frame scheduler's move: a callback kills its own timer and starts one at another rate.
struct Switcher {
  Ticks replacement;
  std::atomic<int> oldCalls{0};
  std::atomic<bool> switched{false};
  std::atomic<int> oldCallsAfterKill{0};
  std::atomic<uint32_t> newId{0};
  std::atomic<bool> killedItself{false};
};

void SwitchRate(uint32_t id, void* user) {
  auto* s = static_cast<Switcher*>(user);
  if (s->switched) ++s->oldCallsAfterKill;
  if (++s->oldCalls < 3) return;
  s->killedItself = platform::KillTimer(id);
  s->switched = true;
  s->newId = platform::StartPeriodicTimer(7, 1, &Tick, &s->replacement);
}

TEST(PeriodicTimer, CallbackReplacesItsOwnTimerWithOneOfAnotherDelay) {
  Switcher s;
  const uint32_t oldId = platform::StartPeriodicTimer(4, 1, &SwitchRate, &s);
  ASSERT_NE(oldId, 0u);
  ASSERT_TRUE(AwaitTicks(s.replacement, 5));
  EXPECT_TRUE(s.killedItself);
  EXPECT_NE(s.newId, 0u);
  EXPECT_NE(s.newId, oldId);
  EXPECT_FALSE(platform::KillTimer(oldId));
  EXPECT_EQ(s.oldCalls, 3);
  EXPECT_EQ(s.oldCallsAfterKill, 0);
  EXPECT_TRUE(platform::KillTimer(s.newId));
}

struct Blocker {
  platform::Semaphore* entered = platform::MakeSemaphore(0, 1);
  platform::Semaphore* proceed = platform::MakeSemaphore(0, 1);
  platform::Semaphore* killing = platform::MakeSemaphore(0, 1);
  platform::Semaphore* never = platform::MakeSemaphore(0, 1);
  std::atomic<int> calls{0};
  std::atomic<bool> returned{false};
  ~Blocker() {
    for (platform::Semaphore* s : {entered, proceed, killing, never}) platform::CloseSemaphore(s);
  }
};

void BlockOnce(uint32_t, void* user) {
  auto* b = static_cast<Blocker*>(user);
  if (++b->calls != 1) return;
  platform::ReleaseSemaphore(b->entered);
  platform::WaitSemaphore(b->proceed, platform::kInfinite);
  b->returned = true;
}

TEST(PeriodicTimer, KillFromAnotherThreadWaitsForTheRunningCallback) {
  Blocker b;
  const uint32_t id = platform::StartPeriodicTimer(2, 1, &BlockOnce, &b);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(platform::WaitSemaphore(b.entered, kPatience));
  // The releaser lets the callback go a while after the kill has begun. A correct kill
  // returns after the callback whatever that while is; a kill that does not wait returns
  // during it, with the callback still blocked.
  std::thread releaser([&b] {
    platform::WaitSemaphore(b.killing, platform::kInfinite);
    platform::WaitSemaphore(b.never, 100);
    platform::ReleaseSemaphore(b.proceed);
  });
  platform::ReleaseSemaphore(b.killing);
  EXPECT_TRUE(platform::KillTimer(id));
  EXPECT_TRUE(b.returned);
  const int calls = b.calls;
  releaser.join();
  // Nothing more after the kill: a second timer's ticks show time passing.
  Ticks witness;
  const uint32_t other = platform::StartPeriodicTimer(2, 1, &Tick, &witness);
  ASSERT_TRUE(AwaitTicks(witness, 10));
  platform::KillTimer(other);
  EXPECT_EQ(b.calls, calls);
}

struct Manual {
  std::thread::id caller;
  bool onCaller = false;
  int calls = 0;
  uint32_t replacement = 0;
};

void ReplaceOnFire(uint32_t id, void* user) {
  auto* m = static_cast<Manual*>(user);
  m->onCaller = std::this_thread::get_id() == m->caller;
  ++m->calls;
  // Both calls re-enter the registry: the firing must not hold its lock.
  EXPECT_TRUE(platform::KillTimer(id));
  m->replacement = platform::StartPeriodicTimer(25, 1, &ReplaceOnFire, m);
}

TEST(ManualTimer, RecordsTimersFiresThemByHandAndAllowsReplacementFromTheCallback) {
  platform::UseManualTimers(true);
  Manual m;
  m.caller = std::this_thread::get_id();
  const uint32_t first = platform::StartPeriodicTimer(40, 1, &ReplaceOnFire, &m);
  const uint32_t second = platform::StartPeriodicTimer(60, 1, &ReplaceOnFire, &m);
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  EXPECT_NE(first, second);
  ASSERT_EQ(platform::ManualTimerCount(), 2u);
  EXPECT_EQ(platform::ManualTimerId(0), first);
  EXPECT_EQ(platform::ManualTimerId(1), second);
  EXPECT_EQ(platform::ManualTimerId(2), 0u);
  EXPECT_EQ(platform::ManualTimerDelay(first), 40u);
  EXPECT_EQ(platform::ManualTimerDelay(second), 60u);
  EXPECT_EQ(m.calls, 0);  // recorded, not running

  ASSERT_TRUE(platform::FireTimer(first));
  EXPECT_EQ(m.calls, 1);
  EXPECT_TRUE(m.onCaller);
  ASSERT_NE(m.replacement, 0u);
  EXPECT_NE(m.replacement, first);
  EXPECT_EQ(platform::ManualTimerCount(), 2u);
  EXPECT_EQ(platform::ManualTimerDelay(first), 0u);
  EXPECT_EQ(platform::ManualTimerDelay(m.replacement), 25u);
  EXPECT_FALSE(platform::FireTimer(first));
  EXPECT_EQ(m.calls, 1);

  EXPECT_TRUE(platform::KillTimer(second));
  EXPECT_FALSE(platform::KillTimer(second));
  EXPECT_TRUE(platform::KillTimer(m.replacement));
  EXPECT_EQ(platform::ManualTimerCount(), 0u);
  platform::UseManualTimers(false);
}

}  // namespace
