// Value conversions of descriptor variables: the readers from the raw SQL types
// to the system's value types and the typed, string and variant writers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "fib/FIBDatabase.h"
#include "fib/FIBQuery.h"
#include "fib/IB_Intf.h"
#include "fib/fib.h"
#include "runtime/CodePage.h"
#include "runtime/DateText.h"
#include "runtime/FormatSettings.h"
#include "runtime/NumText.h"
#include "runtime/Scaled.h"
#include "runtime/StrUtils.h"

namespace {

// Decimals of a column scale (0 for scale 0), and the power of ten that
// takes a stored integer to whole units.
int ScaleDecimals(int scale) { return std::clamp(-scale, 0, 18); }
int64_t ScaleDivisor(int scale) { return IntPow10(ScaleDecimals(scale)); }

template <class T>
T Load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

// Exact decimal text of an integer scaled by 10^scale.
std::string ScaledText(int64_t value, int scale) {
  if (scale >= 0) return std::to_string(value);
  const int decimals = -scale;
  const bool negative = value < 0;
  // Work on the magnitude as unsigned to survive INT64_MIN.
  uint64_t mag = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(mag);
  if (static_cast<int>(digits.size()) <= decimals)
    digits.insert(0, static_cast<size_t>(decimals - static_cast<int>(digits.size()) + 1), '0');
  digits.insert(digits.size() - static_cast<size_t>(decimals), 1, FormatSettings().DecimalSeparator);
  return negative ? "-" + digits : digits;
}

bool IsNumericType(short t) {
  return t == SQL_DOUBLE || t == SQL_FLOAT || t == SQL_LONG || t == SQL_SHORT ||
         t == SQL_D_FLOAT || t == SQL_INT64;
}

bool IsTimeType(short t) { return t == SQL_TIMESTAMP || t == SQL_TYPE_DATE || t == SQL_TYPE_TIME; }

// A time of day in 1/10,000 s as a day fraction of whole milliseconds: rounded
// instead, the last half-millisecond of a day would show as the next midnight.
double TimeUnitsToDayFraction(uint32_t units) { return (units / 10) / MSecsPerDay; }

// Removes the blanks a CHAR of a multi-byte set carries beyond its declared
// characters (the server pads it to its length in bytes).
template <class Text>
void CutToChars(Text& text, size_t chars) {
  while (text.size() > chars && text.back() == ' ') text.pop_back();
}

int64_t TruncToInt64(double v) {
  if (!std::isfinite(v) || v >= 9.2233720368547758e18 || v < -9.2233720368547758e18)
    FIBError(feInvalidDataConversion);
  return static_cast<int64_t>(std::trunc(v));
}

}  // namespace

// ---------------------------------------------------------------------------
// Connection facts

bool TFIBXSQLVAR::ConnectionUnicodeOrNone() const {
  return m_query && m_query->ConnectionUnicodeOrNone();
}

bool TFIBXSQLVAR::IsUnicodeCharset(int charsetId) const {
  // NONE and OCTETS are never Unicode, whatever the connection: no need to ask.
  if (charsetId == 0 || charsetId == 1) return false;
  TFIBDatabase* db = m_query ? m_query->Database() : nullptr;
  if (!db) return charsetId == 3;
  return db->IsUnicodeCharSet(charsetId);
}

// ---------------------------------------------------------------------------
// Readers

std::string TFIBXSQLVAR::RawText() const {
  const short t = SQLType();
  if (t == SQL_TEXT)
    return std::string(Bytes(), static_cast<size_t>(std::min(SlotLength(*m_xvar), static_cast<int>(m_data.size()))));
  // VARYING: the counted bytes, never more than the buffer holds.
  const int count = static_cast<unsigned short>(Load<short>(Bytes()));
  const int room = static_cast<int>(m_data.size()) - 2;
  return std::string(Bytes() + 2, static_cast<size_t>(std::max(0, std::min(count, room))));
}

int TFIBXSQLVAR::DeclaredChars() const {
  const int charset = m_xvar->sqlsubtype & 0xFF;
  TFIBDatabase* db = m_query ? m_query->Database() : nullptr;
  const int bytesPerChar = db ? db->BytesInCharSet(charset) : (charset == 3 ? 3 : 1);
  return SlotLength(*m_xvar) / std::max(bytesPerChar, 1);
}

