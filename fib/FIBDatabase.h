// Database connection, transactions and the binding object through which
// statements and datasets name their database and transaction and hear of
// connect, disconnect, start and end.
#pragma once

#include <ibase.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fib/IB_Intf.h"
#include "fib/fib.h"
#include "fib/pFIBProps.h"
#include "runtime/Component.h"
#include "runtime/ListenerList.h"
#include "runtime/Strings.h"
#include "runtime/Timer.h"

class TFIBDatabase;
class TFIBTransaction;
class TFIBBase;

// ---------------------------------------------------------------------------
// Process-wide parts of the layer.

// Code of a DPB / TPB name (without the isc_dpb_ / isc_tpb_ prefix, lower
// case) from the sorted name tables; 0 when the name is not in the table.
int DPBNameCode(std::string_view name);
int TPBNameCode(std::string_view name);
// The table name of a code (1-based), or empty.
std::string_view DPBName(int code);
std::string_view TPBName(int code);

// Builds a DPB from parameter lines. Each line is trimmed of characters below
// 33 and written back into `lines`; raises client error 8/9 for unsupported /
// unknown names, EConvertError for a numeric item that is not an integer, and
// EFIBClientError (free text) for a string value longer than 255 bytes, which
// the one-byte item length cannot carry.
std::string BuildDPB(TStrings& lines);
// Builds a TPB the same way (client errors 10/11; lock_read / lock_write
// values longer than 255 bytes are rejected). No lines give an empty TPB.
std::string BuildTPB(TStrings& lines);

// Every database alive, in creation order (a snapshot; thread safe).
std::vector<TFIBDatabase*> DatabaseList();
// The database marked ddoIsDefaultDatabase, if any.
TFIBDatabase* DefaultDatabase();
// Shut-down of the layer: disconnects (not forced) every database still in
// the list, in list order. Runs at process exit too; calling it earlier is fine.
void FinalizeFIBLayer();

// Local time as days since 1899-12-30 (the run time's TDateTime).
double FIBNow();

// ---------------------------------------------------------------------------
// Parameter list of a database: a change marks the DPB for rebuilding; a
// change while the database is connected fails with client error 13.
class TDBParams : public TStrings {
 public:
  explicit TDBParams(TFIBDatabase& database);

 private:
  TFIBDatabase& m_database;  // owner
};

// ---------------------------------------------------------------------------
// The binding object. Every statement and dataset owns one; it keeps the
// database and transaction the owner uses and the owner's notification hooks.
// Database hooks receive the binding object, transaction hooks the transaction.
//
// The database and transaction keep raw pointers to their binding objects;
// the binding object unregisters in its destructor, and a freed database or
// transaction clears itself out of the binding first (NotifyDatabaseFreed /
// NotifyTransactionFreed run before that).
class TFIBBase {
 public:
  using TDatabaseHook = std::function<void(TFIBBase* Sender)>;
  using TTransactionHook = std::function<void(TFIBTransaction* Sender)>;

  explicit TFIBBase(TComponent* owner) : m_owner(owner) {}
  ~TFIBBase();
  TFIBBase(const TFIBBase&) = delete;
  TFIBBase& operator=(const TFIBBase&) = delete;

  TComponent* Owner() const noexcept { return m_owner; }
  TFIBDatabase* Database() const noexcept { return m_database; }
  TFIBTransaction* Transaction() const noexcept { return m_transaction; }
  // Moves the binding to `database`; a binding without a transaction takes the
  // database's DefaultTransaction (unless its owner chain is loading).
  void SetDatabase(TFIBDatabase* database);
  // Moves the binding to `transaction`; takes the transaction's main database
  // when the binding has none or one the transaction does not span.
  void SetTransaction(TFIBTransaction* transaction);

  // Client error 21 without a database, then the database's CheckActive.
  inline void CheckDatabase() const;
  // Client error 22 without a transaction, then its CheckInTransaction.
  // Inline, like TRHandle: every prepare and execution of a statement asks.
  inline void CheckTransaction() const;
  // Handle addresses for client calls, each after its check.
  isc_db_handle* DBHandle() const;
  inline isc_tr_handle* TRHandle() const;

  int IndexInDatabase() const noexcept { return m_indexInDatabase; }
  int IndexInTransaction() const noexcept { return m_indexInTransaction; }

