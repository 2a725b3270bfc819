// Appending and posting through a Firebird dataset on the embedded engine:
// the tool's extra-data road (insert in the update transaction, hard commit,
// refresh in the read transaction), new-row defaults, the failure paths and
// what a retried post may and may not do.
#include <gtest/gtest.h>

#include "FIBDataSet_fixture.h"
#include "FibTestSupport.h"
#include "ToolSql.h"
#include "fib/FIBFields.h"
#include "fib/fib.h"
#include "fib/pFIBDataInfo.h"

namespace {

const char* const kExtraDataDDL[] = {
    "create table EXTRA_DATA_SIF (VRDOK smallint not null, EDID smallint not null, NAZIV varchar(25), "
    "ET_FIELD varchar(20), REDOSLED smallint, primary key (VRDOK, EDID))",
    "create table EXTRA_DATA (VRDOK smallint not null, EDID smallint not null, BRDOK integer not null, "
    "VREDNOST varchar(100), REDOSLED smallint, primary key (VRDOK, EDID, BRDOK))",
    "insert into EXTRA_DATA_SIF values (-2, 1, 'Boja', 'BOJA', 1)",
    "insert into EXTRA_DATA_SIF values (-2, 2, 'Masa', 'MASA', 2)",
    "insert into EXTRA_DATA_SIF values (-2, 3, 'Opis', 'OPIS', 3)",
    "insert into EXTRA_DATA_SIF values (-2, 4, 'Napomena', 'NAP', 4)",
    "insert into EXTRA_DATA values (-2, 1, 7, 'crvena', 1)",
    "insert into EXTRA_DATA values (-2, 2, 7, '12 kg', 2)",
    "insert into EXTRA_DATA values (-2, 3, 7, 'stolica', 3)",
};

const char* const kInsertSQL =
    "INSERT INTO EXTRA_DATA(\r\n    VRDOK,\r\n    EDID,\r\n    BRDOK,\r\n    VREDNOST,\r\n    REDOSLED\r\n)\r\n"
    "VALUES(\r\n    :VRDOK,\r\n    :EDID,\r\n    :BRDOK,\r\n    :VREDNOST,\r\n    :REDOSLED\r\n)";
const char* const kRefreshSQL =
    "SELECT * from EXTRA_DATA\r\nWHERE(  VRDOK = -2 AND BRDOK = :BRDOK\r\n"
    "     ) and (     EXTRA_DATA.VRDOK = :OLD_VRDOK\r\n    and EXTRA_DATA.EDID = :OLD_EDID\r\n"
    "    and EXTRA_DATA.BRDOK = :OLD_BRDOK\r\n     )\r\n    ";

class PostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sql : kExtraDataDDL) db.Exec(sql);
    db.WriteTr->SetTimeoutAction(TARollback);
  }

  // qryExtraData of the tool, open on article `brdok`.
  TpFIBDataSet* ExtraData(int brdok = 7) {
    TpFIBDataSet* ds = db.NewDataSet("qryExtraData", kExtraDataSelect);
    ds->InsertSQL().SetText(kInsertSQL);
    ds->RefreshSQL().SetText(kRefreshSQL);
    ds->ParamByName("BRDOK")->SetAsInteger(brdok);
    ds->Open();
    return ds;
  }

  // Fills the row the tool's transfer appends.
  static void Fill(TDataSet* ds, int edid, const std::string& value, int brdok = 7) {
    ds->FieldByName("VRDOK")->SetAsInteger(-2);
    ds->FieldByName("EDID")->SetAsInteger(edid);
    ds->FieldByName("BRDOK")->SetAsInteger(brdok);
    ds->FieldByName("VREDNOST")->SetAsString(value);
    ds->FieldByName("REDOSLED")->SetAsInteger(edid);
  }

  // A value of the database as a committed reader sees it ("<null>", "<none>").
  std::string Stored(const std::string& sql) {
    auto q = db.Query(sql);
    q->ExecQuery();
    std::string v = q->Eof() ? "<none>" : (q->Fields(0)->IsNull() ? "<null>" : q->Fields(0)->AsString());
    q->Close();
    db.Transaction->Commit();
    return v;
  }

  TDataSetScratch db;
};

