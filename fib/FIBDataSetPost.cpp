// Insertion and posting of the Firebird dataset: append with new-row
// defaults, post through the insert (or update) statement in the update
// transaction, automatic commit, refresh after post, cancel and delete.
#include <cmath>
#include <cstring>
#include <random>

#include "fib/FIBDataSet.h"
#include "fib/FIBFields.h"
#include "fib/LikelyCast.h"
#include "fib/fib.h"
#include "fib/pFIBDatabase.h"
#include "runtime/CodePage.h"
#include "runtime/DateText.h"
#include "runtime/Scaled.h"
#include "runtime/StrUtils.h"

namespace {

// The default expression as the keywords are compared: trimmed, upper case,
// one pair of matching outer quotes removed.
std::string DefaultKeyword(const std::string& expression) {
  std::string t = UpperCaseAscii(Trim(expression));
  if (t.size() >= 2 && t.front() == t.back() && (t.front() == '\'' || t.front() == '"'))
    t = Trim(std::string_view(t).substr(1, t.size() - 2));
  return t;
}

std::string NewGuidText() {
  static std::mt19937_64 engine{std::random_device{}()};
  uint64_t hi = engine(), lo = engine();
  hi = (hi & ~0xF000ull) | 0x4000ull;  // version 4
  lo = (lo & ~(3ull << 62)) | (2ull << 62);
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(hi >> 32),
                static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFFF),
                static_cast<unsigned>(lo >> 48), static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFull));
  return text;
}

