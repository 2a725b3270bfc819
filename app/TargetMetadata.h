// What the target database's system tables declare about its tables: the
// text columns' lengths and character sets (for the changed-value checks)
// and the primary and unique keys (for the dry run's and the resumed run's
// look-ups). Each fact is one query per table, read once and kept until the
// database is opened again.
#pragma once

#include <map>
#include <string>
#include <vector>

class TFIBDatabase;
class TFIBQuery;
class TFIBTransaction;

// A target column as the system tables declare it.
struct TTargetColumn {
  int charLength = -1;  // characters; -1 unknown
  std::string charSet;  // as Firebird names it ("WIN1250", "UTF8", ...); "" unknown
};

// A primary key or unique constraint and its columns in order.
struct TTargetKey {
  std::string name;
  std::vector<std::string> columns;
};

class TTargetMetadata {
 public:
  // Reads through `database` in `transaction` (both not owned, alive while
  // this is).
  TTargetMetadata(TFIBDatabase* database, TFIBTransaction* transaction);

  // The declared text column `column` of `table`; charLength -1 and no set
  // for a column that is not a declared text column.
  const TTargetColumn& TextColumn(const std::string& table, const std::string& column);
  // The primary key and unique constraints of `table`: primary key first,
  // then unique ones by name.
  const std::vector<TTargetKey>& Keys(const std::string& table);
  // Forgets everything read (the database is opened again).
  void Clear();

 private:
  // Runs `sql` with :T bound to `table`; `row` receives each row.
  template <class Row>
  void ForEachRow(const char* sql, const std::string& table, Row row);

  TFIBDatabase* m_database;
  TFIBTransaction* m_transaction;
  std::map<std::string, std::map<std::string, TTargetColumn>> m_columns;  // table -> column
  std::map<std::string, std::vector<TTargetKey>> m_keys;                  // by table
};
