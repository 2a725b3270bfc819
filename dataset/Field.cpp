// The field base class, the field list and the native value forms shared by
// fields and dataset kinds.
#include "dataset/Field.h"

#include <cmath>
#include <cstring>

#include "dataset/DataSet.h"
#include "runtime/CodePage.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"

// --- native forms ---------------------------------------------------------

const char* FieldTypeName(TFieldType type) {
  static const char* const kNames[] = {
      "Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float", "Currency",
      "BCD", "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo",
      "Graphic", "FmtMemo", "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor", "FixedChar",
      "WideString", "Largeint", "ADT", "Array", "Reference", "DataSet", "OraBlob", "OraClob",
      "Variant", "Interface", "IDispatch", "Guid", "TimeStamp", "FMTBcd"};
  static_assert(sizeof(kNames) / sizeof(kNames[0]) == ftFMTBcd + 1);
  if (type < ftUnknown || type > ftFMTBcd) return "Unknown";
  return kNames[type];
}

namespace {

bool IsObjectForm(TFieldType type) {
  switch (type) {
    case ftWideString: case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo:
    case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
    case ftBytes: case ftVarBytes: case ftVariant:
      return true;
    default:
      return false;
  }
}

bool IsStringForm(TFieldType type) {
  return type == ftString || type == ftFixedChar || type == ftGuid;
}

bool IsCalcKind(TFieldKind kind) { return kind == fkCalculated || kind == fkLookup; }

}  // namespace

TDateTime NativeToDateTime(TFieldType type, const void* buffer) {
  switch (type) {
    case ftDate: {
      int32_t day;
      std::memcpy(&day, buffer, sizeof day);
      return static_cast<double>(day) - kDateDelta;
    }
    case ftTime: {
      int32_t ms;
      std::memcpy(&ms, buffer, sizeof ms);
      return ms / MSecsPerDay;
    }
    default: {
      double ms;
      std::memcpy(&ms, buffer, sizeof ms);
      double days = std::floor(ms / MSecsPerDay);
      double time = (ms - days * MSecsPerDay) / MSecsPerDay;
      double dt = days - kDateDelta;
      // Before the epoch the time of day counts away from zero.
      return dt < 0 ? dt - time : dt + time;
    }
  }
}

void DateTimeToNative(TFieldType type, TDateTime value, void* buffer) {
  double whole = std::trunc(value);
  double frac = std::fabs(value - whole);
  int32_t ms = static_cast<int32_t>(std::nearbyint(frac * MSecsPerDay));
  switch (type) {
    case ftDate: {
      int32_t day = static_cast<int32_t>(whole) + kDateDelta;
      std::memcpy(buffer, &day, sizeof day);
      break;
    }
    case ftTime:
      std::memcpy(buffer, &ms, sizeof ms);
      break;
    default: {
      double total = (whole + kDateDelta) * MSecsPerDay + ms;
      std::memcpy(buffer, &total, sizeof total);
      break;
    }
  }
}

void CopyNativeData(TFieldType type, int dataSize, const void* source, void* dest) {
  switch (type) {
    case ftWideString:
      *static_cast<std::u16string*>(dest) = *static_cast<const std::u16string*>(source);
      return;
    case ftVariant:
      *static_cast<Variant*>(dest) = *static_cast<const Variant*>(source);
      return;
    default:
      if (IsObjectForm(type)) {
        *static_cast<std::string*>(dest) = *static_cast<const std::string*>(source);
        return;
      }
      std::memcpy(dest, source, static_cast<size_t>(dataSize));
  }
}

Variant NativeToVariant(const TField& field, const void* buffer) {
  TFieldType type = field.DataType();
  if (IsStringForm(type)) {
    const char* p = static_cast<const char*>(buffer);
    return Variant(std::string(p, strnlen(p, static_cast<size_t>(field.DataSize()))));
  }
  auto read = [buffer](auto v) {
    std::memcpy(&v, buffer, sizeof v);
    return v;
  };
  switch (type) {
    case ftWideString: return Variant(*static_cast<const std::u16string*>(buffer));
    case ftSmallint: return Variant(read(int16_t{}));
    case ftInteger: case ftAutoInc: return Variant(read(int32_t{}));
    case ftWord: return Variant(read(uint16_t{}));
    case ftLargeint: return Variant(static_cast<long long>(read(int64_t{})));
    case ftBoolean: return Variant(read(int16_t{}) != 0);
    case ftFloat: case ftCurrency: return Variant(read(double{}));
    case ftBCD: return Variant(read(Currency{}));
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
      return Variant::FromDate(NativeToDateTime(type, buffer));
    case ftVariant: return *static_cast<const Variant*>(buffer);
    default:
      if (IsObjectForm(type)) return Variant(*static_cast<const std::string*>(buffer));
      return Variant::Null();
  }
}

