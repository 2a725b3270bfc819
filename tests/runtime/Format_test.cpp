// The standard formatter: every specifier, width/precision, index
// specifiers and the errors of a bad format.
#include "runtime/Format.h"

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"
#include "runtime/FormatSettings.h"

namespace {

struct Case {
  const char* format;
  std::vector<FormatArg> args;
  const char* want;
};

TEST(Format, RendersSpecifiers) {
  TScopedFormatSettings fs(TFormatSettings::Fixed());
  const Case cases[] = {
      {"%s: %s", {"qryX", "Cannot perform this operation on a closed dataset"},
       "qryX: Cannot perform this operation on a closed dataset"},
      {"%g is not a valid value for field '%s'. The allowed range is %g to %g",
       {40000.0, "KOL", -32768.0, 32767.0},
       "40000 is not a valid value for field 'KOL'. The allowed range is -32768 to 32767"},
      // Integer arguments are accepted by the float specifiers.
      {"%g to %g", {-32768, 32767}, "-32768 to 32767"},
      {"(%s%s%s%s%2:s)", {"a", "b", "c", "d"}, "(abcdc)"},
      // After an index specifier the next plain one takes the following argument.
      {"%1:s %s %0:s %s", {"x", "y", "z"}, "y z x y"},
      {"%-8.8x|", {255}, "000000FF|"},
      {"%-8x|", {255}, "FF      |"},
      {"%.8x", {255}, "000000FF"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%x", {int64_t{-1}}, "FFFFFFFFFFFFFFFF"},
      {"%X", {0xabc}, "ABC"},
      {"%d", {-42}, "-42"},
      {"%5d|%-5d|", {42, 42}, "   42|42   |"},
      {"%.5d", {-12}, "-00012"},
      {"%d", {int64_t{9223372036854775807}}, "9223372036854775807"},
      {"%u", {-1}, "4294967295"},
      {"%.3s|%5s|%-5s|", {"abcdef", "ab", "ab"}, "abc|   ab|ab   |"},
      {"%*d|%-*.*d", {4, 7, 5, 3, 7}, "   7|007  "},
      {"100%%", {}, "100%"},
      {"%g", {1.0 / 3}, "0.333333333333333"},
      {"%g", {1e20}, "1E20"},
      {"%g", {1.5e-7}, "1.5E-7"},
      {"%.3g", {3.14159}, "3.14"},
      {"%e", {1000.0}, "1.00000000000000E+003"},
      {"%.3e", {-0.00125}, "-1.25E-003"},
      {"%f", {2.5}, "2.50"},
      {"%.0f|%.3f", {2.5, -1.0005}, "3|-1.001"},
      {"%n", {1234567.891}, "1,234,567.89"},
      {"%m", {-1234.5}, "-$1,234.50"},
      {"%s", {std::string("std")}, "std"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(Format(c.format, std::span<const FormatArg>(c.args)), c.want);
  }
}

TEST(Format, FloatsUseTheDecimalSeparatorOfTheSettings) {
  TFormatSettings s = TFormatSettings::Fixed();
  s.DecimalSeparator = ',';
  s.ThousandSeparator = '.';
  TScopedFormatSettings guard(s);
  EXPECT_EQ(Format("%g|%f|%n", {1.5, 2.25, 1234.5}), "1,5|2,25|1.234,50");
}

TEST(Format, BadFormatsRaiseConvertError) {
  struct Bad {
    const char* format;
    std::vector<FormatArg> args;
    const char* message;
  };
  const Bad cases[] = {
      {"%d", {"text"}, "Format '%d' invalid or incompatible with argument"},
      {"%s", {12}, "Format '%s' invalid or incompatible with argument"},
      {"%g", {"12"}, "Format '%g' invalid or incompatible with argument"},
      {"%x", {1.5}, "Format '%x' invalid or incompatible with argument"},
      {"%*d", {"w", 1}, "Format '%*d' invalid or incompatible with argument"},
      {"%k", {1}, "Format '%k' invalid or incompatible with argument"},
      {"abc %", {}, "Format 'abc %' invalid or incompatible with argument"},
      {"%s %s", {"one"}, "No argument for format '%s %s'"},
      {"%3:s", {"a"}, "No argument for format '%3:s'"},
      // The quoted format is cut to 31 characters.
      {"0123456789012345678901234567890123456789 %d", {},
       "No argument for format '0123456789012345678901234567890'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    try {
      Format(c.format, std::span<const FormatArg>(c.args));
      ADD_FAILURE() << "no exception";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

}  // namespace
