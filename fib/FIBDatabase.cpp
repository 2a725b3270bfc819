// TFIBDatabase: connect and disconnect, database information and the
// after-connect detection of the server, registration of transactions and
// binding objects, the idle timeout; and the layer's process-wide parts.
#include "fib/FIBDatabase.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "fib/FIBQuery.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"

void InitFIBNameTables();  // FIBParams.cpp

namespace {

// Connects of different databases never overlap: held from the first check of
// a connect until the attach result is known.
std::recursive_mutex& ConnectLock() {
  static std::recursive_mutex lock;
  return lock;
}

struct TDatabaseListStorage {
  std::mutex lock;
  std::vector<TFIBDatabase*> items;  // not owned
  TFIBDatabase* defaultDatabase = nullptr;
};
TDatabaseListStorage& DatabaseListStorage() {
  static TDatabaseListStorage storage;
  return storage;
}

// Start-up and shut-down of the layer. Built during static initialisation,
// before the main window exists; the name tables and the list exist from then
// on, and at exit every database still listed is disconnected.
struct TFIBLayer {
  TFIBLayer() {
    ErrorMessageParts();
    InitFIBNameTables();
    DatabaseListStorage();
  }
  ~TFIBLayer() { FinalizeFIBLayer(); }
} g_fibLayer;

}  // namespace

std::vector<TFIBDatabase*> DatabaseList() {
  auto& s = DatabaseListStorage();
  std::lock_guard lock(s.lock);
  return s.items;
}

TFIBDatabase* DefaultDatabase() {
  auto& s = DatabaseListStorage();
  std::lock_guard lock(s.lock);
  return s.defaultDatabase;
}

void FinalizeFIBLayer() {
  for (TFIBDatabase* db : DatabaseList()) {
    try {
      db->Disconnect(false);
    } catch (...) {
      // The process is ending; a database that cannot say goodbye is dropped.
    }
  }
}

double FIBNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  // Days from 1899-12-30 to the local calendar date, via the civil-day count.
  auto daysFromCivil = [](int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int>(doe) - 719468;
  };
  const int days = daysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                 static_cast<unsigned>(local.tm_mday)) -
                   daysFromCivil(1899, 12, 30);
  const double dayFraction =
      (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + static_cast<double>(ms) / 1000.0) /
      86400.0;
  return days + dayFraction;
}

// ---------------------------------------------------------------------------

TDBParams::TDBParams(TFIBDatabase& database) : m_database(database) {
  OnChanging = [this](TStrings*) { m_database.DBParamsChanging(); };
  OnChange = [this](TStrings*) { m_database.m_rebuildDPB = true; };
}

void TFIBDatabase::DBParamsChanging() {
  if (Connected()) FIBError(feDatabaseOpen);
}

TFIBDatabase::TFIBDatabase(TComponent* AOwner)
    : TComponent(AOwner),
      m_dbParams(std::make_unique<TDBParams>(*this)),
      m_connectParams(*m_dbParams) {
  {
    auto& s = DatabaseListStorage();
    std::lock_guard lock(s.lock);
    s.items.push_back(this);
  }
  m_internalTransaction = std::make_unique<TFIBTransaction>(nullptr);
  m_internalTransaction->SetDefaultDatabase(this);
  m_internalTransaction->SetTimeoutAction(TACommit);
  m_internalTransaction->SetTimeout(1000);
  m_internalTransaction->TRParams().BeginUpdate();
  for (const char* line : {"write", "isc_tpb_nowait", "read_committed", "rec_version"})
    m_internalTransaction->TRParams().Add(line);
  m_internalTransaction->TRParams().EndUpdate();
}

TFIBDatabase::~TFIBDatabase() {
  CloseForDestruction();
  TFIBBase::ReleaseAll(m_fibBases, [](TFIBBase& b) { b.Fire(b.NotifyDatabaseFreed); },
                       [](TFIBBase& b) {
                         b.m_database = nullptr;
                         b.m_indexInDatabase = -1;
                         b.SetTransaction(nullptr);
                       });
  for (size_t i = 0; i < m_transactions.size(); ++i)
    if (TFIBTransaction* tr = m_transactions[i]) tr->RemoveDatabase(this);
  m_transactions.clear();
  m_defaultTransaction = nullptr;
  m_defaultUpdateTransaction = nullptr;
}