std::string TFIBXSQLVAR::AsString() const {
  if (IsNull()) return std::string();
  const short t = SQLType();
  switch (t) {
    case SQL_TEXT:
    case SQL_VARYING: {
      std::string s = RawText();
      if (IsUnicodeCharset(m_xvar->sqlsubtype & 0xFF) && ConnectionUnicodeOrNone()) {
        s = Utf8ToAnsi(s);
        if (t == SQL_TEXT && IsColumn()) CutToChars(s, static_cast<size_t>(DeclaredChars()));
      }
      if (m_query && m_query->HasOption(qoTrimCharFields)) s = TrimRight(s);
      return s;
    }
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_D_FLOAT: return FloatToStr(AsDouble());
    case SQL_LONG:
    case SQL_SHORT:
      if (m_xvar->sqlscale == 0) return IntToStr(AsInteger());
      return FloatToStr(AsDouble());
    case SQL_INT64: return ScaledText(Load<int64_t>(Bytes()), m_xvar->sqlscale);
    case SQL_TIMESTAMP: return DateTimeToStr(AsDateTime());
    case SQL_TYPE_DATE: return DateToStr(AsDateTime());
    case SQL_TYPE_TIME: return TimeToStr(AsDateTime());
    case SQL_IB_BOOLEAN: return AsBoolean() ? "True" : "False";
    case SQL_BLOB:
      if (m_blobStream) return *m_blobStream;
      try {
        return ReadBlobText();
      } catch (const Exception&) {
        return "(BLOB)";
      }
    case SQL_ARRAY: return "(ARRAY)";
    default: ConversionError();
  }
}

std::u16string TFIBXSQLVAR::AsWideString() const {
  if (m_wideText) return *m_wideText;
  const short t = SQLType();
  if ((t == SQL_TEXT || t == SQL_VARYING) && ConnectionUnicodeOrNone() &&
      IsUnicodeCharset(m_xvar->sqlsubtype & 0xFF)) {
    if (IsNull()) return std::u16string();
    std::u16string w = Utf8ToWide(RawText());
    if (t == SQL_TEXT && IsColumn()) CutToChars(w, static_cast<size_t>(DeclaredChars()));
    if (m_query && m_query->HasOption(qoTrimCharFields))
      while (!w.empty() && w.back() < 33) w.pop_back();
    return w;
  }
  return AnsiToWide(AsString());
}

int32_t TFIBXSQLVAR::AsInteger() const {
  if (IsNull()) return 0;
  const short scale = m_xvar->sqlscale;
  switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING: {
      int v = 0;
      if (!TryStrToInt(AsString(), v)) ConversionError();
      return v;
    }
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_D_FLOAT: return static_cast<int32_t>(TruncToInt64(AsDouble()));
    // Truncating the scaled value is the integer quotient: exact, where the
    // product with 10^scale can land below a whole number.
    case SQL_LONG: return static_cast<int32_t>(Load<int32_t>(Bytes()) / ScaleDivisor(scale));
    case SQL_SHORT: return static_cast<int32_t>(Load<int16_t>(Bytes()) / ScaleDivisor(scale));
    case SQL_INT64: {
      const int64_t r = Load<int64_t>(Bytes()) / ScaleDivisor(scale);
      return static_cast<int32_t>(static_cast<uint32_t>(r));  // low 32 bits
    }
    case SQL_IB_BOOLEAN: return Load<int16_t>(Bytes());
    default: ConversionError();
  }
}

int64_t TFIBXSQLVAR::AsInt64() const {
  if (IsNull()) return 0;
  const short scale = m_xvar->sqlscale;
  const int64_t div = ScaleDivisor(scale);
  switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING: {
      int64_t v = 0;
      if (!TryStrToInt64(AsString(), v)) ConversionError();
      return v;
    }
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_D_FLOAT: return TruncToInt64(AsDouble());
    case SQL_LONG: return Load<int32_t>(Bytes()) / div;
    case SQL_SHORT: return Load<int16_t>(Bytes()) / div;
    case SQL_INT64: return Load<int64_t>(Bytes()) / div;
    default: ConversionError();
  }
}

