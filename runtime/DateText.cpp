// TDateTime arithmetic and date/time texts.
#include "runtime/DateText.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"

namespace {

// Days from 0001-01-01 style civil dates (proleptic Gregorian) to a day
// count relative to 1970-01-01 (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const int64_t kEpoch = DaysFromCivil(1899, 12, 30);
constexpr int64_t kMSecsPerDay = 86400000;

// Whole days (signed) and milliseconds of the day (taken by absolute value,
// so that -1.25 is 1899-12-29 06:00).
// A value whose milliseconds do not fit 64 bits (or NaN) has no date: it
// fails like the rounding of such a value does, instead of decoding garbage.
void Split(TDateTime dt, int64_t& days, int64_t& msecs) {
  const double total = std::round(std::fabs(dt) * MSecsPerDay);
  if (!(total < 9223372036854775808.0)) throw EInvalidOp("Invalid floating point operation");
  const int64_t t = static_cast<int64_t>(total);
  days = t / kMSecsPerDay;
  msecs = t % kMSecsPerDay;
  if (dt < 0) days = -days;
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  date = static_cast<double>(DaysFromCivil(year, month, day) - kEpoch);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime d;
  if (!TryEncodeDate(year, month, day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 ||
      msec > 999)
    return false;
  time = static_cast<double>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime t;
  if (!TryEncodeTime(hour, min, sec, msec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  // Before the epoch the day is negative and the time counts away from zero.
  double day = std::trunc(date);
  double tod = std::fabs(time - std::trunc(time));
  return day < 0 ? day - tod : day + tod;
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec) {
  int64_t days, ms;
  Split(dt, days, ms);
  CivilFromDays(days + kEpoch, year, month, day);
  msec = static_cast<int>(ms % 1000);
  ms /= 1000;
  sec = static_cast<int>(ms % 60);
  ms /= 60;
  min = static_cast<int>(ms % 60);
  hour = static_cast<int>(ms / 60);
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int h, n, s, z;
  DecodeDateTime(dt, year, month, day, h, n, s, z);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  int y, m, d;
  DecodeDateTime(dt, y, m, d, hour, min, sec, msec);
}

int DayOfWeek(TDateTime dt) {
  int64_t days, ms;
  Split(dt, days, ms);
  // 1899-12-30 was a Saturday (7).
  int64_t r = (days + 6) % 7;
  if (r < 0) r += 7;
  return static_cast<int>(r) + 1;
}

TDateTime DateOf(TDateTime dt) {
  int64_t days, ms;
  Split(dt, days, ms);
  return static_cast<double>(days);
}

TDateTime TimeOf(TDateTime dt) {
  int64_t days, ms;
  Split(dt, days, ms);
  return static_cast<double>(ms) / MSecsPerDay;
}

TDateTime Now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
         EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
}

TDateTime Date() { return DateOf(Now()); }
TDateTime Time() { return TimeOf(Now()); }

// ---- FormatDateTime ----

namespace {

bool StartsWithNoCase(std::string_view s, size_t i, std::string_view word) {
  return StartsWithTextAscii(s.substr(i), word);
}

// True when an am/pm specifier follows (the hour is then on the 12-hour clock).
bool HasAmPmAfter(std::string_view s, size_t i) {
  char quote = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (StartsWithNoCase(s, i, "am/pm") || StartsWithNoCase(s, i, "a/p") ||
               StartsWithNoCase(s, i, "ampm")) {
      return true;
    }
  }
  return false;
}

std::string Pad2(int v) { return v < 10 ? "0" + std::to_string(v) : std::to_string(v); }

struct Parts {
  int year, month, day, hour, min, sec, msec, dow;
  bool midnight;
};

void Render(std::string& out, std::string_view f, const Parts& p, const TFormatSettings& fs,
            int depth) {
  // Guards against patterns that name themselves through the settings.
  if (depth > 2) return;
  char lastToken = 0;
  size_t i = 0;
  auto count = [&](char letter) {
    size_t n = 0;
    while (i + n < f.size() && UpperCaseAscii(f[i + n]) == letter) ++n;
    i += n;
    return n;
  };
  while (i < f.size()) {
    char c = f[i];
    char u = UpperCaseAscii(c);
    if (c == '"' || c == '\'') {
      size_t end = f.find(c, i + 1);
      if (end == std::string_view::npos) end = f.size();
      out.append(f.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (u == 'A') {
      bool pm = p.hour >= 12;
      if (StartsWithNoCase(f, i, "am/pm")) {
        bool upperCase = f[i] == 'A';
        out += pm ? (upperCase ? "PM" : "pm") : (upperCase ? "AM" : "am");
        i += 5;
      } else if (StartsWithNoCase(f, i, "a/p")) {
        bool upperCase = f[i] == 'A';
        out += pm ? (upperCase ? 'P' : 'p') : (upperCase ? 'A' : 'a');
        i += 3;
      } else if (StartsWithNoCase(f, i, "ampm")) {
        out += pm ? fs.TimePMString : fs.TimeAMString;
        i += 4;
      } else {
        out += c;
        ++i;
      }
      continue;
    }
    switch (u) {
      case 'C': {
        ++i;
        Render(out, fs.ShortDateFormat, p, fs, depth + 1);
        if (!p.midnight) {
          out += ' ';
          Render(out, fs.LongTimeFormat, p, fs, depth + 1);
        }
        break;
      }
      case 'D': {
        size_t n = count('D');
        switch (n) {
          case 1: out += std::to_string(p.day); break;
          case 2: out += Pad2(p.day); break;
          case 3: out += fs.ShortDayNames[static_cast<size_t>(p.dow - 1)]; break;
          case 4: out += fs.LongDayNames[static_cast<size_t>(p.dow - 1)]; break;
          case 5: Render(out, fs.ShortDateFormat, p, fs, depth + 1); break;
          default: Render(out, fs.LongDateFormat, p, fs, depth + 1); break;
        }
        break;
      }
      case 'M': {
        size_t n = count('M');
        if (lastToken == 'H' && n <= 2) {
          // Right after an hour, "m" and "mm" mean minutes.
          out += n == 1 ? std::to_string(p.min) : Pad2(p.min);
        } else {
          switch (n) {
            case 1: out += std::to_string(p.month); break;
            case 2: out += Pad2(p.month); break;
            case 3: out += fs.ShortMonthNames[static_cast<size_t>(p.month - 1)]; break;
            default: out += fs.LongMonthNames[static_cast<size_t>(p.month - 1)]; break;
          }
        }
        break;
      }
      case 'Y': {
        size_t n = count('Y');
        if (n <= 2) {
          out += Pad2(p.year % 100);
        } else {
          std::string y = std::to_string(p.year);
          if (y.size() < 4) y.insert(0, 4 - y.size(), '0');
          out += y;
        }
        break;
      }
      case 'H': {
        size_t start = i;
        size_t n = count('H');
        int h = p.hour;
        if (HasAmPmAfter(f, start)) {
          h %= 12;
          if (h == 0) h = 12;
        }
        out += n == 1 ? std::to_string(h) : Pad2(h);
        break;
      }
      case 'N': {
        size_t n = count('N');
        out += n == 1 ? std::to_string(p.min) : Pad2(p.min);
        break;
      }
      case 'S': {
        size_t n = count('S');
        out += n == 1 ? std::to_string(p.sec) : Pad2(p.sec);
        break;
      }
      case 'Z': {
        size_t n = count('Z');
        if (n == 1) {
          out += std::to_string(p.msec);
        } else {
          std::string z = std::to_string(p.msec);
          out += std::string(3 - z.size(), '0') + z;
        }
        break;
      }
      case 'T': {
        size_t n = count('T');
        Render(out, n == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, p, fs, depth + 1);
        break;
      }
      case '/':
        if (fs.DateSeparator) out += fs.DateSeparator;
        ++i;
        break;
      case ':':
        if (fs.TimeSeparator) out += fs.TimeSeparator;
        ++i;
        break;
      default:
        out += c;
        ++i;
        break;
    }
    if (u >= 'A' && u <= 'Z') lastToken = u;
  }
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, TDateTime dt, const TFormatSettings& fs) {
  Parts p{};
  DecodeDateTime(dt, p.year, p.month, p.day, p.hour, p.min, p.sec, p.msec);
  p.dow = DayOfWeek(dt);
  p.midnight = p.hour == 0 && p.min == 0 && p.sec == 0 && p.msec == 0;
  std::string out;
  Render(out, pattern.empty() ? std::string_view("c") : pattern, p, fs, 0);
  return out;
}

std::string FormatDateTime(std::string_view pattern, TDateTime dt) {
  return FormatDateTime(pattern, dt, FormatSettings());
}

std::string DateToStr(TDateTime dt, const TFormatSettings& fs) {
  return FormatDateTime("ddddd", dt, fs);
}
std::string TimeToStr(TDateTime dt, const TFormatSettings& fs) {
  return FormatDateTime("tt", dt, fs);
}
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs) {
  return FormatDateTime("c", dt, fs);
}
std::string DateToStr(TDateTime dt) { return DateToStr(dt, FormatSettings()); }
std::string TimeToStr(TDateTime dt) { return TimeToStr(dt, FormatSettings()); }
std::string DateTimeToStr(TDateTime dt) { return DateTimeToStr(dt, FormatSettings()); }

// ---- parsing ----

namespace {

struct Scanner {
  std::string_view s;
  size_t i = 0;
  void SkipBlanks() {
    while (i < s.size() && s[i] == ' ') ++i;
  }
  bool Number(int& value, int& digits) {
    SkipBlanks();
    digits = 0;
    value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && digits < 9) {
      value = value * 10 + (s[i++] - '0');
      ++digits;
    }
    return digits > 0;
  }
  bool Char(char c) {
    SkipBlanks();
    if (c && i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipBlanks();
    return i >= s.size();
  }
};

// Order of day, month and year in the short date form ("DMY", "MDY", "YMD").
std::string DateOrder(const TFormatSettings& fs) {
  std::string order;
  for (char c : fs.ShortDateFormat) {
    char u = UpperCaseAscii(c);
    if ((u == 'D' || u == 'M' || u == 'Y') && order.find(u) == std::string::npos) order += u;
  }
  return order.size() == 3 ? order : "DMY";
}

bool ScanDate(Scanner& sc, TDateTime& date, const TFormatSettings& fs) {
  int v[3], digits[3];
  int n = 0;
  for (; n < 3; ++n) {
    if (n > 0 && !sc.Char(fs.DateSeparator)) break;
    if (!sc.Number(v[n], digits[n])) return false;
  }
  std::string order = DateOrder(fs);
  int y = 0, m = 0, d = 0, yDigits = 4;
  if (n == 3) {
    for (int k = 0; k < 3; ++k) {
      if (order[static_cast<size_t>(k)] == 'Y') {
        y = v[k];
        yDigits = digits[k];
      } else if (order[static_cast<size_t>(k)] == 'M') {
        m = v[k];
      } else {
        d = v[k];
      }
    }
  } else if (n == 2) {
    // Day and month of the current year.
    int cy, cm, cd;
    DecodeDate(Date(), cy, cm, cd);
    y = cy;
    bool monthFirst = order.find('M') < order.find('D');
    m = monthFirst ? v[0] : v[1];
    d = monthFirst ? v[1] : v[0];
  } else {
    return false;
  }
  if (yDigits <= 2) y += y < 50 ? 2000 : 1900;
  // A trailing separator ("31.12.2024.") is allowed.
  sc.Char(fs.DateSeparator);
  return TryEncodeDate(y, m, d, date);
}

bool ScanTime(Scanner& sc, TDateTime& time, const TFormatSettings& fs) {
  int h = 0, n = 0, s = 0, z = 0, digits;
  if (!sc.Number(h, digits)) return false;
  if (!sc.Char(fs.TimeSeparator)) return false;
  if (!sc.Number(n, digits)) return false;
  if (sc.Char(fs.TimeSeparator)) {
    if (!sc.Number(s, digits)) return false;
    if (sc.Char('.')) {
      if (!sc.Number(z, digits) || digits > 3) return false;
      for (; digits < 3; ++digits) z *= 10;
    }
  }
  sc.SkipBlanks();
  std::string_view rest = sc.s.substr(sc.i);
  auto take = [&](std::string_view word) {
    if (word.empty() || rest.size() < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k)
      if (UpperCaseAscii(rest[k]) != UpperCaseAscii(word[k])) return false;
    sc.i += word.size();
    return true;
  };
  if (take(fs.TimePMString) || take("PM")) {
    if (h < 1 || h > 12) return false;
    if (h < 12) h += 12;
  } else if (take(fs.TimeAMString) || take("AM")) {
    if (h < 1 || h > 12) return false;
    if (h == 12) h = 0;
  }
  return TryEncodeTime(h, n, s, z, time);
}

}  // namespace

bool TryStrToDate(std::string_view s, TDateTime& value, const TFormatSettings& fs) {
  Scanner sc{s};
  TDateTime d;
  if (!ScanDate(sc, d, fs) || !sc.AtEnd()) return false;
  value = d;
  return true;
}

bool TryStrToTime(std::string_view s, TDateTime& value, const TFormatSettings& fs) {
  Scanner sc{s};
  TDateTime t;
  if (!ScanTime(sc, t, fs) || !sc.AtEnd()) return false;
  value = t;
  return true;
}

bool TryStrToDateTime(std::string_view s, TDateTime& value, const TFormatSettings& fs) {
  Scanner sc{s};
  TDateTime d = 0, t = 0;
  size_t start = sc.i;
  if (!ScanDate(sc, d, fs)) {
    // A time alone is a time on the epoch day.
    sc.i = start;
    if (!ScanTime(sc, t, fs) || !sc.AtEnd()) return false;
    value = t;
    return true;
  }
  if (!sc.AtEnd() && (!ScanTime(sc, t, fs) || !sc.AtEnd())) return false;
  value = ComposeDateTime(d, t);
  return true;
}

TDateTime StrToDate(std::string_view s) {
  TDateTime v;
  if (!TryStrToDate(s, v, FormatSettings()))
    throw EConvertError(Format("'%s' is not a valid date", {s}));
  return v;
}

TDateTime StrToTime(std::string_view s) {
  TDateTime v;
  if (!TryStrToTime(s, v, FormatSettings()))
    throw EConvertError(Format("'%s' is not a valid time", {s}));
  return v;
}

TDateTime StrToDateTime(std::string_view s) {
  TDateTime v;
  if (!TryStrToDateTime(s, v, FormatSettings()))
    throw EConvertError(Format("'%s' is not a valid date and time", {s}));
  return v;
}
