// The Firebird dataset: statements and binding, options, prepare, open and
// close, field definitions from the select's columns, record layout, and the
// reactions to transaction and connection events.
#include "fib/FIBDataSet.h"

#include <algorithm>
#include <cstring>

#include "fib/FIBFields.h"
#include "fib/fib.h"
#include "runtime/Format.h"

namespace {

std::string TrimmedName(const char* text, int length) {
  std::string s(text, static_cast<size_t>(std::max(0, length)));
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

// Transaction callbacks: one function per kind and side, since the callback
// lists pass no kind.
template <TCallBackKind Kind, bool Update>
void TransactionCallBack(TComponent* data, TFIBTransaction*, TTransactionAction, bool) {
  auto* ds = static_cast<TFIBCustomDataSet*>(data);
  const TDataSetNotifyEvent* event = nullptr;
  switch (Kind) {
    case cbBeforeStart: event = Update ? &ds->BeforeStartUpdateTransaction : &ds->BeforeStartTransaction; break;
    case cbAfterStart: event = Update ? &ds->AfterStartUpdateTransaction : &ds->AfterStartTransaction; break;
    case cbBeforeEnd: event = Update ? &ds->BeforeEndUpdateTransaction : &ds->BeforeEndTransaction; break;
    case cbAfterEnd: event = Update ? &ds->AfterEndUpdateTransaction : &ds->AfterEndTransaction; break;
    default: return;
  }
  if (*event) (*event)(ds);
}

template <bool Update>
void RegisterCallBacks(TFIBTransaction* tr, TComponent* data, bool add) {
  if (!tr) return;
  if (add) {
    tr->RegisterCallBack(cbBeforeStart, &TransactionCallBack<cbBeforeStart, Update>, data);
    tr->RegisterCallBack(cbAfterStart, &TransactionCallBack<cbAfterStart, Update>, data);
    tr->RegisterCallBack(cbBeforeEnd, &TransactionCallBack<cbBeforeEnd, Update>, data);
    tr->RegisterCallBack(cbAfterEnd, &TransactionCallBack<cbAfterEnd, Update>, data);
  } else {
    tr->UnRegisterCallBack(cbBeforeStart, &TransactionCallBack<cbBeforeStart, Update>, data);
    tr->UnRegisterCallBack(cbAfterStart, &TransactionCallBack<cbAfterStart, Update>, data);
    tr->UnRegisterCallBack(cbBeforeEnd, &TransactionCallBack<cbBeforeEnd, Update>, data);
    tr->UnRegisterCallBack(cbAfterEnd, &TransactionCallBack<cbAfterEnd, Update>, data);
  }
}

}  // namespace

// --- construction ---------------------------------------------------------------

TFIBCustomDataSet::TFIBCustomDataSet(TComponent* AOwner)
    : TCachedDataSet(AOwner), m_base(std::make_unique<TFIBBase>(this)) {
  auto make = [this](const char* name) {
    auto q = std::make_unique<TFIBQuery>(this);
    q->SetName(name);
    q->SetGoToFirstRecordOnExecute(false);
    q->SetParamCheck(true);
    q->SetOptions(0);
    return q;
  };
  m_qSelect = make("SelectQuery");
  m_qInsert = make("InsertQuery");
  m_qUpdate = make("UpdateQuery");
  m_qDelete = make("DeleteQuery");
  m_qRefresh = make("RefreshQuery");
  // The dataset's check comes first, so an open dataset refuses a new select
  // text with its own message rather than the statement's.
  TStrings::TNotifyEvent statementCheck = m_qSelect->SQL().OnChanging;
  m_qSelect->SQL().OnChanging = [this, statementCheck](TStrings* s) {
    if (Active()) FIBError(feSQLOpen, {" change SelectSQL ", FullComponentName()});
    if (statementCheck) statementCheck(s);
  };
  m_qSelect->OnSQLChanging = [this](TComponent*) { SelectSQLChanging(); };

  m_base->NotifyEnding = [this](TFIBTransaction* tr) { OnReadTransactionEnding(tr); };
  m_base->NotifyEnded = [this](TFIBTransaction*) {
    if (TransactionEnded) TransactionEnded(this);
  };
  m_base->NotifyTransactionFreed = [this](TFIBTransaction*) {
    if (TransactionFree) TransactionFree(this);
  };
  m_base->NotifyDisconnecting = [this](TFIBBase*) { OnDatabaseDisconnecting(); };
  m_base->NotifyDisconnected = [this](TFIBBase*) {
    if (DatabaseDisconnected) DatabaseDisconnected(this);
  };
  m_base->NotifyDatabaseFreed = [this](TFIBBase*) {
    if (DatabaseFree) DatabaseFree(this);
  };
}

TFIBCustomDataSet::~TFIBCustomDataSet() {
  Destroying();
  try {
    SetActive(false);
  } catch (const Exception&) {
    // A destructor cannot report; the statements drop their handles below.
  }
  ReleaseTransactionHooks();
  m_qRefresh.reset();
  m_qDelete.reset();
  m_qUpdate.reset();
  m_qInsert.reset();
  m_qSelect.reset();
  m_base.reset();
}

void TFIBCustomDataSet::SelectSQLChanging() {
  FieldDefs().Clear();
  m_prepared = false;
}

// --- binding ----------------------------------------------------------------------

TFIBDatabase* TFIBCustomDataSet::Database() const { return m_base->Database(); }
TFIBTransaction* TFIBCustomDataSet::Transaction() const { return m_base->Transaction(); }
TFIBTransaction* TFIBCustomDataSet::UpdateTransaction() const { return m_qUpdate->Transaction(); }

void TFIBCustomDataSet::SetDatabase(TFIBDatabase* value) {
  if (value != Database() || value != m_qInsert->Database()) {
    if (Active()) FIBError(feSQLOpen, {" change database ", FullComponentName()});
    m_prepared = false;
    for (TFIBQuery* q : {m_qSelect.get(), m_qInsert.get(), m_qUpdate.get(), m_qDelete.get(), m_qRefresh.get()})
      q->SetDatabase(value);
    m_base->SetDatabase(value);
  }
  if (value && value->DefaultUpdateTransaction() &&
      (!UpdateTransaction() || UpdateTransaction() == Transaction()))
    SetUpdateTransaction(value->DefaultUpdateTransaction());
  BindTransactionHooks();
}

void TFIBCustomDataSet::SetTransaction(TFIBTransaction* value) {
  if (value == Transaction() && value == m_qSelect->Transaction()) return;
  if (Active()) FIBError(feSQLOpen, {" change transaction ", FullComponentName()});
  // No separate update transaction yet: the modifying statements follow.
  const bool shared = m_qInsert->Transaction() == m_qSelect->Transaction() &&
                      m_qUpdate->Transaction() == m_qSelect->Transaction() &&
                      m_qDelete->Transaction() == m_qSelect->Transaction();
  m_qSelect->SetTransaction(value);
  m_base->SetTransaction(value);
  if (shared) {
    for (TFIBQuery* q : {m_qInsert.get(), m_qUpdate.get(), m_qDelete.get(), m_qRefresh.get()})
      q->SetTransaction(value);
  } else if (m_refreshTransactionKind == tkReadTransaction) {
    m_qRefresh->SetTransaction(value);
  }
  BindTransactionHooks();
}

void TFIBCustomDataSet::SetUpdateTransaction(TFIBTransaction* value) {
  for (TFIBQuery* q : {m_qInsert.get(), m_qUpdate.get(), m_qDelete.get()}) q->SetTransaction(value);
  if (m_refreshTransactionKind == tkUpdateTransaction) m_qRefresh->SetTransaction(value);
  BindTransactionHooks();
}

void TFIBCustomDataSet::SetRefreshTransactionKind(TTransactionKind v) {
  m_refreshTransactionKind = v;
  m_qRefresh->SetTransaction(v == tkReadTransaction ? Transaction() : UpdateTransaction());
}

void TFIBCustomDataSet::BindTransactionHooks() {
  // Moves one side's callbacks from the transaction hooked so far to `now`.
  auto rehook = [this](TFIBTransaction*& hooked, TFIBTransaction* now, TFIBTransaction* other, bool update) {
    if (now == hooked) return;
    if (hooked) {
      update ? RegisterCallBacks<true>(hooked, this, false) : RegisterCallBacks<false>(hooked, this, false);
      if (hooked != other) RemoveFreeNotification(hooked);
    }
    hooked = now;
    if (now) {
      update ? RegisterCallBacks<true>(now, this, true) : RegisterCallBacks<false>(now, this, true);
      FreeNotification(now);
    }
  };
  rehook(m_hookedRead, Transaction(), m_hookedUpdate, false);
  rehook(m_hookedUpdate, UpdateTransaction(), m_hookedRead, true);
}

void TFIBCustomDataSet::ReleaseTransactionHooks() {
  if (m_hookedRead) RegisterCallBacks<false>(m_hookedRead, this, false);
  if (m_hookedUpdate) RegisterCallBacks<true>(m_hookedUpdate, this, false);
  m_hookedRead = m_hookedUpdate = nullptr;
}

void TFIBCustomDataSet::Notification(TComponent* AComponent, TOperation Operation) {
  TDataSet::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == m_hookedRead) m_hookedRead = nullptr;
  if (AComponent == m_hookedUpdate) m_hookedUpdate = nullptr;
}