void TFIBDatabase::CloseForDestruction() noexcept {
  Destroying();
  m_idleTimer.reset();
  RemoveFromList();
  if (m_internalTransaction) {
    try {
      if (m_internalTransaction->Active()) m_internalTransaction->Commit();
    } catch (...) {
      // Destruction goes on; the transaction's own destruction ends it.
    }
    m_internalTransaction.reset();
  }
  if (!Connected()) return;
  try {
    Disconnect(true);
  } catch (...) {
    // Only a disconnect event handler can fail a forced disconnect, and it
    // did so before the detach or after it. Nothing may leave a destructor,
    // and the attachment must not outlive the component: go through the
    // steps once more without the handlers.
    if (Connected()) {
      BeforeDisconnect = nullptr;
      AfterDisconnect = nullptr;
      try {
        Disconnect(true);
      } catch (...) {
      }
    }
  }
  m_handle = 0;
}

void TFIBDatabase::RemoveFromList() noexcept {
  auto& s = DatabaseListStorage();
  std::lock_guard lock(s.lock);
  s.items.erase(std::remove(s.items.begin(), s.items.end(), this), s.items.end());
  if (s.defaultDatabase == this) s.defaultDatabase = nullptr;
}

void TFIBDatabase::Loaded() {
  TComponent::Loaded();
  m_internalTransaction->SetName(Name() + "_InternalTransaction");
  if (m_designDBOptions & ddoIsDefaultDatabase) {
    auto& s = DatabaseListStorage();
    std::lock_guard lock(s.lock);
    s.defaultDatabase = this;
  }
  if (m_storedConnected) {
    m_storedConnected = false;
    Connect(true);
    if (m_defaultTransaction && m_defaultTransaction->m_storedActive &&
        !m_defaultTransaction->Active())
      m_defaultTransaction->StartTransaction();
  }
}

void TFIBDatabase::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == m_defaultTransaction) m_defaultTransaction = nullptr;
  if (AComponent == m_defaultUpdateTransaction) m_defaultUpdateTransaction = nullptr;
}

// --- properties ------------------------------------------------------------

void TFIBDatabase::SetConnected(bool value) {
  if (IsLoading()) {
    m_storedConnected = value;
    return;
  }
  if (value)
    Connect(true);
  else if (Connected())
    Disconnect(false);
}

void TFIBDatabase::SetDBName(const std::string& value) {
  if (value == m_dbName) return;
  CheckInactive();
  m_dbName = value;
}

void TFIBDatabase::SetDefaultTransaction(TFIBTransaction* value) { SetDefault(m_defaultTransaction, value); }

void TFIBDatabase::SetDefaultUpdateTransaction(TFIBTransaction* value) {
  SetDefault(m_defaultUpdateTransaction, value);
}

void TFIBDatabase::SetDefault(TFIBTransaction*& slot, TFIBTransaction* value) {
  if (value == slot) return;
  if (value) {
    value->AddDatabase(this);
    AddTransaction(value);
    if (!value->DefaultDatabase()) value->SetDefaultDatabase(this);
  }
  slot = value;
}

void TFIBDatabase::SetSQLDialect(int value) {
  if (value < 1 || (Connected() && value > DatabaseSQLDialect())) FIBError(feSQLDialectInvalid);
  m_sqlDialect = value;
}

void TFIBDatabase::SetTimeout(uint32_t value) {
  m_timeout = value;
  SetTimeoutTimer(m_idleTimer, value, true, [this] { IdleTimerFired(); });
}

void TFIBDatabase::SetLibraryName(const std::string& value) {
  CheckInactive();
  if (value == m_libraryName) return;
  m_libraryName = value;
  m_clientLibrary.reset();
}

// --- checks and the client side ---------------------------------------------

void TFIBDatabase::RaiseClosed() const { FIBError(feDatabaseClosed, {FullComponentName()}); }

void TFIBDatabase::CheckInactive() const {
  if (Connected()) FIBError(feDatabaseOpen);
}

void TFIBDatabase::CheckDatabaseName() const {
  if (m_dbName.empty()) FIBError(feDatabaseNameMissing);
}

IIBClientLibrary& TFIBDatabase::LoadLibraryNow() {
  // The database holds the library for as long as it lives; a caller that
  // may outlive that takes ClientLibraryPtr() instead.
  m_clientLibrary = LoadClientLibrary(m_libraryName);
  return *m_clientLibrary;
}

std::shared_ptr<IIBClientLibrary> TFIBDatabase::ClientLibraryPtr() {
  // A failed load leaves no object behind: the next connect tries again.
  if (!m_clientLibrary) m_clientLibrary = LoadClientLibrary(m_libraryName);
  return m_clientLibrary;
}

void TFIBDatabase::NoteActivity() {
  m_idleTimer->Restart();
  m_lastActivity = TTimer::Clock::now();
}

void TFIBDatabase::RaiseFromStatus() { IBError(ClientLibrary(), this); }

