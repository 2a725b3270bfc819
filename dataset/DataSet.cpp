// The generic dataset: construction, errors, column descriptions, opening
// and closing, state, data events, fields and bookmarks.
#include "dataset/DataSet.h"

#include <algorithm>
#include <cstring>

#include "dataset/DataSource.h"
#include "runtime/CodePage.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"
#include "runtime/StrUtils.h"

// --- errors -----------------------------------------------------------------

void DatabaseError(const std::string& message, const TComponent* component) {
  if (component && !component->Name().empty())
    throw EDatabaseError(Format("%s: %s", {component->Name(), message}));
  throw EDatabaseError(message);
}

void DatabaseErrorFmt(std::string_view format, std::initializer_list<FormatArg> args,
                      const TComponent* component) {
  DatabaseError(Format(format, args), component);
}

// --- locate keys ------------------------------------------------------------

std::vector<Variant> LocateKeyValues(const Variant& keyValues) {
  std::vector<Variant> keys;
  if (keyValues.IsArray()) {
    for (int i = keyValues.ArrayLowBound(); i <= keyValues.ArrayHighBound(); ++i)
      keys.push_back(keyValues.GetElement(i).Dereference());
  } else {
    keys.push_back(keyValues.Dereference());
  }
  return keys;
}

// --- TFieldDefs -------------------------------------------------------------

void TFieldDef::Changed() const { m_owner->Changed(); }
void TFieldDef::SetName(const std::string& name) {
  m_name = name;
  Changed();
}
void TFieldDef::SetDataType(TFieldType type) {
  m_dataType = type;
  Changed();
}
void TFieldDef::SetSize(int size) {
  m_size = size;
  Changed();
}
void TFieldDef::SetPrecision(int precision) {
  m_precision = precision;
  Changed();
}
void TFieldDef::SetRequired(bool required) {
  m_required = required;
  Changed();
}
void TFieldDef::SetFieldNo(int fieldNo) {
  m_fieldNo = fieldNo;
  Changed();
}
void TFieldDef::SetAttributes(unsigned attributes) {
  m_attributes = attributes;
  Changed();
}

void TFieldDefs::Changed() const { m_dataSet->ShapeChanged(); }

TFieldDef& TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
  TFieldDef& def = m_items.emplace_back(TFieldDef(this));
  def.m_name = name;
  def.m_dataType = type;
  def.m_size = size;
  def.m_required = required;
  def.m_fieldNo = Count();
  if (required) def.m_attributes |= faRequired;
  Changed();
  return def;
}

void TFieldDefs::Clear() {
  m_items.clear();
  m_updated = false;
  Changed();
}

int TFieldDefs::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < m_items.size(); ++i)
    if (SameText(m_items[i].Name(), name)) return static_cast<int>(i);
  return -1;
}

const TFieldDef* TFieldDefs::Find(std::string_view name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : &m_items[static_cast<size_t>(i)];
}

// --- construction -----------------------------------------------------------

TDataSet::TDataSet(TComponent* AOwner)
    : TComponent(AOwner),
      m_fields(std::make_unique<TFields>(this)),
      m_fieldDefs(std::make_unique<TFieldDefs>(this)) {}

TDataSet::~TDataSet() {
  Destroying();
  // Closing needs the kind's hooks, which are gone by now: a kind closes in
  // its own destructor. Here only what the generic part holds is released.
  while (!m_dataSources.empty()) m_dataSources.back()->SetDataSet(nullptr);
  while (m_fields->Count() > 0) delete (*m_fields)[m_fields->Count() - 1];
}

// --- state ------------------------------------------------------------------

void TDataSet::SetActive(bool value) {
  if (IsLoading()) {
    m_streamedActive = value;
    return;
  }
  if (value == Active()) {
    // Kinds close in their destructors, while their hooks still exist: the
    // last chance to hand the buffers kept from the last open back.
    if (!value && IsDestroying()) ReleaseKeptBuffers();
    return;
  }
  if (value) {
    DoBeforeOpen();
    try {
      OpenCursor(false);
    } catch (...) {
      OpenCursorComplete();
      throw;
    }
    OpenCursorComplete();
  } else {
    if (!IsDestroying()) DoBeforeClose();
    SetState(dsInactive);
    CloseCursor();
    if (IsDestroying()) ReleaseKeptBuffers();
    else DoAfterClose();
  }
}

void TDataSet::OpenCursor(bool infoQuery) {
  if (infoQuery)
    InternalInitFieldDefs();
  else if (m_state != dsOpening)
    DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  m_defaultFields = FieldCount() == 0;
  InternalOpen();
  m_internalOpenComplete = true;
  UpdateBufferCount();
  m_bof = true;
}

