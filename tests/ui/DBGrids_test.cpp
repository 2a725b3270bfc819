// The data-aware grid over an in-memory dataset: window size, columns, cell
// texts and the moves that keys, clicks, wheel and scroll bar make.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include "dataset/DataSource.h"
#include "dataset/MemDataSet.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/DBGrids.h"

namespace {

constexpr int kRows = 40;

class GridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TForm>(nullptr);
    form->SetClientWidth(800);
    form->SetClientHeight(600);
    data = new TMemDataSet(form.get());
    data->SetName("qryTest");
    data->AddFieldDef("ID", ftInteger);
    data->AddFieldDef("NAZIV", ftString, 30);
    data->AddFieldDef("OPIS", ftMemo);
    for (int i = 1; i <= kRows; ++i)
      data->AddRow({Variant(int32_t{i}), Variant("Red " + std::to_string(i)),
                    i == 1 ? Variant::Null() : Variant("dugi tekst")});
    source = new TDataSource(form.get());
    source->SetDataSet(data);
    grid = new TDBGrid(form.get());
    grid->SetParent(form.get());
    grid->SetBounds(0, 0, 500, 200);
    grid->SetReadOnly(true);
    grid->SetDataSource(source);
  }

  // Texts of one column over the shown rows, for readable failures.
  std::string Column(int column) {
    std::string all;
    for (int r = 0; r < grid->RowCount(); ++r) all += (r ? "|" : "") + grid->CellText(r, column);
    return all;
  }
  int Current() { return data->FieldByName("ID")->AsInteger(); }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(grid->View(), key, mods);
  }

  std::unique_ptr<TForm> form;
  TMemDataSet* data = nullptr;
  TDataSource* source = nullptr;
  TDBGrid* grid = nullptr;
};

}  // namespace

// The grid asks for exactly the rows that fit, and the open fills that many.
TEST_F(GridTest, WindowFollowsTheGridHeight) {
  const int rows = grid->VisibleRowCount();
  ASSERT_GT(rows, 3);
  ASSERT_LT(rows, kRows);
  EXPECT_EQ(source->DataLinks(0)->BufferCount(), rows);
  data->Open();
  EXPECT_EQ(data->BufferCount(), rows);
  EXPECT_EQ(grid->RowCount(), rows);
  EXPECT_EQ(grid->CellText(0, 1), "Red 1");
  EXPECT_EQ(grid->CellText(rows - 1, 0), std::to_string(rows));

  grid->SetHeight(grid->Height() - 2 * grid->RowHeight());
  EXPECT_EQ(grid->VisibleRowCount(), rows - 2);
  EXPECT_EQ(data->BufferCount(), rows - 2);
  EXPECT_EQ(grid->RowCount(), rows - 2);
  grid->SetHeight(5);  // never below one row
  EXPECT_EQ(grid->VisibleRowCount(), 1);
  EXPECT_EQ(grid->RowCount(), 1);
}

// One column per visible field, titled with the field name; widths from the
// field's display width; memo cells show their type, upper-cased when set.
TEST_F(GridTest, DefaultColumns) {
  EXPECT_EQ(grid->ColumnCount(), 0);
  data->Open();
  data->FieldByName("OPIS")->SetVisible(false);
  ASSERT_EQ(grid->ColumnCount(), 2);
  data->FieldByName("OPIS")->SetVisible(true);
  ASSERT_EQ(grid->ColumnCount(), 3);
  const char* titles[] = {"ID", "NAZIV", "OPIS"};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(grid->View()->model()->headerData(c, Qt::Horizontal).toString().toStdString(), titles[c]);
    EXPECT_EQ(grid->View()->columnWidth(c), grid->ShownColumn(c)->DefaultWidth());
  }
  const int charWidth = grid->View()->fontMetrics().horizontalAdvance('0');
  EXPECT_EQ(grid->ShownColumn(1)->Width(), 30 * charWidth + 4);
  EXPECT_EQ(grid->CellText(0, 2), "(Memo)");
  EXPECT_EQ(grid->CellText(1, 2), "(MEMO)");

  data->Close();
  EXPECT_EQ(grid->ColumnCount(), 0);
  EXPECT_EQ(grid->RowCount(), 0);
}

// Stored columns keep their widths; one without a width takes its field's
// default; one naming no field stays empty; titles show while closed; a
// column finds its field whatever the letters' case.
TEST_F(GridTest, StoredColumns) {
  TColumn* naziv = grid->Columns().Add();
  naziv->SetFieldName("NAZIV");
  naziv->SetWidth(92);
  TColumn* id = grid->Columns().Add();
  id->SetFieldName("Id");
  TColumn* missing = grid->Columns().Add();
  missing->SetFieldName("NEMA");
  ASSERT_EQ(grid->ColumnCount(), 3);
  EXPECT_EQ(grid->View()->model()->headerData(0, Qt::Horizontal).toString(), QString("NAZIV"));
  EXPECT_EQ(grid->View()->columnWidth(1), TDBGrid::kDefaultColWidth);

  data->Open();
  EXPECT_EQ(grid->View()->columnWidth(0), 92);
  EXPECT_EQ(grid->View()->columnWidth(1), id->DefaultWidth());
  EXPECT_EQ(grid->CellText(2, 0), "Red 3");
  EXPECT_EQ(grid->CellText(2, 1), "3");
  EXPECT_EQ(grid->CellText(2, 2), "");

  // Dragging a title border resizes the column.
  grid->View()->horizontalHeader()->resizeSection(0, 150);
  EXPECT_EQ(naziv->Width(), 150);
}