TEST_F(PostTest, AppendAndPostOnTheToolsRoad) {
  TpFIBDataSet* ds = ExtraData();
  TDataSource src;
  src.SetDataSet(ds);
  int dataChanges = 0;
  src.OnDataChange = [&](TDataSource*, TField*) { ++dataChanges; };
  ds->Last();
  ASSERT_EQ(ds->RecordCount(), 3);

  dataChanges = 0;
  ds->Append();
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_EQ(ds->RecNo(), 4);  // numbered after the three fetched rows
  EXPECT_FALSE(ds->Modified());
  EXPECT_EQ(dataChanges, 1);  // the data set change of the new row
  Fill(ds, 4, "drvo");
  EXPECT_EQ(dataChanges, 6);  // one per assignment
  int stateChanges = 0;
  src.OnStateChange = [&](TDataSource*) { ++stateChanges; };
  ds->Post();
  EXPECT_EQ(dataChanges, 7);  // the resync onto the posted row
  EXPECT_EQ(stateChanges, 1);

  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->RecordCount(), 4);
  EXPECT_EQ(ds->RecNo(), 4);
  EXPECT_EQ(ds->FieldByName("EDID")->AsInteger(), 4);
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "drvo");
  // The refresh does not deliver NAZIV: the column keeps its (null) value.
  EXPECT_TRUE(ds->FieldByName("NAZIV")->IsNull());
  EXPECT_FALSE(db.WriteTr->Active());  // hard commit
  EXPECT_TRUE(db.ReadTr->Active());
  EXPECT_TRUE(ds->Active());
  EXPECT_EQ(Stored("select VREDNOST from EXTRA_DATA where EDID = 4"), "drvo");

  // The next post starts the update transaction again; the cursor walks
  // over the cached rows as before.
  ds->Append();
  Fill(ds, 1, "plava", 8);
  ds->Post();
  EXPECT_EQ(ds->RecordCount(), 5);
  ds->First();
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "crvena");
  ds->Last();
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "plava");
}

// Where each parameter takes its value is remembered between posts: a new
// insert text while the dataset stays open must be matched anew.
TEST_F(PostTest, InsertTextChangedWhileOpen) {
  TpFIBDataSet* ds = ExtraData();
  ds->Append();
  Fill(ds, 4, "drvo");
  ds->Post();
  ds->InsertSQL().SetText(
      "INSERT INTO EXTRA_DATA(REDOSLED, VREDNOST, BRDOK, EDID, VRDOK) "
      "VALUES(:REDOSLED, :NEW_VREDNOST, :BRDOK, :EDID, :VRDOK)");
  ds->Append();
  Fill(ds, 2, "plava", 8);
  ds->Post();
  EXPECT_EQ(Stored("select VREDNOST || '/' || REDOSLED || '/' || VRDOK from EXTRA_DATA where BRDOK = 8"),
            "plava/2/-2");
  EXPECT_EQ(Stored("select VREDNOST from EXTRA_DATA where BRDOK = 7 and EDID = 4"), "drvo");
}

TEST_F(PostTest, EmptyStringAndLongTextOnPost) {
  TpFIBDataSet* ds = ExtraData();
  ds->Append();
  Fill(ds, 4, "");
  EXPECT_TRUE(ds->FieldByName("VREDNOST")->IsNull());
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "");
  ds->Post();
  EXPECT_EQ(Stored("select VREDNOST from EXTRA_DATA where EDID = 4"), "<null>");

  ds->Append();
  Fill(ds, 4, std::string(100, 'x') + "y", 9);
  ds->Post();
  EXPECT_EQ(Stored("select VREDNOST from EXTRA_DATA where BRDOK = 9"), std::string(100, 'x'));
}