void TDataSet::OpenCursorComplete() {
  if (m_internalOpenComplete) {
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    SetState(dsInactive);
    CloseCursor();
  }
}

void TDataSet::CloseCursor() {
  m_internalOpenComplete = false;
  FreeFieldBuffers();
  ClearBuffers();
  // A dataset closed to be opened again (a detail following its master)
  // gets the same buffers back when their size still fits.
  KeepBuffers();
  SetBufferCount(0);
  if (IsCursorOpen()) InternalClose();
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (m_streamedActive) {
    m_streamedActive = false;
    try {
      SetActive(true);
    } catch (...) {
      InternalHandleException();
    }
  }
}

void TDataSet::InternalHandleException() { throw; }

void TDataSet::SetState(TDataSetState value) {
  if (m_state == value) return;
  m_state = value;
  m_modified = false;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  TDataSetState old = m_state;
  m_state = value;
  // Values read or computed in a temporary state are not news for viewers.
  ++m_disableCount;
  return old;
}

void TDataSet::RestoreState(TDataSetState value) {
  m_state = value;
  --m_disableCount;
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError("Cannot perform this operation on an open dataset", this);
}

void TDataSet::CheckActive() const {
  if (m_state == dsInactive) DatabaseError("Cannot perform this operation on a closed dataset", this);
}

void TDataSet::CheckBiDirectional() const {
  if (m_uniDirectional) DatabaseError("Operation not allowed on a unidirectional dataset", this);
}

void TDataSet::CheckCanModify() const {
  if (!CanModify()) DatabaseError("Cannot modify a read-only dataset", this);
}

// --- data events ------------------------------------------------------------

void TDataSet::DataEvent(TDataEvent event, intptr_t info) {
  // Every change of the window and of every field comes through here: the
  // rare parts stay out of line, so that the usual event costs little.
  if (event == deFieldChange) FieldChanged(reinterpret_cast<TField*>(info));
  if (ControlsDisabled() || m_state == dsBlockRead) return;
  // A handler may attach or detach data sources: one detached is not told.
  m_dataSources.Call([&](TDataSource* ds) { ds->DataEvent(event, info); });
}

void TDataSet::FieldChanged(TField* field) {
  if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) {
    m_modified = true;
    if (m_state != dsSetKey && field->FieldKind() == fkData && CalcFieldsCount() > 0)
      GetCalcFields(ActiveBuffer());
  }
  field->Change();
}

void TDataSet::DisableControls() {
  if (m_disableCount == 0) {
    m_disableState = m_state;
    m_enableEvent = deDataSetChange;
  }
  ++m_disableCount;
}

void TDataSet::EnableControls() {
  if (m_disableCount == 0) return;
  if (--m_disableCount != 0) return;
  if (m_disableState != m_state) DataEvent(deUpdateState, 0);
  if (m_disableState != dsInactive && m_state != dsInactive) DataEvent(m_enableEvent, 0);
}

void TDataSet::AddDataSource(TDataSource* ds) {
  m_dataSources.Add(ds);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* ds) {
  m_dataSources.Remove(ds);
  if (!IsDestroying()) UpdateBufferCount();
}

bool TDataSet::IsLinkedTo(const TDataSource* dataSource) const {
  for (const TDataSet* ds = this; ds;) {
    const TDataSource* master = ds->GetDataSource();
    if (!master) return false;
    if (master == dataSource) return true;
    ds = master->DataSet();
  }
  return false;
}

// --- handler dispatchers ----------------------------------------------------

#define DATASET_DISPATCH(Name, Handler) \
  void TDataSet::Name() {               \
    if (Handler) Handler(this);         \
  }
DATASET_DISPATCH(DoAfterCancel, AfterCancel)
DATASET_DISPATCH(DoAfterClose, AfterClose)
DATASET_DISPATCH(DoAfterDelete, AfterDelete)
DATASET_DISPATCH(DoAfterEdit, AfterEdit)
DATASET_DISPATCH(DoAfterInsert, AfterInsert)
DATASET_DISPATCH(DoAfterOpen, AfterOpen)
DATASET_DISPATCH(DoAfterPost, AfterPost)
DATASET_DISPATCH(DoAfterScroll, AfterScroll)
DATASET_DISPATCH(DoBeforeCancel, BeforeCancel)
DATASET_DISPATCH(DoBeforeClose, BeforeClose)
DATASET_DISPATCH(DoBeforeDelete, BeforeDelete)
DATASET_DISPATCH(DoBeforeEdit, BeforeEdit)
DATASET_DISPATCH(DoBeforeInsert, BeforeInsert)
DATASET_DISPATCH(DoBeforeOpen, BeforeOpen)
DATASET_DISPATCH(DoBeforePost, BeforePost)
DATASET_DISPATCH(DoBeforeScroll, BeforeScroll)
DATASET_DISPATCH(DoOnCalcFields, OnCalcFields)
DATASET_DISPATCH(DoOnNewRecord, OnNewRecord)
#undef DATASET_DISPATCH

