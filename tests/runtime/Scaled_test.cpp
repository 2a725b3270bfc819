// Scaled integers: one rounding rule (nearest, ties to even) for dropping
// decimals and for floats taken into a scale, and overflow reported instead
// of a wrapped result. The doubles they read as are checked on the real
// engine, through both Firebird layers (tests/fib/FIBScaled_test.cpp).
#include "runtime/Scaled.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(Scaled, DecimalsDroppedRoundToNearestTiesToEven) {
  const struct {
    int64_t value;
    int from, to;
    int64_t want;
  } cases[] = {
      {125, 2, 1, 12},      {135, 2, 1, 14},      {-125, 2, 1, -12},    {-135, 2, 1, -14},
      {126, 2, 1, 13},      {-124, 2, 1, -12},    {12345, 4, 2, 123},   {12350, 4, 2, 124},
      {12250, 4, 2, 122},   {5000, 4, 0, 0},      {15000, 4, 0, 2},     {-25000, 4, 0, -2},
      {kMax, 18, 0, 9},     {kMin, 18, 0, -9},    {kMax, 4, 0, 922337203685478},
      {kMin, 4, 0, -922337203685478},             {123000000000, 9, 4, 1230000},
      {5, 0, 4, 50000},     {-922337203685477, 0, 4, -9223372036854770000},
  };
  for (const auto& c : cases) {
    int64_t got = 0;
    EXPECT_TRUE(Rescale(c.value, c.from, c.to, got)) << c.value;
    EXPECT_EQ(got, c.want) << c.value << " from " << c.from << " to " << c.to << " decimals";
  }
}

TEST(Scaled, DecimalsAddedBeyondSixtyFourBitsAreRefused) {
  int64_t out = 0;
  EXPECT_FALSE(Rescale(9007199254740993, 0, 4, out));
  EXPECT_FALSE(Rescale(kMin, 0, 4, out));  // -2^63 × 10^4 wraps to 0 unchecked
  EXPECT_FALSE(Rescale(999999999999999999, 2, 4, out));
  EXPECT_TRUE(Rescale(922337203685477, 0, 4, out));
  EXPECT_EQ(out, 9223372036854770000);
  EXPECT_FALSE(Rescale(922337203685478, 0, 4, out));
}

TEST(Scaled, FloatsTakenIntoAScaleRoundTiesToEven) {
  const struct {
    double value;
    int decimals;
    int64_t want;
  } cases[] = {
      {0.125, 2, 12},   {0.375, 2, 38},   {-0.125, 2, -12}, {2.5, 0, 2},      {3.5, 0, 4},
      {-2.5, 0, -2},    {0.35, 2, 35},    {3999.99, 2, 399999},             {422210.97, 2, 42221097},
      {123.0, 9, 123000000000},           {9.223372036854775e18, 0, 9223372036854774784},
  };
  for (const auto& c : cases) {
    int64_t got = 0;
    EXPECT_TRUE(DoubleToScaled(c.value, c.decimals, got)) << c.value;
    EXPECT_EQ(got, c.want) << c.value << " at " << c.decimals << " decimals";
  }
  int64_t out = 0;
  for (double bad : {9223372036854775808.0, -9223372036854777856.0, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()})
    EXPECT_FALSE(DoubleToScaled(bad, 0, out)) << bad;
  EXPECT_FALSE(DoubleToScaled(1e15, 4, out));
}

}  // namespace