// A refused insert: the dataset stays in Insert with its values, the
// update transaction it started is not left open, and the next post works.
TEST_F(PostTest, RefusedInsertKeepsTheRowPending) {
  db.Exec("create exception E_REFUSED 'no such definition'");
  db.Exec("create trigger EXTRA_DATA_BI for EXTRA_DATA before insert as begin "
          "if (new.EDID = 99) then exception E_REFUSED; end");
  struct Case { const char* what; int edid; const char* message; };
  const Case cases[] = {{"primary key", 1, "PRIMARY or UNIQUE KEY"},
                        {"trigger exception", 99, "E_REFUSED"}};
  TpFIBDataSet* ds = ExtraData();
  ds->Last();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ds->Append();
    Fill(ds, c.edid, "x");
    try {
      ds->Post();
      ADD_FAILURE() << "post succeeded";
    } catch (const EFIBInterBaseError& e) {
      EXPECT_NE(e.Message().find(c.message), std::string::npos) << e.Message();
    }
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_EQ(ds->FieldByName("EDID")->AsInteger(), c.edid);
    EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "x");
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_FALSE(db.WriteTr->Active());
    // A corrected row posts.
    ds->FieldByName("EDID")->SetAsInteger(4);
    ds->Post();
    EXPECT_EQ(ds->RecordCount(), 4);
    db.Exec("delete from EXTRA_DATA where EDID = 4");
    ds->Close();
    ds->Open();
    ds->Last();
  }
  // Closing in Insert drops the row without a statement.
  ds->Append();
  Fill(ds, 4, "dropped");
  ds->Close();
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "3");
}

TEST_F(PostTest, LockConflictWithASecondAttachment) {
  TFIBDatabase other;
  other.SetDBName(db.Path());
  other.DBParams().Add("user_name=SYSDBA");
  other.DBParams().Add("password=m");
  other.SetSQLDialect(3);
  other.SetConnected(true);
  TFIBTransaction otherTr;
  otherTr.SetDefaultDatabase(&other);
  for (const char* p : {"write", "nowait", "read_committed", "rec_version"}) otherTr.TRParams().Add(p);
  otherTr.StartTransaction();
  fibtest::ExecSQL(other, otherTr, "insert into EXTRA_DATA values (-2, 4, 7, 'other', 4)");

  TpFIBDataSet* ds = ExtraData();
  ds->Append();
  Fill(ds, 4, "mine");
  EXPECT_THROW(ds->Post(), EFIBInterBaseError);
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_FALSE(db.WriteTr->Active());
  otherTr.Rollback();
  ds->Post();
  EXPECT_EQ(Stored("select VREDNOST from EXTRA_DATA where EDID = 4"), "mine");
  other.SetConnected(false);
}

TEST_F(PostTest, PostAfterTheReadTransactionCommittedRetaining) {
  TpFIBDataSet* ds = ExtraData();
  ds->Last();
  db.ReadTr->CommitRetaining();
  ASSERT_TRUE(ds->Active());
  ds->Append();
  Fill(ds, 4, "posle");
  ds->Post();
  EXPECT_EQ(ds->RecordCount(), 4);
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "posle");
  // A hard commit of the read transaction closes the dataset, pending row and all.
  ds->Append();
  db.ReadTr->Commit();
  EXPECT_FALSE(ds->Active());
}

TEST_F(PostTest, HandlersThatCloseTheDataset) {
  TpFIBDataSet* ds = ExtraData();
  ds->BeforePost = [](TDataSet* d) { d->Close(); };
  ds->Append();
  Fill(ds, 4, "x");
  EXPECT_EQ(ErrorOf([&] { ds->Post(); }),
            "Can't continue after BeforePost because Form6.qryExtraData dataset closed.");
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "3");
  ds->BeforePost = nullptr;
  ds->BeforeCancel = [](TDataSet* d) { d->Close(); };
  ds->Open();
  ds->Append();
  EXPECT_EQ(ErrorOf([&] { ds->Cancel(); }),
            "Can't continue after BeforeCancel because Form6.qryExtraData dataset closed.");
}

TEST_F(PostTest, CancelDropsTheRowAndReturnsToTheLastRow) {
  TpFIBDataSet* ds = ExtraData();
  ds->Last();
  ds->Append();
  Fill(ds, 4, "nista");
  ds->Cancel();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_EQ(ds->FieldByName("EDID")->AsInteger(), 3);
  EXPECT_FALSE(db.WriteTr->Active());
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "3");
}

