// Database connection against the embedded engine: attach and detach, a
// refused attach, dialect lowering, what is learned after connecting, the
// notifications of bound objects around connect and disconnect.
#include "fib/FIBDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "FibTestSupport.h"
#include "fib/pFIBDatabase.h"

using fibtest::CreateDatabase;
using fibtest::TScratchDir;

namespace {

// The tool's arrangement: a form "Form6" owning pFIBDatabase and its two
// transactions.
class EmbeddedDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    form.SetName("Form6");
    db = new TpFIBDatabase(&form);
    db->SetName("pFIBDatabase");
    db->DBParams().Add("user_name=SYSDBA");
    db->DBParams().Add("password=k");
    tr1 = new TpFIBTransaction(&form);
    tr1->SetName("pFIBTransaction1");
    tr1->SetDefaultDatabase(db);
    tr1->SetTPBMode(tpbDefault);
    for (const char* l : {"isc_tpb_read", "isc_tpb_read_committed", "isc_tpb_nowait", "isc_tpb_rec_version"})
      tr1->TRParams().Add(l);
    tr2 = new TpFIBTransaction(&form);
    tr2->SetName("pFIBTransaction2");
    tr2->SetDefaultDatabase(db);
    tr2->SetTPBMode(tpbDefault);
    for (const char* l : {"write", "nowait", "rec_version", "read_committed"}) tr2->TRParams().Add(l);
    db->SetDefaultTransaction(tr1);
    db->SetDefaultUpdateTransaction(tr2);
    db->SetSQLDialect(3);
  }

  TScratchDir dir;
  TComponent form;
  TpFIBDatabase* db = nullptr;
  TpFIBTransaction* tr1 = nullptr;
  TpFIBTransaction* tr2 = nullptr;
};

}  // namespace

TEST_F(EmbeddedDatabase, AttachesOnceAndDetaches) {
  db->SetDBName(CreateDatabase(dir, "a.fdb"));
  db->SetConnected(false);  // disconnected: nothing happens
  int connects = 0;
  db->OnConnect = [&](TComponent*) { ++connects; };
  db->SetConnected(true);
  db->SetConnected(true);
  EXPECT_TRUE(db->Connected());
  EXPECT_NE(db->Handle(), 0u);
  EXPECT_EQ(connects, 1);
  EXPECT_EQ(db->ClientLibrary().LibraryName(), "gds32.dll");

  // While connected, the connection settings are frozen.
  EXPECT_THROW(db->DBParams().Add("lc_ctype=UTF8"), EFIBClientError);
  EXPECT_THROW(db->SetDBName("other.fdb"), EFIBClientError);
  EXPECT_THROW(db->SetLibraryName("other.so"), EFIBClientError);
  // Through the base class a second connect is an error, not a no-op.
  try {
    db->TFIBDatabase::Connect(true);
    FAIL() << "connected twice";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Cannot perform operation -- DB is currently open.");
  }

  db->SetConnected(false);
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->Handle(), 0u);
  try {
    db->CheckActive();
    FAIL() << "active";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Form6.pFIBDatabase: Cannot perform operation -- DB is not open.");
  }
}

TEST_F(EmbeddedDatabase, RefusedAttachComposesTheServerMessage) {
  db->SetDBName(dir.File("missing/none.fdb"));
  try {
    db->SetConnected(true);
    FAIL() << "attached";
  } catch (const EFIBInterBaseError& e) {
    const std::string m = e.Message();
    EXPECT_EQ(m.rfind("Form6.pFIBDatabase:\r\n", 0), 0u) << m;
    EXPECT_EQ(e.Sender(), db);
    EXPECT_EQ(e.SqlCode(), -902);
    EXPECT_EQ(e.ServerErrorCode(), isc_io_error);
    // The SQL message line, then one line per server fragment, each ending ".\r\n".
    EXPECT_EQ(m.substr(m.size() - 3), ".\r\n");
    EXPECT_NE(m.find("I/O error during \"open\" operation for file"), std::string::npos) << m;
    EXPECT_NE(m.find("none.fdb"), std::string::npos) << m;
    EXPECT_EQ(m, "Form6.pFIBDatabase:\r\n" + e.SqlMessage() + e.ServerMessage());
  }
  EXPECT_FALSE(db->Connected());

  db->SetDBName("");
  try {
    db->SetConnected(true);
    FAIL() << "attached";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Database name is missing.");
  }
}

