// Variant values: the tagged value that carries field values, parameter
// values and locate keys between the layers, with its conversions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Currency.h"
#include "runtime/DateText.h"

// Kind codes of a variant. The numeric codes are the classic ones: other
// layers store and compare them.
enum TVarType : uint16_t {
  varEmpty = 0x0000,
  varNull = 0x0001,
  varSmallint = 0x0002,
  varInteger = 0x0003,
  varSingle = 0x0004,
  varDouble = 0x0005,
  varCurrency = 0x0006,
  varDate = 0x0007,
  varOleStr = 0x0008,
  varDispatch = 0x0009,
  varError = 0x000A,
  varBoolean = 0x000B,
  varVariant = 0x000C,
  varUnknown = 0x000D,
  varShortInt = 0x0010,
  varByte = 0x0011,
  varWord = 0x0012,
  varLongWord = 0x0013,
  varInt64 = 0x0014,
  varString = 0x0100,
  varTypeMask = 0x0FFF,
  varArray = 0x2000,
  varByRef = 0x4000,
};

// A tagged value. Copying is cheap for scalars; strings are copied; an array
// is shared between copies until one of them writes an element (copy on
// write). A by-reference variant points at storage it does not own; the
// storage must outlive it. Reads through a by-reference variant see the
// referenced value.
class Variant {
 public:
  Variant() noexcept = default;  // Empty
  Variant(int8_t v) noexcept : m_type(varShortInt) { m_i64 = v; }
  Variant(uint8_t v) noexcept : m_type(varByte) { m_i64 = v; }
  Variant(int16_t v) noexcept : m_type(varSmallint) { m_i64 = v; }
  Variant(uint16_t v) noexcept : m_type(varWord) { m_i64 = v; }
  Variant(int32_t v) noexcept : m_type(varInteger) { m_i64 = v; }
  Variant(uint32_t v) noexcept : m_type(varLongWord) { m_i64 = v; }
  Variant(long v) noexcept : m_type(varInt64) { m_i64 = v; }
  Variant(long long v) noexcept : m_type(varInt64) { m_i64 = v; }
  // Sizes and other unsigned 64-bit values become Int64 (values above the
  // Int64 range wrap).
  Variant(unsigned long v) noexcept : m_type(varInt64) { m_i64 = static_cast<int64_t>(v); }
  Variant(unsigned long long v) noexcept : m_type(varInt64) { m_i64 = static_cast<int64_t>(v); }
  Variant(float v) noexcept : m_type(varSingle) { m_dbl = v; }
  Variant(double v) noexcept : m_type(varDouble) { m_dbl = v; }
  Variant(bool v) noexcept : m_type(varBoolean) { m_i64 = v ? 1 : 0; }
  Variant(Currency v) noexcept : m_type(varCurrency) { m_i64 = v.Raw; }
  // 8-bit text in the system code page.
  Variant(const char* v) : m_type(varString), m_str(v ? v : "") {}
  Variant(std::string v) noexcept : m_type(varString), m_str(std::move(v)) {}
  Variant(std::string_view v) : m_type(varString), m_str(v) {}
  // Wide text.
  Variant(const char16_t* v) : m_type(varOleStr), m_wstr(v ? v : u"") {}
  Variant(std::u16string v) noexcept : m_type(varOleStr), m_wstr(std::move(v)) {}

  static Variant Null() noexcept;
  static Variant Empty() noexcept { return Variant(); }
  // TDateTime is a double, so dates need their own constructor.
  static Variant FromDate(TDateTime v) noexcept;
  static Variant FromCurrency(Currency v) noexcept { return Variant(v); }
  static Variant FromError(int32_t code) noexcept;

  // By-reference values: the variant reads (and writes) the pointed-to value.
  static Variant ByRef(int16_t* p) noexcept { return MakeRef(varSmallint, p); }
  static Variant ByRef(int32_t* p) noexcept { return MakeRef(varInteger, p); }
  static Variant ByRef(int8_t* p) noexcept { return MakeRef(varShortInt, p); }
  static Variant ByRef(uint8_t* p) noexcept { return MakeRef(varByte, p); }
  static Variant ByRef(uint16_t* p) noexcept { return MakeRef(varWord, p); }
  static Variant ByRef(uint32_t* p) noexcept { return MakeRef(varLongWord, p); }
  static Variant ByRef(int64_t* p) noexcept { return MakeRef(varInt64, p); }
  static Variant ByRef(float* p) noexcept { return MakeRef(varSingle, p); }
  static Variant ByRef(double* p) noexcept { return MakeRef(varDouble, p); }
  static Variant ByRef(Currency* p) noexcept { return MakeRef(varCurrency, p); }
  static Variant ByRefDate(TDateTime* p) noexcept { return MakeRef(varDate, p); }
  static Variant ByRef(bool* p) noexcept { return MakeRef(varBoolean, p); }
  static Variant ByRef(std::string* p) noexcept { return MakeRef(varString, p); }
  static Variant ByRef(std::u16string* p) noexcept { return MakeRef(varOleStr, p); }
  static Variant ByRef(Variant* p) noexcept { return MakeRef(varVariant, p); }

