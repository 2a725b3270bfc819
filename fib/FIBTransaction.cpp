// TFIBTransaction: the TPB, start and the ends with their notifications and
// callbacks, the timeout; the binding object TFIBBase and the callback lists.
#include <algorithm>

#include "fib/FIBDatabase.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"

// --- callback lists ------------------------------------------------------------

TCallBackList::~TCallBackList() {
  Destroying();
  for (const Pair& p : m_pairs)
    if (p.data) RemoveFreeNotification(p.data);
}

int TCallBackList::Add(TTransactionCallBack handler, TComponent* data) {
  const int count = Count();
  const int index = m_pairs.Add({handler, data});
  if (index == count && data) FreeNotification(data);
  return index;
}

void TCallBackList::Remove(TTransactionCallBack handler, TComponent* data) { m_pairs.Remove({handler, data}); }

void TCallBackList::Call(bool lastFirst, TFIBTransaction* tr, TTransactionAction action, bool force) {
  m_pairs.Call([&](const Pair& p) { p.handler(p.data, tr, action, force); }, lastFirst);
}

void TCallBackList::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  m_pairs.RemoveIf([&](const Pair& p) { return p.data == AComponent; });
}

// --- binding object --------------------------------------------------------------

namespace {

bool OwnerChainLoading(const TComponent* c) {
  for (; c; c = c->Owner())
    if (c->IsLoading()) return true;
  return false;
}

std::string OwnerName(const TComponent* owner) {
  return owner ? owner->FullComponentName() : std::string();
}

}  // namespace

TFIBBase::~TFIBBase() {
  SetDatabase(nullptr);
  SetTransaction(nullptr);
}

template <class TOwner>
bool TFIBBase::Rebind(TOwner*& current, TOwner* next, int& index) {
  if (next == current) return false;
  if (current) current->RemoveFIBBase(index);
  current = next;
  index = -1;
  if (!next) return false;
  index = next->AddFIBBase(this);
  return true;
}

void TFIBBase::SetDatabase(TFIBDatabase* database) {
  if (!Rebind(m_database, database, m_indexInDatabase)) return;
  if (!m_transaction && m_owner && !OwnerChainLoading(m_owner))
    SetTransaction(database->DefaultTransaction());
}

void TFIBBase::SetTransaction(TFIBTransaction* transaction) {
  if (!Rebind(m_transaction, transaction, m_indexInTransaction)) return;
  if ((!m_database || transaction->FindDatabase(m_database) < 0) && transaction->DatabaseCount() > 0)
    SetDatabase(transaction->MainDatabase());
}

int TFIBBase::AddTo(std::vector<TFIBBase*>& list, TFIBBase* b) {
  list.push_back(b);
  return static_cast<int>(list.size()) - 1;
}

void TFIBBase::RemoveFrom(std::vector<TFIBBase*>& list, int index, int TFIBBase::*slot) {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return;
  TFIBBase* removed = list[static_cast<size_t>(index)];
  TFIBBase* last = list.back();
  list[static_cast<size_t>(index)] = last;
  last->*slot = index;
  list.pop_back();
  removed->*slot = -1;
}

void TFIBBase::ReleaseAll(std::vector<TFIBBase*>& list, const std::function<void(TFIBBase&)>& tell,
                          const std::function<void(TFIBBase&)>& cut) {
  for (size_t i = list.size(); i-- > 0;) {
    if (i >= list.size()) continue;  // a notification may take others out
    try {
      tell(*list[i]);
    } catch (...) {
      // Nothing may leave a destructor; the binding is cut loose below anyway.
    }
  }
  while (!list.empty()) {
    TFIBBase* b = list.back();
    list.pop_back();
    cut(*b);
  }
}

void TFIBBase::DatabaseNotAssigned() const { FIBError(feDatabaseNotAssigned, {OwnerName(m_owner)}); }

void TFIBBase::TransactionNotAssigned() const { FIBError(feTransactionNotAssigned, {OwnerName(m_owner)}); }

isc_db_handle* TFIBBase::DBHandle() const {
  CheckDatabase();
  return m_database->HandleAddress();
}

// --- transaction ---------------------------------------------------------------------

