// The Firebird dataset core on the embedded engine: open, lazy fetching,
// counts, close and re-open, parameters, transaction and connection events,
// field definitions and bad input.
#include <gtest/gtest.h>

#include "FIBDataSet_fixture.h"
#include "FibTestSupport.h"
#include "dataset/MemDataSet.h"
#include "fib/FIBFields.h"
#include "fib/fib.h"

namespace {

class FIBDataSetTest : public ::testing::Test {
 protected:
  TDataSetScratch db;
};

TEST_F(FIBDataSetTest, FetchesOnlyWhatTheViewerShowsThenAllOnLast) {
  db.FillNumbered("T", 50);
  TpFIBDataSet* ds = db.NewDataSet("Roba", "select ID, NAME from T order by ID");
  TDataSource src;
  src.SetDataSet(ds);
  TCountingLink grid;
  grid.SetDataSource(&src);
  grid.SetBufferCount(20);
  ds->Open();
  EXPECT_EQ(ds->RecordCount(), 20);
  EXPECT_EQ(ds->FetchedCount(), 20);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "row 1");
  ds->Last();
  EXPECT_EQ(ds->RecordCount(), 50);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 50);
  EXPECT_EQ(ds->RecNo(), 50);
  ds->First();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
  EXPECT_TRUE(ds->Bof());
}

TEST_F(FIBDataSetTest, NextOnTheLastRowSetsEofAndStays) {
  db.FillNumbered("T", 3);
  TpFIBDataSet* ds = db.NewDataSet("ds", "select ID from T order by ID");
  ds->Open();
  EXPECT_EQ(ds->RecordCount(), 1);  // no viewer: one row
  ds->Next();
  ds->Next();
  EXPECT_FALSE(ds->Eof());
  ds->Next();
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
  EXPECT_EQ(ds->RecordCount(), 3);
  ds->Prior();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
}

// Bookmarks taken while rows are still arriving keep finding their row after
// later fetches, and order by position.
TEST_F(FIBDataSetTest, BookmarksOfALazilyFetchedResult) {
  db.FillNumbered("T", 30);
  TpFIBDataSet* ds = db.NewDataSet("ds", "select ID from T order by ID");
  ds->Open();
  ds->Next();
  const TBookmark second = ds->GetBookmark();
  EXPECT_EQ(second.size(), 8u);
  EXPECT_EQ(ds->FetchedCount(), 2);
  ds->Last();
  const TBookmark last = ds->GetBookmark();
  EXPECT_LT(ds->CompareBookmarks(second, last), 0);
  EXPECT_LT(ds->CompareBookmarks({}, second), 0);
  EXPECT_FALSE(ds->BookmarkValid(TBookmark(4)));
  ds->GotoBookmark(second);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
  EXPECT_EQ(ds->RecNo(), 2);
  ds->SetRecNo(29);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 29);
  ds->Close();
  EXPECT_FALSE(ds->BookmarkValid(second));
}

TEST_F(FIBDataSetTest, EmptySelectFailsWithTheDatasetName) {
  TpFIBDataSet* ds = db.NewDataSet("qryEDSif", "  \r\n");
  EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "Can't Prepare Form6.qryEDSif , because  query is empty");
  EXPECT_FALSE(ds->Active());
}

TEST_F(FIBDataSetTest, ReopenExecutesAgainWithKeptOrNewParameterValues) {
  db.FillNumbered("T", 10);
  TpFIBDataSet* ds = db.NewDataSet("qryExtraData", "select ID from T where ID > :BRDOK order by ID");
  ds->ParamByName("BRDOK")->SetAsInteger(7);  // needs neither open nor prepare
  ds->Open();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 8);
  const isc_stmt_handle handle = ds->QSelect()->Handle();
  ds->Close();
  ds->Open();  // the old value stays
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 8);
  ds->Close();
  ds->ParamByName("brdok")->SetAsInteger(2);
  ds->Open();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
  EXPECT_EQ(ds->QSelect()->Handle(), handle) << "re-opening must not prepare again";
  EXPECT_TRUE(ds->Prepared());
}

TEST_F(FIBDataSetTest, UnknownParameterNamesTheDatasetAndChangesNothing) {
  db.FillNumbered("T", 2);
  TpFIBDataSet* ds = db.NewDataSet("qryExtraData", "select ID from T where ID = :BRDOK");
  EXPECT_EQ(ErrorOf([&] { ds->ParamByName("VRDOK"); }),
            "Parameter \"VRDOK\" does not exist in Form6.qryExtraData");
  EXPECT_EQ(ds->FindParam("VRDOK"), nullptr);
  ds->ParamByName("BRDOK")->SetAsInteger(2);
  ds->Open();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
}

