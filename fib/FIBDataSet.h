// The Firebird dataset: the generic dataset of dataset/ implemented over five
// SQL statements, with a lazily filled row cache, record buffers in the
// layout below, search over the cache, and insertion and posting through the
// dataset's modifying statements.
//
// Record buffer of a row (TRecordBuffer):
//   0..3   record number: 0-based position in the row cache (int32)
//   4      bookmark flag (TBookmarkFlag)
//   5      update status (TCachedUpdateStatus)
//   6..    one null flag per column (1 = null)
//   then   fixed-width column values in column order (TFIBFieldDescr::Offset)
//   then   out-of-line strings: a 4-byte length, then the declared size
// The calculated-field values of a buffer sit in front of it (CalcValuesOf),
// and in front of them the stamp of the cached row it holds (see
// ForgetCachedRecord).
// The row cache keeps bytes 5 .. end of the strings of every fetched row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/CachedDataSet.h"
#include "fib/FIBDataSetCache.h"
#include "fib/FIBDatabase.h"
#include "fib/FIBQuery.h"
#include "fib/SqlTxtRtns.h"

class TFIBCustomDataSet;
// One key of a search, in the form the row stores it (FIBDataSetLocate.cpp).
struct TPreparedKey;

// --- option sets (bit i = member i, in the declared member order) ------------

enum TpFIBDsOption : uint16_t {
  poTrimCharFields = 1 << 0,
  poRefreshAfterPost = 1 << 1,
  poRefreshDeletedRecord = 1 << 2,
  poStartTransaction = 1 << 3,
  poAutoFormatFields = 1 << 4,
  poProtectedEdit = 1 << 5,
  poUseSelectForLock = 1 << 6,
  poKeepSorting = 1 << 7,
  poPersistentSorting = 1 << 8,
  poVisibleRecno = 1 << 9,
  poNoForceIsNull = 1 << 10,
  poFetchAll = 1 << 11,
  poFreeHandlesAfterClose = 1 << 12,
  poCacheCalcFields = 1 << 13,
  poRefreshAfterDelete = 1 << 14,
};
using TpFIBDsOptions = uint16_t;
inline constexpr TpFIBDsOptions kDefaultDsOptions =
    poTrimCharFields | poRefreshAfterPost | poStartTransaction | poAutoFormatFields;

enum TpPrepareOption : uint16_t {
  pfSetRequiredFields = 1 << 0,
  pfSetReadOnlyFields = 1 << 1,
  pfImportDefaultValues = 1 << 2,
  psUseBooleanField = 1 << 3,
  psUseGuidField = 1 << 4,
  psSQLINT64ToBCD = 1 << 5,
  psApplyRepositary = 1 << 6,
  psGetOrderInfo = 1 << 7,
  psAskRecordCount = 1 << 8,
  psCanEditComputedFields = 1 << 9,
  psSetEmptyStrToNull = 1 << 10,
  psSupportUnicodeBlobs = 1 << 11,
  psUseLargeIntField = 1 << 12,
};
using TpPrepareOptions = uint16_t;
inline constexpr TpPrepareOptions kDefaultPrepareOptions =
    pfImportDefaultValues | psUseBooleanField | psGetOrderInfo | psSetEmptyStrToNull;

enum TDetailCondition : uint8_t {
  dcForceOpen = 1, dcIgnoreMasterClose = 2, dcForceMasterRefresh = 4, dcWaitEndMasterScroll = 8
};
using TDetailConditions = uint8_t;

enum TFieldOriginRule { forNoRule, forTableAndFieldName, forClientFieldName, forTableAliasAndFieldName };
enum TTransactionKind { tkReadTransaction, tkUpdateTransaction };
enum TCacheModelKind { cmkStandard, cmkLimitedBufferSize };

struct TCacheModelOptions {
  TCacheModelKind CacheModelKind = cmkStandard;
  int BufferChunks = 32;
  int BlobCacheLimit = 0;
};

enum TUpdateKind : uint8_t { ukModify = 1, ukInsert = 2, ukDelete = 4 };
using TUpdateKinds = uint8_t;
// What an OnUpdateRecord handler made of a row: nothing (the dataset's own
// statement writes it) or applied (the handler took care of it).
enum TUpdateAction : uint8_t { uaDefault, uaApplied };

