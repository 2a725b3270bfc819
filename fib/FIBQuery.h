// The statement component TFIBQuery and its descriptor areas (TFIBXSQLDA) and
// variables (TFIBXSQLVAR) over the client interface's XSQLDA/XSQLVAR records.
#pragma once

#include <ibase.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/Variant.h"
#include "fib/CopyBytes.h"
#include "fib/FIBValueTypes.h"
#include "fib/SqlTxtRtns.h"
#include "runtime/Component.h"
#include "runtime/Currency.h"
#include "runtime/DateText.h"
#include "runtime/Strings.h"

class TFIBDatabase;
class TFIBTransaction;
class TFIBBase;
class TFIBQuery;
class TFIBXSQLDA;
class IIBClientLibrary;

// SQL type codes come from ibase.h (SQL_TEXT, SQL_VARYING, ... SQL_INT64); the
// 16-bit Boolean of InterBase has a code of its own there.
inline constexpr short SQL_IB_BOOLEAN = 590;

// The byte length in an XSQLVAR's 16-bit sqllen. The client library reads it
// unsigned: a CHAR result of 32,768 bytes or more arrives with a "negative"
// sqllen, and a value sent may not be longer than the signed maximum.
inline int SlotLength(const XSQLVAR& x) { return static_cast<unsigned short>(x.sqllen); }
inline constexpr int kMaxSentValueBytes = 32767;

// Statement types as isc_dsql_sql_info reports them.
enum TFIBSQLTypes : int {
  SQLUnknown = 0,
  SQLSelect = 1,
  SQLInsert = 2,
  SQLUpdate = 3,
  SQLDelete = 4,
  SQLDDL = 5,
  SQLGetSegment = 6,
  SQLPutSegment = 7,
  SQLExecProcedure = 8,
  SQLStartTransaction = 9,
  SQLCommit = 10,
  SQLRollback = 11,
  SQLSelectForUpdate = 12,
  SQLSetGenerator = 13,
  SQLSavePointOperation = 14,
};

enum TpFIBQueryOption : uint8_t {
  qoStartTransaction = 1,
  qoAutoCommit = 2,
  qoTrimCharFields = 4,
  qoNoForceIsNull = 8,
  qoFreeHandleAfterExecute = 16,
};
using TpFIBQueryOptions = uint8_t;  // a set of TpFIBQueryOption bits

// Day offsets between the server's day numbers (from 17 November 1858), the
// time-stamp form and the date-time form (days since 30 December 1899).
inline constexpr int kServerToTimeStampDays = 678576;
inline constexpr int kServerToDateTimeDays = 15018;
inline constexpr double kServerTimeUnitsPerDay = 864000000.0;  // 1/10,000 s

// One parameter or column: the raw XSQLVAR slot plus the buffers it points to,
// the registered name and the bookkeeping of the statement. Owned by its area;
// valid until the area is replaced (a change of the SQL text).
class TFIBXSQLVAR {
 public:
  TFIBXSQLVAR(TFIBXSQLDA* parent, TFIBQuery* query, int index);
  TFIBXSQLVAR(const TFIBXSQLVAR&) = delete;
  TFIBXSQLVAR& operator=(const TFIBXSQLVAR&) = delete;

  int Index() const { return m_index; }
  const std::string& Name() const { return m_name; }
  bool Modified() const { return m_modified; }
  void SetModified(bool v) { m_modified = v; }
  XSQLVAR* Data() const { return m_xvar; }
  TFIBXSQLDA* Parent() const { return m_parent; }
  TFIBQuery* Query() const { return m_query; }

