// Conversions of the Firebird field classes. The row-buffer side (what the
// dataset delivers and stores per column type) lives with the dataset's
// field-data operations.
#include "fib/FIBFields.h"

#include <ibase.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "dataset/DataSet.h"
#include "fib/LikelyCast.h"
#include "fib/pFIBDataSet.h"
#include "runtime/Format.h"
#include "runtime/FormatSettings.h"
#include "runtime/NumText.h"
#include "runtime/Scaled.h"
#include "runtime/StrUtils.h"

namespace {

// r with d decimals as exact decimal text ("-12.3400" for r = -123400, d = 4).
std::string DecimalText(int64_t r, int d, char separator) {
  if (d <= 0) return IntToStr(r);
  bool negative = r < 0;
  uint64_t u = negative ? 0 - static_cast<uint64_t>(r) : static_cast<uint64_t>(r);
  std::string digits = std::to_string(u);
  if (digits.size() <= static_cast<size_t>(d)) digits.insert(0, static_cast<size_t>(d) + 1 - digits.size(), '0');
  digits.insert(digits.size() - static_cast<size_t>(d), 1, separator);
  return negative ? "-" + digits : digits;
}

// The same without trailing zeros after the separator (and without the
// separator when nothing follows it).
std::string ShortDecimalText(int64_t r, int d, char separator) {
  std::string s = DecimalText(r, d, separator);
  if (d <= 0) return s;
  while (s.back() == '0') s.pop_back();
  if (s.back() == separator) s.pop_back();
  return s;
}

// a × b, false on overflow.
bool MulChecked(int64_t a, int64_t b, int64_t& out) { return !__builtin_mul_overflow(a, b, &out); }

// Parses "[-+]digits[.digits]" (either separator) into r with d decimals,
// rounding extra decimals (ties to even); false on any other text or overflow.
bool ParseDecimal(std::string_view text, int d, int64_t& r) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  int decimals = -1;
  bool any = false, extraSeen = false, sticky = false;
  int extra = 0;  // the first dropped digit decides the rounding
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' || c == ',' || c == FormatSettings().DecimalSeparator) {
      if (decimals >= 0) return false;
      decimals = 0;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    any = true;
    if (decimals >= d) {
      if (!extraSeen) extra = c - '0', extraSeen = true;
      else if (c != '0') sticky = true;
      continue;
    }
    if (!MulChecked(value, 10, value) || __builtin_add_overflow(value, c - '0', &value)) return false;
    if (decimals >= 0) ++decimals;
  }
  if (!any) return false;
  for (int k = std::max(decimals, 0); k < d; ++k)
    if (!MulChecked(value, 10, value)) return false;
  if (extra > 5 || (extra == 5 && (sticky || (value % 2) != 0)))
    if (__builtin_add_overflow(value, 1, &value)) return false;
  r = negative ? -value : value;
  return true;
}

}  // namespace

TFIBCustomDataSet* FIBDataSetOf(const TField& field) {
  // Asked on every read and store of a value.
  return LikelyCast<TFIBCustomDataSet, TpFIBDataSet>(field.DataSet());
}

const TFIBFieldDescr* FIBColumnOf(const TField& field) {
  TFIBCustomDataSet* ds = FIBDataSetOf(field);
  return ds ? ds->ColumnOf(&field) : nullptr;
}

// --- TFIBStringField ---------------------------------------------------------

TFIBStringField::TFIBStringField(TComponent* AOwner) : TStringField(AOwner) {}

bool TFIBStringField::EmptyStrToNull() const {
  if (m_emptyStrToNull) return *m_emptyStrToNull;
  TFIBCustomDataSet* ds = FIBDataSetOf(*this);
  return ds && ds->HasPrepareOption(psSetEmptyStrToNull);
}

void TFIBStringField::SetSize(int size) {
  TStringField::SetSize(size);
  m_readBuffer.clear();
  m_readBuffer.shrink_to_fit();
}

bool TFIBStringField::GetValue(std::string& value) const {
  if (m_readBuffer.size() != static_cast<size_t>(DataSize()) + 1)
    m_readBuffer.assign(static_cast<size_t>(DataSize()) + 1, '\0');
  else
    m_readBuffer[0] = '\0';
  if (!GetData(m_readBuffer.data())) return false;
  value.assign(m_readBuffer.data(), strnlen(m_readBuffer.data(), static_cast<size_t>(m_size)));
  if (Transliterate() && DataSet()) DataSet()->Translate(value, false);
  return true;
}

