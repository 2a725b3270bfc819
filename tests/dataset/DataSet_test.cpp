// The generic dataset over the in-memory kind: open/close, navigation,
// editing, messages and notification order.
#include "dataset/DataSet.h"

#include <gtest/gtest.h>

#include "MemFixture.h"

namespace {

using DataSetTest = MemFixture;

TEST_F(DataSetTest, OpenCallsDataChangeOnceBeforeAfterOpenAndCloseNever) {
  RecordHandlers();
  ds->Open();
  EXPECT_EQ(log, (Log{"BeforeOpen", "StateChange", "DataChange", "AfterOpen", "AfterScroll"}));
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_TRUE(ds->Bof());
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);

  log.clear();
  ds->Open();  // already open: nothing
  EXPECT_TRUE(log.empty());
  ds->Close();
  EXPECT_EQ(log, (Log{"BeforeClose", "StateChange", "AfterClose"}));
  EXPECT_EQ(src->State(), dsInactive);
}

TEST_F(DataSetTest, OpenOfEmptyDatasetSkipsAfterScrollAndSetsBothFlags) {
  ds->ClearRows();
  RecordHandlers();
  ds->Open();
  EXPECT_EQ(log, (Log{"BeforeOpen", "StateChange", "DataChange", "AfterOpen"}));
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->Bof());
  EXPECT_TRUE(ds->Eof());
  // An empty row reads as null: 0, "" and Null, which will not become text.
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 0);
  EXPECT_EQ(ds->FieldByName("NAZIV")->AsString(), "");
  EXPECT_TRUE(ds->FieldByName("ID")->AsVariant().IsNull());
  EXPECT_EQ(ErrorOf([&] { (void)ds->FieldByName("NAZIV")->AsVariant().AsString(); }),
            "Could not convert variant of type (Null) into type (String)");
}

TEST_F(DataSetTest, ClosedDatasetMessagesCarryTheName) {
  const std::string closed = "qryX: Cannot perform this operation on a closed dataset";
  EXPECT_EQ(ErrorOf([&] { ds->First(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds->Next(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds->Append(); }), closed);
  EXPECT_EQ(ErrorOf([&] { ds->Locate("ID", 1, loNone); }), closed);
  ds->SetName("");
  EXPECT_EQ(ErrorOf([&] { ds->First(); }), "Cannot perform this operation on a closed dataset");
}

TEST_F(DataSetTest, FieldByNameIgnoresCaseAndNamesTheDataset) {
  ds->Open();
  EXPECT_EQ(ds->FieldByName("naziv"), ds->FindField("NAZIV"));
  EXPECT_EQ(ds->FindField("nope"), nullptr);
  EXPECT_EQ(ErrorOf([&] { ds->FieldByName(""); }), "qryX: Field '' not found");
  auto list = ds->GetFieldList(" kol ;ID");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->FieldName(), "KOL");
  EXPECT_EQ(list[1]->FieldName(), "ID");
  EXPECT_EQ(ErrorOf([&] { ds->GetFieldList("ID;X"); }), "qryX: Field 'X' not found");
}

TEST_F(DataSetTest, FirstNextLoopVisitsEveryRowOnceAndEndsOnLast) {
  for (int window : {1, 2, 5}) {
    SCOPED_TRACE(window);
    RecordingLink link("grid");
    link.SetBufferCount(window);
    link.SetDataSource(src);
    ds->Open();
    std::vector<int> seen;
    for (ds->First(); !ds->Eof(); ds->Next()) seen.push_back(ds->FieldByName("ID")->AsInteger());
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    // Backwards as well, ending at the first row with BOF set.
    seen.clear();
    for (; !ds->Bof(); ds->Prior()) seen.push_back(ds->FieldByName("ID")->AsInteger());
    EXPECT_EQ(seen, (std::vector<int>{3, 2, 1}));
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    ds->Close();
    link.SetDataSource(nullptr);
  }
}

TEST_F(DataSetTest, NextAtEofChangesNothingAndFiresNoAfterScroll) {
  ds->Open();
  ds->Last();
  RecordHandlers();
  EXPECT_EQ(ds->MoveBy(1), 0);
  EXPECT_EQ(log, (Log{"BeforeScroll"}));
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);

  // Moving past the last row is how EOF is reached: it notifies and scrolls.
  ds->First();
  ds->MoveBy(2);
  log.clear();
  EXPECT_EQ(ds->MoveBy(1), 0);
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(log, (Log{"BeforeScroll", "DataChange", "AfterScroll"}));
}