// A field freed while its dataset is open sends no notification: the grid
// sees the dataset's new shape when it is next read and lets go of it.
TEST_F(GridTest, AFieldFreedWhileOpenIsLetGo) {
  data->Open();
  EXPECT_EQ(grid->CellText(1, 1), "Red 2");
  delete data->FieldByName("NAZIV");
  EXPECT_EQ(grid->CellText(1, 1), "(MEMO)");
  EXPECT_EQ(grid->ColumnCount(), 2);
  EXPECT_EQ(grid->View()->model()->columnCount(), 2);
}

// A title is measured again in the grid's new font.
TEST_F(GridTest, TitleWidthFollowsTheFont) {
  TColumn* column = grid->Columns().Add();
  column->SetFieldName("ID");
  data->Open();
  data->FieldByName("ID")->SetDisplayLabel("A rather long title for a number");
  const int before = column->DefaultWidth();
  TFont big = grid->Font();
  big.SetSize(big.Size() * 3);
  grid->SetFont(big);
  const int expected = grid->View()->fontMetrics().horizontalAdvance("A rather long title for a number") + 4;
  EXPECT_GT(expected, before);
  EXPECT_EQ(column->DefaultWidth(), expected);
}

// A dataset reopened with its fields renamed: each stored column finds the
// field that has its name now, not the one it found before.
TEST_F(GridTest, StoredColumnsFollowRenamedFields) {
  auto* pair = new TMemDataSet(form.get());
  pair->AddFieldDef("A", ftString, 10);
  pair->AddFieldDef("B", ftString, 10);
  pair->AddRow({Variant("a"), Variant("b")});
  TStringField* fields[2];
  for (int i = 0; i < 2; ++i) {
    fields[i] = new TStringField(form.get());
    fields[i]->SetFieldName(i == 0 ? "A" : "B");
    fields[i]->SetSize(10);
    fields[i]->SetDataSet(pair);
  }
  source->SetDataSet(pair);
  grid->Columns().Add()->SetFieldName("A");
  pair->Open();
  EXPECT_EQ(grid->ShownColumn(0)->Field(), fields[0]);
  pair->Close();
  pair->Open();
  EXPECT_EQ(grid->CellText(0, 0), "a");
  pair->Close();

  fields[0]->SetFieldName("B");
  fields[1]->SetFieldName("A");
  pair->Open();
  EXPECT_EQ(grid->ShownColumn(0)->Field(), fields[1]);
  EXPECT_EQ(grid->CellText(0, 0), "a");
  pair->Close();

  // Another field object in the place of one, under the same name.
  auto* other = new TStringField(form.get());
  other->SetFieldName("A");
  other->SetSize(10);
  fields[1]->SetDataSet(nullptr);
  other->SetDataSet(pair);
  pair->Open();
  EXPECT_EQ(grid->ShownColumn(0)->Field(), other);
}

// Text is 8-bit Windows-1250 inside; the cell shows the real letters.
TEST_F(GridTest, CellsShowSerbianLetters) {
  data->AddRow({Variant(int32_t{99}), Variant("\x8Aifra \xE8\xE6\x9E\xF0"), Variant("x")});
  data->Open();
  data->Last();
  const int row = grid->CurrentRow();
  EXPECT_EQ(grid->CellText(row, 1), "Šifra čćžđ");
  EXPECT_EQ(grid->View()->model()->data(grid->View()->model()->index(row, 1)).toString(),
            QString::fromUtf8("Šifra čćžđ"));
}

// Keys move the dataset; moving past the last shown row scrolls the window.
TEST_F(GridTest, KeysMoveTheDataset) {
  data->Open();
  form->Show();
  const int rows = grid->VisibleRowCount();
  EXPECT_EQ(grid->CurrentRow(), 0);
  for (int i = 0; i < rows; ++i) Key(Qt::Key_Down);
  EXPECT_EQ(Current(), rows + 1);
  EXPECT_EQ(grid->CurrentRow(), rows - 1);
  EXPECT_EQ(grid->CellText(rows - 1, 0), std::to_string(rows + 1));
  EXPECT_EQ(grid->CellText(0, 0), "2");
  EXPECT_EQ(grid->View()->currentIndex().row(), rows - 1);
  EXPECT_EQ(grid->View()->model()->headerData(rows - 1, Qt::Vertical).toString(), QString(QChar(0x25B6)));

  Key(Qt::Key_PageDown);
  EXPECT_EQ(Current(), 2 * rows + 1);
  Key(Qt::Key_Up);
  EXPECT_EQ(Current(), 2 * rows);
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(Current(), kRows);
  EXPECT_EQ(grid->CellText(grid->CurrentRow(), 1), "Red 40");
  Key(Qt::Key_Down);  // at the end: nothing moves, nothing is appended
  EXPECT_EQ(Current(), kRows);
  EXPECT_EQ(data->RowCount(), kRows);
  Key(Qt::Key_Delete);  // read only: no delete
  EXPECT_EQ(data->RowCount(), kRows);
  Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(Current(), 1);
  EXPECT_EQ(grid->CurrentRow(), 0);
  Key(Qt::Key_PageUp);  // at the start: stays
  EXPECT_EQ(Current(), 1);
}