  TDatabaseHook NotifyConnecting;       // before the database connects
  TDatabaseHook NotifyConnected;        // after it connected
  TDatabaseHook NotifyDisconnecting;    // before it disconnects
  TDatabaseHook NotifyDisconnected;     // after it disconnected
  TDatabaseHook NotifyDatabaseFreed;    // the database is being destroyed
  TTransactionHook NotifyStarting;      // before the transaction starts
  TTransactionHook NotifyStarted;       // after it started
  TTransactionHook NotifyEnding;        // before it ends (see TFIBTransaction::State)
  TTransactionHook NotifyEnded;         // after it ended
  TTransactionHook NotifyTransactionFreed;  // the transaction is being destroyed

 private:
  friend class TFIBDatabase;
  friend class TFIBTransaction;
  // The bound-object lists of a database and of a transaction. `slot` is the
  // member in which each binding keeps its index in that list: removal moves
  // the last entry into the freed place and tells it its new index.
  static int AddTo(std::vector<TFIBBase*>& list, TFIBBase* b);
  static void RemoveFrom(std::vector<TFIBBase*>& list, int index, int TFIBBase::*slot);
  // A database or transaction being destroyed: `tell` gives every binding in
  // its list the freed notification, last first (a failure is dropped:
  // nothing leaves a destructor), then `cut` lets go of each one.
  static void ReleaseAll(std::vector<TFIBBase*>& list, const std::function<void(TFIBBase&)>& tell,
                         const std::function<void(TFIBBase&)>& cut);
  // Moves this binding from `current`'s list (a database or a transaction)
  // to `next`'s and sets `current`; true when it joined a new list.
  template <class TOwner>
  bool Rebind(TOwner*& current, TOwner* next, int& index);
  [[noreturn]] void DatabaseNotAssigned() const;     // client error 21
  [[noreturn]] void TransactionNotAssigned() const;  // client error 22
  void Fire(const TDatabaseHook& hook) { if (hook) hook(this); }
  void Fire(const TTransactionHook& hook, TFIBTransaction* tr) { if (hook) hook(tr); }

  TComponent* m_owner;                        // the statement or dataset; not owned
  TFIBDatabase* m_database = nullptr;         // not owned; cleared when it is freed
  TFIBTransaction* m_transaction = nullptr;   // not owned; cleared when it is freed
  int m_indexInDatabase = -1;
  int m_indexInTransaction = -1;
};

// ---------------------------------------------------------------------------
// Transaction callbacks: (handler, data) pairs. A pair already present is
// not added twice; a component given as data is watched, and its pairs are
// dropped when it is destroyed. Like all transaction work they are used on
// the one thread the program runs its work on, so nothing is locked.
enum TCallBackKind { cbBeforeStart = 0, cbAfterStart = 1, cbBeforeEnd = 2, cbAfterEnd = 3, cbDestroyed = 4 };
// One handler type for every kind; start and destroyed callbacks get
// TARollback / false for the action and force arguments.
using TTransactionCallBack = void (*)(TComponent* Data, TFIBTransaction* Transaction,
                                      TTransactionAction Action, bool Force);

class TCallBackList : public TComponent {
 public:
  TCallBackList() = default;
  ~TCallBackList() override;
  int Add(TTransactionCallBack handler, TComponent* data);
  void Remove(TTransactionCallBack handler, TComponent* data);
  int Count() const { return static_cast<int>(m_pairs.size()); }
  // Calls the pairs in registration order, or last registered first. A
  // handler may register and unregister pairs: one it drops (or whose data
  // it destroys) is not called afterwards, one it adds waits for the next call.
  void Call(bool lastFirst, TFIBTransaction* tr, TTransactionAction action, bool force);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  struct Pair {
    TTransactionCallBack handler;
    TComponent* data;  // not owned; dropped when destroyed
    bool operator==(const Pair&) const = default;
  };
  TListenerList<Pair> m_pairs;
};

// ---------------------------------------------------------------------------
// One attachment to a Firebird database. Owns its client library object and
// its internal transaction; keeps non-owning lists of the transactions and
// binding objects that name it.
class TFIBDatabase : public TComponent {
 public:
  explicit TFIBDatabase(TComponent* AOwner = nullptr);
  ~TFIBDatabase() override;

