// The property-richer database and transaction classes the tool uses: events
// around connect and around every transaction start and end, and the TPB
// presets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "fib/FIBDatabase.h"
#include "fib/pFIBProps.h"

// (transaction, action, force) around the end of a transaction.
using TEndTrEvent =
    std::function<void(TFIBTransaction* Sender, TTransactionAction Action, bool Force)>;
// (statement, its SQL kind) around a statement's execution.
using TStatementEvent = std::function<void(TComponent* Statement, int SQLKind)>;
// Called before connecting; clearing Continue cancels the connect silently.
using TpFIBLoginEvent = std::function<void(TFIBDatabase* Database, TStrings& LoginParams, bool& Continue)>;

class TpFIBDatabase : public TFIBDatabase {
 public:
  explicit TpFIBDatabase(TComponent* AOwner = nullptr);
  ~TpFIBDatabase() override { CloseForDestruction(); }

  // Connected already: returns quietly (TFIBDatabase raises client error 13).
  void Connect(bool raiseOnError = true) override;
  void Disconnect(bool force = false) override;

  TpFIBLoginEvent BeforeConnect;   // also published as OnLogin
  TpFIBLoginEvent& OnLogin() { return BeforeConnect; }
  TFIBNotifyEvent& AfterConnect() { return OnConnect; }
  TFIBNotifyEvent BeforeStartTransaction;  // sender: the transaction
  TFIBNotifyEvent AfterStartTransaction;
  TEndTrEvent BeforeEndTransaction;
  TEndTrEvent AfterEndTransaction;

  uint32_t WaitForRestoreConnect() const noexcept { return m_waitForRestoreConnect; }
  void SetWaitForRestoreConnect(uint32_t v) { m_waitForRestoreConnect = v; }
  bool SaveAliasParamsAfterConnect() const noexcept { return m_saveAliasParams; }
  void SetSaveAliasParamsAfterConnect(bool v) { m_saveAliasParams = v; }
  const std::string& AliasName() const noexcept { return m_aliasName; }
  void SetAliasName(const std::string& v) { m_aliasName = v; }
  TCacheSchemaOptions& CacheSchemaOptions() { return m_cacheSchemaOptions; }

 private:
  // A new component holds 0, though the declared (stored) default is 30000.
  uint32_t m_waitForRestoreConnect = 0;
  bool m_saveAliasParams = true;
  std::string m_aliasName;
  TCacheSchemaOptions m_cacheSchemaOptions;
};

class TpFIBTransaction : public TFIBTransaction {
 public:
  explicit TpFIBTransaction(TComponent* AOwner = nullptr) : TFIBTransaction(AOwner) {}
  // Ends an active transaction while this class's events still take part.
  ~TpFIBTransaction() override { EndForDestruction(); }

  // Active already: returns quietly. Applies the TPBMode preset, then raises
  // the database's BeforeStartTransaction, BeforeStart, starts, AfterStart,
  // the database's AfterStartTransaction.
  void StartTransaction() override;
  void EndTransaction(TTransactionAction action, bool force) override;
  void DoOnSQLExec(TComponent* statement, int sqlKind, int phase) override;

  TTPBMode TPBMode() const noexcept { return m_tpbMode; }
  void SetTPBMode(TTPBMode v) { m_tpbMode = v; }
  const std::string& UserKindTransaction() const noexcept { return m_userKind; }
  void SetUserKindTransaction(const std::string& v) { m_userKind = v; }

  TFIBNotifyEvent BeforeStart;
  TFIBNotifyEvent AfterStart;
  TEndTrEvent BeforeEnd;
  TEndTrEvent AfterEnd;
  TStatementEvent BeforeSQLExecute;
  TStatementEvent AfterSQLExecute;

 private:
  void ApplyTPBMode();

  TTPBMode m_tpbMode = tpbReadCommitted;
  std::string m_userKind = "NoUserKind";
};
