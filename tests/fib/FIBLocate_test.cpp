// Locate on the Firebird dataset (embedded engine): matching rules per field
// type and option, fetching only as far as the search needs, and the exact
// notifications and scroll events of the position refresh and the move.
#include <gtest/gtest.h>

#include "FIBDataSet_fixture.h"
#include "fib/FIBFields.h"
#include "runtime/DateText.h"

namespace {

class FIBLocateTest : public ::testing::Test {
 protected:
  // An article table: KATBRPRO codes, GRUPAID as CHAR(6) (stored padded).
  void SetUp() override {
    db.Exec("create table ROBA (ROBAID integer not null primary key, KATBRPRO varchar(25), GRUPAID char(6),"
            " CENA numeric(15,2), KOL double precision, DAN date, KADA timestamp, N18 numeric(18,6))");
    db.Exec("execute block as declare i integer = 1; begin while (i <= 100) do begin"
            " insert into ROBA values (:i, lpad(:i, 4, '0'), iif(mod(:i, 2) = 0, 'REP', 'GP'), :i * 1.25, :i / 4e0,"
            " dateadd(:i day to date '2020-01-01'), dateadd(:i minute to timestamp '2020-01-01 10:00:00'),"
            " :i * 0.000001);"
            " i = i + 1; end end");
    db.Exec("update ROBA set GRUPAID = 'gp' where ROBAID = 7");
    db.Exec("update ROBA set KATBRPRO = null where ROBAID = 9");
    db.Exec("update ROBA set KATBRPRO = '' where ROBAID = 11");
    ds = db.NewDataSet("Roba", "select * from ROBA order by ROBAID");
    src.OnDataChange = [this](TDataSource*, TField*) { ++changes; };
    src.SetDataSet(ds);
    grid.SetDataSource(&src);
    grid.SetBufferCount(5);
    ds->BeforeScroll = [this](TDataSet*) { ++beforeScroll; };
    ds->AfterScroll = [this](TDataSet*) { ++afterScroll; };
  }

  void Open() {
    ds->Open();
    Reset();
  }
  void Reset() { changes = beforeScroll = afterScroll = 0; }
  int Id() { return ds->FieldByName("ROBAID")->AsInteger(); }
  bool Find(const Variant& keys, TLocateOptions options = loNone, const char* fields = "KATBRPRO;GRUPAID") {
    return ds->Locate(fields, keys, options);
  }

