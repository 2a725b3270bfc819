// Text-valued field classes: 8-bit and wide strings, GUIDs, raw bytes,
// blobs and memos.
#include <cctype>
#include <cstring>
#include <vector>

#include "dataset/DataSet.h"
#include "dataset/Field.h"
#include "runtime/CodePage.h"
#include "runtime/DateText.h"
#include "runtime/Format.h"
#include "runtime/NumText.h"

// --- TStringField -----------------------------------------------------------

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftString);
  m_size = 20;
}

void TStringField::SetFixedChar(bool v) {
  m_fixedChar = v;
  if (DataType() == ftString || DataType() == ftFixedChar) SetDataType(v ? ftFixedChar : ftString);
}

namespace {

// A zeroed scratch area for one value: on the stack for the usual sizes,
// since sources read every text value through it.
class TTextBuffer {
 public:
  explicit TTextBuffer(size_t size) {
    if (size > sizeof m_local) m_heap.resize(size);
    std::memset(data(), 0, size);
  }
  char* data() noexcept { return m_heap.empty() ? m_local : m_heap.data(); }

 private:
  char m_local[256];
  std::vector<char> m_heap;
};

}  // namespace

bool TStringField::GetValue(std::string& value) const {
  TTextBuffer buf(static_cast<size_t>(DataSize()) + 1);
  if (!GetData(buf.data())) return false;
  value.assign(buf.data(), strnlen(buf.data(), static_cast<size_t>(m_size)));
  if (m_transliterate && DataSet()) DataSet()->Translate(value, false);
  return true;
}

std::string TStringField::GetAsString() const {
  std::string s;
  if (!GetValue(s)) s.clear();
  return s;  // returned in place, not copied
}

void TStringField::SetAsStringImpl(const std::string& v) {
  std::string translated;
  if (m_transliterate && DataSet()) {
    translated = v;
    DataSet()->Translate(translated, true);
  }
  const std::string& text = m_transliterate && DataSet() ? translated : v;
  // Only Size bytes fit; the rest is cut off.
  TTextBuffer buf(static_cast<size_t>(m_size) + 1);
  std::memcpy(buf.data(), text.data(), std::min(text.size(), static_cast<size_t>(m_size)));
  SetData(buf.data());
}

int32_t TStringField::GetAsInteger() const { return StrToInt(GetAsString()); }
void TStringField::SetAsIntegerImpl(int32_t v) { SetAsString(IntToStr(v)); }
int64_t TStringField::GetAsLargeInt() const { return StrToInt64(GetAsString()); }
void TStringField::SetAsLargeIntImpl(int64_t v) { SetAsString(IntToStr(v)); }
double TStringField::GetAsFloat() const { return StrToFloat(GetAsString()); }
void TStringField::SetAsFloatImpl(double v) { SetAsString(FloatToStr(v)); }

bool TStringField::GetAsBoolean() const {
  std::string s = GetAsString();
  return !s.empty() && std::strchr("YyTt1", s[0]) != nullptr;
}

void TStringField::SetAsBooleanImpl(bool v) { SetAsString(v ? "T" : "F"); }
TDateTime TStringField::GetAsDateTime() const { return StrToDateTime(GetAsString()); }
void TStringField::SetAsDateTimeImpl(TDateTime v) { SetAsString(DateTimeToStr(v)); }

Variant TStringField::GetAsVariant() const {
  std::string s;
  return GetValue(s) ? Variant(std::move(s)) : Variant::Null();
}

void TStringField::SetVarValue(const Variant& v) { SetAsString(v.AsString()); }

void TStringField::GetText(std::string& text, bool) const { text = GetAsString(); }

// --- TWideStringField -------------------------------------------------------

TWideStringField::TWideStringField(TComponent* AOwner) : TStringField(AOwner) {
  SetDataType(ftWideString);
}

int TWideStringField::DataSize() const { return static_cast<int>(sizeof(std::u16string)); }

bool TWideStringField::GetWideValue(std::u16string& value) const {
  std::u16string tmp;
  if (!GetData(&tmp)) return false;
  value = std::move(tmp);
  return true;
}

bool TWideStringField::GetValue(std::string& value) const {
  std::u16string w;
  if (!GetWideValue(w)) return false;
  value = WideToAnsi(w);
  return true;
}

std::u16string TWideStringField::GetAsWideString() const {
  std::u16string w;
  return GetWideValue(w) ? w : std::u16string();
}

void TWideStringField::SetAsWideStringImpl(const std::u16string& v) { SetData(&v); }
void TWideStringField::SetAsStringImpl(const std::string& v) { SetAsWideString(AnsiToWide(v)); }

Variant TWideStringField::GetAsVariant() const {
  std::u16string w;
  return GetWideValue(w) ? Variant(std::move(w)) : Variant::Null();
}

void TWideStringField::SetVarValue(const Variant& v) { SetAsWideString(v.AsWideString()); }

// --- TGuidField -------------------------------------------------------------

TGuidField::TGuidField(TComponent* AOwner) : TStringField(AOwner) {
  SetDataType(ftGuid);
  m_size = 38;
}

// --- TBytesField ------------------------------------------------------------

TBytesField::TBytesField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftBytes);
  m_size = 16;
}

std::string TBytesField::GetAsString() const {
  std::string s;
  if (!GetData(&s)) s.clear();
  return s;  // returned in place, not copied
}

void TBytesField::SetAsStringImpl(const std::string& v) { SetData(&v); }

Variant TBytesField::GetAsVariant() const {
  std::string s;
  return GetData(&s) ? Variant(std::move(s)) : Variant::Null();
}

void TBytesField::SetVarValue(const Variant& v) { SetAsString(v.AsString()); }

TVarBytesField::TVarBytesField(TComponent* AOwner) : TBytesField(AOwner) {
  SetDataType(ftVarBytes);
}

// --- TBlobField / TMemoField ------------------------------------------------

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBlob); }

void TBlobField::SetBlobType(TFieldType type) {
  SetDataType(type);
  if (!IsBlob()) SetDataType(ftBlob);
}

bool TBlobField::GetValue(std::string& value) const {
  std::string tmp;
  if (!GetData(&tmp)) return false;
  value = std::move(tmp);
  return true;
}

std::string TBlobField::GetAsString() const {
  std::string s;
  if (!GetValue(s)) s.clear();
  return s;  // returned in place, not copied
}

void TBlobField::SetAsStringImpl(const std::string& v) { SetData(&v); }

// The content as text: a null blob reads as an empty text, never Null.
Variant TBlobField::GetAsVariant() const { return Variant(GetAsString()); }

void TBlobField::SetVarValue(const Variant& v) { SetAsString(v.AsString()); }

void TBlobField::GetText(std::string& text, bool displayText) const {
  if (!displayText) {
    text = GetAsString();
    return;
  }
  // Grids never show the content, only what kind of content there is.
  text = Format("(%s)", {FieldTypeName(DataType())});
  if (!IsNull()) text = UpperCaseAscii(text);
}

TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftMemo); }
