// The process-wide cache of table and column information read from the
// system tables (domains, defaults, computed columns), the statement cache
// its queries run from, and the step after a dataset opens that gives fields
// their automatic formats and imported defaults.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/Component.h"
#include "runtime/CriticalSection.h"

class TFIBDatabase;
class TFIBQuery;
class TFIBTransaction;
class TFIBCustomDataSet;
class TField;

// What the system tables say about one column (or procedure output).
class TpFIBFieldInfo {
 public:
  std::string DomainName;
  bool IsComputed = false;
  // The declared default after parsing: the keyword DEFAULT dropped, one pair
  // of outer quotes removed; empty without a default.
  std::string DefaultValue;
  // The column's default is the empty string ('' or "").
  bool DefaultValueEmptyString = false;
  // False for blob and quad columns, which a WHERE clause cannot compare.
  bool CanIncToWhereClause = true;
  int CharSetID = 0;
  // Display information that only the field repository fills.
  std::string DisplayLabel;
  int DisplayWidth = 0;
  std::string DisplayFormat;
  std::string EditFormat;
  bool Visible = true;

  // Decided from the domain name on first use and remembered.
  bool CanBeBoolean();
  bool CanBeGUID();

 private:
  std::optional<bool> m_canBeBoolean;
  std::optional<bool> m_canBeGUID;
};

// One table (or stored procedure) of one database name.
class TpFIBTableInfo {
 public:
  TpFIBTableInfo(std::string tableName, std::string dbName)
      : m_tableName(std::move(tableName)), m_dbName(std::move(dbName)) {}

  const std::string& TableName() const noexcept { return m_tableName; }
  const std::string& DBName() const noexcept { return m_dbName; }
  // Relation id of a view or format number of a table; 0 when unknown.
  int FormatNumber() const noexcept { return m_formatNumber; }
  // The key column list is read on first request only; nothing asks for it yet.
  bool PrimaryKeyFieldsLoaded() const noexcept { return m_primaryKeyLoaded; }
  bool NonValidated() const noexcept { return false; }
  bool WithFieldRepositaryInfo() const noexcept { return false; }

  int FieldCount() const noexcept { return static_cast<int>(m_order.size()); }
  // Columns in position order.
  const std::string& FieldName(int index) const { return m_order.at(static_cast<size_t>(index)); }
  // The column's entry (name normalised), or nullptr.
  TpFIBFieldInfo* FieldInfo(std::string_view fieldName);

 private:
  friend class TpFIBTableInfoCollect;
  void AddField(const std::string& name, TpFIBFieldInfo info);

  std::string m_tableName;
  std::string m_dbName;
  int m_formatNumber = 0;
  bool m_primaryKeyLoaded = false;
  std::vector<std::string> m_order;
  std::map<std::string, TpFIBFieldInfo, std::less<>> m_fields;
};

// The cache itself: one entry per (table name, database name), loaded on
// the first lookup and kept until the program ends. Lookups and loads take
// the write lock, so one thread at a time loads.
class TpFIBTableInfoCollect {
 public:
  TpFIBTableInfoCollect() = default;
  TpFIBTableInfoCollect(const TpFIBTableInfoCollect&) = delete;
  TpFIBTableInfoCollect& operator=(const TpFIBTableInfoCollect&) = delete;

  // The process-wide instance.
  static TpFIBTableInfoCollect& Instance();

  // The entry for `tableName` in `db` (by its DBName), loaded on first use.
  // Raises the server's error when a system-table query fails; no entry is
  // added then, so the next lookup tries again. Requires a connected db.
  TpFIBTableInfo* GetTableInfo(TFIBDatabase& db, std::string_view tableName);
  // The column's entry, or nullptr when the table or column is unknown.
  TpFIBFieldInfo* GetFieldInfo(TFIBDatabase& db, std::string_view tableName,
                               std::string_view fieldName);
  int Count() const;
  // Forgets every entry (tests; a schema change during the run).
  void Clear();
  // Raised by Clear: entries looked up before are gone.
  uint64_t Generation() const noexcept { return m_generation.load(std::memory_order_acquire); }

