// TCustomADODataSet / TADOQuery: the table read at open, the statement's
// order, navigation over the rows held in memory, field values decoded from
// their stored form on each read, and Locate through the lookup cursor.
//
// Row identity (the bookmark): the stored row number, i.e. the row's place in
// the file, stable across sorts.
#include <algorithm>
#include <cstring>

#include "runtime/CodePage.h"
#include "runtime/Format.h"
#include "source/ADODB.h"
#include "source/AccessCollation.h"
#include "source/AccessSql.h"
#include "source/MdbValues.h"
#include "source/MdbWire.h"

namespace {

// What one value sorts by: NULL first, then numbers by value, texts by the
// General order, anything else by its bytes.
struct SortValue {
  bool null = true;
  double number = 0;
  std::string key;
};

SortValue MakeSortValue(const TMdbTable& t, size_t row, size_t col) {
  SortValue v;
  const TMdbCell& cell = t.Cell(row, col);
  if (cell.null) return v;
  v.null = false;
  const TMdbColumn& c = t.columns[col];
  switch (c.type) {
    case mdbwire::kText:
    case mdbwire::kMemo:
      v.key = AccessTextSortKey(JetTextToAnsi(cell.data, t.jetVersion, t.codePage));
      break;
    case mdbwire::kBool:
      // Access stores Yes as -1, so Yes sorts before No.
      v.number = (!cell.data.empty() && cell.data[0]) ? -1 : 0;
      break;
    case mdbwire::kNumeric:
      v.number = std::strtod(JetDecimalText(cell.data, c.scale).c_str(), nullptr);
      break;
    case mdbwire::kByte:
    case mdbwire::kInt:
    case mdbwire::kLong:
    case mdbwire::kMoney:
    case mdbwire::kFloat:
    case mdbwire::kDouble:
    case mdbwire::kDateTime:
      v.number = JetValue(t, row, col, 0).AsDouble();
      break;
    default:
      // GUIDs, OLE and binary values, and types this reader does not know:
      // their bytes (a type without a number form must not fail the open).
      v.key = cell.data;
      break;
  }
  return v;
}

int CompareSortValues(const SortValue& a, const SortValue& b) {
  if (a.null || b.null) return a.null == b.null ? 0 : (a.null ? -1 : 1);
  if (a.number != b.number) return a.number < b.number ? -1 : 1;
  const int c = a.key.compare(b.key);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Stable order of `rows` by the given columns (each ascending or descending).
void SortRows(const TMdbTable& t, std::vector<int>& rows, const std::vector<std::pair<int, bool>>& by) {
  if (by.empty()) return;
  std::vector<std::vector<SortValue>> keys(by.size());
  for (size_t k = 0; k < by.size(); ++k) {
    keys[k].resize(t.rowCount);
    for (size_t r = 0; r < t.rowCount; ++r)
      keys[k][r] = MakeSortValue(t, r, static_cast<size_t>(by[k].first));
  }
  std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
    for (size_t k = 0; k < by.size(); ++k) {
      int c = CompareSortValues(keys[k][static_cast<size_t>(a)], keys[k][static_cast<size_t>(b)]);
      if (by[k].second) c = -c;
      if (c != 0) return c < 0;
    }
    return false;
  });
}

bool IsStringType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid || t == ftMemo ||
         t == ftFmtMemo;
}

bool IsNumberType(TFieldType t) {
  return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftLargeint ||
         t == ftFloat || t == ftCurrency || t == ftBCD || t == ftFMTBcd;
}

std::string BracketName(const std::string& name) {
  return name.find(' ') != std::string::npos ? "[" + name + "]" : name;
}

}  // namespace

// The lookup cursor: a second, independent view of the rows, sorted by the
// key fields of the last locate. Locates search it from its first row, so
// one locate never depends on where another stopped.
struct TCustomADODataSet::LookupCursor {
  std::string sort;       // "[A B],C" as the sort list the view is in
  std::vector<int> rows;  // stored rows in that order
};

TCustomADODataSet::TCustomADODataSet(TComponent* AOwner) : TCachedDataSetOf(AOwner) {}