double TFIBXSQLVAR::AsDouble() const {
  if (IsNull()) return 0;
  const short scale = m_xvar->sqlscale;
  switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING: {
      double v = 0;
      if (!TryStrToFloat(AsString(), v)) ConversionError();
      return v;
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return Load<double>(Bytes());
    case SQL_FLOAT: return Load<float>(Bytes());
    case SQL_LONG: return ScaledToDouble(Load<int32_t>(Bytes()), scale);
    case SQL_SHORT: return ScaledToDouble(Load<int16_t>(Bytes()), scale);
    case SQL_INT64: return ScaledToDouble(Load<int64_t>(Bytes()), scale);
    case SQL_IB_BOOLEAN: return Load<int16_t>(Bytes()) == 1 ? 1.0 : 0.0;
    default: ConversionError();
  }
}

long double TFIBXSQLVAR::AsExtended() const {
  if (IsNull()) return 0;
  const short scale = m_xvar->sqlscale;
  switch (SQLType()) {
    case SQL_INT64:
      if (scale < 0) return static_cast<long double>(Load<int64_t>(Bytes())) / ScaleDivisor(scale);
      return static_cast<long double>(Load<int64_t>(Bytes()));
    case SQL_IB_BOOLEAN: ConversionError();
    default: return AsDouble();
  }
}

Currency TFIBXSQLVAR::AsCurrency() const {
  if (IsNull()) return Currency();
  if (SQLType() == SQL_INT64 && m_query && m_query->Dialect() >= 3) {
    // Exact: the decimal point moves to four places, extra decimals rounded.
    int64_t raw = 0;
    if (!Rescale(Load<int64_t>(Bytes()), ScaleDecimals(m_xvar->sqlscale), 4, raw)) ConversionError();
    return Currency::FromRaw(raw);
  }
  int64_t raw = 0;
  if (!DoubleToScaled(AsDouble(), 4, raw)) ConversionError();
  return Currency::FromRaw(raw);
}

TFIBBcd TFIBXSQLVAR::AsBCD() const {
  if (!IsNull() && SQLType() == SQL_INT64 && m_query && m_query->Dialect() >= 3) {
    TFIBBcd b;
    b.Digits = Load<int64_t>(Bytes());
    b.Scale = -m_xvar->sqlscale;
    return b;
  }
  TFIBBcd b;
  b.Digits = AsCurrency().Raw;
  b.Scale = 4;
  return b;
}

TTimeStamp TFIBXSQLVAR::AsTimeStamp() const {
  TTimeStamp ts;
  if (IsNull()) return ts;
  switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING: {
      TDateTime d = 0;
      if (!TryStrToDate(AsString(), d, FormatSettings())) ConversionError();
      ts.Date = static_cast<int>(std::trunc(d)) + kServerToTimeStampDays + kServerToDateTimeDays;
      return ts;
    }
    case SQL_TIMESTAMP:
      ts.Date = Load<int32_t>(Bytes()) + kServerToTimeStampDays;
      ts.Time = static_cast<int>(Load<uint32_t>(Bytes() + 4) / 10);
      return ts;
    case SQL_TYPE_DATE:
      ts.Date = Load<int32_t>(Bytes()) + kServerToTimeStampDays;
      return ts;
    case SQL_TYPE_TIME:
      ts.Time = static_cast<int>(Load<uint32_t>(Bytes()) / 10);
      return ts;
    default: ConversionError();
  }
}

TDateTime TFIBXSQLVAR::AsDateTime() const {
  if (IsNull()) return 0;
  switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING: {
      TDateTime d = 0;
      if (!TryStrToDate(AsString(), d, FormatSettings())) ConversionError();
      return d;
    }
    case SQL_TIMESTAMP: {
      const TDateTime date = Load<int32_t>(Bytes()) - kServerToDateTimeDays;
      return ComposeDateTime(date, TimeUnitsToDayFraction(Load<uint32_t>(Bytes() + 4)));
    }
    case SQL_TYPE_DATE: return Load<int32_t>(Bytes()) - kServerToDateTimeDays;
    case SQL_TYPE_TIME: return TimeUnitsToDayFraction(Load<uint32_t>(Bytes()));
    default: ConversionError();
  }
}

