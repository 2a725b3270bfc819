// Text and decimal encodings of the Jet 4 writer, plus the public date and GUID
// helpers.
#include "jet4/Jet4Encoding.h"

#include "jet4/Jet4Writer.h"

#include <cctype>
#include <stdexcept>

namespace jet4 {

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  auto bad = [&] { throw std::runtime_error("Jet4: malformed UTF-8 text at byte " + std::to_string(i)); };
  while (i < utf8.size()) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp = 0;
    int extra = 0;
    if (b0 < 0x80) {
      cp = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
      cp = b0 & 0x1F;
      extra = 1;
    } else if ((b0 & 0xF0) == 0xE0) {
      cp = b0 & 0x0F;
      extra = 2;
    } else if ((b0 & 0xF8) == 0xF0) {
      cp = b0 & 0x07;
      extra = 3;
    } else {
      bad();
    }
    if (i + static_cast<std::size_t>(extra) >= utf8.size() && extra > 0) bad();
    for (int k = 1; k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(utf8[i + k]);
      if ((b & 0xC0) != 0x80) bad();
      cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) bad();
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::vector<std::uint8_t> EncodeText(std::u16string_view text, bool allowCompression) {
  std::vector<std::uint8_t> plain;
  plain.reserve(text.size() * 2);
  for (char16_t c : text) {
    plain.push_back(static_cast<std::uint8_t>(c & 0xFF));
    plain.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  if (!allowCompression || text.empty()) return plain;

  // A zero byte is the mode toggle, so units with a zero low byte (NUL, U+0100,
  // U+0400 ...) cannot appear in either mode.
  std::vector<std::uint8_t> packed{0xFF, 0xFE};
  bool narrow = true;
  for (char16_t c : text) {
    if ((c & 0xFF) == 0) return plain;
    const bool fitsNarrow = c <= 0xFF;
    if (fitsNarrow != narrow) {
      packed.push_back(0);
      narrow = fitsNarrow;
    }
    packed.push_back(static_cast<std::uint8_t>(c & 0xFF));
    if (!narrow) packed.push_back(static_cast<std::uint8_t>(c >> 8));
    if (packed.size() >= plain.size()) return plain;
  }
  return packed;
}

std::vector<std::uint8_t> EncodeDecimal(std::string_view text, int precision, int scale) {
  const std::string shown(text);
  auto bad = [&](const char* why) {
    throw std::runtime_error("Jet4: decimal value \"" + shown + "\": " + why);
  };
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // 128-bit magnitude as four 32-bit words, least significant first.
  std::uint32_t words[4] = {0, 0, 0, 0};
  auto mulAdd = [&](std::uint32_t digit) {
    std::uint64_t carry = digit;
    for (auto& w : words) {
      const std::uint64_t v = std::uint64_t{w} * 10 + carry;
      w = static_cast<std::uint32_t>(v);
      carry = v >> 32;
    }
    if (carry != 0) bad("too large");
  };
  int digits = 0;
  int fraction = 0;
  bool point = false;
  bool any = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      any = true;
      if (point) ++fraction;
      if (digits > 0 || c != '0') ++digits;
      mulAdd(static_cast<std::uint32_t>(c - '0'));
    } else {
      bad("not a number");
    }
  }
  if (!any) bad("not a number");
  if (fraction > scale) bad("more fraction digits than the column's scale");
  for (; fraction < scale; ++fraction) {
    mulAdd(0);
    if (digits > 0) ++digits;
  }
  if (digits > precision) bad("more digits than the column's precision");

  std::vector<std::uint8_t> out(17, 0);
  const bool zero = words[0] == 0 && words[1] == 0 && words[2] == 0 && words[3] == 0;
  out[0] = negative && !zero ? 0x80 : 0x00;
  for (int w = 0; w < 4; ++w) {
    const std::uint32_t v = words[3 - w];
    for (int b = 0; b < 4; ++b) out[1 + w * 4 + b] = static_cast<std::uint8_t>(v >> (8 * b));
  }
  return out;
}

}  // namespace jet4

namespace {

// Days from 1970-01-01 in the proleptic Gregorian calendar.
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

double Jet4DateValue(int year, int month, int day, int hour, int minute, double second) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool dateOk = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                      day <= kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
  const bool timeOk = hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
  if (!dateOk || !timeOk)
    throw std::runtime_error("Jet4: invalid date " + std::to_string(year) + "-" + std::to_string(month) +
                             "-" + std::to_string(day));
  const long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                    DaysFromCivil(1899, 12, 30);
  const double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

Jet4Guid Jet4GuidFromText(const std::string& text) {
  std::string hex;
  std::string_view s(text);
  if (s.size() >= 2 && s.front() == '{' && s.back() == '}') s = s.substr(1, s.size() - 2);
  static constexpr std::size_t kDashes[] = {8, 13, 18, 23};
  bool ok = s.size() == 36;
  for (std::size_t i = 0; ok && i < s.size(); ++i) {
    const bool dashPlace = i == kDashes[0] || i == kDashes[1] || i == kDashes[2] || i == kDashes[3];
    if (dashPlace) {
      ok = s[i] == '-';
    } else {
      ok = std::isxdigit(static_cast<unsigned char>(s[i])) != 0;
      hex.push_back(s[i]);
    }
  }
  if (!ok) throw std::runtime_error("Jet4: malformed GUID \"" + text + "\"");
  std::array<std::uint8_t, 16> raw{};
  for (std::size_t i = 0; i < 16; ++i) raw[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(i * 2, 2), nullptr, 16));
  // The first three groups are little-endian numbers in memory.
  Jet4Guid g{raw};
  g.bytes[0] = raw[3];
  g.bytes[1] = raw[2];
  g.bytes[2] = raw[1];
  g.bytes[3] = raw[0];
  g.bytes[4] = raw[5];
  g.bytes[5] = raw[4];
  g.bytes[6] = raw[7];
  g.bytes[7] = raw[6];
  return g;
}