TCustomADODataSet::~TCustomADODataSet() {
  Destroying();
  // Closing must happen here, while this kind's hooks still exist; a dying
  // dataset runs no close handlers.
  BeforeClose = nullptr;
  AfterClose = nullptr;
  Close();
  if (m_connection) {
    m_connection->UnregisterDataSet(this);
    m_connection->RemoveFreeNotification(this);
  }
}

void TCustomADODataSet::SetConnection(TADOConnection* connection) {
  if (connection == m_connection) return;
  if (Active()) Close();
  if (m_connection) {
    m_connection->UnregisterDataSet(this);
    m_connection->RemoveFreeNotification(this);
  }
  m_connection = connection;
  if (m_connection) {
    m_connection->RegisterDataSet(this);
    m_connection->FreeNotification(this);
  }
}

void TCustomADODataSet::Notification(TComponent* AComponent, TOperation Operation) {
  TDataSet::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == m_connection) {
    if (Active()) Close();
    m_connection = nullptr;
  }
}

void TCustomADODataSet::SetCommandText(const std::string& text) {
  if (text == m_commandText) return;
  if (Active()) Close();
  m_commandText = text;
  FieldDefs().SetUpdated(false);
}

void TCustomADODataSet::LoadTable() {
  if (m_table) return;
  if (!m_connection) DatabaseError("Missing Connection or ConnectionString", this);
  TAccessSelect select;
  try {
    select = ParseAccessSelect(m_commandText);
  } catch (const EDatabaseError& e) {
    DatabaseError(e.Message(), this);
  }
  if (!m_connection->Connected()) m_connection->Open();
  const std::string stored = m_connection->ResolveTable(select.table);
  auto table = std::make_unique<TMdbTable>(m_connection->ReadTable(stored, m_commandTimeout));

  // ORDER BY names are matched ignoring case against the table's columns.
  std::vector<std::pair<int, bool>> by;
  for (const auto& item : select.orderBy) {
    int found = -1;
    for (size_t c = 0; c < table->columns.size() && found < 0; ++c)
      if (SameText(Utf8ToAnsi(table->columns[c].name), item.column)) found = static_cast<int>(c);
    if (found < 0)
      DatabaseError(Format("ORDER BY names the column '%s', which the table '%s' does not have",
                           {item.column, select.table}),
                    this);
    by.emplace_back(found, item.descending);
  }
  std::vector<int> order(table->rowCount);
  for (size_t r = 0; r < order.size(); ++r) order[r] = static_cast<int>(r);
  SortRows(*table, order, by);
  if (m_maxRecords > 0 && order.size() > static_cast<size_t>(m_maxRecords))
    order.resize(static_cast<size_t>(m_maxRecords));
  m_positions.assign(table->rowCount, -1);
  for (size_t p = 0; p < order.size(); ++p) m_positions[static_cast<size_t>(order[p])] = static_cast<int>(p);
  m_order = std::move(order);
  m_table = std::move(table);
}

void TCustomADODataSet::InternalInitFieldDefs() {
  const bool wasLoaded = m_table != nullptr;
  LoadTable();
  FieldDefs().Clear();
  m_columnOfField.clear();
  for (size_t c = 0; c < m_table->columns.size(); ++c) {
    const TMdbColumn& col = m_table->columns[c];
    const TJetFieldType ft = JetFieldType(col, m_table->jetVersion);
    if (ft.type == ftUnknown) continue;  // a column type that gets no field
    std::string base = Utf8ToAnsi(col.name);
    if (base.empty()) base = Format("COLUMN%d", {static_cast<int>(c) + 1});
    std::string name = base;
    for (int n = 1; FieldDefs().IndexOf(name) >= 0; ++n) name = Format("%s_%d", {base, n});
    TFieldDef& def = FieldDefs().Add(name, ft.type, ft.size, false);
    def.SetPrecision(ft.precision);
    if (col.longAuto || col.uuidAuto) def.SetAttributes(def.Attributes() | faReadonly);
    if (col.fixed) def.SetAttributes(def.Attributes() | faFixed);
    m_columnOfField.push_back(static_cast<int>(c));
  }
  FieldDefs().SetUpdated(true);
  // Descriptions asked for without opening do not keep the rows.
  if (!wasLoaded && !Active() && State() != dsOpening) {
    m_table.reset();
    m_order.clear();
    m_positions.clear();
  }
}

