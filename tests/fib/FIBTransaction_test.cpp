// Transactions against the embedded engine: start and the ends with the
// order of notifications, callbacks and events; a lock conflict under
// nowait; disconnect and destruction ending an active transaction; the
// binding object's rules.
#include "fib/FIBDatabase.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FibTestSupport.h"
#include "fib/pFIBDatabase.h"

using fibtest::CreateDatabase;
using fibtest::ExecSQL;
using fibtest::TScratchDir;

namespace {

std::vector<std::string>* g_log = nullptr;

void LogCallBack(TComponent* data, TFIBTransaction* tr, TTransactionAction action, bool force) {
  g_log->push_back(data->Name() + " cb action=" + std::to_string(action) + (force ? " forced" : ""));
}

class EmbeddedTransaction : public ::testing::Test {
 protected:
  void SetUp() override {
    form.SetName("Form6");
    db = new TpFIBDatabase(&form);
    db->SetName("pFIBDatabase");
    db->DBParams().Add("user_name=SYSDBA");
    db->DBParams().Add("password=k");
    db->SetSQLDialect(3);
    db->SetDBName(CreateDatabase(dir, "t.fdb", 3,
                                 "CREATE TABLE ROBA (ROBAID INTEGER NOT NULL PRIMARY KEY, NAZIV VARCHAR(50));\n"
                                 "COMMIT;\nINSERT INTO ROBA VALUES (1, 'one');"));
    tr = new TpFIBTransaction(&form);
    tr->SetName("pFIBTransaction1");
    tr->SetDefaultDatabase(db);
    db->SetDefaultTransaction(tr);
    db->SetConnected(true);
    g_log = &log;
  }
  void TearDown() override { g_log = nullptr; }

  // Rows of ROBA matching `where`, counted by a no-op update in a fresh
  // transaction (its row count comes back through isc_dsql_sql_info).
  int CountRows(const std::string& where) {
    TFIBTransaction reader;
    reader.SetDefaultDatabase(db);
    for (const char* l : {"write", "nowait", "read_committed", "rec_version"}) reader.TRParams().Add(l);
    reader.StartTransaction();
    IIBClientLibrary& lib = db->ClientLibrary();
    isc_stmt_handle stmt = 0;
    const std::string sql = "UPDATE ROBA SET NAZIV = NAZIV WHERE " + where;
    reader.Call(lib.isc_dsql_alloc_statement2(StatusVector(), db->HandleAddress(), &stmt), true);
    reader.Call(lib.isc_dsql_prepare(StatusVector(), reader.HandleAddress(), &stmt, 0, sql.c_str(), 3, nullptr),
                true);
    reader.Call(lib.isc_dsql_execute(StatusVector(), reader.HandleAddress(), &stmt, 1, nullptr), true);
    const char items[] = {isc_info_sql_records};
    char buffer[128] = {};
    reader.Call(lib.isc_dsql_sql_info(StatusVector(), &stmt, 1, items, sizeof buffer, buffer), true);
    int count = 0;
    // isc_info_sql_records: len, then sub-items (code, len, value) until isc_info_end.
    for (const char* p = buffer + 3; *p != isc_info_end;) {
      const char item = *p++;
      const short len = static_cast<short>(lib.isc_vax_integer(p, 2));
      p += 2;
      if (item == isc_info_req_update_count) count = static_cast<int>(lib.isc_vax_integer(p, len));
      p += len;
    }
    lib.isc_dsql_free_statement(StatusVector(), &stmt, DSQL_drop);
    reader.Rollback();
    return count;
  }

  TScratchDir dir;
  TComponent form;
  TpFIBDatabase* db = nullptr;
  TpFIBTransaction* tr = nullptr;
  std::vector<std::string> log;
};

}  // namespace

