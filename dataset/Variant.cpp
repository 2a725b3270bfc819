// Variant values: construction, kind names and the conversions between kinds.
#include "dataset/Variant.h"

#include <cmath>
#include <limits>

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"
#include "runtime/NumText.h"
#include "runtime/Scaled.h"

namespace {

bool IsIntegerKind(TVarType t) {
  switch (t) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord:
    case varLongWord: case varInt64:
      return true;
    default:
      return false;
  }
}


[[noreturn]] void OverflowError(uint16_t from, TVarType to) {
  throw EVariantError(Format("Overflow while converting variant of type (%s) into type (%s)",
                             {VarTypeAsText(from), VarTypeAsText(to)}));
}

// Rounds to the nearest integer, ties to even, checking the target range.
int64_t RoundChecked(double v, double low, double high, uint16_t from, TVarType to) {
  if (std::isnan(v)) OverflowError(from, to);
  double r = std::nearbyint(v);
  if (r < low || r > high) OverflowError(from, to);
  return static_cast<int64_t>(r);
}

}  // namespace

Variant Variant::Null() noexcept {
  Variant v;
  v.m_type = varNull;
  return v;
}

Variant Variant::FromDate(TDateTime value) noexcept {
  Variant v;
  v.m_type = varDate;
  v.m_dbl = value;
  return v;
}

Variant Variant::FromError(int32_t code) noexcept {
  Variant v;
  v.m_type = varError;
  v.m_i64 = code;
  return v;
}

Variant Variant::MakeRef(TVarType type, void* p) noexcept {
  Variant v;
  v.m_type = static_cast<uint16_t>(type | varByRef);
  v.m_ref = p;
  return v;
}

bool Variant::IsArray() const noexcept { return (m_type & varArray) != 0; }

Variant Variant::Dereference() const {
  if (!IsByRef()) return *this;
  void* p = m_ref;
  switch (BaseType()) {
    case varSmallint: return Variant(*static_cast<int16_t*>(p));
    case varInteger: return Variant(*static_cast<int32_t*>(p));
    case varShortInt: return Variant(*static_cast<int8_t*>(p));
    case varByte: return Variant(*static_cast<uint8_t*>(p));
    case varWord: return Variant(*static_cast<uint16_t*>(p));
    case varLongWord: return Variant(*static_cast<uint32_t*>(p));
    case varInt64: return Variant(static_cast<long long>(*static_cast<int64_t*>(p)));
    case varSingle: return Variant(*static_cast<float*>(p));
    case varDouble: return Variant(*static_cast<double*>(p));
    case varCurrency: return Variant(*static_cast<Currency*>(p));
    case varDate: return FromDate(*static_cast<TDateTime*>(p));
    case varBoolean: return Variant(*static_cast<bool*>(p));
    case varString: return Variant(*static_cast<std::string*>(p));
    case varOleStr: return Variant(*static_cast<std::u16string*>(p));
    case varVariant: return static_cast<Variant*>(p)->Dereference();
    default: return *this;
  }
}

bool Variant::IsNull() const noexcept {
  if (IsByRef() && BaseType() == varVariant) return static_cast<Variant*>(m_ref)->IsNull();
  return m_type == varNull;
}

bool Variant::IsEmpty() const noexcept {
  if (IsByRef() && BaseType() == varVariant) return static_cast<Variant*>(m_ref)->IsEmpty();
  return m_type == varEmpty;
}

bool Variant::IsNumeric() const noexcept {
  if (IsArray()) return false;
  TVarType t = BaseType();
  if (t == varVariant && IsByRef()) return static_cast<Variant*>(m_ref)->IsNumeric();
  return IsIntegerKind(t) || t == varSingle || t == varDouble || t == varCurrency;
}

bool Variant::IsString() const noexcept {
  if (IsArray()) return false;
  TVarType t = BaseType();
  if (t == varVariant && IsByRef()) return static_cast<Variant*>(m_ref)->IsString();
  return t == varString || t == varOleStr;
}

