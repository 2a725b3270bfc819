// The shared record cursor: answers at and beyond the ends, rows fetched on
// demand, bookmarks of rows that move or go away, record numbers.
#include "dataset/CachedDataSet.h"

#include <gtest/gtest.h>

#include <set>

#include "MemFixture.h"

namespace {

// An in-memory kind whose rows arrive one per FetchRow, the way a dataset
// over an open statement fills its cache.
class LazyDataSet : public TMemDataSet {
 public:
  LazyDataSet(TComponent* owner, int rows) : TMemDataSet(owner) {
    AddFieldDef("ID", ftInteger);
    for (int i = 1; i <= rows; ++i) m_server.push_back({Variant(int32_t{i})});
  }
  int fetches = 0;
  std::set<int> hidden;  // positions kept in the cache but not shown

  // The window's view of the cursor: one record into a scratch buffer.
  TGetResult Get(TGetMode mode) {
    TRecordBuffer buffer = AllocRecordBuffer();
    const TGetResult result = GetRecord(buffer, mode, true);
    FreeRecordBuffer(buffer);
    return result;
  }
  void ToLast() { InternalLast(); }
  void ToFirst() { InternalFirst(); }
  void ToPosition(int position) { SetCursorPosition(position); }

 protected:
  bool FetchRow() override {
    if (m_next >= m_server.size()) return false;
    AddRow(m_server[m_next++]);
    ++fetches;
    return true;
  }
  bool RowVisible(int position) const override { return hidden.count(position) == 0; }
  void InternalOpen() override {
    ClearRows();
    m_next = 0;
    TMemDataSet::InternalOpen();
  }

 private:
  std::vector<Row> m_server;
  size_t m_next = 0;
};

class CachedDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TComponent>();
    ds = new LazyDataSet(form.get(), 5);
    ds->SetName("qryLazy");
  }
  int Id() const { return ds->FieldByName("ID")->AsInteger(); }

  std::unique_ptr<TComponent> form;
  LazyDataSet* ds = nullptr;  // owned by form
};

// Before the first row and after the last the current row is an answer
// (beginning, end), not an error; the window decides what to make of it.
TEST_F(CachedDataSetTest, CurrentRowOutsideTheRowsAnswersBeginningOrEnd) {
  ds->Open();
  ds->ToFirst();
  EXPECT_EQ(ds->Get(gmCurrent), grBOF);
  EXPECT_EQ(ds->Get(gmPrior), grBOF);
  EXPECT_EQ(ds->Get(gmNext), grOK);
  EXPECT_EQ(ds->Get(gmCurrent), grOK);
  ds->ToLast();
  EXPECT_EQ(ds->Get(gmCurrent), grEOF);
  EXPECT_EQ(ds->Get(gmNext), grEOF);
  EXPECT_EQ(ds->Get(gmPrior), grOK);
  // Rows gone from under the cursor leave it after the last row.
  ds->ClearRows();
  ds->ToLast();
  EXPECT_EQ(ds->Get(gmCurrent), grEOF);
  EXPECT_EQ(ds->Get(gmPrior), grBOF);
}

// Rows come one per step past the end of the cache; the record count is the
// rows fetched so far; the last row fetches the rest.
TEST_F(CachedDataSetTest, RowsAreFetchedOnDemand) {
  EXPECT_EQ(ds->RecordCount(), -1);  // closed
  ds->Open();
  EXPECT_EQ(ds->fetches, 1);  // the window of one row
  EXPECT_EQ(ds->RecordCount(), 1);
  ds->Next();
  ds->Next();
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_EQ(ds->RecNo(), 3);
  ds->SetRecNo(4);  // a row number beyond the cache fetches up to it
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(ds->fetches, 4);
  ds->Last();
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(ds->RecordCount(), 5);
  ds->Next();
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(ds->fetches, 5);
  ds->SetRecNo(9);  // past the result: nothing moves
  EXPECT_EQ(ds->RecNo(), 5);

  // A position beyond the cache fetches up to it.
  ds->Close();
  ds->fetches = 0;
  ds->Open();
  ds->ToPosition(3);
  EXPECT_EQ(ds->Get(gmCurrent), grOK);
  EXPECT_EQ(ds->fetches, 4);
}

// Rows the cache keeps but the dataset does not show are passed over both
// ways, fetched or not yet.
TEST_F(CachedDataSetTest, HiddenRowsArePassedOver) {
  ds->hidden = {1, 3};
  ds->Open();
  std::string seen;
  for (ds->First(); !ds->Eof(); ds->Next()) seen += std::to_string(Id());
  EXPECT_EQ(seen, "135");
  ds->Prior();
  EXPECT_EQ(Id(), 3);
  ds->hidden = {0};
  ds->First();
  EXPECT_EQ(Id(), 2);
  ds->Prior();
  EXPECT_TRUE(ds->Bof());
  EXPECT_EQ(Id(), 2);
}

TEST_F(CachedDataSetTest, BookmarksFollowTheirRowUntilItIsGone) {
  ds->Open();
  ds->Next();
  const TBookmark second = ds->GetBookmark();
  ds->Next();
  const TBookmark third = ds->GetBookmark();
  EXPECT_LT(ds->CompareBookmarks(second, third), 0);
  EXPECT_GT(ds->CompareBookmarks(third, second), 0);
  EXPECT_EQ(ds->CompareBookmarks(third, third), 0);
  EXPECT_LT(ds->CompareBookmarks({}, second), 0);  // empty bookmarks sort first
  EXPECT_FALSE(ds->BookmarkValid({}));
  EXPECT_FALSE(ds->BookmarkValid(TBookmark(3)));  // not one of ours

  // A row inserted before them moves both; the bookmarks follow.
  ds->First();
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(0);
  ds->Post();
  ds->GotoBookmark(third);
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(ds->RecNo(), 4);

  ds->GotoBookmark(second);
  ds->Delete();
  EXPECT_FALSE(ds->BookmarkValid(second));
  EXPECT_LT(ds->CompareBookmarks(second, third), 0);  // a gone row sorts before the others
  EXPECT_EQ(ErrorOf([&] { ds->GotoBookmark(second); }), "qryLazy: Record not found");
  ds->Close();
  EXPECT_FALSE(ds->BookmarkValid(third));
}

TEST(LocateKeyValuesTest, OneValueOrTheElementsOfAnArray) {
  EXPECT_EQ(LocateKeyValues(Variant(5)).size(), 1u);
  const std::vector<Variant> keys = LocateKeyValues(VarArrayOf({Variant("GP"), Variant(7)}));
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].AsString(), "GP");
  EXPECT_EQ(keys[1].AsInteger(), 7);
}

}  // namespace
