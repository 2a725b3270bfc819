// The standard formatter used for every message text of the system.
// Supports %s %d %u %x %g %f %e %n %m %p, width and precision ("%.8x",
// "%-8.8x"), "*" for either, and index specifiers ("%2:s"; unindexed
// specifiers continue after the last argument used). %d/%u/%x: precision is
// the minimum digit count; %x prints upper-case digits; %s: precision is the
// maximum length; %g and %e: significant digits (default 15), %g as
// FloatToStr, %e as "1.00000000000000E+003"; %f %n %m: decimals (default 2,
// %m the currency decimals), %n with thousand separators, %m the currency
// form; they accept integer arguments as well. Separators come from
// FormatSettings().
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <span>
#include <string_view>
#include <variant>

// One argument of Format: integer, floating point, text or pointer.
class FormatArg {
 public:
  // 32-bit integers keep their width: "%x" of -1 is "FFFFFFFF", "%u" of -1
  // is "4294967295"; 64-bit ones show all 64 bits.
  FormatArg(int v) : m_value(static_cast<int64_t>(v)), m_is32(true) {}
  FormatArg(long v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(long long v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(unsigned v) : m_value(static_cast<int64_t>(static_cast<int32_t>(v))), m_is32(true) {}
  FormatArg(unsigned long v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(unsigned long long v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(double v) : m_value(v) {}
  FormatArg(const char* v) : m_value(std::string(v ? v : "")) {}
  FormatArg(std::string v) : m_value(std::move(v)) {}
  FormatArg(std::string_view v) : m_value(std::string(v)) {}
  FormatArg(const void* v) : m_value(v) {}

  const std::variant<int64_t, double, std::string, const void*>& Value() const { return m_value; }
  bool Is32() const noexcept { return m_is32; }

 private:
  std::variant<int64_t, double, std::string, const void*> m_value;
  bool m_is32 = false;
};

// Formats like the framework's Format; a bad format or a mismatched argument
// raises EConvertError ("Format '%s' invalid or incompatible with argument").
// A missing argument raises EConvertError ("No argument for format '%s'").
// Both texts quote the format itself, cut to 31 characters.
std::string Format(std::string_view format, std::initializer_list<FormatArg> args);
std::string Format(std::string_view format, std::span<const FormatArg> args);