void TFIBCustomDataSet::StartTransactionIfNeeded() {
  TFIBDatabase* db = Database();
  TFIBTransaction* tr = Transaction();
  if (!db && tr && tr->DefaultDatabase()) SetDatabase(tr->DefaultDatabase());
  db = Database();
  if (!Transaction() && db && db->DefaultTransaction()) SetTransaction(db->DefaultTransaction());
  tr = Transaction();
  if (tr && !tr->Active() && HasOption(poStartTransaction)) {
    if (!tr->DefaultDatabase() && db) tr->SetDefaultDatabase(db);
    tr->StartTransaction();
  }
}

void TFIBCustomDataSet::OnReadTransactionEnding(TFIBTransaction* tr) {
  if (TransactionEnding) TransactionEnding(this);
  const auto state = tr->State();
  if ((state != TFIBTransaction::tsDoRollback && state != TFIBTransaction::tsDoCommit) || !Active()) return;
  if (m_cachedUpdates) {
    FetchAll();
    m_qSelect->Close();
    m_cursorAtEnd = true;
  } else {
    Close();
  }
}

void TFIBCustomDataSet::OnDatabaseDisconnecting() {
  if (Active()) {
    if (m_cachedUpdates) {
      FetchAll();
      m_cursorAtEnd = true;
    } else {
      Close();
    }
  }
  m_prepared = false;
  if (DatabaseDisconnecting) DatabaseDisconnecting(this);
}