template <class T>
T Read(const std::byte* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

// --- what the dataset may do ---------------------------------------------------------------

// The modifying statements answer from what they keep about their text: these
// are asked for every field written and several times for every posted row.
bool TFIBCustomDataSet::CanInsert() const { return (m_allowedUpdateKinds & ukInsert) && m_qInsert->HasSQLText(); }

bool TFIBCustomDataSet::CanEdit() const { return (m_allowedUpdateKinds & ukModify) && m_qUpdate->HasSQLText(); }

bool TFIBCustomDataSet::CanDelete() const { return (m_allowedUpdateKinds & ukDelete) && m_qDelete->HasSQLText(); }

bool TFIBCustomDataSet::GetCanModify() const { return CanInsert() || CanEdit() || CanDelete(); }

// --- append ------------------------------------------------------------------------------

void TFIBCustomDataSet::DoBeforeInsert() {
  // Inserting is impossible: end the append silently, nothing changed yet.
  if (!CanInsert()) Abort();
  TDataSet::DoBeforeInsert();
}

void TFIBCustomDataSet::InternalInitRecord(TRecordBuffer buffer) {
  std::byte* row = RowToWrite(buffer);
  std::memset(row + fibrec::kCachedFrom, 0, static_cast<size_t>(m_recordSize - fibrec::kCachedFrom));
  for (int i = 0; i < ColumnCount(); ++i) PutNullFlag(row, i, true);
}

void TFIBCustomDataSet::InternalInsert() {
  // A new pending row: whatever an earlier row's post left behind is not its.
  ++m_insertSerial;
  ClearPendingInsert();
}

void TFIBCustomDataSet::DoOnNewRecord() {
  ApplyNewRecordDefaults();
  TDataSet::DoOnNewRecord();
}

void TFIBCustomDataSet::ApplyNewRecordDefaults() {
  TFIBDatabase* db = Database();
  // ParamsToFieldsLinks: "FIELD=PARAM" pairs separated by ";" or line breaks.
  std::vector<std::pair<std::string, std::string>> links;
  if (!m_autoUpdateOptions.ParamsToFieldsLinks.empty()) {  // nearly always empty: no copy and scan per row
    std::string text = m_autoUpdateOptions.ParamsToFieldsLinks;
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ';';
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(';', start);
      if (end == std::string::npos) end = text.size();
      std::string pair = text.substr(start, end - start);
      if (size_t eq = pair.find('='); eq != std::string::npos)
        links.emplace_back(UpperCaseAscii(Trim(pair.substr(0, eq))), Trim(pair.substr(eq + 1)));
      start = end + 1;
    }
  }

  for (TField* field : Fields()) {
    if (field->FieldKind() != fkData) continue;
    // Only text fields can be string or GUID fields: the type check spares
    // the casts for the others on every new row.
    const TFieldType dataType = field->DataType();
    const bool text = dataType == ftString || dataType == ftFixedChar || dataType == ftGuid || dataType == ftWideString;
    auto* str = text ? LikelyCast<TFIBStringField, TFIBStringField>(field) : nullptr;
    if (str && str->DefaultValueEmptyString()) {
      field->SetAsString(std::string());
      continue;
    }
    // A string field of ours is never a GUID field: one cast per text field is enough.
    if (text && !str && dynamic_cast<TGuidField*>(field)) {
      field->SetAsString(NewGuidText());
      continue;
    }
    if (!links.empty()) {
      const std::string upperName = UpperCaseAscii(field->FieldName());
      auto link = std::find_if(links.begin(), links.end(), [&](const auto& l) { return l.first == upperName; });
      if (link != links.end()) {
        if (TFIBXSQLVAR* p = m_qSelect->FindParam(link->second)) field->SetAsVariant(p->AsVariant());
        continue;
      }
    }

    const std::string& raw = field->DefaultExpression();
    if (raw.empty()) continue;
    const std::string key = DefaultKeyword(raw);
    if (key.empty()) continue;
    bool handled = false;
    if (OnApplyDefaultValue) OnApplyDefaultValue(this, field, handled);
    if (handled || key == "NULL") continue;

    switch (field->DataType()) {
      case ftDate: case ftTime: case ftDateTime: case ftTimeStamp: {
        // The server's clock: local time less the difference the connection measured.
        auto* pdb = dynamic_cast<TpFIBDatabase*>(db);
        const TDateTime now = Now() - (pdb ? pdb->ClockOffset() : 0.0);
        const TDateTime today = std::floor(now);
        if (key == "NOW" || key == "CURRENT_TIME" || key == "CURRENT_TIMESTAMP") field->SetAsDateTime(now);
        else if (key == "TODAY" || key == "CURRENT_DATE") field->SetAsDateTime(today);
        else if (key == "TOMORROW") field->SetAsDateTime(today + 1);
        else if (key == "YESTERDAY") field->SetAsDateTime(today - 1);
        else field->SetAsString(raw);
        continue;
      }
      default:
        break;
    }
    if (str) {
      if (key == "USER" || key == "CURRENT_USER")
        field->SetAsString(db ? TConnectParams::ReadParam(db->DBParams(), "user_name") : std::string());
      else if (key == "ROLE" || key == "CURRENT_ROLE")
        field->SetAsString(db ? TConnectParams::ReadParam(db->DBParams(), "sql_role_name") : std::string());
      else if (!raw.empty() && raw.front() == '\'')
        field->SetAsString(raw.size() >= 2 ? raw.substr(1, raw.size() - 2) : std::string());
      else
        field->SetAsString(raw);
      continue;
    }
    field->SetAsString(raw);
  }
}

// --- post ----------------------------------------------------------------------------------

void TFIBCustomDataSet::InternalEdit() {}

void TFIBCustomDataSet::InternalPost() {
  // A BeforePost handler may have closed the dataset.
  if (!Active()) FIBError(feSQLClosed, {"continue after BeforePost", FullComponentName()});
  const TDataSetState state = State();
  if (state == dsInsert) {
    if (!CanInsert()) FIBError(feCannotInsert, {FullComponentName()});
  } else if (state == dsEdit) {
    if (!CanEdit()) FIBError(feCannotUpdate, {FullComponentName()});
  } else {
    FIBError(feNotInEditMode, {FullComponentName()});
  }
  TDataSet::InternalPost();  // required fields
  TRecordBuffer buffer = ActiveBuffer();

  if (state == dsEdit) {
    const int position = RecNoOf(buffer);
    SendRow(*m_qUpdate, buffer, position, false);
    SetCursorPosition(position);
    return;
  }

  // An appended row goes after the last fetched row; an inserted one keeps
  // the position it was started at.
  const int recNo = RecNoOf(buffer);
  const int position =
      GetBookmarkFlag(buffer) != bfEOF && recNo >= 0 && recNo <= m_fetched ? recNo : m_fetched;
  const int previous = CursorPosition();
  SetCursorPosition(position);
  SetRecNoOf(buffer, position);
  m_cache->Insert(position);
  try {
    SendRow(*m_qInsert, buffer, position, true);
  } catch (...) {
    m_cache->Remove(position);
    SetCursorPosition(previous);
    throw;
  }
  ++m_fetched;
}