std::string TFIBStringField::GetAsString() const {
  const TFIBFieldDescr* col = FIBColumnOf(*this);
  if (!col || !col->IsDBKey) {
    std::string s;
    return GetValue(s) ? s : std::string();
  }
  // A row key is binary (NULs included): show its stored bytes as
  // hexadecimal, eight digits per 4-byte group.
  std::vector<char> bytes(static_cast<size_t>(col->OutOfLine ? 4 + col->Size : col->Size) + 1, '\0');
  if (!FIBDataSetOf(*this)->GetFieldDataRaw(this, bytes.data())) return std::string();
  const char* key = bytes.data() + (col->OutOfLine ? 4 : 0);
  std::string text;
  for (int i = 0; i + 4 <= col->Size; i += 4) {
    uint32_t group;
    std::memcpy(&group, key + i, 4);
    text += Format("%-8.8x", {static_cast<int64_t>(group)});
  }
  return text;
}

void TFIBStringField::SetAsStringImpl(const std::string& v) {
  std::string text = v;
  if (Transliterate() && DataSet()) DataSet()->Translate(text, true);
  // The dataset stores the text's own length (cut to the column), so an
  // empty text is a present, empty value and a NUL inside does not end it.
  struct Mode {
    int& length;
    ~Mode() { length = -1; }
  } mode{m_explicitLength};
  m_explicitLength = static_cast<int>(text.size());
  SetData(text.c_str());
}

// --- integer fields as Booleans ----------------------------------------------

bool TFIBIntegerField::GetAsBoolean() const { return GetAsInteger() > 0; }
void TFIBIntegerField::SetAsBooleanImpl(bool v) { SetAsInteger(v ? 1 : 0); }
bool TFIBSmallIntField::GetAsBoolean() const { return GetAsInteger() > 0; }
void TFIBSmallIntField::SetAsBooleanImpl(bool v) { SetAsInteger(v ? 1 : 0); }

// --- TFIBFloatField ------------------------------------------------------------

void TFIBFloatField::SetAsFloatImpl(double v) {
  const TFIBFieldDescr* col = FIBColumnOf(*this);
  if (col && FieldKind() == fkData) {
    if (col->SQLType == SQL_LONG || col->SQLType == SQL_SHORT) {
      const double limit = ScaledToDouble(col->SQLType == SQL_LONG ? 2147483647 : 32767, col->Scale);
      if (v > limit || v < -limit) RangeError(v, -limit, limit);
    }
    if (m_roundByScale && col->Scale != 0) {
      double whole = std::trunc(v);
      const double scale = Pow10(-col->Scale);
      v = whole + std::nearbyint((v - whole) * scale) / scale;
    }
  }
  TFloatField::SetAsFloatImpl(v);
}

void TFIBFloatField::GetText(std::string& text, bool displayText) const {
  TFloatField::GetText(text, displayText);
  text = Trim(text);
}

// --- TFIBBCDField --------------------------------------------------------------

TFIBBCDField::TFIBBCDField(TComponent* AOwner) : TBCDField(AOwner) { m_size = 8; }

bool TFIBBCDField::GetRawValue(int64_t& value) const {
  if (!DataSet()) return GetData(nullptr);  // raises "Field '%s' has no dataset"
  if (TFIBCustomDataSet* ds = FIBDataSetOf(*this)) {
    int64_t r = 0;
    if (!ds->GetFieldDataRaw(this, &r)) return false;
    value = r;
    return true;
  }
  // Another dataset kind holds the generic currency form.
  ::Currency c;
  if (!TBCDField::GetValue(c)) return false;
  if (!Rescale(c.Raw, 4, m_size, value)) OverflowError("Floating point overflow");
  return true;
}

void TFIBBCDField::SetRawValue(int64_t value) {
  if (TFIBCustomDataSet* ds = FIBDataSetOf(*this)) {
    ds->SetFieldDataRaw(this, &value);
    return;
  }
  ::Currency c;
  if (!Rescale(value, m_size, 4, c.Raw)) OverflowError("Floating point overflow");
  SetData(&c);
}

[[noreturn]] void TFIBBCDField::OverflowError(const std::string& message) const {
  if (OnValidate) throw EOverflow(message);
  throw Exception(FullName() + "\r\n" + message);
}

std::string TFIBBCDField::GetAsString() const {
  int64_t r;
  if (!GetRawValue(r)) return std::string();
  return m_size == 0 ? IntToStr(r) : ShortDecimalText(r, m_size, FormatSettings().DecimalSeparator);
}

void TFIBBCDField::SetAsStringImpl(const std::string& v) {
  if (v.empty()) {
    Clear();
    return;
  }
  const TFIBFieldDescr* col = FIBColumnOf(*this);
  if (!col || col->SQLType != SQL_INT64) {
    TBCDField::SetAsStringImpl(v);
    return;
  }
  std::string text = Trim(v);
  int64_t r;
  bool ok = m_size == 0 ? TryStrToInt64(text, r) : ParseDecimal(text, m_size, r);
  if (!ok) throw EConvertError(Format("'%s' is not a valid BCD value", {text}));
  SetRawValue(r);
}

