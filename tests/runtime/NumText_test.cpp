// Number texts: general float form, number patterns, currency texts and the
// integer/float parsers with their conversion errors.
#include "runtime/NumText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "runtime/Exceptions.h"

namespace {

TFormatSettings CommaDecimal() {
  TFormatSettings s = TFormatSettings::Fixed();
  s.DecimalSeparator = ',';
  s.ThousandSeparator = '.';
  return s;
}

TEST(FloatToStr, GeneralForm) {
  const TFormatSettings fs = TFormatSettings::Fixed();
  const struct {
    double value;
    const char* want;
  } cases[] = {
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.3"},  // 15 digits hide the binary error
      {-2.5, "-2.5"},
      {0.0, "0"},
      {-0.0, "0"},
      {40000, "40000"},
      {1e20, "1E20"},
      {1e15, "1E15"},  // 16 integer digits do not fit 15
      {1e14, "100000000000000"},
      {1e-20, "1E-20"},
      {1.5e-7, "1.5E-7"},
      {0.0001, "0.0001"},
      {0.00001, "1E-5"},
      {123456789012345678.0, "1.23456789012346E17"},
      {-123456789012345678.0, "-1.23456789012346E17"},
      {999999999999999.5, "1E15"},  // rounding carries into a new digit
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(FloatToStr(c.value, fs), c.want);
  }
  EXPECT_EQ(FloatToStr(-1234.5, CommaDecimal()), "-1234,5");
  EXPECT_EQ(FloatToStr(1.5e-7, CommaDecimal()), "1,5E-7");
}

TEST(FloatToStrF, FormsAndPrecision) {
  const TFormatSettings fs = TFormatSettings::Fixed();
  using F = TFloatFormat;
  EXPECT_EQ(FloatToStrF(3.14159, F::ffGeneral, 3, 0, fs), "3.14");
  EXPECT_EQ(FloatToStrF(1234.5, F::ffGeneral, 3, 0, fs), "1.23E3");
  EXPECT_EQ(FloatToStrF(1234.5, F::ffExponent, 4, 2, fs), "1.235E+03");
  EXPECT_EQ(FloatToStrF(0.0, F::ffExponent, 3, 3, fs), "0.00E+000");
  EXPECT_EQ(FloatToStrF(1.005, F::ffFixed, 15, 2, fs), "1.01");  // as written, not 1.00499...
  EXPECT_EQ(FloatToStrF(-0.001, F::ffFixed, 15, 2, fs), "0.00");  // no "-0.00"
  EXPECT_EQ(FloatToStrF(1234567.5, F::ffNumber, 15, 0, fs), "1,234,568");
  EXPECT_EQ(FloatToStrF(1e20, F::ffFixed, 15, 2, fs), "1E20");
  EXPECT_EQ(FloatToStrF(1234.5, F::ffNumber, 15, 2, CommaDecimal()), "1.234,50");
}

TEST(FormatFloat, Patterns) {
  const TFormatSettings fs = TFormatSettings::Fixed();
  const struct {
    const char* pattern;
    double value;
    const char* want;
  } cases[] = {
      {"#,##0.00", 1234567.891, "1,234,567.89"},
      {"#,##0.00", 0.5, "0.50"},
      {"#,##0.00", -1234.5, "-1,234.50"},
      {"#,##0.00", 999.999, "1,000.00"},
      {"#,##0.00", -0.001, "0.00"},
      {"0.0000", 3.14159265, "3.1416"},
      {"0.0000", -2, "-2.0000"},
      {"#,##0.", 1234567.6, "1,234,568"},
      {"#,##0.", 12, "12"},
      {"#,##0.", 0, "0"},
      {"0.", 2.5, "3"},  // half away from zero
      {"0.", -2.5, "-3"},
      {"0.", 123456789, "123456789"},  // more digits than placeholders
      {"0.00", 0.125, "0.13"},
      {"0.0", 0.15, "0.2"},
      {"#.##", 0.5, ".5"},
      {"#.##", 2, "2"},
      {"0.0#", 1.5, "1.5"},
      {"0.0#", 1.256, "1.26"},
      {"000", 7, "007"},
      {"#", 0, ""},
      {"0.00E+00", 12345, "1.23E+04"},
      {"0.00E-00", 0.00012345, "1.23E-04"},
      {"0.0E+0", 0, "0.0E+0"},
      {"#,##0.00;(#,##0.00)", -1234.5, "(1,234.50)"},
      {"#,##0.00;(#,##0.00);\"nula\"", 0, "nula"},
      {"0.0;-0.0;zero", 0.04, "zero"},  // rounds to zero: the zero section
      {"#,##0.00;;Zero", -5, "-5.00"},  // empty negative section: minus sign
      {"\"Iznos: \"0.00' KM'", 12.5, "Iznos: 12.50 KM"},
      {"", 1.5, "1.5"},
      {"#,##0.00", 1e20, "100,000,000,000,000,000,000.00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + std::to_string(c.value));
    EXPECT_EQ(FormatFloat(c.pattern, c.value, fs), c.want);
  }
  EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891, CommaDecimal()), "1.234.567,89");
}

