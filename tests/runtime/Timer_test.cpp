// Message-loop timers and critical sections.
#include "runtime/Timer.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>

#include "runtime/CriticalSection.h"

namespace {

using namespace std::chrono_literals;

TEST(TTimer, FiresOnlyWhenDueAndEnabled) {
  TTimer t;
  int fired = 0;
  t.OnTimer = [&](TTimer* sender) {
    EXPECT_EQ(sender, &t);
    ++fired;
  };
  t.SetInterval(100);
  // Times are stated from the moment the interval was set (read back from
  // the due time, not from a clock read a scheduler delay later).
  const auto start = t.DueTime() - 100ms;
  EXPECT_EQ(ProcessTimers(start + 50ms), 0);
  EXPECT_EQ(ProcessTimers(start + 150ms), 1);
  EXPECT_EQ(fired, 1);
  // The next firing is one interval after the last.
  EXPECT_EQ(ProcessTimers(start + 200ms), 0);
  EXPECT_EQ(ProcessTimers(start + 260ms), 1);
  t.SetEnabled(false);
  EXPECT_EQ(ProcessTimers(start + 10s), 0);
  EXPECT_EQ(MillisecondsToNextTimer(), -1);
  // Enabled again, it is due a full interval from then.
  const auto enabledAt = TTimer::Clock::now();
  t.SetEnabled(true);
  EXPECT_GE(t.DueTime() - enabledAt, 100ms);
  EXPECT_NE(MillisecondsToNextTimer(), -1);
  EXPECT_LE(MillisecondsToNextTimer(), 100);
  t.SetInterval(0);  // an interval of 0 never fires
  EXPECT_EQ(ProcessTimers(TTimer::Clock::now() + 10s), 0);
}

TEST(TTimer, RestartPostponesTheFiring) {
  TTimer t;
  int fired = 0;
  t.OnTimer = [&](TTimer*) { ++fired; };
  t.SetInterval(1000);
  const auto firstDue = t.DueTime();
  std::this_thread::sleep_for(5ms);
  t.Restart();  // activity seen: count the interval from now
  EXPECT_GE(t.DueTime() - firstDue, 5ms);
  EXPECT_EQ(ProcessTimers(firstDue), 0);
  EXPECT_EQ(ProcessTimers(t.DueTime()), 1);
  EXPECT_EQ(fired, 1);
}

TEST(TTimer, CallbackMayDestroyTimers) {
  auto first = std::make_unique<TTimer>();
  auto second = std::make_unique<TTimer>();
  first->SetInterval(10);
  second->SetInterval(10);
  int secondFired = 0;
  second->OnTimer = [&](TTimer*) { ++secondFired; };
  first->OnTimer = [&](TTimer*) {
    first.reset();
    second.reset();
  };
  EXPECT_EQ(ProcessTimers(TTimer::Clock::now() + 1s), 1);
  EXPECT_EQ(secondFired, 0);
}

TEST(TCriticalSection, IsReentrantAndExcludesOtherThreads) {
  TCriticalSection cs;
  int counter = 0;
  {
    TCriticalSectionGuard outer(cs);
    TCriticalSectionGuard inner(cs);  // same thread: no deadlock
    std::thread other([&] { EXPECT_FALSE(cs.TryEnter()); });
    other.join();
  }
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      for (int k = 0; k < 10000; ++k) {
        std::lock_guard lock(cs);
        ++counter;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
}

}  // namespace
