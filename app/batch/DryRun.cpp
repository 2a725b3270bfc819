// The dry run's post handler and its look-ups in the target.
#include "app/batch/DryRun.h"

#include <algorithm>

#include "fib/FIBQuery.h"
#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/StrUtils.h"

namespace {

// An identifier of the statement as the system tables hold it: quotes
// removed (case kept), otherwise upper case.
std::string Identifier(const std::string& text) {
  const std::string t = Trim(text);
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return t.substr(1, t.size() - 2);
  return UpperCaseAscii(t);
}

// The comma-separated items between the parentheses starting at `open`;
// `close` receives the position of the closing one.
std::vector<std::string> ParenthesisedList(const std::string& text, size_t open, size_t& close) {
  std::vector<std::string> items;
  std::string item;
  int depth = 0;
  char quote = 0;
  for (size_t i = open; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
      item += c;
      continue;
    }
    if (c == '\'' || c == '"') quote = c;
    if (c == '(' && depth++ == 0) continue;
    if (c == ')' && --depth == 0) {
      items.push_back(Trim(item));
      close = i;
      return items;
    }
    if (c == ',' && depth == 1) {
      items.push_back(Trim(item));
      item.clear();
      continue;
    }
    item += c;
  }
  close = std::string::npos;
  return {};
}

bool IsNumber(TFieldType type) {
  switch (type) {
    case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: case ftBCD:
    case ftAutoInc: case ftLargeint: case ftFMTBcd:
      return true;
    default:
      return false;
  }
}