  short SQLType() const { return static_cast<short>(m_xvar->sqltype & ~1); }
  short SQLSubtype() const { return m_xvar->sqlsubtype; }
  short SQLScale() const { return m_xvar->sqlscale; }
  int SQLLen() const { return SlotLength(*m_xvar); }
  // Server's description, cached; 0 while unknown.
  short DeclaredType() const;
  short DeclaredSubtype() const { return m_declSubtype; }
  int DeclaredLen() const { return m_declLen; }
  short DeclaredScale() const { return m_declScale; }
  bool Typed() const { return m_typed; }
  bool Deferred() const { return m_deferred; }
  bool InWhere() const { return m_inWhere; }
  bool NullRewritable() const { return m_nullRewritable; }
  bool IsMacro() const { return m_isMacro; }
  int StartPos() const { return m_start; }
  int EndPos() const { return m_end; }
  // The value at the end of the last execution (see SaveOldValue).
  const Variant& OldValue() const;
  void SetOldValue(const Variant& v);
  bool HasBlobStream() const { return m_blobStream.has_value(); }
  const std::string* BlobStream() const { return m_blobStream ? &*m_blobStream : nullptr; }
  // Loads a blob parameter's content (written into a blob at execution).
  void LoadFromStream(std::string_view content);

  // Readers. A failed conversion raises client error 33 and changes nothing.
  // IsNull is inline: the re-prepare check asks it before every execution.
  inline bool IsNull() const;
  bool IsNullable() const { return (m_xvar->sqltype & 1) != 0; }
  std::string AsString() const;
  std::u16string AsWideString() const;
  int32_t AsInteger() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  double AsFloat() const { return AsDouble(); }
  long double AsExtended() const;
  Currency AsCurrency() const;
  TFIBBcd AsBCD() const;
  TDateTime AsDateTime() const;
  TTimeStamp AsTimeStamp() const;
  bool AsBoolean() const;
  TGUID AsGuid() const;
  ISC_QUAD AsQuad() const;
  Variant AsVariant() const;

  // Writers. Each acts on this variable and, in a parameter area, on every
  // other variable of the same name: a value reaches every occurrence.
  void SetIsNull(bool value);
  void SetIsNullable(bool value);
  void SetRawValue(short sqlType, int length, const void* bytes);
  void SetScale(short scale);
  void Assign(const XSQLVAR& source);
  void SetAsString(std::string_view value);
  void SetAsWideString(std::u16string_view value);
  void SetAsInteger(int32_t value);
  void SetAsInt64(int64_t value);
  void SetAsDouble(double value);
  void SetAsFloat(double value) { SetAsDouble(value); }
  void SetAsCurrency(Currency value);
  void SetAsBCD(const TFIBBcd& value);
  void SetAsDateTime(TDateTime value);
  void SetAsDate(TDateTime value);
  void SetAsTime(TDateTime value);
  void SetAsTimeStamp(const TTimeStamp& value);
  void SetAsBoolean(bool value);
  void SetAsGuid(const TGUID& value);
  void SetAsQuad(const ISC_QUAD& value);
  void SetAsVariant(const Variant& value);

 private:
  friend class TFIBXSQLDA;
  friend class TFIBQuery;

  enum class Action { Null, Nullable, Scale, Data, Raw };
  struct Change {
    Action action;
    bool flag = false;
    short scale = 0;
    short type = 0;
    int length = 0;
    const void* bytes = nullptr;
    const XSQLVAR* raw = nullptr;
  };
  // Applies one change to this variable and every namesake, then marks them typed.
  void Apply(const Change& change);
  void ApplyOne(const Change& change);
  // SetRawValue's shortcut for a value of the slot's own type and length;
  // false when the general path is needed. Inline: the fixed-size writers
  // take it once per parameter per row.
  inline bool OverwriteInPlace(short type, int length, const void* bytes);
  void ResizeData(int length);
  void RepointSlot(XSQLVAR* slot);
  // Makes the slot untyped and null without a buffer (fresh parameter).
  void ResetUntyped();
  // Remembers the current value as the old value. Kept as a copy of the
  // slot and made a Variant only when read: every execution saves it, almost
  // nothing reads it. Inline: every execution saves every parameter.
  inline void SaveOldValue();
  // Whether the old value is null, without making it a Variant.
  inline bool OldValueIsNull() const;
  // A column of a select that has fetched no row reads as null.
  bool InEmptyResult() const;
  // Whether a held value (the current one or the saved old one) is null: a
  // pending blob text is a value; otherwise a nullable slot flagged null, or
  // a slot without a type yet.
  static bool HeldValueIsNull(bool hasBlobStream, short sqltype, short ind) {
    return !hasBlobStream && (((sqltype & 1) && ind == -1) || (sqltype & ~1) == 0);
  }
  // Exchanges the slot's state with the saved one.
  void SwapSavedValue();
  // Caches the server's description and sizes the buffers (after a describe).
  void InitFromDescribe();
  void CopyStateFrom(const TFIBXSQLVAR& other);
  bool IsColumn() const;
  bool ConnectionUnicodeOrNone() const;
  bool IsUnicodeCharset(int charsetId) const;
  void SetStringValue(std::string_view text8, const std::u16string* wide, bool deferredPass);
  void ApplyDeferred();
  [[noreturn]] void ConversionError() const;
  const char* Bytes() const { return m_data.data(); }
  std::string RawText() const;  // the bytes of a TEXT / VARYING slot
  int DeclaredChars() const;    // characters of a CHAR column in its character set
  std::string ReadBlobText() const;