  // --- published properties
  bool Connected() const noexcept { return m_handle != 0; }
  // True connects (raising on error); False disconnects (not forced).
  void SetConnected(bool value);
  const std::string& DBName() const noexcept { return m_dbName; }
  void SetDBName(const std::string& value);  // client error 13 while connected
  TDBParams& DBParams() { return *m_dbParams; }
  const TDBParams& DBParams() const { return *m_dbParams; }
  void SetDBParams(const TStrings& value) { m_dbParams->Assign(value); }
  TFIBTransaction* DefaultTransaction() const noexcept { return m_defaultTransaction; }
  void SetDefaultTransaction(TFIBTransaction* value);
  TFIBTransaction* DefaultUpdateTransaction() const noexcept { return m_defaultUpdateTransaction; }
  void SetDefaultUpdateTransaction(TFIBTransaction* value);
  int SQLDialect() const noexcept { return m_sqlDialect; }
  // Client error 61 "SQL Dialect invalid" below 1, or above the database's own
  // dialect while connected.
  void SetSQLDialect(int value);
  uint32_t Timeout() const noexcept { return m_timeout; }
  void SetTimeout(uint32_t value);
  bool UseLoginPrompt() const noexcept { return m_useLoginPrompt; }
  void SetUseLoginPrompt(bool v) { m_useLoginPrompt = v; }
  bool UpperOldNames() const noexcept { return m_upperOldNames; }
  void SetUpperOldNames(bool v) { m_upperOldNames = v; }
  bool SynchronizeTime() const noexcept { return m_synchronizeTime; }
  void SetSynchronizeTime(bool v) { m_synchronizeTime = v; }
  TConnectParams& ConnectParams() { return m_connectParams; }
  const std::string& LibraryName() const noexcept { return m_libraryName; }
  // Check inactive; a different name releases the library object.
  void SetLibraryName(const std::string& value);
  TFIBUseRepositories UseRepositories() const noexcept { return m_useRepositories; }
  void SetUseRepositories(TFIBUseRepositories v) { m_useRepositories = v; }
  TDesignDBOptions DesignDBOptions() const noexcept { return m_designDBOptions; }
  void SetDesignDBOptions(TDesignDBOptions v) { m_designDBOptions = v; }

  TFIBNotifyEvent OnConnect;         // after a successful connect
  TFIBNotifyEvent BeforeDisconnect;
  TFIBNotifyEvent AfterDisconnect;
  TFIBNotifyEvent OnTimeout;         // after the idle timeout closed the connection
  // Asked before the idle timeout closes the connection; setting Handled keeps it.
  std::function<void(TFIBDatabase* Sender, uint32_t IdleTicks, bool& Handled)> OnIdleConnect;

  // --- connect and disconnect
  // Connects; with raiseOnError false a refused attach returns quietly.
  // TFIBDatabase raises client error 13 when already connected.
  virtual void Connect(bool raiseOnError = true);
  // Disconnects; forced, every failure on the way is swallowed.
  virtual void Disconnect(bool force = false);
  void Open() { Connect(true); }
  void Close() { Disconnect(false); }
  void ForceClose() { Disconnect(true); }

  // Client error 12 without a handle. Inline, like ClientLibrary: every
  // statement's prepare and client call asks.
  void CheckActive() const {
    if (!Connected()) RaiseClosed();
  }
  void CheckInactive() const;        // client error 13 with a handle
  void CheckDatabaseName() const;    // client error 14 with an empty DBName

  // --- the client side
  isc_db_handle Handle() const noexcept { return m_handle; }
  isc_db_handle* HandleAddress() noexcept { return &m_handle; }
  // The client library, loaded on first need (raises the loader's errors).
  IIBClientLibrary& ClientLibrary() { return m_clientLibrary ? *m_clientLibrary : LoadLibraryNow(); }
  std::shared_ptr<IIBClientLibrary> ClientLibraryPtr();
  bool ClientLibraryLoaded() const noexcept { return m_clientLibrary != nullptr; }
  // Result check of every client call: restores the FPU control word,
  // restarts the idle timer, and with raise set and status > 0 raises from
  // the status vector with this database as sender. Returns status.
  // Inline: every client call of every statement passes here.
  ISC_STATUS Call(ISC_STATUS status, bool raise) {
    RestoreFPUControlWord();
    if (m_idleTimer && m_idleTimer->Enabled()) NoteActivity();
    if (raise && status > 0) RaiseFromStatus();
    return status;
  }
  // The DPB as the next connect sends it (built now if DBParams changed).
  const std::string& DPB();

  // --- database information
  struct TInfoValue {
    int value = 0;
    bool present = false;
  };
  // One isc_database_info request for one integer item (raises on failure).
  TInfoValue DatabaseInfo(uint8_t item);
  // Raw reply of one info request (512 bytes, or `size`).
  std::string DatabaseInfoRaw(uint8_t item, size_t size = 512);
  // The database's own dialect (1 when the server does not say).
  int DatabaseSQLDialect();