TEST_F(PostTest, NoActionAndImpossibleInserts) {
  TpFIBDataSet* ds = ExtraData();
  ds->Last();
  ds->Close();
  ds->InsertSQL().SetText("No Action");
  ds->Open();
  ds->Last();
  ds->Append();
  Fill(ds, 4, "samo u kesu");
  ds->Post();
  EXPECT_EQ(ds->RecordCount(), 4);
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "samo u kesu");
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "3");

  // Only an update text: appending aborts silently and nothing changes.
  ds->Close();
  ds->InsertSQL().Clear();
  ds->UpdateSQL().SetText("update EXTRA_DATA set VREDNOST = :VREDNOST where EDID = :OLD_EDID");
  ds->Open();
  EXPECT_THROW(ds->Append(), EAbort);
  EXPECT_EQ(ds->State(), dsBrowse);
  // No modifying text at all: a read-only dataset.
  ds->Close();
  ds->UpdateSQL().Clear();
  ds->Open();
  EXPECT_EQ(ErrorOf([&] { ds->Append(); }), "qryExtraData: Cannot modify a read-only dataset");
}

TEST_F(PostTest, RefreshTakesASelectParameterNoColumnCarries) {
  TpFIBDataSet* ds = db.NewDataSet("ds", "select VRDOK, EDID, VREDNOST from EXTRA_DATA where BRDOK = :ART");
  ds->InsertSQL().SetText("insert into EXTRA_DATA values (:VRDOK, :EDID, :ART, :VREDNOST, 0)");
  ds->RefreshSQL().SetText(
      "select VRDOK, EDID, VREDNOST || '!' as VREDNOST from EXTRA_DATA "
      "where BRDOK = :ART and EDID = :OLD_EDID");
  ds->ParamByName("ART")->SetAsInteger(12);
  ds->Open();
  ds->Append();
  ds->FieldByName("VRDOK")->SetAsInteger(-2);
  ds->FieldByName("EDID")->SetAsInteger(1);
  ds->FieldByName("VREDNOST")->SetAsString("novo");
  ds->Post();
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "novo!");  // the refreshed row
  EXPECT_EQ(Stored("select VREDNOST from EXTRA_DATA where BRDOK = 12"), "novo");
}

TEST_F(PostTest, WithoutAutoCommitRowsStayInTheUpdateTransaction) {
  TpFIBDataSet* ds = ExtraData();
  ds->SetAutoCommit(false);
  ds->Append();
  Fill(ds, 4, "cekam");
  ds->Post();
  EXPECT_TRUE(db.WriteTr->Active());
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "3");
  db.WriteTr->Commit();
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "4");
  EXPECT_TRUE(ds->Active());
}

// The insert ran, a later step failed: the caller hears of it, and a retried
// post of the same row completes it without storing a second copy.
TEST_F(PostTest, RetryAfterAFailedCommitOrRefreshStoresTheRowOnce) {
  db.Exec("create table LOG (ID integer, VAL varchar(10))");
  db.Exec("create table FLAG (F integer)");
  db.Exec("insert into FLAG values (0)");
  db.Exec("create exception E_NOCOMMIT 'commit refused'");
  db.Exec("create trigger LOG_BI for LOG before insert as begin "
          "rdb$set_context('USER_TRANSACTION', 'WROTE_LOG', '1'); end");
  db.Exec("create trigger TR_COMMIT on transaction commit as begin "
          "if (rdb$get_context('USER_TRANSACTION', 'WROTE_LOG') = '1' and "
          "exists(select 1 from FLAG where F = 0)) then exception E_NOCOMMIT; end");

  TpFIBDataSet* ds = db.NewDataSet("ds", "select ID, VAL from LOG");
  ds->InsertSQL().SetText("insert into LOG values (:ID, :VAL)");
  // The refresh fails while FLAG holds 1 (division by zero), works at 2.
  ds->RefreshSQL().SetText(
      "select ID, VAL from LOG where ID = :OLD_ID and (select 1 / (F - 1) from FLAG) is not null "
      "or ID = :OLD_ID and (select F from FLAG) = 2");
  ds->Open();

  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(1);
  ds->FieldByName("VAL")->SetAsString("a");
  EXPECT_NE(ErrorOf([&] { ds->Post(); }).find("E_NOCOMMIT"), std::string::npos);
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_EQ(ds->RecordCount(), 0);
  EXPECT_TRUE(db.WriteTr->Active());  // the insert waits in it

  db.Exec("update FLAG set F = 1");  // commits go through; the refresh now fails
  EXPECT_NE(ErrorOf([&] { ds->Post(); }).find("divide"), std::string::npos);
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_EQ(Stored("select count(*) from LOG"), "1");

  db.Exec("update FLAG set F = 2");
  ds->Post();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->RecordCount(), 1);
  EXPECT_EQ(ds->FieldByName("VAL")->AsString(), "a");
  EXPECT_EQ(Stored("select count(*) from LOG"), "1");

  // A rolled-back insert is not stored: its retry inserts again.
  db.Exec("update FLAG set F = 0");
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(2);
  EXPECT_THROW(ds->Post(), EFIBInterBaseError);
  db.WriteTr->Rollback();
  db.Exec("update FLAG set F = 2");
  ds->Post();
  EXPECT_EQ(Stored("select count(*) from LOG where ID = 2"), "1");
}