TEST_F(DataSetTest, PostOutsideEditFailsWithPrefix) {
  ds->Open();
  EXPECT_EQ(ErrorOf([&] { ds->Post(); }), "qryX: Dataset not in edit or insert mode");
}

TEST_F(DataSetTest, AppendPostPlacesRowLastAndNotifies) {
  ds->Open();
  RecordHandlers();
  ds->Append();
  EXPECT_EQ(log, (Log{"BeforeInsert", "BeforeScroll", "StateChange", "DataChange", "AfterInsert",
                      "AfterScroll"}));
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_FALSE(ds->Modified());
  EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
  ds->FieldByName("ID")->SetAsInteger(4);
  ds->FieldByName("NAZIV")->SetAsString("new");
  EXPECT_TRUE(ds->Modified());
  log.clear();
  ds->Post();
  EXPECT_EQ(log, (Log{"BeforePost", "StateChange", "DataChange", "AfterPost"}));
  EXPECT_EQ(ds->RecordCount(), 4);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
  EXPECT_EQ(ds->Rows(3)[1].AsString(), "new");
}

TEST_F(DataSetTest, FailedPostKeepsInsertAndNextAppendPostsAgain) {
  ds->Open();
  ds->FieldByName("NAZIV")->SetRequired(true);
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(4);
  EXPECT_EQ(ErrorOf([&] { ds->Post(); }), "Field 'NAZIV' must have a value");
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
  EXPECT_EQ(ds->RecordCount(), 3);

  // The next append finishes the pending row first; it still fails.
  EXPECT_EQ(ErrorOf([&] { ds->Append(); }), "Field 'NAZIV' must have a value");
  EXPECT_EQ(ds->State(), dsInsert);
  ds->FieldByName("NAZIV")->SetAsString("fixed");
  ds->Append();
  EXPECT_EQ(ds->RecordCount(), 4);
  EXPECT_EQ(ds->Rows(3)[1].AsString(), "fixed");
  EXPECT_EQ(ds->State(), dsInsert);
}

TEST_F(DataSetTest, CloseInInsertDropsTheRow) {
  ds->Open();
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(99);
  RecordHandlers();
  ds->Close();
  EXPECT_EQ(log, (Log{"BeforeClose", "StateChange", "AfterClose"}));
  EXPECT_EQ(ds->RowCount(), 3);
  ds->Open();
  EXPECT_EQ(ds->RecordCount(), 3);
}

TEST_F(DataSetTest, CancelOfAppendReturnsToLastRow) {
  ds->Open();
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(99);
  RecordHandlers();
  ds->Cancel();
  EXPECT_EQ(log, (Log{"BeforeCancel", "BeforeScroll", "StateChange", "DataChange", "AfterCancel",
                      "AfterScroll"}));
  EXPECT_EQ(ds->RowCount(), 3);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
}

TEST_F(DataSetTest, EditCancelRestoresAndEditPostStores) {
  ds->Open();
  ds->Next();
  ds->Edit();
  EXPECT_EQ(ds->State(), dsEdit);
  ds->FieldByName("NAZIV")->SetAsString("changed");
  ds->Cancel();
  EXPECT_EQ(ds->FieldByName("NAZIV")->AsString(), "row2");
  ds->Edit();
  ds->FieldByName("NAZIV")->SetAsString("changed");
  ds->Next();  // navigation posts the modified row
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->Rows(1)[1].AsString(), "changed");
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
}

TEST_F(DataSetTest, InsertPlacesRowBeforeCurrentAndDeleteRemovesIt) {
  ds->Open();
  ds->Next();
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(15);
  ds->Post();
  ASSERT_EQ(ds->RowCount(), 4);
  EXPECT_EQ(ds->Rows(1)[0].AsInteger(), 15);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 15);
  ds->Delete();
  EXPECT_EQ(ds->RowCount(), 3);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
}

