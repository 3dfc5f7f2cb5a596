// The seam's semaphores, threads and paths behave like the Win32 calls on both builds.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/platform.h"
#include "tests/test_files.h"

namespace {

TEST(Semaphore, CountsUpToItsMaximumAndTimesOut) {
  platform::Semaphore* s = platform::MakeSemaphore(1, 2);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(platform::ReleaseSemaphore(s));   // 2
  EXPECT_FALSE(platform::ReleaseSemaphore(s));  // above the maximum: refused
  EXPECT_TRUE(platform::WaitSemaphore(s, 0));
  EXPECT_TRUE(platform::WaitSemaphore(s, 0));
  EXPECT_FALSE(platform::WaitSemaphore(s, 0));   // empty: timed out at once
  EXPECT_FALSE(platform::WaitSemaphore(s, 20));  // and after a while
  platform::CloseSemaphore(s);
  EXPECT_EQ(platform::MakeSemaphore(2, 1), nullptr);
}

struct Handoff {
  platform::Semaphore* go;
  std::atomic<int> value{0};
};

uint32_t Release(void* argument) {
  auto* h = static_cast<Handoff*>(argument);
  h->value = 42;
  platform::ReleaseSemaphore(h->go);
  return 7;
}

TEST(Semaphore, WaiterMayCloseItAsSoonAsItHasItsCount) {
  // The releasing thread must be done with the semaphore when the waiter wakes.
  for (int i = 0; i < 200; ++i) {
    Handoff h;
    h.go = platform::MakeSemaphore(0, 1);
    platform::Thread* t = platform::StartThread(&Release, &h);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(platform::WaitSemaphore(h.go, platform::kInfinite));
    platform::CloseSemaphore(h.go);
    EXPECT_EQ(h.value, 42);
    EXPECT_TRUE(platform::WaitThread(t, platform::kInfinite));
    platform::CloseThread(t);
  }
}

uint32_t WaitForGo(void* argument) {
  platform::WaitSemaphore(static_cast<platform::Semaphore*>(argument), platform::kInfinite);
  return 0;
}

TEST(Thread, WaitReportsWhetherItEndedAndAnEarlyCloseLetsItRunOn) {
  platform::Semaphore* go = platform::MakeSemaphore(0, 1);
  platform::Thread* t = platform::StartThread(&WaitForGo, go);
  ASSERT_NE(t, nullptr);
  EXPECT_FALSE(platform::WaitThread(t, 0));
  EXPECT_FALSE(platform::WaitThread(t, 20));
  platform::ReleaseSemaphore(go);
  EXPECT_TRUE(platform::WaitThread(t, platform::kInfinite));
  EXPECT_TRUE(platform::WaitThread(t, 0));  // stays ended
  platform::CloseThread(t);

  // Closed while it waits: it runs on and ends when released.
  platform::Semaphore* done = platform::MakeSemaphore(0, 1);
  struct Pair {
    platform::Semaphore* go;
    platform::Semaphore* done;
  } pair{go, done};
  platform::Thread* detached = platform::StartThread(
      [](void* a) -> uint32_t {
        auto* p = static_cast<Pair*>(a);
        platform::WaitSemaphore(p->go, platform::kInfinite);
        platform::ReleaseSemaphore(p->done);
        return 0;
      },
      &pair);
  platform::CloseThread(detached);
  platform::ReleaseSemaphore(go);
  EXPECT_TRUE(platform::WaitSemaphore(done, 10000));
  platform::CloseSemaphore(go);
  platform::CloseSemaphore(done);
}

TEST(Paths, FullPathFoldsDotsAndTheCurrentDirectoryRoundTrips) {
  kvp::test::TempDir dir;
  char before[1024];
  ASSERT_GT(platform::ReadCurrentDirectory(before, sizeof before), 0u);
  ASSERT_TRUE(platform::ChangeCurrentDirectory(dir.Path().string().c_str()));
  char here[1024], full[1024], again[1024];
  ASSERT_GT(platform::ReadCurrentDirectory(here, sizeof here), 0u);
  const uint32_t n = platform::GetFullPath("x/../y/./z.pan", full, sizeof full);
  ASSERT_GT(n, 0u);
  const std::string sep(1, platform::IsPathSeparator('\\') ? '\\' : '/');
  EXPECT_EQ(std::string(full), std::string(here) + sep + "y" + sep + "z.pan");
  EXPECT_EQ(platform::GetFullPath(full, again, sizeof again), n);  // absolute stays
  EXPECT_STREQ(again, full);
  // Too small: the size needed, buffer untouched.
  char tiny[4] = "abc";
  EXPECT_EQ(platform::GetFullPath("z.pan", tiny, sizeof tiny), n - 2 + 1);  // no "y" + sep
  EXPECT_STREQ(tiny, "abc");
  EXPECT_EQ(platform::GetFullPath("", full, sizeof full), 0u);
  EXPECT_FALSE(platform::ChangeCurrentDirectory((dir.Path() / "missing").string().c_str()));
  ASSERT_TRUE(platform::ChangeCurrentDirectory(before));
}

}  // namespace