const std::string& TFIBDatabase::DPB() {
  if (m_rebuildDPB) {
    // A bad line stays reported: the flag is cleared only after a good build.
    // Lines the build trimmed in the list set the flag again, but they give the
    // same bytes, so the block is not built anew for them.
    m_dpb = BuildDPB(*m_dbParams);
    m_rebuildDPB = false;
  }
  return m_dpb;
}

// --- connect and disconnect --------------------------------------------------

void TFIBDatabase::Connect(bool raiseOnError) {
  if (!DoAttach(raiseOnError)) return;
  DoAfterAttach();
}

bool TFIBDatabase::DoAttach(bool raiseOnError) {
  m_version = {-1, -1, -1, -1};
  m_versionText.clear();
  {
    std::lock_guard lock(ConnectLock());
    CheckInactive();
    CheckDatabaseName();
    // Held for the whole attach: a handler or the login dialog may change
    // LibraryName, which releases the database's own reference.
    const std::shared_ptr<IIBClientLibrary> library = ClientLibraryPtr();
    IIBClientLibrary& lib = *library;
    for (int i = 0; i < FIBBaseCount(); ++i) {
      TFIBBase* b = m_fibBases[static_cast<size_t>(i)];
      b->Fire(b->NotifyConnecting);
    }
    if (m_useLoginPrompt && (!LoginDialog || !LoginDialog(*this))) FIBError(feOperationCancelled);
    const std::string& dpb = DPB();
    const ISC_STATUS status =
        lib.isc_attach_database(StatusVector(), static_cast<short>(m_dbName.size()), m_dbName.c_str(),
                                &m_handle, static_cast<short>(dpb.size()), dpb.data());
    Call(status, false);
    if (status > 0) {
      m_handle = 0;
      if (raiseOnError) IBError(lib, this);
      return false;
    }
  }

  m_clockOffset = 0;
  const int dialect = DatabaseSQLDialect();
  if (dialect < m_sqlDialect) m_sqlDialect = dialect;
  if (m_synchronizeTime) {
    // A server that returns no row leaves the offset unmeasured.
    const Variant serverNow = QueryValue(*this, ClockQuerySQL());
    if (!serverNow.IsClear()) m_clockOffset = FIBNow() - serverNow.AsDate();
  }
  AfterConnectDetection();
  return true;
}

void TFIBDatabase::DoAfterAttach() {
  if (OnConnect) OnConnect(this);
  for (int i = 0; i < FIBBaseCount() && Connected(); ++i) {
    TFIBBase* b = m_fibBases[static_cast<size_t>(i)];
    b->Fire(b->NotifyConnected);
  }
}

std::string TFIBDatabase::ClockQuerySQL() const {
  return m_sqlDialect > 1 ? "SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE"
                          : "SELECT CAST('NOW' AS DATE) from RDB$DATABASE";
}

void TFIBDatabase::Disconnect(bool force) {
  if (Connected()) DoDisconnect(force);
}

void TFIBDatabase::DoDisconnect(bool force) {
  CheckActive();
  auto raiseEvent = [this](const TFIBNotifyEvent& event, const char* which) {
    if (!event) return;
    try {
      event(this);
    } catch (const std::exception& e) {
      const std::string format =
          IsDestroying()
              ? std::string("Error of %s.") + which +
                    ". Probably you are trying to get access to destroyed components. %s"
              : std::string("Error of %s.") + which + ". %s";
      throw Exception(Format(format, {FullComponentName(), e.what()}));
    }
  };
  // Forced: every failure on the way is dropped so that the detach happens.
  auto guarded = [force](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!force) throw;
    }
  };

  raiseEvent(BeforeDisconnect, "BeforeDisconnect");
  for (size_t i = 0; i < m_transactions.size(); ++i) {
    TFIBTransaction* tr = m_transactions[i];
    if (tr && tr->Active()) guarded([tr] { tr->EndByTimeoutAction(); });
  }
  for (int i = 0; i < FIBBaseCount(); ++i) {
    TFIBBase* b = m_fibBases[static_cast<size_t>(i)];
    guarded([b] { b->Fire(b->NotifyDisconnecting); });
  }
  if (!m_connectionLost) {
    try {
      IIBClientLibrary& lib = ClientLibrary();
      Call(lib.isc_detach_database(StatusVector(), &m_handle), false);
    } catch (...) {
      // A failed detach is never reported: the database ends disconnected.
    }
  }
  m_handle = 0;
  m_connectionLost = false;
  for (int i = 0; i < FIBBaseCount(); ++i) {
    TFIBBase* b = m_fibBases[static_cast<size_t>(i)];
    guarded([b] { b->Fire(b->NotifyDisconnected); });
  }
  raiseEvent(AfterDisconnect, "AfterDisconnect");
}

