// The standard formatter: parses "%[index:][-][width][.precision]type" and
// renders each argument with the number texts of NumText.
#include "runtime/Format.h"

#include <algorithm>
#include <cstdint>

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/NumText.h"

namespace {

[[noreturn]] void FormatError(std::string_view format, bool missing) {
  // The message quotes the format, cut to 31 characters like the fixed
  // buffer the classic texts were built in.
  std::string quoted(format.substr(0, 31));
  std::string text = missing ? "No argument for format '" : "Format '";
  text += quoted;
  text += missing ? "'" : "' invalid or incompatible with argument";
  throw EConvertError(text);
}

std::string HexDigits(uint64_t v) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), kHex[v & 15]);
    v >>= 4;
  } while (v);
  return s;
}

}  // namespace

std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
  return Format(format, std::span<const FormatArg>(args.begin(), args.size()));
}

std::string Format(std::string_view format, std::span<const FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 16);
  size_t argIndex = 0;
  size_t i = 0;
  const size_t n = format.size();

  auto nextArg = [&]() -> const FormatArg& {
    if (argIndex >= args.size()) FormatError(format, true);
    return args[argIndex++];
  };
  auto intArg = [&]() -> int64_t {
    const FormatArg& a = nextArg();
    if (auto p = std::get_if<int64_t>(&a.Value())) return *p;
    FormatError(format, false);
  };
  // A number or "*"; -1 when absent.
  auto readNumber = [&]() -> int64_t {
    if (i < n && format[i] == '*') {
      ++i;
      return intArg();
    }
    if (i >= n || format[i] < '0' || format[i] > '9') return -1;
    int64_t v = 0;
    while (i < n && format[i] >= '0' && format[i] <= '9') {
      v = v * 10 + (format[i] - '0');
      if (v > 1000000) FormatError(format, false);
      ++i;
    }
    return v;
  };

  while (i < n) {
    char c = format[i];
    if (c != '%') {
      size_t next = format.find('%', i);
      if (next == std::string_view::npos) next = n;
      out.append(format.substr(i, next - i));
      i = next;
      continue;
    }
    ++i;
    if (i >= n) FormatError(format, false);
    if (format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    int64_t number = readNumber();
    if (i < n && format[i] == ':') {
      if (number < 0) FormatError(format, false);
      argIndex = static_cast<size_t>(number);
      ++i;
      number = -1;
    }
    bool leftAlign = false;
    if (number < 0 && i < n && format[i] == '-') {
      leftAlign = true;
      ++i;
    }
    int64_t width = number >= 0 ? number : readNumber();
    int64_t precision = -1;
    if (i < n && format[i] == '.') {
      ++i;
      precision = readNumber();
      if (precision < 0) precision = 0;
    }
    if (i >= n) FormatError(format, false);
    char type = format[i++];
    type = UpperCaseAscii(type);

    const FormatArg& arg = nextArg();
    const auto& v = arg.Value();
    std::string text;
    switch (type) {
      case 'D':
      case 'U':
      case 'X': {
        auto p = std::get_if<int64_t>(&v);
        if (!p) FormatError(format, false);
        int64_t value = *p;
        bool negative = false;
        uint64_t magnitude;
        if (type == 'D') {
          negative = value < 0;
          magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        } else {
          magnitude = arg.Is32() ? static_cast<uint32_t>(value) : static_cast<uint64_t>(value);
        }
        std::string digits = type == 'X' ? HexDigits(magnitude) : std::to_string(magnitude);
        if (precision > 0 && static_cast<int64_t>(digits.size()) < precision)
          digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
        text = negative ? "-" + digits : digits;
        break;
      }
      case 'S': {
        auto p = std::get_if<std::string>(&v);
        if (!p) FormatError(format, false);
        text = *p;
        if (precision >= 0 && static_cast<int64_t>(text.size()) > precision)
          text.resize(static_cast<size_t>(precision));
        break;
      }
      case 'P': {
        auto p = std::get_if<const void*>(&v);
        if (!p) FormatError(format, false);
        text = HexDigits(reinterpret_cast<uintptr_t>(*p));
        text.insert(0, sizeof(void*) * 2 - text.size(), '0');
        break;
      }
      case 'G':
      case 'E':
      case 'F':
      case 'N':
      case 'M': {
        // Integers are taken as floats too: a C++ literal such as -32768 is
        // an int, and refusing it would turn a message into a format error.
        double value;
        if (auto p = std::get_if<double>(&v))
          value = *p;
        else if (auto q = std::get_if<int64_t>(&v))
          value = static_cast<double>(*q);
        else
          FormatError(format, false);
        switch (type) {
          case 'G':
            text = FloatToStrF(value, TFloatFormat::ffGeneral,
                               precision < 0 ? 15 : static_cast<int>(std::min<int64_t>(precision, 18)),
                               0);
            break;
          case 'E':
            text = FloatToStrF(value, TFloatFormat::ffExponent,
                               precision < 0 ? 15 : static_cast<int>(std::min<int64_t>(precision, 18)),
                               3);
            break;
          case 'F':
          case 'N':
          case 'M': {
            int decimals = precision < 0 ? (type == 'M' ? FormatSettings().CurrencyDecimals : 2)
                                         : static_cast<int>(std::min<int64_t>(precision, 18));
            TFloatFormat ff = type == 'F'   ? TFloatFormat::ffFixed
                              : type == 'N' ? TFloatFormat::ffNumber
                                            : TFloatFormat::ffCurrency;
            text = FloatToStrF(value, ff, 18, decimals);
            break;
          }
        }
        break;
      }
      default:
        FormatError(format, false);
    }
    if (width > 0 && static_cast<int64_t>(text.size()) < width) {
      size_t pad = static_cast<size_t>(width) - text.size();
      if (leftAlign)
        text.append(pad, ' ');
      else
        text.insert(0, pad, ' ');
    }
    out += text;
  }
  return out;
}