// Update status of a cached row (byte 5 of the record buffer).
enum TCachedUpdateStatus : uint8_t {
  cusUnmodified = 0, cusModified = 1, cusInserted = 2, cusDeleted = 3, cusUninserted = 4,
  cusDeletedApplied = 5
};
// A set of update statuses: bit (1 << status).
using TFIBUpdateRecordTypes = uint8_t;
inline constexpr TFIBUpdateRecordTypes UpdateRecordType(TCachedUpdateStatus s) {
  return static_cast<TFIBUpdateRecordTypes>(1u << s);
}

enum TWhenGetGenID { wgNever, wgOnNewRecord, wgBeforePost };

struct TAutoUpdateOptions {
  bool AutoReWriteSqls = false;
  bool CanChangeSQLs = false;
  bool UpdateOnlyModifiedFields = false;
  bool AutoParamsToFields = false;
  bool SeparateBlobUpdate = false;
  bool UseExecuteBlock = false;
  TWhenGetGenID WhenGetGenID = wgNever;
  int GeneratorStep = 1;
  std::string GeneratorName;
  std::string KeyFields;
  std::string UpdateTableName;
  std::string ParamsToFieldsLinks;
  uint8_t UseReturningFields = 0;
};

struct TFormatFields {
  std::string DateTimeDisplayFormat = "dd.mm.yyyy hh:mm AMPM";
  std::string NumericDisplayFormat = "#,##0.";
  std::string NumericEditFormat = "0.";
  std::string DisplayFormatDate = "dd.mm.yyyy";
  std::string DisplayFormatTime = "hh:mm AMPM";
};

// --- column descriptors ------------------------------------------------------

enum TFIBFieldDescrKind : uint8_t { fdkPlain, fdkWideString, fdkGuid };

// One column of the select's output as the record buffer stores it.
struct TFIBFieldDescr {
  std::string Name;        // output (alias) name
  std::string RelName;     // relation of the column ("" for expressions)
  std::string SQLName;     // column name in the relation
  short SQLType = 0;       // without the null bit
  short Scale = 0;
  short SubType = 0;
  TFIBFieldDescrKind Kind = fdkPlain;
  bool OutOfLine = false;  // a long string: after the fixed values, out of line in the cache
  bool IsDBKey = false;    // DB_KEY / RDB$DB_KEY
  bool Nullable = false;
  int Size = 0;            // stored bytes (declared length for strings)
  int Offset = 0;          // of the value in the record buffer (length prefix for out-of-line)
  int StringSlot = -1;     // index among the out-of-line strings, or -1
  int CharSet = 0;
};

// Record buffer offsets shared by the dataset's files.
namespace fibrec {
inline constexpr int kRecNo = 0;
inline constexpr int kBookmarkFlag = 4;
inline constexpr int kUpdateStatus = 5;
inline constexpr int kNullFlags = 6;
inline constexpr int kCachedFrom = 5;  // the cache keeps the row from this byte on
// The stamp of the cached row a buffer holds sits this many bytes before it.
inline constexpr int kLoadedStampBefore = 16;
}  // namespace fibrec

// --- the dataset -------------------------------------------------------------

using TFieldNotify = std::function<void(TField* Field)>;
using TOnGetRecordError =
    std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;

// All the machinery of a Firebird dataset. Owns its five statements, its
// binding object, the row cache and the column descriptors. Database and
// transactions are not owned; the binding object hears when they go. The
// record cursor is the shared one: rows come from the server one at a time as
// it moves, a row's identity is its record number.
class TFIBCustomDataSet : public TCachedDataSet {
 public:
  explicit TFIBCustomDataSet(TComponent* AOwner = nullptr);
  ~TFIBCustomDataSet() override;

  // --- SQL texts: the lists of the owned statements ----------------------
  // Changing the select text of an open dataset fails with client error 28
  // (" change SelectSQL "); of a closed one clears the field definitions and
  // the prepared mark.
  TStrings& SelectSQL() { return m_qSelect->SQL(); }
  TStrings& InsertSQL() { return m_qInsert->SQL(); }
  TStrings& UpdateSQL() { return m_qUpdate->SQL(); }
  TStrings& DeleteSQL() { return m_qDelete->SQL(); }
  TStrings& RefreshSQL() { return m_qRefresh->SQL(); }
  TFIBQuery* QSelect() const noexcept { return m_qSelect.get(); }
  TFIBQuery* QInsert() const noexcept { return m_qInsert.get(); }
  TFIBQuery* QUpdate() const noexcept { return m_qUpdate.get(); }
  TFIBQuery* QDelete() const noexcept { return m_qDelete.get(); }
  TFIBQuery* QRefresh() const noexcept { return m_qRefresh.get(); }

