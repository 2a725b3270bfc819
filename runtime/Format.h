// The standard formatter used for every message text of the system.
// Supports %s %d %u %x %g %f %e %n %m %p, width and precision ("%.8x",
// "%-8.8x"), "*" for either, and index specifiers ("%2:s").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

// One argument of Format: integer, floating point, text or pointer.
class FormatArg {
 public:
  FormatArg(int v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(long v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(long long v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(unsigned v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(unsigned long v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(unsigned long long v) : m_value(static_cast<int64_t>(v)) {}
  FormatArg(double v) : m_value(v) {}
  FormatArg(const char* v) : m_value(std::string(v ? v : "")) {}
  FormatArg(std::string v) : m_value(std::move(v)) {}
  FormatArg(std::string_view v) : m_value(std::string(v)) {}
  FormatArg(const void* v) : m_value(v) {}

  const std::variant<int64_t, double, std::string, const void*>& Value() const { return m_value; }

 private:
  std::variant<int64_t, double, std::string, const void*> m_value;
};

// Formats like the framework's Format; a bad format or a mismatched argument
// raises EConvertError ("Format '%s' invalid or incompatible with argument").
std::string Format(std::string_view format, std::initializer_list<FormatArg> args);