  int m_index;
  bool m_modified = false;
  std::string m_name;
  TFIBQuery* m_query;           // not owned
  XSQLVAR* m_xvar = nullptr;    // slot in the parent's raw area; re-pointed when it grows
  TFIBXSQLDA* m_parent;         // owner
  bool m_isMacro = false;
  Variant m_oldValue;           // value at the end of the last execution, once asked for
  struct TSavedValue {
    bool pending = false;       // saved since m_oldValue was last set
    short sqltype = 0;
    short sqlscale = 0;
    short sqlsubtype = 0;
    short sqllen = 0;
    short ind = 0;
    std::vector<char> data;
    std::optional<std::string> blobStream;
    std::optional<std::u16string> wideText;
  };
  TSavedValue m_saved;
  short m_declType = 0;
  short m_declSubtype = 0;
  int m_declLen = 0;
  short m_declScale = 0;
  bool m_inWhere = false;
  bool m_nullRewritable = false;
  bool m_typed = false;
  int m_start = 0;
  int m_end = 0;
  bool m_deferred = false;
  std::optional<std::string> m_blobStream;   // BLOB parameter text until execution
  std::optional<std::u16string> m_wideText;  // last wide assignment
  std::vector<char> m_data;     // value buffer (sqldata)
  short m_ind = 0;              // null indicator (sqlind) when nullable
};

// A descriptor area: the raw XSQLDA and one variable per slot, with the name
// lists. Capacity only grows, so re-executing reuses buffers.
class TFIBXSQLDA {
 public:
  TFIBXSQLDA(TFIBQuery* query, bool isParams);
  ~TFIBXSQLDA();
  TFIBXSQLDA(const TFIBXSQLDA&) = delete;
  TFIBXSQLDA& operator=(const TFIBXSQLDA&) = delete;

  int Count() const { return m_count; }
  // Clears the name lists and resizes; new raw slots are zero-filled.
  void SetCount(int n);
  XSQLDA* AsXSQLDA() { return m_raw; }
  bool IsParams() const { return m_isParams; }
  TFIBQuery* Query() const { return m_query; }
  // Client error 23 when out of range.
  TFIBXSQLVAR* Vars(int index) const {
    if (index < 0 || index >= m_count) IndexOutOfRange();
    return m_vars[static_cast<size_t>(index)].get();
  }
  TFIBXSQLVAR* operator[](int index) const { return Vars(index); }
  // The variable of that name or nullptr; never raises.
  TFIBXSQLVAR* ByName(std::string_view name);
  int IndexOfName(std::string_view name) const;
  // Registers a variable's name: as is when keepAsIs, else ASCII upper case.
  void RegisterName(std::string_view name, int index, bool keepAsIs);
  // The other variables of the same name (parameter areas), or nullptr.
  const std::vector<int>* Namesakes(int index) const;
  bool HasNamesakes(int index) const noexcept {
    return m_isParams && static_cast<size_t>(index) < m_namesakes.size() &&
           !m_namesakes[static_cast<size_t>(index)].empty();
  }
  void ClearValues();
  // Every typed variable remembers its value as its old value (see
  // TFIBXSQLVAR::SaveOldValue); run after each execution.
  void SaveOldValues();
  void CopyValuesByName(TFIBXSQLDA& from);
  // Caches the declared types, names columns from their aliases and sizes buffers.
  void InitAfterDescribe();
  bool HasDeferred() const { return m_deferredSettings; }
  void SetDeferredSettings(bool v) { m_deferredSettings = v; }
  void ApplyDeferredSettings();