TEST_F(EmbeddedTransaction, NotificationOrderAroundStartAndEnds) {
  TComponent o1, o2, d1, d2;
  o1.SetName("s1");
  o2.SetName("s2");
  d1.SetName("d1");
  d2.SetName("d2");
  TFIBBase b1(&o1), b2(&o2);
  for (TFIBBase* b : {&b1, &b2}) {
    const std::string n = b->Owner()->Name();
    b->NotifyStarting = [this, n](TFIBTransaction* t) { log.push_back(n + " starting"); };
    b->NotifyStarted = [this, n](TFIBTransaction* t) { log.push_back(n + " started"); };
    b->NotifyEnding = [this, n](TFIBTransaction* t) {
      log.push_back(n + " ending state=" + std::to_string(t->State()));
    };
    b->NotifyEnded = [this, n](TFIBTransaction* t) { log.push_back(n + " ended"); };
    b->SetTransaction(tr);
  }
  EXPECT_EQ(b1.Database(), db);  // the transaction's main database
  for (TComponent* d : {&d1, &d2})
    for (TCallBackKind k : {cbBeforeStart, cbAfterStart, cbBeforeEnd, cbAfterEnd})
      tr->RegisterCallBack(k, &LogCallBack, d);
  EXPECT_EQ(tr->RegisterCallBack(cbBeforeStart, &LogCallBack, &d1), 0);  // already there
  db->BeforeStartTransaction = [this](TComponent*) { log.push_back("db before start"); };
  db->AfterStartTransaction = [this](TComponent*) { log.push_back("db after start"); };
  db->BeforeEndTransaction = [this](TFIBTransaction*, TTransactionAction a, bool) {
    log.push_back("db before end " + std::to_string(a));
  };
  db->AfterEndTransaction = [this](TFIBTransaction*, TTransactionAction, bool) {
    log.push_back("db after end");
  };
  tr->BeforeStart = [this](TComponent*) { log.push_back("before start"); };
  tr->AfterStart = [this](TComponent*) { log.push_back("after start"); };
  tr->BeforeEnd = [this](TFIBTransaction*, TTransactionAction, bool) { log.push_back("before end"); };
  tr->AfterEnd = [this](TFIBTransaction*, TTransactionAction, bool) { log.push_back("after end"); };

  tr->SetActive(true);
  EXPECT_TRUE(tr->Active());
  EXPECT_EQ(tr->State(), TFIBTransaction::tsActive);
  const std::vector<std::string> started = {
      "db before start", "before start", "s1 starting", "s2 starting",
      "d2 cb action=0",  "d1 cb action=0",  // before-start callbacks, last registered first
      "d2 cb action=0",  "d1 cb action=0",  // after-start callbacks, last registered first
      "s1 started",      "s2 started",      "after start", "db after start"};
  EXPECT_EQ(log, started);

  log.clear();
  tr->CommitRetaining();
  EXPECT_TRUE(tr->Active());
  const std::vector<std::string> retained = {
      "db before end 3", "before end", "s2 ending state=5", "s1 ending state=5",
      "d1 cb action=3",  "d2 cb action=3",  // before-end callbacks in registration order
      "s2 ended",        "s1 ended",
      "d1 cb action=3",  "d2 cb action=3",  "after end", "db after end"};
  EXPECT_EQ(log, retained);

  log.clear();
  tr->Commit();
  EXPECT_FALSE(tr->Active());
  EXPECT_EQ(tr->State(), TFIBTransaction::tsInactive);
  ASSERT_EQ(log.size(), 12u);
  EXPECT_EQ(log[2], "s2 ending state=4");

  log.clear();
  tr->SetActive(true);
  tr->RollbackRetaining();
  EXPECT_TRUE(tr->Active());
  tr->SetActive(false);  // rolls back, not forced
  EXPECT_FALSE(tr->Active());
  EXPECT_NE(std::find(log.begin(), log.end(), "s2 ending state=3"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "s2 ending state=2"), log.end());

  // A component given as callback data is forgotten when it dies.
  TComponent* temp = new TComponent;
  temp->SetName("temp");
  tr->RegisterCallBack(cbBeforeStart, &LogCallBack, temp);
  delete temp;
  log.clear();
  tr->StartTransaction();
  tr->Rollback();
  EXPECT_EQ(std::count(log.begin(), log.end(), "temp cb action=0"), 0);
}

