// Number texts: integer and float conversions in both directions, the
// general float form, number patterns and currency texts. Every function
// without a settings argument uses the process-wide FormatSettings().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/Currency.h"
#include "runtime/FormatSettings.h"

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

std::string IntToStr(int64_t value);
// Upper-case hex digits, zero padded to at least `digits`; a negative value
// shows its 64-bit two's complement.
std::string IntToHex(int64_t value, int digits);
// 32-bit hex of a 32-bit value ("FFFFFFFF" for -1 with digits 8).
std::string IntToHex32(int32_t value, int digits);

// Decimal text, optional sign and leading blanks; "$" or "0x" introduces hex.
// EConvertError "'%s' is not a valid integer value".
int StrToInt(std::string_view s);
int64_t StrToInt64(std::string_view s);
bool TryStrToInt(std::string_view s, int& value);
bool TryStrToInt64(std::string_view s, int64_t& value);
int StrToIntDef(std::string_view s, int def);
int64_t StrToInt64Def(std::string_view s, int64_t def);

// Decimal text with the settings' decimal separator, optional exponent,
// leading and trailing blanks allowed, no thousand separators.
// EConvertError "'%s' is not a valid floating point value".
double StrToFloat(std::string_view s);
double StrToFloat(std::string_view s, const TFormatSettings& fs);
bool TryStrToFloat(std::string_view s, double& value);
bool TryStrToFloat(std::string_view s, double& value, const TFormatSettings& fs);
// The text of StrToFloat read exactly into a currency value (all its digits,
// rounded half away from zero to 4 decimals); outside the currency range it
// is not valid.
Currency StrToCurr(std::string_view s);
bool TryStrToCurr(std::string_view s, Currency& value);

// General form: up to 15 significant digits, no trailing zeros, plain form
// unless the value needs more than 15 integer digits or is below 0.0001
// ("1E20", "1.5E-7"); "NAN", "INF", "-INF".
std::string FloatToStr(double value);
std::string FloatToStr(double value, const TFormatSettings& fs);
// precision: significant digits (general, exponent; at most 18);
// digits: minimum exponent digits (general, exponent) or decimals (fixed,
// number, currency; at most 18).
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& fs);
// Number patterns: up to three sections "positive;negative;zero", '0' digit,
// '#' optional digit, '.' decimal point, ',' thousand grouping, "E+"/"E-"
// exponent, quoted literal text; other characters are copied. The value is
// taken to 15 significant digits and rounded half away from zero.
std::string FormatFloat(std::string_view pattern, double value);
std::string FormatFloat(std::string_view pattern, double value, const TFormatSettings& fs);

// Currency texts (exact, from the four-decimal value).
std::string CurrToStr(Currency value);  // general form: "12.34", "-5"
std::string CurrToStr(Currency value, const TFormatSettings& fs);
std::string CurrToStrF(Currency value, TFloatFormat format, int digits);
std::string CurrToStrF(Currency value, TFloatFormat format, int digits, const TFormatSettings& fs);
std::string FormatCurr(std::string_view pattern, Currency value);
std::string FormatCurr(std::string_view pattern, Currency value, const TFormatSettings& fs);
