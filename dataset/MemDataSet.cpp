// The in-memory dataset kind: rows of variants, record buffers holding a
// copy of one row, bookmarks by stable row id.
#include "dataset/MemDataSet.h"

#include "runtime/CodePage.h"

namespace {

bool IsTextType(TFieldType t) {
  switch (t) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid: case ftMemo:
    case ftFmtMemo:
      return true;
    default:
      return false;
  }
}

}  // namespace

TMemDataSet::TMemDataSet(TComponent* AOwner) : TCachedDataSetOf(AOwner) {}

TMemDataSet::~TMemDataSet() {
  Destroying();
  SetActive(false);
}

void TMemDataSet::AddFieldDef(const std::string& name, TFieldType type, int size, bool required) {
  FieldDefs().Add(name, type, size, required);
}

void TMemDataSet::AddRow(Row values) {
  if (values.size() < static_cast<size_t>(FieldDefs().Count()))
    values.resize(static_cast<size_t>(FieldDefs().Count()), Variant::Null());
  m_rows.push_back({m_nextId++, std::move(values)});
}

void TMemDataSet::ClearRows() {
  m_rows.clear();
  SetCursorPosition(-1);
}

int64_t TMemDataSet::RowId(int position) const { return m_rows.at(static_cast<size_t>(position)).id; }

int TMemDataSet::PositionOfRowId(int64_t id) const {
  // Navigation asks mostly for the rows at and next to the cursor.
  const int cursor = CursorPosition();
  for (int i = cursor - 1; i <= cursor + 1; ++i)
    if (i >= 0 && i < RowCount() && m_rows[static_cast<size_t>(i)].id == id) return i;
  for (size_t i = 0; i < m_rows.size(); ++i)
    if (m_rows[i].id == id) return static_cast<int>(i);
  return -1;
}

// --- buffers and cursor -----------------------------------------------------

void TMemDataSet::LoadRecord(TRecordBuffer buffer, int position) {
  TMemRecord& rec = Rec(buffer);
  const StoredRow& row = m_rows[static_cast<size_t>(position)];
  rec.id = row.id;
  rec.values = row.values;
}

void TMemDataSet::InternalInitRecord(TRecordBuffer buffer) {
  TMemRecord& rec = Rec(buffer);
  rec.id = 0;
  rec.values.assign(static_cast<size_t>(FieldDefs().Count()), Variant::Null());
}

void TMemDataSet::ClearCalcFields(TRecordBuffer buffer) {
  Rec(buffer).calc.assign(static_cast<size_t>(FieldCount()), Variant::Null());
}

void TMemDataSet::InternalOpen() {
  // Marked open first, so that a failure below is cleaned up by the close.
  m_cursorOpen = true;
  ResetCursor();
  InternalInitFieldDefs();
  for (StoredRow& row : m_rows)
    if (row.values.size() < static_cast<size_t>(FieldDefs().Count()))
      row.values.resize(static_cast<size_t>(FieldDefs().Count()), Variant::Null());
  if (DefaultFields()) CreateFields();
  BindFields(true);
}

void TMemDataSet::InternalClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  m_cursorOpen = false;
  ResetCursor();
}

// --- values -----------------------------------------------------------------

bool TMemDataSet::GetFieldData(TField* field, void* buffer) {
  TRecordBuffer b = FieldBuffer();
  if (!b) return false;
  TMemRecord& rec = Rec(b);
  const Variant* value = nullptr;
  if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
    int index = field->Index();
    if (index < 0 || index >= static_cast<int>(rec.calc.size())) return false;
    value = &rec.calc[static_cast<size_t>(index)];
  } else {
    int column = field->FieldNo() - 1;
    if (column < 0 || column >= static_cast<int>(rec.values.size())) return false;
    value = &rec.values[static_cast<size_t>(column)];
  }
  if (value->IsClear()) return false;
  if (buffer) VariantToNative(*field, *value, buffer);
  return true;
}