  // --- binding -------------------------------------------------------------
  TFIBDatabase* Database() const;
  void SetDatabase(TFIBDatabase* value);
  TFIBTransaction* Transaction() const;
  void SetTransaction(TFIBTransaction* value);
  // The update statement's transaction.
  TFIBTransaction* UpdateTransaction() const;
  void SetUpdateTransaction(TFIBTransaction* value);
  TFIBBase* Base() const noexcept { return m_base.get(); }

  // --- properties ----------------------------------------------------------
  bool AutoCommit() const noexcept { return m_autoCommit; }
  void SetAutoCommit(bool v) { m_autoCommit = v; }
  TFieldOriginRule FieldOriginRule() const noexcept { return m_fieldOriginRule; }
  void SetFieldOriginRule(TFieldOriginRule v) { m_fieldOriginRule = v; }
  TpFIBDsOptions Options() const noexcept { return m_options; }
  // Also gives poStartTransaction / poNoForceIsNull to the select, insert,
  // update and delete statements (qoStartTransaction / qoNoForceIsNull).
  void SetOptions(TpFIBDsOptions v);
  bool HasOption(TpFIBDsOption o) const noexcept { return (m_options & o) != 0; }
  TpPrepareOptions PrepareOptions() const noexcept { return m_prepareOptions; }
  void SetPrepareOptions(TpPrepareOptions v) { m_prepareOptions = v; }
  bool HasPrepareOption(TpPrepareOption o) const noexcept { return (m_prepareOptions & o) != 0; }
  TDetailConditions DetailConditions() const noexcept { return m_detailConditions; }
  void SetDetailConditions(TDetailConditions v) { m_detailConditions = v; }
  TTransactionKind RefreshTransactionKind() const noexcept { return m_refreshTransactionKind; }
  void SetRefreshTransactionKind(TTransactionKind v);
  TCacheModelOptions& CacheModelOptions() noexcept { return m_cacheModelOptions; }
  const TCacheModelOptions& CacheModelOptions() const noexcept { return m_cacheModelOptions; }
  TAutoUpdateOptions& AutoUpdateOptions() noexcept { return m_autoUpdateOptions; }
  TFormatFields& DefaultFormats() noexcept { return m_defaultFormats; }
  const TFormatFields& DefaultFormats() const noexcept { return m_defaultFormats; }
  bool CachedUpdates() const noexcept { return m_cachedUpdates; }
  void SetCachedUpdates(bool v) { m_cachedUpdates = v; }
  bool UniDirectional() const noexcept { return IsUniDirectional(); }
  void SetUniDirectional(bool v) { TDataSet::SetUniDirectional(v); }
  TUpdateKinds AllowedUpdateKinds() const noexcept { return m_allowedUpdateKinds; }
  void SetAllowedUpdateKinds(TUpdateKinds v) { m_allowedUpdateKinds = v; }
  TFIBUpdateRecordTypes UpdateRecordTypes() const noexcept { return m_updateRecordTypes; }
  void SetUpdateRecordTypes(TFIBUpdateRecordTypes v) { m_updateRecordTypes = v; }
  int SQLScreenCursor() const noexcept { return m_sqlScreenCursor; }
  void SetSQLScreenCursor(int v) { m_sqlScreenCursor = v; }
  int DataSet_ID() const noexcept { return m_dataSetId; }
  void SetDataSet_ID(int v) { m_dataSetId = v; }
  const std::string& Description() const noexcept { return m_description; }
  void SetDescription(const std::string& v) { m_description = v; }
  // A pseudo-property as a form stores it ("oTrimCharFields", "poGetOrderInfo",
  // "dcForceOpen", "BufferChunks", "ObjectView", ...). False for an unknown name.
  bool ReadStoredProperty(std::string_view name, const Variant& value);