void TDataSet::FreeFieldBuffers() {}

// --- field data ---------------------------------------------------------------

void TDataSet::DataConvert(TField* field, const void* source, void* dest, bool toNative) {
  TFieldType type = field->DataType();
  if (IsDateTimeType(type)) {
    if (toNative) {
      TDateTime v;
      std::memcpy(&v, source, sizeof v);
      DateTimeToNative(type, v, dest);
    } else {
      TDateTime v = NativeToDateTime(type, source);
      std::memcpy(dest, &v, sizeof v);
    }
    return;
  }
  CopyNativeData(type, field->DataSize(), source, dest);
}

bool TDataSet::ReadConvertedFieldData(TField* field, void* buffer) {
  alignas(8) std::byte native[8]{};
  if (!GetFieldData(field, native)) return false;
  DataConvert(field, native, buffer, false);
  return true;
}

void TDataSet::WriteConvertedFieldData(TField* field, const void* buffer) {
  alignas(8) std::byte native[8]{};
  DataConvert(field, buffer, native, true);
  SetFieldData(field, native);
}

void TDataSet::Translate(std::string&, bool) const {}

// --- fields -------------------------------------------------------------------

void TDataSet::GetFieldList(std::vector<TField*>& list, std::string_view fieldNames) const {
  size_t pos = 0;
  while (pos < fieldNames.size()) {
    size_t semi = fieldNames.find(';', pos);
    if (semi == std::string_view::npos) semi = fieldNames.size();
    list.push_back(FieldByName(Trim(fieldNames.substr(pos, semi - pos))));
    pos = semi + 1;
  }
}

std::vector<TField*> TDataSet::GetFieldList(std::string_view fieldNames) const {
  std::vector<TField*> list;
  GetFieldList(list, fieldNames);
  return list;
}

void TDataSet::GetFieldNames(std::vector<std::string>& names) const {
  if (FieldCount() > 0) {
    for (TField* f : *m_fields) names.push_back(f->FieldName());
  } else {
    for (const TFieldDef& d : *m_fieldDefs) names.push_back(d.Name());
  }
}

void TDataSet::UpdateFieldDefs() {
  if (m_fieldDefs->Updated()) return;
  OpenCursor(true);
  m_fieldDefs->SetUpdated(true);
}

TField* TDataSet::CreateFieldForDef(const TFieldDef& def, TComponent* owner) {
  TField* f = nullptr;
  switch (def.DataType()) {
    case ftString: f = new TStringField(owner); break;
    case ftFixedChar: {
      auto* s = new TStringField(owner);
      s->SetFixedChar(true);
      f = s;
      break;
    }
    case ftGuid: f = new TGuidField(owner); break;
    case ftWideString: f = new TWideStringField(owner); break;
    case ftSmallint: f = new TSmallintField(owner); break;
    case ftInteger: f = new TIntegerField(owner); break;
    case ftWord: f = new TWordField(owner); break;
    case ftAutoInc: f = new TAutoIncField(owner); break;
    case ftLargeint: f = new TLargeintField(owner); break;
    case ftBoolean: f = new TBooleanField(owner); break;
    case ftFloat: f = new TFloatField(owner); break;
    case ftCurrency: f = new TCurrencyField(owner); break;
    case ftBCD: f = new TBCDField(owner); break;
    case ftDate: f = new TDateField(owner); break;
    case ftTime: f = new TTimeField(owner); break;
    case ftDateTime: case ftTimeStamp: f = new TDateTimeField(owner); break;
    case ftBytes: f = new TBytesField(owner); break;
    case ftVarBytes: f = new TVarBytesField(owner); break;
    case ftMemo: case ftFmtMemo: case ftOraClob: {
      auto* m = new TMemoField(owner);
      m->SetBlobType(def.DataType());
      f = m;
      break;
    }
    case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
    case ftOraBlob: {
      auto* b = new TBlobField(owner);
      b->SetBlobType(def.DataType());
      f = b;
      break;
    }
    default: return nullptr;
  }
  f->SetFieldName(def.Name());
  switch (def.DataType()) {
    case ftString: case ftFixedChar: case ftWideString: case ftBCD: case ftBytes:
    case ftVarBytes:
      f->SetSize(def.Size());
      break;
    default:
      break;
  }
  if (auto* bcd = dynamic_cast<TBCDField*>(f)) bcd->SetPrecision(def.Precision());
  f->SetRequired(def.Required() || (def.Attributes() & faRequired) != 0);
  f->SetReadOnly((def.Attributes() & faReadonly) != 0);
  return f;
}