// --- options ------------------------------------------------------------------------

void TFIBCustomDataSet::SetOptions(TpFIBDsOptions v) {
  m_options = v;
  for (TFIBQuery* q : {m_qSelect.get(), m_qInsert.get(), m_qUpdate.get(), m_qDelete.get()}) {
    TpFIBQueryOptions o = q->Options() & ~(qoStartTransaction | qoNoForceIsNull);
    if (v & poStartTransaction) o |= qoStartTransaction;
    if (v & poNoForceIsNull) o |= qoNoForceIsNull;
    q->SetOptions(o);
  }
}

bool TFIBCustomDataSet::ReadStoredProperty(std::string_view name, const Variant& value) {
  struct Entry {
    const char* name;
    int set;  // 0 Options, 1 PrepareOptions, 2 DetailConditions
    unsigned bit;
  };
  static const Entry kEntries[] = {
      {"oTrimCharFields", 0, poTrimCharFields}, {"oRefreshAfterPost", 0, poRefreshAfterPost},
      {"oRefreshDeletedRecord", 0, poRefreshDeletedRecord}, {"oStartTransaction", 0, poStartTransaction},
      {"oAutoFormatFields", 0, poAutoFormatFields}, {"oProtectedEdit", 0, poProtectedEdit},
      {"oUseSelectForLock", 0, poUseSelectForLock}, {"oKeepSorting", 0, poKeepSorting},
      {"oPersistentSorting", 0, poPersistentSorting}, {"oVisibleRecno", 0, poVisibleRecno},
      {"oNoForceIsNull", 0, poNoForceIsNull}, {"oFetchAll", 0, poFetchAll},
      {"oFreeHandlesAfterClose", 0, poFreeHandlesAfterClose}, {"oCacheCalcFields", 0, poCacheCalcFields},
      {"oRefreshAfterDelete", 0, poRefreshAfterDelete},
      {"poSetRequiredFields", 1, pfSetRequiredFields}, {"poSetReadOnlyFields", 1, pfSetReadOnlyFields},
      {"poImportDefaultValues", 1, pfImportDefaultValues}, {"poUseBooleanField", 1, psUseBooleanField},
      {"poUseGuidField", 1, psUseGuidField}, {"poSQLINT64ToBCD", 1, psSQLINT64ToBCD},
      {"poApplyRepositary", 1, psApplyRepositary}, {"poGetOrderInfo", 1, psGetOrderInfo},
      {"poAskRecordCount", 1, psAskRecordCount}, {"poCanEditComputedFields", 1, psCanEditComputedFields},
      {"poEmptyStrToNull", 1, psSetEmptyStrToNull}, {"poSupportUnicodeBlobs", 1, psSupportUnicodeBlobs},
      {"poUseLargeIntField", 1, psUseLargeIntField},
      {"dcForceOpen", 2, dcForceOpen}, {"dcIgnoreMasterClose", 2, dcIgnoreMasterClose},
      {"dcForceMasterRefresh", 2, dcForceMasterRefresh}, {"WaitEndMasterScroll", 2, dcWaitEndMasterScroll},
  };
  if (name == "BufferChunks") {
    m_cacheModelOptions.BufferChunks = value.AsInteger();
    return true;
  }
  if (name == "ObjectView") return true;
  for (const Entry& e : kEntries) {
    if (name != e.name) continue;
    const bool on = value.AsBoolean();
    auto apply = [on, &e](auto set) {
      using T = decltype(set);
      return on ? static_cast<T>(set | e.bit) : static_cast<T>(set & ~e.bit);
    };
    if (e.set == 0) SetOptions(apply(m_options));
    else if (e.set == 1) m_prepareOptions = apply(m_prepareOptions);
    else m_detailConditions = apply(m_detailConditions);
    return true;
  }
  return false;
}