TEST_F(DataSetTest, PostErrorHandlerChoosesFailAbortOrRetry) {
  ds->Open();
  ds->FieldByName("NAZIV")->SetRequired(true);
  int calls = 0;
  TDataAction answer = daAbort;
  ds->OnPostError = [&](TDataSet* d, EDatabaseError&, TDataAction& action) {
    ++calls;
    action = answer;
    if (answer == daRetry) d->FieldByName("NAZIV")->SetAsString("retried");
  };
  ds->Append();
  EXPECT_THROW(ds->Post(), EAbort);
  EXPECT_EQ(ds->State(), dsInsert);
  answer = daRetry;
  ds->Post();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->Rows(3)[1].AsString(), "retried");
}

TEST_F(DataSetTest, ReadOnlyDatasetRefusesAppend) {
  ds->SetReadOnly(true);
  ds->Open();
  EXPECT_EQ(ErrorOf([&] { ds->Append(); }), "qryX: Cannot modify a read-only dataset");
  EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(DataSetTest, SuspendedStretchEndsInOneDataSetChange) {
  ds->Open();
  RecordingLink link("grid");
  link.SetDataSource(src);
  link.events.clear();
  RecordHandlers();
  ds->DisableControls();
  ds->DisableControls();
  ds->Next();
  ds->Next();
  ds->EnableControls();
  EXPECT_EQ(log, (Log{"BeforeScroll", "AfterScroll", "BeforeScroll", "AfterScroll"}));
  ds->EnableControls();
  EXPECT_EQ(log.back(), "DataChange");
  EXPECT_EQ(std::count(log.begin(), log.end(), "DataChange"), 1);
  EXPECT_EQ(link.events, (std::vector<std::string>{"Changed"}));

  // A state change inside the stretch is reported first.
  log.clear();
  link.events.clear();
  ds->DisableControls();
  ds->Append();
  ds->EnableControls();
  EXPECT_EQ(link.events, (std::vector<std::string>{"Editing", "Changed"}));
  EXPECT_EQ((Log{log.end() - 2, log.end()}), (Log{"StateChange", "DataChange"}));
  ds->Cancel();

  // Closed at the end: only the state change.
  link.events.clear();
  ds->DisableControls();
  ds->Close();
  ds->EnableControls();
  EXPECT_EQ(link.events, (std::vector<std::string>{"Active"}));
  link.SetDataSource(nullptr);
}

TEST_F(DataSetTest, LocateMovesWithScrollEventsOrLeavesCursor) {
  ds->Open();
  RecordHandlers();
  EXPECT_TRUE(ds->Locate("NAZIV;KOL", VarArrayOf({"row3", 30}), loNone));
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
  EXPECT_EQ(log, (Log{"BeforeScroll", "DataChange", "AfterScroll"}));
  log.clear();
  EXPECT_FALSE(ds->Locate("NAZIV", "ROW1", loNone));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
  EXPECT_TRUE(ds->Locate("naziv", "ROW1", loCaseInsensitive));
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
  EXPECT_TRUE(ds->Locate("NAZIV", "row2", loPartialKey));
  EXPECT_TRUE(ds->Locate("ID", "2", loNone));
  EXPECT_EQ(ds->Lookup("ID", 3, "NAZIV").AsString(), "row3");
}

TEST_F(DataSetTest, PersistentFieldsBindByNameAndSurviveClose) {
  auto* id = new TIntegerField(form.get());
  id->SetFieldName("ID");
  id->SetDataSet(ds);
  ds->Open();
  EXPECT_EQ(ds->FieldCount(), 1);
  EXPECT_EQ(id->FieldNo(), 1);
  EXPECT_EQ(id->AsInteger(), 1);
  EXPECT_EQ(ErrorOf([&] { id->SetFieldName("X"); }),
            "qryX: Cannot perform this operation on an open dataset");
  ds->Close();
  EXPECT_EQ(ds->FieldCount(), 1);

  auto* missing = new TStringField(form.get());
  missing->SetFieldName("MISSING");
  missing->SetDataSet(ds);
  EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "qryX: Field 'MISSING' not found");
  EXPECT_EQ(ds->State(), dsInactive);
  delete missing;  // removes itself from the dataset

  auto* wrong = new TStringField(form.get());
  wrong->SetFieldName("KOL");
  wrong->SetDataSet(ds);
  EXPECT_EQ(ErrorOf([&] { ds->Open(); }),
            "qryX: Type mismatch for field 'KOL', expecting: String actual: SmallInt");
  delete wrong;

  auto* narrow = new TStringField(form.get());
  narrow->SetFieldName("NAZIV");
  narrow->SetSize(10);
  narrow->SetDataSet(ds);
  EXPECT_EQ(ErrorOf([&] { ds->Open(); }),
            "qryX: Size mismatch for field 'NAZIV', expecting: 10 actual: 20");
}

