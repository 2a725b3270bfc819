// Statements against the embedded engine: prepare, execute, fetch, close, the
// name rules of the areas, null rewriting at execution and the failures of the
// statement component.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ToolSql.h"
#include "fib/FIBQuery.h"
#include "fib/fib.h"
#include "fib/pFIBQuery.h"
#include "FIBQuery_fixture.h"

namespace {

// Extra-data tables as the tool uses them.
void CreateExtraData(TScratchDatabase& db) {
  db.Exec("CREATE TABLE EXTRA_DATA (VRDOK SMALLINT NOT NULL, EDID SMALLINT NOT NULL, BRDOK INTEGER, "
          "VREDNOST VARCHAR(100), REDOSLED SMALLINT)");
  db.Exec("CREATE TABLE EXTRA_DATA_SIF (VRDOK SMALLINT, EDID SMALLINT, NAZIV VARCHAR(25))");
  db.Exec("INSERT INTO EXTRA_DATA_SIF VALUES (-2, 1, 'Boja')");
  db.Exec("INSERT INTO EXTRA_DATA VALUES (-2, 1, 7, 'crvena', 2)");
  db.Exec("INSERT INTO EXTRA_DATA VALUES (-2, 2, 7, 'x', 1)");
  db.Exec("INSERT INTO EXTRA_DATA VALUES (-2, 1, NULL, 'bez artikla', 3)");
}

std::vector<std::string> Column(TFIBQuery& q, const char* name) {
  std::vector<std::string> out;
  q.ExecQuery();
  for (; !q.Eof(); q.FetchNext()) out.push_back(q.FieldByName(name)->AsString());
  q.Close();
  return out;
}

}  // namespace

TEST(FIBQuery, SelectFetchesLazilyAndEndsCleanly) {
  TScratchDatabase db;
  CreateExtraData(db);
  auto q = db.Query("SELECT VREDNOST FROM EXTRA_DATA ORDER BY REDOSLED");
  q->SetGoToFirstRecordOnExecute(false);
  q->ExecQuery();
  EXPECT_EQ(q->SQLType(), SQLSelect);
  EXPECT_TRUE(q->Open());
  EXPECT_TRUE(q->Bof());
  EXPECT_EQ(q->RecordCount(), 0);
  // Before the first fetch every column reads as null.
  EXPECT_TRUE(q->FieldByName("VREDNOST")->IsNull());
  EXPECT_EQ(q->FieldByName("VREDNOST")->AsString(), "");
  ASSERT_NE(q->FetchNext(), nullptr);
  EXPECT_FALSE(q->Bof());
  EXPECT_EQ(q->FieldByName("VREDNOST")->AsString(), "x");
  ASSERT_NE(q->FetchNext(), nullptr);
  ASSERT_NE(q->FetchNext(), nullptr);
  EXPECT_EQ(q->RecordCount(), 3);
  EXPECT_EQ(q->FetchNext(), nullptr);
  EXPECT_TRUE(q->Eof());
  // Past the end nothing more is fetched and nothing fails.
  EXPECT_EQ(q->FetchNext(), nullptr);
  EXPECT_EQ(q->RecordCount(), 3);
  q->Close();
  EXPECT_FALSE(q->Open());
  EXPECT_TRUE(q->Prepared());
  EXPECT_EQ(ErrorOf([&] { q->FetchNext(); }), "Can't fetch next record because q dataset closed.");
}