TEST_F(GridTest, ClickWheelAndScrollBarMoveTheDataset) {
  data->Open();
  form->Show();
  QTableView* view = grid->View();
  const QRect cell = view->visualRect(view->model()->index(3, 1));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(Current(), 4);
  EXPECT_EQ(grid->CurrentRow(), 3);

  QWheelEvent down(QPointF(10, 10), view->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -240),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(view->viewport(), &down);
  EXPECT_EQ(Current(), 6);

  QScrollBar* bar = grid->VerticalBar();
  EXPECT_TRUE(bar->isEnabled());
  EXPECT_EQ(bar->value(), 5);  // proportional: the in-memory dataset knows its row numbers
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(Current(), 7);
  EXPECT_EQ(bar->value(), 6);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(Current(), kRows);
  EXPECT_EQ(bar->value(), kRows - 1);
  bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(Current(), kRows - grid->VisibleRowCount());
}

// A handler that fails while the grid moves the dataset reaches the error
// box; the grid keeps showing the dataset's real position.
TEST_F(GridTest, FailingMoveGoesToTheErrorBox) {
  BoxRecorder boxes;
  data->Open();
  form->Show();
  data->AfterScroll = [](TDataSet*) { throw EDatabaseError("qryExtraData: Record not found"); };
  Key(Qt::Key_Down);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "qryExtraData: Record not found.");
  EXPECT_EQ(grid->CurrentRow(), data->ActiveRecord());
  data->AfterScroll = nullptr;
}

// The data source going away leaves an empty grid, not a dangling link.
TEST_F(GridTest, DataSourceDestroyed) {
  data->Open();
  delete source;
  EXPECT_EQ(grid->DataSource(), nullptr);
  EXPECT_EQ(grid->RowCount(), 0);
  EXPECT_EQ(grid->ColumnCount(), 0);
}

// The screen follows the dataset lazily: a burst of notifications makes one
// update when the loop runs, and a close and reopen (new field objects)
// before it shows the new fields' values.
TEST_F(GridTest, ScreenCatchesUpOnceWhenTheLoopRuns) {
  data->Open();
  QTableView* view = grid->View();
  int updates = 0;
  QObject::connect(view->model(), &QAbstractItemModel::dataChanged, [&] { ++updates; });
  for (int i = 0; i < 5; ++i) data->Next();
  EXPECT_EQ(updates, 0);
  EXPECT_EQ(view->currentIndex().row(), 0);  // still the old screen
  Application->ProcessMessages();
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(view->currentIndex().row(), 5);

  data->Close();
  data->Open();
  data->Next();
  EXPECT_EQ(view->model()->columnCount(), 3);
  Application->ProcessMessages();
  EXPECT_EQ(view->currentIndex().row(), 1);
  EXPECT_EQ(view->model()->data(view->model()->index(1, 1)).toString().toStdString(), "Red 2");
}

namespace {

// A dataset kind that cannot tell row numbers (as a lazily fetching cursor).
class UnnumberedDataSet : public TMemDataSet {
 public:
  using TMemDataSet::TMemDataSet;

 protected:
  int GetRecNo() const override { return -1; }
  int GetRecordCount() const override { return -1; }
};

}  // namespace

// Without row numbers the scroll bar has three positions: first row,
// somewhere between, last row; its ends move to the first and last row.
TEST(GridScrollBarTest, ThreePositionsWithoutRowNumbers) {
  auto form = std::make_unique<TForm>(nullptr);
  form->SetClientWidth(400);
  form->SetClientHeight(300);
  auto* data = new UnnumberedDataSet(form.get());
  data->AddFieldDef("ID", ftInteger);
  for (int i = 1; i <= 30; ++i) data->AddRow({Variant(int32_t{i})});
  auto* source = new TDataSource(form.get());
  source->SetDataSet(data);
  auto* grid = new TDBGrid(form.get());
  grid->SetParent(form.get());
  grid->SetBounds(0, 0, 300, 120);
  grid->SetDataSource(source);
  data->Open();
  QScrollBar* bar = grid->VerticalBar();
  EXPECT_EQ(bar->maximum(), 4);
  EXPECT_EQ(bar->value(), 0);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(data->FieldByName("ID")->AsInteger(), 2);
  EXPECT_EQ(bar->value(), 2);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(data->FieldByName("ID")->AsInteger(), 30);
  EXPECT_EQ(bar->value(), 4);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(data->FieldByName("ID")->AsInteger(), 1);
  EXPECT_EQ(bar->value(), 0);
}
