// Number texts. Every float text goes through one decimal form (digits and
// a decimal exponent) so that doubles and currency values share the
// formatting rules; conversions never depend on the C library's locale.
#include "runtime/NumText.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/Format.h"
#include "runtime/Scaled.h"

namespace {

// |value| = 0.digits × 10^exponent; digits has no leading or trailing zeros
// and is empty for zero.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
  bool IsZero() const { return digits.empty(); }
};

void Normalise(Decimal& d) {
  size_t first = d.digits.find_first_not_of('0');
  if (first == std::string::npos) {
    d.digits.clear();
    d.exponent = 0;
    return;
  }
  d.digits.erase(0, first);
  d.exponent -= static_cast<int>(first);
  d.digits.erase(d.digits.find_last_not_of('0') + 1);
}

// The value to `precision` significant digits, correctly rounded.
Decimal FromDouble(double v, int precision) {
  Decimal d;
  d.negative = std::signbit(v);
  double a = std::fabs(v);
  if (a == 0) {
    d.negative = false;
    return d;
  }
  if (precision < 1) precision = 1;
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, precision - 1);
  std::string_view s(buf, static_cast<size_t>(res.ptr - buf));
  size_t e = s.find('e');
  for (char c : s.substr(0, e))
    if (c != '.') d.digits += c;
  int exp10 = 0;
  std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exp10);
  d.exponent = exp10 + 1;
  Normalise(d);
  return d;
}

Decimal FromCurrency(Currency c) {
  Decimal d;
  d.negative = c.Raw < 0;
  uint64_t mag = d.negative ? 0 - static_cast<uint64_t>(c.Raw) : static_cast<uint64_t>(c.Raw);
  d.digits = std::to_string(mag);
  d.exponent = static_cast<int>(d.digits.size()) - 4;
  Normalise(d);
  return d;
}

// Keeps `keep` digits, rounding half away from zero.
void RoundDigits(Decimal& d, int keep) {
  if (keep < 0) {
    d.digits.clear();
    Normalise(d);
    return;
  }
  if (static_cast<int>(d.digits.size()) <= keep) return;
  bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') d.digits[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
      d.digits.insert(d.digits.begin(), '1');
      d.exponent++;
    } else {
      d.digits[static_cast<size_t>(i)]++;
    }
  }
  Normalise(d);
}

void RoundToDecimals(Decimal& d, int decimals) {
  if (d.IsZero()) return;
  RoundDigits(d, d.exponent + decimals);
}

// Integer digits (at least "0") and exactly `decimals` fraction digits.
void SplitFixed(const Decimal& d, int decimals, std::string& intPart, std::string& frac) {
  intPart.clear();
  frac.clear();
  for (int i = 0; i < d.exponent; ++i)
    intPart += i < static_cast<int>(d.digits.size()) ? d.digits[static_cast<size_t>(i)] : '0';
  if (intPart.empty()) intPart = "0";
  for (int i = 0; i < decimals; ++i) {
    int pos = d.exponent + i;
    frac += pos >= 0 && pos < static_cast<int>(d.digits.size()) ? d.digits[static_cast<size_t>(pos)]
                                                                 : '0';
  }
}

std::string Group(const std::string& intPart, char sep) {
  if (!sep) return intPart;
  std::string out;
  size_t n = intPart.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += sep;
    out += intPart[i];
  }
  return out;
}

std::string ExponentText(int exp, bool alwaysSign, int minDigits) {
  std::string s = std::to_string(exp < 0 ? -exp : exp);
  if (static_cast<int>(s.size()) < minDigits) s.insert(0, static_cast<size_t>(minDigits) - s.size(), '0');
  if (exp < 0) return "-" + s;
  return alwaysSign ? "+" + s : s;
}