// --- parameters ---------------------------------------------------------------------

TFIBXSQLVAR* TFIBCustomDataSet::ParamByName(std::string_view name) {
  if (TFIBXSQLVAR* v = m_qSelect->FindParam(name)) return v;
  throw Exception(Format("Parameter \"%s\" does not exist in %s", {std::string(name), FullComponentName()}));
}

TFIBXSQLVAR* TFIBCustomDataSet::FindParam(std::string_view name) {
  if (HasOption(poStartTransaction)) StartTransactionIfNeeded();
  return m_qSelect->FindParam(name);
}

// --- prepare and field definitions --------------------------------------------------

void TFIBCustomDataSet::Prepare() {
  StartTransactionIfNeeded();
  if (m_prepared && m_qSelect->Prepared()) return;
  if (!m_qSelect->HasSQLText()) FIBError(feEmptyQuery, {"Prepare " + FullComponentName()});
  try {
    m_qSelect->Prepare();
  } catch (const EFIBClientError& e) {
    // A column type the layer has no form for: say which dataset asked.
    if (e.SqlCode() != feUnknownSQLDataType) throw;
    FIBErrorText("%s: %s", {FullComponentName(), e.Message()});
  }
  m_prepared = true;
  InternalInitFieldDefs();
}

void TFIBCustomDataSet::UnPrepare() {
  if (Active()) Close();
  m_qSelect->FreeHandle();
  m_prepared = false;
}