void TFIBCustomDataSet::SendRow(TFIBQuery& query, TRecordBuffer buffer, int position, bool inserted) {
  if (!Active()) FIBError(feSQLClosed, {" continue post ", FullComponentName()});
  const bool resumed = inserted && PendingInsertResumes();
  TUpdateAction action = uaDefault;
  try {
    if (!resumed && OnUpdateRecord) OnUpdateRecord(this, inserted ? ukInsert : ukModify, action);
    if (action != uaApplied && !resumed && query.HasSQLText() && !query.IsNoActionText()) {
      ExecuteWithRow(query, buffer);
      if (inserted) MarkInserted(query.Transaction());
      const TFIBSQLTypes type = query.SQLType();
      if (type == SQLSelect || type == SQLSelectForUpdate || type == SQLExecProcedure) {
        // The statement answers with the stored row (server-side defaults, keys).
        WriteCachedRecord(position, buffer);
        if (type != SQLExecProcedure) {
          if (query.FetchNext()) FetchRowIntoCache(query, position);
          query.Close();
        } else {
          FetchRowIntoCache(query, position);
        }
        ReadCachedRecord(position, buffer);
      }
    }

    if (UpdateStatusOf(buffer) != cusUnmodified) AdjustModifiedCount(-1);
    SetUpdateStatusOf(buffer, cusUnmodified);
    SetModified(false);
    WriteCachedRecord(position, buffer);
    if (action == uaApplied) {
      if (inserted) ClearPendingInsert();
      return;
    }

    if (AutoCommitUpdate() && m_pendingInsert.stage == TInsertStage::Inserted)
      m_pendingInsert.stage = TInsertStage::Committed;

    if (m_qRefresh->HasSQLText() && HasOption(poRefreshAfterPost) &&
        m_cacheModelOptions.CacheModelKind == cmkStandard)
      RefreshRow(buffer, position);
  } catch (...) {
    // The row stays pending; from now on the end of the transaction its
    // insert ran in decides whether a retry has to insert it again.
    if (inserted) WatchPendingInsert();
    throw;
  }
  if (inserted) ClearPendingInsert();
}

void TFIBCustomDataSet::ExecuteWithRow(TFIBQuery& query, TRecordBuffer buffer) {
  TFIBTransaction* tr = query.Transaction();
  bool started = false;
  if (tr && !tr->Active() && HasOption(poStartTransaction)) {
    tr->StartTransaction();
    started = tr != Transaction();
  }
  try {
    SetParamsFromRow(query, buffer);
    if (query.Open()) query.Close();
    if (!query.Prepared()) query.Prepare();
    query.ExecQuery();
  } catch (...) {
    // The refused statement changed nothing: a transaction started only for
    // it is not left open behind the error.
    if (started && tr->Active()) {
      try {
        tr->Rollback();
      } catch (const Exception&) {
        // The statement's error is the one to report.
      }
    }
    throw;
  }
}

bool TFIBCustomDataSet::AutoCommitUpdate() {
  TFIBTransaction* tr = UpdateTransaction();
  if (m_cachedUpdates || !m_autoCommit || !tr || !tr->Active()) return false;
  // A hard commit would close the datasets reading in the same transaction.
  if (tr == Transaction() || tr->TimeoutAction() == TACommitRetaining)
    tr->CommitRetaining();
  else
    tr->Commit();
  return true;
}