std::string Special(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

std::string GeneralText(Decimal d, int precision, int expDigits, const TFormatSettings& fs) {
  if (d.IsZero()) return "0";
  std::string out = d.negative ? "-" : "";
  if (d.exponent > precision || d.exponent < -3) {
    out += d.digits[0];
    if (d.digits.size() > 1) {
      out += fs.DecimalSeparator;
      out.append(d.digits, 1);
    }
    out += 'E';
    out += ExponentText(d.exponent - 1, false, expDigits);
    return out;
  }
  std::string intPart, frac;
  int decimals = std::max(0, static_cast<int>(d.digits.size()) - d.exponent);
  SplitFixed(d, decimals, intPart, frac);
  out += intPart;
  if (!frac.empty()) {
    out += fs.DecimalSeparator;
    out += frac;
  }
  return out;
}

std::string ExponentForm(const Decimal& d, int precision, int expDigits, const TFormatSettings& fs) {
  std::string mant = d.digits;
  mant.resize(static_cast<size_t>(precision), '0');
  std::string out = d.negative ? "-" : "";
  out += mant[0];
  if (precision > 1) {
    out += fs.DecimalSeparator;
    out.append(mant, 1);
  }
  out += 'E';
  out += ExponentText(d.IsZero() ? 0 : d.exponent - 1, true, expDigits);
  return out;
}

std::string CurrencyText(bool negative, const std::string& number, const TFormatSettings& fs) {
  const std::string& cs = fs.CurrencyString;
  if (!negative) {
    switch (fs.CurrencyFormat) {
      case 1: return number + cs;
      case 2: return cs + " " + number;
      case 3: return number + " " + cs;
      default: return cs + number;
    }
  }
  switch (fs.NegCurrFormat) {
    case 0: return "(" + cs + number + ")";
    case 2: return cs + "-" + number;
    case 3: return cs + number + "-";
    case 4: return "(" + number + cs + ")";
    case 5: return "-" + number + cs;
    case 6: return number + "-" + cs;
    case 7: return number + cs + "-";
    case 8: return "-" + number + " " + cs;
    case 9: return "-" + cs + " " + number;
    case 10: return number + " " + cs + "-";
    case 11: return cs + " " + number + "-";
    case 12: return cs + " -" + number;
    case 13: return number + "- " + cs;
    case 14: return "(" + cs + " " + number + ")";
    case 15: return "(" + number + " " + cs + ")";
    default: return "-" + cs + number;
  }
}

// Fixed, number and currency forms of a decimal already taken to its
// significant digits.
std::string FixedText(Decimal d, TFloatFormat format, int decimals, const TFormatSettings& fs) {
  decimals = std::clamp(decimals, 0, 18);
  RoundToDecimals(d, decimals);
  if (d.IsZero()) d.negative = false;
  std::string intPart, frac;
  SplitFixed(d, decimals, intPart, frac);
  if (format != TFloatFormat::ffFixed) intPart = Group(intPart, fs.ThousandSeparator);
  std::string number = intPart;
  if (decimals > 0) {
    number += fs.DecimalSeparator;
    number += frac;
  }
  if (format == TFloatFormat::ffCurrency) return CurrencyText(d.negative, number, fs);
  return d.negative ? "-" + number : number;
}

std::string DecimalToStrF(const Decimal& d, TFloatFormat format, int precision, int digits,
                          const TFormatSettings& fs) {
  switch (format) {
    case TFloatFormat::ffGeneral:
      return GeneralText(d, precision, std::clamp(digits, 0, 4), fs);
    case TFloatFormat::ffExponent:
      return ExponentForm(d, precision, std::clamp(digits, 0, 4), fs);
    default:
      if (d.exponent > precision) return GeneralText(d, precision, 0, fs);
      return FixedText(d, format, digits, fs);
  }
}

// ---- number patterns ----

// Splits at ';' outside quotes.
std::vector<std::string_view> SplitSections(std::string_view pattern) {
  std::vector<std::string_view> out;
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      out.push_back(pattern.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(pattern.substr(start));
  return out;
}

struct PatternInfo {
  int intPlaceholders = 0;   // '0'/'#' before the point
  int minIntDigits = 0;      // from the first '0' before the point
  int decPlaceholders = 0;   // '0'/'#' after the point
  int minDecDigits = 0;      // up to the last '0' after the point
  bool thousands = false;
  bool scientific = false;
  int expDigits = 0;
  bool placeholders = false;
};

PatternInfo Analyse(std::string_view s) {
  PatternInfo p;
  bool point = false;
  int firstZero = -1;
  char quote = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '0' || c == '#') {
      p.placeholders = true;
      if (point) {
        p.decPlaceholders++;
        if (c == '0') p.minDecDigits = p.decPlaceholders;
      } else {
        if (c == '0' && firstZero < 0) firstZero = p.intPlaceholders;
        p.intPlaceholders++;
      }
    } else if (c == '.') {
      point = true;
    } else if (c == ',') {
      p.thousands = true;
    } else if ((c == 'E' || c == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-') &&
               p.placeholders) {
      p.scientific = true;
      i += 2;
      while (i < s.size() && s[i] == '0') {
        p.expDigits++;
        ++i;
      }
      --i;
      // Placeholders after the exponent belong to it, not to the mantissa.
      if (p.expDigits == 0) p.expDigits = 1;
    }
  }
  if (firstZero >= 0) p.minIntDigits = p.intPlaceholders - firstZero;
  return p;
}

// Renders one section with the decimal value (sign handled by the caller).
std::string RenderSection(std::string_view s, const PatternInfo& p, Decimal d,
                          const TFormatSettings& fs) {
  int exponent = 0;
  std::string intDigits, frac;
  if (p.scientific) {
    int intCount = std::max(1, p.intPlaceholders);
    if (!d.IsZero()) {
      RoundDigits(d, intCount + p.decPlaceholders);
      exponent = d.exponent - intCount;
      d.exponent = intCount;
    }
  } else {
    RoundToDecimals(d, p.decPlaceholders);
  }
  SplitFixed(d, p.decPlaceholders, intDigits, frac);
  if (intDigits == "0") intDigits.clear();
  if (static_cast<int>(intDigits.size()) < p.minIntDigits)
    intDigits.insert(0, static_cast<size_t>(p.minIntDigits) - intDigits.size(), '0');
  // Optional trailing fraction digits are dropped when zero.
  while (static_cast<int>(frac.size()) > p.minDecDigits && frac.back() == '0') frac.pop_back();

  std::string out;
  const int intLen = static_cast<int>(intDigits.size());
  // Digits beyond the placeholders go out at the first placeholder.
  int intPos = 0;  // index of the next integer digit to emit
  int intSeen = 0;
  int fracSeen = 0;
  bool point = false;
  bool pointDone = false;
  char quote = 0;
  auto emitIntDigit = [&](int index) {
    out += intDigits[static_cast<size_t>(index)];
    int remaining = intLen - index - 1;
    if (p.thousands && fs.ThousandSeparator && remaining > 0 && remaining % 3 == 0)
      out += fs.ThousandSeparator;
  };
  auto emitPoint = [&]() {
    if (pointDone) return;
    pointDone = true;
    // Integer digits not yet placed (a pattern with no integer placeholders).
    while (intPos < intLen) emitIntDigit(intPos++);
    if (!frac.empty()) out += fs.DecimalSeparator;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (quote) {
      if (c == quote)
        quote = 0;
      else
        out += c;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '0' || c == '#') {
      if (!point) {
        // The k-th of n integer placeholders stands for the digit that is
        // n - k positions left of the point.
        int posFromRight = p.intPlaceholders - intSeen;
        ++intSeen;
        if (intSeen == 1)
          while (intLen - intPos > posFromRight) emitIntDigit(intPos++);
        if (intLen - intPos == posFromRight && intPos < intLen) emitIntDigit(intPos++);
      } else {
        if (fracSeen < static_cast<int>(frac.size())) out += frac[static_cast<size_t>(fracSeen)];
        ++fracSeen;
      }
    } else if (c == '.') {
      if (!point) {
        point = true;
        emitPoint();
      }
    } else if (c == ',') {
      // grouping only
    } else if ((c == 'E' || c == 'e') && p.scientific && i + 1 < s.size() &&
               (s[i + 1] == '+' || s[i + 1] == '-')) {
      if (!point) emitPoint();
      out += c;
      bool always = s[i + 1] == '+';
      std::string e = ExponentText(exponent, always, p.expDigits);
      out += e;
      i += 2;
      while (i < s.size() && s[i] == '0') ++i;
      --i;
    } else {
      out += c;
    }
  }
  if (p.placeholders) emitPoint();
  return out;
}

}  // namespace