void TMemDataSet::SetFieldData(TField* field, const void* buffer) {
  TDataSetState state = State();
  bool calculated = field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup;
  if (state != dsEdit && state != dsInsert && !(state == dsCalcFields && calculated))
    DatabaseError("Dataset not in edit or insert mode", this);
  TRecordBuffer b = FieldBuffer();
  if (!b) DatabaseError("Dataset not in edit or insert mode", this);
  field->Validate(buffer);
  Variant value = buffer ? NativeToVariant(*field, buffer) : Variant::Null();
  TMemRecord& rec = Rec(b);
  if (calculated) {
    int index = field->Index();
    if (index >= 0 && index < static_cast<int>(rec.calc.size()))
      rec.calc[static_cast<size_t>(index)] = std::move(value);
  } else {
    int column = field->FieldNo() - 1;
    if (column < 0 || column >= static_cast<int>(rec.values.size()))
      DatabaseErrorFmt("Field '%s' not found", {field->DisplayName()}, this);
    rec.values[static_cast<size_t>(column)] = std::move(value);
  }
  if (state != dsCalcFields) DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

// --- editing ----------------------------------------------------------------

void TMemDataSet::InternalPost() {
  TDataSet::InternalPost();
  TMemRecord& rec = Rec(ActiveBuffer());
  if (State() == dsInsert) {
    int index;
    if (rec.flag == bfEOF) {
      index = RowCount();
    } else if (rec.flag == bfBOF) {
      index = 0;
    } else {
      // An inserted row carries the bookmark of the row it goes before.
      index = PositionOfRowId(rec.id);
      if (index < 0) index = RowCount();
    }
    StoredRow row{m_nextId++, rec.values};
    rec.id = row.id;
    m_rows.insert(m_rows.begin() + index, std::move(row));
    SetCursorPosition(index);
  } else {
    int index = PositionOfRowId(rec.id);
    if (index < 0) DatabaseError("Record not found", this);
    m_rows[static_cast<size_t>(index)].values = rec.values;
    SetCursorPosition(index);
  }
}

void TMemDataSet::InternalDelete() {
  int index = PositionOfRowId(Rec(ActiveBuffer()).id);
  if (index < 0) DatabaseError("Record not found", this);
  m_rows.erase(m_rows.begin() + index);
  SetCursorPosition(index);
}

// --- search -----------------------------------------------------------------

namespace {

bool Matches(const TField* field, const Variant& stored, const Variant& key,
             TLocateOptions options) {
  if (key.IsClear()) return stored.IsClear();
  if (stored.IsClear()) return false;
  if (IsTextType(field->DataType())) {
    std::string a = stored.AsString(), k = key.AsString();
    if (options & loCaseInsensitive) {
      a = AnsiUpperCase(a);
      k = AnsiUpperCase(k);
    }
    if (options & loPartialKey) return a.compare(0, k.size(), k) == 0;
    return a == k;
  }
  return VarSameValue(stored, key);
}

}  // namespace

bool TMemDataSet::Locate(const std::string& keyFields, const Variant& keyValues,
                         TLocateOptions options) {
  CheckBrowseMode();
  std::vector<TField*> fields = GetFieldList(keyFields);
  std::vector<Variant> keys = LocateKeyValues(keyValues);
  if (fields.empty() || keys.size() != fields.size()) return false;
  for (const TField* f : fields)
    if (f->FieldNo() < 1) return false;
  for (size_t i = 0; i < m_rows.size(); ++i) {
    bool match = true;
    for (size_t k = 0; k < fields.size() && match; ++k)
      match = Matches(fields[k], m_rows[i].values[static_cast<size_t>(fields[k]->FieldNo() - 1)],
                      keys[k], options);
    if (!match) continue;
    DoBeforeScroll();
    SetCursorPosition(static_cast<int>(i));
    Resync(rmExact | rmCenter);
    DoAfterScroll();
    return true;
  }
  return false;
}

Variant TMemDataSet::Lookup(const std::string& keyFields, const Variant& keyValues,
                            const std::string& resultFields) {
  CheckActive();
  std::vector<TField*> fields = GetFieldList(keyFields);
  std::vector<TField*> results = GetFieldList(resultFields);
  std::vector<Variant> keys = LocateKeyValues(keyValues);
  if (fields.empty() || keys.size() != fields.size()) return Variant::Null();
  for (const StoredRow& row : m_rows) {
    bool match = true;
    for (size_t k = 0; k < fields.size() && match; ++k) {
      int column = fields[k]->FieldNo() - 1;
      match = column >= 0 && Matches(fields[k], row.values[static_cast<size_t>(column)], keys[k], loNone);
    }
    if (!match) continue;
    auto value = [&row](const TField* f) {
      int column = f->FieldNo() - 1;
      return column >= 0 ? row.values[static_cast<size_t>(column)] : Variant::Null();
    };
    if (results.size() == 1) return value(results[0]);
    std::vector<Variant> values;
    for (const TField* f : results) values.push_back(value(f));
    return VarArrayOf(values);
  }
  return Variant::Null();
}