TFIBTransaction::TFIBTransaction(TComponent* AOwner) : TComponent(AOwner) {
  m_trParams.OnChanging = [this](TStrings*) {
    if (Active()) FIBError(feInTransaction, {FullComponentName()});
  };
  m_trParams.OnChange = [this](TStrings*) { m_rebuildTPB = true; };
  for (auto& list : m_callBacks) list = std::make_unique<TCallBackList>();
}

TFIBTransaction::~TFIBTransaction() {
  EndForDestruction();
  m_timer.reset();
  try {
    CallCallBacks(cbDestroyed, true, TARollback, false);
  } catch (...) {
    // Destructors never throw; a failing listener does not keep us alive.
  }
  TFIBBase::ReleaseAll(m_fibBases, [this](TFIBBase& b) { b.Fire(b.NotifyTransactionFreed, this); },
                       [](TFIBBase& b) {
                         b.m_transaction = nullptr;
                         b.m_indexInTransaction = -1;
                       });
  RemoveDatabases();
  m_trParams.OnChanging = nullptr;
  m_trParams.OnChange = nullptr;
}

void TFIBTransaction::Loaded() {
  TComponent::Loaded();
  if (m_storedActive && !Active()) StartTransaction();
}

void TFIBTransaction::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
}

void TFIBTransaction::SetActive(bool value) {
  if (IsLoading()) {
    m_storedActive = value;
    return;
  }
  // An explicit assignment overrides whatever the form said.
  m_storedActive = false;
  if (value && !Active())
    StartTransaction();
  else if (!value && Active())
    Rollback();
}

void TFIBTransaction::SetDefaultDatabase(TFIBDatabase* value) {
  CheckNotInTransaction();
  if (value == m_defaultDatabase) return;
  TFIBDatabase* old = m_defaultDatabase;
  const int oldIndex = old ? FindDatabase(old) : -1;
  if (value && FindDatabase(value) < 0) {
    AddDatabase(value);
    // The new database takes the old one's place in the list.
    if (oldIndex >= 0) {
      const int newIndex = DatabaseCount() - 1;
      std::swap(m_databases[static_cast<size_t>(oldIndex)], m_databases[static_cast<size_t>(newIndex)]);
      std::swap(m_databaseParams[static_cast<size_t>(oldIndex)],
                m_databaseParams[static_cast<size_t>(newIndex)]);
    }
  }
  if (old) RemoveDatabase(old);
  m_defaultDatabase = value;
}

void TFIBTransaction::SetTimeout(uint32_t value) {
  m_timeout = value;
  SetTimeoutTimer(m_timer, value, Active(), [this] { TimeoutTimerFired(); });
}

void TFIBTransaction::TimeoutTimerFired() {
  if (!Active()) return;
  if (!m_idleMark) {
    m_idleMark = true;
    return;
  }
  EndTransaction(m_timeoutAction, true);
  if (OnTimeout) OnTimeout(this);
}

void TFIBTransaction::StartStoredOrFail() {
  // A form that stored Active = True but whose start has not happened yet
  // (say, its database was not connected when loading finished).
  if (m_storedActive && !Active()) StartTransaction();
  if (!Active()) FIBError(feNotInTransaction, {FullComponentName()});
}

void TFIBTransaction::CheckNotInTransaction() const {
  if (Active()) FIBError(feInTransaction, {FullComponentName()});
}

const std::string& TFIBTransaction::TPB() {
  if (m_rebuildTPB) {
    // A bad line stays reported: the flag is cleared only after a good build.
    // Lines the build trimmed in the list set the flag again, but they give the
    // same bytes, so the block is not built anew for them.
    m_tpb = BuildTPB(m_trParams);
    m_rebuildTPB = false;
  }
  return m_tpb;
}

void TFIBTransaction::RaiseFromStatus() { IBError(m_databases.at(0)->ClientLibrary(), this); }

// --- databases ---------------------------------------------------------------------

TFIBDatabase* TFIBTransaction::MainDatabase() const {
  if (m_defaultDatabase) return m_defaultDatabase;
  return m_databases.empty() ? nullptr : m_databases.front();
}

int TFIBTransaction::FindDatabase(const TFIBDatabase* db) const {
  auto it = std::find(m_databases.begin(), m_databases.end(), db);
  return it == m_databases.end() ? -1 : static_cast<int>(it - m_databases.begin());
}