void TFIBCustomDataSet::InternalInitFieldDefs() {
  if (!m_qSelect->Prepared()) {
    Prepare();
    return;
  }
  ++m_fieldDefsBuilds;
  TFieldDefs& defs = FieldDefs();
  defs.Clear();
  TFIBDatabase* db = Database();
  TFIBXSQLDA& columns = m_qSelect->Columns();
  for (int i = 0; i < columns.Count(); ++i) {
    const TFIBXSQLVAR& var = *columns[i];
    const XSQLVAR& x = *var.Data();
    const short type = var.SQLType();
    const short scale = x.sqlscale;
    const std::string name = var.Name();
    TField* persistent = DefaultFields() || Fields().Count() == 0 ? nullptr : FindField(name);
    TFieldType ft = ftUnknown;
    int size = 0;
    switch (type) {
      case SQL_VARYING:
      case SQL_TEXT: {
        const int charset = x.sqlsubtype & 0xff;
        const int bytesPerChar = db ? std::max(1, db->BytesInCharSet(charset)) : 1;
        ft = db && db->IsUnicodeConnect() && bytesPerChar > 1 ? ftWideString : ftString;
        size = x.sqllen / bytesPerChar;
        break;
      }
      case SQL_SHORT:
      case SQL_LONG:
        if (scale < 0) ft = ftFloat;
        else if ((HasPrepareOption(psUseBooleanField) && ColumnIsBoolean(i)) ||
                 (persistent && persistent->DataType() == ftBoolean))
          ft = ftBoolean;
        else if (type == SQL_SHORT && (!persistent || persistent->DataType() == ftSmallint))
          ft = ftSmallint;
        else
          ft = ftInteger;
        break;
      case SQL_FLOAT:
      case SQL_DOUBLE:
      case SQL_D_FLOAT:
        ft = ftFloat;
        break;
      case SQL_INT64:
        if (scale == 0) {
          ft = HasPrepareOption(psUseLargeIntField) ? ftLargeint : ftBCD;
        } else if (scale >= -4 || HasPrepareOption(psSQLINT64ToBCD)) {
          ft = ftBCD;
          size = -scale;
        } else {
          ft = ftFloat;
        }
        break;
      case SQL_TIMESTAMP: ft = ftDateTime; break;
      case SQL_TYPE_DATE: ft = ftDate; break;
      case SQL_TYPE_TIME: ft = ftTime; break;
      case SQL_BLOB:
        ft = x.sqlsubtype == 1 ? ftMemo : ftBlob;
        size = 8;
        break;
      default:
        // A type without a stored form here (arrays, the server's BOOLEAN, ...)
        // would leave a column no field can show: refuse the select instead.
        FIBErrorText("Column %s of %s has a type the dataset cannot hold (SQL type %d)",
                     {name, FullComponentName(), static_cast<int>(type)});
    }
    defs.Add(name, ft, size, false);  // numbered i + 1: the list was cleared above
    if (persistent && (ft == ftString || ft == ftWideString || ft == ftBCD) && persistent->Size() != size)
      persistent->SetSize(size);
  }
  defs.SetUpdated(true);
}

bool TFIBCustomDataSet::ColumnIsBoolean(int) { return false; }