  TDataSetScratch db;
  TpFIBDataSet* ds = nullptr;
  TDataSource src;
  TCountingLink grid;
  int changes = 0, beforeScroll = 0, afterScroll = 0;
};

Variant Keys(const char* katbrpro, const char* grupa) { return VarArrayOf({Variant(katbrpro), Variant(grupa)}); }

// The road's sequence: a row further down than fetched, the current row, a
// missing row; notifications exactly as the transfer relies on.
TEST_F(FIBLocateTest, TheTransfersSequenceFetchesOnlyWhatItNeeds) {
  Open();
  EXPECT_EQ(ds->FetchedCount(), 5);

  EXPECT_TRUE(Find(Keys("0040", "REP")));
  EXPECT_EQ(Id(), 40);
  // The search stops at row 40; the 5-row window, centred on it, shows two more.
  EXPECT_EQ(ds->FetchedCount(), 42);
  EXPECT_EQ(changes, 2) << "position refresh on the old row, then the move";
  EXPECT_EQ(beforeScroll, 1);
  EXPECT_EQ(afterScroll, 1);

  Reset();
  EXPECT_TRUE(Find(Keys("0040", "REP")));
  EXPECT_EQ(Id(), 40);
  EXPECT_EQ(changes, 1) << "only the position refresh";
  EXPECT_EQ(beforeScroll + afterScroll, 0);

  Reset();
  EXPECT_FALSE(Find(Keys("0040", "GP")));
  EXPECT_EQ(Id(), 40) << "the cursor stays";
  EXPECT_EQ(ds->FetchedCount(), 100) << "a failed search has fetched every row";
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(beforeScroll + afterScroll, 0);
  EXPECT_FALSE(ds->Eof());
}

TEST_F(FIBLocateTest, FirstRowRightAfterOpenIsTheCurrentRow) {
  Open();
  EXPECT_TRUE(Find(Keys("0001", "GP")));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(beforeScroll + afterScroll, 0);
}

TEST_F(FIBLocateTest, AtTheEndTheEndMarkSurvivesTheRefresh) {
  Open();
  ds->Last();
  ds->Next();
  ASSERT_TRUE(ds->Eof());
  Reset();
  EXPECT_TRUE(Find(Keys("0100", "REP")));  // the current row, but the dataset is at its end
  EXPECT_EQ(Id(), 100);
  EXPECT_EQ(beforeScroll, 1);
  EXPECT_FALSE(ds->Eof());
  Reset();
  EXPECT_FALSE(Find(Keys("none", "GP")));
  EXPECT_EQ(changes, 1);
}

TEST_F(FIBLocateTest, StringKeysFollowTrimmingCaseAndPartialRules) {
  Open();
  struct Case {
    Variant keys;
    TLocateOptions options;
    int want;  // ROBAID found, 0 = none
  };
  const Case kCases[] = {
      {Keys("0007", "GP"), loNone, 0},                  // stored "gp    ": case matters
      {Keys("0007", "GP"), loCaseInsensitive, 7},
      {Keys("0005", "GP"), loNone, 5},                  // stored "GP    ": trailing blanks trimmed
      {Keys("0005", "GP "), loNone, 0},                 // the key is not trimmed
      {Keys("001", "REP"), loPartialKey, 10},           // first row starting with 001 and REP
      {Keys("001", "re"), loPartialKey | loCaseInsensitive, 10},
      {Keys("0010", "GP"), loNone, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.keys.GetElement(0).AsString() + "/" + c.keys.GetElement(1).AsString());
    ds->First();
    EXPECT_EQ(Find(c.keys, c.options), c.want != 0);
    if (c.want) {
      EXPECT_EQ(Id(), c.want);
    }
  }
}

TEST_F(FIBLocateTest, NullAndEmptyKeys) {
  Open();
  EXPECT_TRUE(Find(Variant::Null(), loNone, "KATBRPRO"));
  EXPECT_EQ(Id(), 9);
  ds->First();
  EXPECT_TRUE(Find(Variant(), loNone, "KATBRPRO"));  // Unassigned is Null
  EXPECT_EQ(Id(), 9);
  EXPECT_TRUE(Find(Variant(""), loNone, "KATBRPRO"));
  EXPECT_EQ(Id(), 11);
  // A single value with one key field is an array of one.
  EXPECT_TRUE(Find(Variant("0012"), loNone, "KATBRPRO"));
  EXPECT_EQ(Id(), 12);
}

TEST_F(FIBLocateTest, NumberDateAndTimeKeysCompareInTheStoredForm) {
  Open();
  struct Case {
    const char* field;
    Variant key;
    int want;
  };
  const Case kCases[] = {
      {"ROBAID", Variant(33), 33},
      {"ROBAID", Variant("34"), 34},  // converted once to the field's form
      {"CENA", Variant(41.25), 33},   // numeric(15,2): 3300 stored
      {"CENA", Variant(41.26), 0},
      {"KOL", Variant(8.75), 35},     // double: 35 / 4
      {"N18", Variant(0.000036), 36},  // numeric(18,6) is kept as a double
      {"DAN", Variant::FromDate(EncodeDate(2020, 1, 31)), 30},
      {"KADA", Variant::FromDate(EncodeDate(2020, 1, 1) + EncodeTime(10, 44, 0, 0)), 44},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.field);
    ds->First();
    EXPECT_EQ(Find(c.key, loNone, c.field), c.want != 0);
    if (c.want) {
      EXPECT_EQ(Id(), c.want);
    }
  }
}

TEST_F(FIBLocateTest, BadKeysFailClearlyWithoutMovingOrNotifying) {
  Open();
  ds->Next();
  Reset();
  const auto error = [&](const Variant& keys, const char* fields) {
    return ErrorOf([&] { ds->Locate(fields, keys, loNone); });
  };
  EXPECT_NE(error(Variant("abc"), "ROBAID").find("Roba: Invalid key value for field 'ROBAID'"), std::string::npos);
  EXPECT_EQ(error(Variant("0001"), "KATBRPRO;GRUPAID"), "Roba: No key value for field 'GRUPAID'");
  EXPECT_EQ(error(VarArrayOf({Variant(1), Variant(2)}), "ROBAID"), "Roba: More key values than key fields (ROBAID)");
  EXPECT_EQ(error(Variant(1), "NOPE"), "Roba: Field 'NOPE' not found");
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(changes + beforeScroll + afterScroll, 0);
}

TEST_F(FIBLocateTest, EmptyDatasetAnswersFalseSilently) {
  ds->Close();
  ds->SelectSQL().SetText("select * from ROBA where ROBAID < 0");
  Open();
  EXPECT_FALSE(Find(Keys("0001", "GP")));
  EXPECT_EQ(changes + beforeScroll + afterScroll, 0);
}

