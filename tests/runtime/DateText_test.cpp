// TDateTime encoding and decoding, date/time patterns and parsing.
#include "runtime/DateText.h"

#include <gtest/gtest.h>

#include <cmath>

#include "runtime/Exceptions.h"

namespace {

// dd.mm.yyyy dates and hh:nn:ss times, as the fixed fallback settings.
TFormatSettings Settings() { return TFormatSettings::Fixed(); }

TEST(DateTime, EncodeAndDecode) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(2000, 3, 1), 36586);
  EXPECT_EQ(EncodeDate(1850, 6, 1), -18109);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);

  const struct {
    int y, m, d, h, n, s, z;
  } cases[] = {{1899, 12, 30, 0, 0, 0, 0},  {1850, 6, 1, 18, 30, 15, 250},
               {2099, 12, 31, 23, 59, 59, 0}, {2000, 2, 29, 12, 0, 0, 999},
               {1, 1, 1, 0, 0, 1, 0},        {9999, 12, 31, 23, 59, 59, 999},
               {1899, 12, 29, 6, 0, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.y << "-" << c.m << "-" << c.d);
    TDateTime dt = ComposeDateTime(EncodeDate(c.y, c.m, c.d), EncodeTime(c.h, c.n, c.s, c.z));
    int y, m, d, h, n, s, z;
    DecodeDateTime(dt, y, m, d, h, n, s, z);
    EXPECT_EQ((std::array{y, m, d, h, n, s, z}), (std::array{c.y, c.m, c.d, c.h, c.n, c.s, c.z}));
  }
  // Before the epoch the time of day counts away from zero: -1.25 is
  // 1899-12-29 06:00.
  EXPECT_DOUBLE_EQ(ComposeDateTime(EncodeDate(1899, 12, 29), EncodeTime(6, 0, 0, 0)), -1.25);
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1)), 2);  // Monday
  EXPECT_EQ(DayOfWeek(EncodeDate(1850, 6, 1)), 7);  // Saturday
}

TEST(DateTime, InvalidArgumentsRaise) {
  for (auto [y, m, d] : {std::array{2023, 2, 29}, {2024, 13, 1}, {2024, 0, 1}, {0, 1, 1},
                         {10000, 1, 1}, {2024, 4, 31}, {1900, 2, 29}}) {
    SCOPED_TRACE(testing::Message() << y << "-" << m << "-" << d);
    try {
      EncodeDate(y, m, d);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
  }
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
  for (auto [h, n, s, z] : {std::array{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000},
                            {-1, 0, 0, 0}}) {
    try {
      EncodeTime(h, n, s, z);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), "Invalid argument to time encode");
    }
  }
  // A value that is no date (a double stored in a date variant) fails
  // instead of decoding garbage.
  for (double bad : {std::nan(""), HUGE_VAL, -1e300, 1e15}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(DateTimeToStr(bad), EInvalidOp);
  }
}