TField* TFIBCustomDataSet::CreateFieldForDef(const TFieldDef& def, TComponent* owner) {
  TField* f = nullptr;
  switch (def.DataType()) {
    case ftString: f = new TFIBStringField(owner); break;
    case ftSmallint: f = new TFIBSmallIntField(owner); break;
    case ftInteger: f = new TFIBIntegerField(owner); break;
    case ftBoolean: f = new TFIBBooleanField(owner); break;
    case ftFloat: f = new TFIBFloatField(owner); break;
    case ftBCD: f = new TFIBBCDField(owner); break;
    case ftDate: f = new TFIBDateField(owner); break;
    case ftTime: f = new TFIBTimeField(owner); break;
    case ftDateTime: f = new TFIBDateTimeField(owner); break;
    case ftBytes: f = new TFIBArrayField(owner); break;
    case ftBlob: f = new TFIBBlobField(owner); break;
    case ftMemo: f = new TFIBMemoField(owner); break;
    case ftWideString: f = new TFIBWideStringField(owner); break;
    case ftLargeint: f = new TFIBLargeIntField(owner); break;
    case ftGuid: f = new TFIBGuidField(owner); break;
    default: return TDataSet::CreateFieldForDef(def, owner);
  }
  f->SetFieldName(def.Name());
  if (def.DataType() == ftString || def.DataType() == ftWideString || def.DataType() == ftBCD ||
      def.DataType() == ftGuid || def.DataType() == ftBytes)
    f->SetSize(def.Size());
  return f;
}

// --- descriptors and layout ------------------------------------------------------------

bool TFIBCustomDataSet::RestoreDescriptors() {
  if (!m_kept.cache || m_kept.selectPrepares != m_qSelect->PrepareCount() ||
      m_kept.fieldDefsBuilds != m_fieldDefsBuilds || m_kept.bufferChunks != m_cacheModelOptions.BufferChunks ||
      m_kept.descrs.size() != static_cast<size_t>(m_qSelect->Columns().Count()))
    return false;
  m_descrs = std::move(m_kept.descrs);
  m_kept.descrs.clear();
  m_cache = std::move(m_kept.cache);
  m_cache->Reset();
  return true;
}

void TFIBCustomDataSet::BuildDescriptors() {
  ShapeChanged();
  m_kept.selectPrepares = m_qSelect->PrepareCount();
  m_kept.fieldDefsBuilds = m_fieldDefsBuilds;
  m_kept.bufferChunks = m_cacheModelOptions.BufferChunks;
  m_kept.descrs.clear();
  m_kept.cache.reset();
  m_descrs.clear();
  TFIBXSQLDA& columns = m_qSelect->Columns();
  m_descrs.reserve(static_cast<size_t>(columns.Count()));
  for (int i = 0; i < columns.Count(); ++i) {
    const TFIBXSQLVAR& var = *columns[i];
    const XSQLVAR& x = *var.Data();
    TFIBFieldDescr d;
    d.Name = var.Name();
    d.RelName = TrimmedName(x.relname, x.relname_length);
    d.SQLName = TrimmedName(x.sqlname, x.sqlname_length);
    d.SQLType = var.SQLType();
    d.Scale = x.sqlscale;
    d.SubType = x.sqlsubtype;
    d.Nullable = (x.sqltype & 1) != 0;
    d.IsDBKey = d.SQLName == "DB_KEY" || d.SQLName == "RDB$DB_KEY" || d.Name == "DB_KEY";
    switch (d.SQLType) {
      case SQL_VARYING:
      case SQL_TEXT:
        d.Size = x.sqllen;
        d.CharSet = x.sqlsubtype & 0xff;
        if (const TFieldDef* def = FieldDefs().Find(d.Name); def && def->DataType() == ftWideString)
          d.Kind = fdkWideString;
        d.OutOfLine = d.Size > 12;
        break;
      case SQL_DOUBLE: case SQL_D_FLOAT: d.Size = 8; break;
      case SQL_FLOAT: d.Size = 4; break;
      case SQL_LONG: d.Size = 4; break;
      case SQL_SHORT: d.Size = 2; break;
      case SQL_INT64: d.Size = 8; break;
      case SQL_TIMESTAMP: d.Size = 8; break;
      case SQL_TYPE_DATE: case SQL_TYPE_TIME: d.Size = 4; break;
      case SQL_BLOB: case SQL_ARRAY: d.Size = 8; break;
      default: d.Size = x.sqllen; break;
    }
    m_descrs.push_back(std::move(d));
  }
  ComputeLayout();
}