// ---- integers ----

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex(int64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  uint64_t v = static_cast<uint64_t>(value);
  std::string s;
  do {
    s.insert(s.begin(), kHex[v & 15]);
    v >>= 4;
  } while (v);
  if (static_cast<int>(s.size()) < digits) s.insert(0, static_cast<size_t>(digits) - s.size(), '0');
  return s;
}

std::string IntToHex32(int32_t value, int digits) {
  return IntToHex(static_cast<int64_t>(static_cast<uint32_t>(value)), digits);
}

namespace {

// Parses like the classic Val: leading blanks, sign, "$"/"0x"/"x" hex.
// maxHex: largest unsigned hex magnitude accepted (then wrapped).
bool ParseInteger(std::string_view s, int64_t minValue, int64_t maxValue, uint64_t maxHex,
                  int64_t& result) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t mag = 0;
  const uint64_t limit = hex ? maxHex
                             : (negative ? static_cast<uint64_t>(-(minValue + 1)) + 1
                                         : static_cast<uint64_t>(maxValue));
  for (; i < s.size(); ++i) {
    char c = s[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    unsigned base = hex ? 16 : 10;
    if (mag > (limit - static_cast<uint64_t>(digit)) / base) return false;
    mag = mag * base + static_cast<uint64_t>(digit);
  }
  if (hex) {
    // Hex texts give the bit pattern of the target width.
    int64_t v = maxHex == 0xFFFFFFFFull ? static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(mag)))
                                        : static_cast<int64_t>(mag);
    // Negated in unsigned arithmetic: "-$8000000000000000" has no positive twin.
    result = negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(v)) : v;
  } else {
    result = negative ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
  }
  return true;
}