void Variant::CastError(TVarType target) const {
  throw EVariantTypeCastError(Format("Could not convert variant of type (%s) into type (%s)",
                                     {VarTypeAsText(m_type), VarTypeAsText(target)}));
}

std::string Variant::AsString() const {
  if (IsByRef()) return Dereference().AsString();
  if (IsArray()) CastError(varString);
  switch (BaseType()) {
    case varEmpty: return std::string();
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord:
    case varLongWord: case varInt64:
      return IntToStr(m_i64);
    // A single is widened first and printed like a double, digits of its
    // binary form included (0.1f gives "0.100000001490116").
    case varSingle:
    case varDouble: return FloatToStr(m_dbl);
    case varCurrency: return CurrToStr(Currency::FromRaw(m_i64));
    case varDate: return DateTimeToStr(m_dbl);
    case varBoolean: return m_i64 ? "True" : "False";
    case varString: return m_str;
    case varOleStr: return WideToAnsi(m_wstr);
    default: CastError(varString);
  }
}

std::u16string Variant::AsWideString() const {
  if (IsByRef()) return Dereference().AsWideString();
  if (m_type == varOleStr) return m_wstr;
  if (IsArray() || m_type == varNull) CastError(varOleStr);
  return AnsiToWide(AsString());
}

int64_t Variant::IntegerValue(TVarType target, double low, double high) const {
  if (IsByRef()) return Dereference().IntegerValue(target, low, high);
  if (IsArray()) CastError(target);
  TVarType t = BaseType();
  int64_t v;
  if (IsIntegerKind(t)) {
    v = m_i64;
  } else {
    switch (t) {
      case varEmpty: v = 0; break;
      case varSingle: case varDouble: case varDate:
        return RoundChecked(m_dbl, low, high, m_type, target);
      case varCurrency: {
        v = DivRound(m_i64, Currency::Scale);  // whole units, ties to even
        break;
      }
      case varBoolean: v = m_i64 ? -1 : 0; break;
      case varString: case varOleStr: {
        std::string s = AsString();
        double d;
        if (TryStrToInt64(s, v)) break;
        if (TryStrToFloat(s, d)) return RoundChecked(d, low, high, m_type, target);
        CastError(target);
      }
      default: CastError(target);
    }
  }
  if (static_cast<double>(v) < low || static_cast<double>(v) > high) OverflowError(m_type, target);
  return v;
}

int64_t Variant::AsInt64() const {
  return IntegerValue(varInt64, -9223372036854775808.0, 9223372036854774784.0);
}

int32_t Variant::AsInteger() const {
  return static_cast<int32_t>(IntegerValue(varInteger, -2147483648.0, 2147483647.0));
}

double Variant::AsDouble() const {
  if (IsByRef()) return Dereference().AsDouble();
  if (IsArray()) CastError(varDouble);
  TVarType t = BaseType();
  if (IsIntegerKind(t)) return static_cast<double>(m_i64);
  switch (t) {
    case varEmpty: return 0;
    case varSingle: case varDouble: case varDate: return m_dbl;
    case varCurrency: return Currency::FromRaw(m_i64).ToDouble();
    case varBoolean: return m_i64 ? -1 : 0;
    case varString: case varOleStr: {
      double d;
      if (TryStrToFloat(AsString(), d)) return d;
      CastError(varDouble);
    }
    default: CastError(varDouble);
  }
}

