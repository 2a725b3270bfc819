// Dates and times as TDateTime (days since 1899-12-30; the fraction is the
// time of day, taken by its absolute value for dates before the epoch) and
// their texts.
#pragma once

#include <string>
#include <string_view>

#include "runtime/FormatSettings.h"

using TDateTime = double;

inline constexpr double MSecsPerDay = 86400000.0;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// EConvertError "Invalid argument to date encode" outside 1..9999 / 1..12 /
// the month's days.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
// EConvertError "Invalid argument to time encode" outside 0..23 / 0..59 /
// 0..59 / 0..999.
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time);
// Date plus time of day, also for dates before the epoch (negative values).
TDateTime ComposeDateTime(TDateTime date, TDateTime time);
// Decoding (and every text of a date) raises EInvalidOp "Invalid floating
// point operation" for NaN, infinities and values beyond the 64-bit
// millisecond range.
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min,
                    int& sec, int& msec);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime dt);
// The whole-day part and the time-of-day part.
TDateTime DateOf(TDateTime dt);
TDateTime TimeOf(TDateTime dt);

// Current local date/time.
TDateTime Now();
TDateTime Date();
TDateTime Time();

// Patterns: c (short date, then a blank and the long time unless midnight),
// d dd ddd dddd ddddd (short date) dddddd (long date), m mm mmm mmmm (minutes
// right after an h), yy yyyy, h hh, n nn, s ss, z zzz, t (short time),
// tt (long time), am/pm a/p ampm (12-hour clock), "/" date separator,
// ":" time separator, quoted literal text.
std::string FormatDateTime(std::string_view pattern, TDateTime dt);
std::string FormatDateTime(std::string_view pattern, TDateTime dt, const TFormatSettings& fs);
std::string DateToStr(TDateTime dt);       // short date form
std::string TimeToStr(TDateTime dt);       // long time form
std::string DateTimeToStr(TDateTime dt);   // "c"
std::string DateToStr(TDateTime dt, const TFormatSettings& fs);
std::string TimeToStr(TDateTime dt, const TFormatSettings& fs);
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs);

// Parsing in the order of the short date form with the date separator;
// times as h:n[:s[.z]] with optional AM/PM. EConvertError "'%s' is not a
// valid date" / "'%s' is not a valid time" / "'%s' is not a valid date and
// time".
TDateTime StrToDate(std::string_view s);
TDateTime StrToTime(std::string_view s);
TDateTime StrToDateTime(std::string_view s);
bool TryStrToDate(std::string_view s, TDateTime& value, const TFormatSettings& fs);
bool TryStrToTime(std::string_view s, TDateTime& value, const TFormatSettings& fs);
bool TryStrToDateTime(std::string_view s, TDateTime& value, const TFormatSettings& fs);