void TFIBCustomDataSet::ComputeLayout() {
  const int n = static_cast<int>(m_descrs.size());
  int offset = fibrec::kNullFlags + n;
  for (TFIBFieldDescr& d : m_descrs) {
    if (d.OutOfLine) continue;
    d.Offset = offset;
    const bool inlineString = d.SQLType == SQL_VARYING || d.SQLType == SQL_TEXT;
    offset += d.Size + (inlineString ? 1 : 0);
  }
  m_valuesEnd = offset;
  std::vector<TCacheStringColumn> strings;
  for (TFIBFieldDescr& d : m_descrs) {
    if (!d.OutOfLine) continue;
    d.Offset = offset;
    d.StringSlot = static_cast<int>(strings.size());
    strings.push_back({offset - fibrec::kCachedFrom, d.Size});
    offset += 4 + d.Size;
  }
  m_recordSize = offset;
  m_cache = std::make_unique<TRecordsCache>(m_valuesEnd - fibrec::kCachedFrom, std::move(strings),
                                            m_cacheModelOptions.BufferChunks);
  m_scratch.assign(static_cast<size_t>(m_recordSize), std::byte{0});
}

// --- open and close ---------------------------------------------------------------------

void TFIBCustomDataSet::DoBeforeOpen() {
  StartTransactionIfNeeded();
  TDataSet::DoBeforeOpen();
}

void TFIBCustomDataSet::InternalOpen() {
  // Only an open that succeeds leaves its shape for the next one.
  const bool kept = std::exchange(m_shapeKept, false);
  if (!m_prepared || !m_qSelect->Prepared()) Prepare();
  if (FieldDefs().Count() == 0 || !FieldDefs().Updated()) InternalInitFieldDefs();
  const TFIBSQLTypes type = m_qSelect->SQLType();
  if (type != SQLSelect && type != SQLSelectForUpdate) {
    // Not a result set: run it, and stay closed.
    m_qSelect->ExecQuery();
    Abort();
  }
  // Marked open first, so that a failure below is cleaned up by the close
  // (default fields destroyed, statement closed).
  m_cursorOpen = true;
  if (DefaultFields()) CreateFields();
  BindFields(true);
  ResetCursor();
  m_fetched = 0;
  m_modifiedCount = 0;
  m_deletedCount = 0;
  m_cursorAtEnd = false;
  const bool restored = kept && RestoreDescriptors();
  if (!restored) BuildDescriptors();
  m_qSelect->ExecQuery();
  if (HasPrepareOption(psGetOrderInfo) && m_orderShape != Shape()) ResolveOrderInfo();
  ApplyFieldsInfo();
  if (HasOption(poFetchAll)) FetchAll();
  m_shapeKept = true;
}

void TFIBCustomDataSet::ResolveOrderInfo() {
  m_orderShape = Shape();
  m_sortFields.clear();
  // A detail dataset reopens with the same text for every master row.
  std::string text = SelectSQL().Text();
  if (text != m_orderByText) {
    m_orderBy = ParseOrderBy(text);
    m_orderByText = std::move(text);
  }
  for (const TOrderByItem& item : m_orderBy) {
    std::string name = item.name;
    // "t.col" names its column after the point; a number names a column by position.
    if (size_t dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
    if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      const int no = std::atoi(name.c_str());
      if (no >= 1 && no <= ColumnCount()) name = m_descrs[static_cast<size_t>(no - 1)].Name;
    }
    if (FindField(name)) m_sortFields.push_back(name);
  }
}