[[noreturn]] void InvalidInteger(std::string_view s) {
  throw EConvertError(Format("'%s' is not a valid integer value", {s}));
}

}  // namespace

bool TryStrToInt(std::string_view s, int& value) {
  int64_t v;
  if (!ParseInteger(s, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                    0xFFFFFFFFull, v))
    return false;
  value = static_cast<int>(v);
  return true;
}

bool TryStrToInt64(std::string_view s, int64_t& value) {
  return ParseInteger(s, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                      std::numeric_limits<uint64_t>::max(), value);
}

int StrToInt(std::string_view s) {
  int v;
  if (!TryStrToInt(s, v)) InvalidInteger(s);
  return v;
}

int64_t StrToInt64(std::string_view s) {
  int64_t v;
  if (!TryStrToInt64(s, v)) InvalidInteger(s);
  return v;
}

int StrToIntDef(std::string_view s, int def) {
  int v;
  return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64Def(std::string_view s, int64_t def) {
  int64_t v;
  return TryStrToInt64(s, v) ? v : def;
}

// ---- floats from text ----

namespace {

// Rewrites the text into the C form ("-12.5e3") or returns false.
bool NormaliseFloatText(std::string_view s, char decimalSeparator, std::string& out) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  s = s.substr(b, e - b);
  out.clear();
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) out += s[i++];
  int mantissaDigits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    out += s[i++];
    ++mantissaDigits;
  }
  if (i < s.size() && s[i] == decimalSeparator) {
    out += '.';
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      out += s[i++];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    out += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) out += s[i++];
    int expDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      out += s[i++];
      ++expDigits;
    }
    if (expDigits == 0) return false;
  }
  return i == s.size();
}

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

}  // namespace

bool TryStrToFloat(std::string_view s, double& value, const TFormatSettings& fs) {
  std::string text;
  if (!NormaliseFloatText(s, fs.DecimalSeparator, text)) return false;
  double v = strtod_l(text.c_str(), nullptr, CLocale());
  if (std::isinf(v)) return false;  // overflow
  value = v;
  return true;
}

bool TryStrToFloat(std::string_view s, double& value) {
  return TryStrToFloat(s, value, FormatSettings());
}

double StrToFloat(std::string_view s, const TFormatSettings& fs) {
  double v;
  if (!TryStrToFloat(s, v, fs))
    throw EConvertError(Format("'%s' is not a valid floating point value", {s}));
  return v;
}

double StrToFloat(std::string_view s) { return StrToFloat(s, FormatSettings()); }

bool TryStrToCurr(std::string_view s, Currency& value) {
  // The digits are taken from the text itself, not through a double: a
  // currency holds up to 19 significant digits, a double only 15 safely.
  std::string text;
  if (!NormaliseFloatText(s, FormatSettings().DecimalSeparator, text)) return false;
  Decimal d;
  size_t i = 0;
  if (text[i] == '+' || text[i] == '-') d.negative = text[i++] == '-';
  int intDigits = 0;
  bool point = false;
  for (; i < text.size() && text[i] != 'e'; ++i) {
    if (text[i] == '.') {
      point = true;
      continue;
    }
    d.digits += text[i];
    if (!point) ++intDigits;
  }
  long long exp10 = 0;
  if (i < text.size()) {
    size_t e = i + 1;
    if (text[e] == '+') ++e;
    auto res = std::from_chars(text.data() + e, text.data() + text.size(), exp10);
    // An exponent beyond any currency's reach is clamped; the range check
    // below (or the rounding to zero) decides.
    if (res.ec == std::errc::result_out_of_range) exp10 = text[e] == '-' ? -100000 : 100000;
    exp10 = std::clamp(exp10, -100000LL, 100000LL);
  }
  d.exponent = intDigits + static_cast<int>(exp10);
  Normalise(d);
  RoundToDecimals(d, 4);
  if (d.exponent + 4 > 19) return false;
  std::string intPart, frac;
  SplitFixed(d, 4, intPart, frac);
  const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (d.negative ? 1 : 0);
  uint64_t mag = 0;
  for (char c : intPart + frac) {
    const auto digit = static_cast<uint64_t>(c - '0');
    if (mag > (limit - digit) / 10) return false;
    mag = mag * 10 + digit;
  }
  value = Currency::FromRaw(d.negative ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag));
  return true;
}

