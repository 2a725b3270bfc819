// Number field classes: integers of every width, 64-bit integers, floats
// and scaled decimals, with their range checks and display patterns.
#include <cmath>
#include <cstring>
#include <limits>

#include "dataset/DataSet.h"
#include "dataset/Field.h"
#include "runtime/Format.h"
#include "runtime/FormatSettings.h"
#include "runtime/NumText.h"
#include "runtime/Scaled.h"

// --- TNumericField ----------------------------------------------------------

TNumericField::TNumericField(TComponent* AOwner) : TField(AOwner) {
  SetAlignment(taRightJustify);
}

void TNumericField::SetDisplayFormat(const std::string& v) {
  m_displayFormat = v;
  PropertyChanged(false);
}

void TNumericField::SetEditFormat(const std::string& v) {
  m_editFormat = v;
  PropertyChanged(false);
}

const std::string& TNumericField::TextFormat(bool displayText) const {
  return displayText || m_editFormat.empty() ? m_displayFormat : m_editFormat;
}

// --- TIntegerField and descendants ------------------------------------------

TIntegerField::TIntegerField(TComponent* AOwner)
    : TNumericField(AOwner),
      m_minRange(std::numeric_limits<int32_t>::min()),
      m_maxRange(std::numeric_limits<int32_t>::max()) {
  SetDataType(ftInteger);
}

int TIntegerField::DataSize() const {
  return DataType() == ftSmallint || DataType() == ftWord ? 2 : 4;
}

bool TIntegerField::GetValue(int32_t& value) const {
  union {
    int16_t i16;
    uint16_t u16;
    int32_t i32;
  } buf{};
  if (!GetData(&buf)) return false;
  switch (DataType()) {
    case ftSmallint: value = buf.i16; break;
    case ftWord: value = buf.u16; break;
    default: value = buf.i32; break;
  }
  return true;
}

void TIntegerField::CheckRange(int64_t v) const {
  int64_t low = m_minRange, high = m_maxRange;
  if (m_minValue != 0 || m_maxValue != 0) {
    low = m_minValue;
    high = m_maxValue;
  }
  if (v < low || v > high)
    RangeError(static_cast<double>(v), static_cast<double>(low), static_cast<double>(high));
}

std::string TIntegerField::GetAsString() const {
  int32_t v;
  return GetValue(v) ? IntToStr(v) : std::string();
}

void TIntegerField::SetAsStringImpl(const std::string& v) {
  if (v.empty()) {
    Clear();
    return;
  }
  int iv;
  if (!TryStrToInt(v, iv))
    throw EDatabaseError(
        Format("'%s' is not a valid integer value for field '%s'", {v, DisplayName()}));
  SetAsInteger(iv);
}

int32_t TIntegerField::GetAsInteger() const {
  int32_t v;
  return GetValue(v) ? v : 0;
}

void TIntegerField::SetAsIntegerImpl(int32_t v) { SetAsLargeInt(v); }

int64_t TIntegerField::GetAsLargeInt() const { return GetAsInteger(); }

void TIntegerField::SetAsLargeIntImpl(int64_t v) {
  CheckRange(v);
  switch (DataType()) {
    case ftSmallint: {
      int16_t x = static_cast<int16_t>(v);
      SetData(&x);
      break;
    }
    case ftWord: {
      uint16_t x = static_cast<uint16_t>(v);
      SetData(&x);
      break;
    }
    default: {
      int32_t x = static_cast<int32_t>(v);
      SetData(&x);
      break;
    }
  }
}

double TIntegerField::GetAsFloat() const { return GetAsInteger(); }

void TIntegerField::SetAsFloatImpl(double v) {
  int64_t iv;
  if (!DoubleToScaled(v, 0, iv)) {
    double low = m_minRange, high = m_maxRange;
    if (MinValue() != 0 || MaxValue() != 0) low = MinValue(), high = MaxValue();
    RangeError(v, low, high);
  }
  SetAsLargeInt(iv);
}

Variant TIntegerField::GetAsVariant() const {
  int32_t v;
  return GetValue(v) ? Variant(v) : Variant::Null();
}

void TIntegerField::SetVarValue(const Variant& v) { SetAsLargeInt(v.AsInt64()); }

void TIntegerField::GetText(std::string& text, bool displayText) const {
  int32_t v;
  if (!GetValue(v)) {
    text.clear();
    return;
  }
  const std::string& fmt = TextFormat(displayText);
  text = fmt.empty() ? IntToStr(v) : FormatFloat(fmt, v);
}

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftSmallint);
  m_minRange = -32768;
  m_maxRange = 32767;
}

TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftWord);
  m_minRange = 0;
  m_maxRange = 65535;
}

TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftAutoInc);
}

// --- TLargeintField ---------------------------------------------------------

TLargeintField::TLargeintField(TComponent* AOwner) : TNumericField(AOwner) {
  SetDataType(ftLargeint);
}

bool TLargeintField::GetValue(int64_t& value) const {
  int64_t v = 0;
  if (!GetData(&v)) return false;
  value = v;
  return true;
}

std::string TLargeintField::GetAsString() const {
  int64_t v;
  return GetValue(v) ? IntToStr(v) : std::string();
}

void TLargeintField::SetAsStringImpl(const std::string& v) {
  if (v.empty()) {
    Clear();
    return;
  }
  int64_t iv;
  if (!TryStrToInt64(v, iv))
    throw EDatabaseError(
        Format("'%s' is not a valid integer value for field '%s'", {v, DisplayName()}));
  SetAsLargeInt(iv);
}

// The low 32 bits, as the 64-bit value is cut to an integer.
int32_t TLargeintField::GetAsInteger() const {
  return static_cast<int32_t>(static_cast<uint32_t>(GetAsLargeInt()));
}

void TLargeintField::SetAsIntegerImpl(int32_t v) { SetAsLargeInt(v); }

int64_t TLargeintField::GetAsLargeInt() const {
  int64_t v;
  return GetValue(v) ? v : 0;
}

void TLargeintField::SetAsLargeIntImpl(int64_t v) {
  if ((m_minValue != 0 || m_maxValue != 0) && (v < m_minValue || v > m_maxValue))
    RangeError(static_cast<double>(v), static_cast<double>(m_minValue),
               static_cast<double>(m_maxValue));
  SetData(&v);
}

double TLargeintField::GetAsFloat() const { return static_cast<double>(GetAsLargeInt()); }

void TLargeintField::SetAsFloatImpl(double v) {
  int64_t iv;
  if (!DoubleToScaled(v, 0, iv)) RangeError(v, -9223372036854775808.0, 9223372036854775807.0);
  SetAsLargeInt(iv);
}

Variant TLargeintField::GetAsVariant() const {
  int64_t v;
  return GetValue(v) ? Variant(static_cast<long long>(v)) : Variant::Null();
}

void TLargeintField::SetVarValue(const Variant& v) { SetAsLargeInt(v.AsInt64()); }

void TLargeintField::GetText(std::string& text, bool displayText) const {
  int64_t v;
  if (!GetValue(v)) {
    text.clear();
    return;
  }
  const std::string& fmt = TextFormat(displayText);
  text = fmt.empty() ? IntToStr(v) : FormatFloat(fmt, static_cast<double>(v));
}

// --- TFloatField / TCurrencyField -------------------------------------------

TFloatField::TFloatField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftFloat); }

void TFloatField::SetCurrency(bool v) {
  m_currency = v;
  PropertyChanged(false);
}

void TFloatField::SetPrecision(int v) {
  m_precision = v < 2 ? 2 : (v > 15 ? 15 : v);
  PropertyChanged(false);
}

bool TFloatField::GetValue(double& value) const {
  double v = 0;
  if (!GetData(&v)) return false;
  value = v;
  return true;
}

std::string TFloatField::GetAsString() const {
  double v;
  return GetValue(v) ? FloatToStr(v) : std::string();
}

void TFloatField::SetAsStringImpl(const std::string& v) {
  if (v.empty()) {
    Clear();
    return;
  }
  double d;
  if (!TryStrToFloat(v, d))
    throw EDatabaseError(
        Format("'%s' is not a valid floating point value for field '%s'", {v, DisplayName()}));
  SetAsFloat(d);
}

int32_t TFloatField::GetAsInteger() const {
  int64_t iv;
  if (!DoubleToScaled(GetAsFloat(), 0, iv) || iv < std::numeric_limits<int32_t>::min() ||
      iv > std::numeric_limits<int32_t>::max())
    AccessError("Integer");
  return static_cast<int32_t>(iv);
}

void TFloatField::SetAsIntegerImpl(int32_t v) { SetAsFloat(v); }

int64_t TFloatField::GetAsLargeInt() const {
  int64_t iv;
  if (!DoubleToScaled(GetAsFloat(), 0, iv)) AccessError("LargeInt");
  return iv;
}

void TFloatField::SetAsLargeIntImpl(int64_t v) { SetAsFloat(static_cast<double>(v)); }

double TFloatField::GetAsFloat() const {
  double v;
  return GetValue(v) ? v : 0.0;
}

void TFloatField::SetAsFloatImpl(double v) {
  if ((m_minValue != 0 || m_maxValue != 0) && (v < m_minValue || v > m_maxValue))
    RangeError(v, m_minValue, m_maxValue);
  SetData(&v);
}