TEST_F(EmbeddedDatabase, LowersTheDialectToTheDatabases) {
  db->SetDBName(CreateDatabase(dir, "d1.fdb", 1));
  db->SetConnected(true);
  EXPECT_EQ(db->SQLDialect(), 1);
  EXPECT_EQ(db->ClockQuerySQL(), "SELECT CAST('NOW' AS DATE) from RDB$DATABASE");
  try {
    db->SetSQLDialect(3);
    FAIL() << "accepted";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "SQL Dialect invalid");
  }
  EXPECT_THROW(db->SetSQLDialect(0), EFIBClientError);
  db->SetConnected(false);
}

TEST_F(EmbeddedDatabase, LearnsTheServerAfterConnecting) {
  db->SetDBName(CreateDatabase(dir, "a.fdb"));
  EXPECT_TRUE(db->OlderThanFirebird2());  // not connected
  EXPECT_EQ(db->UnicodeCharsets(), std::set<int>{3});
  db->ConnectParams().SetCharSet("UTF8");
  EXPECT_TRUE(db->IsUnicodeConnect());  // from the parameters while disconnected

  // The clock query runs in the internal transaction, which it starts and
  // commits; without SynchronizeTime the transaction stays untouched.
  EXPECT_EQ(db->ClockQuerySQL(), "SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE");
  TFIBBase watcher(nullptr);
  watcher.SetTransaction(db->InternalTransaction());
  std::vector<std::string> internalRuns;
  watcher.NotifyStarted = [&](TFIBTransaction*) { internalRuns.push_back("started"); };
  watcher.NotifyEnding = [&](TFIBTransaction* tr) {
    internalRuns.push_back(tr->State() == TFIBTransaction::tsDoCommit ? "committing" : "ending otherwise");
  };
  db->SetSynchronizeTime(false);
  db->SetConnected(true);
  EXPECT_TRUE(internalRuns.empty());
  db->SetConnected(false);
  db->SetSynchronizeTime(true);
  db->SetConnected(true);
  EXPECT_EQ(internalRuns, (std::vector<std::string>{"started", "committing"}));
  EXPECT_FALSE(db->InternalTransaction()->Active());
  EXPECT_LT(std::abs(db->ClockOffset()), 1.0 / 24);  // both clocks are this machine's

  EXPECT_TRUE(db->IsFirebirdConnect());
  EXPECT_EQ(db->ServerMajorVersion(), 3);
  EXPECT_EQ(db->ServerMinorVersion(), 0);
  EXPECT_GT(db->ServerBuild(), 0);
  EXPECT_EQ(db->ServerVersionText().rfind("LI-V3.0.", 0), 0u) << db->ServerVersionText();
  EXPECT_FALSE(db->OlderThanFirebird2());
  EXPECT_EQ(db->AttachmentCharSetId(), 4);
  EXPECT_TRUE(db->IsUnicodeConnect());
  EXPECT_TRUE(db->IsUnicodeOrNoneConnect());
  EXPECT_TRUE(db->NeedUnicodeFieldsTranslation());  // Firebird 3 on ODS 12
  EXPECT_EQ(db->UnicodeCharsets(), (std::set<int>{3, 4}));
  EXPECT_TRUE(db->IsUnicodeCharSet(4));
  EXPECT_FALSE(db->IsUnicodeCharSet(51));
  EXPECT_EQ(db->BytesInCharSet(4), 4);
  EXPECT_EQ(db->BytesInCharSet(3), 3);
  EXPECT_EQ(db->BytesInCharSet(51), 1);
  db->SetConnected(false);

  // Without a character set the connection is NONE.
  db->ConnectParams().SetCharSet("");
  db->SetConnected(true);
  EXPECT_EQ(db->AttachmentCharSetId(), 0);
  EXPECT_TRUE(db->IsNoneConnect());
  EXPECT_FALSE(db->IsUnicodeConnect());
  EXPECT_TRUE(db->IsUnicodeOrNoneConnect());
  db->SetConnected(false);
}