TEST(FIBQuery, ExtraDataSelectWithValueAndWithNull) {
  TScratchDatabase db;
  CreateExtraData(db);
  auto q = db.Query(kExtraDataSelect);
  ASSERT_EQ(q->ParamCount(), 1);
  q->ParamByName("brdok")->SetAsVariant(Variant(int32_t{7}));
  // An Integer variant travels as LONG whatever the declared type.
  EXPECT_EQ(q->ParamByName("BRDOK")->SQLType(), SQL_LONG);
  EXPECT_EQ(Column(*q, "VREDNOST"), (std::vector<std::string>{"x", "crvena"}));
  EXPECT_FALSE(q->Rewritten());
  EXPECT_EQ(q->ProcessedSQL().size(), std::string(kExtraDataSelect).size());
  // Joined name column and its table alias.
  q->ExecQuery();
  EXPECT_EQ(q->FieldCount(), 6);
  EXPECT_EQ(q->ColumnTableAlias(1), "ED");
  EXPECT_EQ(q->ColumnTableAlias(6), "EDS");
  EXPECT_EQ(q->ColumnTableAlias(7), "");
  q->Close();

  // Null: the comparison is sent as IS NULL, so the row without an article shows.
  q->ParamByName("BRDOK")->SetIsNull(true);
  EXPECT_EQ(Column(*q, "VREDNOST"), (std::vector<std::string>{"bez artikla"}));
  EXPECT_TRUE(q->Rewritten());
  EXPECT_NE(q->ProcessedSQL().find("ed.BRDOK  IS NULL "), std::string::npos);
  // Back to a value: prepared again with the marker.
  q->ParamByName("BRDOK")->SetAsInteger(7);
  EXPECT_EQ(Column(*q, "VREDNOST").size(), 2u);
  EXPECT_FALSE(q->Rewritten());

  // With qoNoForceIsNull the null is compared and finds nothing.
  q->SetOptions(qoStartTransaction | qoNoForceIsNull);
  q->ParamByName("BRDOK")->SetIsNull(true);
  EXPECT_TRUE(Column(*q, "VREDNOST").empty());
}

TEST(FIBQuery, NullParameterIsRewrittenAfterAnExplicitPrepare) {
  TScratchDatabase db;
  CreateExtraData(db);
  auto q = db.Query(kExtraDataSelect);
  q->ParamByName("BRDOK")->SetIsNull(true);
  EXPECT_EQ(Column(*q, "VREDNOST"), (std::vector<std::string>{"bez artikla"}));
  // The server statement goes (qoFreeHandleAfterExecute, a reconnect); a Prepare
  // outside an execution keeps the comparison, the execution still rewrites it.
  q->FreeHandle();
  q->Prepare();
  EXPECT_FALSE(q->Rewritten());
  EXPECT_EQ(Column(*q, "VREDNOST"), (std::vector<std::string>{"bez artikla"}));
  EXPECT_TRUE(q->Rewritten());
}

// Which parameters can change the text sent is learnt anew with each text.
TEST(FIBQuery, NullRewriteFollowsANewText) {
  TScratchDatabase db;
  CreateExtraData(db);
  auto q = db.Query(kExtraDataSelect);
  q->ParamByName("BRDOK")->SetAsInteger(7);
  EXPECT_EQ(Column(*q, "VREDNOST").size(), 2u);
  q->SetSQLText("SELECT VREDNOST FROM EXTRA_DATA WHERE REDOSLED >= :R AND BRDOK = :BRDOK");
  q->ParamByName("R")->SetAsInteger(0);
  q->ParamByName("BRDOK")->SetAsInteger(7);
  EXPECT_EQ(Column(*q, "VREDNOST").size(), 2u);
  q->ParamByName("BRDOK")->SetIsNull(true);
  EXPECT_EQ(Column(*q, "VREDNOST"), (std::vector<std::string>{"bez artikla"}));
  EXPECT_TRUE(q->Rewritten());
}