::Currency TFloatField::GetAsCurrency() const { return ::Currency::FromDouble(GetAsFloat()); }
void TFloatField::SetAsCurrencyImpl(::Currency v) { SetAsFloat(v.ToDouble()); }

Variant TFloatField::GetAsVariant() const {
  double v;
  return GetValue(v) ? Variant(v) : Variant::Null();
}

void TFloatField::SetVarValue(const Variant& v) { SetAsFloat(v.AsDouble()); }

void TFloatField::GetText(std::string& text, bool displayText) const {
  double v;
  if (!GetValue(v)) {
    text.clear();
    return;
  }
  const std::string& fmt = TextFormat(displayText);
  if (!fmt.empty()) {
    text = FormatFloat(fmt, v);
  } else if (m_currency) {
    text = FloatToStrF(v, displayText ? TFloatFormat::ffCurrency : TFloatFormat::ffFixed,
                       m_precision, FormatSettings().CurrencyDecimals);
  } else {
    text = FloatToStrF(v, TFloatFormat::ffGeneral, m_precision, 0);
  }
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
  SetDataType(ftCurrency);
  SetCurrency(true);
}

// --- TBCDField --------------------------------------------------------------

TBCDField::TBCDField(TComponent* AOwner) : TNumericField(AOwner) {
  SetDataType(ftBCD);
  m_size = 4;
}

void TBCDField::SetCurrency(bool v) {
  m_currency = v;
  PropertyChanged(false);
}

bool TBCDField::GetValue(::Currency& value) const {
  ::Currency c;
  if (!GetData(&c)) return false;
  value = c;
  return true;
}

std::string TBCDField::GetAsString() const {
  ::Currency c;
  return GetValue(c) ? CurrToStr(c) : std::string();
}

void TBCDField::SetAsStringImpl(const std::string& v) {
  if (v.empty()) {
    Clear();
    return;
  }
  SetAsCurrency(StrToCurr(v));
}

int32_t TBCDField::GetAsInteger() const {
  int64_t v = GetAsLargeInt();
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    AccessError("Integer");
  return static_cast<int32_t>(v);
}

void TBCDField::SetAsIntegerImpl(int32_t v) { SetAsCurrency(::Currency::FromInt(v)); }

int64_t TBCDField::GetAsLargeInt() const {
  ::Currency c;
  return GetValue(c) ? DivRound(c.Raw, ::Currency::Scale) : 0;
}

void TBCDField::SetAsLargeIntImpl(int64_t v) {
  if (v > INT64_MAX / ::Currency::Scale || v < INT64_MIN / ::Currency::Scale)
    RangeError(static_cast<double>(v), ::Currency::LowestValue, ::Currency::HighestValue);
  SetAsCurrency(::Currency::FromInt(v));
}

double TBCDField::GetAsFloat() const {
  ::Currency c;
  return GetValue(c) ? c.ToDouble() : 0.0;
}

void TBCDField::SetAsFloatImpl(double v) {
  if (!std::isfinite(v) || std::fabs(v) >= 922337203685477.0)
    RangeError(v, ::Currency::LowestValue, ::Currency::HighestValue);
  SetAsCurrency(::Currency::FromDouble(v));
}

::Currency TBCDField::GetAsCurrency() const {
  ::Currency c;
  return GetValue(c) ? c : ::Currency();
}

void TBCDField::SetAsCurrencyImpl(::Currency v) {
  if ((m_minValue.Raw != 0 || m_maxValue.Raw != 0) && (v < m_minValue || v > m_maxValue))
    RangeError(v.ToDouble(), m_minValue.ToDouble(), m_maxValue.ToDouble());
  SetData(&v);
}

Variant TBCDField::GetAsVariant() const {
  ::Currency c;
  return GetValue(c) ? Variant(c) : Variant::Null();
}

void TBCDField::SetVarValue(const Variant& v) { SetAsCurrency(v.AsCurrency()); }

void TBCDField::GetText(std::string& text, bool displayText) const {
  ::Currency c;
  try {
    if (!GetValue(c)) {
      text.clear();
      return;
    }
  } catch (const EBcdOverflow&) {
    text = "BCD overflow";
    return;
  }
  const std::string& fmt = TextFormat(displayText);
  if (!fmt.empty()) {
    text = FormatCurr(fmt, c);
  } else if (m_currency) {
    text = CurrToStrF(c, displayText ? TFloatFormat::ffCurrency : TFloatFormat::ffFixed,
                      FormatSettings().CurrencyDecimals);
  } else {
    text = CurrToStr(c);
  }
}