  // Removes the double quotes of a name and the blanks around it.
  static std::string NormalizeName(std::string_view name);
  // The parsed form of an RDB$DEFAULT_SOURCE text ("DEFAULT 'KOM'" -> KOM).
  static std::string ParseDefaultSource(std::string_view source);

 private:
  void Load(TFIBDatabase& db, TpFIBTableInfo& info);

  mutable std::shared_mutex m_lock;
  std::atomic<uint64_t> m_generation{0};
  // Key: (table name, database name).
  std::map<std::pair<std::string, std::string>, std::unique_ptr<TpFIBTableInfo>> m_tables;
};

// Idle prepared statements of one database, handed out by SQL text. Dropped
// with their statements when the database is destroyed.
class TCacheQueries : public TComponent {
 public:
  explicit TCacheQueries(TFIBDatabase* db);
  ~TCacheQueries() override;
  TFIBDatabase* Database() const noexcept { return m_database; }
  // An idle statement with exactly this text, or a new one.
  std::unique_ptr<TFIBQuery> Take(const std::string& sql);
  void Give(std::unique_ptr<TFIBQuery> query);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TFIBDatabase* m_database;  // not owned; cleared in Notification()
  std::vector<std::unique_ptr<TFIBQuery>> m_idle;
};

// The process-wide statement cache for the layer's own queries.
class TCacheList {
 public:
  static TCacheList& Instance();

  // Runs `sql` (trimmed) on `db` in `tr` from a cached prepared statement:
  // `fill` sets its parameters, `row` receives each fetched row. The
  // statement starts its transaction when needed and goes back to the idle
  // list afterwards, also after a failure.
  void Run(TFIBDatabase& db, TFIBTransaction& tr, std::string_view sql, bool trimChars,
           const std::function<void(TFIBQuery&)>& fill,
           const std::function<void(TFIBQuery&)>& row);
  // Executions so far (tests count the system-table queries with it).
  uint64_t Executions() const noexcept { return m_executions; }

 private:
  friend class TCacheQueries;
  TCacheQueries& ForDatabase(TFIBDatabase& db);
  void Forget(TCacheQueries* entry);

  TCriticalSection m_lock;
  std::vector<std::unique_ptr<TCacheQueries>> m_entries;
  uint64_t m_executions = 0;
};

class TBCDField;
class TNumericField;
class TDateTimeField;
class TFIBStringField;
class TpFIBFieldInfo;

// What the field-information step found out about a dataset's fields: their
// classes and their entries in the table information. A dataset reopened
// with the same columns and fields (its Shape), the same
// database and the same table information reuses it instead of asking again.
struct TFieldInfoPlan {
  struct Field {
    TBCDField* bcd = nullptr;
    TNumericField* number = nullptr;   // SMALLINT, INTEGER, FLOAT with a column
    TDateTimeField* dateTime = nullptr;
    TFIBStringField* text = nullptr;
    TpFIBFieldInfo* info = nullptr;
  };
  std::vector<Field> fields;  // by position in Fields()
  uint64_t shape = 0;
  bool infoFound = false;     // `info` looked up for the database below
  const TFIBDatabase* database = nullptr;
  std::string databaseName;
  uint64_t tablesGeneration = 0;
};

// The field-information step after a dataset opened: automatic display and
// edit formats (poAutoFormatFields) and, with the prepare options that ask
// for metadata, imported defaults by field class. `plan` (optional) keeps
// the lookups for the next open.
void ApplyFieldInfo(TFIBCustomDataSet& dataSet, TFieldInfoPlan* plan = nullptr);

// A number format widened to `decimals` decimals: "#,##0." -> "#,##0.00";
// "0.0" -> "0.000" style formats repeat their last character; others stay.
std::string WidenFormat(const std::string& format, int decimals);
// The imported default text as a field of `field`'s class takes it; nullopt
// when the field keeps its DefaultExpression.
std::optional<std::string> ImportedDefault(const TField& field, const std::string& text);