int TFIBTransaction::AddDatabase(TFIBDatabase* db, const std::string& params) {
  if (!db) return -1;
  if (int i = FindDatabase(db); i >= 0) return i;
  if (!m_databases.empty() && m_databases.front()->LibraryName() != db->LibraryName())
    throw Exception(Format("%s.\r\nTransaction can't work with different client library.",
                           {FullComponentName()}));
  db->AddTransaction(this);
  m_databases.push_back(db);
  m_databaseParams.push_back(params);
  return static_cast<int>(m_databases.size()) - 1;
}

void TFIBTransaction::RemoveDatabase(int index) {
  if (index < 0 || index >= DatabaseCount()) return;
  TFIBDatabase* db = m_databases[static_cast<size_t>(index)];
  m_databases.erase(m_databases.begin() + index);
  m_databaseParams.erase(m_databaseParams.begin() + index);
  if (m_defaultDatabase == db) m_defaultDatabase = nullptr;
  db->RemoveTransaction(this);
}

void TFIBTransaction::RemoveDatabase(TFIBDatabase* db) { RemoveDatabase(FindDatabase(db)); }

void TFIBTransaction::RemoveDatabases() {
  while (!m_databases.empty()) RemoveDatabase(DatabaseCount() - 1);
}

void TFIBTransaction::SetDatabaseParams(int index, const std::string& text) {
  m_databaseParams.at(static_cast<size_t>(index)) = text;
}

// --- binding objects and callbacks ---------------------------------------------------

int TFIBTransaction::AddFIBBase(TFIBBase* b) { return TFIBBase::AddTo(m_fibBases, b); }

void TFIBTransaction::RemoveFIBBase(int index) {
  TFIBBase::RemoveFrom(m_fibBases, index, &TFIBBase::m_indexInTransaction);
}

int TFIBTransaction::RegisterCallBack(TCallBackKind kind, TTransactionCallBack handler,
                                      TComponent* data) {
  return m_callBacks.at(static_cast<size_t>(kind))->Add(handler, data);
}

void TFIBTransaction::UnRegisterCallBack(TCallBackKind kind, TTransactionCallBack handler,
                                         TComponent* data) {
  m_callBacks.at(static_cast<size_t>(kind))->Remove(handler, data);
}

void TFIBTransaction::CallCallBacks(TCallBackKind kind, bool lastFirst, TTransactionAction action,
                                    bool force) {
  m_callBacks.at(static_cast<size_t>(kind))->Call(lastFirst, this, action, force);
}

// --- start and end ---------------------------------------------------------------------

namespace {

// One entry of isc_start_multiple's vector (the client's TEB layout).
struct TTransactionEntry {
  isc_db_handle* database;
  ISC_LONG tpbLength;
  const char* tpb;
};

}  // namespace

void TFIBTransaction::StartTransaction() {
  CheckNotInTransaction();
  if (m_databases.empty()) FIBError(feNoDatabasesInTransaction, {FullComponentName()});
  const std::string& tpb = TPB();

  // Per-database TPBs live in `ownTPBs` until the start returns. A single
  // database (every start of a transfer) needs no allocation at all.
  const size_t count = m_databases.size();
  std::vector<std::string> ownTPBs;
  TTransactionEntry single{};
  std::vector<TTransactionEntry> entries;
  if (count > 1) entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    TFIBDatabase* db = m_databases[i];
    db->CheckActive();
    const std::string* used = &tpb;
    if (!m_databaseParams[i].empty()) {
      TStrings lines;
      lines.SetText(m_databaseParams[i]);
      if (ownTPBs.empty()) ownTPBs.resize(count);
      ownTPBs[i] = BuildTPB(lines);
      if (!ownTPBs[i].empty()) used = &ownTPBs[i];
    }
    const TTransactionEntry entry{db->HandleAddress(), static_cast<ISC_LONG>(used->size()), used->data()};
    if (count == 1) single = entry;
    else entries.push_back(entry);
  }

  for (int i = 0; i < FIBBaseCount(); ++i) {
    TFIBBase* b = m_fibBases[static_cast<size_t>(i)];
    b->Fire(b->NotifyStarting, this);
  }
  if (!Active()) {
    CallCallBacks(cbBeforeStart, true, TARollback, false);
    IIBClientLibrary& lib = m_databases.front()->ClientLibrary();
    const ISC_STATUS status = lib.isc_start_multiple(StatusVector(), &m_handle,
                                                     static_cast<short>(count), count == 1 ? &single : entries.data());
    Call(status, false);
    if (status > 0) {
      m_handle = 0;
      IBError(lib, this);
    }
    CallCallBacks(cbAfterStart, true, TARollback, false);
  }
  for (int i = 0; i < FIBBaseCount(); ++i) {
    TFIBBase* b = m_fibBases[static_cast<size_t>(i)];
    b->Fire(b->NotifyStarted, this);
  }
  m_state = tsActive;
  // The stored Active = True is applied once; after this start, ending the
  // transaction leaves it inactive like any other.
  m_storedActive = false;
  if (m_timer && m_timeout > 0) m_timer->SetEnabled(true);
}