 private:
  friend class TFIBXSQLVAR;
  friend class TFIBQuery;
  [[noreturn]] static void IndexOutOfRange();
  void ClearNames();
  int FindNameIndex(std::string_view name) const;  // last registered, or -1

  TFIBQuery* m_query;
  bool m_isParams;
  int m_count = 0;
  int m_capacity = 0;
  XSQLDA* m_raw = nullptr;  // owned (calloc/realloc)
  std::vector<std::unique_ptr<TFIBXSQLVAR>> m_vars;
  // (name key, index) in registration order; the key is the name in upper case.
  std::vector<std::pair<std::string, int>> m_names;
  std::vector<std::vector<int>> m_namesakes;  // per index, the other holders of its name
  std::vector<std::pair<std::string, TFIBXSQLVAR*>> m_cache;
  bool m_deferredSettings = false;
};

bool TFIBXSQLVAR::IsNull() const {
  return HeldValueIsNull(m_blobStream.has_value(), m_xvar->sqltype, m_ind) ||
         (!m_blobStream && !m_parent->IsParams() && InEmptyResult());
}

inline void TFIBXSQLVAR::SaveOldValue() {
  const XSQLVAR& x = *m_xvar;
  m_saved.sqltype = x.sqltype;
  m_saved.sqlscale = x.sqlscale;
  m_saved.sqlsubtype = x.sqlsubtype;
  m_saved.sqllen = x.sqllen;
  m_saved.ind = m_ind;
  // Every execution saves every parameter, nearly always a value of the size
  // saved the time before: then a plain copy into the buffer it has.
  const size_t n = m_data.size();
  if (m_saved.data.size() != n) m_saved.data.assign(m_data.begin(), m_data.end());
  else CopyValueBytes(m_saved.data.data(), m_data.data(), n);
  m_saved.blobStream = m_blobStream;
  m_saved.wideText = m_wideText;
  m_saved.pending = true;
}

bool TFIBXSQLVAR::OldValueIsNull() const {
  // Old values are kept for parameters, where AsVariant is Null exactly when
  // the held value is.
  return m_saved.pending ? HeldValueIsNull(m_saved.blobStream.has_value(), m_saved.sqltype, m_saved.ind)
                         : m_oldValue.IsNull();
}

bool TFIBXSQLVAR::OverwriteInPlace(short type, int length, const void* bytes) {
  // A statement run row after row gets values of the same type and length
  // each time: then the slot, its buffer and every flag but the null
  // indicator stay as the general path would leave them, and only the bytes
  // change. Anything else (a namesake to reach, a pending blob text or wide
  // text to drop, a new type or size) takes the general path.
  XSQLVAR& x = *m_xvar;
  const size_t bufLen = static_cast<size_t>(type == SQL_VARYING ? length + 2 : length);
  if ((x.sqltype & ~1) != type || SlotLength(x) != length || length <= 0 || m_data.size() != bufLen ||
      x.sqldata != m_data.data() || m_blobStream || m_wideText || m_parent->HasNamesakes(m_index))
    return false;
  if (x.sqltype & 1) m_ind = 0;
  x.sqlscale = 0;
  if (bytes) CopyValueBytes(m_data.data(), bytes, bufLen);
  m_modified = true;
  m_typed = true;
  return true;
}

// One SQL statement through the client library: text analysis, prepare,
// execute, fetch, close and free. Owns its areas and its binding object.
class TFIBQuery : public TComponent {
 public:
  explicit TFIBQuery(TComponent* owner = nullptr);
  ~TFIBQuery() override;

  TFIBDatabase* Database() const;
  virtual void SetDatabase(TFIBDatabase* db);
  TFIBTransaction* Transaction() const;
  void SetTransaction(TFIBTransaction* tr);
  TFIBBase* Base() const { return m_base.get(); }

