// Closing and opening a dataset again, as a detail dataset does for every
// master row: what the open derived from the statement and the fields is
// kept only while they stay the same.
#include <gtest/gtest.h>

#include <functional>

#include "FIBDataSet_fixture.h"
#include "fib/FIBFields.h"
#include "fib/pFIBDataInfo.h"

namespace {

class FIBDataSetReopenTest : public ::testing::Test {
 protected:
  // Persistent ID and NAME fields, in this order, and an insert statement.
  TpFIBDataSet* NewDetail(const std::string& select) {
    TpFIBDataSet* ds = db.NewDataSet("qryExtraData", select);
    ds->InsertSQL().SetText("insert into T (ID, NAME) values (:ID, :NAME)");
    AddFields(ds, {"ID", "NAME"});
    return ds;
  }
  void AddFields(TpFIBDataSet* ds, std::initializer_list<const char*> names) {
    for (const std::string name : names) {
      TField* f = name == "ID" ? static_cast<TField*>(new TFIBIntegerField(db.Form.get()))
                               : new TFIBStringField(db.Form.get());
      f->SetFieldName(name);
      if (name == "NAME") f->SetSize(40);
      f->SetDataSet(ds);
    }
  }
  static void Insert(TpFIBDataSet* ds, int id, const std::string& name) {
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(id);
    ds->FieldByName("NAME")->SetAsString(name);
    ds->Post();
  }
  // ID:NAME of every row, in order.
  static std::string Rows(TpFIBDataSet* ds) {
    std::string rows;
    for (ds->First(); !ds->Eof(); ds->Next())
      rows += ds->FieldByName("ID")->AsString() + ":" + ds->FieldByName("NAME")->AsString() + " ";
    return rows;
  }