TEST(FormatDateTime, Patterns) {
  const TFormatSettings fs = Settings();
  const TDateTime afternoon = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 45);
  const TDateTime morning = EncodeDate(2024, 3, 5) + EncodeTime(0, 5, 0, 0);
  const TDateTime old = ComposeDateTime(EncodeDate(1850, 6, 1), EncodeTime(9, 30, 0, 0));
  const TDateTime last = EncodeDate(2099, 12, 31) + EncodeTime(23, 59, 59, 0);
  const struct {
    const char* pattern;
    TDateTime value;
    const char* want;
  } cases[] = {
      {"dd.mm.yyyy", afternoon, "05.03.2024"},
      {"dd.mm.yyyy hh:mm AMPM", afternoon, "05.03.2024 02:07 PM"},
      {"dd.mm.yyyy hh:mm AMPM", morning, "05.03.2024 12:05 AM"},
      {"hh:mm AMPM", EncodeTime(12, 30, 0, 0), "12:30 PM"},
      {"hh:nn:ss", afternoon, "14:07:09"},
      {"hh:mm", afternoon, "14:07"},  // "mm" after "hh" is the minute
      {"h:m:s.zzz", afternoon, "14:7:9.045"},
      {"d/m/yy", afternoon, "5.3.24"},
      {"yyyy-mm-dd", old, "1850-06-01"},
      {"c", old, "01.06.1850 09:30:00"},
      {"c", last, "31.12.2099 23:59:59"},
      {"c", EncodeDate(2024, 3, 5), "05.03.2024"},  // midnight: no time
      {"ddddd", afternoon, "05.03.2024"},
      {"tt", afternoon, "14:07:09"},
      {"t", afternoon, "14:07"},
      {"ddd dddd mmm mmmm", afternoon, "Tue Tuesday Mar March"},
      {"h am/pm a/p", afternoon, "2 pm p"},
      {"\"dan\" d 'u' m", afternoon, "dan 5 u 3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(FormatDateTime(c.pattern, c.value, fs), c.want);
  }
}

TEST(FormatDateTime, ShortAndLongForms) {
  TFormatSettings fs = Settings();
  fs.ShortDateFormat = "m/d/yyyy";
  fs.DateSeparator = '/';
  fs.LongTimeFormat = "h:nn:ss AMPM";
  TScopedFormatSettings guard(fs);
  const TDateTime dt = EncodeDate(2024, 12, 31) + EncodeTime(23, 0, 1, 0);
  EXPECT_EQ(DateToStr(dt), "12/31/2024");
  EXPECT_EQ(TimeToStr(dt), "11:00:01 PM");
  EXPECT_EQ(DateTimeToStr(dt), "12/31/2024 11:00:01 PM");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 12, 31)), "12/31/2024");
  // Hour 0 on the 12-hour clock is 12.
  EXPECT_EQ(TimeToStr(EncodeTime(0, 0, 0, 1)), "12:00:00 AM");
}

TEST(StrToDateTime, ParsesInTheShortDateOrder) {
  TScopedFormatSettings guard(Settings());
  EXPECT_EQ(StrToDate("05.03.2024"), EncodeDate(2024, 3, 5));
  EXPECT_EQ(StrToDate(" 5.3.24 "), EncodeDate(2024, 3, 5));
  EXPECT_EQ(StrToDate("1.6.1850"), EncodeDate(1850, 6, 1));
  EXPECT_DOUBLE_EQ(StrToTime("14:07"), EncodeTime(14, 7, 0, 0));
  EXPECT_DOUBLE_EQ(StrToTime("2:07:09 PM"), EncodeTime(14, 7, 9, 0));
  EXPECT_DOUBLE_EQ(StrToDateTime("31.12.2099 23:59:59"),
                   EncodeDate(2099, 12, 31) + EncodeTime(23, 59, 59, 0));
  EXPECT_DOUBLE_EQ(StrToDateTime(DateTimeToStr(ComposeDateTime(EncodeDate(1850, 6, 1),
                                                               EncodeTime(9, 30, 0, 0)))),
                   ComposeDateTime(EncodeDate(1850, 6, 1), EncodeTime(9, 30, 0, 0)));
  const struct {
    const char* text;
    TDateTime (*parse)(std::string_view);
    const char* message;
  } bad[] = {{"31.02.2024", StrToDate, "'31.02.2024' is not a valid date"},
             {"2024-03-05", StrToDate, "'2024-03-05' is not a valid date"},
             {"", StrToDate, "'' is not a valid date"},
             {"25:00", StrToTime, "'25:00' is not a valid time"},
             {"13:00 PM", StrToTime, "'13:00 PM' is not a valid time"},
             {"05.03.2024 x", StrToDateTime, "'05.03.2024 x' is not a valid date and time"}};
  for (const auto& c : bad) {
    SCOPED_TRACE(c.text);
    try {
      c.parse(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

}  // namespace