void TFIBDatabase::IdleTimerFired() {
  if (!Connected()) return;
  if (OnIdleConnect) {
    bool handled = false;
    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(
        TTimer::Clock::now() - m_lastActivity);
    OnIdleConnect(this, static_cast<uint32_t>(idle.count()), handled);
    if (handled) return;
  }
  Disconnect(true);
  if (OnTimeout) OnTimeout(this);
}

// --- database information ----------------------------------------------------

std::string TFIBDatabase::DatabaseInfoRaw(uint8_t item, size_t size) {
  CheckActive();
  IIBClientLibrary& lib = ClientLibrary();
  std::string buffer(size, '\0');
  const char items[1] = {static_cast<char>(item)};
  Call(lib.isc_database_info(StatusVector(), &m_handle, 1, items, static_cast<short>(size),
                             buffer.data()),
       true);
  return buffer;
}

TFIBDatabase::TInfoValue TFIBDatabase::DatabaseInfo(uint8_t item) {
  const std::string reply = DatabaseInfoRaw(item);
  TInfoValue result;
  if (static_cast<uint8_t>(reply[0]) != item) return result;
  IIBClientLibrary& lib = ClientLibrary();
  const int length = static_cast<int>(lib.isc_vax_integer(reply.data() + 1, 2));
  if (length < 0 || length > static_cast<int>(reply.size()) - 3) return result;
  result.value = static_cast<int>(lib.isc_vax_integer(reply.data() + 3, static_cast<short>(length)));
  result.present = true;
  return result;
}

int TFIBDatabase::DatabaseSQLDialect() {
  const TInfoValue v = DatabaseInfo(isc_info_db_sql_dialect);
  return v.present ? v.value : 1;
}

namespace {

// The counted text of a version reply: length byte at offset 4, text at 5.
std::string CountedText(const std::string& reply) {
  if (reply.size() < 5) return {};
  const size_t length = static_cast<uint8_t>(reply[4]);
  return reply.substr(5, std::min(length, reply.size() - 5));
}

}  // namespace

void TFIBDatabase::ReadServerVersion() {
  if (!Connected()) return;
  if (m_versionText.empty()) {
    const std::string reply = m_isFirebird ? DatabaseInfoRaw(isc_info_firebird_version)
                                           : DatabaseInfoRaw(isc_info_version, 1024);
    const uint8_t expected = m_isFirebird ? isc_info_firebird_version : isc_info_version;
    if (static_cast<uint8_t>(reply[0]) == expected) m_versionText = CountedText(reply);
  }
  // From the fifth character on, digit runs fill major, minor, release and
  // build in turn ("LI-V3.0.11.33703 Firebird 3.0" gives 3, 0, 11, 33703).
  // The last character is never examined.
  const std::string& text = m_versionText;
  int part = 0;
  int run = 0;
  for (size_t i = 4; i + 1 < text.size() && part < 4; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      run = run * 10 + (c - '0');
    } else {
      m_version[static_cast<size_t>(part++)] = run;
      run = 0;
    }
  }
}

void TFIBDatabase::AfterConnectDetection() {
  const std::string fbReply = DatabaseInfoRaw(isc_info_firebird_version);
  m_isFirebird = static_cast<uint8_t>(fbReply[0]) == isc_info_firebird_version;
  m_versionText = m_isFirebird ? CountedText(fbReply) : std::string();
  ReadServerVersion();
  m_isIB8OrLater = !m_isFirebird && m_version[0] >= 8;

  if (m_isFirebird && m_version[0] >= 2) {
    const TInfoValue cs = DatabaseInfo(frb_info_att_charset);
    m_attachmentCharSet = cs.present ? cs.value : -1;
    const std::set<int> unicode = UnicodeCharsets();
    m_isUnicodeCharSet = m_attachmentCharSet >= 0 && m_attachmentCharSet <= 255 &&
                         unicode.count(m_attachmentCharSet) > 0;
    m_isNoneCharSet = m_attachmentCharSet == 0;
    m_isUnicodeOrNone = m_isUnicodeCharSet || m_isNoneCharSet;
    const bool fb21 = m_version[0] > 2 || (m_version[0] == 2 && m_version[1] >= 1);
    bool ods111 = false;
    if (m_isUnicodeOrNone && fb21) {
      const int odsMajor = DatabaseInfo(isc_info_ods_version).value;
      const int odsMinor = DatabaseInfo(isc_info_ods_minor_version).value;
      ods111 = odsMajor > 11 || (odsMajor == 11 && odsMinor >= 1);
    }
    m_extendedCharSet = m_isUnicodeOrNone && fb21 && ods111;
  } else {
    const std::string cs = m_connectParams.CharSet();
    m_attachmentCharSet = -1;
    m_isUnicodeCharSet = cs == "UNICODE_FSS" || cs == "UTF8";
    m_isNoneCharSet = cs == "NONE" || cs.empty();
    m_isUnicodeOrNone = m_isUnicodeCharSet || m_isNoneCharSet;
    m_extendedCharSet = false;
  }
}