TEST_F(DataSetTest, DefaultFieldsAreRecreatedOnEveryOpen) {
  ds->Open();
  ASSERT_EQ(ds->FieldCount(), 3);
  EXPECT_TRUE(ds->DefaultFields());
  EXPECT_NE(dynamic_cast<TSmallintField*>(ds->FieldByName("KOL")), nullptr);
  ds->Close();
  EXPECT_EQ(ds->FieldCount(), 0);
  ds->Open();
  EXPECT_EQ(ds->FieldCount(), 3);
}

TEST_F(DataSetTest, OpenWhileLoadingWaitsForTheEndOfLoading) {
  RecordHandlers();
  form->BeginLoading();
  ds->Open();
  EXPECT_FALSE(ds->Active());
  EXPECT_TRUE(log.empty());
  form->EndLoading();
  EXPECT_TRUE(ds->Active());
  EXPECT_EQ(log.front(), "BeforeOpen");
}

TEST_F(DataSetTest, DestroyingAnOpenDatasetSkipsTheCloseHandlers) {
  ds->Open();
  RecordHandlers();
  auto* field = ds->FieldByName("ID");
  (void)field;
  delete ds;
  EXPECT_EQ(std::count(log.begin(), log.end(), "BeforeClose"), 0);
  EXPECT_EQ(std::count(log.begin(), log.end(), "AfterClose"), 0);
  EXPECT_EQ(src->DataSet(), nullptr);
  ds = nullptr;
}

TEST_F(DataSetTest, CalculatedFieldsFollowTheRowAndItsEdits) {
  auto* id = new TIntegerField(form.get());
  id->SetFieldName("ID");
  id->SetDataSet(ds);
  auto* twice = new TIntegerField(form.get());
  twice->SetFieldName("TWICE");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(ds);
  ds->OnCalcFields = [&](TDataSet*) { twice->SetAsInteger(id->AsInteger() * 2); };
  ds->Open();
  EXPECT_EQ(twice->FieldNo(), -1);
  EXPECT_EQ(twice->AsInteger(), 2);
  ds->Next();
  EXPECT_EQ(twice->AsInteger(), 4);
  ds->Edit();
  id->SetAsInteger(21);
  EXPECT_EQ(twice->AsInteger(), 42);
  EXPECT_EQ(ds->State(), dsEdit);
  ds->Cancel();
  EXPECT_EQ(twice->AsInteger(), 4);
}

TEST_F(DataSetTest, BookmarksReturnToTheirRow) {
  ds->Open();
  ds->Next();
  TBookmark bm = ds->GetBookmark();
  ds->Last();
  EXPECT_TRUE(ds->BookmarkValid(bm));
  ds->GotoBookmark(bm);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
  EXPECT_EQ(ds->RecNo(), 2);
}

TEST_F(DataSetTest, FieldLookupFollowsRenamesAddsAndRemovals) {
  auto* key = new TIntegerField(form.get());
  key->SetFieldName("ID");
  key->SetDataSet(ds);
  EXPECT_EQ(ds->FindField("id"), key);
  key->SetFieldName("\x8A" "IFRA");  // "ŠIFRA": case follows the code page
  EXPECT_EQ(ds->FindField("id"), nullptr);
  EXPECT_EQ(ds->FindField("\x9A" "ifra"), key);
  EXPECT_EQ(ds->FindField("NAZIV"), nullptr);
  auto* name = new TStringField(form.get());
  name->SetFieldName("naziv");
  name->SetDataSet(ds);
  EXPECT_EQ(ds->FindField("NAZIV"), name);
  // The first of two fields with one name is the one found, until it goes.
  auto* twin = new TStringField(form.get());
  twin->SetFieldName("\x9A" "ifra");
  twin->SetDataSet(ds);
  EXPECT_EQ(ds->FindField("\x8A" "IFRA"), key);
  key->SetDataSet(nullptr);
  EXPECT_EQ(ds->FindField("\x8A" "IFRA"), twin);
  delete key;
}