TEST_F(FIBDataSetTest, HardEndOfTheReadTransactionClosesRetainingDoesNot) {
  db.FillNumbered("T", 5);
  TpFIBDataSet* a = db.NewDataSet("a", "select ID from T order by ID");
  TpFIBDataSet* b = db.NewDataSet("b", "select NAME from T order by ID");
  int ending = 0, afterEndUpdate = 0;
  a->TransactionEnding = [&](TDataSet*) { ++ending; };
  a->AfterEndUpdateTransaction = [&](TDataSet*) { ++afterEndUpdate; };
  a->Open();
  b->Open();
  a->Next();
  db.ReadTr->CommitRetaining();
  EXPECT_TRUE(a->Active());
  EXPECT_EQ(a->FieldByName("ID")->AsInteger(), 2);
  a->Next();  // the cursor survived
  EXPECT_EQ(a->FieldByName("ID")->AsInteger(), 3);

  // The update transaction's end keeps the datasets and their rows.
  db.WriteTr->StartTransaction();
  db.WriteTr->Commit();
  EXPECT_EQ(afterEndUpdate, 1);
  EXPECT_TRUE(a->Active());
  EXPECT_EQ(a->RecordCount(), 3);

  db.ReadTr->Commit();
  EXPECT_FALSE(a->Active());
  EXPECT_FALSE(b->Active());
  EXPECT_EQ(ending, 2);
  a->Open();  // starts the read transaction again
  EXPECT_TRUE(db.ReadTr->Active());
  EXPECT_EQ(a->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(FIBDataSetTest, DisconnectClosesAndUnprepares) {
  db.FillNumbered("T", 2);
  TpFIBDataSet* ds = db.NewDataSet("ds", "select ID from T");
  int disconnecting = 0;
  ds->DatabaseDisconnecting = [&](TDataSet*) { ++disconnecting; };
  ds->Open();
  db.Database->SetConnected(false);
  EXPECT_FALSE(ds->Active());
  EXPECT_FALSE(ds->Prepared());
  EXPECT_EQ(disconnecting, 1);
  db.Database->SetConnected(true);
  ds->Open();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(FIBDataSetTest, PersistentStringFieldAdoptsTheColumnLength) {
  db.Exec("create table T (VREDNOST varchar(100), N numeric(15,2))");
  db.Exec("insert into T values ('" + std::string(100, 'x') + "', 12.5)");
  TpFIBDataSet* ds = db.NewDataSet("qryExtraData", "select VREDNOST, N from T");
  auto* f = new TFIBStringField(db.Form.get());
  f->SetFieldName("VREDNOST");
  f->SetSize(20);
  f->SetDataSet(ds);
  auto* n = new TFIBBCDField(db.Form.get());
  n->SetFieldName("N");
  n->SetDataSet(ds);
  ds->Open();
  EXPECT_EQ(f->Size(), 100);
  EXPECT_EQ(n->Size(), 2);
  EXPECT_EQ(f->AsString(), std::string(100, 'x'));
  ds->Close();
  EXPECT_EQ(ds->FieldCount(), 2) << "persistent fields survive the close";
}

TEST_F(FIBDataSetTest, FieldDefinitionsAndOriginsFollowTheColumns) {
  db.Exec(
      "create table T (S smallint, I integer, B bigint, N2 numeric(9,2), N4 numeric(18,4), N6 numeric(18,6), "
      "D double precision, F float, DT date, TM time, TS timestamp, C char(4), V varchar(30), M blob sub_type 1)");
  TpFIBDataSet* ds = db.NewDataSet("ds", "select t.*, 1 + 1 as EXPR from T t");
  ds->SetFieldOriginRule(forTableAliasAndFieldName);
  ds->Open();
  struct Want {
    const char* name;
    TFieldType type;
    int size;
  };
  const Want kWant[] = {{"S", ftSmallint, 0}, {"I", ftInteger, 0},  {"B", ftBCD, 0},      {"N2", ftFloat, 0},
                        {"N4", ftBCD, 4},     {"N6", ftFloat, 0},   {"D", ftFloat, 0},    {"F", ftFloat, 0},
                        {"DT", ftDate, 0},    {"TM", ftTime, 0},    {"TS", ftDateTime, 0}, {"C", ftString, 4},
                        {"V", ftString, 30},  {"M", ftMemo, 8},     {"EXPR", ftBCD, 0}};
  ASSERT_EQ(ds->FieldDefs().Count(), static_cast<int>(std::size(kWant)));
  for (const Want& w : kWant) {
    SCOPED_TRACE(w.name);
    const TFieldDef* def = ds->FieldDefs().Find(w.name);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->DataType(), w.type);
    EXPECT_EQ(def->Size(), w.size);
  }
  // N2 is stored as a scaled INTEGER, so a float field; N4 as a 64-bit BCD.
  EXPECT_EQ(ds->FieldByName("V")->Origin(), "T.V");
  EXPECT_NE(dynamic_cast<TFIBStringField*>(ds->FieldByName("V")), nullptr);
}

TEST_F(FIBDataSetTest, BadSelectLeavesTheDatasetClosedAndUsable) {
  db.FillNumbered("T", 2);
  db.Exec("create table TB (FLAG boolean)");
  TpFIBDataSet* ds = db.NewDataSet("qryBad", "select NOPE from T");
  const std::string prepare = ErrorOf([&] { ds->Open(); });
  EXPECT_NE(prepare.find("qryBad"), std::string::npos) << prepare;
  EXPECT_FALSE(ds->Active());
  ds->SelectSQL().SetText("select FLAG from TB");
  const std::string boolean = ErrorOf([&] { ds->Open(); });
  EXPECT_NE(boolean.find("Form6.qryBad"), std::string::npos) << boolean;
  EXPECT_FALSE(ds->Active());
  ds->SelectSQL().SetText("select ID from T");
  ds->Open();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
  EXPECT_EQ(ErrorOf([&] { ds->SelectSQL().SetText("select 1 from T"); }),
            "Can't  change SelectSQL  because Form6.qryBad dataset open.");
}

// The same navigation on an in-memory dataset and on a Firebird dataset:
// a viewer must not be able to tell them apart by their notifications.
TEST_F(FIBDataSetTest, NotificationsMatchTheInMemoryDataset) {
  db.FillNumbered("T", 12);
  struct Counts {
    int changes = 0, states = 0, linkChanged = 0, linkScrolled = 0, linkActive = 0;
    bool operator==(const Counts&) const = default;
  };
  auto run = [](TDataSet* ds) {
    Counts c;
    TDataSource src;
    src.OnDataChange = [&](TDataSource*, TField*) { ++c.changes; };
    src.OnStateChange = [&](TDataSource*) { ++c.states; };
    src.SetDataSet(ds);
    TCountingLink grid;
    grid.SetDataSource(&src);
    grid.SetBufferCount(5);
    ds->Open();
    for (int i = 0; i < 7; ++i) ds->Next();
    ds->Prior();
    ds->Last();
    ds->First();
    ds->Close();
    c.linkChanged = grid.changed;
    c.linkScrolled = grid.scrolled;
    c.linkActive = grid.active;
    return c;
  };
  TMemDataSet mem;
  mem.AddFieldDef("ID", ftInteger);
  for (int i = 1; i <= 12; ++i) mem.AddRow({Variant(i)});
  const Counts onMemory = run(&mem);
  const Counts onFirebird = run(db.NewDataSet("ds", "select ID from T order by ID"));
  EXPECT_EQ(onFirebird.changes, onMemory.changes);
  EXPECT_EQ(onFirebird.states, onMemory.states);
  EXPECT_EQ(onFirebird.linkChanged, onMemory.linkChanged);
  EXPECT_EQ(onFirebird.linkScrolled, onMemory.linkScrolled);
  EXPECT_EQ(onFirebird.linkActive, onMemory.linkActive);
}

TEST_F(FIBDataSetTest, OpeningCallsTheDataChangeHandlerOnce) {
  db.FillNumbered("T", 30);
  TpFIBDataSet* ds = db.NewDataSet("Roba", "select ID from T order by ID");
  TDataSource src;
  int changes = 0;
  src.OnDataChange = [&](TDataSource*, TField*) { ++changes; };
  src.SetDataSet(ds);
  TCountingLink grid;
  grid.SetDataSource(&src);
  grid.SetBufferCount(10);
  ds->Open();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(ds->RecordCount(), 10);
}

TEST_F(FIBDataSetTest, StoredOptionPropertiesAndStatementOptions) {
  TpFIBDataSet* ds = db.NewDataSet("ds", "select 1 from RDB$DATABASE");
  EXPECT_EQ(ds->Options(), kDefaultDsOptions);
  EXPECT_EQ(ds->PrepareOptions(), kDefaultPrepareOptions);
  // The constructor's default does not reach the statements.
  EXPECT_EQ(ds->QSelect()->Options(), 0);
  EXPECT_TRUE(ds->ReadStoredProperty("oTrimCharFields", Variant(false)));
  EXPECT_FALSE(ds->HasOption(poTrimCharFields));
  EXPECT_TRUE(ds->HasOption(poStartTransaction));
  EXPECT_EQ(ds->QInsert()->Options() & qoStartTransaction, qoStartTransaction);
  EXPECT_EQ(ds->QRefresh()->Options(), 0);
  EXPECT_TRUE(ds->ReadStoredProperty("poGetOrderInfo", Variant(false)));
  EXPECT_FALSE(ds->HasPrepareOption(psGetOrderInfo));
  EXPECT_TRUE(ds->ReadStoredProperty("BufferChunks", Variant(64)));
  EXPECT_EQ(ds->CacheModelOptions().BufferChunks, 64);
  EXPECT_FALSE(ds->ReadStoredProperty("oNoSuchOption", Variant(true)));
}

TEST_F(FIBDataSetTest, BindingGivesStatementsTheirTransactions) {
  auto* ds = new TpFIBDataSet(db.Form.get());
  ds->SetDatabase(db.Database);
  ds->SetTransaction(db.ReadTr);  // modifying statements follow while shared
  EXPECT_EQ(ds->QInsert()->Transaction(), db.ReadTr);
  ds->SetUpdateTransaction(db.WriteTr);
  EXPECT_EQ(ds->UpdateTransaction(), db.WriteTr);
  EXPECT_EQ(ds->QSelect()->Transaction(), db.ReadTr);
  EXPECT_EQ(ds->QRefresh()->Transaction(), db.ReadTr);
  EXPECT_EQ(ds->QDelete()->Transaction(), db.WriteTr);
  ds->SetTransaction(db.Transaction);  // only select and refresh follow now
  EXPECT_EQ(ds->QRefresh()->Transaction(), db.Transaction);
  EXPECT_EQ(ds->QInsert()->Transaction(), db.WriteTr);

  // A database's default update transaction fills in a missing one.
  auto* other = new TpFIBDataSet(db.Form.get());
  db.Database->SetDefaultUpdateTransaction(db.WriteTr);
  other->SetTransaction(db.ReadTr);
  other->SetDatabase(db.Database);
  EXPECT_EQ(other->UpdateTransaction(), db.WriteTr);
  db.Database->SetDefaultUpdateTransaction(nullptr);
}

// A failure after the default fields were made (here: executing) leaves no
// fields behind, so the next open makes them afresh.
TEST_F(FIBDataSetTest, FailedExecuteLeavesNoDefaultFields) {
  db.FillNumbered("T", 3);
  TpFIBDataSet* ds = db.NewDataSet("ds", "select ID from T where ID = cast(:P as integer)");
  ds->ParamByName("P")->SetAsString("not a number");
  EXPECT_NE(ErrorOf([&] { ds->Open(); }), "no error");
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->FieldCount(), 0);
  ds->ParamByName("P")->SetAsInteger(3);
  ds->Open();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
}

}  // namespace