void VariantToNative(const TField& field, const Variant& value, void* buffer) {
  TFieldType type = field.DataType();
  if (IsStringForm(type)) {
    std::string s = value.AsString();
    size_t n = std::min(s.size(), static_cast<size_t>(field.Size()));
    char* p = static_cast<char*>(buffer);
    std::memcpy(p, s.data(), n);
    p[n] = '\0';
    return;
  }
  auto write = [buffer](auto v) { std::memcpy(buffer, &v, sizeof v); };
  switch (type) {
    case ftWideString: *static_cast<std::u16string*>(buffer) = value.AsWideString(); break;
    case ftSmallint: write(static_cast<int16_t>(value.AsInteger())); break;
    case ftInteger: case ftAutoInc: write(value.AsInteger()); break;
    case ftWord: write(static_cast<uint16_t>(value.AsInteger())); break;
    case ftLargeint: write(value.AsInt64()); break;
    case ftBoolean: write(static_cast<int16_t>(value.AsBoolean() ? 1 : 0)); break;
    case ftFloat: case ftCurrency: write(value.AsDouble()); break;
    case ftBCD: write(value.AsCurrency()); break;
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
      DateTimeToNative(type, value.AsDate(), buffer);
      break;
    case ftVariant: *static_cast<Variant*>(buffer) = value; break;
    default:
      if (IsObjectForm(type)) *static_cast<std::string*>(buffer) = value.AsString();
      break;
  }
}

// --- TField ---------------------------------------------------------------

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
  Destroying();
  if (m_dataSet) m_dataSet->Fields().Remove(this);
}

void TField::SetDataSet(TDataSet* dataSet) {
  if (dataSet == m_dataSet) return;
  if (m_dataSet) m_dataSet->CheckInactive();
  if (dataSet) dataSet->CheckInactive();
  if (m_dataSet) m_dataSet->Fields().Remove(this);
  if (dataSet) dataSet->Fields().Add(this);
}

void TField::SetFieldName(const std::string& name) {
  if (m_dataSet) m_dataSet->CheckInactive();
  m_fieldName = name;
  m_nameHash = SameTextHash(name);
  if (m_dataSet) m_dataSet->Fields().Changed();
}

void TField::SetDisplayLabel(const std::string& label) {
  if (label == m_displayLabel) return;
  m_displayLabel = label;
  PropertyChanged(true);
}

const std::string& TField::DisplayName() const noexcept {
  return m_displayLabel.empty() ? m_fieldName : m_displayLabel;
}

std::string TField::FullName() const {
  if (!Name().empty() || !m_dataSet) return FullComponentName();
  std::string owner = m_dataSet->FullComponentName();
  return owner.empty() ? m_fieldName : owner + "." + m_fieldName;
}

void TField::SetSize(int size) {
  if (m_dataSet) m_dataSet->CheckInactive();
  m_size = size;
  if (m_dataSet) m_dataSet->Fields().Changed();
}

void TField::SetDataType(TFieldType type) {
  m_dataType = type;
  if (m_dataSet) m_dataSet->Fields().Changed();
}

int TField::DataSize() const { return 0; }

void TField::SetFieldKind(TFieldKind kind) {
  if (m_dataSet) m_dataSet->CheckInactive();
  if (m_dataSet) m_dataSet->Fields().m_calcCount += IsCalcKind(kind) - IsCalcKind(m_fieldKind);
  m_fieldKind = kind;
  if (m_dataSet) m_dataSet->Fields().Changed();
}

bool TField::IsBlob() const noexcept {
  switch (m_dataType) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
      return true;
    default:
      return false;
  }
}

int TField::Index() const { return m_dataSet ? m_dataSet->Fields().IndexOf(this) : -1; }

void TField::SetVisible(bool v) {
  if (v == m_visible) return;
  m_visible = v;
  PropertyChanged(true);
}

int TField::DisplayWidth() const {
  return m_displayWidth > 0 ? m_displayWidth : DefaultDisplayWidth();
}

void TField::SetDisplayWidth(int width) {
  m_displayWidth = width;
  PropertyChanged(true);
}

void TField::SetAlignment(TAlignment a) {
  if (a == m_alignment) return;
  m_alignment = a;
  PropertyChanged(false);
}

bool TField::CanModify() const {
  if (m_readOnly || !m_dataSet) return false;
  if (m_fieldKind != fkData && m_fieldKind != fkInternalCalc) return false;
  return m_dataSet->CanModify();
}

void TField::PropertyChanged(bool layoutAffected) {
  if (m_dataSet && m_dataSet->Active())
    m_dataSet->DataEvent(layoutAffected ? deLayoutChange : deDataSetChange, 0);
}

bool TField::IsNull() const { return !GetData(nullptr); }

bool TField::GetData(void* buffer, bool nativeFormat) const {
  if (!m_dataSet)
    throw EDatabaseError(Format("Field '%s' has no dataset", {DisplayName()}));
  if (m_validating) {
    // OnValidate reads the value about to be stored.
    if (!m_validateData) return false;
    if (buffer) {
      if (nativeFormat)
        CopyNativeData(m_dataType, DataSize(), m_validateData, buffer);
      else
        m_dataSet->DataConvert(const_cast<TField*>(this), m_validateData, buffer, false);
    }
    return true;
  }
  return m_dataSet->ReadFieldData(const_cast<TField*>(this), buffer, nativeFormat);
}

