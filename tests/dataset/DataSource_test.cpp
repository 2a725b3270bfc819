// Data sources and data links: forwarding order, window size, each link's
// window over the record buffers.
#include "dataset/DataSource.h"

#include <gtest/gtest.h>

#include "MemFixture.h"

namespace {

class DataSourceTest : public MemFixture {
 protected:
  void SetUp() override {
    MemFixture::SetUp();
    for (int i = 4; i <= 10; ++i) ds->AddRow({i, "row" + std::to_string(i), i * 10});
  }
  // IDs of the rows a link's window shows, read by making each row active.
  std::vector<int> Visible(TDataLink& link) {
    std::vector<int> ids;
    int saved = link.ActiveRecord();
    for (int i = 0; i < link.RecordCount(); ++i) {
      link.SetActiveRecord(i);
      ids.push_back(ds->FieldByName("ID")->AsInteger());
    }
    link.SetActiveRecord(saved);
    return ids;
  }
};

TEST_F(DataSourceTest, WindowSizeIsTheLargestRequestAndAtLeastOne) {
  ds->Open();
  EXPECT_EQ(ds->BufferCount(), 1);
  EXPECT_EQ(ds->WindowRecordCount(), 1);
  RecordingLink small("small"), big("big");
  small.SetBufferCount(3);
  big.SetBufferCount(5);
  small.SetDataSource(src);
  EXPECT_EQ(ds->BufferCount(), 3);
  big.SetDataSource(src);
  EXPECT_EQ(ds->BufferCount(), 5);
  EXPECT_EQ(ds->WindowRecordCount(), 5);  // fetched forward to fill the window
  big.SetDataSource(nullptr);
  EXPECT_EQ(ds->BufferCount(), 3);
  small.SetDataSource(nullptr);
  EXPECT_EQ(ds->BufferCount(), 1);
  // The current row survives the shrinking.
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(DataSourceTest, OpenFetchesOnlyWhatTheViewersShow) {
  RecordingLink grid("grid");
  grid.SetBufferCount(4);
  grid.SetDataSource(src);
  ds->Open();
  EXPECT_EQ(ds->WindowRecordCount(), 4);
  EXPECT_EQ(Visible(grid), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(grid.ActiveRecord(), 0);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
  grid.SetDataSource(nullptr);
}

TEST_F(DataSourceTest, LinksFollowScrollingWithDistances) {
  RecordingLink grid("grid");
  grid.SetBufferCount(3);
  grid.SetDataSource(src);
  ds->Open();
  grid.events.clear();
  ds->Next();
  ds->Next();  // still inside the window: no rows move
  EXPECT_EQ(grid.events, (std::vector<std::string>{"Scrolled0", "Scrolled0"}));
  EXPECT_EQ(grid.ActiveRecord(), 2);
  ds->Next();  // past the window: it moves by one row
  EXPECT_EQ(grid.lastScroll, 1);
  EXPECT_EQ(Visible(grid), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(grid.ActiveRecord(), 2);
  ds->MoveBy(-3);
  EXPECT_EQ(grid.lastScroll, -1);
  EXPECT_EQ(Visible(grid), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(grid.ActiveRecord(), 0);

  // A smaller viewer next to a larger one keeps its own window.
  RecordingLink row("row");
  row.SetDataSource(src);
  ds->MoveBy(2);
  EXPECT_EQ(Visible(row), (std::vector<int>{3}));
  EXPECT_EQ(Visible(grid), (std::vector<int>{1, 2, 3}));
  ds->Last();
  EXPECT_EQ(Visible(grid), (std::vector<int>{8, 9, 10}));
  EXPECT_EQ(Visible(row), (std::vector<int>{10}));
  row.SetDataSource(nullptr);
  grid.SetDataSource(nullptr);
}

TEST_F(DataSourceTest, NonVisualLinksHearFirstMostRecentFirst) {
  std::vector<std::string> order;
  RecordingLink grid1("grid1"), grid2("grid2"), master1("master1", false), master2("master2", false);
  for (RecordingLink* l : {&grid1, &master1, &grid2, &master2}) {
    l->sink = &order;
    l->SetDataSource(src);
  }
  src->OnDataChange = [&](TDataSource*, TField*) { order.push_back("handler"); };
  ds->Open();
  order.clear();
  ds->Next();
  // Each one-row window moved down by one row.
  EXPECT_EQ(order, (std::vector<std::string>{"master2:Scrolled1", "master1:Scrolled1",
                                             "grid2:Scrolled1", "grid1:Scrolled1", "handler"}));
  for (RecordingLink* l : {&grid1, &master1, &grid2, &master2}) l->SetDataSource(nullptr);
}

TEST_F(DataSourceTest, FieldChangesReachHandlersWithTheField) {
  RecordHandlers();
  ds->Open();
  ds->Edit();
  log.clear();
  ds->FieldByName("NAZIV")->SetAsString("x");
  EXPECT_EQ(log, (Log{"DataChange:NAZIV"}));
}

TEST_F(DataSourceTest, DisabledOrDetachedSourceIsInactiveAndSilent) {
  RecordHandlers();
  ds->Open();
  EXPECT_EQ(src->State(), dsBrowse);
  log.clear();
  src->SetEnabled(false);
  EXPECT_EQ(src->State(), dsInactive);
  EXPECT_EQ(log, (Log{"StateChange"}));
  log.clear();
  ds->Next();
  EXPECT_EQ(log, (Log{"BeforeScroll", "AfterScroll"}));
  log.clear();
  src->SetEnabled(true);
  EXPECT_EQ(log, (Log{"StateChange", "DataChange"}));
  delete ds;  // data sources detach when their dataset goes
  EXPECT_EQ(src->DataSet(), nullptr);
  EXPECT_EQ(src->State(), dsInactive);
}

TEST_F(DataSourceTest, HandlerMayReopenAnotherDatasetDuringTheOpen) {
  // The detail view's pattern: the master's data change closes, re-filters
  // and reopens the detail dataset, from inside the master's open.
  auto* detail = new TMemDataSet(form.get());
  detail->AddFieldDef("BRDOK", ftInteger);
  int calls = 0;
  src->OnDataChange = [&](TDataSource*, TField*) {
    ++calls;
    detail->Close();
    detail->ClearRows();
    detail->AddRow({ds->FieldByName("ID")->AsInteger()});
    detail->Open();
  };
  ds->Open();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(detail->FieldByName("BRDOK")->AsInteger(), 1);
  ds->Next();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(detail->FieldByName("BRDOK")->AsInteger(), 2);
}

// A detail dataset fed by a master data source.
class DetailDataSet : public TMemDataSet {
 public:
  using TMemDataSet::TMemDataSet;
  TDataSource* master = nullptr;
  TDataSource* GetDataSource() const override { return master; }
};

TEST_F(DataSourceTest, CircularLinksAreRefused) {
  auto* detail = new DetailDataSet(form.get());
  auto* detailSource = new TDataSource(form.get());
  detailSource->SetName("dsDetail");
  detail->master = src;
  detailSource->SetDataSet(detail);
  // src feeds detail, so src may not watch detail.
  EXPECT_EQ(ErrorOf([&] { src->SetDataSet(detail); }), "Circular datalinks are not allowed");
  EXPECT_EQ(src->DataSet(), ds);
}

}  // namespace
