// Scaled integers: a 64-bit integer r standing for r × 10^scale, the form of
// NUMERIC and DECIMAL columns (scale 0 to -18) and, with four decimals, of the
// currency value. Every conversion between them, and from floating point
// into them, rounds one way: to the nearest, ties to even. Conversions that
// cannot hold their result say so instead of wrapping around.
#pragma once

#include <cmath>
#include <cstdint>

// 10^exponent as the nearest double. Within ±22 these are exact for the
// positive exponents, which is what ScaledToDouble relies on.
inline double Pow10(int exponent) {
  static constexpr double kTable[] = {1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9,
                                      1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,
                                      1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,
                                      1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18};
  if (exponent < -18 || exponent > 18) return std::pow(10.0, exponent);
  return kTable[exponent + 18];
}

// 10^n for 0 ≤ n ≤ 18 (every power of ten a 64-bit integer holds).
constexpr int64_t IntPow10(int n) {
  int64_t r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

// value / divisor rounded to the nearest integer, ties to even (divisor > 0).
constexpr int64_t DivRound(int64_t value, int64_t divisor) {
  int64_t q = value / divisor;
  const int64_t r = value % divisor;
  const int64_t twice = 2 * (r < 0 ? -r : r);  // |r| < divisor ≤ 10^18: no overflow
  if (twice > divisor || (twice == divisor && q % 2 != 0)) q += value < 0 ? -1 : 1;
  return q;
}

// The double nearest to value × 10^scale (−18 ≤ scale ≤ 18). Negative scales
// divide by the exact power of ten: 35 at scale −2 is 35 / 100, the double
// nearest 0.35, where 35 × 0.01 is one unit in the last place above it
// (0.01 has no exact double). Beyond 2^53, where the integer itself has no
// exact double, the quotient is taken in extended precision first.
inline double ScaledToDouble(int64_t value, int scale) {
  if (scale >= 0) return static_cast<double>(value) * Pow10(scale);
  constexpr int64_t kExact = int64_t{1} << 53;
  if (value >= -kExact && value <= kExact) return static_cast<double>(value) / Pow10(-scale);
  return static_cast<double>(static_cast<long double>(value) / static_cast<long double>(IntPow10(-scale)));
}

// r with `from` decimals as r' with `to` decimals (both 0..18): exact when
// decimals are added, rounded (ties to even) when they are dropped; false when
// the result does not fit 64 bits.
constexpr bool Rescale(int64_t value, int from, int to, int64_t& out) {
  if (to >= from) return !__builtin_mul_overflow(value, IntPow10(to - from), &out);
  out = DivRound(value, IntPow10(from - to));
  return true;
}

// value × 10^decimals rounded to the nearest integer, ties to even; false for
// NaN, infinities and results outside the 64-bit range.
inline bool DoubleToScaled(double value, int decimals, int64_t& out) {
  const double scaled = std::nearbyint(value * Pow10(decimals));
  // 2^63 is exact as a double; anything at or above it does not fit.
  if (!(scaled < 9223372036854775808.0 && scaled >= -9223372036854775808.0)) return false;
  out = static_cast<int64_t>(scaled);
  return true;
}
