// The target's system tables, read once per table and fact.
#include "app/TargetMetadata.h"

#include "fib/FIBQuery.h"
#include "fib/pFIBDatabase.h"
#include "runtime/StrUtils.h"

TTargetMetadata::TTargetMetadata(TFIBDatabase* database, TFIBTransaction* transaction)
    : m_database(database), m_transaction(transaction) {}

template <class Row>
void TTargetMetadata::ForEachRow(const char* sql, const std::string& table, Row row) {
  TFIBQuery query;
  query.SetDatabase(m_database);
  query.SetTransaction(m_transaction);
  query.SetSQLText(sql);
  query.ParamByName("T")->SetAsString(table);
  query.ExecQuery();
  while (!query.Eof()) {
    row(query);
    query.FetchNext();
  }
  query.Close();
}

const TTargetColumn& TTargetMetadata::TextColumn(const std::string& table, const std::string& column) {
  auto found = m_columns.find(table);
  if (found == m_columns.end()) {
    std::map<std::string, TTargetColumn> columns;
    // The character length is declared since Firebird 2; before it the byte
    // length over the set's bytes per character says the same.
    ForEachRow(
        "select rf.RDB$FIELD_NAME, coalesce(f.RDB$CHARACTER_LENGTH, "
        "f.RDB$FIELD_LENGTH / coalesce(cs.RDB$BYTES_PER_CHARACTER, 1)), cs.RDB$CHARACTER_SET_NAME "
        "from RDB$RELATION_FIELDS rf join RDB$FIELDS f on f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE "
        "left join RDB$CHARACTER_SETS cs on cs.RDB$CHARACTER_SET_ID = f.RDB$CHARACTER_SET_ID "
        "where rf.RDB$RELATION_NAME = :T and f.RDB$FIELD_TYPE in (14, 37)",
        table, [&](TFIBQuery& query) {
          TTargetColumn c;
          c.charLength = query.Fields(1)->IsNull() ? -1 : query.Fields(1)->AsInteger();
          c.charSet = Trim(query.Fields(2)->AsString());
          columns[Trim(query.Fields(0)->AsString())] = c;
        });
    found = m_columns.emplace(table, std::move(columns)).first;
  }
  static const TTargetColumn unknown;
  auto c = found->second.find(column);
  return c == found->second.end() ? unknown : c->second;
}

const std::vector<TTargetKey>& TTargetMetadata::Keys(const std::string& table) {
  auto found = m_keys.find(table);
  if (found != m_keys.end()) return found->second;
  std::vector<TTargetKey> keys;
  ForEachRow(
      "select rc.RDB$CONSTRAINT_NAME, sg.RDB$FIELD_NAME from RDB$RELATION_CONSTRAINTS rc "
      "join RDB$INDEX_SEGMENTS sg on sg.RDB$INDEX_NAME = rc.RDB$INDEX_NAME "
      "where rc.RDB$RELATION_NAME = :T and rc.RDB$CONSTRAINT_TYPE in ('PRIMARY KEY', 'UNIQUE') "
      "order by rc.RDB$CONSTRAINT_TYPE, rc.RDB$CONSTRAINT_NAME, sg.RDB$FIELD_POSITION",
      table, [&](TFIBQuery& query) {
        const std::string name = Trim(query.Fields(0)->AsString());
        if (keys.empty() || keys.back().name != name) keys.push_back(TTargetKey{name, {}});
        keys.back().columns.push_back(Trim(query.Fields(1)->AsString()));
      });
  return m_keys.emplace(table, std::move(keys)).first->second;
}

void TTargetMetadata::Clear() {
  m_columns.clear();
  m_keys.clear();
}