TEST_F(EmbeddedDatabase, BoundObjectsHearConnectAndDisconnect) {
  db->SetDBName(CreateDatabase(dir, "a.fdb"));
  std::vector<std::string> log;
  TComponent owner1, owner2;
  owner1.SetName("q1");
  owner2.SetName("q2");
  TFIBBase b1(&owner1), b2(&owner2);
  for (TFIBBase* b : {&b1, &b2}) {
    const std::string n = b->Owner()->Name();
    b->NotifyConnecting = [&log, n](TFIBBase*) { log.push_back(n + " connecting"); };
    b->NotifyConnected = [&log, n](TFIBBase*) { log.push_back(n + " connected"); };
    b->NotifyDisconnecting = [&log, n, this](TFIBBase*) {
      log.push_back(n + " disconnecting" + (db->Connected() ? "" : " (detached!)"));
    };
    b->NotifyDisconnected = [&log, n](TFIBBase*) { log.push_back(n + " disconnected"); };
    b->SetDatabase(db);
  }
  // A bound object without a transaction takes the database's default one.
  EXPECT_EQ(b1.Transaction(), tr1);
  db->BeforeConnect = [&](TFIBDatabase*, TStrings&, bool&) { log.push_back("before connect"); };
  db->OnConnect = [&](TComponent*) { log.push_back("on connect"); };
  db->BeforeDisconnect = [&](TComponent*) { log.push_back("before disconnect"); };
  db->AfterDisconnect = [&](TComponent*) { log.push_back("after disconnect"); };
  db->SetConnected(true);
  db->SetConnected(false);
  const std::vector<std::string> want = {
      "before connect",   "q1 connecting",     "q2 connecting",    "on connect",
      "q1 connected",     "q2 connected",      "before disconnect", "q1 disconnecting",
      "q2 disconnecting", "q1 disconnected",   "q2 disconnected",  "after disconnect"};
  EXPECT_EQ(log, want);

  // A BeforeConnect handler that clears the flag cancels silently.
  db->BeforeConnect = [](TFIBDatabase*, TStrings&, bool& go) { go = false; };
  db->SetConnected(true);
  EXPECT_FALSE(db->Connected());

  // A failing AfterDisconnect handler is reported with the database's name.
  db->BeforeConnect = nullptr;
  db->SetConnected(true);
  db->AfterDisconnect = [](TComponent*) { throw Exception("boom"); };
  try {
    db->SetConnected(false);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Error of Form6.pFIBDatabase.AfterDisconnect. boom");
  }
  EXPECT_FALSE(db->Connected());

  // The database going away frees its bound objects from it.
  delete db;
  EXPECT_EQ(b1.Database(), nullptr);
  EXPECT_EQ(b1.Transaction(), nullptr);  // names no transaction either
  EXPECT_EQ(tr1->DefaultDatabase(), nullptr);
  EXPECT_EQ(tr1->DatabaseCount(), 0);
}

TEST_F(EmbeddedDatabase, IdleTimeoutClosesTheConnection) {
  db->SetDBName(CreateDatabase(dir, "a.fdb"));
  db->SetConnected(true);
  db->SetTimeout(60000);
  EXPECT_TRUE(db->IdleTimerActive());
  bool keep = true;
  int timeouts = 0;
  db->OnIdleConnect = [&](TFIBDatabase*, uint32_t, bool& handled) { handled = keep; };
  db->OnTimeout = [&](TComponent*) { ++timeouts; };
  db->IdleTimerFired();
  EXPECT_TRUE(db->Connected());
  keep = false;
  db->IdleTimerFired();
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(timeouts, 1);
  db->SetTimeout(0);
  EXPECT_FALSE(db->IdleTimerActive());
}

