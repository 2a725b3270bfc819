// TFIBQuery: SQL text analysis, prepare, execute, fetch, close and free of one
// server statement, and the query-value operation of the database.
#include "fib/FIBQuery.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <random>
#include <span>

#include "fib/FIBDatabase.h"
#include "fib/IB_Intf.h"
#include "fib/fib.h"
#include "runtime/CodePage.h"
#include "runtime/ScopeGuard.h"
#include "runtime/StrUtils.h"

namespace {

constexpr ISC_STATUS kDsqlCursorErr = 335544572;     // isc_dsql_cursor_err
constexpr ISC_STATUS kBadStmtHandle = 335544485;     // isc_bad_stmt_handle
constexpr ISC_STATUS kDsqlCursorCloseErr = 335544577;  // isc_dsql_cursor_close_err

uint32_t TickMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

TFIBQuery::TFIBQuery(TComponent* owner)
    : TComponent(owner),
      m_base(std::make_unique<TFIBBase>(this)),
      m_sql(std::make_unique<TStrings>()),
      m_params(std::make_unique<TFIBXSQLDA>(this, true)),
      m_preparedParams(std::make_unique<TFIBXSQLDA>(this, true)),
      m_columns(std::make_unique<TFIBXSQLDA>(this, false)) {
  m_params->SetCount(0);
  m_preparedParams->SetCount(0);
  m_columns->SetCount(0);
  m_sql->OnChanging = [this](TStrings*) { BeforeSQLChange(); };
  m_sql->OnChange = [this](TStrings*) { AfterSQLChange(); };
  m_base->NotifyDisconnecting = [this](TFIBBase*) {
    // The connection is going: the server statement goes with it.
    try {
      Close();
    } catch (const Exception&) {
    }
    try {
      FreeHandle();
    } catch (const Exception&) {
      m_handle = 0;
      m_prepared = false;
    }
  };
  m_base->NotifyEnding = [this](TFIBTransaction* tr) {
    if (m_closeOnTransactionEnd && m_open &&
        (tr->State() == TFIBTransaction::tsDoRollback || tr->State() == TFIBTransaction::tsDoCommit))
      Close();
  };
}

TFIBQuery::~TFIBQuery() {
  Destroying();
  // Nothing may escape a destructor; a failing close leaves the server to
  // drop the statement with the attachment.
  try {
    if (m_open) Close();
  } catch (const Exception&) {
  }
  try {
    FreeHandle();
  } catch (const Exception&) {
  }
  m_sql->OnChanging = nullptr;
  m_sql->OnChange = nullptr;
  m_base.reset();
}

TFIBDatabase* TFIBQuery::Database() const { return m_base ? m_base->Database() : nullptr; }
void TFIBQuery::SetDatabase(TFIBDatabase* db) {
  if (db != Database() && m_handle) FreeHandle();
  m_base->SetDatabase(db);
}
TFIBTransaction* TFIBQuery::Transaction() const { return m_base ? m_base->Transaction() : nullptr; }
void TFIBQuery::SetTransaction(TFIBTransaction* tr) { m_base->SetTransaction(tr); }

IIBClientLibrary& TFIBQuery::Lib() const {
  TFIBDatabase* db = Database();
  if (!db) FIBError(feDatabaseNotAssigned, {FullComponentName()});
  return db->ClientLibrary();
}

int TFIBQuery::Dialect() const {
  TFIBDatabase* db = Database();
  return db ? db->SQLDialect() : 3;
}

bool TFIBQuery::ConnectionIsUnicode() const {
  TFIBDatabase* db = Database();
  return db && db->IsUnicodeConnect();
}
bool TFIBQuery::NamesInUtf8() const { return ConnectionIsUnicode() || ExtendedCharset(); }

bool TFIBQuery::ConnectionUnicodeOrNone() const {
  TFIBDatabase* db = Database();
  return !db || db->IsUnicodeOrNoneConnect();
}
bool TFIBQuery::ExtendedCharset() const {
  TFIBDatabase* db = Database();
  return db && db->NeedUnicodeFieldsTranslation();
}

bool TFIBQuery::InLoading() const {
  for (const TComponent* c = this; c; c = c->Owner())
    if (c->IsLoading()) return true;
  return false;
}

isc_db_handle* TFIBQuery::DBHandle() { return m_base->DBHandle(); }
isc_tr_handle* TFIBQuery::TRHandle() { return m_base->TRHandle(); }

ISC_STATUS TFIBQuery::Check(ISC_STATUS status, bool raise) {
  // The transaction's and the database's checks restore the control word.
  const TFIBBase* base = m_base.get();
  if (TFIBTransaction* tr = base ? base->Transaction() : nullptr) tr->Call(status, false);
  else if (TFIBDatabase* db = base ? base->Database() : nullptr) db->Call(status, false);
  else RestoreFPUControlWord();
  if (raise && status > 0) IBError(Lib(), this);
  return status;
}

// ---------------------------------------------------------------------------
// SQL text

std::string TFIBQuery::SQLText() const { return m_wholeText ? *m_wholeText : JoinSqlLines(m_sql->Lines()); }

void TFIBQuery::SetSQLText(std::string_view text) {
  m_assignedText = std::string(text);
  const TScopeGuard forget([this] { m_assignedText.reset(); });
  m_sql->SetText(text);
}

bool TFIBQuery::HasTextPastFirstChar() const {
  return std::ranges::any_of(m_sql->Lines(),
                             [](const std::string& line) { return std::ranges::any_of(line, IsTextChar); });
}

void TFIBQuery::BeginUpdate() { ++m_updateCount; }

void TFIBQuery::EndUpdate() {
  if (m_updateCount > 0 && --m_updateCount == 0) Analyse();
}

void TFIBQuery::BeforeSQLChange() {
  if (m_open) FIBError(feSQLOpen, {"change sql text", FullComponentName()});
  if (OnSQLChanging) OnSQLChanging(this);
  if (m_handle) FreeHandle();
  m_macroValuesChanged = false;
}

void TFIBQuery::AfterSQLChange() {
  // Any other edit of the lines makes the text one built from lines again.
  m_wholeText = std::move(m_assignedText);
  m_assignedText.reset();
  Analyse();
}

void TFIBQuery::Analyse() {
  const std::string text = SQLText();
  m_parser.SetSQLText(text);
  if (m_updateCount > 0) return;
  ++m_changeCount;
  m_paramCheckSnapshot = m_paramCheck;
  if (!m_paramCheck || m_sql->Count() == 0 || !m_parser.ParamsAllowed() ||
      NoParamsInText(text, m_macroChar)) {
    m_params->SetCount(0);
    m_preparedParams->SetCount(0);
    m_processedSQL = text;
  } else {
    ScanInto(text, TScanMode::Analyse);
    // The prepared area belongs to the old text: a lookup falling through to it
    // must not find names the new text no longer has.
    m_preparedParams->SetCount(0);
    m_processedSQL = m_params->Count() > 0 ? std::string() : text;
  }
  m_textDependents.clear();
  for (int i = 0; i < m_params->Count(); ++i) {
    const TFIBXSQLVAR& v = *m_params->m_vars[static_cast<size_t>(i)];
    if (v.m_isMacro || (v.m_nullRewritable && v.m_inWhere)) m_textDependents.push_back(i);
  }
  if (m_handle) FreeHandle();
  m_rewritten = false;
  m_sqlAnalysed = true;
  m_processedEncoded = false;
  m_aliasesRead = false;
}

void TFIBQuery::ScanInto(std::string_view text, TScanMode mode) {
  TScanResult r;
  try {
    r = ScanSQLParams(text, m_parser.SQLKind(), m_parser.ParamsAllowed(), mode, m_macroChar);
  } catch (const ESQLScanError& e) {
    if (e.IsNameExpected() && InLoading()) Abort();
    FIBError(feSQLParseError, {FullComponentName(), e.Text()});
  }
  auto fresh = std::make_unique<TFIBXSQLDA>(this, true);
  std::unique_ptr<TFIBXSQLDA>& target = mode == TScanMode::Analyse ? m_params : m_preparedParams;
  fresh->SetCount(static_cast<int>(r.params.size()));
  // Where each variable of the old area went (-1: still there).
  std::vector<int> movedTo(static_cast<size_t>(target->m_count), -1);
  for (size_t k = 0; k < r.params.size(); ++k) {
    const TSQLParamEntry& e = r.params[k];
    const int i = static_cast<int>(k);
    const std::string stored = e.quoted ? e.name : UpperCaseAscii(e.name);
    // Values assigned before the text changed survive for names that stay, and
    // so does the variable object itself: a caller holding it keeps a live one.
    const int j = target->FindNameIndex(stored);
    const bool carry = j >= 0 && target->m_vars[static_cast<size_t>(j)]->SQLType() != SQL_BLOB;
    if (carry && movedTo[static_cast<size_t>(j)] < 0) {
      movedTo[static_cast<size_t>(j)] = i;
      std::swap(fresh->m_vars[k], target->m_vars[static_cast<size_t>(j)]);
      TFIBXSQLVAR& moved = *fresh->m_vars[k];
      TFIBXSQLVAR& displaced = *target->m_vars[static_cast<size_t>(j)];
      XSQLVAR& slot = fresh->m_raw->sqlvar[k];
      const XSQLVAR& oldSlot = *moved.m_xvar;
      slot.sqltype = oldSlot.sqltype;
      slot.sqlscale = oldSlot.sqlscale;
      slot.sqlsubtype = oldSlot.sqlsubtype;
      slot.sqllen = oldSlot.sqllen;
      moved.m_parent = fresh.get();
      moved.m_index = i;
      moved.RepointSlot(&slot);
      displaced.m_parent = target.get();
      displaced.m_index = j;
      displaced.RepointSlot(&target->m_raw->sqlvar[j]);
    } else {
      fresh->m_vars[k]->ResetUntyped();
      if (carry) fresh->m_vars[k]->CopyStateFrom(*fresh->m_vars[static_cast<size_t>(movedTo[static_cast<size_t>(j)])]);
    }
    TFIBXSQLVAR& v = *fresh->m_vars[k];
    fresh->RegisterName(e.name, i, e.quoted);
    v.m_isMacro = e.isMacro;
    if (carry) {
      v.m_declType = v.m_declSubtype = v.m_declLen = v.m_declScale = 0;
      if (v.m_deferred) fresh->m_deferredSettings = true;
    }
    v.m_inWhere = e.inWhere;
    v.m_nullRewritable = e.nullRewritable;
    v.m_start = e.start;
    v.m_end = e.end;
  }
  // The user area's lookup cache may point into the prepared area being replaced.
  if (mode == TScanMode::Prepare) m_params->m_cache.clear();
  if (mode == TScanMode::Prepare) m_processedSQL = std::move(r.processed);
  target = std::move(fresh);
}

TFIBXSQLDA& TFIBQuery::Params() {
  if (!m_sqlAnalysed) Analyse();
  return *m_params;
}

// ---------------------------------------------------------------------------
// Names

TFIBXSQLVAR* TFIBQuery::ParamByName(std::string_view name) {
  if (TFIBXSQLVAR* v = Params().ByName(name)) return v;
  const std::string text = TrimLeft(SQLText());
  if (UpperCaseAscii(std::string_view(text).substr(0, 8)) == "EXECUTE ") return ColumnByName(name);
  throw Exception(Format("Parameter \"%s\" does not exist in %s", {std::string(name), FullComponentName()}));
}

TFIBXSQLVAR* TFIBQuery::ColumnByName(std::string_view name) {
  TFIBXSQLVAR* v = m_prepared ? m_columns->ByName(name) : nullptr;
  if (!v) FIBError(feFieldNotFound, {std::string(name)});
  return v;
}

TFIBXSQLVAR* TFIBQuery::Fields(int index) {
  if (index < 0 || index >= FieldCount()) FIBError(feFieldNotFound, {"Field No:" + std::to_string(index)});
  return m_columns->Vars(index);
}

int TFIBQuery::FieldIndex(std::string_view name) {
  if (!m_prepared) return -1;
  TFIBXSQLVAR* v = m_columns->ByName(name);
  return v ? v->Index() : -1;
}

// ---------------------------------------------------------------------------
// Prepare

bool TFIBQuery::NeedsRePrepare() const {
  if (!m_prepared || m_macroValuesChanged) return true;
  for (int i : m_textDependents) {
    const TFIBXSQLVAR& v = *m_params->m_vars[static_cast<size_t>(i)];
    if (v.m_isMacro) {
      if (!(v.AsVariant() == v.OldValue())) return true;
    } else if (v.m_nullRewritable && v.m_inWhere && v.IsNull() != v.OldValueIsNull()) {
      return true;
    }
  }
  return false;
}

std::string TFIBQuery::BuildTextToSend(bool mark) {
  std::vector<TSendParam> send;
  send.reserve(static_cast<size_t>(m_params->Count()));
  for (int i = 0; i < m_params->Count(); ++i) {
    const TFIBXSQLVAR& v = *m_params->m_vars[static_cast<size_t>(i)];
    TSendParam p;
    p.start = v.m_start;
    p.end = v.m_end;
    p.isMacro = v.m_isMacro;
    p.inWhere = v.m_inWhere;
    p.nullRewritable = v.m_nullRewritable;
    p.isNull = v.IsNull();
    if (v.m_isMacro) p.macroValue = v.AsString();
    send.push_back(std::move(p));
  }
  const bool rewrite = !HasOption(qoNoForceIsNull) && m_executing;
  std::vector<bool> rewritten;
  bool changed = false;
  std::string text = TextToSend(m_parser.SQLText(), send, rewrite, &rewritten, &changed);
  if (mark) {
    m_rewritten = changed;
    for (size_t k = 0; k < rewritten.size(); ++k) {
      TFIBXSQLVAR& v = *m_params->m_vars[k];
      if (rewritten[k]) {
        v.SetOldValue(Variant::Null());
      } else if (!rewrite && !HasOption(qoNoForceIsNull) && send[k].isNull && v.m_inWhere &&
                 v.m_nullRewritable) {
        // Prepared outside an execution, the text still compares with this null;
        // an old value that is not null makes the next execution build it again.
        v.SetOldValue(Variant());
      }
    }
  }
  return text;
}

void TFIBQuery::EncodeProcessedText() {
  if (m_processedEncoded) return;
  // The text travels in the connection's character set, DDL included: a
  // default value or a literal in a procedure body is stored as sent. Only
  // names are metadata, which the server holds in UTF-8 and, on a connection
  // without a character set, expects as UTF-8.
  if (ConnectionIsUnicode()) m_processedSQL = AnsiToUtf8(m_processedSQL);
  else if (NamesInUtf8() && Dialect() >= 3) m_processedSQL = QuotedNamesToUtf8(m_processedSQL);
  m_processedEncoded = true;
}

void TFIBQuery::Prepare() {
  const auto preparing = ScopedValue(m_preparing, true);
  if (m_open) Close();
  m_base->CheckDatabase();
  TFIBTransaction* tr = Transaction();
  if (HasOption(qoStartTransaction) && tr && !tr->Active()) tr->StartTransaction();
  m_base->CheckTransaction();

  if (!m_sqlAnalysed) Analyse();
  if (m_paramCheckSnapshot && m_params->Count() > 0) {
    if (NeedsRePrepare()) {
      const std::string text = BuildTextToSend(true);
      ScanInto(text, TScanMode::Prepare);
      m_processedEncoded = false;
      EncodeProcessedText();
      m_macroValuesChanged = false;
      if (m_handle) FreeHandle();
    }
  } else {
    if (m_processedSQL.empty()) m_processedSQL = m_parser.SQLText();
    EncodeProcessedText();
  }
  if (m_prepared) return;

  bool blank = true;
  for (char c : m_processedSQL)
    if (static_cast<unsigned char>(c) >= 33) blank = false;
  if (blank) FIBError(feEmptyQuery, {"Prepare"});

  try {
    DoPrepareOnServer();
  } catch (...) {
    try {
      if (m_handle) FreeHandle();
    } catch (const Exception&) {
      m_handle = 0;
    }
    m_prepared = false;
    throw;
  }
}

void TFIBQuery::DoPrepareOnServer() {
  IIBClientLibrary& lib = Lib();
  isc_db_handle* dbh = DBHandle();
  isc_tr_handle* trh = TRHandle();
  const unsigned short dialect = static_cast<unsigned short>(Dialect());
  m_handle = 0;
  ++m_prepareCount;
  Check(lib.isc_dsql_alloc_statement2(StatusVector(), dbh, &m_handle));
  m_columns->SetCount(1);
  Check(lib.isc_dsql_prepare(StatusVector(), trh, &m_handle, 0, m_processedSQL.c_str(), dialect,
                             m_columns->AsXSQLDA()));
  char item = isc_info_sql_stmt_type;
  char reply[8] = {};
  Check(lib.isc_dsql_sql_info(StatusVector(), &m_handle, 1, &item, sizeof reply, reply));
  if (reply[0] != isc_info_sql_stmt_type) FIBError(feUnknownError);
  const short len = static_cast<short>(lib.isc_vax_integer(reply + 1, 2));
  m_sqlType = static_cast<TFIBSQLTypes>(lib.isc_vax_integer(reply + 3, std::clamp<short>(len, 0, 4)));
  m_aliasesRead = false;

  switch (m_sqlType) {
    case SQLSelectForUpdate:
      if (m_cursorName.empty()) {
        // Ten digits, not one: cursor names must differ between the statements
        // of one attachment.
        std::random_device rd;
        std::uniform_int_distribution<int> digit(0, 9);
        for (int k = 0; k < 10; ++k) m_cursorName.push_back(static_cast<char>('0' + digit(rd)));
      }
      Check(lib.isc_dsql_set_cursor_name(StatusVector(), &m_handle, m_cursorName.c_str(), 0));
      break;
    case SQLGetSegment:
    case SQLPutSegment:
    case SQLStartTransaction:
      FreeHandle();
      FIBError(feNotPermitted);
    default: break;
  }

  switch (m_sqlType) {
    case SQLSelect:
    case SQLInsert:
    case SQLUpdate:
    case SQLDelete:
    case SQLExecProcedure:
    case SQLSelectForUpdate: {
      TFIBXSQLDA& execArea = m_rewritten ? *m_preparedParams : *m_params;
      if (execArea.Count() > 0 && m_preparedParams->Count() > 0) {
        Check(lib.isc_dsql_describe_bind(StatusVector(), &m_handle, dialect, m_preparedParams->AsXSQLDA()));
        if (m_preparedParams->AsXSQLDA()->sqld > m_preparedParams->Count()) {
          // The server counts more markers than the text names; the statement
          // could never be given all its values.
          FIBError(feColumnListsDontMatch);
        }
        if (!m_rewritten) {
          const int n = std::min(m_params->Count(), m_preparedParams->Count());
          for (int i = 0; i < n; ++i) {
            TFIBXSQLVAR& p = *m_params->m_vars[static_cast<size_t>(i)];
            const XSQLVAR& s = *m_preparedParams->m_vars[static_cast<size_t>(i)]->m_xvar;
            const short slotType = static_cast<short>(s.sqltype & ~1);
            if (p.IsNull()) {
              XSQLVAR& x = *p.m_xvar;
              // No byte of a null is read; a length the client would take as
              // negative is cut to the largest it reads right.
              const int len = std::min(SlotLength(s), kMaxSentValueBytes);
              x.sqltype = static_cast<short>(s.sqltype | 1);
              x.sqlscale = s.sqlscale;
              x.sqllen = static_cast<short>(len);
              x.sqlsubtype = s.sqlsubtype;
              p.ResizeData(std::max(slotType == SQL_VARYING ? len + 2 : len, 1));
              std::fill(p.m_data.begin(), p.m_data.end(), 0);
              p.m_ind = -1;
              x.sqlind = &p.m_ind;
            } else if ((slotType == SQL_BLOB || slotType == SQL_ARRAY) &&
                       p.SQLType() != SQL_BLOB && p.SQLType() != SQL_ARRAY) {
              const std::string text = p.SQLType() == SQL_TEXT ? p.RawText() : p.AsString();
              p.LoadFromStream(text);
              p.m_xvar->sqlsubtype = s.sqlsubtype;
              p.m_xvar->sqlscale = s.sqlscale;
            }
          }
        }
        m_preparedParams->InitAfterDescribe();
      }
      if (m_sqlType == SQLSelect || m_sqlType == SQLExecProcedure || m_sqlType == SQLSelectForUpdate) {
        const int described = m_columns->AsXSQLDA()->sqld;
        if (described > m_columns->Count()) {
          m_columns->SetCount(described);
          Check(lib.isc_dsql_describe(StatusVector(), &m_handle, dialect, m_columns->AsXSQLDA()));
        } else if (described == 0) {
          m_columns->SetCount(0);
        }
        m_columns->InitAfterDescribe();
      } else {
        m_columns->SetCount(0);
      }
      if (m_rewritten) {
        for (int i = 0; i < m_params->Count(); ++i) {
          TFIBXSQLVAR& p = *m_params->m_vars[static_cast<size_t>(i)];
          const short t = p.SQLType();
          // Not prepared yet, so the user parameter cannot ask for its declared
          // type itself: take it from the prepared namesake just described.
          const int pi = m_preparedParams->FindNameIndex(p.m_name);
          const short decl = pi < 0 ? short{0} : m_preparedParams->m_vars[static_cast<size_t>(pi)]->m_declType;
          if ((decl == SQL_TIMESTAMP || decl == SQL_TYPE_DATE) && !p.IsNull() &&
              (t == SQL_DOUBLE || t == SQL_FLOAT || t == SQL_INT64))
            p.SetAsDateTime(p.AsDouble());
        }
      }
      break;
    }
    default:
      m_columns->SetCount(0);
      break;
  }
  m_prepared = true;
}

// ---------------------------------------------------------------------------
// Execute

void TFIBQuery::InitColumnsNull() { m_columns->ClearValues(); }

void TFIBQuery::WriteBlobParams(TFIBXSQLDA& area) {
  // Only a blob text loaded into a parameter of this statement (which sets
  // the flag) can leave anything to write.
  if (!m_hasBlobParams) return;
  for (int i = 0; i < area.Count(); ++i) {
    TFIBXSQLVAR& v = *area.m_vars[static_cast<size_t>(i)];
    if (!v.m_blobStream) continue;
    TFIBTransaction* tr = Transaction();
    if (HasOption(qoStartTransaction) && tr && !tr->Active()) tr->StartTransaction();
    IIBClientLibrary& lib = Lib();
    isc_blob_handle blob = 0;
    ISC_QUAD id{};
    Check(lib.isc_create_blob2(StatusVector(), DBHandle(), TRHandle(), &blob, &id, 0, nullptr));
    const std::string& content = *v.m_blobStream;
    size_t pos = 0;
    try {
      while (pos < content.size()) {
        const size_t n = std::min<size_t>(content.size() - pos, 32000);
        Check(lib.isc_put_segment(StatusVector(), &blob, static_cast<unsigned short>(n), content.data() + pos));
        pos += n;
      }
    } catch (...) {
      ISC_STATUS_ARRAY ignored;
      lib.isc_close_blob(ignored, &blob);
      throw;
    }
    Check(lib.isc_close_blob(StatusVector(), &blob));
    XSQLVAR& x = *v.m_xvar;
    x.sqltype = static_cast<short>(SQL_BLOB | (x.sqltype & 1));
    x.sqllen = 8;
    v.ResizeData(8);
    std::memcpy(v.m_data.data(), &id, sizeof id);
    v.m_ind = 0;
  }
}

void TFIBQuery::ExecuteImmediate() {
  if (BeforeExecute) BeforeExecute(this);
  if (!Transaction()) FIBError(feTransactionNotAssigned, {FullComponentName()});
  TFIBTransaction* tr = Transaction();
  if (HasOption(qoStartTransaction) && !tr->Active()) tr->StartTransaction();
  tr->DoOnSQLExec(this, m_sqlType, 0);
  if (m_processedSQL.empty() || m_macroValuesChanged) {
    m_processedSQL = BuildTextToSend(true);
    m_processedEncoded = false;
  }
  EncodeProcessedText();
  TFIBXSQLDA& area = *m_params;
  area.ApplyDeferredSettings();
  WriteBlobParams(area);
  if (m_handle) FreeHandle();
  IIBClientLibrary& lib = Lib();
  Check(lib.isc_dsql_execute_immediate(StatusVector(), DBHandle(), TRHandle(), 0, m_processedSQL.c_str(),
                                       static_cast<unsigned short>(Dialect()),
                                       area.Count() > 0 ? area.AsXSQLDA() : nullptr));
  if (AfterExecute) AfterExecute(this);
  tr->DoOnSQLExec(this, m_sqlType, 1);
  for (int i = 0; i < m_params->Count(); ++i) {
    m_params->m_vars[static_cast<size_t>(i)]->m_modified = false;
    m_params->m_vars[static_cast<size_t>(i)]->m_blobStream.reset();
  }
  m_macroValuesChanged = false;
  if (HasOption(qoAutoCommit) && tr->Active()) {
    if (tr->TimeoutAction() == TACommitRetaining) tr->CommitRetaining();
    else tr->Commit();
  }
}

void TFIBQuery::ExecQuery() { DoExecQuery(); }

void TFIBQuery::DoExecQuery() {
  const auto executing = ScopedValue(m_executing, true);
  if (!m_sqlAnalysed) Analyse();
  if (!m_parser.IsPreparable()) {
    ExecuteImmediate();
    return;
  }
  if (BeforeExecute) BeforeExecute(this);
  TFIBTransaction* tr = Transaction();
  if (!tr) FIBError(feTransactionNotAssigned, {FullComponentName()});
  InitColumnsNull();
  if (HasOption(qoStartTransaction) && !tr->Active()) tr->StartTransaction();
  tr->DoOnSQLExec(this, m_sqlType, 0);

  const bool withParams = m_paramCheckSnapshot && m_params->Count() > 0;
  if (withParams || !m_prepared) Prepare();

  TFIBXSQLDA* area;
  if (m_rewritten && withParams) {
    // Values assigned before the first prepare still wait for their declared
    // types (UTF-8 for Unicode columns, the decimal point for numbers); the
    // copy by name must carry them converted.
    m_params->ApplyDeferredSettings();
    m_preparedParams->CopyValuesByName(*m_params);
    area = m_preparedParams.get();
  } else {
    m_params->ApplyDeferredSettings();
    area = m_params.get();
  }
  if (m_hasBlobParams) WriteBlobParams(*area);
  XSQLDA* in = area->Count() > 0 ? area->AsXSQLDA() : nullptr;

  const uint32_t started = TickMs();
  IIBClientLibrary& lib = Lib();
  const unsigned short dialect = static_cast<unsigned short>(Dialect());
  switch (m_sqlType) {
    case SQLSelect:
    case SQLSelectForUpdate:
      if (m_open) Close();
      Check(lib.isc_dsql_execute(StatusVector(), TRHandle(), &m_handle, dialect, in));
      m_open = true;
      m_bof = true;
      m_eof = false;
      m_recordCount = 0;
      InitColumnsNull();
      if (m_goToFirst) FetchNext();
      break;
    case SQLExecProcedure:
      Check(lib.isc_dsql_execute2(StatusVector(), TRHandle(), &m_handle, dialect, in,
                                  m_columns->Count() > 0 ? m_columns->AsXSQLDA() : nullptr));
      break;
    case SQLCommit: tr->Commit(); break;
    case SQLRollback: tr->Rollback(); break;
    default: Check(lib.isc_dsql_execute(StatusVector(), TRHandle(), &m_handle, dialect, in)); break;
  }
  m_elapsedMs = TickMs() - started;

  if (withParams) m_params->SaveOldValues();
  if (AfterExecute) AfterExecute(this);
  if (Transaction()) Transaction()->DoOnSQLExec(this, m_sqlType, 1);
  // The handlers may have given the statement a new text, and with it a new area.
  for (const auto& v : std::span(m_params->m_vars.data(), static_cast<size_t>(m_params->m_count))) {
    v->m_modified = false;
    v->m_blobStream.reset();
  }
  if (m_hasBlobParams)
    for (int i = 0; i < m_preparedParams->Count(); ++i)
      m_preparedParams->m_vars[static_cast<size_t>(i)]->m_blobStream.reset();
  m_macroValuesChanged = false;
  if (HasOption(qoAutoCommit) && tr->Active()) {
    if (tr->TimeoutAction() == TACommitRetaining) tr->CommitRetaining();
    else tr->Commit();
  }
  if (!m_open && HasOption(qoFreeHandleAfterExecute)) FreeHandle();
}

// ---------------------------------------------------------------------------
// Fetch, close, free

TFIBXSQLDA* TFIBQuery::FetchNext() {
  if (m_eof) return nullptr;
  if (!m_open) FIBError(feSQLClosed, {"fetch next record", FullComponentName()});
  if (BeforeFetchHook) {
    bool stop = false;
    BeforeFetchHook(m_recordCount, stop);
    if (stop && !InLoading()) Abort();
  }
  IIBClientLibrary& lib = Lib();
  RestoreFPUControlWord();
  const ISC_STATUS st =
      lib.isc_dsql_fetch(StatusVector(), &m_handle, static_cast<unsigned short>(Dialect()), m_columns->AsXSQLDA());
  Check(st, false);
  if (st == 0) {
    ++m_recordCount;
    m_bof = false;
    return m_columns.get();
  }
  if (st == 100) {
    m_eof = true;
    return nullptr;
  }
  if (StatusVector()[1] == kDsqlCursorErr) {
    m_eof = true;
    return nullptr;
  }
  // Build the error before closing: the close overwrites the status vector.
  std::exception_ptr error;
  try {
    IBError(lib, this);
  } catch (...) {
    error = std::current_exception();
  }
  try {
    Close();
  } catch (const Exception&) {
  }
  std::rethrow_exception(error);
}

bool TFIBQuery::Eof() {
  if (m_eof && m_open && HasOption(qoFreeHandleAfterExecute)) FreeHandle();
  return m_eof;
}

void TFIBQuery::Close() {
  std::exception_ptr error;
  if (m_handle && m_open && (m_sqlType == SQLSelect || m_sqlType == SQLSelectForUpdate) && Database()) {
    IIBClientLibrary& lib = Lib();
    const ISC_STATUS st = lib.isc_dsql_free_statement(StatusVector(), &m_handle, DSQL_close);
    Check(st, false);
    const ISC_STATUS code = StatusVector()[1];
    if (st > 0 && code != kBadStmtHandle && code != kDsqlCursorCloseErr) {
      try {
        IBError(lib, this);
      } catch (...) {
        error = std::current_exception();
      }
    }
  }
  m_bof = m_eof = m_open = false;
  if (HasOption(qoFreeHandleAfterExecute)) FreeHandle();
  if (error) std::rethrow_exception(error);
}

void TFIBQuery::FreeHandle() {
  m_columns->SetCount(0);
  std::exception_ptr error;
  if (m_handle) {
    if (Database() && Database()->ClientLibraryLoaded()) {
      IIBClientLibrary& lib = Lib();
      const ISC_STATUS st = lib.isc_dsql_free_statement(StatusVector(), &m_handle, DSQL_drop);
      Check(st, false);
      if (st > 0 && StatusVector()[1] != kBadStmtHandle) {
        try {
          IBError(lib, this);
        } catch (...) {
          error = std::current_exception();
        }
      }
    }
    m_eof = true;
  }
  m_open = false;
  m_prepared = false;
  m_handle = 0;
  m_aliasesRead = false;
  if (error) std::rethrow_exception(error);
}

// ---------------------------------------------------------------------------
// Column table aliases

std::string TFIBQuery::ColumnTableAlias(int columnNumber) {
  if (!m_prepared || columnNumber < 1 || columnNumber > m_columns->Count()) return std::string();
  if (!m_aliasesRead) {
    m_aliases.assign(static_cast<size_t>(m_columns->Count()), std::string());
    TFIBDatabase* db = Database();
    if (db && db->IsFirebirdConnect() && db->ServerMajorVersion() >= 2 && m_handle) {
      static const char items[] = {isc_info_sql_select, isc_info_sql_describe_vars, isc_info_sql_sqlda_seq,
                                   isc_info_sql_relation_alias, isc_info_sql_describe_end};
      std::vector<char> reply(32767);
      Check(Lib().isc_dsql_sql_info(StatusVector(), &m_handle, sizeof items, items,
                                    static_cast<short>(reply.size()), reply.data()));
      m_aliases = ParseAliasInfo(reinterpret_cast<const uint8_t*>(reply.data()), static_cast<int>(reply.size()),
                                 m_columns->Count());
    }
    // Without an alias from the server the relation name stands for it.
    for (int i = 0; i < m_columns->Count(); ++i) {
      std::string& a = m_aliases[static_cast<size_t>(i)];
      if (a.empty()) {
        const XSQLVAR& x = *m_columns->m_vars[static_cast<size_t>(i)]->m_xvar;
        a.assign(x.relname, static_cast<size_t>(std::clamp<int>(x.relname_length, 0, 32)));
      }
      if (NamesInUtf8()) a = Utf8ToAnsi(a);
    }
    m_aliasesRead = true;
  }
  const std::string& a = m_aliases[static_cast<size_t>(columnNumber - 1)];
  return a.empty() ? std::string() : FormatIdentifier3(a);
}

// ---------------------------------------------------------------------------
// Query value

Variant QueryValue(TFIBDatabase& db, std::string_view sql) {
  TFIBTransaction* tr = db.InternalTransaction();
  TFIBQuery q(nullptr);
  q.SetDatabase(&db);
  q.SetTransaction(tr);
  q.SetSQLText(sql);
  if (!tr->Active()) tr->StartTransaction();
  try {
    q.ExecQuery();
    Variant result = Variant::Null();
    if (q.FieldCount() > 0 && q.RecordCount() > 0) result = q.Fields(0)->AsVariant();
    q.Close();
    tr->Commit();
    return result;
  } catch (...) {
    // The query's error is what the caller needs; a failing rollback adds nothing.
    try {
      if (tr->Active()) tr->Rollback();
    } catch (const Exception&) {
    }
    throw;
  }
}
