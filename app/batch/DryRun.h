// The dry run: every post of the window's datasets is taken over before it
// reaches the server. The row is listed instead of written, and checked
// against the target's rows with the same key values, so that the run goes
// on exactly as a real one would.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/TargetMetadata.h"
#include "fib/FIBDataSet.h"

class TFIBQuery;

// A row the dry run met (texts UTF-8).
struct TDryRunRow {
  enum TStatus {
    stNew,      // would be written
    stPresent,  // would be written although a row with the same values is there (no key forbids it)
    stRefused,  // a row with the same key is there: the database would refuse it
    stDiffers   // reconciling: a row with the same key is there, with other values
  };
  std::string table;
  std::string kind;  // "insert", "update" or "delete"
  std::vector<std::pair<std::string, std::optional<std::string>>> values;  // column, value (none: null)
  std::vector<bool> numeric;  // per value: a number, listed without quotes
  TStatus status = stNew;
  std::string key;  // the constraint (or "all columns") a present row matched
  // stDiffers: "COLUMN: target <value>, source <value>" per column that differs.
  std::vector<std::string> differences;
};

// The insert statement's table and its column = value pairs: the value is a
// parameter name (":NAME" without the colon) or, for a literal, the literal.
struct TInsertShape {
  std::string table;
  std::vector<std::pair<std::string, std::string>> columns;
  std::vector<bool> isParam;
};
// Empty table when the text is not an "INSERT INTO t (...) VALUES (...)".
TInsertShape ParseInsertShape(const std::string& sql);

// Rows a resumed run found in the target and did not write again, per table.
struct TPresentCount {
  std::string table;
  std::string key;  // the constraint the rows were told by, or "all columns"
  int rows = 0;
};

class TDryRun {
 public:
  // Listing (the dry run: posts are taken over, listed and checked), or a
  // resumed real run's look-ups (AlreadyPresent; nothing is taken over).
  // dmReconcile lists like dmList, but a row whose key is stored is no
  // refusal: it is compared with the stored one (present, or differs) and
  // the run goes on as a resumed one would.
  enum TMode { dmList, dmResume, dmReconcile };
  // Looks rows up through `database` in `readTransaction` (both not owned,
  // alive while the dry run is); `rows` receives every row met.
  TDryRun(TFIBDatabase* database, TFIBTransaction* readTransaction, std::vector<TDryRunRow>& rows,
          TMode mode = dmList);
  // Resume: whether the new row of `dataSet` (its values set, not yet
  // posted) is stored in the target already; counted when it is.
  bool AlreadyPresent(TFIBCustomDataSet* dataSet);
  // Resume: the rows found present so far.
  const std::vector<TPresentCount>& Present() const noexcept { return m_present; }
  ~TDryRun();
  TDryRun(const TDryRun&) = delete;
  TDryRun& operator=(const TDryRun&) = delete;

  // Takes over the posts (and deletes) of `dataSet`.
  void Attach(TFIBCustomDataSet* dataSet);

 private:
  struct TKey {
    std::string name;  // the constraint, empty for "all written columns"
    std::vector<std::string> columns;
    std::unique_ptr<TFIBQuery> lookup;
    std::unique_ptr<TFIBQuery> fetch;  // reconciling: the stored row's written columns
  };
  // Reconciling: the columns where the stored row under `key` differs.
  std::vector<std::string> Differences(const std::string& table, TKey& key, const std::map<std::string, Variant>& sent,
                                       const std::vector<std::string>& written);
  void Handle(TFIBCustomDataSet* dataSet, TUpdateKind kind, TUpdateAction& action);
  // Looks the row's key values up (in the target and among the rows this
  // run took); raises as the database would for a declared key that is
  // taken, marks the row present for an undeclared one.
  void CheckKeys(const std::string& table, const std::map<std::string, Variant>& sent,
                 const std::vector<std::string>& written, TDryRunRow& row);
  // The first key whose values the target (or, listing, an earlier row of
  // this run) holds already; null when none. `taken` receives the row's
  // key texts.
  TKey* PresentKey(const std::string& table, const std::map<std::string, Variant>& sent,
                   const std::vector<std::string>& written, std::vector<std::string>& taken);
  void Skip(const std::string& table, const TKey& key);
  // The insert statement of `dataSet` taken apart (once per text).
  const TInsertShape& ShapeOf(TFIBCustomDataSet* dataSet);
  // The row the insert would send: its listing, the values by column and
  // the columns written from the row's fields.
  TDryRunRow RowOf(TFIBCustomDataSet* dataSet, const TInsertShape& shape, std::map<std::string, Variant>& sent,
                   std::vector<std::string>& written);
  std::vector<TKey>& KeysOf(const std::string& table, const std::vector<std::string>& written);
  std::unique_ptr<TFIBQuery> Lookup(const std::string& table, const std::vector<std::string>& columns, bool nullSafe);

  TFIBDatabase* m_database;
  TFIBTransaction* m_transaction;
  TTargetMetadata m_metadata;  // the target's declared keys
  std::vector<TDryRunRow>& m_rows;
  std::map<std::string, std::vector<TKey>> m_keys;  // by table
  std::map<std::string, TInsertShape> m_shapes;     // by insert text: parsed once, not per row
  // Key values of the rows this run has taken as written: "table\nkey\nvalues".
  std::set<std::string> m_taken;
  TMode m_mode;
  std::vector<TPresentCount> m_present;
};