  // The full kind code, including varArray / varByRef.
  uint16_t VarType() const noexcept { return m_type; }
  // The kind without the array and by-reference flags.
  TVarType BaseType() const noexcept { return static_cast<TVarType>(m_type & varTypeMask); }
  bool IsByRef() const noexcept { return (m_type & varByRef) != 0; }
  bool IsArray() const noexcept;
  // A by-reference variant resolved to a plain copy of its value (a variant
  // holding a variant resolves to that variant); other variants are copied.
  Variant Dereference() const;

  // Null and Empty as they are, also through a reference.
  bool IsNull() const noexcept;
  bool IsEmpty() const noexcept;
  // Null or Empty.
  bool IsClear() const noexcept { return IsNull() || IsEmpty(); }
  bool IsNumeric() const noexcept;  // integer, float or currency kinds
  bool IsString() const noexcept;   // String or OleStr

  // Conversions. A variant that cannot be converted raises
  // EVariantTypeCastError "Could not convert variant of type (%s) into type
  // (%s)" with the two kind names (Null -> String: "(Null)" and "(String)").
  // Empty converts to 0, "" or False; Null converts to nothing.
  std::string AsString() const;         // 8-bit text (integers as digits, floats in general form)
  std::u16string AsWideString() const;  // wide text
  int32_t AsInteger() const;            // floats round to nearest, ties to even; True is -1
  int64_t AsInt64() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  TDateTime AsDate() const;
  bool AsBoolean() const;
  // Converts to the given kind (a plain kind, no array or reference flag).
  Variant AsType(TVarType type) const;

  // One-dimensional arrays (varArray | varVariant).
  int ArrayLowBound() const;   // EVariantError "Variant is not an array" otherwise
  int ArrayHighBound() const;
  int ArrayCount() const { return ArrayHighBound() - ArrayLowBound() + 1; }
  // Element by index within the bounds; EVariantError "Variant or safe
  // array index out of bounds" otherwise.
  const Variant& GetElement(int index) const;
  void SetElement(int index, const Variant& value);

  // Strict equality of kind and value (arrays element by element).
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  friend Variant VarArrayCreate(int lowBound, int highBound);
  static Variant MakeRef(TVarType type, void* p) noexcept;
  [[noreturn]] void CastError(TVarType target) const;
  // Integer value for a conversion to `target` (range low..high).
  int64_t IntegerValue(TVarType target, double low, double high) const;

  uint16_t m_type = varEmpty;
  union {
    int64_t m_i64 = 0;  // integers, Boolean (0/1), Currency raw, error code
    double m_dbl;       // Single, Double, Date
    void* m_ref;        // by-reference target
  };
  std::string m_str;       // String
  std::u16string m_wstr;   // OleStr
  struct ArrayData {
    int low = 0;
    std::vector<Variant> items;
  };
  std::shared_ptr<ArrayData> m_array;  // arrays; shared until written
};

// A one-dimensional array of variants with bounds 0..n-1.
Variant VarArrayOf(std::initializer_list<Variant> values);
Variant VarArrayOf(const std::vector<Variant>& values);
// An array of Empty variants with the given bounds.
Variant VarArrayCreate(int lowBound, int highBound);

// Kind name of a kind code: "Empty", "Null", "Smallint", "Integer", "Single",
// "Double", "Currency", "Date", "OleStr", "Dispatch", "Error", "Boolean",
// "Variant", "Unknown", "ShortInt", "Byte", "Word", "LongWord", "Int64",
// "String"; arrays prefixed "Array ", references "Ref ".
std::string VarTypeAsText(uint16_t type);

inline bool VarIsNull(const Variant& v) noexcept { return v.IsNull(); }
inline bool VarIsEmpty(const Variant& v) noexcept { return v.IsEmpty(); }
inline bool VarIsClear(const Variant& v) noexcept { return v.IsClear(); }
inline bool VarIsArray(const Variant& v) noexcept { return v.IsArray(); }
// Text of a variant, Null giving an empty text instead of failing.
std::string VarToStr(const Variant& v);
// Loose equality used by searches: Null equals only Null; numbers compare by
// value, texts byte for byte, mixed kinds through their text.
bool VarSameValue(const Variant& a, const Variant& b);