int32_t TFIBBCDField::GetAsInteger() const { return static_cast<int32_t>(GetAsLargeInt()); }
void TFIBBCDField::SetAsIntegerImpl(int32_t v) { SetAsLargeInt(v); }

int64_t TFIBBCDField::GetAsLargeInt() const {
  int64_t r;
  if (!GetRawValue(r)) return 0;
  return DivRound(r, IntPow10(m_size));
}

void TFIBBCDField::SetAsLargeIntImpl(int64_t v) {
  if (m_size == 0) {
    SetRawValue(v);
    return;
  }
  int64_t r;
  if (!Rescale(v, 0, m_size, r)) OverflowError("Floating point overflow");
  SetRawValue(r);
}

double TFIBBCDField::GetAsFloat() const {
  int64_t r;
  if (!GetRawValue(r)) return 0;
  return ScaledToDouble(r, -m_size);
}

void TFIBBCDField::SetAsFloatImpl(double v) {
  int64_t r;
  if (!DoubleToScaled(v, m_size, r)) OverflowError("Floating point overflow");
  SetRawValue(r);
}

::Currency TFIBBCDField::GetAsCurrency() const {
  int64_t r;
  if (!GetRawValue(r)) return {};
  // A decimal beyond the currency range has no currency value: refused as
  // the generic BCD field refuses one assigned to it.
  ::Currency c;
  if (!Rescale(r, m_size, 4, c.Raw))
    RangeError(ScaledToDouble(r, -m_size), ::Currency::LowestValue, ::Currency::HighestValue);
  return c;
}

void TFIBBCDField::SetAsCurrencyImpl(::Currency v) {
  int d = m_size;
  if (MinValue() != ::Currency() || MaxValue() != ::Currency()) {
    // The range applies to the value as the column will hold it.
    ::Currency rounded = d >= 4 ? v : ::Currency::FromRaw(DivRound(v.Raw, IntPow10(4 - d)) * IntPow10(4 - d));
    if (rounded < MinValue() || rounded > MaxValue())
      RangeError(v.ToDouble(), MinValue().ToDouble(), MaxValue().ToDouble());
  }
  int64_t r;
  if (!Rescale(v.Raw, 4, d, r)) OverflowError("Floating point overflow");
  SetRawValue(r);
}

Variant TFIBBCDField::GetAsVariant() const {
  int64_t r;
  if (!GetRawValue(r)) return Variant::Null();
  if (m_size == 0) return Variant(static_cast<long long>(r));
  if (m_size == 4) return Variant(::Currency::FromRaw(r));
  return Variant(GetAsFloat());
}

void TFIBBCDField::SetVarValue(const Variant& v) {
  switch (v.BaseType()) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord:
    case varLongWord: case varInt64: case varBoolean:
      SetAsLargeInt(v.AsInt64());
      break;
    case varCurrency:
      SetAsCurrency(v.AsCurrency());
      break;
    case varString: case varOleStr:
      SetAsString(v.AsString());
      break;
    default:
      SetAsFloat(v.AsDouble());
      break;
  }
}

void TFIBBCDField::GetText(std::string& text, bool displayText) const {
  int64_t r;
  if (!GetRawValue(r)) {
    text.clear();
    return;
  }
  const std::string& fmt = TextFormat(displayText);
  int d = m_size;
  const TFormatSettings& fs = FormatSettings();
  if (d == 0) {
    text = fmt.empty() ? IntToStr(r) : FormatFloat(fmt, static_cast<double>(r));
    return;
  }
  if (!fmt.empty()) {
    text = d == 4 ? FormatCurr(fmt, ::Currency::FromRaw(r)) : FormatFloat(fmt, GetAsFloat());
  } else if (Currency()) {
    text = CurrToStrF(GetAsCurrency(), displayText ? TFloatFormat::ffCurrency : TFloatFormat::ffFixed, fs.CurrencyDecimals);
  } else {
    text = DecimalText(r, d, fs.DecimalSeparator);
  }
}

// --- TpFIBDataSet's string-field hooks ---------------------------------------------

int TpFIBDataSet::StringStoreLength(const TField* field) const {
  auto* s = LikelyCast<const TFIBStringField, TFIBStringField>(field);
  return s ? s->ExplicitLength() : -1;
}

bool TpFIBDataSet::FieldEmptyStrToNull(const TField* field) const {
  auto* s = LikelyCast<const TFIBStringField, TFIBStringField>(field);
  return s && s->EmptyStrToNull();
}