void TFIBTransaction::EndTransaction(TTransactionAction action, bool force) {
  CheckInTransaction();
  IIBClientLibrary& lib = m_databases.at(0)->ClientLibrary();

  // Every binding's hook, last in the list first, then the callbacks in
  // registration order.
  auto notify = [&](TFIBBase::TTransactionHook TFIBBase::*hook, TCallBackKind kind) {
    for (int i = FIBBaseCount() - 1; i >= 0; --i) {
      if (i >= FIBBaseCount()) continue;
      TFIBBase* b = m_fibBases[static_cast<size_t>(i)];
      b->Fire(b->*hook, this);
    }
    CallCallBacks(kind, false, action, force);
  };
  auto notifyBefore = [&] { notify(&TFIBBase::NotifyEnding, cbBeforeEnd); };
  auto notifyAfter = [&] { notify(&TFIBBase::NotifyEnded, cbAfterEnd); };

  if (action == TARollback || action == TACommit) {
    if (m_connectionLost && action != m_timeoutAction && !force) FIBError(feCantEndSharedTransaction);
    m_state = action == TARollback ? tsDoRollback : tsDoCommit;
    notifyBefore();
    ISC_STATUS status = 0;
    if (m_connectionLost) {
      m_handle = 0;
      m_connectionLost = false;
    } else {
      status = action == TARollback ? lib.isc_rollback_transaction(StatusVector(), &m_handle)
                                    : lib.isc_commit_transaction(StatusVector(), &m_handle);
      Call(status, false);
    }
    if (force && status > 0) Call(lib.isc_rollback_transaction(StatusVector(), &m_handle), false);
    if (force)
      m_handle = 0;  // the transaction ends whatever the server said
    else if (status > 0)
      IBError(lib, this);
    notifyAfter();
  } else {
    m_state = action == TARollbackRetaining ? tsDoRollbackRetaining : tsDoCommitRetaining;
    notifyBefore();
    const ISC_STATUS status = action == TARollbackRetaining
                                  ? lib.isc_rollback_retaining(StatusVector(), &m_handle)
                                  : lib.isc_commit_retaining(StatusVector(), &m_handle);
    Call(status, true);
    notifyAfter();
  }

  if (Active()) {
    m_state = tsActive;
  } else {
    m_state = tsInactive;
    if (m_timer) m_timer->SetEnabled(false);
  }
}

void TFIBTransaction::EndForDestruction() noexcept {
  Destroying();
  if (!Active()) return;
  try {
    EndByTimeoutAction();
  } catch (...) {
    // A listener failed before the server was asked; fall through to the
    // plain rollback below so that the server does not keep the transaction
    // (and its locks) open for the rest of the attachment.
  }
  if (!Active()) return;
  try {
    TFIBDatabase* db = m_databases.empty() ? nullptr : m_databases.front();
    if (db && db->Connected()) db->ClientLibrary().isc_rollback_transaction(StatusVector(), &m_handle);
  } catch (...) {
  }
  m_handle = 0;
  m_state = tsInactive;
}

void TFIBTransaction::EndByTimeoutAction() {
  TTransactionAction action = m_timeoutAction;
  if (action == TARollbackRetaining) action = TARollback;
  if (action == TACommitRetaining) action = TACommit;
  EndTransaction(action, true);
}