Currency Variant::AsCurrency() const {
  if (IsByRef()) return Dereference().AsCurrency();
  if (IsArray()) CastError(varCurrency);
  TVarType t = BaseType();
  if (IsIntegerKind(t)) {
    if (m_i64 > INT64_MAX / Currency::Scale || m_i64 < INT64_MIN / Currency::Scale)
      OverflowError(m_type, varCurrency);
    return Currency::FromInt(m_i64);
  }
  switch (t) {
    case varEmpty: return Currency();
    case varCurrency: return Currency::FromRaw(m_i64);
    case varSingle: case varDouble: case varDate:
      try {
        return Currency::FromDouble(m_dbl);
      } catch (const Exception&) {
        OverflowError(m_type, varCurrency);
      }
    case varBoolean: return Currency::FromInt(m_i64 ? -1 : 0);
    case varString: case varOleStr: {
      Currency c;
      if (TryStrToCurr(AsString(), c)) return c;
      CastError(varCurrency);
    }
    default: CastError(varCurrency);
  }
}

TDateTime Variant::AsDate() const {
  if (IsByRef()) return Dereference().AsDate();
  if (IsArray()) CastError(varDate);
  TVarType t = BaseType();
  if (t == varString || t == varOleStr) {
    TDateTime dt;
    if (TryStrToDateTime(AsString(), dt, FormatSettings())) return dt;
    CastError(varDate);
  }
  if (t == varNull || t == varError || t == varDispatch || t == varUnknown) CastError(varDate);
  return AsDouble();
}

bool Variant::AsBoolean() const {
  if (IsByRef()) return Dereference().AsBoolean();
  if (IsArray()) CastError(varBoolean);
  TVarType t = BaseType();
  if (IsIntegerKind(t) || t == varBoolean || t == varCurrency) return m_i64 != 0;
  switch (t) {
    case varEmpty: return false;
    case varSingle: case varDouble: case varDate: return m_dbl != 0;
    case varString: case varOleStr: {
      std::string s = AsString();
      if (SameText(s, "True")) return true;
      if (SameText(s, "False")) return false;
      double d;
      if (TryStrToFloat(s, d)) return d != 0;
      CastError(varBoolean);
    }
    default: CastError(varBoolean);
  }
}

Variant Variant::AsType(TVarType type) const {
  switch (type) {
    case varEmpty: return Variant();
    case varNull: return Null();
    case varSmallint: {
      int32_t v = AsInteger();
      if (v < -32768 || v > 32767) OverflowError(m_type, type);
      return Variant(static_cast<int16_t>(v));
    }
    case varInteger: return Variant(AsInteger());
    case varShortInt: {
      int32_t v = AsInteger();
      if (v < -128 || v > 127) OverflowError(m_type, type);
      return Variant(static_cast<int8_t>(v));
    }
    case varByte: {
      int32_t v = AsInteger();
      if (v < 0 || v > 255) OverflowError(m_type, type);
      return Variant(static_cast<uint8_t>(v));
    }
    case varWord: {
      int32_t v = AsInteger();
      if (v < 0 || v > 65535) OverflowError(m_type, type);
      return Variant(static_cast<uint16_t>(v));
    }
    case varLongWord: {
      int64_t v = AsInt64();
      if (v < 0 || v > 4294967295LL) OverflowError(m_type, type);
      return Variant(static_cast<uint32_t>(v));
    }
    case varInt64: return Variant(static_cast<long long>(AsInt64()));
    case varSingle: return Variant(static_cast<float>(AsDouble()));
    case varDouble: return Variant(AsDouble());
    case varCurrency: return Variant(AsCurrency());
    case varDate: return FromDate(AsDate());
    case varBoolean: return Variant(AsBoolean());
    case varString: return Variant(AsString());
    case varOleStr: return Variant(AsWideString());
    case varVariant: return Dereference();
    default: CastError(type);
  }
}

int Variant::ArrayLowBound() const {
  if (!IsArray() || !m_array) throw EVariantError("Variant is not an array");
  return m_array->low;
}

int Variant::ArrayHighBound() const {
  if (!IsArray() || !m_array) throw EVariantError("Variant is not an array");
  return m_array->low + static_cast<int>(m_array->items.size()) - 1;
}