TEST_F(FIBLocateTest, CalculatedKeyFieldsSkipThePositionRefresh) {
  auto* id = new TFIBIntegerField(db.Form.get());
  id->SetFieldName("ROBAID");
  id->SetDataSet(ds);
  auto* twice = new TIntegerField(db.Form.get());
  twice->SetFieldName("TWICE");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(ds);
  ds->OnCalcFields = [&](TDataSet*) { twice->SetAsInteger(id->AsInteger() * 2); };
  Open();
  EXPECT_FALSE(Find(Variant(3), loNone, "TWICE"));
  EXPECT_EQ(changes + beforeScroll + afterScroll, 0) << "a failed search sends nothing";
  ds->First();
  Reset();
  EXPECT_TRUE(Find(Variant(2), loNone, "TWICE"));  // the first row, dataset at its beginning
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(beforeScroll, 1);
  EXPECT_EQ(afterScroll, 1);
  EXPECT_TRUE(Find(Variant(84), loNone, "TWICE"));
  EXPECT_EQ(id->AsInteger(), 42);
}

}  // namespace

namespace {

// A pending new row is posted before the search and then takes part in it.
TEST_F(FIBLocateTest, PendingInsertIsPostedFirstAndFound) {
  ds->InsertSQL().SetText("insert into ROBA (ROBAID, KATBRPRO, GRUPAID) values (:ROBAID, :KATBRPRO, :GRUPAID)");
  Open();
  ds->Append();
  ds->FieldByName("ROBAID")->SetAsInteger(500);
  ds->FieldByName("KATBRPRO")->SetAsString("X500");
  ds->FieldByName("GRUPAID")->SetAsString("GP");
  EXPECT_TRUE(Find(Keys("X500", "GP")));
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(Id(), 500);
  EXPECT_TRUE(Find(Keys("0001", "GP")));
  EXPECT_EQ(Id(), 1);
}

// Repeated searches on the same fields keep to the plain search's answers
// (the first shown row, fetching no further) while rows change, go and come.
TEST_F(FIBLocateTest, RepeatedSearchesFollowChangedRows) {
  ds->UpdateSQL().SetText("update ROBA set KATBRPRO = :KATBRPRO where ROBAID = :OLD_ROBAID");
  ds->InsertSQL().SetText("insert into ROBA (ROBAID, KATBRPRO, GRUPAID) values (:ROBAID, :KATBRPRO, :GRUPAID)");
  ds->DeleteSQL().SetText("delete from ROBA where ROBAID = :OLD_ROBAID");
  Open();
  const auto at = [&](const char* key) { return Find(Variant(key), loNone, "KATBRPRO") ? Id() : 0; };
  EXPECT_EQ(at("0040"), 40);
  EXPECT_EQ(at("0010"), 10);
  EXPECT_EQ(at("0041"), 41);
  EXPECT_EQ(ds->FetchedCount(), 43);
  EXPECT_EQ(at("0005"), 5);
  EXPECT_EQ(at("0060"), 60);
  EXPECT_EQ(ds->FetchedCount(), 62);

  at("0030");  // an earlier row takes the key of a later one
  ds->Edit();
  ds->FieldByName("KATBRPRO")->SetAsString("0050");
  ds->Post();
  EXPECT_EQ(at("0050"), 30);
  EXPECT_EQ(at("0030"), 0);
  ds->Delete();  // row 30 goes: the later row is the first again
  EXPECT_EQ(at("0050"), 50);

  ds->Append();
  ds->FieldByName("ROBAID")->SetAsInteger(500);
  ds->FieldByName("KATBRPRO")->SetAsString("0007");
  ds->FieldByName("GRUPAID")->SetAsString("GP");
  ds->Post();
  EXPECT_EQ(at("0007"), 7);
  EXPECT_TRUE(Find(Keys("0007", "GP"), loNone));
  EXPECT_EQ(Id(), 500) << "row 7's group is 'gp'";

  ds->Close();  // a reopened dataset starts afresh
  db.Exec("update ROBA set KATBRPRO = '0002' where ROBAID = 1");
  Open();
  EXPECT_EQ(at("0002"), 1);
  EXPECT_EQ(at("0002"), 1);
}

// The key fields are looked up again after a reopen: the same names may
// stand for other fields by then.
TEST_F(FIBLocateTest, ReopenedDatasetFindsItsKeyFieldsAnew) {
  TpFIBDataSet* pair = db.NewDataSet("Pair", "select ROBAID as A, cast(101 - ROBAID as integer) as B from ROBA");
  TField* fields[2];
  for (int i = 0; i < 2; ++i) {
    fields[i] = new TFIBIntegerField(db.Form.get());
    fields[i]->SetFieldName(i == 0 ? "A" : "B");
    fields[i]->SetDataSet(pair);
  }
  pair->Open();
  ASSERT_TRUE(pair->Locate("A", Variant(5), loNone));
  EXPECT_EQ(pair->FieldByName("B")->AsInteger(), 96);
  pair->Close();
  fields[0]->SetFieldName("B");
  fields[1]->SetFieldName("A");
  pair->Open();
  ASSERT_TRUE(pair->Locate("A", Variant(5), loNone));
  EXPECT_EQ(pair->FieldByName("B")->AsInteger(), 96);
}

}  // namespace