  // --- server facts for statements and fields (valid while connected)
  bool IsFirebirdConnect() const noexcept { return Connected() && m_isFirebird; }
  bool IsIB8OrLater() const noexcept { return m_isIB8OrLater; }
  // Server version parts, -1 when not read; parsed on first need.
  int ServerMajorVersion();
  int ServerMinorVersion();
  int ServerRelease();
  int ServerBuild();
  const std::string& ServerVersionText() const noexcept { return m_versionText; }
  std::set<int> UnicodeCharsets() const;
  bool IsUnicodeCharSet(int charSetId) const;
  int BytesInCharSet(int charSetId) const;
  bool IsUnicodeConnect() const;
  bool IsUnicodeOrNoneConnect() const;
  bool IsNoneConnect() const noexcept { return m_isNoneCharSet; }
  // The extended-charset flag (Firebird 2.1+ on ODS 11.1+, Unicode or NONE).
  bool NeedUnicodeFieldsTranslation() const noexcept { return m_extendedCharSet; }
  bool OlderThanFirebird2() const noexcept;
  int AttachmentCharSetId() const noexcept { return m_attachmentCharSet; }

  // --- clock
  // Local time minus server time in days, measured at connect; 0 when not measured.
  double ClockOffset() const noexcept { return m_clockOffset; }
  void SetClockOffset(double days) noexcept { m_clockOffset = days; }
  // The SQL text of the clock query for the current dialect. Connect runs it
  // as a one-row query in the internal transaction (QueryValue).
  std::string ClockQuerySQL() const;

  // The database's own transaction (TACommit on timeout, 1 s timeout,
  // write / nowait / read_committed / rec_version); runs its own queries.
  TFIBTransaction* InternalTransaction() const noexcept { return m_internalTransaction.get(); }

  // --- registration (used by transactions and binding objects)
  int AddTransaction(TFIBTransaction* tr);     // first empty slot is reused
  void RemoveTransaction(TFIBTransaction* tr);
  int TransactionCount() const noexcept { return static_cast<int>(m_transactions.size()); }
  TFIBTransaction* Transactions(int index) const { return m_transactions.at(static_cast<size_t>(index)); }
  int FindTransaction(const TFIBTransaction* tr) const;
  int AddFIBBase(TFIBBase* b);                 // appended
  void RemoveFIBBase(int index);               // last entry moves into the slot
  int FIBBaseCount() const noexcept { return static_cast<int>(m_fibBases.size()); }
  TFIBBase* FIBBases(int index) const { return m_fibBases.at(static_cast<size_t>(index)); }

  // --- idle timeout (a message-loop timer of Timeout ms, restarted by every result check)
  bool IdleTimerActive() const noexcept { return m_idleTimer && m_idleTimer->Enabled(); }
  // The timer's tick: asks OnIdleConnect, else force-disconnects and raises OnTimeout.
  void IdleTimerFired();

  // The login dialog shown before attaching when UseLoginPrompt is set; it
  // reads and writes user_name, password and sql_role_name in DBParams and
  // returns false when cancelled. The window layer fills it in; while it is
  // empty, a login prompt counts as cancelled (client error 7).
  static inline std::function<bool(TFIBDatabase& db)> LoginDialog;

  // Marks the connection as lost; the next disconnect drops the handle without
  // calling the server (the lost-connection machinery sets it).
  void SetConnectionLost(bool lost) noexcept { m_connectionLost = lost; }

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Connect steps 3-14, shared by TpFIBDatabase: forget the version, attach
  // under the connect lock, read the dialect, clock query, detection.
  // Returns false when the attach failed quietly.
  bool DoAttach(bool raiseOnError);
  // Connect steps 15-17.
  void DoAfterAttach();
  // Disconnect steps 1-7 (only when connected).
  void DoDisconnect(bool force);
  // The first steps of destruction, up to the forced disconnect; derived
  // destructors call it first so that their overrides take part. Repeating
  // it does nothing.
  void CloseForDestruction() noexcept;

 private:
  friend class TDBParams;
  void AfterConnectDetection();
  void ReadServerVersion();
  void RemoveFromList() noexcept;
  void DBParamsChanging();
  // Either default transaction: joins it to this database (and this database
  // to it as its default where it has none) before it takes the slot.
  void SetDefault(TFIBTransaction*& slot, TFIBTransaction* value);

