// The value forms the statement variables read and write besides the run
// time's own (Currency, TDateTime): a time stamp, a decimal and a GUID.
#pragma once

#include <cstdint>

// The run-time's time-stamp form: days since 1 January of year 1 (that day = 1)
// and milliseconds since midnight.
struct TTimeStamp {
  int Time = 0;
  int Date = 0;
};

// A decimal value: Digits × 10^-Scale (Scale = number of decimals).
struct TFIBBcd {
  int64_t Digits = 0;
  int Scale = 0;
  friend bool operator==(const TFIBBcd&, const TFIBBcd&) = default;
};

struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  uint8_t D4[8] = {};
  friend bool operator==(const TGUID&, const TGUID&) = default;
};