void TCustomADODataSet::InternalOpen() {
  LoadTable();
  // A forward-only cursor cannot go back: the dataset model reopens it for
  // First and refuses Prior and Last.
  SetUniDirectional(m_cursorType == ctOpenForwardOnly);
  InternalInitFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  ResetCursor();
}

void TCustomADODataSet::InternalClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  m_lookup.reset();
  m_table.reset();
  m_order.clear();
  m_positions.clear();
  m_columnOfField.clear();
  ResetCursor();
}

void TCustomADODataSet::LoadRecord(TRecordBuffer buffer, int position) {
  Rec(buffer).id = m_order[static_cast<size_t>(position)];
}

int TCustomADODataSet::PositionOfRowId(int64_t storedRow) const {
  if (storedRow < 0 || static_cast<uint64_t>(storedRow) >= m_positions.size()) return -1;
  return m_positions[static_cast<size_t>(storedRow)];
}

int TCustomADODataSet::FieldRow() const {
  const TRecordBuffer b = FieldBuffer();
  if (!b || !m_table) return -1;
  if (State() != dsCalcFields && IsEmpty()) return -1;
  return static_cast<int>(Rec(b).id);
}

bool TCustomADODataSet::GetFieldData(TField* field, void* buffer) {
  const int row = FieldRow();
  const int no = field->FieldNo();
  if (row < 0 || no < 1 || static_cast<size_t>(no) > m_columnOfField.size()) return false;
  const size_t col = static_cast<size_t>(m_columnOfField[static_cast<size_t>(no - 1)]);
  const TMdbCell& cell = m_table->Cell(static_cast<size_t>(row), col);
  if (cell.null) return false;
  if (!buffer) return true;
  // A text is cut at the field's size in bytes, like the driver's bound buffer.
  const bool toText = field->DataType() == ftString || field->DataType() == ftFixedChar;
  const int type = m_table->columns[col].type;
  if (toText && (type == mdbwire::kText || type == mdbwire::kMemo)) {
    // The common read, once per value handed over: straight into the buffer.
    char* text = static_cast<char*>(buffer);
    const size_t n = JetTextToAnsiInto(cell.data, m_table->jetVersion, m_table->codePage, text,
                                       static_cast<size_t>(std::max(field->Size(), 0)));
    text[n] = '\0';
    return true;
  }
  VariantToNative(*field, JetValue(*m_table, static_cast<size_t>(row), col, toText ? field->Size() : 0), buffer);
  return true;
}

std::optional<std::u16string> TCustomADODataSet::StoredText(TField* field) const {
  const int row = FieldRow();
  const int no = field->FieldNo();
  if (row < 0 || no < 1 || static_cast<size_t>(no) > m_columnOfField.size()) return std::nullopt;
  const size_t col = static_cast<size_t>(m_columnOfField[static_cast<size_t>(no - 1)]);
  const int type = m_table->columns[col].type;
  if (type != mdbwire::kText && type != mdbwire::kMemo) return std::nullopt;
  const TMdbCell& cell = m_table->Cell(static_cast<size_t>(row), col);
  if (cell.null) return std::nullopt;
  return JetTextToWide(cell.data, m_table->jetVersion, m_table->codePage);
}

void TCustomADODataSet::SetFieldData(TField* field, const void* buffer) {
  DatabaseError("Cannot modify a read-only dataset", this);
}