namespace {

// The connection dies under an open cursor (a second attachment ends it
// through the monitoring tables): the error reaches the caller, the rows
// already fetched stay, and close and re-open work once connected again.
TEST_F(FIBDataSetTest, LostConnectionDuringFetch) {
  db.FillNumbered("T", 200);
  TpFIBDataSet* ds = db.NewDataSet("Roba", "select ID from T order by ID");
  ds->Open();
  ds->Next();
  ASSERT_EQ(ds->FetchedCount(), 2);
  {
    TFIBDatabase killer;
    killer.SetDBName(db.Path());
    killer.DBParams().Add("user_name=SYSDBA");
    killer.DBParams().Add("password=m");
    killer.SetSQLDialect(3);
    TFIBTransaction tr;
    tr.SetDefaultDatabase(&killer);
    killer.SetConnected(true);
    tr.StartTransaction();
    fibtest::ExecSQL(killer, tr, "delete from mon$attachments where mon$attachment_id <> current_connection");
    tr.Commit();
    killer.SetConnected(false);
  }
  const std::string error = ErrorOf([&] { ds->Last(); });
  EXPECT_NE(error, "no error");
  EXPECT_EQ(ds->FetchedCount(), 2) << "the rows already fetched stay";
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2) << error;
  ds->Close();
  EXPECT_FALSE(ds->Active());
  db.Database->ForceClose();
  db.Database->SetConnected(true);
  ds->Open();
  ds->Last();
  EXPECT_EQ(ds->RecordCount(), 200);
}

}  // namespace