  // The SQL text as lines; changes re-analyse the text.
  TStrings& SQL() { return *m_sql; }
  const TStrings& SQL() const { return *m_sql; }
  // Whether a line of the SQL holds more than blanks and control characters,
  // and whether the first line is "No Action". Read from the lines each time;
  // inline, as posting asks several times per row, and a statement's first
  // character nearly always answers the first.
  bool HasSQLText() const {
    const auto& lines = m_sql->Lines();
    return (!lines.empty() && !lines.front().empty() && IsTextChar(lines.front().front())) || HasTextPastFirstChar();
  }
  bool IsNoActionText() const {
    return m_sql->Count() > 0 && std::string_view(m_sql->Lines().front()) == std::string_view("No Action");
  }
  // Replaces all lines; the text is sent exactly as given (line breaks
  // included) until the lines are edited.
  void SetSQLText(std::string_view text);
  // The text given to SetSQLText, or the lines joined (JoinSqlLines).
  std::string SQLText() const;
  void BeginUpdate();
  void EndUpdate();

  bool ParamCheck() const { return m_paramCheck; }
  void SetParamCheck(bool v) { m_paramCheck = v; }
  bool GoToFirstRecordOnExecute() const { return m_goToFirst; }
  void SetGoToFirstRecordOnExecute(bool v) { m_goToFirst = v; }
  TpFIBQueryOptions Options() const { return m_options; }
  void SetOptions(TpFIBQueryOptions o) { m_options = o; }
  bool HasOption(TpFIBQueryOption o) const { return (m_options & o) != 0; }
  char MacroChar() const { return m_macroChar; }

  std::function<void(TComponent* sender)> OnSQLChanging;
  // Called around every execution (published by TpFIBQuery).
  std::function<void(TComponent* sender)> BeforeExecute;
  std::function<void(TComponent* sender)> AfterExecute;
  // Hook of the dataset layer: called with the record count before each fetch;
  // setting stop ends the fetch with a silent abort.
  std::function<void(int recordCount, bool& stop)> BeforeFetchHook;

  TFIBXSQLDA& Params();
  TFIBXSQLDA& PreparedParams() { return *m_preparedParams; }
  TFIBXSQLDA& Columns() { return *m_columns; }
  int ParamCount() { return Params().Count(); }
  int FieldCount() const { return m_prepared ? m_columns->Count() : 0; }
  // Plain exception "Parameter \"%s\" does not exist in %s" when missing.
  TFIBXSQLVAR* ParamByName(std::string_view name);
  TFIBXSQLVAR* FindParam(std::string_view name) { return Params().ByName(name); }
  // Client error 41 when missing.
  TFIBXSQLVAR* ColumnByName(std::string_view name);
  TFIBXSQLVAR* FieldByName(std::string_view name) { return ColumnByName(name); }
  TFIBXSQLVAR* Fields(int index);
  int FieldIndex(std::string_view name);
  Variant FieldValue(std::string_view name) { return ColumnByName(name)->AsVariant(); }
  Variant ParamValue(std::string_view name) { return ParamByName(name)->AsVariant(); }
  void SetParamValue(std::string_view name, const Variant& v) { ParamByName(name)->SetAsVariant(v); }

  void Prepare();
  virtual void ExecQuery();
  // The column area when a row arrived; nullptr at the end.
  TFIBXSQLDA* FetchNext();
  void Close();
  void FreeHandle();

  bool Open() const { return m_open; }
  bool Prepared() const { return m_prepared; }
  // Raised whenever the text is analysed anew (the parameter names may differ).
  int ChangeCount() const noexcept { return m_changeCount; }
  // Raised by every prepare on the server: what was derived from the columns
  // of an earlier prepare may be kept while it is unchanged.
  int PrepareCount() const noexcept { return m_prepareCount; }
  bool Bof() const { return m_bof; }
  bool Eof();
  int RecordCount() const { return m_recordCount; }
  TFIBSQLTypes SQLType() const { return m_sqlType; }
  const std::string& ProcessedSQL() const { return m_processedSQL; }
  bool Executing() const { return m_executing; }
  bool Rewritten() const { return m_rewritten; }
  isc_stmt_handle Handle() const { return m_handle; }
  TSQLKind SQLKind() const { return m_parser.SQLKind(); }
  const TSQLParser& Parser() const { return m_parser; }
  uint32_t ElapsedMs() const { return m_elapsedMs; }
  bool CloseOnTransactionEnd() const { return m_closeOnTransactionEnd; }
  void SetCloseOnTransactionEnd(bool v) { m_closeOnTransactionEnd = v; }