void TFIBCustomDataSet::RefreshRow(TRecordBuffer buffer, int position) {
  if (BeforeRefresh) BeforeRefresh(this);
  TFIBQuery& q = *m_qRefresh;
  TFIBTransaction* tr = q.Transaction();
  auto startTr = [&] {
    if (tr && !tr->Active() && HasOption(poStartTransaction)) tr->StartTransaction();
  };
  struct Closer {
    TFIBQuery& q;
    ~Closer() {
      try {
        if (q.Open()) q.Close();
      } catch (const Exception&) {
        // The refresh's own error (if any) is the one the caller hears about.
      }
    }
  } closer{q};
  if (!q.Prepared()) {
    startTr();
    q.Prepare();
  }
  if (!q.Open()) {
    SetParamsFromRow(q, buffer);
    startTr();
    q.ExecQuery();
  }
  if (q.FetchNext()) {
    FetchRowIntoCache(q, position);
    ReadCachedRecord(position, buffer);
  }
  q.Close();
  if (AfterRefresh) AfterRefresh(this);
}

// --- a pending insert that ran -------------------------------------------------------------

bool TFIBCustomDataSet::PendingInsertResumes() const noexcept {
  return m_pendingInsert.serial == m_insertSerial && m_pendingInsert.stage != TInsertStage::None;
}

void TFIBCustomDataSet::MarkInserted(TFIBTransaction* transaction) {
  ClearPendingInsert();
  m_pendingInsert.serial = m_insertSerial;
  // Without a transaction to watch the row counts as stored for good.
  m_pendingInsert.stage = transaction ? TInsertStage::Inserted : TInsertStage::Committed;
  m_pendingInsert.transaction = transaction;
}

void TFIBCustomDataSet::WatchPendingInsert() {
  TFIBTransaction* tr = m_pendingInsert.transaction;
  if (m_pendingInsert.stage != TInsertStage::Inserted || !tr || m_pendingInsert.watched) return;
  tr->RegisterCallBack(cbAfterEnd, &PendingInsertEnded, this);
  tr->RegisterCallBack(cbDestroyed, &PendingInsertFreed, this);
  m_pendingInsert.watched = true;
  // Ended already (a failed commit may leave it so): nothing to wait for.
  if (!tr->Active()) m_pendingInsert.stage = TInsertStage::None;
}

void TFIBCustomDataSet::ClearPendingInsert() {
  if (TFIBTransaction* tr = m_pendingInsert.transaction; tr && m_pendingInsert.watched) {
    tr->UnRegisterCallBack(cbAfterEnd, &PendingInsertEnded, this);
    tr->UnRegisterCallBack(cbDestroyed, &PendingInsertFreed, this);
  }
  m_pendingInsert = TPendingInsert{};
}

void TFIBCustomDataSet::PendingInsertEnded(TComponent* data, TFIBTransaction* tr, TTransactionAction action,
                                           bool) {
  auto* ds = static_cast<TFIBCustomDataSet*>(data);
  TPendingInsert& p = ds->m_pendingInsert;
  if (p.transaction != tr || p.stage != TInsertStage::Inserted) return;
  // A commit (also retaining) made the row permanent; a rollback undid the
  // insert, so a retried post has to insert again.
  p.stage = action == TACommit || action == TACommitRetaining ? TInsertStage::Committed : TInsertStage::None;
}

void TFIBCustomDataSet::PendingInsertFreed(TComponent* data, TFIBTransaction* tr, TTransactionAction, bool) {
  auto* ds = static_cast<TFIBCustomDataSet*>(data);
  if (ds->m_pendingInsert.transaction == tr) {
    ds->m_pendingInsert.transaction = nullptr;
    ds->m_pendingInsert.watched = false;
  }
}

// --- parameters from a row -----------------------------------------------------------------