void TFIBCustomDataSet::DoAfterOpen() {
  ApplyFieldOrigins();
  TDataSet::DoAfterOpen();
}

void TFIBCustomDataSet::ApplyFieldOrigins() {
  if (m_fieldOriginRule == forNoRule) return;
  const TFields& fields = Fields();
  // The origins follow from the columns and the fields alone: worked out
  // once per shape, then only given back to fields whose origin was changed.
  if (m_originsShape != Shape() || m_originsRule != m_fieldOriginRule) {
    m_origins.assign(static_cast<size_t>(fields.Count()), std::nullopt);
    for (int i = 0; i < fields.Count(); ++i) {
      const TField* f = fields[i];
      const TFIBFieldDescr* d = ColumnOf(f);
      if (!d || f->FieldKind() != fkData) continue;
      std::string first;
      switch (m_fieldOriginRule) {
        case forTableAndFieldName: first = d->RelName; break;
        case forTableAliasAndFieldName: first = m_qSelect->ColumnTableAlias(f->FieldNo()); break;
        case forClientFieldName: m_origins[static_cast<size_t>(i)] = f->FieldName(); continue;
        case forNoRule: continue;
      }
      m_origins[static_cast<size_t>(i)] = first.empty() ? d->SQLName : first + "." + d->SQLName;
    }
    m_originsShape = Shape();
    m_originsRule = m_fieldOriginRule;
  }
  for (int i = 0; i < fields.Count(); ++i) {
    const std::optional<std::string>& origin = m_origins[static_cast<size_t>(i)];
    if (origin && fields[i]->Origin() != *origin) fields[i]->SetOrigin(*origin);
  }
}

void TFIBCustomDataSet::CloseCursor() { TDataSet::CloseCursor(); }

void TFIBCustomDataSet::InternalClose() {
  m_cursorOpen = false;
  // A cursor of a lost connection cannot be closed on the server; the
  // dataset closes all the same so that it can be opened again later.
  try {
    m_qSelect->Close();
  } catch (const Exception&) {
  }
  ResetCursor();
  m_fetched = 0;
  m_modifiedCount = 0;
  m_deletedCount = 0;
  m_cursorAtEnd = false;
  // Kept for the next open, which takes them back if the statement and the
  // fields stay the same (see RestoreDescriptors); the rows go now.
  m_kept.descrs = std::move(m_descrs);
  m_descrs.clear();
  m_kept.cache = std::move(m_cache);
  if (m_kept.cache) m_kept.cache->Reset();
  m_locateIndex = TLocateIndex{};
  BindFields(false);
  if (DefaultFields()) DestroyFields();
}

TField* TFIBCustomDataSet::FindFieldUnquoted(std::string_view name) const {
  TField* f = FindField(name);
  if (!f && name.size() >= 2 && name.front() == '"' && name.back() == '"')
    f = FindField(name.substr(1, name.size() - 2));
  return f;
}

// --- notifications --------------------------------------------------------------------------

void TFIBCustomDataSet::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deFieldChange && OnFieldChange) OnFieldChange(reinterpret_cast<TField*>(info));
  TDataSet::DataEvent(event, info);
  const bool disabled = ControlsDisabled();
  if (disabled == m_wasControlsDisabled) return;
  m_wasControlsDisabled = disabled;
  if (disabled && OnDisableControls) OnDisableControls(this);
  if (!disabled && OnEnableControls) OnEnableControls(this);
}

void TFIBCustomDataSet::DoBeforeScroll() {
  if (m_scrollSuppress == 0) TDataSet::DoBeforeScroll();
}

void TFIBCustomDataSet::DoAfterScroll() {
  if (m_scrollSuppress == 0) TDataSet::DoAfterScroll();
}