TEST_F(EmbeddedTransaction, CallBackAddedOrRemovedBetweenStartsIsHonoured) {
  TComponent d;
  d.SetName("d");
  tr->StartTransaction();  // every list still empty
  tr->Commit();
  EXPECT_TRUE(log.empty());
  tr->RegisterCallBack(cbBeforeStart, &LogCallBack, &d);
  tr->RegisterCallBack(cbAfterEnd, &LogCallBack, &d);
  tr->StartTransaction();
  tr->Commit();
  EXPECT_EQ(log, (std::vector<std::string>{"d cb action=0", "d cb action=2"}));
  log.clear();
  tr->UnRegisterCallBack(cbBeforeStart, &LogCallBack, &d);
  tr->UnRegisterCallBack(cbAfterEnd, &LogCallBack, &d);
  tr->StartTransaction();
  tr->Commit();
  EXPECT_TRUE(log.empty());
}

// A handler may change its own list while the list is being called: a pair
// it adds waits for the next call.
TEST_F(EmbeddedTransaction, CallBackChangingItsListWhileCalled) {
  static TFIBTransaction* s_tr = nullptr;
  static TComponent* s_next = nullptr;
  struct Swap {
    static void Handler(TComponent* data, TFIBTransaction* tr, TTransactionAction action, bool force) {
      LogCallBack(data, tr, action, force);
      s_tr->UnRegisterCallBack(cbBeforeEnd, &Handler, data);
      s_tr->RegisterCallBack(cbBeforeEnd, &LogCallBack, s_next);
    }
  };
  TComponent d, e, next;
  d.SetName("d");
  e.SetName("e");
  next.SetName("next");
  s_tr = tr;
  s_next = &next;
  tr->RegisterCallBack(cbBeforeEnd, &Swap::Handler, &d);
  tr->RegisterCallBack(cbBeforeEnd, &LogCallBack, &e);
  tr->StartTransaction();
  tr->Commit();
  EXPECT_EQ(log, (std::vector<std::string>{"d cb action=2", "e cb action=2"}));
  log.clear();
  tr->StartTransaction();
  tr->Commit();
  EXPECT_EQ(log, (std::vector<std::string>{"e cb action=2", "next cb action=2"}));
}

// A handler that unregisters a later pair, or destroys the component a
// later pair names as data, ends that pair's part in the call under way:
// the pair is not called, and its data is never reached after its death.
TEST_F(EmbeddedTransaction, CallBackDroppedWhileCalledIsNotCalled) {
  static TFIBTransaction* s_tr = nullptr;
  static TComponent* s_dropped = nullptr;
  static std::unique_ptr<TComponent> s_doomed;
  struct Drop {
    static void Handler(TComponent* data, TFIBTransaction* tr, TTransactionAction action, bool force) {
      LogCallBack(data, tr, action, force);
      s_tr->UnRegisterCallBack(cbBeforeEnd, &LogCallBack, s_dropped);
      s_doomed.reset();
    }
  };
  TComponent first, dropped, last;
  first.SetName("first");
  dropped.SetName("dropped");
  last.SetName("last");
  s_doomed = std::make_unique<TComponent>();
  s_doomed->SetName("doomed");
  s_tr = tr;
  s_dropped = &dropped;
  tr->RegisterCallBack(cbBeforeEnd, &Drop::Handler, &first);
  tr->RegisterCallBack(cbBeforeEnd, &LogCallBack, &dropped);
  tr->RegisterCallBack(cbBeforeEnd, &LogCallBack, s_doomed.get());
  tr->RegisterCallBack(cbBeforeEnd, &LogCallBack, &last);
  tr->StartTransaction();
  tr->Commit();
  EXPECT_EQ(log, (std::vector<std::string>{"first cb action=2", "last cb action=2"}));
  log.clear();
  tr->StartTransaction();
  tr->Rollback();
  EXPECT_EQ(log, (std::vector<std::string>{"first cb action=0", "last cb action=0"}));
}