TEST(FIBQuery, NotEqualRewriteAndUnrewrittenOperators) {
  TScratchDatabase db;
  CreateExtraData(db);
  auto ne = db.Query("SELECT COUNT(*) FROM EXTRA_DATA WHERE BRDOK <> :B");
  ne->ParamByName("B")->SetIsNull(true);
  ne->ExecQuery();
  EXPECT_EQ(ne->Fields(0)->AsInteger(), 2);
  ne->Close();
  auto ge = db.Query("SELECT COUNT(*) FROM EXTRA_DATA WHERE BRDOK >= :B");
  ge->ParamByName("B")->SetIsNull(true);
  ge->ExecQuery();
  EXPECT_EQ(ge->Fields(0)->AsInteger(), 0);
  EXPECT_FALSE(ge->Rewritten());
  ge->Close();
}

TEST(FIBQuery, DuplicatedParameterSharesItsValue) {
  TScratchDatabase db;
  CreateExtraData(db);
  auto q = db.Query("SELECT COUNT(*) FROM EXTRA_DATA WHERE EDID = :A OR REDOSLED = :A");
  ASSERT_EQ(q->Params().Count(), 2);
  EXPECT_EQ(q->Params()[0]->Name(), "A");
  EXPECT_EQ(q->Params()[1]->Name(), "A");
  q->ParamByName("A")->SetAsInteger(2);
  EXPECT_EQ(q->Params()[0]->AsInteger(), 2);
  EXPECT_EQ(q->Params()[1]->AsInteger(), 2);
  q->ExecQuery();
  EXPECT_EQ(q->Fields(0)->AsInteger(), 2);  // EDID 2, and REDOSLED 2
  q->Close();
}

TEST(FIBQuery, ColumnNamesFromAliasesWithNumericSuffixes) {
  TScratchDatabase db;
  CreateExtraData(db);
  auto q = db.Query(
      "SELECT s.NAZIV, s2.NAZIV, 1+1, 2+2 FROM EXTRA_DATA_SIF s JOIN EXTRA_DATA_SIF s2 ON s.EDID = s2.EDID");
  q->ExecQuery();
  ASSERT_EQ(q->FieldCount(), 4);
  EXPECT_EQ(q->Fields(0)->Name(), "NAZIV");
  EXPECT_EQ(q->Fields(1)->Name(), "NAZIV1");
  EXPECT_EQ(q->Fields(2)->Name(), "ADD");
  EXPECT_EQ(q->Fields(3)->Name(), "ADD1");
  EXPECT_EQ(q->FieldByName("naziv1")->AsString(), "Boja");
  EXPECT_EQ(q->FieldIndex("NAZIV1"), 1);
  EXPECT_EQ(q->FieldIndex("NOPE"), -1);
  EXPECT_EQ(ErrorOf([&] { q->FieldByName("NOPE"); }), "Field \"NOPE\" not found.");
  EXPECT_EQ(ErrorOf([&] { q->Fields(4); }), "Field \"Field No:4\" not found.");
  q->Close();
}