TEST_F(DataSetTest, ReopenBindsFieldsAfterRenamesAndChangedLists) {
  ds->AddFieldDef("CENA", ftInteger);
  auto* kol = new TSmallintField(form.get());
  kol->SetFieldName("KOL");
  kol->SetDataSet(ds);
  auto* key = new TIntegerField(form.get());
  key->SetFieldName("ID");
  key->SetDataSet(ds);
  ds->Open();
  EXPECT_EQ(key->FieldNo(), 1);
  EXPECT_EQ(kol->FieldNo(), 3);

  ds->Close();
  key->SetFieldName("cena");
  ds->Open();
  EXPECT_EQ(key->FieldNo(), 4);

  ds->Close();
  ds->FieldDefs()[0].SetName("CENA");  // now the first of two columns of that name
  ds->Open();
  EXPECT_EQ(key->FieldNo(), 1);

  ds->Close();
  delete kol;  // the key field moves up the list
  ds->Open();
  EXPECT_EQ(key->FieldNo(), 1);
  EXPECT_EQ(key->AsInteger(), 1);
}

// A description changed through a reference taken before the last open
// counts as much as one changed through a reference taken afresh.
TEST_F(DataSetTest, ADescriptionChangedThroughAKeptReferenceIsBoundAnew) {
  TFieldDef& kol = ds->FieldDefs()[2];
  auto* field = new TSmallintField(form.get());
  field->SetFieldName("KOL");
  field->SetDataSet(ds);
  ds->Open();
  EXPECT_EQ(field->FieldNo(), 3);
  ds->Close();

  kol.SetName("KOLICINA");
  EXPECT_EQ(ErrorOf([this] { ds->Open(); }), "qryX: Field 'KOL' not found");
  EXPECT_FALSE(ds->Active());
  kol.SetName("kol");
  ds->Open();
  EXPECT_EQ(field->FieldNo(), 3);
  EXPECT_EQ(field->AsInteger(), 10);
}

// A kind that counts its record buffers and can change their size.
struct BufferCounts {
  int allocated = 0;
  int freed = 0;
};

class CountingDataSet : public TMemDataSet {
 public:
  CountingDataSet(TComponent* owner, BufferCounts& counts) : TMemDataSet(owner), m_counts(counts) {}
  ~CountingDataSet() override {
    Destroying();
    SetActive(false);
  }
  int recordSize = 64;

 protected:
  TRecordBuffer AllocRecordBuffer() override {
    ++m_counts.allocated;
    return TMemDataSet::AllocRecordBuffer();
  }
  void FreeRecordBuffer(TRecordBuffer& buffer) override {
    ++m_counts.freed;
    TMemDataSet::FreeRecordBuffer(buffer);
  }
  int GetRecordSize() const override { return recordSize; }

 private:
  BufferCounts& m_counts;
};

TEST(DataSetBuffersTest, ReopenKeepsBuffersWhileTheirSizeFits) {
  for (bool closeFirst : {true, false}) {
    SCOPED_TRACE(closeFirst ? "destroyed closed" : "destroyed open");
    TComponent form;
    BufferCounts counts;
    auto* ds = new CountingDataSet(&form, counts);
    ds->AddFieldDef("ID", ftInteger);
    for (int i = 1; i <= 5; ++i) ds->AddRow({i});
    auto* src = new TDataSource(&form);
    src->SetDataSet(ds);
    RecordingLink grid("grid");
    grid.SetBufferCount(3);
    grid.SetDataSource(src);
    auto reopen = [&](int recordSize) {
      ds->Close();
      ds->recordSize = recordSize;
      ds->Open();
      ds->Next();
      EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
      EXPECT_EQ(ds->WindowRecordCount(), 3);
    };
    ds->Open();
    const int window = counts.allocated;
    EXPECT_EQ(window, 4);  // three rows and the scratch buffer
    reopen(64);
    EXPECT_EQ(counts.allocated, window);
    EXPECT_EQ(counts.freed, 0);
    // A new layout: the old buffers go back, new ones are made.
    reopen(128);
    EXPECT_EQ(counts.allocated, 2 * window);
    EXPECT_EQ(counts.freed, window);
    // Destruction hands every buffer back, kept or in use.
    if (closeFirst) ds->Close();
    grid.SetDataSource(nullptr);
    delete ds;
    EXPECT_EQ(counts.freed, counts.allocated);
  }
}

}  // namespace
