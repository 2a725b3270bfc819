// The locale-dependent conventions of number, currency and date texts: one
// process-wide set read once from the process locale, replaceable by tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  // In date and time patterns "/" stands for DateSeparator and ":" for
  // TimeSeparator.
  char DateSeparator = '.';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string LongDateFormat = "d. mmmm yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string CurrencyString = "$";
  // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
  uint8_t CurrencyFormat = 0;
  // 0 "($1)", 1 "-$1", 2 "$-1", 3 "$1-", 4 "(1$)", 5 "-1$", 6 "1-$", 7 "1$-",
  // 8 "-1 $", 9 "-$ 1", 10 "1 $-", 11 "$ 1-", 12 "$ -1", 13 "1- $",
  // 14 "($ 1)", 15 "(1 $)".
  uint8_t NegCurrFormat = 1;
  uint8_t CurrencyDecimals = 2;
  std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames{"January", "February", "March",     "April",
                                             "May",     "June",     "July",      "August",
                                             "September", "October", "November", "December"};
  // Sunday first.
  std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};

  // The fixed conventions used when the process locale is "C"/"POSIX" (or
  // cannot be read): '.' decimal, ',' thousands, "dd.mm.yyyy" dates,
  // "hh:nn:ss" times, AM/PM, "$" with 2 decimals (as the default member
  // values above).
  static TFormatSettings Fixed() { return TFormatSettings(); }
  // Conventions of the locale named by the environment (LC_NUMERIC,
  // LC_MONETARY, LC_TIME), without changing the process's C locale; texts
  // are converted to the system code page. Falls back to Fixed().
  static TFormatSettings FromEnvironment();
};

// Turns a C library date or time pattern ("%d.%m.%Y", "%I:%M:%S %p") into
// the pattern language of FormatDateTime; the first separator character met
// becomes sepToken ("/" for dates, ":" for times) and is stored in separator
// (left alone when separator already holds another character).
std::string StrftimeToPattern(std::string_view pattern, char sepToken, char& separator);

// The process-wide settings, initialised from the environment on first use.
// Not synchronised: the program formats on its one thread.
TFormatSettings& FormatSettings();

// Replaces the process-wide settings for the lifetime of the guard (tests).
class TScopedFormatSettings {
 public:
  explicit TScopedFormatSettings(const TFormatSettings& settings)
      : m_saved(FormatSettings()) {
    FormatSettings() = settings;
  }
  ~TScopedFormatSettings() { FormatSettings() = m_saved; }
  TScopedFormatSettings(const TScopedFormatSettings&) = delete;
  TScopedFormatSettings& operator=(const TScopedFormatSettings&) = delete;

 private:
  TFormatSettings m_saved;
};