TEST_F(EmbeddedDatabase, LoginPromptFillsTheParametersOrCancels) {
  db->SetDBName(CreateDatabase(dir, "a.fdb"));
  db->SetUseLoginPrompt(true);
  db->DBParams().Clear();
  try {
    db->SetConnected(true);  // no dialog available: cancelled
    FAIL() << "attached";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Operation cancelled at user's request.");
    EXPECT_EQ(e.SqlCode(), 7);
  }
  TFIBDatabase::LoginDialog = [](TFIBDatabase& d) {
    d.ConnectParams().SetUserName("SYSDBA");
    d.ConnectParams().SetPassword("k");
    return true;
  };
  db->SetConnected(true);
  TFIBDatabase::LoginDialog = nullptr;
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(db->DBParams().Text(), "user_name=SYSDBA\r\npassword=k\r\n");
  db->SetConnected(false);
}

TEST_F(EmbeddedDatabase, ConnectsWhenLoadingFinishes) {
  const std::string path = CreateDatabase(dir, "a.fdb");
  form.BeginLoading();
  db->SetDBName(path);
  db->SetConnected(true);  // only remembered while loading
  tr1->SetActive(true);
  EXPECT_FALSE(db->Connected());
  EXPECT_FALSE(tr1->Active());
  form.EndLoading();
  EXPECT_TRUE(db->Connected());
  EXPECT_TRUE(tr1->Active());  // the default transaction follows the connect
  EXPECT_EQ(db->InternalTransaction()->Name(), "pFIBDatabase_InternalTransaction");
  db->SetConnected(false);
  EXPECT_FALSE(tr1->Active());

  // The stored Active = True was applied once: ending the transaction again
  // is an error, not a silent new start.
  db->SetConnected(true);
  try {
    tr1->Commit();
    FAIL() << "committed an inactive transaction";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Form6.pFIBTransaction1 :Transaction is not active.");
  }
  EXPECT_FALSE(tr1->Active());
  db->SetConnected(false);
}

TEST_F(EmbeddedDatabase, DestructionDetachesEvenWhenADisconnectHandlerFails) {
  db->SetDBName(CreateDatabase(dir, "a.fdb"));
  db->SetConnected(true);
  tr1->StartTransaction();
  std::vector<std::string> log;
  db->BeforeEndTransaction = [&](TFIBTransaction*, TTransactionAction, bool force) {
    log.push_back(std::string("db before end") + (force ? " forced" : ""));
  };
  tr1->BeforeEnd = [&](TFIBTransaction*, TTransactionAction, bool) { log.push_back("tr1 before end"); };
  db->BeforeDisconnect = [](TComponent*) { throw Exception("gone"); };
  const auto lib = db->ClientLibraryPtr();
  isc_db_handle handle = db->Handle();

  delete db;
  // The read transaction ended through the derived classes' events, and the
  // attachment is gone: the client no longer knows the handle.
  EXPECT_FALSE(tr1->Active());
  EXPECT_EQ(log, (std::vector<std::string>{"db before end forced", "tr1 before end"}));
  const char items[] = {isc_info_db_sql_dialect};
  char reply[16] = {};
  EXPECT_GT(lib->isc_database_info(StatusVector(), &handle, 1, items, sizeof reply, reply), 0);
}

TEST_F(EmbeddedDatabase, ShutDownOfTheLayerDisconnectsListedDatabases) {
  db->SetDBName(CreateDatabase(dir, "a.fdb"));
  const auto listed = DatabaseList();
  EXPECT_NE(std::find(listed.begin(), listed.end(), db), listed.end());
  db->SetConnected(true);
  tr1->StartTransaction();
  FinalizeFIBLayer();
  EXPECT_FALSE(db->Connected());
  EXPECT_FALSE(tr1->Active());
  delete db;
  const auto after = DatabaseList();
  EXPECT_EQ(std::find(after.begin(), after.end(), db), after.end());
}
