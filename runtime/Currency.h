// The currency value: a 64-bit count of ten-thousandths, exact for money and
// for scaled decimal columns with up to four decimals.
#pragma once

#include <compare>
#include <cstdint>

struct Currency {
  static constexpr int64_t Scale = 10000;

  int64_t Raw = 0;  // value × 10,000

  // The range, as range messages show it.
  static constexpr double LowestValue = -922337203685477.5808;
  static constexpr double HighestValue = 922337203685477.5807;

  constexpr Currency() = default;
  static constexpr Currency FromRaw(int64_t raw) {
    Currency c;
    c.Raw = raw;
    return c;
  }
  static constexpr Currency FromInt(int64_t units) { return FromRaw(units * Scale); }
  // value × 10,000 rounded to the nearest integer, ties to even (the
  // processor's default rounding); EOverflow outside the 64-bit range or for
  // NaN.
  static Currency FromDouble(double value);
  double ToDouble() const noexcept { return static_cast<double>(Raw) / Scale; }

  friend constexpr bool operator==(Currency, Currency) = default;
  friend constexpr auto operator<=>(Currency, Currency) = default;
};