TEST_F(EmbeddedTransaction, StartAndEndRulesAndMessages) {
  TFIBTransaction plain(&form);
  plain.SetName("plain");
  try {
    plain.StartTransaction();
    FAIL() << "started";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Form6.plain :No databases are listed in transaction component.");
  }
  try {
    plain.Commit();
    FAIL() << "committed";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Form6.plain :Transaction is not active.");
  }
  plain.SetDefaultDatabase(db);
  plain.StartTransaction();
  try {
    plain.StartTransaction();  // the base class does not ignore a second start
    FAIL() << "started twice";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Form6.plain :Transaction is active.");
  }
  EXPECT_THROW(plain.TRParams().Add("wait"), EFIBClientError);  // frozen while active
  EXPECT_THROW(plain.SetDefaultDatabase(nullptr), EFIBClientError);
  plain.Rollback();

  // TpFIBTransaction ignores a second start; Active := True twice starts once.
  tr->SetActive(true);
  tr->SetActive(true);
  tr->StartTransaction();
  EXPECT_TRUE(tr->Active());
  // The default TPBMode replaced the (empty) lines at the start.
  EXPECT_EQ(tr->TRParams().Text(), "write\r\nisc_tpb_nowait\r\nread_committed\r\nrec_version\r\n");
  tr->Commit();
  tr->SetActive(false);  // inactive: nothing

  // Presets replace the lines at start.
  tr->TRParams().Add("read");
  tr->SetTPBMode(tpbRepeatableRead);
  tr->StartTransaction();
  EXPECT_EQ(tr->TRParams().Text(), "write\r\nisc_tpb_nowait\r\nconcurrency\r\n");
  tr->Commit();

  // A bad line: nothing starts.
  tr->SetTPBMode(tpbDefault);
  tr->TRParams().Add("autocommit");
  EXPECT_THROW(tr->StartTransaction(), EFIBClientError);
  EXPECT_FALSE(tr->Active());
  tr->TRParams().Clear();
  tr->StartTransaction();  // an empty TPB: the server's defaults
  EXPECT_EQ(tr->TPB(), "");
  tr->Commit();

  // A database with another client library cannot join.
  TFIBDatabase other;
  other.SetLibraryName("libfbclient.so.2");
  try {
    plain.AddDatabase(&other);
    FAIL() << "joined";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Form6.plain.\r\nTransaction can't work with different client library.");
  }

  // A disconnected database refuses the start with its own message.
  db->SetConnected(false);
  try {
    tr->StartTransaction();
    FAIL() << "started";
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Form6.pFIBDatabase: Cannot perform operation -- DB is not open.");
  }
}