TEST(CurrencyText, FormsFollowTheSettings) {
  TFormatSettings fs = TFormatSettings::Fixed();
  const Currency c = Currency::FromRaw(-12345678);  // -1234.5678
  EXPECT_EQ(CurrToStr(c, fs), "-1234.5678");
  EXPECT_EQ(CurrToStr(Currency::FromInt(5), fs), "5");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(std::numeric_limits<int64_t>::min()), fs),
            "-922337203685477.5808");
  EXPECT_EQ(CurrToStrF(c, TFloatFormat::ffCurrency, 2, fs), "-$1,234.57");
  EXPECT_EQ(CurrToStrF(c, TFloatFormat::ffFixed, 4, fs), "-1234.5678");
  EXPECT_EQ(FormatCurr("#,##0.00", c, fs), "-1,234.57");

  fs.CurrencyString = "din.";
  fs.DecimalSeparator = ',';
  fs.ThousandSeparator = '.';
  const struct {
    int format, negFormat;
    double value;
    const char* want;
  } cases[] = {
      {3, 8, 1234.5, "1.234,50 din."},
      {3, 8, -1234.5, "-1.234,50 din."},
      {0, 0, -1, "(din.1,00)"},
      {2, 12, -1, "din. -1,00"},
      {1, 15, -1, "(1,00 din.)"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.want);
    fs.CurrencyFormat = static_cast<uint8_t>(k.format);
    fs.NegCurrFormat = static_cast<uint8_t>(k.negFormat);
    EXPECT_EQ(FloatToStrF(k.value, TFloatFormat::ffCurrency, 15, 2, fs), k.want);
  }
}

TEST(Currency, FromDoubleRoundsAndRejectsOverflow) {
  EXPECT_EQ(Currency::FromDouble(12.3456).Raw, 123456);
  EXPECT_EQ(Currency::FromDouble(-1.23456).Raw, -12346);
  EXPECT_THROW(Currency::FromDouble(1e15), EOverflow);
  EXPECT_THROW(Currency::FromDouble(std::nan("")), EInvalidOp);
}

TEST(IntegerText, ToText) {
  EXPECT_EQ(IntToStr(-9223372036854775807LL - 1), "-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex32(-1, 2), "FFFFFFFF");
}

TEST(IntegerText, Parsing) {
  const struct {
    const char* text;
    int want;
  } good[] = {{"0", 0},        {"123", 123},   {"-42", -42}, {"+7", 7},
              {"  12", 12},    {"$FF", 255},   {"0x1f", 31}, {"2147483647", 2147483647},
              {"-2147483648", -2147483647 - 1}, {"$FFFFFFFF", -1}};
  for (const auto& c : good) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(StrToInt(c.text), c.want);
  }
  for (const char* bad : {"", " ", "12 ", "1.5", "abc", "2147483648", "-2147483649", "--1", "$",
                          "1e3"}) {
    SCOPED_TRACE(bad);
    try {
      StrToInt(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
    }
  }
  EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(StrToInt64("-$8000000000000000"), std::numeric_limits<int64_t>::min());
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(StrToIntDef("x", -1), -1);
}

TEST(FloatText, Parsing) {
  const TFormatSettings fs = TFormatSettings::Fixed();
  const struct {
    const char* text;
    double want;
  } good[] = {{"1.5", 1.5},     {" -2.25 ", -2.25}, {"1e3", 1000}, {"1.5E-7", 1.5e-7},
              {".5", 0.5},      {"5.", 5},          {"+3", 3},     {"1e-400", 0}};
  for (const auto& c : good) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(StrToFloat(c.text, fs), c.want);
  }
  for (const char* bad : {"", "1,5", "1.5x", "e5", "1e", "1e400", "--1", "."}) {
    SCOPED_TRACE(bad);
    try {
      StrToFloat(bad, fs);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid floating point value");
    }
  }
  double v = 0;
  EXPECT_TRUE(TryStrToFloat("1,5", v, CommaDecimal()));
  EXPECT_DOUBLE_EQ(v, 1.5);
  EXPECT_FALSE(TryStrToFloat("1.5", v, CommaDecimal()));
}

TEST(FloatText, RoundTripsThroughTheGeneralForm) {
  TScopedFormatSettings guard(CommaDecimal());
  for (double v : {0.1, -1234.5678, 1e-9, 6.02214076e23, 1.0 / 7}) {
    SCOPED_TRACE(v);
    EXPECT_NEAR(StrToFloat(FloatToStr(v)), v, std::fabs(v) * 1e-14);
  }
  EXPECT_EQ(StrToCurr("12,3456").Raw, 123456);
  EXPECT_EQ(StrToCurr("0,1").Raw, 1000);
}

TEST(CurrencyText, ParsingKeepsEveryDigit) {
  TScopedFormatSettings guard(TFormatSettings::Fixed());
  const struct {
    const char* text;
    int64_t raw;
  } good[] = {{"922337203685477.5807", INT64_MAX},
              {"-922337203685477.5808", INT64_MIN},
              {"12345678901234.5678", 123456789012345678},
              {"1.00005", 10001},
              {"-1.00005", -10001},
              {"1.5e3", 15000000},
              {"123e-6", 1},
              {"1e-30", 0}};
  for (const auto& c : good) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(StrToCurr(c.text).Raw, c.raw);
  }
  for (const char* bad : {"922337203685477.5808", "1e16", "1e99999999999", "x"}) {
    SCOPED_TRACE(bad);
    try {
      StrToCurr(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid floating point value");
    }
  }
}

}  // namespace