Currency StrToCurr(std::string_view s) {
  Currency c;
  if (!TryStrToCurr(s, c)) throw EConvertError(Format("'%s' is not a valid floating point value", {s}));
  return c;
}

Currency Currency::FromDouble(double value) {
  if (std::isnan(value)) throw EInvalidOp("Invalid floating point operation");
  Currency c;
  if (!DoubleToScaled(value, 4, c.Raw)) throw EOverflow("Floating point overflow");
  return c;
}

// ---- floats to text ----

std::string FloatToStr(double value, const TFormatSettings& fs) {
  return FloatToStrF(value, TFloatFormat::ffGeneral, 15, 0, fs);
}

std::string FloatToStr(double value) { return FloatToStr(value, FormatSettings()); }

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& fs) {
  if (!std::isfinite(value)) return Special(value);
  precision = std::clamp(precision, 1, 18);
  // Below 16 digits the value is first taken to 15 significant digits, so
  // that 1.005 counts as written rather than as its binary neighbour
  // 1.00499999..., then rounded half away from zero.
  const bool significant = format == TFloatFormat::ffGeneral || format == TFloatFormat::ffExponent;
  Decimal d = FromDouble(value, significant ? std::max(precision, 15) : std::min(precision, 15));
  if (significant) RoundDigits(d, precision);
  return DecimalToStrF(d, format, precision, digits, fs);
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
  return FloatToStrF(value, format, precision, digits, FormatSettings());
}

namespace {

std::string FormatDecimal(std::string_view pattern, Decimal d, const TFormatSettings& fs) {
  std::vector<std::string_view> sections = SplitSections(pattern);
  if (sections.size() > 3) sections.resize(3);
  if (pattern.empty()) {
    // An empty pattern gives the general form.
    return GeneralText(d, 15, 0, fs);
  }
  const bool negative = d.negative;
  d.negative = false;
  size_t index = 0;
  if (negative && sections.size() > 1 && !sections[1].empty()) index = 1;
  if (d.IsZero() && sections.size() > 2 && !sections[2].empty()) index = 2;
  PatternInfo info = Analyse(sections[index]);
  // A value that rounds to zero takes the zero section.
  Decimal rounded = d;
  if (info.scientific)
    RoundDigits(rounded, std::max(1, info.intPlaceholders) + info.decPlaceholders);
  else
    RoundToDecimals(rounded, info.decPlaceholders);
  bool zero = rounded.IsZero();
  if (zero && index != 2 && sections.size() > 2 && !sections[2].empty()) {
    index = 2;
    info = Analyse(sections[2]);
  }
  std::string out = RenderSection(sections[index], info, d, fs);
  // Only the first section carries an implicit minus; a zero result has none.
  if (negative && index == 0 && !zero && info.placeholders) out.insert(0, "-");
  return out;
}

}  // namespace

std::string FormatFloat(std::string_view pattern, double value, const TFormatSettings& fs) {
  if (!std::isfinite(value)) return Special(value);
  return FormatDecimal(pattern, FromDouble(value, 15), fs);
}

std::string FormatFloat(std::string_view pattern, double value) {
  return FormatFloat(pattern, value, FormatSettings());
}

std::string CurrToStr(Currency value, const TFormatSettings& fs) {
  return GeneralText(FromCurrency(value), 19, 0, fs);
}

std::string CurrToStr(Currency value) { return CurrToStr(value, FormatSettings()); }

std::string CurrToStrF(Currency value, TFloatFormat format, int digits, const TFormatSettings& fs) {
  return DecimalToStrF(FromCurrency(value), format, 19, digits, fs);
}

std::string CurrToStrF(Currency value, TFloatFormat format, int digits) {
  return CurrToStrF(value, format, digits, FormatSettings());
}

std::string FormatCurr(std::string_view pattern, Currency value, const TFormatSettings& fs) {
  return FormatDecimal(pattern, FromCurrency(value), fs);
}

std::string FormatCurr(std::string_view pattern, Currency value) {
  return FormatCurr(pattern, value, FormatSettings());
}