std::string Quote(const std::string& identifier) {
  std::string out = "\"";
  for (char c : identifier) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

TInsertShape ParseInsertShape(const std::string& sql) {
  TInsertShape shape;
  std::string text = sql;
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  const std::string upper = UpperCaseAscii(text);
  const size_t insert = upper.find("INSERT INTO ");
  if (insert == std::string::npos) return shape;
  const size_t open = text.find('(', insert);
  if (open == std::string::npos) return shape;
  size_t close = 0;
  const std::vector<std::string> columns = ParenthesisedList(text, open, close);
  if (close == std::string::npos) return shape;
  const size_t values = upper.find("VALUES", close);
  const size_t valuesOpen = values == std::string::npos ? values : text.find('(', values);
  if (valuesOpen == std::string::npos) return shape;
  const std::vector<std::string> items = ParenthesisedList(text, valuesOpen, close);
  if (close == std::string::npos || items.size() != columns.size()) return shape;
  for (size_t i = 0; i < columns.size(); ++i) {
    const bool param = items[i].size() > 1 && items[i][0] == ':';
    shape.columns.emplace_back(Identifier(columns[i]), param ? items[i].substr(1) : items[i]);
    shape.isParam.push_back(param);
  }
  shape.table = Identifier(text.substr(insert + 12, open - insert - 12));
  return shape;
}

TDryRun::TDryRun(TFIBDatabase* database, TFIBTransaction* readTransaction, std::vector<TDryRunRow>& rows,
                 TMode mode)
    : m_database(database),
      m_transaction(readTransaction),
      m_metadata(database, readTransaction),
      m_rows(rows),
      m_mode(mode) {}

TDryRun::~TDryRun() = default;

void TDryRun::Attach(TFIBCustomDataSet* dataSet) {
  dataSet->OnUpdateRecord = [this, dataSet](TDataSet*, TUpdateKind kind, TUpdateAction& action) {
    Handle(dataSet, kind, action);
  };
}

std::unique_ptr<TFIBQuery> TDryRun::Lookup(const std::string& table, const std::vector<std::string>& columns,
                                           bool nullSafe) {
  std::string sql = "select first 1 1 from " + Quote(table) + " where ";
  for (size_t i = 0; i < columns.size(); ++i)
    sql += (i ? " and " : "") + Quote(columns[i]) + (nullSafe ? " is not distinct from :K" : " = :K") +
           std::to_string(i);
  auto query = std::make_unique<TFIBQuery>();
  query->SetDatabase(m_database);
  query->SetTransaction(m_transaction);
  query->SetSQLText(sql);
  return query;
}

std::vector<TDryRun::TKey>& TDryRun::KeysOf(const std::string& table, const std::vector<std::string>& written) {
  auto found = m_keys.find(table);
  if (found != m_keys.end()) return found->second;
  std::vector<TKey> keys;
  for (const TTargetKey& declared : m_metadata.Keys(table))
    keys.push_back(TKey{declared.name, declared.columns, nullptr, nullptr});
  // Without a declared key nothing stops a second copy: every written
  // column counts, nulls equal to nulls.
  if (keys.empty()) keys.push_back(TKey{std::string(), written, nullptr, nullptr});
  for (TKey& key : keys) key.lookup = Lookup(table, key.columns, key.name.empty());
  return m_keys.emplace(table, std::move(keys)).first->second;
}

const TInsertShape& TDryRun::ShapeOf(TFIBCustomDataSet* dataSet) {
  const std::string insertText = dataSet->InsertSQL().Text();
  auto known = m_shapes.find(insertText);
  if (known == m_shapes.end()) known = m_shapes.emplace(insertText, ParseInsertShape(insertText)).first;
  return known->second;
}

TDryRunRow TDryRun::RowOf(TFIBCustomDataSet* dataSet, const TInsertShape& shape, std::map<std::string, Variant>& sent,
                          std::vector<std::string>& written) {
  TDryRunRow row;
  row.table = shape.table.empty() ? dataSet->Name() : shape.table;
  for (size_t i = 0; i < shape.columns.size(); ++i) {
    const auto& [column, source] = shape.columns[i];
    std::optional<std::string> text;
    bool numeric = false;
    if (!shape.isParam[i]) {
      text = AnsiToUtf8(source);  // a literal of the statement: listed, never looked up
    } else if (TField* field = dataSet->FindField(source)) {
      sent[column] = field->Value();
      written.push_back(column);
      if (!field->IsNull()) text = AnsiToUtf8(field->AsString());
      numeric = IsNumber(field->DataType());
    }
    row.values.emplace_back(column, text);
    row.numeric.push_back(numeric);
  }
  return row;
}

void TDryRun::Handle(TFIBCustomDataSet* dataSet, TUpdateKind kind, TUpdateAction& action) {
  const TInsertShape& shape = ShapeOf(dataSet);
  std::map<std::string, Variant> sent;  // the values the insert would send, by column
  std::vector<std::string> written;
  TDryRunRow row = RowOf(dataSet, shape, sent, written);
  row.kind = kind == ukInsert ? "insert" : kind == ukModify ? "update" : "delete";
  if (kind == ukInsert && !shape.table.empty()) CheckKeys(shape.table, sent, written, row);
  m_rows.push_back(std::move(row));
  action = uaApplied;
}

bool TDryRun::AlreadyPresent(TFIBCustomDataSet* dataSet) {
  const TInsertShape& shape = ShapeOf(dataSet);
  if (shape.table.empty()) return false;
  std::map<std::string, Variant> sent;
  std::vector<std::string> written;
  RowOf(dataSet, shape, sent, written);
  std::vector<std::string> taken;
  const TKey* key = PresentKey(shape.table, sent, written, taken);
  if (key) Skip(shape.table, *key);
  return key != nullptr;
}

void TDryRun::Skip(const std::string& table, const TKey& key) {
  const std::string name = key.name.empty() ? "all columns" : key.name;
  auto counted = std::find_if(m_present.begin(), m_present.end(),
                              [&](const TPresentCount& c) { return c.table == table && c.key == name; });
  if (counted == m_present.end()) counted = m_present.insert(m_present.end(), TPresentCount{table, name, 0});
  ++counted->rows;
}

TDryRun::TKey* TDryRun::PresentKey(const std::string& table, const std::map<std::string, Variant>& sent,
                                   const std::vector<std::string>& written, std::vector<std::string>& takenKeys) {
  for (TKey& key : KeysOf(table, written)) {
    // "table\nconstraint\nvalue..." for the rows taken by this run; the
    // server's comparison ignores trailing blanks of texts, so does this.
    std::string taken = table + "\n" + key.name;
    bool checkable = true;
    for (size_t i = 0; i < key.columns.size() && checkable; ++i) {
      const auto value = sent.find(key.columns[i]);
      // A key column the insert does not fill (a trigger's), or a null one
      // (never equal under a constraint), cannot collide here.
      checkable = value != sent.end() && (key.name.empty() || !value->second.IsNull());
      if (!checkable) break;
      key.lookup->Params()[static_cast<int>(i)]->SetAsVariant(value->second);
      taken += "\n" + (value->second.IsNull() ? std::string("\x01") : TrimRight(value->second.AsString()));
    }
    if (!checkable) continue;
    // Listing, an earlier row of this run counts as stored; a real run
    // stores its rows, so only the target tells.
    bool present = m_mode != dmResume && m_taken.count(taken) > 0;
    if (!present) {
      key.lookup->ExecQuery();
      present = !key.lookup->Eof();
      key.lookup->Close();
    }
    takenKeys.push_back(std::move(taken));
    if (present) return &key;
  }
  return nullptr;
}

void TDryRun::CheckKeys(const std::string& table, const std::map<std::string, Variant>& sent,
                        const std::vector<std::string>& written, TDryRunRow& row) {
  std::vector<std::string> takenKeys;
  if (TKey* key = PresentKey(table, sent, written, takenKeys)) {
    row.key = key->name.empty() ? "all columns" : key->name;
    if (key->name.empty()) {
      row.status = TDryRunRow::stPresent;
    } else if (m_mode == dmReconcile) {
      row.differences = Differences(table, *key, sent, written);
      row.status = row.differences.empty() ? TDryRunRow::stPresent : TDryRunRow::stDiffers;
    } else {
      // The database would refuse this row: the post fails the same way.
      row.status = TDryRunRow::stRefused;
      m_rows.push_back(row);
      std::string values;
      for (size_t i = 0; i < key->columns.size(); ++i)
        values += (i ? ", " : "") + Quote(key->columns[i]) + " = '" + sent.at(key->columns[i]).AsString() + "'";
      throw EDatabaseError("violation of PRIMARY or UNIQUE KEY constraint \"" + key->name + "\" on table \"" +
                           table + "\" (already present: " + values + ")");
    }
  }
  m_taken.insert(takenKeys.begin(), takenKeys.end());
}

std::vector<std::string> TDryRun::Differences(const std::string& table, TKey& key,
                                              const std::map<std::string, Variant>& sent,
                                              const std::vector<std::string>& written) {
  if (!key.fetch) {
    std::string columns;
    for (size_t i = 0; i < written.size(); ++i) columns += (i ? ", " : "") + Quote(written[i]);
    key.fetch = Lookup(table, key.columns, false);
    std::string sql = key.fetch->SQLText();
    sql.replace(sql.find("first 1 1 "), 10, "first 1 " + columns + " ");
    key.fetch->SetSQLText(sql);
  }
  for (size_t i = 0; i < key.columns.size(); ++i)
    key.fetch->Params()[static_cast<int>(i)]->SetAsVariant(sent.at(key.columns[i]));
  std::vector<std::string> differences;
  key.fetch->ExecQuery();
  if (!key.fetch->Eof()) {
    // Texts compare as the server compares them: trailing blanks do not count.
    auto text = [](bool null, const std::string& value) {
      return null ? std::string("null") : "'" + AnsiToUtf8(TrimRight(value)) + "'";
    };
    for (size_t i = 0; i < written.size(); ++i) {
      const Variant& source = sent.at(written[i]);
      const std::string stored = text(key.fetch->Fields(static_cast<int>(i))->IsNull(),
                                      key.fetch->Fields(static_cast<int>(i))->AsString());
      const std::string wanted = text(source.IsNull(), source.IsNull() ? std::string() : source.AsString());
      if (stored != wanted) differences.push_back(written[i] + ": target " + stored + ", source " + wanted);
    }
  }
  key.fetch->Close();
  return differences;
}