bool TFIBXSQLVAR::AsBoolean() const {
  if (IsNull()) return false;
  switch (SQLType()) {
    case SQL_LONG: return Load<int32_t>(Bytes()) == 1;
    case SQL_SHORT:
    case SQL_IB_BOOLEAN: return Load<int16_t>(Bytes()) == 1;
    case SQL_INT64: return Load<int64_t>(Bytes()) == 1;
    default: ConversionError();
  }
}

TGUID TFIBXSQLVAR::AsGuid() const {
  TGUID g;
  if (IsNull()) return g;
  const short t = SQLType();
  // Other types yield the zero GUID rather than leaving the result undefined.
  if (t != SQL_TEXT && t != SQL_VARYING) return g;
  const char* p = t == SQL_VARYING ? Bytes() + 2 : Bytes();
  const size_t avail = m_data.size() - (t == SQL_VARYING ? 2 : 0);
  unsigned char bytes[16] = {};
  std::memcpy(bytes, p, std::min<size_t>(16, avail));
  std::memcpy(&g, bytes, 16);
  return g;
}

ISC_QUAD TFIBXSQLVAR::AsQuad() const {
  ISC_QUAD q{};
  if (IsNull()) return q;
  const short t = SQLType();
  if (t != SQL_BLOB && t != SQL_ARRAY && t != SQL_QUAD) ConversionError();
  std::memcpy(&q, Bytes(), sizeof q);
  return q;
}

Variant TFIBXSQLVAR::AsVariant() const {
  if (IsNull()) return Variant::Null();
  const short scale = m_xvar->sqlscale;
  switch (SQLType()) {
    case SQL_TEXT:
    case SQL_VARYING:
      if (IsUnicodeCharset(m_xvar->sqlsubtype & 0xFF)) return Variant(AsWideString());
      return Variant(AsString());
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_D_FLOAT: return Variant(AsDouble());
    case SQL_LONG:
    case SQL_SHORT:
      if (scale == 0) return Variant(static_cast<int32_t>(AsInteger()));
      return Variant(AsDouble());
    case SQL_INT64:
      if (scale == 0) return Variant(static_cast<long long>(Load<int64_t>(Bytes())));
      return Variant(AsDouble());
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME: return Variant::FromDate(AsDateTime());
    case SQL_IB_BOOLEAN: return Variant(AsBoolean());
    case SQL_BLOB: return Variant(AsString());
    case SQL_ARRAY: return Variant("(Array)");
    default: ConversionError();
  }
}

// ---------------------------------------------------------------------------
// Typed writers

void TFIBXSQLVAR::SetAsInteger(int32_t value) {
  if (!OverwriteInPlace(SQL_LONG, 4, &value)) SetRawValue(SQL_LONG, 4, &value);
}

void TFIBXSQLVAR::SetAsInt64(int64_t value) {
  if (m_query && m_query->Dialect() < 3) {
    const int32_t low = static_cast<int32_t>(static_cast<uint32_t>(value));
    SetRawValue(SQL_LONG, 4, &low);
  } else {
    SetRawValue(SQL_INT64, 8, &value);
  }
}

void TFIBXSQLVAR::SetAsDouble(double value) {
  if (!OverwriteInPlace(SQL_DOUBLE, 8, &value)) SetRawValue(SQL_DOUBLE, 8, &value);
}

void TFIBXSQLVAR::SetAsCurrency(Currency value) {
  if (m_query && m_query->Dialect() < 3) {
    SetAsDouble(value.ToDouble());
    return;
  }
  SetRawValue(SQL_INT64, 8, &value.Raw);
  SetScale(-4);
}

void TFIBXSQLVAR::SetAsBCD(const TFIBBcd& value) {
  if (m_query && m_query->Dialect() < 3) {
    SetAsDouble(ScaledToDouble(value.Digits, -value.Scale));
    return;
  }
  if (value.Scale < 0 || value.Scale > 18) ConversionError();
  SetRawValue(SQL_INT64, 8, &value.Digits);
  SetScale(static_cast<short>(-value.Scale));
}