void TFIBCustomDataSet::SetParamsFromRow(TFIBQuery& query, TRecordBuffer buffer) {
  TFIBXSQLDA& params = query.Params();
  if (params.Count() == 0) return;
  // Old values: the buffer itself for an inserted row, the cached row for an edited one.
  std::vector<std::byte> cachedRow;
  TRecordBuffer oldValues = buffer;
  const int recNo = RecNoOf(buffer);
  if (State() == dsEdit && recNo >= 0 && recNo < m_cache->Count()) {
    cachedRow.assign(static_cast<size_t>(m_recordSize), std::byte{0});
    m_cache->Read(recNo, cachedRow.data() + fibrec::kCachedFrom);
    oldValues = cachedRow.data();
  }

  const std::vector<TParamSource>& sources = ParamSources(query, params);
  for (int i = 0; i < params.Count(); ++i) {
    TFIBXSQLVAR* p = params[i];
    const TParamSource& source = sources[static_cast<size_t>(i)];
    if (source.kind == TParamSource::Skip) continue;
    if (source.kind == TParamSource::SelectParam) {
      // The select's parameters may have been replaced since: looked up by name each time.
      const std::string_view name = std::string_view(p->Name()).substr(static_cast<size_t>(source.prefix));
      if (TFIBXSQLVAR* sp = m_qSelect->Params().ByName(name)) p->SetAsVariant(sp->AsVariant());
      continue;
    }
    const int column = source.column;
    TRecordBuffer row = source.old ? oldValues : buffer;

    const TFIBFieldDescr& d = m_descrs[static_cast<size_t>(column)];
    if (IsNullColumn(row, column)) {
      p->SetIsNull(true);
      continue;
    }
    const std::byte* v = row + d.Offset;
    switch (d.SQLType) {
      case SQL_VARYING: case SQL_TEXT: {
        const char* text = reinterpret_cast<const char*>(d.OutOfLine ? v + 4 : v);
        size_t length = d.OutOfLine ? static_cast<size_t>(std::max(0, Read<int32_t>(v)))
                                    : strnlen(text, static_cast<size_t>(d.Size));
        p->SetAsString(std::string_view(text, std::min(length, static_cast<size_t>(d.Size))));
        break;
      }
      case SQL_FLOAT: p->SetAsDouble(Read<float>(v)); break;
      case SQL_DOUBLE: case SQL_D_FLOAT: p->SetAsDouble(Read<double>(v)); break;
      case SQL_LONG: case SQL_SHORT: {
        const int32_t iv = d.SQLType == SQL_LONG ? Read<int32_t>(v) : Read<int16_t>(v);
        if (d.Scale == 0) p->SetAsInteger(iv);
        else p->SetAsDouble(ScaledToDouble(iv, d.Scale));
        break;
      }
      case SQL_INT64:
        if (d.Scale < -4 && !HasPrepareOption(psSQLINT64ToBCD)) p->SetAsDouble(Read<double>(v));
        else if (d.Scale == 0) p->SetAsInt64(Read<int64_t>(v));
        else p->SetAsBCD(TFIBBcd{Read<int64_t>(v), -d.Scale});
        break;
      case SQL_TIMESTAMP: p->SetAsDateTime(NativeToDateTime(ftDateTime, v)); break;
      case SQL_TYPE_DATE: p->SetAsDate(NativeToDateTime(ftDate, v)); break;
      case SQL_TYPE_TIME: p->SetAsTime(NativeToDateTime(ftTime, v)); break;
      case SQL_BLOB: case SQL_ARRAY: p->SetAsQuad(Read<ISC_QUAD>(v)); break;
      default: break;
    }
  }
}