void TField::SetData(const void* buffer, bool nativeFormat) {
  if (!m_dataSet)
    throw EDatabaseError(Format("Field '%s' has no dataset", {DisplayName()}));
  m_dataSet->WriteFieldData(this, buffer, nativeFormat);
}

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  const TScopeGuard reset([this] {
    m_validating = false;
    m_validateData = nullptr;
  });
  m_validating = true;
  m_validateData = buffer;
  OnValidate(this);
}

void TField::Change() {
  if (OnChange) OnChange(this);
}

void TField::FocusControl() {
  if (!m_dataSet || !m_dataSet->Active()) return;
  TField* field = this;
  m_dataSet->DataEvent(deFocusControl, reinterpret_cast<intptr_t>(&field));
}

void TField::SetAsVariant(const Variant& v) {
  if (v.IsNull()) {
    Clear();
    return;
  }
  try {
    SetVarValue(v);
  } catch (const EVariantError&) {
    throw EDatabaseError(Format("Invalid value for field '%s'", {DisplayName()}));
  }
}

std::string TField::DisplayText() const {
  std::string text;
  if (OnGetText)
    OnGetText(const_cast<TField*>(this), text, true);
  else
    GetText(text, true);
  return text;
}

std::string TField::Text() const {
  std::string text;
  if (OnGetText)
    OnGetText(const_cast<TField*>(this), text, false);
  else
    GetText(text, false);
  return text;
}

void TField::SetText(const std::string& text) {
  if (OnSetText)
    OnSetText(this, text);
  else
    SetTextImpl(text);
}

void TField::AccessError(const char* typeName) const {
  throw EDatabaseError(Format("Cannot access field '%s' as type %s", {DisplayName(), typeName}));
}

void TField::RangeError(double value, double low, double high) const {
  throw EDatabaseError(
      Format("%g is not a valid value for field '%s'. The allowed range is %g to %g",
             {value, DisplayName(), low, high}));
}

std::string TField::GetAsString() const { AccessError("String"); }
void TField::SetAsStringImpl(const std::string&) { AccessError("String"); }
std::u16string TField::GetAsWideString() const { return AnsiToWide(GetAsString()); }
void TField::SetAsWideStringImpl(const std::u16string& v) { SetAsString(WideToAnsi(v)); }
int32_t TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsIntegerImpl(int32_t) { AccessError("Integer"); }
int64_t TField::GetAsLargeInt() const { AccessError("LargeInt"); }
void TField::SetAsLargeIntImpl(int64_t) { AccessError("LargeInt"); }
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloatImpl(double) { AccessError("Float"); }
Currency TField::GetAsCurrency() const { return Currency::FromDouble(GetAsFloat()); }
void TField::SetAsCurrencyImpl(Currency v) { SetAsFloat(v.ToDouble()); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBooleanImpl(bool) { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTimeImpl(TDateTime) { AccessError("DateTime"); }
Variant TField::GetAsVariant() const { AccessError("Variant"); }
void TField::SetVarValue(const Variant&) { AccessError("Variant"); }
void TField::GetText(std::string& text, bool) const { text = GetAsString(); }

// --- TFields --------------------------------------------------------------

void TFields::Changed() const noexcept { m_dataSet->ShapeChanged(); }

TField* TFields::FindField(std::string_view name) const {
  if (m_foundShape != m_dataSet->Shape()) {
    m_found.clear();
    m_foundShape = m_dataSet->Shape();
  }
  for (const FoundField& found : m_found)
    if (found.name == name) return found.field;
  TField* field = SearchField(name);
  if (m_found.size() < m_list.size() + kFoundBeyondFields) m_found.push_back({std::string(name), field});
  return field;
}

TField* TFields::SearchField(std::string_view name) const {
  // Each field keeps the hash of its name, so only a likely match is compared.
  const std::size_t hash = SameTextHash(name);
  for (TField* f : m_list)
    if (f->m_nameHash == hash && SameText(f->FieldName(), name)) return f;
  return nullptr;
}

TField* TFields::FieldByName(std::string_view name) const {
  TField* f = FindField(name);
  if (!f) DatabaseErrorFmt("Field '%s' not found", {name}, m_dataSet);
  return f;
}

TField* TFields::FieldByNumber(int fieldNo) const {
  for (TField* f : m_list)
    if (f->FieldNo() == fieldNo) return f;
  return nullptr;
}

int TFields::IndexOf(const TField* field) const {
  for (size_t i = 0; i < m_list.size(); ++i)
    if (m_list[i] == field) return static_cast<int>(i);
  return -1;
}

void TFields::Add(TField* field) {
  m_list.push_back(field);
  Changed();
  field->m_dataSet = m_dataSet;
  m_calcCount += IsCalcKind(field->FieldKind());
}

void TFields::Remove(TField* field) {
  int i = IndexOf(field);
  if (i < 0) return;
  m_list.erase(m_list.begin() + i);
  Changed();
  field->m_dataSet = nullptr;
  m_calcCount -= IsCalcKind(field->FieldKind());
}
