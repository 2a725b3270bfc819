// The source components: TADOConnection (the Access file) and TADOQuery (a
// read-only dataset over one table of it). The file is read by libmdb in an
// isolated child process (MdbReader.h), once per connect and once per open;
// the rows then live in the query.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataset/CachedDataSet.h"
#include "runtime/Strings.h"
#include "source/MdbReader.h"

class TCustomADODataSet;

enum TCursorLocation { clUseServer, clUseClient };
enum TCursorType { ctUnspecified, ctOpenForwardOnly, ctKeyset, ctDynamic, ctStatic };
enum TADOLockType { ltUnspecified, ltReadOnly, ltPessimistic, ltOptimistic, ltBatchOptimistic };
enum TIsolationLevel {
  ilUnspecified, ilChaos, ilReadUncommitted, ilBrowse, ilCursorStability, ilReadCommitted,
  ilRepeatableRead, ilSerializable, ilIsolated
};
enum TConnectMode {
  cmUnknown, cmRead, cmWrite, cmReadWrite, cmShareDenyRead, cmShareDenyWrite, cmShareExclusive,
  cmShareDenyNone
};
enum TCommandType { cmdUnknown, cmdText, cmdTable, cmdStoredProc, cmdFile, cmdTableDirect };

// The connection to one Access file. Connecting checks the connection
// string, finds the file and reads its catalog; a failure raises
// EDatabaseError with a message naming the file. Queries register with their
// connection; disconnecting closes them.
class TADOConnection : public TComponent {
 public:
  explicit TADOConnection(TComponent* AOwner = nullptr);
  ~TADOConnection() override;

  const std::string& ConnectionString() const noexcept { return m_connectionString; }
  // Only while disconnected ("Operation is not allowed when the object is open").
  void SetConnectionString(const std::string& value);
  void SetConnectionString(const std::u16string& value);

  bool LoginPrompt() const noexcept { return m_loginPrompt; }
  void SetLoginPrompt(bool v) { m_loginPrompt = v; }
  bool KeepConnection() const noexcept { return m_keepConnection; }
  void SetKeepConnection(bool v) { m_keepConnection = v; }
  // Used when the connection string names no provider.
  const std::string& Provider() const noexcept { return m_provider; }
  void SetProvider(const std::string& v) { m_provider = v; }
  // Seconds; the connect's reader is ended when it makes no progress this
  // long (0 or less: the default 15).
  int ConnectionTimeout() const noexcept { return m_connectionTimeout; }
  void SetConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }
  // Seconds; the queries' default for their own CommandTimeout.
  int CommandTimeout() const noexcept { return m_commandTimeout; }
  void SetCommandTimeout(int seconds) { m_commandTimeout = seconds; }
  TCursorLocation CursorLocation() const noexcept { return m_cursorLocation; }
  void SetCursorLocation(TCursorLocation v) { m_cursorLocation = v; }
  TIsolationLevel IsolationLevel() const noexcept { return m_isolationLevel; }
  void SetIsolationLevel(TIsolationLevel v) { m_isolationLevel = v; }
  TConnectMode Mode() const noexcept { return m_mode; }
  void SetMode(TConnectMode v) { m_mode = v; }
  // Address-space cap of the reader process, in MiB.
  unsigned long ReaderMemoryMb() const noexcept { return m_readerMemoryMb; }
  void SetReaderMemoryMb(unsigned long v) { m_readerMemoryMb = v; }

  bool Connected() const noexcept { return m_connected; }
  void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  // Queries using this connection.
  int DataSetCount() const noexcept { return static_cast<int>(m_dataSets.size()); }
  TCustomADODataSet* DataSets(int index) const { return m_dataSets.at(static_cast<size_t>(index)); }
  // User tables of the connected file (system code page).
  std::vector<std::string> GetTableNames() const;

  // --- for the queries -------------------------------------------------------
  // The file as the connection string names it (for messages).
  const std::string& DatabaseFile() const noexcept { return m_databaseFile; }
  // The stored name (UTF-8) of a table named ignoring case; EDatabaseError
  // when the file has no such table. Requires Connected().
  std::string ResolveTable(const std::string& name) const;
  // Reads a whole table through the reader process.
  TMdbTable ReadTable(const std::string& storedName, int commandTimeout) const;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TCustomADODataSet;
  void Connect();
  void Disconnect();
  void RegisterDataSet(TCustomADODataSet* ds);
  void UnregisterDataSet(TCustomADODataSet* ds);

  std::string m_connectionString;
  std::string m_provider = "MSDASQL.1";
  bool m_loginPrompt = true;
  bool m_keepConnection = true;
  int m_connectionTimeout = 15;
  int m_commandTimeout = 30;
  TCursorLocation m_cursorLocation = clUseClient;
  TIsolationLevel m_isolationLevel = ilCursorStability;
  TConnectMode m_mode = cmUnknown;
  unsigned long m_readerMemoryMb = 1024;

  bool m_connected = false;
  std::string m_databaseFile;  // DBQ as given (system code page)
  std::string m_path;          // absolute, UTF-8
  TMdbCatalog m_catalog;
  std::vector<TCustomADODataSet*> m_dataSets;  // not owned; they unregister themselves
};

// A declared parameter of a query. The source statements reference none; the
// items are kept so that the components carry what the tool declares.
struct TParameter {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;
  Variant Value = Variant::Null();
};