  // The table alias of a column (1-based number) formatted as an identifier;
  // empty when unknown or out of range.
  std::string ColumnTableAlias(int columnNumber);

  // Dialect of the bound database (3 without one).
  int Dialect() const;

 protected:
  void DoExecQuery();
  // Checks a client call: resets the control word, gives the status to the
  // transaction, raises with this statement as sender when asked.
  ISC_STATUS Check(ISC_STATUS status, bool raise = true);
  IIBClientLibrary& Lib() const;

 private:
  friend class TFIBXSQLVAR;
  friend class TFIBXSQLDA;

  void BeforeSQLChange();
  void AfterSQLChange();
  // Blanks and control characters are no text.
  static bool IsTextChar(char c) { return static_cast<unsigned char>(c) > 32; }
  bool HasTextPastFirstChar() const;
  void Analyse();
  void ScanInto(std::string_view text, TScanMode mode);
  bool NeedsRePrepare() const;
  std::string BuildTextToSend(bool mark);
  void EncodeProcessedText();
  void DoPrepareOnServer();
  void WriteBlobParams(TFIBXSQLDA& area);
  void ExecuteImmediate();
  void InitColumnsNull();
  bool InLoading() const;
  isc_db_handle* DBHandle();
  isc_tr_handle* TRHandle();
  bool ConnectionIsUnicode() const;
  // Names (quoted identifiers, column and table names) travel as UTF-8: on a
  // Unicode connection like all text, and on one without a character set
  // because the server keeps and reports metadata in UTF-8.
  bool NamesInUtf8() const;
  bool ConnectionUnicodeOrNone() const;
  bool ExtendedCharset() const;

  std::unique_ptr<TFIBBase> m_base;
  std::unique_ptr<TStrings> m_sql;
  std::optional<std::string> m_wholeText;     // text of the last SetSQLText, while the lines are unedited
  std::optional<std::string> m_assignedText;  // during SetSQLText
  bool m_paramCheck = true;
  bool m_goToFirst = true;
  TpFIBQueryOptions m_options = 0;
  char m_macroChar = '@';

  bool m_open = false;
  bool m_bof = false;
  bool m_eof = false;
  bool m_prepared = false;
  int m_recordCount = 0;
  isc_stmt_handle m_handle = 0;
  TFIBSQLTypes m_sqlType = SQLUnknown;
  std::string m_processedSQL;
  bool m_processedEncoded = false;
  std::unique_ptr<TFIBXSQLDA> m_params;
  std::unique_ptr<TFIBXSQLDA> m_preparedParams;
  std::unique_ptr<TFIBXSQLDA> m_columns;
  TSQLParser m_parser;
  int m_updateCount = 0;
  int m_changeCount = 0;
  int m_prepareCount = 0;
  bool m_sqlAnalysed = false;
  // The parameters whose value can change the text sent (macros, and nullable
  // comparisons in the WHERE clause), from the last analysis.
  std::vector<int> m_textDependents;
  bool m_paramCheckSnapshot = true;
  bool m_rewritten = false;
  bool m_macroValuesChanged = false;
  bool m_executing = false;
  bool m_preparing = false;
  bool m_hasBlobParams = false;
  std::string m_cursorName;
  uint32_t m_elapsedMs = 0;
  bool m_closeOnTransactionEnd = true;
  std::vector<std::string> m_aliases;
  bool m_aliasesRead = false;
};

// Runs a one-row query in the database's internal transaction (started when
// needed, committed afterwards) and returns its first column; Null without a row.
Variant QueryValue(TFIBDatabase& db, std::string_view sql);