  // --- prepare, parameters -------------------------------------------------
  bool Prepared() const noexcept { return m_prepared; }
  // Completes database/transaction, starts the read transaction (with
  // poStartTransaction), prepares the select and builds the field
  // definitions. Client error 37 ("Prepare <full name>") for an empty select.
  void Prepare();
  void UnPrepare();
  TFIBXSQLDA& Params() { return m_qSelect->Params(); }
  // The select's parameter; plain exception "Parameter \"%s\" does not exist
  // in %s" (name, full name) when there is none. Needs no open dataset.
  TFIBXSQLVAR* ParamByName(std::string_view name);
  // Starts the read transaction first (poStartTransaction); nullptr when missing.
  TFIBXSQLVAR* FindParam(std::string_view name);

  // --- column descriptors and cache (for fields, search and posting) ------
  int ColumnCount() const noexcept { return static_cast<int>(m_descrs.size()); }
  // Descriptor of a 1-based field number.
  const TFIBFieldDescr& Column(int fieldNo) const { return m_descrs.at(static_cast<size_t>(fieldNo - 1)); }
  // The descriptor a data field is bound to, or nullptr. Inline: every
  // value read and written asks it.
  const TFIBFieldDescr* ColumnOf(const TField* field) const {
    const int no = field ? field->FieldNo() : 0;
    return no >= 1 && no <= ColumnCount() ? &m_descrs[static_cast<size_t>(no - 1)] : nullptr;
  }
  TRecordsCache* Cache() const noexcept { return m_cache.get(); }
  // Rows fetched into the cache so far.
  int FetchedCount() const noexcept { return m_fetched; }
  // Fetches one more row from the cursor into the cache; false at its end.
  bool FetchNext();
  // Fetches every remaining row.
  void FetchAll();
  // Record buffer size of a row (header, values, strings, calc pointer).
  int RecordBufferSize() const noexcept { return m_recordSize; }
  // FindField, then a quoted name without its quotes; nullptr when missing.
  TField* FindFieldUnquoted(std::string_view name) const;
  // Count of rows changed in the cache and not yet applied.
  int ModifiedRecordCount() const noexcept { return m_modifiedCount; }

  // Reading and writing the row buffer in the column's stored form: the
  // value's raw bytes (a scaled column's integer, a BIGINT's 64-bit value).
  // Used by the field classes for their own conversions (BCD fields).
  bool GetFieldDataRaw(const TField* field, void* dest);
  void SetFieldDataRaw(TField* field, const void* src);

  // --- counts and search ------------------------------------------------------
  bool Locate(const std::string& keyFields, const Variant& keyValues,
              TLocateOptions options) override;
  bool GetFieldData(TField* field, void* buffer) override;
  void SetFieldData(TField* field, const void* buffer) override;

  // --- insertion and posting ---------------------------------------------
  bool CanInsert() const;
  bool CanEdit() const;
  bool CanDelete() const;

  // --- events (all optional) --------------------------------------------------
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent BeforeFetchRecord, AfterFetchRecord;
  TDataSetNotifyEvent DatabaseDisconnecting, DatabaseDisconnected, DatabaseFree;
  TDataSetNotifyEvent TransactionEnding, TransactionEnded, TransactionFree;
  TDataSetNotifyEvent BeforeStartTransaction, AfterStartTransaction;
  TDataSetNotifyEvent BeforeEndTransaction, AfterEndTransaction;
  TDataSetNotifyEvent BeforeStartUpdateTransaction, AfterStartUpdateTransaction;
  TDataSetNotifyEvent BeforeEndUpdateTransaction, AfterEndUpdateTransaction;
  TDataSetNotifyEvent OnEnableControls, OnDisableControls, OnEndScroll;
  TFieldNotify OnFieldChange;
  TOnGetRecordError OnGetRecordError;
  TDataSetErrorEvent OnUpdateError;

 protected:
  // --- the cache as the shared cursor sees it ------------------------------
  int CachedRowCount() const override { return m_fetched; }
  bool FetchRow() override { return FetchRowFromServer(); }
  int64_t RowId(int position) const override { return position; }
  int PositionOfRowId(int64_t id) const override { return id >= 0 && id < m_fetched ? static_cast<int>(id) : -1; }
  void LoadRecord(TRecordBuffer buffer, int position) override;
  int64_t RecordId(TRecordBuffer buffer) const override { return RecNoOf(buffer); }
  void SetRecordId(TRecordBuffer buffer, int64_t id) override { SetRecNoOf(buffer, static_cast<int32_t>(id)); }