  std::unique_ptr<TDBParams> m_dbParams;
  TConnectParams m_connectParams;
  std::string m_dbName;
  std::string m_libraryName = kDefaultLibraryName;
  TFIBTransaction* m_defaultTransaction = nullptr;        // not owned; cleared when it goes
  TFIBTransaction* m_defaultUpdateTransaction = nullptr;  // not owned; cleared when it goes
  int m_sqlDialect = 1;
  uint32_t m_timeout = 0;
  bool m_useLoginPrompt = false;
  bool m_upperOldNames = false;
  bool m_synchronizeTime = true;
  TFIBUseRepositories m_useRepositories = kDefaultUseRepositories;
  TDesignDBOptions m_designDBOptions = ddoStoreConnected;
  bool m_storedConnected = false;  // Connected as read from a form

  std::shared_ptr<IIBClientLibrary> m_clientLibrary;
  IIBClientLibrary& LoadLibraryNow();
  [[noreturn]] void RaiseClosed() const;
  isc_db_handle m_handle = 0;
  bool m_connectionLost = false;
  std::string m_dpb;
  bool m_rebuildDPB = true;
  std::vector<TFIBTransaction*> m_transactions;  // not owned; null = free slot
  std::vector<TFIBBase*> m_fibBases;             // not owned
  std::unique_ptr<TFIBTransaction> m_internalTransaction;

  std::string m_versionText;
  std::array<int, 4> m_version{-1, -1, -1, -1};
  bool m_isFirebird = false;
  bool m_isIB8OrLater = false;
  bool m_isUnicodeCharSet = false;
  bool m_isNoneCharSet = false;
  bool m_isUnicodeOrNone = false;
  bool m_extendedCharSet = false;
  int m_attachmentCharSet = -1;
  double m_clockOffset = 0;

  void NoteActivity();                  // restarts the idle timer
  [[noreturn]] void RaiseFromStatus();  // the error in the status vector
  std::unique_ptr<TTimer> m_idleTimer;  // exists while Timeout is non-zero
  TTimer::Clock::time_point m_lastActivity{};
};

// ---------------------------------------------------------------------------
// One Firebird transaction over one or more connected databases.
class TFIBTransaction : public TComponent {
 public:
  // Ending states, read by bound statements and datasets while notified.
  enum TState : uint8_t {
    tsActive = 0,
    tsInactive = 1,
    tsDoRollback = 2,
    tsDoRollbackRetaining = 3,
    tsDoCommit = 4,
    tsDoCommitRetaining = 5,
  };

  explicit TFIBTransaction(TComponent* AOwner = nullptr);
  ~TFIBTransaction() override;

  // --- published properties
  bool Active() const noexcept { return m_handle != 0; }
  // True on an inactive transaction starts it; False on an active one rolls back.
  void SetActive(bool value);
  TFIBDatabase* DefaultDatabase() const noexcept { return m_defaultDatabase; }
  void SetDefaultDatabase(TFIBDatabase* value);
  uint32_t Timeout() const noexcept { return m_timeout; }
  void SetTimeout(uint32_t value);
  TTransactionAction TimeoutAction() const noexcept { return m_timeoutAction; }
  void SetTimeoutAction(TTransactionAction v) { m_timeoutAction = v; }
  TStrings& TRParams() { return m_trParams; }
  const TStrings& TRParams() const { return m_trParams; }
  void SetTRParams(const TStrings& value) { m_trParams.Assign(value); }
  TFIBNotifyEvent OnTimeout;

  // --- start and end (virtual in this order: end, statement notification,
  // start, commit, commit retaining, rollback, rollback retaining)
  virtual void EndTransaction(TTransactionAction action, bool force);
  // Told by statements before (phase 0) and after (phase 1) they execute.
  virtual void DoOnSQLExec(TComponent* statement, int sqlKind, int phase) {}
  virtual void StartTransaction();
  virtual void Commit() { EndTransaction(TACommit, false); }
  virtual void CommitRetaining() { EndTransaction(TACommitRetaining, false); }
  virtual void Rollback() { EndTransaction(TARollback, false); }
  virtual void RollbackRetaining() { EndTransaction(TARollbackRetaining, false); }

  // Client error 15 when inactive. Inline: an active transaction, by far the
  // usual case, answers without a call.
  void CheckInTransaction() {
    if (!Active()) StartStoredOrFail();
  }
  void CheckNotInTransaction() const;  // client error 16 when active