class TParameters {
 public:
  int Count() const noexcept { return static_cast<int>(m_items.size()); }
  TParameter& operator[](int i) { return m_items.at(static_cast<size_t>(i)); }
  const TParameter& operator[](int i) const { return m_items.at(static_cast<size_t>(i)); }
  TParameter& AddParameter(const std::string& name, TFieldType type, int size = 0);
  // By name ignoring case; nullptr when absent.
  TParameter* FindParam(const std::string& name);
  // By name; EDatabaseError "Parameter '%s' not found" when absent.
  TParameter& ParamByName(const std::string& name);
  void Clear() { m_items.clear(); }

 private:
  std::vector<TParameter> m_items;
};

// A record buffer of a source query: which stored row it shows. Values are
// decoded from the table on each read.
struct TADORecord {
  int64_t id = -1;                 // stored row (its place in the file), -1 for none
  TBookmarkFlag flag = bfCurrent;
};

// The read-only dataset over one table of the connection's file, in the
// order of the statement.
class TCustomADODataSet : public TCachedDataSetOf<TADORecord> {
 public:
  explicit TCustomADODataSet(TComponent* AOwner = nullptr);
  ~TCustomADODataSet() override;

  TADOConnection* Connection() const noexcept { return m_connection; }
  void SetConnection(TADOConnection* connection);
  const std::string& CommandText() const noexcept { return m_commandText; }
  // Closes the dataset when the text changes.
  void SetCommandText(const std::string& text);
  TCommandType CommandType() const noexcept { return m_commandType; }
  void SetCommandType(TCommandType v) { m_commandType = v; }
  TParameters& Parameters() noexcept { return m_parameters; }
  bool ParamCheck() const noexcept { return m_paramCheck; }
  void SetParamCheck(bool v) { m_paramCheck = v; }
  TCursorLocation CursorLocation() const noexcept { return m_cursorLocation; }
  void SetCursorLocation(TCursorLocation v) { m_cursorLocation = v; }
  TCursorType CursorType() const noexcept { return m_cursorType; }
  void SetCursorType(TCursorType v) { m_cursorType = v; }
  TADOLockType LockType() const noexcept { return m_lockType; }
  void SetLockType(TADOLockType v) { m_lockType = v; }
  int CacheSize() const noexcept { return m_cacheSize; }
  void SetCacheSize(int v) { m_cacheSize = v; }
  // Rows kept at most (0 = all).
  int MaxRecords() const noexcept { return m_maxRecords; }
  void SetMaxRecords(int v) { m_maxRecords = v; }
  // Seconds the reader may go without progress while opening.
  int CommandTimeout() const noexcept { return m_commandTimeout; }
  void SetCommandTimeout(int seconds) { m_commandTimeout = seconds; }
  bool EnableBCD() const noexcept { return m_enableBCD; }
  void SetEnableBCD(bool v) { m_enableBCD = v; }

  // Single- and multi-field search in the lookup cursor (a sorted view of the
  // rows independent of the dataset's own cursor). Search problems give
  // false; only a closed dataset raises.
  bool Locate(const std::string& keyFields, const Variant& keyValues,
              TLocateOptions options) override;
  bool GetFieldData(TField* field, void* buffer) override;
  void SetFieldData(TField* field, const void* buffer) override;
  // The current row's text of a Text or Memo column as the file stores it:
  // whole and in UTF-16, where the field's 8-bit value is cut at its size
  // and holds "?" for what the code page lacks. Nothing for a null, a
  // column of another type, or no current row.
  std::optional<std::u16string> StoredText(TField* field) const;

 protected:
  int CachedRowCount() const override { return static_cast<int>(m_order.size()); }
  int64_t RowId(int position) const override { return m_order.at(static_cast<size_t>(position)); }
  int PositionOfRowId(int64_t storedRow) const override;
  void LoadRecord(TRecordBuffer buffer, int position) override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  void InternalOpen() override;
  bool IsCursorOpen() const override { return m_table != nullptr; }
  bool GetCanModify() const override { return false; }
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  struct LookupCursor;
  // Reads the table named by the command text (and sorts it) unless held.
  void LoadTable();
  // The stored row of the buffer fields read now (-1 for none).
  int FieldRow() const;
  bool RowMatches(int storedRow, const std::vector<TField*>& fields,
                  const std::vector<Variant>& keys, bool partial) const;

  TADOConnection* m_connection = nullptr;  // not owned; cleared in Notification
  std::string m_commandText;
  TCommandType m_commandType = cmdText;
  TParameters m_parameters;
  bool m_paramCheck = true;
  TCursorLocation m_cursorLocation = clUseClient;
  TCursorType m_cursorType = ctKeyset;
  TADOLockType m_lockType = ltOptimistic;
  int m_cacheSize = 1;
  int m_maxRecords = 0;
  int m_commandTimeout = 30;
  bool m_enableBCD = true;

  std::unique_ptr<TMdbTable> m_table;     // the rows while open
  std::vector<int> m_columnOfField;       // column index per FieldDef (FieldNo - 1)
  std::vector<int> m_order;               // stored rows in the statement's order
  std::vector<int> m_positions;           // inverse of m_order (-1: cut by MaxRecords)
  std::unique_ptr<LookupCursor> m_lookup; // from the first locate to the close
};

// A query over the connection: SQL lines, joined by line breaks, are the
// command text.
class TADOQuery : public TCustomADODataSet {
 public:
  explicit TADOQuery(TComponent* AOwner = nullptr);
  TStrings& SQL() noexcept { return m_sql; }
  const TStrings& SQL() const noexcept { return m_sql; }

 private:
  TStrings m_sql;
};