  TDataSetScratch db;
};

TEST_F(FIBDataSetReopenTest, EachMasterRowReadsAndWritesItsOwnRows) {
  db.FillNumbered("T", 10);
  TpFIBDataSet* ds = NewDetail("select ID, NAME from T where ID > :BRDOK order by ID");
  const auto reopen = [ds](int brdok) {
    ds->Close();
    ds->ParamByName("BRDOK")->SetAsInteger(brdok);
    ds->Open();
  };
  reopen(8);
  EXPECT_EQ(Rows(ds), "9:row 9 10:row 10 ");
  const int slots = ds->Cache()->SlotsPerBlock();
  reopen(20);
  EXPECT_TRUE(ds->IsEmpty());
  Insert(ds, 21, "new");
  reopen(9);
  EXPECT_EQ(Rows(ds), "10:row 10 21:new ");
  EXPECT_EQ(ds->RecordCount(), 2);
  EXPECT_EQ(ds->Cache()->SlotsPerBlock(), slots);

  // Another cache model needs another cache.
  ds->Close();
  ds->CacheModelOptions().BufferChunks = 200;
  ds->Open();
  EXPECT_GT(ds->Cache()->SlotsPerBlock(), slots);
  EXPECT_EQ(Rows(ds), "10:row 10 21:new ");
}

TEST_F(FIBDataSetReopenTest, AnotherSelectTextReadsAndBindsItsOwnColumns) {
  db.FillNumbered("T", 3);
  TpFIBDataSet* ds = NewDetail("select ID, NAME from T where ID = 2");
  ds->Open();
  Insert(ds, 4, "four");
  ds->Close();
  // Same fields, the columns the other way round.
  ds->SelectSQL().SetText("select NAME, ID from T where ID >= 2 order by ID");
  ds->Open();
  EXPECT_EQ(Rows(ds), "2:row 2 3:row 3 4:four ");
  EXPECT_EQ(ds->FieldByName("NAME")->Origin(), "T.NAME");
  Insert(ds, 5, "five");
  ds->Close();
  ds->Open();
  EXPECT_EQ(Rows(ds), "2:row 2 3:row 3 4:four 5:five ");
}

TEST_F(FIBDataSetReopenTest, FieldsReplacedWhileClosedAreBoundAnew) {
  db.FillNumbered("T", 2);
  TpFIBDataSet* ds = NewDetail("select ID, NAME from T order by ID");
  ds->Open();
  Insert(ds, 3, "three");
  // A changed origin is given back by the next open.
  ds->FieldByName("NAME")->SetOrigin("X.Y");
  ds->Close();
  ds->Open();
  EXPECT_EQ(ds->FieldByName("NAME")->Origin(), "T.NAME");
  ds->Close();

  while (ds->FieldCount() > 0) delete ds->Fields()[0];
  AddFields(ds, {"NAME", "ID"});
  ds->Open();
  EXPECT_EQ(ds->Fields()[0]->Origin(), "T.NAME");
  EXPECT_EQ(ds->Fields()[1]->Origin(), "T.ID");
  Insert(ds, 4, "four");
  ds->Close();
  ds->Open();
  EXPECT_EQ(Rows(ds), "1:row 1 2:row 2 3:three 4:four ");
}

TEST_F(FIBDataSetReopenTest, ClearedTableInformationIsReadAgain) {
  db.Exec("create table T (ID integer not null primary key, NAME varchar(40) default 'KOM')");
  TpFIBDataSet* ds = NewDetail("select ID, NAME from T");
  ds->Open();
  const std::string imported = ds->FieldByName("NAME")->DefaultExpression();
  EXPECT_NE(imported.find("KOM"), std::string::npos) << imported;
  ds->Close();
  const uint64_t before = TCacheList::Instance().Executions();
  ds->Open();
  EXPECT_EQ(TCacheList::Instance().Executions(), before) << "nothing to read again";
  ds->Close();

  TpFIBTableInfoCollect::Instance().Clear();
  ds->FieldByName("NAME")->SetDefaultExpression("");
  ds->Open();
  EXPECT_GT(TCacheList::Instance().Executions(), before);
  EXPECT_EQ(ds->FieldByName("NAME")->DefaultExpression(), imported);
}


// Whatever the dataset works out from its fields and columns (the binding of
// fields to columns, the key fields of a search, the routes of the insert's
// parameters, the fields' origins) is worked out again after a change of
// either, even one that keeps the count of fields and their objects.
TEST_F(FIBDataSetReopenTest, EveryDerivedTableFollowsAChangedShape) {
  struct Case {
    const char* change;
    std::function<void(TpFIBDataSet*, TField* a, TField* b, const std::string& table)> apply;
  };
  const Case cases[] = {
      {"the fields swap names",
       [](TpFIBDataSet*, TField* a, TField* b, const std::string&) {
         a->SetFieldName("TMP");
         b->SetFieldName("A");
         a->SetFieldName("B");
       }},
      {"the select lists its columns the other way round",
       [](TpFIBDataSet* ds, TField*, TField*, const std::string& table) {
         ds->SelectSQL().SetText("select B, A from " + table + " order by A");
       }},
      {"the fields swap places in the list",
       [](TpFIBDataSet* ds, TField* a, TField*, const std::string&) {
         a->SetDataSet(nullptr);
         a->SetDataSet(ds);
       }},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    const std::string table = "T" + std::to_string(++n);
    db.Exec("create table " + table + " (A integer not null primary key, B integer)");
    db.Exec("insert into " + table + " (A, B) values (2, 99)");
    TpFIBDataSet* ds = db.NewDataSet("Pair" + table, "select A, B from " + table + " order by A");
    ds->InsertSQL().SetText("insert into " + table + " (A, B) values (:A, :B)");
    TField* fields[2];
    for (int i = 0; i < 2; ++i) {
      fields[i] = new TFIBIntegerField(db.Form.get());
      fields[i]->SetFieldName(i == 0 ? "A" : "B");
      fields[i]->SetDataSet(ds);
    }
    // Uses every table; the new row has A = `row` and B = 101 - A, like the first.
    const auto use = [ds, &table](int row) {
      ASSERT_TRUE(ds->Locate("A", Variant(2), loNone));
      EXPECT_EQ(ds->FieldByName("B")->AsInteger(), 99);
      EXPECT_EQ(ds->FieldByName("A")->Origin(), table + ".A");
      EXPECT_EQ(ds->FieldByName("B")->Origin(), table + ".B");
      ds->Append();
      ds->FieldByName("A")->SetAsInteger(row);
      ds->FieldByName("B")->SetAsInteger(101 - row);
      ds->Post();
      ds->Close();
      ds->Open();
      ASSERT_TRUE(ds->Locate("A", Variant(row), loNone));
      EXPECT_EQ(ds->FieldByName("B")->AsInteger(), 101 - row);
    };
    ds->Open();
    use(3);
    ds->Close();
    c.apply(ds, fields[0], fields[1], table);
    ds->Open();
    use(4);
  }
}

}  // namespace