  // --- generic hooks -------------------------------------------------------
  void CloseCursor() override;
  void DataEvent(TDataEvent event, intptr_t info) override;
  void DoBeforeOpen() override;
  void DoAfterOpen() override;
  void DoBeforeScroll() override;
  void DoAfterScroll() override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) override;
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) override;
  int GetRecordSize() const override { return m_recordSize; }
  void InternalLast() override;
  void InternalClose() override;
  void InternalInitFieldDefs() override;
  void InternalOpen() override;
  bool IsCursorOpen() const override { return m_cursorOpen; }
  void ClearCalcFields(TRecordBuffer buffer) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Rows fetched, less those marked deleted; 0 while closed.
  int GetRecordCount() const override;
  // The active row's record number, a row being inserted included (an
  // appended one counts after the last fetched row).
  int GetRecNo() const override;
  TField* CreateFieldForDef(const TFieldDef& def, TComponent* owner) override;

  // --- hooks for the field classes and the column metadata ----------------
  // Whether a SMALLINT/INTEGER column (0-based) has a boolean domain; asked
  // when field definitions are built with psUseBooleanField.
  virtual bool ColumnIsBoolean(int column);
  // Step after open: automatic formats and imported defaults.
  virtual void ApplyFieldsInfo() {}
  // The empty-string rule: true when an empty text stored into `field`
  // (a string field with EmptyStrToNull) becomes null.
  virtual bool EmptyStringIsNull(TField* field, const TFIBFieldDescr& column);
  // Explicit length of the text `field` is storing now, or -1 (up to the first NUL).
  virtual int StringStoreLength(const TField* field) const;
  // Whether `field` turns empty texts into null (string fields with EmptyStrToNull).
  virtual bool FieldEmptyStrToNull(const TField* field) const;

  // --- insertion and posting (FIBDataSetPost.cpp) ------------------------
  bool GetCanModify() const override;
  void DoBeforeInsert() override;
  void DoOnNewRecord() override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalInsert() override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalRefresh() override;

  // --- helpers shared by the dataset's files ------------------------------
  bool IsNullColumn(TRecordBuffer buffer, int column) const {
    return buffer[fibrec::kNullFlags + column] != std::byte{0};
  }
  void SetNullColumn(TRecordBuffer buffer, int column, bool isNull) {
    PutNullFlag(RowToWrite(buffer), column, isNull);
  }
  // The null flag of a row put together outside any record buffer (the
  // fetch's scratch row, which holds no cached row to forget).
  static void PutNullFlag(std::byte* row, int column, bool isNull) {
    row[fibrec::kNullFlags + column] = std::byte{isNull ? uint8_t{1} : uint8_t{0}};
  }
  static int32_t RecNoOf(TRecordBuffer buffer);
  // The calculated-field values of a buffer, by field index.
  static std::vector<Variant>& CalcValuesOf(TRecordBuffer buffer);
  static void SetRecNoOf(TRecordBuffer buffer, int32_t recNo);
  static TCachedUpdateStatus UpdateStatusOf(TRecordBuffer buffer) {
    return static_cast<TCachedUpdateStatus>(buffer[fibrec::kUpdateStatus]);
  }
  static void SetUpdateStatusOf(TRecordBuffer buffer, TCachedUpdateStatus s) {
    RowToWrite(buffer)[fibrec::kUpdateStatus] = static_cast<std::byte>(s);
  }
  // Row `position` of the cache into / out of a record buffer (sets the record number).
  void ReadCachedRecord(int position, TRecordBuffer buffer);
  void WriteCachedRecord(int position, TRecordBuffer buffer);
  // A buffer remembers which cached row it was read from, so that reading
  // that row into it again copies nothing while the row is unchanged. Any
  // other write into a buffer's row bytes forgets it first.
  static void ForgetCachedRecord(TRecordBuffer buffer) {
    std::memset(buffer - fibrec::kLoadedStampBefore, 0, sizeof(uint64_t));
  }
  // The one way to write into a buffer's row bytes (those the cache keeps):
  // returns the buffer once it has forgotten its cached row.
  static TRecordBuffer RowToWrite(TRecordBuffer buffer) {
    ForgetCachedRecord(buffer);
    return buffer;
  }
  void InitRecord(TRecordBuffer buffer) override;
  // Converts the current output row of `query` into the cache at `position`:
  // the select's columns by number, another statement's by output name
  // (columns without a match are skipped; undelivered ones keep their value).
  void FetchRowIntoCache(TFIBQuery& query, int position);
  // For each output column of `query`, the select column it fills (by
  // number for the select, by name for another statement; -1: none), worked
  // out once per prepare of `query` and shape of the dataset.
  const std::vector<int>& ColumnTargets(TFIBQuery& query);
  // Fills `query`'s input parameters from the row in `buffer` (OLD_/NEW_
  // prefixes, fields by name, then select columns, then select parameters).
  void SetParamsFromRow(TFIBQuery& query, TRecordBuffer buffer);
  // Completes a missing database or transaction and, with poStartTransaction,
  // starts the read transaction.
  void StartTransactionIfNeeded();
  void SetFetchedCount(int n) noexcept { m_fetched = n; }
  void AdjustModifiedCount(int delta) noexcept { m_modifiedCount += delta; }
  // Rows of the cache marked deleted (not counted by RecordCount).
  void AdjustDeletedCount(int delta) noexcept { m_deletedCount += delta; }
  // Whether a cached row is shown (its update status is in UpdateRecordTypes).
  bool RowVisible(int position) const override;
  // Locate's calculated-field suspension and scroll-event suppression.
  int CalcSuspend() const noexcept { return m_calcSuspend; }
  bool ScrollEventsSuppressed() const noexcept { return m_scrollSuppress > 0; }
  // Text of a string column in `buffer`, trailing blanks cut with poTrimCharFields.
  std::string_view ColumnText(TRecordBuffer buffer, const TFIBFieldDescr& d) const;
  // Content of the blob whose id is at `id`, read in the read transaction.
  std::string ReadBlob(const std::byte* id);
  // Refreshes the window at the current row with notifications suspended
  // (one data-set change when resumed); used at the end of a search.
  void RefreshPosition();

 private:
  void SelectSQLChanging();
  // Takes back the descriptors and the (emptied) cache kept by the last
  // close when nothing they were built from changed since.
  bool RestoreDescriptors();
  // New column descriptors: a new shape (see TDataSet::Shape).
  void BuildDescriptors();
  void ComputeLayout();
  void ApplyFieldOrigins();
  void ResolveOrderInfo();
  void BindTransactionHooks();
  void ReleaseTransactionHooks();
  bool FetchRowFromServer();
  // GetRecord where an error may be turned into grError or handed to OnGetRecordError.
  TGetResult GetRecordHandlingErrors(TRecordBuffer buffer, TGetMode getMode, bool doCheck);
  void ConvertColumn(const XSQLVAR& x, const TFIBFieldDescr& d, std::byte* base, int column);
  void OnReadTransactionEnding(TFIBTransaction* tr);
  // The state and field checks of a store; returns the buffer to write
  // (see RowToWrite).
  TRecordBuffer CheckStore(TField* field, const void* value);
  // Update status, Modified and the field-change notification after a store.
  void FinishStore(TField* field, TRecordBuffer buffer);
  void OnDatabaseDisconnecting();
  // Whether the cached row at `position` holds the prepared keys (Locate's
  // own key records; calcRow holds the row's calculated values when a key
  // field is calculated).
  bool RowMatches(int position, std::span<const TPreparedKey> keys, TLocateOptions options,
                  TRecordBuffer calcRow) const;
  // Makes cached row `position` current (scroll events, re-centred window).
  void MoveToRow(int position);
  // Locate's search through its index (see TLocateIndex): the first shown
  // matching row, -1 when none, -2 when the index does not serve this search
  // (yet). `keys` are Locate's own key records, all compared exactly.
  int IndexedSearch(std::span<const TPreparedKey> keys);

  std::unique_ptr<TFIBBase> m_base;
  std::unique_ptr<TFIBQuery> m_qSelect;
  std::unique_ptr<TFIBQuery> m_qInsert;
  std::unique_ptr<TFIBQuery> m_qUpdate;
  std::unique_ptr<TFIBQuery> m_qDelete;
  std::unique_ptr<TFIBQuery> m_qRefresh;
  TFIBTransaction* m_hookedRead = nullptr;    // not owned; callbacks registered with it
  TFIBTransaction* m_hookedUpdate = nullptr;  // not owned; callbacks registered with it

  bool m_autoCommit = false;
  TFieldOriginRule m_fieldOriginRule = forTableAndFieldName;
  TpFIBDsOptions m_options = kDefaultDsOptions;
  TpPrepareOptions m_prepareOptions = kDefaultPrepareOptions;
  TDetailConditions m_detailConditions = 0;
  TTransactionKind m_refreshTransactionKind = tkReadTransaction;
  TCacheModelOptions m_cacheModelOptions;
  TAutoUpdateOptions m_autoUpdateOptions;
  TFormatFields m_defaultFormats;
  bool m_cachedUpdates = false;
  TUpdateKinds m_allowedUpdateKinds = ukModify | ukInsert | ukDelete;
  TFIBUpdateRecordTypes m_updateRecordTypes =
      UpdateRecordType(cusUnmodified) | UpdateRecordType(cusModified) | UpdateRecordType(cusInserted);
  int m_sqlScreenCursor = 0;
  int m_dataSetId = 0;
  std::string m_description;

  bool m_prepared = false;
  bool m_cursorOpen = false;
  std::vector<TFIBFieldDescr> m_descrs;
  std::unique_ptr<TRecordsCache> m_cache;
  int m_recordSize = 0;
  int m_valuesEnd = 0;     // end of the fixed values (start of the strings)
  int m_fetched = 0;
  int m_modifiedCount = 0;
  int m_deletedCount = 0;
  std::vector<std::byte> m_scratch;  // one record buffer for fetching and refreshing
  int m_calcSuspend = 0;
  int m_scrollSuppress = 0;
  bool m_cursorAtEnd = false;  // the server cursor has no more rows
  // What a close keeps for the next open (see RestoreDescriptors).
  struct TKeptShape {
    int selectPrepares = -1;   // QSelect()->PrepareCount() they were built after
    int fieldDefsBuilds = -1;  // m_fieldDefsBuilds then
    int bufferChunks = 0;
    std::vector<TFIBFieldDescr> descrs;
    std::unique_ptr<TRecordsCache> cache;
  };
  TKeptShape m_kept;
  bool m_shapeKept = false;       // descriptors as at the last open
  int m_fieldDefsBuilds = 0;      // raised by InternalInitFieldDefs
  // Per field, the origin ApplyFieldOrigins gives it (none: left alone).
  std::vector<std::optional<std::string>> m_origins;
  TFieldOriginRule m_originsRule = forNoRule;
  uint64_t m_originsShape = 0;
  uint64_t m_orderShape = 0;      // m_sortFields resolved for this shape
  std::vector<std::string> m_sortFields;  // from the select's ORDER BY (psGetOrderInfo)
  std::string m_orderByText;              // the select text m_orderBy was parsed from
  std::vector<TOrderByItem> m_orderBy;
  // Repeated exact searches on the same key fields (a transfer locates every
  // article in turn) would rescan the cache from the first row each time.
  // Once such searches keep coming, the first shown row of each key met is
  // remembered, so a search looks at each cached row about once overall.
  struct TLocateIndex {
    struct Slot {
      uint64_t hash = 0;
      int row = -1;  // -1: empty
    };
    std::vector<const TField*> fields;  // key fields of the last search
    TFIBUpdateRecordTypes shown = 0;    // UpdateRecordTypes then
    bool trimmed = false;               // poTrimCharFields then
    int searches = 0;                   // with these fields so far (see kIndexAfterSearches)
    int upTo = 0;                       // rows [0, upTo) are taken in
    uint64_t seen = 0;                  // the cache's ChangeStamp() they are as of
    std::vector<Slot> table;            // the first shown row per key hash
    size_t used = 0;
    // The first row taken in with `hash`, -1 when none.
    int Find(uint64_t hash) const;
    // Takes in `row` unless an earlier row has the same hash.
    void Add(uint64_t hash, int row);
    // Room for `rows` rows without growing; Clear empties the table.
    void Reserve(int rows);
    void Clear();
  };
  TLocateIndex m_locateIndex;
  // The key fields of the last search, by the text naming them and the shape.
  struct TLocateFields {
    std::string names;
    uint64_t shape = 0;
    std::vector<TField*> list;
  };
  TLocateFields m_locateFields;
  bool m_wasControlsDisabled = false;

  // ---------------------------------------------------------------------------
  // Declarations added by the field classes / posting side go below this line.
 public:
  // Asked before a new row's DefaultExpression is applied to `Field`;
  // setting Handled leaves the field alone.
  std::function<void(TDataSet* DataSet, TField* Field, bool& Handled)> OnApplyDefaultValue;
  // Asked before a posted row's insert or update statement (or a deleted
  // row's delete statement) runs, the row still current. Setting
  // UpdateAction to uaApplied takes the row as written: the dataset runs no
  // statement, no commit and no refresh of its own and keeps the row in its
  // cache as after a successful post. An exception fails the post (or the
  // delete) as a refused statement would.
  std::function<void(TDataSet* DataSet, TUpdateKind UpdateKind, TUpdateAction& UpdateAction)> OnUpdateRecord;

 protected:
  // New-row defaults: empty-string defaults, GUIDs, linked parameters and
  // each field's DefaultExpression (keywords NOW, TODAY, USER, ...).
  void ApplyNewRecordDefaults();
  // Sends the pending row of `buffer` (cache position `position`) with
  // `query`, then the automatic commit and the refresh after post.
  void SendRow(TFIBQuery& query, TRecordBuffer buffer, int position, bool inserted);
  // Re-reads the row at `position` with RefreshSQL in the read transaction.
  void RefreshRow(TRecordBuffer buffer, int position);
  // Runs a modifying statement with parameters from the row in `buffer`,
  // starting its transaction when needed (poStartTransaction).
  void ExecuteWithRow(TFIBQuery& query, TRecordBuffer buffer);
  // AutoCommit: commits the update transaction after a change; true when it did.
  bool AutoCommitUpdate();

 private:
  // A pending row whose insert ran while a later step of its post (commit,
  // refresh) failed. A retried post of the same row resumes after the
  // insert, so a committed row is never stored twice.
  enum class TInsertStage : uint8_t { None, Inserted, Committed };
  struct TPendingInsert {
    int serial = -1;                          // m_insertSerial of the row
    TInsertStage stage = TInsertStage::None;
    TFIBTransaction* transaction = nullptr;   // not owned; cleared by PendingInsertFreed
    bool watched = false;                     // callbacks registered with `transaction`
  };
  void MarkInserted(TFIBTransaction* transaction);
  // After a failure: hears of the end of the insert's transaction from now on.
  void WatchPendingInsert();
  void ClearPendingInsert();
  bool PendingInsertResumes() const noexcept;
  // Callbacks of the transaction the pending insert ran in.
  static void PendingInsertEnded(TComponent* data, TFIBTransaction* tr, TTransactionAction action,
                                 bool force);
  static void PendingInsertFreed(TComponent* data, TFIBTransaction* tr, TTransactionAction action,
                                 bool force);
  TPendingInsert m_pendingInsert;
  int m_insertSerial = 0;  // raised by every append or insert

  // Where each parameter of a modifying statement takes its value from,
  // worked out once per open and statement text instead of on every post.
  struct TParamSource {
    enum Kind : uint8_t { Skip, Column, SelectParam } kind = Skip;
    bool old = false;   // OLD_ prefix: the row's values before the edit
    int column = -1;    // Column: the select column
    int prefix = 0;     // SelectParam: characters of the name before the select's parameter name
  };
  struct TParamBinding {
    const TFIBQuery* query = nullptr;
    const TFIBXSQLDA* params = nullptr;
    int changeCount = -1;
    uint64_t shape = 0;
    std::vector<TParamSource> sources;
  };
  const std::vector<TParamSource>& ParamSources(TFIBQuery& query, TFIBXSQLDA& params);
  std::vector<TParamBinding> m_paramBindings;
  struct TColumnMap {
    const TFIBQuery* query = nullptr;
    int prepares = -1;
    uint64_t shape = 0;
    std::vector<int> targets;
  };
  std::vector<TColumnMap> m_columnMaps;
};

// Publishes the properties (nothing more in C++).
class TFIBDataSet : public TFIBCustomDataSet {
 public:
  explicit TFIBDataSet(TComponent* AOwner = nullptr) : TFIBCustomDataSet(AOwner) {}
};