const std::vector<TFIBCustomDataSet::TParamSource>& TFIBCustomDataSet::ParamSources(TFIBQuery& query,
                                                                                   TFIBXSQLDA& params) {
  auto binding = std::find_if(m_paramBindings.begin(), m_paramBindings.end(),
                              [&](const TParamBinding& b) { return b.query == &query; });
  if (binding == m_paramBindings.end())
    binding = m_paramBindings.insert(m_paramBindings.end(), TParamBinding{&query, nullptr, -1, 0, {}});
  if (binding->params == &params && binding->changeCount == query.ChangeCount() && binding->shape == Shape() &&
      binding->sources.size() == static_cast<size_t>(params.Count()))
    return binding->sources;

  binding->params = &params;
  binding->changeCount = query.ChangeCount();
  binding->shape = Shape();
  binding->sources.assign(static_cast<size_t>(params.Count()), TParamSource{});
  for (int i = 0; i < params.Count(); ++i) {
    TParamSource& source = binding->sources[static_cast<size_t>(i)];
    std::string_view name = params[i]->Name();
    if (name.size() > 4 && StartsWithTextAscii(name, "OLD_")) {
      name.remove_prefix(4);
      source.old = true;
    } else if (name.size() > 4 && StartsWithTextAscii(name, "NEW_")) {
      name.remove_prefix(4);
    } else if (name.size() > 4 && StartsWithTextAscii(name, "MAS_")) {
      continue;  // master values: this dataset has no master link
    }

    int column = -1;
    if (TField* f = FindFieldUnquoted(name); f && f->FieldKind() == fkData && f->FieldNo() > 0)
      column = f->FieldNo() - 1;
    if (column < 0) column = m_qSelect->Columns().IndexOfName(name);
    if (column >= 0 && column < ColumnCount()) {
      source.kind = TParamSource::Column;
      source.column = column;
    } else if (&query != m_qSelect.get()) {
      // Not a column: a select parameter of that name lends its value.
      source.kind = TParamSource::SelectParam;
      source.prefix = static_cast<int>(params[i]->Name().size() - name.size());
    }
  }
  return binding->sources;
}

// --- cancel, delete, refresh ----------------------------------------------------------------

void TFIBCustomDataSet::InternalCancel() {
  if (!Active()) FIBError(feSQLClosed, {"continue after BeforeCancel", FullComponentName()});
  TRecordBuffer buffer = ActiveBuffer();
  if (State() == dsInsert) {
    ClearPendingInsert();
    // An appended row was numbered after the last cached row: step back onto that.
    if (buffer && GetBookmarkFlag(buffer) == bfEOF) SetCursorPosition(std::max(-1, RecNoOf(buffer) - 1));
    else if (buffer) SetCursorPosition(std::min(RecNoOf(buffer), m_fetched - 1));
  } else if (buffer) {
    SetCursorPosition(RecNoOf(buffer));
  }
}

void TFIBCustomDataSet::InternalDelete() {
  if (!CanDelete()) FIBError(feCannotDelete, {FullComponentName()});
  TRecordBuffer buffer = ActiveBuffer();
  const int position = RecNoOf(buffer);
  TUpdateAction action = uaDefault;
  if (OnUpdateRecord) OnUpdateRecord(this, ukDelete, action);
  if (action != uaApplied && !m_qDelete->IsNoActionText()) {
    ExecuteWithRow(*m_qDelete, buffer);
  }
  // The row stays in the cache, marked deleted, and is no longer shown.
  SetUpdateStatusOf(buffer, cusDeleted);
  WriteCachedRecord(position, buffer);
  AdjustDeletedCount(1);
  if (action != uaApplied) AutoCommitUpdate();
  // The cursor leaves the deleted row: onto the next shown row, else the previous one.
  int p = position + 1;
  for (;;) {
    if (p < m_fetched) {
      if (RowVisible(p)) break;
      ++p;
    } else if (!FetchRowFromServer()) {
      break;
    }
  }
  if (p >= m_fetched) {
    p = position - 1;
    while (p >= 0 && !RowVisible(p)) --p;
  }
  SetCursorPosition(p);
}

void TFIBCustomDataSet::InternalRefresh() {
  TRecordBuffer buffer = ActiveBuffer();
  if (!buffer || IsEmpty()) return;
  if (!m_qRefresh->HasSQLText()) FIBError(feCannotRefresh, {FullComponentName()});
  RefreshRow(buffer, RecNoOf(buffer));
}