void TFIBXSQLVAR::SetAsTimeStamp(const TTimeStamp& value) {
  int32_t raw[2];
  raw[0] = value.Date - kServerToTimeStampDays;
  raw[1] = value.Time * 10;
  SetRawValue(SQL_TIMESTAMP, 8, raw);
}

void TFIBXSQLVAR::SetAsDateTime(TDateTime value) {
  if (!std::isfinite(value) || std::fabs(value) > 3e6) ConversionError();
  // Before 1899-12-30 the fraction still counts forward from the day's midnight.
  const double day = std::trunc(value);
  const double frac = std::fabs(value - day);
  // Round to whole 1/10,000 s so that values read back compare equal.
  // A time within the last half unit stays on its day.
  const int64_t lastUnit = static_cast<int64_t>(kServerTimeUnitsPerDay) - 1;
  const int64_t units = std::min<int64_t>(std::llround(frac * kServerTimeUnitsPerDay), lastUnit);
  int32_t raw[2];
  raw[0] = static_cast<int32_t>(day) + kServerToDateTimeDays;
  raw[1] = static_cast<int32_t>(units);
  SetRawValue(SQL_TIMESTAMP, 8, raw);
}

void TFIBXSQLVAR::SetAsDate(TDateTime value) { SetAsDateTime(std::trunc(value)); }

void TFIBXSQLVAR::SetAsTime(TDateTime value) { SetAsDateTime(value); }

void TFIBXSQLVAR::SetAsBoolean(bool value) {
  const int16_t v = value ? 1 : 0;
  SetRawValue(SQL_SHORT, 2, &v);
}

void TFIBXSQLVAR::SetAsGuid(const TGUID& value) { SetRawValue(SQL_TEXT, 16, &value); }

void TFIBXSQLVAR::SetAsQuad(const ISC_QUAD& value) {
  SetRawValue(SQLType() == SQL_ARRAY ? SQL_ARRAY : SQL_BLOB, 8, &value);
}

// ---------------------------------------------------------------------------
// String writer

void TFIBXSQLVAR::SetAsString(std::string_view value) { SetStringValue(value, nullptr, false); }

void TFIBXSQLVAR::SetAsWideString(std::u16string_view value) {
  const std::u16string wide(value);
  SetStringValue({}, &wide, false);
}