int TFIBDatabase::ServerMajorVersion() {
  if (m_version[0] == -1) ReadServerVersion();
  return m_version[0];
}
int TFIBDatabase::ServerMinorVersion() {
  if (m_version[0] == -1) ReadServerVersion();
  return m_version[1];
}
int TFIBDatabase::ServerRelease() {
  if (m_version[0] == -1) ReadServerVersion();
  return m_version[2];
}
int TFIBDatabase::ServerBuild() {
  if (m_version[0] == -1) ReadServerVersion();
  return m_version[3];
}

std::set<int> TFIBDatabase::UnicodeCharsets() const {
  std::set<int> ids{3};
  if (!Connected()) return ids;
  if (m_isFirebird)
    ids.insert(4);
  else if (m_isIB8OrLater)
    ids.insert({8, 59, 64});
  return ids;
}

bool TFIBDatabase::IsUnicodeCharSet(int charSetId) const {
  if (!m_extendedCharSet && !m_isNoneCharSet) return IsUnicodeConnect() && charSetId > 1;
  // The members of UnicodeCharsets(), without building the set (asked for
  // every text parameter of every statement).
  if (charSetId == 3) return true;
  if (!Connected()) return false;
  if (m_isFirebird) return charSetId == 4;
  return m_isIB8OrLater && (charSetId == 8 || charSetId == 59 || charSetId == 64);
}

int TFIBDatabase::BytesInCharSet(int charSetId) const {
  if (charSetId == 3) return 3;
  if (!Connected()) return 1;
  if (m_isFirebird) return charSetId == 4 ? 4 : 1;
  if (m_isIB8OrLater) {
    if (charSetId == 8 || charSetId == 64) return 2;
    if (charSetId == 59) return 4;
  }
  return 1;
}

bool TFIBDatabase::IsUnicodeConnect() const {
  if (Connected()) return m_isUnicodeCharSet;
  const std::string cs = const_cast<TFIBDatabase*>(this)->m_connectParams.CharSet();
  return cs == "UNICODE_FSS" || cs == "UTF8";
}

bool TFIBDatabase::IsUnicodeOrNoneConnect() const {
  if (Connected()) return m_isUnicodeOrNone;
  const std::string cs = const_cast<TFIBDatabase*>(this)->m_connectParams.CharSet();
  return cs == "UNICODE_FSS" || cs == "NONE" || cs == "UTF8" || cs.empty();
}

bool TFIBDatabase::OlderThanFirebird2() const noexcept {
  return !(Connected() && m_isFirebird && m_version[0] >= 2);
}

// --- registration --------------------------------------------------------------

int TFIBDatabase::FindTransaction(const TFIBTransaction* tr) const {
  auto it = std::find(m_transactions.begin(), m_transactions.end(), tr);
  return it == m_transactions.end() ? -1 : static_cast<int>(it - m_transactions.begin());
}

int TFIBDatabase::AddTransaction(TFIBTransaction* tr) {
  if (!tr) return -1;
  if (int i = FindTransaction(tr); i >= 0) return i;
  if (int free = FindTransaction(nullptr); free >= 0) {
    m_transactions[static_cast<size_t>(free)] = tr;
    return free;
  }
  m_transactions.push_back(tr);
  return static_cast<int>(m_transactions.size()) - 1;
}

void TFIBDatabase::RemoveTransaction(TFIBTransaction* tr) {
  if (!tr) return;
  for (auto& slot : m_transactions)
    if (slot == tr) slot = nullptr;
  if (m_defaultTransaction == tr) m_defaultTransaction = nullptr;
  if (m_defaultUpdateTransaction == tr) m_defaultUpdateTransaction = nullptr;
}

int TFIBDatabase::AddFIBBase(TFIBBase* b) { return TFIBBase::AddTo(m_fibBases, b); }

void TFIBDatabase::RemoveFIBBase(int index) {
  TFIBBase::RemoveFrom(m_fibBases, index, &TFIBBase::m_indexInDatabase);
}
