// The scope guard that resets busy flags and saved state on every way out.
#include <gtest/gtest.h>

#include <stdexcept>

#include "runtime/ScopeGuard.h"

TEST(ScopeGuard, ResetsOnUnwindingUnlessDismissed) {
  int resets = 0;
  try {
    const TScopeGuard guard([&] { ++resets; });
    throw std::runtime_error("step failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(resets, 1);
  {
    TScopeGuard guard([&] { ++resets; });
    guard.Dismiss();
  }
  EXPECT_EQ(resets, 1);
}

TEST(ScopeGuard, ScopedValueRestoresThePreviousValueWhenNested) {
  bool busy = false;
  {
    const auto outer = ScopedValue(busy, true);
    {
      const auto inner = ScopedValue(busy, true);
    }
    EXPECT_TRUE(busy);  // the inner scope leaves the outer one busy
  }
  EXPECT_FALSE(busy);
}
