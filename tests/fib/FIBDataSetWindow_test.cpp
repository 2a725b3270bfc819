// The record window of a Firebird dataset after every change that rebuilds
// it: each buffer shows exactly what a fresh read of its row shows, also
// where the buffer held that row before (a buffer re-read with an unchanged
// row is not copied again).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FIBDataSet_fixture.h"

namespace {

class FIBDataSetWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db.FillNumbered("T", 8);
    ds = db.NewDataSet("qryT", "select ID, NAME from T order by ID");
    ds->InsertSQL().SetText("insert into T (ID, NAME) values (:ID, :NAME)");
    ds->UpdateSQL().SetText("update T set NAME = :NAME where ID = :OLD_ID");
    ds->DeleteSQL().SetText("delete from T where ID = :OLD_ID");
    ds->RefreshSQL().SetText("select ID, NAME from T where ID = :ID");
    source = new TDataSource(db.Form.get());
    source->SetDataSet(ds);
    link.SetBufferCount(4);
    link.SetDataSource(source);
    ds->Open();
  }
  void TearDown() override { link.SetDataSource(nullptr); }

  // "ID:NAME" of every row in the window, the current one in brackets.
  std::string Window() {
    std::string rows;
    const int active = link.ActiveRecord();
    for (int i = 0; i < link.RecordCount(); ++i) {
      link.SetActiveRecord(i);
      const std::string row = ds->FieldByName("ID")->AsString() + ":" + ds->FieldByName("NAME")->AsString();
      rows += (i == active ? "[" + row + "]" : row) + " ";
    }
    link.SetActiveRecord(active);
    return rows;
  }
  // Every row of the window shows the name the table holds for its ID.
  bool EveryRowAsStored() {
    const int active = link.ActiveRecord();
    bool same = link.RecordCount() > 0;
    for (int i = 0; i < link.RecordCount(); ++i) {
      link.SetActiveRecord(i);
      same = same && !ds->FieldByName("ID")->IsNull() &&
             ds->FieldByName("NAME")->AsString() == "row " + ds->FieldByName("ID")->AsString();
    }
    link.SetActiveRecord(active);
    return same;
  }
  void Locate(int id) { ASSERT_TRUE(ds->Locate("ID", Variant(id), loNone)); }
  void SetName(const std::string& name) { ds->FieldByName("NAME")->SetAsString(name); }

  TDataSetScratch db;
  TpFIBDataSet* ds = nullptr;
  TDataSource* source = nullptr;
  TCountingLink link;
};

TEST_F(FIBDataSetWindowTest, EditedAndNewRowsNeverOutliveTheirCancel) {
  for (int i = 0; i < 3; ++i) ds->Next();
  const std::string before = Window();
  ASSERT_EQ(before, "1:row 1 2:row 2 3:row 3 [4:row 4] ");
  ds->Edit();
  SetName("edited");
  ds->Cancel();
  EXPECT_EQ(Window(), before);
  // A new row starts empty in a buffer that held a row; the rows come back
  // into those buffers, whether or not a value was set.
  ds->Append();
  ds->Cancel();
  EXPECT_EQ(Window(), before);
  ds->Last();
  ds->Append();
  SetName("appended");
  ds->Cancel();
  EXPECT_EQ(Window(), "5:row 5 6:row 6 7:row 7 [8:row 8] ");
  Locate(6);
  ds->Insert();
  ds->Cancel();
  EXPECT_EQ(Window(), "5:row 5 [6:row 6] 7:row 7 8:row 8 ");
  // Wherever the window stood and whichever buffer the new row took (the
  // window scrolled both ways first, so that spare buffers hold rows too).
  for (int at = 0; at < 8; ++at) {
    for (const bool append : {true, false}) {
      ds->Last();
      ds->First();
      ds->MoveBy(at);
      append ? ds->Append() : ds->Insert();
      ds->Cancel();
      EXPECT_TRUE(EveryRowAsStored()) << at << (append ? " append: " : " insert: ") << Window();
    }
  }
}

// Underneath: a buffer prepared for a new row no longer counts as holding
// the row it was read from, whichever way the window hands it out.
class TBufferProbe : public TpFIBDataSet {
 public:
  using TpFIBDataSet::TpFIBDataSet;
  // Whether row 0 read again into a buffer that held it and was then
  // prepared for a new row shows its values.
  bool RereadAfterInitRecord() {
    TRecordBuffer b = AllocRecordBuffer();
    ReadCachedRecord(0, b);
    InitRecord(b);
    ReadCachedRecord(0, b);
    const bool shown = !IsNullColumn(b, 0) && !IsNullColumn(b, 1);
    FreeRecordBuffer(b);
    return shown;
  }
};

TEST_F(FIBDataSetWindowTest, ABufferPreparedForANewRowIsReadAgain) {
  auto* probe = new TBufferProbe(db.Form.get());
  probe->SetDatabase(db.Database);
  probe->SetTransaction(db.ReadTr);
  probe->SelectSQL().SetText("select ID, NAME from T order by ID");
  probe->Open();
  EXPECT_TRUE(probe->RereadAfterInitRecord());
}

TEST_F(FIBDataSetWindowTest, WrittenRowsShowTheirNewValuesAndTheRowsAroundThemMove) {
  Locate(3);
  ds->Edit();
  SetName("edited");
  ds->Post();
  EXPECT_EQ(Window(), "2:row 2 [3:edited] 4:row 4 5:row 5 ");
  // Without a refresh the posted buffer itself is what the cache keeps.
  ds->RefreshSQL().Clear();
  ds->Edit();
  SetName("again");
  ds->Post();
  ds->Next();
  ds->Prior();
  EXPECT_EQ(Window(), "2:row 2 [3:again] 4:row 4 5:row 5 ");
  // A row inserted in the middle and a deleted one move the rows after them.
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(20);
  SetName("inserted");
  ds->Post();
  EXPECT_EQ(Window(), "2:row 2 [20:inserted] 3:again 4:row 4 ");
  Locate(2);
  ds->Delete();
  EXPECT_EQ(Window(), "1:row 1 [20:inserted] 3:again 4:row 4 ");
  // A row changed on the server and refreshed.
  ds->RefreshSQL().SetText("select ID, NAME from T where ID = :ID");
  db.Exec("update T set NAME = 'changed' where ID = 3");
  Locate(3);
  ds->Refresh();
  EXPECT_EQ(Window(), "20:inserted [3:changed] 4:row 4 5:row 5 ");
}

TEST_F(FIBDataSetWindowTest, AReopenedDataSetShowsTheRowsItFetchedAnew) {
  Locate(4);
  ASSERT_EQ(Window(), "3:row 3 [4:row 4] 5:row 5 6:row 6 ");
  // The window keeps its buffers over a reopen; the rows come anew into the
  // same cache slots, changed or not.
  db.Exec("update T set NAME = 'new ' || ID where ID in (1, 3)");
  ds->Close();
  ds->Open();
  EXPECT_EQ(Window(), "[1:new 1] 2:row 2 3:new 3 4:row 4 ");
  ds->Close();
  ds->Open();
  EXPECT_EQ(Window(), "[1:new 1] 2:row 2 3:new 3 4:row 4 ");
  // Another select of the same record size: another cache.
  ds->Close();
  ds->SelectSQL().SetText("select ID, NAME from T order by ID desc");
  ds->Open();
  EXPECT_EQ(Window(), "[8:row 8] 7:row 7 6:row 6 5:row 5 ");
}

}  // namespace