void TDataSet::CreateFields() {
  for (const TFieldDef& def : *m_fieldDefs) {
    if (def.Attributes() & faHiddenCol) continue;
    TField* f = CreateFieldForDef(def, this);
    if (!f) continue;
    f->SetDataSet(this);
  }
}

void TDataSet::DestroyFields() {
  while (m_fields->Count() > 0) delete (*m_fields)[m_fields->Count() - 1];
}

void TDataSet::CheckFieldCompatibility(TField* field, const TFieldDef& def) {
  auto same = [](TFieldType a, TFieldType b) {
    auto group = [](TFieldType t) {
      switch (t) {
        case ftAutoInc: return ftInteger;
        case ftFixedChar: case ftGuid: return ftString;
        case ftCurrency: return ftFloat;
        case ftTimeStamp: return ftDateTime;
        default: return t;
      }
    };
    return group(a) == group(b);
  };
  if (!same(field->DataType(), def.DataType()))
    DatabaseErrorFmt("Type mismatch for field '%s', expecting: %s actual: %s",
                     {field->DisplayName(), FieldTypeName(field->DataType()),
                      FieldTypeName(def.DataType())},
                     this);
  switch (field->DataType()) {
    case ftString: case ftFixedChar: case ftGuid: case ftBytes: case ftVarBytes:
      if (field->Size() != def.Size())
        DatabaseErrorFmt("Size mismatch for field '%s', expecting: %d actual: %d",
                         {field->DisplayName(), field->Size(), def.Size()}, this);
      break;
    default:
      break;
  }
}

void TDataSet::BindFields(bool binding) {
  if (!binding) {
    for (TField* f : *m_fields) f->SetFieldNo(f->FieldKind() == fkData ? 0 : -1);
    return;
  }
  const TFieldDefs& defs = *m_fieldDefs;
  const size_t count = m_fields->m_list.size();
  if (m_boundShape != m_shape) {
    m_boundDefs.assign(count, -1);
    m_boundShape = m_shape;
  }
  for (size_t i = 0; i < count; ++i) {
    TField* f = m_fields->m_list[i];
    if (f->FieldKind() != fkData) {
      f->SetFieldNo(-1);
      continue;
    }
    int& index = m_boundDefs[i];
    if (index < 0) index = defs.IndexOf(f->FieldName());
    if (index < 0) DatabaseErrorFmt("Field '%s' not found", {f->DisplayName()}, this);
    const TFieldDef& def = defs[index];
    CheckFieldCompatibility(f, def);
    f->SetFieldNo(def.FieldNo());
  }
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
  if (!buffer || CalcFieldsCount() == 0) return;
  TDataSetState saved = SetTempState(dsCalcFields);
  TRecordBuffer savedBuffer = m_calcBuffer;
  m_calcBuffer = buffer;
  const TScopeGuard restore([this, saved, savedBuffer] {
    m_calcBuffer = savedBuffer;
    RestoreState(saved);
  });
  CalculateFields(buffer);
}

void TDataSet::CalculateFields(TRecordBuffer) { DoOnCalcFields(); }

void TDataSet::InitRecord(TRecordBuffer buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::InternalPost() {
  for (TField* f : *m_fields) {
    if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->IsNull()) {
      f->FocusControl();
      throw EDatabaseError(Format("Field '%s' must have a value", {f->DisplayName()}));
    }
  }
}

// --- search and bookmarks -----------------------------------------------------

bool TDataSet::Locate(const std::string&, const Variant&, TLocateOptions) { return false; }

Variant TDataSet::Lookup(const std::string&, const Variant&, const std::string&) {
  return Variant::Null();
}

TBookmark TDataSet::GetBookmark() const {
  if (IsEmpty() || m_bookmarkSize <= 0) return {};
  if (m_state != dsBrowse && m_state != dsEdit && m_state != dsInsert) return {};
  TRecordBuffer buffer = ActiveBuffer();
  if (!buffer || GetBookmarkFlag(buffer) != bfCurrent) return {};
  TBookmark bookmark(static_cast<size_t>(m_bookmarkSize));
  GetBookmarkData(buffer, bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(bookmark.data());
  Resync(rmExact | rmCenter);
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark&) const { return false; }

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  if (a.empty() || b.empty()) return static_cast<int>(!a.empty()) - static_cast<int>(!b.empty());
  size_t n = std::min(a.size(), b.size());
  int c = std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
