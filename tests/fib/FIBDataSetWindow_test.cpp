// The record window of a Firebird dataset after every change that rebuilds
// it: each buffer shows exactly what a fresh read of its row shows, also
// where the buffer held that row before (a buffer re-read with an unchanged
// row is not copied again).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
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

// A window a resync rebuilds, or an append fills above the new row, without
// stepping the cursor row by row must be exactly the window the full rebuild
// makes. One seeded sequence of
// everything that rebuilds or moves the window runs twice on fresh copies of
// the same table, with and without that shortcut; after every step the whole
// window state must be the same.
class TResyncCountingDataSet : public TpFIBDataSet {
 public:
  using TpFIBDataSet::TpFIBDataSet;
  int inPlace = 0, appendedInPlace = 0;
  // What the window knows beyond its rows: where the cursor is, and which
  // buffer it is on.
  std::string CursorState() const {
    return std::to_string(CursorPosition()) + "/" + std::to_string(CurrentRecord());
  }
  // Which buffer sits at each place of the window, the scratch one included:
  // numbered by their places when first seen, anew whenever one is new.
  std::string BufferOrder() {
    if (!Active()) return "";
    std::vector<TRecordBuffer> now;
    for (int i = 0; i <= BufferCount(); ++i) now.push_back(Buffers(i));
    const bool known = labels_.size() == now.size() &&
                       std::all_of(now.begin(), now.end(), [&](TRecordBuffer b) { return labels_.count(b) > 0; });
    if (!known) {
      labels_.clear();
      for (size_t i = 0; i < now.size(); ++i) labels_[now[i]] = static_cast<int>(i);
    }
    std::string order;
    for (TRecordBuffer b : now) order += std::to_string(labels_[b]) + ",";
    return order;
  }

 protected:
  bool ResyncInPlace(TResyncMode mode) override {
    const bool done = TpFIBDataSet::ResyncInPlace(mode);
    inPlace += done;
    return done;
  }
  bool AppendInPlace() override {
    const bool done = TpFIBDataSet::AppendInPlace();
    appendedInPlace += done;
    return done;
  }

 private:
  std::map<TRecordBuffer, int> labels_;
};

struct TResyncRun {
  std::vector<std::string> states;
  int inPlace = 0, appendedInPlace = 0;
};

TResyncRun RunResyncSequence(bool shortcut, bool cachedUpdates, unsigned seed) {
  TDataSetScratch db;
  db.FillNumbered("T", 12);
  auto* ds = new TResyncCountingDataSet(db.Form.get());
  ds->SetName("qryT");
  ds->SetDatabase(db.Database);
  ds->SetTransaction(db.ReadTr);
  ds->SetUpdateTransaction(db.WriteTr);
  ds->SetAutoCommit(true);
  ds->SetCachedUpdates(cachedUpdates);
  ds->SetResyncInPlace(shortcut);
  // New rows (IDs from 100) stay out of the result: whether a cursor still
  // open meets a row committed after it opened depends on the engine's timing.
  ds->SelectSQL().SetText("select ID, NAME from T where ID < 100 order by ID");
  ds->InsertSQL().SetText("insert into T (ID, NAME) values (:ID, :NAME)");
  ds->UpdateSQL().SetText("update T set NAME = :NAME where ID = :OLD_ID");
  ds->DeleteSQL().SetText("delete from T where ID = :OLD_ID");
  ds->RefreshSQL().SetText("select ID, NAME from T where ID = :ID");
  auto* source = new TDataSource(db.Form.get());
  source->SetDataSet(ds);
  TCountingLink link;
  link.SetBufferCount(5);
  link.SetDataSource(source);
  ds->Open();

  std::mt19937 random(seed);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  int nextId = 100;
  TResyncRun run;
  const auto capture = [&](const std::string& at) {
    std::string state = at + ": ";
    const int active = link.ActiveRecord();
    for (int i = 0; i < link.RecordCount(); ++i) {
      link.SetActiveRecord(i);
      state += (i == active ? "[" : "") + ds->FieldByName("ID")->AsString() + ":" +
               ds->FieldByName("NAME")->AsString() + (i == active ? "] " : " ");
    }
    link.SetActiveRecord(active);
    state += " bof " + std::to_string(ds->Bof()) + " eof " + std::to_string(ds->Eof()) + " links " +
             std::to_string(link.RecordCount()) + " recno " + std::to_string(ds->RecNo()) + " of " +
             std::to_string(ds->RecordCount()) + " cursor " + ds->CursorState() + " buffers " +
             ds->BufferOrder() + " events " + std::to_string(link.changed) + "/" + std::to_string(link.scrolled);
    run.states.push_back(state);
  };
  for (int step = 0; step < 400; ++step) {
    const int op = pick(14);
    try {
      switch (op) {
        case 0: ds->MoveBy(pick(9) - 4); break;
        case 1: pick(2) ? ds->First() : ds->Last(); break;
        case 2: ds->Locate("ID", Variant(1 + pick(16)), loNone); break;
        case 3: case 4:
          ds->Edit();
          ds->FieldByName("NAME")->SetAsString("e" + std::to_string(step));
          op == 3 ? ds->Post() : ds->Cancel();
          break;
        case 5: case 6:
          op == 5 ? ds->Append() : ds->Insert();
          capture(std::to_string(step) + " new row");
          ds->FieldByName("ID")->SetAsInteger(nextId++);
          ds->FieldByName("NAME")->SetAsString("n" + std::to_string(step));
          pick(4) ? ds->Post() : ds->Cancel();
          break;
        case 7: if (!ds->IsEmpty()) ds->Delete(); break;
        case 8: ds->Refresh(); break;
        case 9: ds->Close(); ds->Open(); break;
        case 10: link.SetBufferCount(1 + pick(7)); break;
        case 11: ds->SetRecNo(1 + pick(ds->RecordCount() + 2)); break;
        case 12: db.Exec("update T set NAME = 'server " + std::to_string(step) + "' where ID = " +
                         std::to_string(1 + pick(12)));
                 break;
        default: ds->MoveBy(pick(3) - 1); break;
      }
    } catch (const Exception& e) {
      if (ds->State() == dsEdit || ds->State() == dsInsert) ds->Cancel();
      run.states.push_back("error " + ErrorKind(e));
    }
    capture(std::to_string(step) + " op " + std::to_string(op));
  }
  run.inPlace = ds->inPlace;
  run.appendedInPlace = ds->appendedInPlace;
  link.SetDataSource(nullptr);
  return run;
}

TEST(FIBDataSetResyncTest, TheWindowRebuiltInPlaceIsTheFullRebuildsWindow) {
  for (const bool cachedUpdates : {false, true}) {
    for (const unsigned seed : {1u, 2u, 3u}) {
      const TResyncRun full = RunResyncSequence(false, cachedUpdates, seed);
      const TResyncRun shortcut = RunResyncSequence(true, cachedUpdates, seed);
      EXPECT_EQ(full.inPlace + full.appendedInPlace, 0);
      EXPECT_GT(shortcut.inPlace, 20) << seed;
      EXPECT_GT(shortcut.appendedInPlace, 3) << seed;
      ASSERT_EQ(full.states.size(), shortcut.states.size());
      for (size_t i = 0; i < full.states.size(); ++i)
        ASSERT_EQ(shortcut.states[i], full.states[i]) << "seed " << seed << " cached updates " << cachedUpdates;
    }
  }
}

}  // namespace