const Variant& Variant::GetElement(int index) const {
  int low = ArrayLowBound();
  if (index < low || index > ArrayHighBound())
    throw EVariantError("Variant or safe array index out of bounds");
  return m_array->items[static_cast<size_t>(index - low)];
}

void Variant::SetElement(int index, const Variant& value) {
  int low = ArrayLowBound();
  if (index < low || index > ArrayHighBound())
    throw EVariantError("Variant or safe array index out of bounds");
  if (m_array.use_count() > 1) m_array = std::make_shared<ArrayData>(*m_array);
  m_array->items[static_cast<size_t>(index - low)] = value;
}

bool operator==(const Variant& a0, const Variant& b0) {
  Variant a = a0.Dereference(), b = b0.Dereference();
  if (a.m_type != b.m_type) return false;
  if (a.IsArray()) {
    if (a.m_array == b.m_array) return true;
    if (!a.m_array || !b.m_array) return false;
    return a.m_array->low == b.m_array->low && a.m_array->items == b.m_array->items;
  }
  switch (a.BaseType()) {
    case varEmpty: case varNull: return true;
    case varSingle: case varDouble: case varDate: return a.m_dbl == b.m_dbl;
    case varString: return a.m_str == b.m_str;
    case varOleStr: return a.m_wstr == b.m_wstr;
    default: return a.m_i64 == b.m_i64;
  }
}

Variant VarArrayCreate(int lowBound, int highBound) {
  Variant v;
  v.m_type = varArray | varVariant;
  v.m_array = std::make_shared<Variant::ArrayData>();
  v.m_array->low = lowBound;
  if (highBound >= lowBound) v.m_array->items.resize(static_cast<size_t>(highBound - lowBound + 1));
  return v;
}

Variant VarArrayOf(const std::vector<Variant>& values) {
  Variant v = VarArrayCreate(0, static_cast<int>(values.size()) - 1);
  for (size_t i = 0; i < values.size(); ++i) v.SetElement(static_cast<int>(i), values[i]);
  return v;
}

Variant VarArrayOf(std::initializer_list<Variant> values) {
  return VarArrayOf(std::vector<Variant>(values));
}

std::string VarTypeAsText(uint16_t type) {
  static const char* const kNames[] = {
      "Empty", "Null", "Smallint", "Integer", "Single", "Double", "Currency", "Date",
      "OleStr", "Dispatch", "Error", "Boolean", "Variant", "Unknown", "Decimal", "$0F",
      "ShortInt", "Byte", "Word", "LongWord", "Int64"};
  unsigned base = type & varTypeMask;
  std::string name;
  if (base < sizeof(kNames) / sizeof(kNames[0]))
    name = kNames[base];
  else if (base == varString)
    name = "String";
  else
    name = "$" + IntToHex(base, 4);
  if (type & varByRef) name = "Ref " + name;
  if (type & varArray) name = "Array " + name;
  return name;
}

std::string VarToStr(const Variant& v) { return v.IsNull() ? std::string() : v.AsString(); }

bool VarSameValue(const Variant& a0, const Variant& b0) {
  Variant a = a0.Dereference(), b = b0.Dereference();
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() && b.IsEmpty();
  if (a.IsArray() || b.IsArray()) return a == b;
  TVarType ta = a.BaseType(), tb = b.BaseType();
  try {
    if (IsIntegerKind(ta) && IsIntegerKind(tb)) return a.AsInt64() == b.AsInt64();
    if ((a.IsNumeric() || ta == varDate) && (b.IsNumeric() || tb == varDate)) {
      if (ta == varCurrency && tb == varCurrency) return a.AsCurrency() == b.AsCurrency();
      return a.AsDouble() == b.AsDouble();
    }
    if (ta == varBoolean && tb == varBoolean) return a.AsBoolean() == b.AsBoolean();
    if (a.IsString() && b.IsString() && ta == tb) return a == b;
    return a.AsString() == b.AsString();
  } catch (const EVariantError&) {
    return false;
  }
}