bool TCustomADODataSet::RowMatches(int storedRow, const std::vector<TField*>& fields,
                                   const std::vector<Variant>& keys, bool partial) const {
  for (size_t i = 0; i < fields.size(); ++i) {
    TField* f = fields[i];
    const Variant& key = keys[i];
    const int no = f->FieldNo();
    if (no < 1 || static_cast<size_t>(no) > m_columnOfField.size()) return false;
    const size_t col = static_cast<size_t>(m_columnOfField[static_cast<size_t>(no - 1)]);
    const TFieldType type = f->DataType();
    const int cut = (type == ftString || type == ftFixedChar) ? f->Size() : 0;
    const Variant value = JetValue(*m_table, static_cast<size_t>(storedRow), col, cut);
    // "= Null" never matches: neither NULL rows nor anything else.
    if (value.IsNull()) return false;
    if (IsStringType(type)) {
      const std::string k = key.AsString();
      const std::string v = value.AsString();
      const bool prefix = partial && i + 1 == fields.size();
      if (prefix) {
        if (v.size() < k.size() || AnsiCompareText(std::string_view(v).substr(0, k.size()), k) != 0) return false;
      } else if (AnsiCompareText(v, k) != 0) {
        return false;
      }
    } else if (IsNumberType(type)) {
      if (value.AsDouble() != key.AsDouble()) return false;
    } else if (IsDateTimeType(type)) {
      if (value.AsDate() != key.AsDate()) return false;
    } else if (type == ftBoolean) {
      if (value.AsBoolean() != key.AsBoolean()) return false;
    } else {
      return false;  // bytes and blobs cannot be searched
    }
  }
  return true;
}

bool TCustomADODataSet::Locate(const std::string& keyFields, const Variant& keyValues,
                               TLocateOptions options) {
  DoBeforeScroll();
  CheckBrowseMode();
  std::vector<TField*> fields;
  try {
    fields = GetFieldList(keyFields);
  } catch (const EDatabaseError&) {
    return false;  // a name without a field finds nothing
  }
  if (fields.empty()) return false;
  for (const TField* f : fields)
    if (f->FieldNo() < 1 || static_cast<size_t>(f->FieldNo()) > m_columnOfField.size())
      return false;  // a calculated field has no column to search
  const std::vector<Variant> keys = LocateKeyValues(keyValues);
  if (keys.size() != fields.size()) return false;
  int found = -1;
  try {
    // A Null or empty key searches for "= Null", which nothing satisfies.
    for (const Variant& k : keys)
      if (k.IsClear() || (k.IsString() && k.AsString().empty())) return false;

    std::string sort;
    for (TField* f : fields) sort += (sort.empty() ? "" : ",") + BracketName(f->FieldName());
    if (!m_lookup) m_lookup = std::make_unique<LookupCursor>();
    if (m_lookup->sort != sort || m_lookup->rows.empty()) {
      std::vector<std::pair<int, bool>> by;
      for (TField* f : fields) by.emplace_back(m_columnOfField[static_cast<size_t>(f->FieldNo() - 1)], false);
      std::vector<int> rows = m_order;
      SortRows(*m_table, rows, by);
      m_lookup->rows = std::move(rows);
      m_lookup->sort = sort;
    }
    const bool partial = (options & loPartialKey) != 0;
    for (int row : m_lookup->rows) {
      if (RowMatches(row, fields, keys, partial)) {
        found = row;
        break;
      }
    }
  } catch (const EVariantError&) {
    // A key the column cannot be compared with (letters against a number, a
    // number beyond the column's range): not found. Anything else, running
    // out of memory included, is a real failure and goes on.
    return false;
  } catch (const EConvertError&) {
    return false;
  } catch (const EMathError&) {
    return false;
  }
  const int pos = PositionOfRowId(found);
  if (pos < 0) return false;
  SetCursorPosition(pos);
  Resync(rmExact | rmCenter);
  DoAfterScroll();
  return true;
}

TADOQuery::TADOQuery(TComponent* AOwner) : TCustomADODataSet(AOwner) {
  m_sql.OnChange = [this](TStrings*) {
    // The command text is the lines joined by line breaks.
    std::string text;
    for (int i = 0; i < m_sql.Count(); ++i) {
      if (i > 0) text += "\r\n";
      text += m_sql[i];
    }
    SetCommandText(text);
  };
}