void TFIBXSQLVAR::SetStringValue(std::string_view text8, const std::u16string* wide, bool deferredPass) {
  const short T = DeclaredType();
  bool encodeUtf8 = false;
  auto forEach = [&](auto&& fn) {
    fn(*this);
    if (const auto* others = m_parent->Namesakes(m_index))
      for (int i : *others) fn(*m_parent->m_vars[static_cast<size_t>(i)]);
  };
  const bool unicodeOrNone = ConnectionUnicodeOrNone();
  const bool keepWide = unicodeOrNone && !m_isMacro;
  // Stored after the raw value is set, which forgets any earlier wide text.
  auto storeWide = [&] {
    if (keepWide && wide) forEach([&](TFIBXSQLVAR& v) { v.m_wideText = *wide; });
  };
  // Any connection defers a text assigned before the type is known: a number
  // text still needs its decimal point once the parameter turns out numeric.
  if (T == 0 && !m_isMacro) {
    forEach([&](TFIBXSQLVAR& v) { v.m_deferred = true; });
    m_parent->m_deferredSettings = true;
  } else if (keepWide && (T == SQL_TEXT || T == SQL_VARYING) &&
             IsUnicodeCharset(m_declSubtype & 0xFF)) {
    encodeUtf8 = true;
  }

  // `text` is what is sent: the given bytes themselves unless converted
  // (a copy per parameter per row would be the only allocation here).
  std::string converted;
  if (wide) converted = encodeUtf8 ? WideToUtf8(*wide) : WideToAnsi(*wide);
  else if (encodeUtf8) converted = AnsiToUtf8(text8);
  std::string_view text = wide || encodeUtf8 ? std::string_view(converted) : text8;
  // The limit is on the bytes sent: UTF-8 can make a short text too long for
  // the descriptor's 16-bit length.
  const size_t sentLength = std::max(wide ? wide->size() : text8.size(), text.size());

  bool asBlob = T == SQL_BLOB;
  if (sentLength > static_cast<size_t>(kMaxSentValueBytes)) {
    if (wide)
      throw Exception(Format("%s. Value for WideString Parameter \"%s\" too long",
                             {m_query ? m_query->FullComponentName() : std::string(), m_name}));
    asBlob = true;
  }

  if (asBlob) {
    // Text for a Unicode text blob is stored as UTF-8 when the server expects it so.
    if (T == SQL_BLOB && m_declSubtype == 1 && !encodeUtf8 && m_query && m_query->ExtendedCharset() &&
        IsUnicodeCharset(m_declScale & 0xFF)) {
      converted = wide ? WideToUtf8(*wide) : AnsiToUtf8(text8);
      text = converted;
    }
    const short subtype = T == SQL_BLOB ? m_declSubtype : 1;
    const short scale = T == SQL_BLOB ? m_declScale : 0;
    ISC_QUAD zero{};
    SetRawValue(SQL_BLOB, 8, &zero);
    forEach([&](TFIBXSQLVAR& v) {
      v.m_blobStream = std::string(text);
      v.m_xvar->sqlsubtype = subtype;
      v.m_xvar->sqlscale = scale;
    });
    if (m_query) m_query->m_hasBlobParams = true;
    storeWide();
    return;
  }

  const std::string_view sqlName(m_xvar->sqlname, static_cast<size_t>(std::clamp<int>(m_xvar->sqlname_length, 0, 32)));
  if (sqlName == "DB_KEY" || sqlName == "RDB$DB_KEY") {
    // A db_key keeps its slot: copy what fits, zero the rest.
    std::vector<char> buf(m_data.size(), 0);
    std::memcpy(buf.data(), text.data(), std::min(buf.size(), text.size()));
    SetRawValue(SQLType(), SlotLength(*m_xvar), buf.data());
    storeWide();
    return;
  }

  if (text.empty()) {
    if (IsNumericType(T) || IsTimeType(T)) {
      SetIsNull(true);
      return;
    }
    SetRawValue(SQL_TEXT, 0, nullptr);
  } else {
    if (IsNumericType(T) && !m_isMacro) {
      if (text.data() != converted.data()) converted.assign(text);
      const char sep = FormatSettings().DecimalSeparator;
      for (char& c : converted)
        if (c == ',' || (sep != ',' && sep != '.' && c == sep)) c = '.';
      text = converted;
    }
    SetRawValue(SQL_TEXT, static_cast<int>(text.size()), text.data());
  }
  forEach([&](TFIBXSQLVAR& v) {
    if (encodeUtf8) v.m_xvar->sqlsubtype = 3;
    else if (v.m_xvar->sqlsubtype == 3 && !IsUnicodeCharset(3)) v.m_xvar->sqlsubtype = 0;
  });
  storeWide();
}

// ---------------------------------------------------------------------------
// Variant writer

void TFIBXSQLVAR::SetAsVariant(const Variant& input) {
  const short T = DeclaredType();
  // Marked once the value is in: a refused variant leaves the variable as it was.
  auto markDeferred = [&] {
    if (T != 0) return;
    m_deferred = true;
    m_parent->m_deferredSettings = true;
  };
  Variant value = input.IsByRef() ? input.Dereference() : input;
  const TVarType base = value.BaseType();
  if (value.IsArray()) {
    if (T == SQL_BLOB || T == SQL_ARRAY || SQLType() == SQL_BLOB) {
      std::string bytes;
      for (int i = value.ArrayLowBound(); i <= value.ArrayHighBound(); ++i)
        bytes.push_back(static_cast<char>(value.GetElement(i).AsInteger()));
      LoadFromStream(bytes);
      markDeferred();
      return;
    }
    FIBError(feNotPermitted);
  }
  if ((T == SQL_TIMESTAMP || T == SQL_TYPE_DATE) &&
      (base == varSmallint || base == varInteger || base == varSingle || base == varDouble ||
       base == varCurrency || base == varShortInt || base == varWord || base == varLongWord ||
       base == varInt64))
    value = Variant::FromDate(value.AsDouble());
  switch (value.BaseType()) {
    case varEmpty:
    case varNull: SetIsNull(true); break;
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord: SetAsInteger(static_cast<int32_t>(value.AsInt64())); break;
    case varSingle:
    case varDouble: SetAsDouble(value.AsDouble()); break;
    case varCurrency: SetAsCurrency(value.AsCurrency()); break;
    case varInt64: SetAsInt64(value.AsInt64()); break;
    case varDate:
      if (T == SQL_TYPE_DATE) SetAsDate(value.AsDate());
      else SetAsDateTime(value.AsDate());
      break;
    case varOleStr: SetAsWideString(value.AsWideString()); break;
    case varString: SetAsString(value.AsString()); break;
    case varBoolean:
      // A Boolean by reference goes through the Boolean writer (SHORT); a plain
      // one through the Byte constants, so it travels as LONG 1 or 0.
      if (input.IsByRef() && input.BaseType() == varBoolean) SetAsBoolean(value.AsBoolean());
      else SetAsInteger(value.AsBoolean() ? 1 : 0);
      break;
    default: FIBError(feNotPermitted);
  }
  markDeferred();
}