TEST_F(EmbeddedTransaction, LockConflictUnderNowaitLeavesTheSecondInactive) {
  for (TpFIBTransaction* t : {tr, new TpFIBTransaction(&form)}) {
    t->SetDefaultDatabase(db);
    t->SetTPBMode(tpbDefault);
    t->TRParams().Clear();
    for (const char* l : {"concurrency", "nowait", "lock_write=ROBA", "protected"}) t->TRParams().Add(l);
  }
  auto* second = static_cast<TpFIBTransaction*>(form.Components(form.ComponentCount() - 1));
  second->SetName("second");
  tr->StartTransaction();
  try {
    second->StartTransaction();
    FAIL() << "both reserved ROBA";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_EQ(e.Sender(), second);
    EXPECT_EQ(e.Message().rfind("Form6.second:\r\n", 0), 0u) << e.Message();
    EXPECT_NE(e.Message().find("Lock conflict on no wait transaction."), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(second->Active());
  EXPECT_EQ(second->Handle(), 0u);
  tr->Commit();
  second->StartTransaction();  // free now
  second->Commit();
}

TEST_F(EmbeddedTransaction, RefusedCommitKeepsTheTransactionUnlessForced) {
  tr->SetTPBMode(tpbDefault);
  tr->TRParams().Clear();
  tr->TRParams().Add("write");
  tr->StartTransaction();
  // A deferred constraint is not available; a foreign key on commit is not
  // either, so make the server refuse the commit by losing the handle.
  const isc_tr_handle real = tr->Handle();
  *tr->HandleAddress() = real + 1000;  // unknown to the server
  EXPECT_THROW(tr->Commit(), EFIBInterBaseError);
  EXPECT_TRUE(tr->Active());
  EXPECT_EQ(tr->State(), TFIBTransaction::tsDoCommit);  // until the next end
  tr->EndTransaction(TACommit, true);  // forced: no exception, handle dropped
  EXPECT_FALSE(tr->Active());
  *tr->HandleAddress() = real;
  tr->Rollback();
}

TEST_F(EmbeddedTransaction, DisconnectRollsBackAndNotifiesBeforeTheDetach) {
  TComponent owner;
  owner.SetName("ds");
  TFIBBase b(&owner);
  b.SetTransaction(tr);
  b.SetDatabase(db);
  b.NotifyEnding = [this](TFIBTransaction* t) {
    log.push_back("ending state=" + std::to_string(t->State()) + (db->Connected() ? " attached" : ""));
  };
  b.NotifyEnded = [this](TFIBTransaction*) { log.push_back("ended"); };
  b.NotifyDisconnecting = [this](TFIBBase*) { log.push_back(db->Connected() ? "disconnecting attached" : "x"); };
  b.NotifyDisconnected = [this](TFIBBase*) { log.push_back(db->Connected() ? "x" : "disconnected"); };
  tr->SetTPBMode(tpbDefault);
  tr->TRParams().Clear();
  tr->TRParams().Add("write");
  tr->SetTimeoutAction(TACommitRetaining);  // taken as a hard commit here
  tr->StartTransaction();
  ExecSQL(*db, *tr, "INSERT INTO ROBA VALUES (2, 'two')");

  TpFIBTransaction* upd = new TpFIBTransaction(&form);
  upd->SetDefaultDatabase(db);
  upd->SetTimeoutAction(TARollback);
  upd->StartTransaction();
  ExecSQL(*db, *upd, "INSERT INTO ROBA VALUES (3, 'three')");

  db->SetConnected(false);
  EXPECT_FALSE(tr->Active());
  EXPECT_FALSE(upd->Active());
  const std::vector<std::string> want = {"ending state=4 attached", "ended", "disconnecting attached",
                                         "disconnected"};
  EXPECT_EQ(log, want);

  db->SetConnected(true);
  EXPECT_EQ(CountRows("ROBAID = 2"), 1);  // committed by TimeoutAction
  EXPECT_EQ(CountRows("ROBAID = 3"), 0);  // rolled back
}

TEST_F(EmbeddedTransaction, DestructionEndsByTimeoutActionAndFreesBindings) {
  TComponent owner;
  owner.SetName("ds");
  TFIBBase b(&owner);
  bool freed = false;
  b.NotifyTransactionFreed = [&](TFIBTransaction*) { freed = true; };
  auto* t = new TpFIBTransaction(&form);
  t->SetDefaultDatabase(db);
  t->SetTimeoutAction(TARollback);
  b.SetTransaction(t);
  t->StartTransaction();
  ExecSQL(*db, *t, "INSERT INTO ROBA VALUES (4, 'four')");
  t->BeforeEnd = [this](TFIBTransaction*, TTransactionAction a, bool force) {
    log.push_back("before end " + std::to_string(a) + (force ? " forced" : ""));
  };
  db->AfterEndTransaction = [this](TFIBTransaction*, TTransactionAction, bool) {
    log.push_back("db after end");
  };
  delete t;
  EXPECT_TRUE(freed);
  EXPECT_EQ(b.Transaction(), nullptr);
  EXPECT_EQ(CountRows("ROBAID = 4"), 0);
  // The end ran through TpFIBTransaction, events included.
  EXPECT_EQ(log, (std::vector<std::string>{"before end 0 forced", "db after end"}));
}

TEST_F(EmbeddedTransaction, DestructionRollsBackEvenWhenAListenerFails) {
  auto reserveRoba = [](TpFIBTransaction* t) {
    t->SetTPBMode(tpbDefault);
    t->TRParams().Clear();
    for (const char* l : {"concurrency", "nowait", "lock_write=ROBA", "protected"}) t->TRParams().Add(l);
  };
  TComponent owner;
  owner.SetName("ds");
  TFIBBase b(&owner);
  b.NotifyEnding = [](TFIBTransaction*) { throw Exception("listener fault"); };
  auto* t = new TpFIBTransaction(&form);
  t->SetDefaultDatabase(db);
  reserveRoba(t);
  b.SetTransaction(t);
  t->StartTransaction();
  delete t;
  // The server let go of the transaction and its reservation of ROBA.
  reserveRoba(tr);
  EXPECT_NO_THROW(tr->StartTransaction());
  tr->Commit();
}

TEST_F(EmbeddedTransaction, TimeoutEndsAnIdleTransaction) {
  tr->SetTimeoutAction(TACommit);
  int timeouts = 0;
  tr->OnTimeout = [&](TComponent*) { ++timeouts; };
  tr->SetTimeout(60000);
  EXPECT_FALSE(tr->TimeoutTimerActive());  // only while active
  tr->StartTransaction();
  EXPECT_TRUE(tr->TimeoutTimerActive());
  tr->TimeoutTimerFired();  // marks idle
  ExecSQL(*db, *tr, "INSERT INTO ROBA VALUES (5, 'five')");  // a call clears the mark
  tr->TimeoutTimerFired();
  EXPECT_TRUE(tr->Active());
  tr->TimeoutTimerFired();
  EXPECT_FALSE(tr->Active());
  EXPECT_EQ(timeouts, 1);
  EXPECT_FALSE(tr->TimeoutTimerActive());
  EXPECT_EQ(CountRows("ROBAID = 5"), 1);

  // Driven by the message loop's timers: idle for two intervals, it ends.
  tr->StartTransaction();
  const auto start = TTimer::Clock::now();
  ProcessTimers(start + std::chrono::seconds(61));
  EXPECT_TRUE(tr->Active());
  ProcessTimers(start + std::chrono::seconds(122));
  EXPECT_FALSE(tr->Active());
  EXPECT_EQ(timeouts, 2);
}

TEST_F(EmbeddedTransaction, BindingObjectChecks) {
  TComponent owner;
  owner.SetName("qry");
  TFIBBase b(&owner);
  try {
    b.CheckDatabase();
    FAIL();
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Database not assigned for qry.");
  }
  try {
    b.CheckTransaction();
    FAIL();
  } catch (const EFIBClientError& e) {
    EXPECT_STREQ(e.what(), "Transaction not assigned for qry.");
  }
  TFIBBase anonymous(nullptr);
  EXPECT_THROW(anonymous.CheckDatabase(), EFIBClientError);
  b.SetDatabase(db);
  EXPECT_EQ(b.Transaction(), tr);
  EXPECT_EQ(*b.DBHandle(), db->Handle());
  EXPECT_THROW(b.TRHandle(), EFIBClientError);  // not active
  tr->StartTransaction();
  EXPECT_EQ(*b.TRHandle(), tr->Handle());
  tr->Commit();

  // Removal moves the last registered binding into the freed slot.
  TFIBBase c(&owner), d(&owner);
  c.SetDatabase(db);
  d.SetDatabase(db);
  const int slot = b.IndexInDatabase();
  b.SetDatabase(nullptr);
  EXPECT_EQ(d.IndexInDatabase(), slot);
  EXPECT_EQ(db->FIBBases(slot), &d);
}

TEST_F(EmbeddedTransaction, PerDatabaseParametersOverrideTheTPB) {
  TFIBTransaction t;
  t.SetDefaultDatabase(db);
  t.TRParams().Add("write");
  t.SetDatabaseParams(0, "read\r\nread_committed\r\nrec_version\r\nnowait");
  t.StartTransaction();
  try {
    ExecSQL(*db, t, "INSERT INTO ROBA VALUES (6, 'six')");
    FAIL() << "wrote in a read-only transaction";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_NE(e.Message().find("read-only transaction"), std::string::npos) << e.Message();
  }
  t.Rollback();
  t.SetDatabaseParams(0, "");  // back to the transaction's own TPB
  t.StartTransaction();
  ExecSQL(*db, t, "INSERT INTO ROBA VALUES (6, 'six')");
  t.Commit();
}