TEST(FIBQuery, UnnamedColumnsGetGeneratedNamesWithinThirtyOneCharacters) {
  // Columns without an alias: the area names them F_1, F_2 ...
  TFIBQuery q;
  TFIBXSQLDA area(&q, false);
  area.SetCount(4);
  const char* aliases[] = {"", "", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"};
  for (int i = 0; i < 4; ++i) {
    XSQLVAR& x = *area[i]->Data();
    x.sqltype = SQL_LONG | 1;
    x.sqllen = 4;
    x.aliasname_length = static_cast<short>(std::strlen(aliases[i]));
    std::memcpy(x.aliasname, aliases[i], std::strlen(aliases[i]));
  }
  area.InitAfterDescribe();
  EXPECT_EQ(area[0]->Name(), "F_1");
  EXPECT_EQ(area[1]->Name(), "F_2");
  EXPECT_EQ(area[2]->Name(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");
  EXPECT_EQ(area[3]->Name(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ01231");
  EXPECT_EQ(std::string(area[1]->Data()->aliasname, area[1]->Data()->aliasname_length), "F_2");
  EXPECT_EQ(area.ByName("f_2"), area[1]);
}

TEST(FIBQuery, ParameterLookupRulesAndFailures) {
  TScratchDatabase db;
  auto q = db.Query("SELECT * FROM RDB$DATABASE WHERE :\"Name\" = 1 OR :brdok = 2");
  EXPECT_EQ(q->Params()[0]->Name(), "Name");
  EXPECT_EQ(q->Params()[1]->Name(), "BRDOK");
  EXPECT_EQ(q->ParamByName("\"Name\""), q->Params()[0]);
  EXPECT_EQ(q->ParamByName("brdok"), q->Params()[1]);
  EXPECT_EQ(q->FindParam("MISSING"), nullptr);
  EXPECT_EQ(ErrorOf([&] { q->ParamByName("MISSING"); }), "Parameter \"MISSING\" does not exist in q");
  // Values survive a change of the text for names that stay.
  q->ParamByName("BRDOK")->SetAsInteger(5);
  q->SetSQLText("SELECT * FROM RDB$DATABASE WHERE :BRDOK = 5");
  EXPECT_EQ(q->ParamByName("BRDOK")->AsInteger(), 5);
  // The variable object itself moves into the new area: a pointer held across
  // the change (as a dataset keeps its parameters) stays valid and bound.
  TFIBXSQLVAR* held = q->ParamByName("BRDOK");
  q->SetSQLText("SELECT * FROM RDB$DATABASE WHERE :X = 1 OR :brdok = 5 OR :BRDOK = 6");
  ASSERT_EQ(q->Params().Vars(1), held);
  EXPECT_EQ(held->Index(), 1);
  EXPECT_EQ(held->AsInteger(), 5);
  held->SetAsInteger(6);
  EXPECT_EQ(q->Params().Vars(2)->AsInteger(), 6);  // reaches the namesake of the new text
  q->ParamByName("X")->SetAsInteger(2);
  q->ExecQuery();
  EXPECT_EQ(q->RecordCount(), 1);
  q->Close();
  held->SetAsInteger(7);
  q->ExecQuery();
  EXPECT_EQ(q->RecordCount(), 0);
  q->Close();
  // After the next change a dropped name is gone, prepared area included.
  q->SetSQLText("SELECT * FROM RDB$DATABASE WHERE :BRDOK = 7");
  EXPECT_EQ(q->FindParam("X"), nullptr);
  EXPECT_EQ(ErrorOf([&] { q->ParamByName("X"); }), "Parameter \"X\" does not exist in q");
}

TEST(FIBQuery, ScanFailuresAreClientError51) {
  TFIBQuery q;
  q.SetName("qry");
  try {
    q.SetSQLText("SELECT * FROM T WHERE A = : B");
    FAIL() << "no error";
  } catch (const EFIBClientError& e) {
    EXPECT_EQ(e.SqlCode(), 51);
    EXPECT_EQ(e.Message(), "SQL Parse Error in :qry \r\n\r\nParameter name expected");
  }
  EXPECT_EQ(ErrorOf([&] { q.SetSQLText("SELECT * FROM T WHERE A = :A /* open"); }),
            "SQL Parse Error in :qry \r\n\r\nEOF in comment detected");
  // Without a parameter outside the comment the scanner never runs.
  EXPECT_EQ(ErrorOf([&] { q.SetSQLText("SELECT * FROM T /* :A"); }), "no error");
}

TEST(FIBQuery, StatementKindsExecute) {
  TScratchDatabase db;
  db.Exec("CREATE TABLE T (A INTEGER)");
  db.Exec("CREATE GENERATOR G");
  auto gen = db.Query("SET GENERATOR G TO 41");
  EXPECT_EQ(gen->SQLKind(), skDDL);
  gen->ExecQuery();  // executed immediately
  auto next = db.Query("SELECT GEN_ID(G, 1) FROM RDB$DATABASE");
  next->ExecQuery();
  EXPECT_EQ(next->Fields(0)->AsInt64(), 42);
  next->Close();

  auto ins = db.Query("INSERT INTO T (A) VALUES (:A)");
  for (int i = 1; i <= 3; ++i) {
    ins->ParamByName("A")->SetAsInteger(i);
    ins->ExecQuery();
    EXPECT_EQ(ins->SQLType(), SQLInsert);
    EXPECT_FALSE(ins->ParamByName("A")->Modified());
  }
  db.Exec("CREATE PROCEDURE P (X INTEGER) RETURNS (Y INTEGER) AS BEGIN Y = X * 2; END");
  auto proc = db.Query("EXECUTE PROCEDURE P :X");
  proc->ParamByName("X")->SetAsInteger(21);
  proc->ExecQuery();
  EXPECT_EQ(proc->SQLType(), SQLExecProcedure);
  EXPECT_EQ(proc->FieldByName("Y")->AsInteger(), 42);
  // In an EXECUTE text a missing parameter name finds the output column.
  EXPECT_EQ(proc->ParamByName("Y")->AsInteger(), 42);
}

TEST(FIBQuery, SelectForUpdateStatementsGetDistinctCursorNames) {
  TScratchDatabase db;
  db.Exec("CREATE TABLE T (A INTEGER)");
  db.Exec("INSERT INTO T VALUES (1)");
  // Several cursors on one attachment: their names must not collide.
  std::vector<std::unique_ptr<TFIBQuery>> qs;
  for (int i = 0; i < 8; ++i) {
    qs.push_back(db.Query("SELECT A FROM T FOR UPDATE"));
    ASSERT_EQ(ErrorOf([&] { qs.back()->ExecQuery(); }), "no error") << i;
    EXPECT_EQ(qs.back()->SQLType(), SQLSelectForUpdate);
    EXPECT_EQ(qs.back()->FieldByName("A")->AsInteger(), 1);
  }
  for (auto& q : qs) q->Close();
}

TEST(FIBQuery, ServerErrorsAndEmptyText) {
  TScratchDatabase db;
  auto bad = db.Query("SELECT NOPE FROM RDB$DATABASE");
  EXPECT_THROW(bad->ExecQuery(), EFIBInterBaseError);
  EXPECT_FALSE(bad->Prepared());
  EXPECT_EQ(bad->Handle(), 0u);
  auto empty = db.Query("  \r\n");
  EXPECT_EQ(ErrorOf([&] { empty->Prepare(); }), "Can't Prepare , because  query is empty");
  TFIBQuery lone;
  lone.SetName("lone");
  lone.SetSQLText("SELECT 1 FROM RDB$DATABASE");
  EXPECT_EQ(ErrorOf([&] { lone.ExecQuery(); }), "Transaction not assigned for lone.");
  // Changing the text of an open cursor is refused and keeps the text.
  auto open = db.Query("SELECT 1 FROM RDB$DATABASE");
  open->ExecQuery();
  EXPECT_EQ(ErrorOf([&] { open->SetSQLText("SELECT 2 FROM RDB$DATABASE"); }),
            "Can't change sql text because q dataset open.");
  open->Close();
}

TEST(FIBQuery, CloseAfterHandleIsGoneAndTransactionEnd) {
  TScratchDatabase db;
  auto q = db.Query("SELECT 1 FROM RDB$DATABASE");
  q->ExecQuery();
  EXPECT_TRUE(q->Open());
  // A hard commit closes the cursors bound to the transaction.
  db.Transaction->Commit();
  EXPECT_FALSE(q->Open());
  q->ExecQuery();
  q->FreeHandle();
  EXPECT_NO_THROW(q->Close());
  EXPECT_FALSE(q->Prepared());
  // Disconnecting frees the server statement.
  q->ExecQuery();
  db.Database->SetConnected(false);
  EXPECT_EQ(q->Handle(), 0u);
  EXPECT_FALSE(q->Open());
}

TEST(FIBQuery, PreparedStatementIsReusedAcrossExecutions) {
  TScratchDatabase db;
  db.Exec("CREATE TABLE T (A INTEGER, B VARCHAR(10))");
  auto ins = db.Query("INSERT INTO T (A, B) VALUES (:A, :B)");
  ins->ParamByName("A")->SetAsInteger(1);
  ins->ParamByName("B")->SetAsString("one");
  ins->ExecQuery();
  const isc_stmt_handle h = ins->Handle();
  ins->ParamByName("A")->SetAsInteger(2);
  ins->ParamByName("B")->SetIsNull(true);  // not in a WHERE clause: no re-prepare
  ins->ExecQuery();
  EXPECT_EQ(ins->Handle(), h);
  auto sel = db.Query("SELECT COUNT(*), COUNT(B) FROM T");
  sel->ExecQuery();
  EXPECT_EQ(sel->Fields(0)->AsInteger(), 2);
  EXPECT_EQ(sel->Fields(1)->AsInteger(), 1);
  sel->Close();
}

TEST(FIBQuery, OldValuesAreTheValuesOfTheLastExecution) {
  TScratchDatabase db;
  db.Exec("CREATE TABLE T (A INTEGER, B VARCHAR(20), C INTEGER)");
  auto ins = db.Query("INSERT INTO T (A, B, C) VALUES (:A, :B, :C)");
  TFIBXSQLVAR* a = ins->ParamByName("A");
  TFIBXSQLVAR* b = ins->ParamByName("B");
  TFIBXSQLVAR* c = ins->ParamByName("C");
  a->SetAsInteger(1);
  b->SetAsString("one");
  c->SetIsNull(true);
  ins->ExecQuery();
  // Later assignments leave the old values alone, and reading an old value
  // leaves the current one alone.
  a->SetAsInteger(2);
  b->SetAsString("two, a longer text");
  c->SetAsInteger(3);
  EXPECT_EQ(a->OldValue().AsInteger(), 1);
  EXPECT_EQ(b->OldValue().AsString(), "one");
  EXPECT_TRUE(c->OldValue().IsNull());
  EXPECT_EQ(b->AsString(), "two, a longer text");
  EXPECT_EQ(c->AsInteger(), 3);
  ins->ExecQuery();
  EXPECT_EQ(b->OldValue().AsString(), "two, a longer text");
  EXPECT_EQ(c->OldValue().AsInteger(), 3);
  auto sel = db.Query("SELECT COUNT(*) FROM T WHERE A = 2 AND B = 'two, a longer text' AND C = 3");
  sel->ExecQuery();
  EXPECT_EQ(sel->Fields(0)->AsInteger(), 1);
  sel->Close();
}

TEST(FIBQuery, TextShapeFollowsEveryEditOfTheLines) {
  TFIBQuery q;
  EXPECT_FALSE(q.HasSQLText());
  q.SQL().Add(" \t");
  EXPECT_FALSE(q.HasSQLText());
  q.SQL().Add("No Action");
  EXPECT_TRUE(q.HasSQLText());
  EXPECT_FALSE(q.IsNoActionText());  // only a first line counts
  q.SQL().Delete(0);
  EXPECT_TRUE(q.IsNoActionText());
  // Within an update the lines change several times before the end is heard.
  q.SQL().BeginUpdate();
  q.SQL().Clear();
  EXPECT_FALSE(q.HasSQLText());
  q.SQL().Add("insert into T values (1)");
  EXPECT_TRUE(q.HasSQLText());
  EXPECT_FALSE(q.IsNoActionText());
  q.SQL().EndUpdate();
  EXPECT_TRUE(q.HasSQLText());
  q.SetSQLText("\r\n  ");
  EXPECT_FALSE(q.HasSQLText());
}

TEST(FIBQuery, ClockQueryRunsInInternalTransaction) {
  TScratchDatabase db;
  const Variant v = QueryValue(*db.Database, "SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE");
  ASSERT_EQ(v.BaseType(), varDate);
  EXPECT_NEAR(v.AsDate(), Now(), 1.0 / 24);
  EXPECT_FALSE(db.Database->InternalTransaction()->Active());
  // Measured at connect: local and server clocks are the same machine's.
  EXPECT_LT(std::abs(db.Database->ClockOffset()), 1.0 / 24);
}

TEST(FIBQuery, ExecuteErrorHandlerDecides) {
  TScratchDatabase db;
  db.Exec("CREATE TABLE T (A INTEGER NOT NULL PRIMARY KEY)");
  db.Exec("INSERT INTO T VALUES (1)");
  TpFIBQuery q;
  q.SetName("pq");
  q.SetDatabase(db.Database);
  q.SetTransaction(db.Transaction);
  q.SetOptions(qoStartTransaction);
  q.SetSQLText("INSERT INTO T (A) VALUES (:A)");
  q.ParamByName("A")->SetAsInteger(1);
  int calls = 0;
  q.OnExecuteError = [&](TpFIBQuery* sender, EFIBError& e, TDataAction& action) {
    ++calls;
    EXPECT_EQ(sender, &q);
    EXPECT_EQ(action, daFail);
    // Fix the value and try again once.
    sender->ParamByName("A")->SetAsInteger(2);
    action = daRetry;
  };
  q.ExecQuery();
  EXPECT_EQ(calls, 1);
  q.ParamByName("A")->SetAsInteger(2);
  q.OnExecuteError = [](TpFIBQuery*, EFIBError&, TDataAction& action) { action = daAbort; };
  EXPECT_THROW(q.ExecQuery(), EAbort);
  q.OnExecuteError = nullptr;
  EXPECT_THROW(q.ExecQuery(), EFIBInterBaseError);
}

TEST(FIBQuery, AutoCommitAndFreeHandleOptions) {
  TScratchDatabase db;
  db.Exec("CREATE TABLE T (A INTEGER)");
  auto ins = db.Query("INSERT INTO T (A) VALUES (:A)");
  ins->SetOptions(qoStartTransaction | qoAutoCommit | qoFreeHandleAfterExecute);
  ins->ParamByName("A")->SetAsInteger(1);
  ins->ExecQuery();
  EXPECT_FALSE(db.Transaction->Active());  // committed right after the execution
  EXPECT_FALSE(ins->Prepared());           // no cursor stays open: the handle is gone
  EXPECT_EQ(ins->Handle(), 0u);
  auto sel = db.Query("SELECT A FROM T");
  sel->SetOptions(qoStartTransaction | qoFreeHandleAfterExecute);
  sel->ExecQuery();
  EXPECT_EQ(sel->Fields(0)->AsInteger(), 1);  // the committed row
  EXPECT_TRUE(sel->Prepared());               // an open cursor keeps it
  sel->Close();
  EXPECT_FALSE(sel->Prepared());
}

// The "/" closing a comment opens no new comment with a "*" right after it.
TEST(FIBQuery, ParametersAfterACommentBeforeAnAsterisk) {
  TScratchDatabase db;
  db.Exec("CREATE TABLE T (ID INTEGER)");
  db.Exec("INSERT INTO T VALUES (3)");
  for (const char* sql : {"SELECT /*c*/* FROM T WHERE ID = :ID", "SELECT ID/*c*/*2 FROM T WHERE ID = :ID"}) {
    SCOPED_TRACE(sql);
    auto q = db.Query(sql);
    ASSERT_EQ(q->ParamCount(), 1);
    q->ParamByName("ID")->SetAsInteger(3);
    q->ExecQuery();
    ASSERT_EQ(q->RecordCount(), 1);
    EXPECT_GE(q->Fields(0)->AsInteger(), 3);
    q->Close();
  }
}

// On a connection without a character set the text goes as the system code
// page has it, DDL included (a default or a literal in a procedure is stored
// as written); only quoted names travel as UTF-8, which the server keeps
// metadata in.
TEST(FIBQuery, TextOfANoneConnectionKeepsItsBytes) {
  TScratchDatabase db;
  ASSERT_TRUE(db.Database->IsNoneConnect());
  const std::string sd = "\x9A\xF0";  // šđ
  db.Exec("CREATE TABLE T (ID INTEGER, V VARCHAR(10) DEFAULT '" + sd + "')");
  db.Exec("CREATE PROCEDURE P RETURNS (R VARCHAR(10)) AS BEGIN R = '" + sd + "'; SUSPEND; END");
  db.Exec("INSERT INTO T (ID) VALUES (1)");
  db.Exec("CREATE TABLE \"\x8A\xF0\" (A INTEGER)");  // "Šđ"
  db.Exec("INSERT INTO \"\x8A\xF0\" VALUES (7)");
  auto q = db.Query("SELECT OCTET_LENGTH(V) AS LV, V, (SELECT OCTET_LENGTH(R) FROM P) AS LR, "
                    "(SELECT A FROM \"\x8A\xF0\") AS \"\x8A\", (SELECT OCTET_LENGTH(TRIM(RDB$RELATION_NAME)) "
                    "FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND RDB$RELATION_NAME <> 'T') AS LN FROM T");
  q->ExecQuery();
  ASSERT_EQ(q->FieldIndex("\x8A"), 3);  // names come back in the code page too
  ASSERT_EQ(q->RecordCount(), 1);
  EXPECT_EQ(q->FieldByName("LV")->AsInteger(), 2);
  EXPECT_EQ(q->FieldByName("V")->AsString(), sd);
  EXPECT_EQ(q->FieldByName("LR")->AsInteger(), 2);
  EXPECT_EQ(q->FieldByName("\x8A")->AsInteger(), 7);
  EXPECT_EQ(q->FieldByName("LN")->AsInteger(), 4);  // two letters in UTF-8
  q->Close();
  auto t = db.Query("SELECT * FROM \"\x8A\xF0\"");
  t->ExecQuery();
  EXPECT_EQ(t->ColumnTableAlias(1), "\"\x8A\xF0\"");
  t->Close();
}

// A text assigned as a whole is sent as it is; lines are joined with CR LF,
// but a line break inside a literal stays a single line feed.
TEST(FIBQuery, LineBreaksInsideLiteralsKeepTheirValue) {
  TScratchDatabase db;
  struct Case { std::string sql; int length; std::string value; };
  const Case cases[] = {
      {"select char_length('a\nb') as n, 'a\nb' as v from rdb$database", 3, "a\nb"},
      {"select char_length('a\r\nb') as n, 'a\r\nb' as v from rdb$database", 4, "a\r\nb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    auto q = db.Query(c.sql);
    EXPECT_EQ(q->SQLText(), c.sql);
    q->ExecQuery();
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), c.length);
    EXPECT_EQ(q->FieldByName("V")->AsString(), c.value);
    q->Close();
  }
  auto lines = db.Query("");
  lines->SQL().Add("select char_length('a");
  lines->SQL().Add("b') as n -- ' no literal");
  lines->SQL().Add("from rdb$database");
  EXPECT_EQ(lines->SQLText(), "select char_length('a\nb') as n -- ' no literal\r\nfrom rdb$database\r\n");
  lines->ExecQuery();
  EXPECT_EQ(lines->FieldByName("N")->AsInteger(), 3);
  lines->Close();
  // Editing the lines of a text assigned as a whole joins them again.
  auto edited = db.Query("select 1 as n\nfrom rdb$database");
  edited->SQL().Add("where 1 = 1");
  EXPECT_EQ(edited->SQLText(), "select 1 as n\r\nfrom rdb$database\r\nwhere 1 = 1\r\n");
}