  // --- client side
  isc_tr_handle Handle() const noexcept { return m_handle; }
  isc_tr_handle* HandleAddress() noexcept { return &m_handle; }
  TState State() const noexcept { return m_state; }
  // Result check: restores the FPU word, clears the idle mark, passes the
  // status to every database's check without raising, and with raise set and
  // status > 0 raises from the status vector with this transaction as sender.
  // Inline like the database's: every client call of a statement passes here.
  ISC_STATUS Call(ISC_STATUS status, bool raise) {
    RestoreFPUControlWord();
    m_idleMark = false;
    for (TFIBDatabase* db : m_databases) db->Call(status, false);
    if (raise && status > 0) RaiseFromStatus();
    return status;
  }
  // The TPB as the next start sends it (built now if TRParams changed).
  const std::string& TPB();

  // --- databases
  TFIBDatabase* MainDatabase() const;  // DefaultDatabase, else the first listed
  // Adds `db` (nothing for null; an already listed one keeps its index).
  // A database with another LibraryName than the first fails.
  int AddDatabase(TFIBDatabase* db, const std::string& params = {});
  void RemoveDatabase(int index);
  void RemoveDatabase(TFIBDatabase* db);
  void RemoveDatabases();
  int FindDatabase(const TFIBDatabase* db) const;
  int DatabaseCount() const noexcept { return static_cast<int>(m_databases.size()); }
  TFIBDatabase* Databases(int index) const { return m_databases.at(static_cast<size_t>(index)); }
  // Alternative TRParams text for one listed database (empty: the transaction's TPB).
  void SetDatabaseParams(int index, const std::string& text);

  // --- binding objects and callbacks
  int AddFIBBase(TFIBBase* b);
  void RemoveFIBBase(int index);
  int FIBBaseCount() const noexcept { return static_cast<int>(m_fibBases.size()); }
  TFIBBase* FIBBases(int index) const { return m_fibBases.at(static_cast<size_t>(index)); }
  int RegisterCallBack(TCallBackKind kind, TTransactionCallBack handler, TComponent* data);
  void UnRegisterCallBack(TCallBackKind kind, TTransactionCallBack handler, TComponent* data);

  // --- timeout (a message-loop timer of Timeout ms, running while active)
  bool TimeoutTimerActive() const noexcept { return m_timer && m_timer->Enabled(); }
  // The timer's tick: ends an idle transaction by TimeoutAction (forced) and
  // raises OnTimeout; a transaction used since the last tick is only marked.
  void TimeoutTimerFired();

  // Marks the connection as lost; the next hard end drops the handle without
  // calling the server.
  void SetConnectionLost(bool lost) noexcept { m_connectionLost = lost; }

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Ends an active transaction the way a disconnect or destruction does:
  // TimeoutAction with the retaining variants taken as their hard ones, forced.
  void EndByTimeoutAction();
  // The first step of destruction: ends an active transaction by
  // TimeoutAction; when that fails, rolls it back on the server anyway.
  // Derived destructors call it first so that their overrides take part.
  void EndForDestruction() noexcept;
  bool m_storedActive = false;  // Active as read from a form

 private:
  friend class TFIBDatabase;
  void CallCallBacks(TCallBackKind kind, bool lastFirst, TTransactionAction action, bool force);
  // CheckInTransaction on an inactive transaction.
  void StartStoredOrFail();

  TStrings m_trParams;
  TFIBDatabase* m_defaultDatabase = nullptr;  // not owned; also in m_databases
  uint32_t m_timeout = 0;
  TTransactionAction m_timeoutAction = TARollback;
  isc_tr_handle m_handle = 0;
  std::vector<TFIBDatabase*> m_databases;    // not owned; registered with each
  std::vector<std::string> m_databaseParams; // one text per database entry
  std::vector<TFIBBase*> m_fibBases;         // not owned
  std::string m_tpb;
  bool m_rebuildTPB = true;
  TState m_state = tsInactive;
  bool m_connectionLost = false;
  bool m_idleMark = false;
  [[noreturn]] void RaiseFromStatus();  // the error in the status vector
  std::unique_ptr<TTimer> m_timer;  // exists while Timeout is non-zero
  std::array<std::unique_ptr<TCallBackList>, 5> m_callBacks;
};

void TFIBBase::CheckDatabase() const {
  if (!m_database) DatabaseNotAssigned();
  m_database->CheckActive();
}

void TFIBBase::CheckTransaction() const {
  if (!m_transaction) TransactionNotAssigned();
  m_transaction->CheckInTransaction();
}

isc_tr_handle* TFIBBase::TRHandle() const {
  CheckTransaction();
  return m_transaction->HandleAddress();
}