// New-row defaults: imported database defaults, keywords by field class.
TEST_F(PostTest, NewRowDefaults) {
  db.Exec("create table D (ID integer not null, JM varchar(10) default 'KOM', "
          "E varchar(10) default '' not null, N numeric(9,2) default 1.5, DT date, TS timestamp, "
          "U varchar(31), R varchar(31), Q varchar(10))");
  TpFIBDataSet* ds = db.NewDataSet("ds", "select * from D");
  ds->InsertSQL().SetText("insert into D values (:ID, :JM, :E, :N, :DT, :TS, :U, :R, :Q)");
  ds->Open();
  EXPECT_EQ(ds->FieldByName("JM")->DefaultExpression(), "'KOM'");
  EXPECT_EQ(ds->FieldByName("N")->DefaultExpression(), "1.5");
  ds->FieldByName("DT")->SetDefaultExpression(" 'today' ");
  ds->FieldByName("TS")->SetDefaultExpression("NOW");
  ds->FieldByName("U")->SetDefaultExpression("current_user");
  ds->FieldByName("R")->SetDefaultExpression("NULL");
  ds->FieldByName("Q")->SetDefaultExpression("'it''s'");
  int asked = 0;
  ds->OnApplyDefaultValue = [&](TDataSet*, TField* f, bool& handled) {
    ++asked;
    handled = f->FieldName() == "Q";
  };

  const TDateTime before = Now();
  ds->Append();
  EXPECT_FALSE(ds->Modified());
  EXPECT_EQ(ds->FieldByName("JM")->AsString(), "KOM");
  EXPECT_FALSE(ds->FieldByName("E")->IsNull());
  EXPECT_EQ(ds->FieldByName("E")->AsString(), "");
  EXPECT_DOUBLE_EQ(ds->FieldByName("N")->AsFloat(), 1.5);
  EXPECT_DOUBLE_EQ(ds->FieldByName("DT")->AsDateTime(), Date());
  EXPECT_GE(ds->FieldByName("TS")->AsDateTime(), before - 1.0 / 86400);
  EXPECT_EQ(ds->FieldByName("U")->AsString(), "SYSDBA");
  EXPECT_TRUE(ds->FieldByName("R")->IsNull());
  EXPECT_TRUE(ds->FieldByName("Q")->IsNull());  // handled by the event
  EXPECT_EQ(asked, 7);  // every field with an expression, "NULL" included
  ds->OnApplyDefaultValue = nullptr;
  ds->Cancel();
  ds->Append();
  EXPECT_EQ(ds->FieldByName("Q")->AsString(), "it''s");
  ds->FieldByName("ID")->SetAsInteger(1);
  ds->Post();
  EXPECT_EQ(Stored("select E || '|' || JM || '|' || N from D"), "|KOM|1.50");
}

}  // namespace

namespace {

// Editing and deleting run the same machinery: OLD_ parameters take the
// cached values from before the edit.
TEST_F(PostTest, EditAndDeleteUseTheCachedOldValues) {
  TpFIBDataSet* ds = db.NewDataSet("qryExtraData", kExtraDataSelect);
  ds->UpdateSQL().SetText(
      "UPDATE EXTRA_DATA\r\nSET \r\n    EDID = :EDID,\r\n    VREDNOST = :VREDNOST\r\nWHERE\r\n"
      "    VRDOK = :OLD_VRDOK\r\n    and EDID = :OLD_EDID\r\n    and BRDOK = :OLD_BRDOK\r\n    ");
  ds->DeleteSQL().SetText(
      "DELETE FROM\r\n    EXTRA_DATA\r\nWHERE\r\n        VRDOK = :OLD_VRDOK\r\n    and EDID = :OLD_EDID\r\n"
      "    and BRDOK = :OLD_BRDOK\r\n    ");
  ds->RefreshSQL().SetText(kRefreshSQL);
  ds->ParamByName("BRDOK")->SetAsInteger(7);
  ds->Open();
  ds->Next();
  ds->Edit();
  ds->FieldByName("EDID")->SetAsInteger(9);
  ds->FieldByName("VREDNOST")->SetAsString("13 kg");
  ds->Post();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "13 kg");
  EXPECT_EQ(Stored("select VREDNOST from EXTRA_DATA where EDID = 9"), "13 kg");
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA where EDID = 2"), "0");
  EXPECT_FALSE(db.WriteTr->Active());

