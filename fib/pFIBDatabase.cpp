// TpFIBDatabase and TpFIBTransaction: the events around connect, start and
// end, and the TPB presets.
#include "fib/pFIBDatabase.h"

#include <string>
#include <vector>

#include "fib/LikelyCast.h"

TpFIBDatabase::TpFIBDatabase(TComponent* AOwner) : TFIBDatabase(AOwner) {}

void TpFIBDatabase::Connect(bool raiseOnError) {
  if (Connected()) return;
  if (BeforeConnect) {
    bool proceed = true;
    BeforeConnect(this, DBParams(), proceed);
    if (!proceed) return;
  }
  if (!DoAttach(raiseOnError)) return;
  DoAfterAttach();
  // The schema cache file and the alias storage are off by default and not
  // part of this layer; nothing further to do after the connect.
}

void TpFIBDatabase::Disconnect(bool force) {
  if (Connected()) DoDisconnect(force);
}

void TpFIBTransaction::ApplyTPBMode() {
  if (m_tpbMode == tpbDefault) return;
  std::vector<std::string> preset = {"write", "isc_tpb_nowait"};
  if (m_tpbMode == tpbReadCommitted) {
    preset.push_back("read_committed");
    preset.push_back("rec_version");
  } else {
    preset.push_back("concurrency");
  }
  // Lines that already hold the preset stay untouched, so the TPB built from
  // them at the previous start is used again.
  TStrings& params = TRParams();
  if (params.Lines() == preset) return;
  params.BeginUpdate();
  params.Clear();
  for (const std::string& line : preset) params.Add(line);
  params.EndUpdate();
}

void TpFIBTransaction::StartTransaction() {
  if (Active()) return;
  ApplyTPBMode();
  TpFIBDatabase* db = LikelyCast<TpFIBDatabase, TpFIBDatabase>(DefaultDatabase());
  if (db && db->BeforeStartTransaction) db->BeforeStartTransaction(this);
  if (BeforeStart) BeforeStart(this);
  TFIBTransaction::StartTransaction();
  if (AfterStart) AfterStart(this);
  if (db && db->AfterStartTransaction) db->AfterStartTransaction(this);
}

void TpFIBTransaction::EndTransaction(TTransactionAction action, bool force) {
  TpFIBDatabase* db = LikelyCast<TpFIBDatabase, TpFIBDatabase>(DefaultDatabase());
  if (db && db->BeforeEndTransaction) db->BeforeEndTransaction(this, action, force);
  if (BeforeEnd) BeforeEnd(this, action, force);
  TFIBTransaction::EndTransaction(action, force);
  if (AfterEnd) AfterEnd(this, action, force);
  if (db && db->AfterEndTransaction) db->AfterEndTransaction(this, action, force);
}

void TpFIBTransaction::DoOnSQLExec(TComponent* statement, int sqlKind, int phase) {
  if (phase == 0) {
    if (BeforeSQLExecute) BeforeSQLExecute(statement, sqlKind);
  } else if (AfterSQLExecute) {
    AfterSQLExecute(statement, sqlKind);
  }
}