// ---------------------------------------------------------------------------
// Deferred settings

void TFIBXSQLVAR::ApplyDeferred() {
  // The re-assignment below reaches every namesake; they must not run it again
  // (a second pass would encode UTF-8 text twice).
  m_deferred = false;
  if (const auto* others = m_parent->Namesakes(m_index))
    for (int i : *others) m_parent->m_vars[static_cast<size_t>(i)]->m_deferred = false;
  const short T = DeclaredType();
  const short t = SQLType();
  if (IsNull()) return;
  if (t == SQL_TEXT || t == SQL_VARYING) {
    // A number text assigned early still gets the decimal point the server reads.
    if (((T == SQL_TEXT || T == SQL_VARYING) && IsUnicodeCharset(m_declSubtype & 0xFF)) ||
        T == SQL_BLOB || IsNumericType(T)) {
      if (m_wideText) {
        const std::u16string w = *m_wideText;
        SetStringValue({}, &w, true);
      } else {
        const std::string s = RawText();
        SetStringValue(s, nullptr, true);
      }
    }
  } else if ((t == SQL_DOUBLE || t == SQL_FLOAT || t == SQL_LONG || t == SQL_SHORT ||
              t == SQL_INT64) &&
             IsTimeType(T)) {
    if (T == SQL_TYPE_DATE) SetAsDate(AsDouble());
    else SetAsDateTime(AsDouble());
  } else if (t == SQL_BLOB && m_blobStream && m_declSubtype == 1 && m_query && m_query->ExtendedCharset() &&
             IsUnicodeCharset(m_declScale & 0xFF)) {
    const std::string s = *m_blobStream;
    m_blobStream = AnsiToUtf8(s);
  }
}

// ---------------------------------------------------------------------------
// Blob columns read as text

std::string TFIBXSQLVAR::ReadBlobText() const {
  if (!m_query || !m_query->Database()) return "(BLOB)";
  TFIBQuery& q = *m_query;
  IIBClientLibrary& lib = q.Lib();
  ISC_QUAD id = AsQuad();
  isc_blob_handle blob = 0;
  q.Check(lib.isc_open_blob2(StatusVector(), q.DBHandle(), q.TRHandle(), &blob, &id, 0, nullptr));
  std::string content;
  char segment[32768];
  for (;;) {
    unsigned short got = 0;
    const ISC_STATUS st = lib.isc_get_segment(StatusVector(), &blob, &got, sizeof segment, segment);
    // isc_segment (335544366) means a partial segment: more of it follows.
    if (st != 0 && st != 335544366) {
      q.Check(st, false);
      if (st == 335544367) break;  // isc_segstr_eof
      ISC_STATUS_ARRAY ignored;
      lib.isc_close_blob(ignored, &blob);
      q.Check(st, true);
    }
    content.append(segment, got);
  }
  q.Check(lib.isc_close_blob(StatusVector(), &blob));
  if (IsUnicodeCharset(m_xvar->sqlscale & 0xFF) && ConnectionUnicodeOrNone() && m_xvar->sqlsubtype == 1)
    content = Utf8ToAnsi(content);
  return content;
}