  ds->Delete();
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "2");
  EXPECT_EQ(ds->RecordCount(), 2);
  EXPECT_EQ(ds->FieldByName("EDID")->AsInteger(), 3);
}

}  // namespace

namespace {

// Insert (not append) puts the new row at the current row's place in the
// cache; the rows below move down one position.
TEST_F(PostTest, InsertInTheMiddleOfTheCache) {
  TpFIBDataSet* ds = ExtraData();
  ds->Last();
  ds->First();
  ds->Next();
  ds->Insert();
  EXPECT_EQ(ds->RecNo(), 2);
  Fill(ds, 4, "umetnut");
  ds->Post();
  EXPECT_EQ(ds->RecNo(), 2);
  EXPECT_EQ(ds->RecordCount(), 4);
  std::string order;
  for (ds->First(); !ds->Eof(); ds->Next()) order += ds->FieldByName("EDID")->AsString();
  EXPECT_EQ(order, "1423");
  // A cancelled insert leaves the row it started on current.
  ds->First();
  ds->Next();
  ds->Next();
  ds->Insert();
  ds->Cancel();
  EXPECT_EQ(ds->FieldByName("EDID")->AsInteger(), 2);
}

}  // namespace

// A handler that applies the row itself: no statement, commit or refresh
// reaches the server, yet the dataset goes on as after a stored row.
TEST_F(PostTest, UpdateRecordHandlerThatAppliesSendsNothing) {
  TpFIBDataSet* ds = ExtraData();
  ds->DeleteSQL().SetText("DELETE FROM EXTRA_DATA WHERE VRDOK = :OLD_VRDOK and EDID = :OLD_EDID and BRDOK = :OLD_BRDOK");
  std::vector<std::string> seen;
  ds->OnUpdateRecord = [&](TDataSet* d, TUpdateKind kind, TUpdateAction& action) {
    seen.push_back(std::to_string(kind) + ":" + d->FieldByName("VREDNOST")->AsString());
    action = uaApplied;
  };
  ds->Last();
  ds->Append();
  Fill(ds, 4, "drvo");
  ds->Post();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->RecordCount(), 4);
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "drvo");
  EXPECT_FALSE(db.WriteTr->Active());  // nothing started, nothing to commit
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "3");

  ds->First();  // "crvena", stored
  ds->Delete();
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_EQ(ds->FieldByName("VREDNOST")->AsString(), "12 kg");
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "3");
  EXPECT_EQ(seen, (std::vector<std::string>{std::to_string(ukInsert) + ":drvo", std::to_string(ukDelete) + ":crvena"}));
}

// A handler that leaves the row to the dataset changes nothing; one that
// raises fails the post as a refused insert does.
TEST_F(PostTest, UpdateRecordHandlerThatDeclinesOrRaises) {
  TpFIBDataSet* ds = ExtraData();
  bool raise = false;
  ds->OnUpdateRecord = [&](TDataSet*, TUpdateKind, TUpdateAction&) {
    if (raise) throw EDatabaseError("already present");
  };
  ds->Last();
  ds->Append();
  Fill(ds, 4, "drvo");
  ds->Post();
  EXPECT_EQ(Stored("select VREDNOST from EXTRA_DATA where EDID = 4"), "drvo");

  raise = true;
  ds->Append();
  Fill(ds, 4, "hrast", 8);
  EXPECT_THROW(ds->Post(), EDatabaseError);
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_EQ(ds->RecordCount(), 4);
  EXPECT_FALSE(db.WriteTr->Active());
  ds->Cancel();
  EXPECT_EQ(Stored("select count(*) from EXTRA_DATA"), "4");
}
