// The main window: its component tree and layout, and the opening of the
// source file at start-up in folders with a missing, a partial and a full
// VT2003.mdb.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "jet4/Jet4Writer.h"
#include "app/Unit6.h"
#include "tests/ui/UiTestSupport.h"

UI_TEST_ENVIRONMENT();

namespace fs = std::filesystem;

namespace {


const char* const kBoxText = "Greska pri otvaranju mdb data setova";

// The box keeps its text and says why on the line under it.
void ExpectSourceBox(const BoxRecorder& boxes, const std::string& reason) {
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  const std::string& text = boxes.Boxes[0].Text;
  EXPECT_EQ(text.substr(0, text.find('\n')), kBoxText);
  EXPECT_NE(text.find('\n'), std::string::npos) << text;
  EXPECT_NE(text.find(reason, text.find('\n')), std::string::npos) << text;
}

// Runs each test in a fresh working directory, since the window opens
// VT2003.mdb from there.
class Form6Test : public ::testing::Test {
 protected:
  void SetUp() override {
    m_saved = fs::current_path();
    m_dir = fs::temp_directory_path() /
            ("form6-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    fs::current_path(m_dir);
  }
  void TearDown() override {
    form.reset();
    fs::current_path(m_saved);
    fs::remove_all(m_dir);
  }

  void Create() { form = std::make_unique<TForm6>(nullptr); }

  static Jet4Table Tabela1() {
    Jet4Table t{"TABELA1",
                {{"ID", Jet4Type::LongInteger, 0, true},
                 {"KAT_BROJ", Jet4Type::Text, 20},
                 {"NAZIV", Jet4Type::Text, 60},
                 {"OPIS", Jet4Type::Memo}}};
    t.rows.push_back({Jet4Null, std::string("300-1"), std::string("Boja žuta"), std::string("opis")});
    t.rows.push_back({Jet4Null, std::string("100-7"), std::string("Šafran čist"), std::string("drugi opis")});
    t.rows.push_back({Jet4Null, std::string("200-3"), std::string("Lak đ ć"), Jet4Null});
    return t;
  }
  static Jet4Table Znak() {
    Jet4Table t{"ZNAK", {{"id_znak_tabela1", Jet4Type::LongInteger}, {"naziv", Jet4Type::Text, 100}}};
    t.rows.push_back({std::int64_t{1}, std::string("Zapaljivo")});
    t.rows.push_back({std::int64_t{2}, std::string("Nagrizajuće")});
    return t;
  }
  static Jet4Table HPOznake() {
    Jet4Table t{"HPOznake", {{"id", Jet4Type::Text, 20}, {"naziv", Jet4Type::Text, 255}}};
    t.rows.push_back({std::string("H225"), std::string("Lako zapaljiva tečnost i para.")});
    return t;
  }

  static std::string Column(TDBGrid* grid, int column) {
    std::string all;
    for (int r = 0; r < grid->RowCount(); ++r) all += (r ? "|" : "") + grid->CellText(r, column);
    return all;
  }
  static int ColumnIndex(TDBGrid* grid, const std::string& name) {
    for (int c = 0; c < grid->ColumnCount(); ++c)
      if (grid->ShownColumn(c)->FieldName() == name) return c;
    return -1;
  }

  BoxRecorder boxes;
  std::unique_ptr<TForm6> form;

 private:
  fs::path m_saved, m_dir;
};

}  // namespace

// Composed from its four pieces without separators; the closing quote of
// Extended Properties is the last character.
TEST(Form6ConnectionString, ByteForByte) {
  EXPECT_EQ(TForm6::SourceConnectionString("VT2003.mdb"),
            "Provider=MSDASQL.1;Persist Security Info=True;User ID=admin;Extended Properties=\""
            "DBQ=VT2003.mdb;Driver={Microsoft Access Driver (*.mdb)};DriverId=25;FIL=MS Access;"
            "MaxBufferSize=2048;MaxScanRows=8;PageTimeout=5;SafeTransactions=0;Threads=3;UID=admin;"
            "UserCommitSync=Yes;\"");
}

TEST_F(Form6Test, MissingFileShowsOneBoxAndEmptyGrids) {
  Create();
  ExpectSourceBox(boxes, "Could not find file 'VT2003.mdb'");
  EXPECT_EQ(boxes.Boxes[0].Title, "Confirm");
  EXPECT_EQ(boxes.Boxes[0].Icon, TMsgIcon::Question);
  EXPECT_FALSE(form->Showing());  // the box came before the window
  for (TDBGrid* grid : {form->dbgMDB, form->DBGrid1, form->DBGrid2, form->DBGrid3, form->DBGrid4})
    EXPECT_EQ(grid->RowCount(), 0) << grid->Name();
  EXPECT_TRUE(form->Button3->Enabled());
  EXPECT_FALSE(form->Button1->Enabled());
  EXPECT_FALSE(form->Button2->Enabled());
  EXPECT_FALSE(static_cast<QPushButton*>(form->Button1->Widget())->isEnabled());
  EXPECT_EQ(form->lbErr->Items().Count(), 0);
  form->Show();
  EXPECT_TRUE(form->Showing());
}

// TABELA1 opens, ZNAK fails, HPOznake is never tried.
TEST_F(Form6Test, FileWithoutZnak) {
  WriteJet4File("VT2003.mdb", {Tabela1(), HPOznake()});
  Create();
  ExpectSourceBox(boxes, "The table 'ZNAK' does not exist");
  EXPECT_TRUE(form->qryAccPodaci->Active());
  EXPECT_FALSE(form->qryAccSlike->Active());
  EXPECT_FALSE(form->qryAccHPOznake->Active());
  EXPECT_EQ(form->dbgMDB->RowCount(), 3);
  EXPECT_EQ(form->DBGrid1->RowCount(), 0);
  EXPECT_EQ(form->DBGrid2->RowCount(), 0);
}

// The three source grids show their tables: TABELA1 ordered by KAT_BROJ,
// Serbian letters as such, memo columns as "(MEMO)"; each query's window is
// what its grid shows.
TEST_F(Form6Test, FullFileFillsTheSourceGrids) {
  WriteJet4File("VT2003.mdb", {Tabela1(), Znak(), HPOznake()});
  Create();
  EXPECT_TRUE(boxes.Boxes.empty());
  TDBGrid* grid = form->dbgMDB;
  ASSERT_EQ(grid->ColumnCount(), 4);
  EXPECT_EQ(Column(grid, ColumnIndex(grid, "KAT_BROJ")), "100-7|200-3|300-1");
  EXPECT_EQ(Column(grid, ColumnIndex(grid, "NAZIV")), "Šafran čist|Lak đ ć|Boja žuta");
  EXPECT_EQ(Column(grid, ColumnIndex(grid, "OPIS")), "(MEMO)|(Memo)|(MEMO)");
  EXPECT_EQ(form->qryAccPodaci->BufferCount(), grid->VisibleRowCount());

  ASSERT_EQ(form->DBGrid1->ColumnCount(), 2);
  EXPECT_EQ(form->DBGrid1->View()->model()->headerData(0, Qt::Horizontal).toString(),
            QString("id_znak_tabela1"));
  // DBGrid1 is only tall enough for one row; the other row is reached by moving.
  EXPECT_EQ(form->DBGrid1->RowCount(), form->DBGrid1->VisibleRowCount());
  EXPECT_EQ(form->DBGrid1->CellText(0, 1), "Zapaljivo");
  EXPECT_EQ(Column(form->DBGrid2, 1), "Lako zapaljiva tečnost i para.");
  EXPECT_EQ(form->DBGrid3->RowCount(), 0);
  EXPECT_EQ(form->DBGrid4->RowCount(), 0);
}

// Positions, sizes, captions and settings of the component tree, and the
// alignment when the window is resized.
TEST_F(Form6Test, ComponentTreeAndLayout) {
  Create();
  EXPECT_EQ(form->Name(), "Form6");
  EXPECT_EQ(form->Widget()->windowTitle(), QString("Form6"));
  EXPECT_EQ(form->Width(), 1448);
  EXPECT_EQ(form->Height(), 877);
  EXPECT_EQ(form->Left(), 232);
  EXPECT_EQ(form->Top(), 25);
  EXPECT_EQ(form->Font().Size(), 8);
  EXPECT_EQ(form->FindComponent("dsRoba"), form->dsRoba);
  EXPECT_EQ(form->DBGrid3->DataSource(), form->dsRoba);
  EXPECT_EQ(form->DBGrid4->DataSource(), form->dsExtraData);
  EXPECT_EQ(form->dsRoba->DataSet(), form->Roba);

  EXPECT_EQ(form->Panel1->Caption(), "Panel1");
  EXPECT_EQ(form->Button1->Caption(), "Prepisi u artile");
  EXPECT_EQ(form->Button2->Caption(), "Prepisi HP oznake");
  EXPECT_EQ(form->Button3->Caption(), "Otvori");
  EXPECT_EQ(form->edtBaza->Text(), "C:\\Kelmora\\Baze\\Veltrana\\2015\\FIRMA2015.FDB");
  EXPECT_EQ(BoundsOf(form->Button1), (Rect{565, 9, 105, 25}));
  EXPECT_EQ(BoundsOf(form->Button2), (Rect{685, 9, 105, 25}));
  EXPECT_EQ(BoundsOf(form->edtBaza), (Rect{16, 10, 481, 21}));
  EXPECT_EQ(BoundsOf(form->Button3), (Rect{505, 9, 54, 25}));
  EXPECT_EQ(form->Button3->Widget()->parentWidget(), form->Panel1->Widget());
  EXPECT_EQ(form->lbErr->ItemHeight(), 13);

  // Stored columns of the target grids, titled while no dataset is attached.
  ASSERT_EQ(form->DBGrid3->ColumnCount(), 3);
  EXPECT_EQ(form->DBGrid3->ShownColumn(0)->Width(), 92);
  EXPECT_EQ(form->DBGrid3->ShownColumn(1)->Width(), 103);
  EXPECT_FALSE(form->DBGrid3->ShownColumn(2)->HasStoredWidth());
  ASSERT_EQ(form->DBGrid4->ColumnCount(), 4);
  EXPECT_EQ(form->DBGrid4->ShownColumn(2)->FieldName(), "VREDNOST");
  EXPECT_EQ(form->DBGrid4->ShownColumn(2)->Width(), 409);

  // Tab order: the grids, the panel's controls in their own order, DBGrid4,
  // lbErr; the disabled transfer buttons are skipped.
  const std::vector<TControl*> want = {form->dbgMDB, form->DBGrid1, form->DBGrid2, form->DBGrid3,
                                       form->edtBaza, form->Button3, form->DBGrid4, form->lbErr};
  EXPECT_EQ(form->TabSequence(), want);

  struct Size { int w, h; };
  for (const Size s : {Size{1448 - TForm::kFrameWidth, 877 - TForm::kFrameHeight}, Size{1000, 700},
                       Size{1700, 950}}) {
    SCOPED_TRACE(s.w);
    form->SetClientWidth(s.w);
    form->SetClientHeight(s.h);
    const int band = s.h - 113 - 47 - 169 - 41 - 67;
    EXPECT_EQ(BoundsOf(form->dbgMDB), (Rect{0, 0, s.w, 113}));
    EXPECT_EQ(BoundsOf(form->DBGrid1), (Rect{0, 113, s.w, 47}));
    EXPECT_EQ(BoundsOf(form->DBGrid2), (Rect{0, 160, s.w, 169}));
    EXPECT_EQ(BoundsOf(form->Panel1), (Rect{0, 329, s.w, 41}));
    EXPECT_EQ(BoundsOf(form->lbErr), (Rect{0, s.h - 67, s.w, 67}));
    EXPECT_EQ(BoundsOf(form->DBGrid3), (Rect{0, 370, 537, band}));
    EXPECT_EQ(BoundsOf(form->DBGrid4), (Rect{537, 370, 896, band}));
    EXPECT_EQ(BoundsOf(form->Button2), (Rect{685, 9, 105, 25}));
  }
}

// A damaged or hostile source file is just another failed open: one box, a
// usable window, no crash and no hang.
TEST_F(Form6Test, DamagedFileShowsOneBoxAndAUsableWindow) {
  // A complete file to cut and to corrupt.
  WriteJet4File("full.mdb", {Tabela1(), Znak(), HPOznake()});
  std::string full;
  {
    std::ifstream in("full.mdb", std::ios::binary);
    full.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_GT(full.size(), 8192u);
  std::mt19937 random(4711);
  std::string noise(full.size(), '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string corrupted = full;
  for (size_t i = 4096; i < corrupted.size(); i += 97) corrupted[i] = static_cast<char>(random());

  const struct {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"empty", "", "is not an Access database (the file is empty)"},
      {"random bytes", noise, "is not an Access database"},
      {"first page only", full.substr(0, 4096), "is not an Access database (its catalog cannot be read)"},
      {"cut in the middle", full.substr(0, full.size() / 2 + 123), "is damaged or unreadable: the file is cut short"},
      {"pages overwritten", corrupted, "VT2003.mdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    {
      std::ofstream out("VT2003.mdb", std::ios::binary | std::ios::trunc);
      out << c.bytes;
    }
    boxes.Boxes.clear();
    Create();
    // A corrupted page may still read; a file that cannot be read gives the box.
    if (!form->qryAccHPOznake->Active()) {
      ExpectSourceBox(boxes, c.reason);
    } else {
      EXPECT_TRUE(boxes.Boxes.empty());
    }
    form->Show();
    form->SetClientHeight(600);
    EXPECT_TRUE(form->Button3->Enabled());
    EXPECT_FALSE(form->Button1->Enabled());
    form.reset();
  }

  // Not a file at all.
  fs::remove("VT2003.mdb");
  fs::create_directory("VT2003.mdb");
  boxes.Boxes.clear();
  Create();
  ExpectSourceBox(boxes, "is not an Access database (it is a folder)");
  EXPECT_FALSE(form->qryAccPodaci->Active());

  // A sound file without the catalogue records.
  form.reset();
  fs::remove("VT2003.mdb");
  WriteJet4File("VT2003.mdb", {HPOznake()});
  boxes.Boxes.clear();
  Create();
  ExpectSourceBox(boxes, "The table 'TABELA1' does not exist");
}

// The window keeps its size and place where the available area holds them;
// otherwise it moves onto the area, and shrinks only where it is larger.
TEST_F(Form6Test, FitsTheAvailableScreen) {
  const struct {
    const char* what;
    int area[4];    // left, top, width, height
    int bounds[4];  // left, top, width, height afterwards
  } cases[] = {
      {"a large screen", {0, 0, 1920, 1050}, {232, 25, 1448, 877}},
      {"1600 wide: moved left", {0, 0, 1600, 1200}, {152, 25, 1448, 877}},
      {"a panel on top: moved down", {0, 40, 1920, 1040}, {232, 40, 1448, 877}},
      {"a second screen right of the first", {1920, 0, 1920, 1080}, {1920, 25, 1448, 877}},
      {"too low: moved up", {0, 0, 1920, 880}, {232, 3, 1448, 877}},
      {"1280 x 1024: narrower", {0, 0, 1280, 1024}, {0, 25, 1280, 877}},
      {"1024 x 768 with a panel: both smaller", {0, 0, 1024, 740}, {0, 0, 1024, 740}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Create();
    form->FitOnScreen(c.area[0], c.area[1], c.area[2], c.area[3]);
    EXPECT_EQ((std::vector<int>{form->Left(), form->Top(), form->Width(), form->Height()}),
              (std::vector<int>(std::begin(c.bounds), std::end(c.bounds))));
    form.reset();
    boxes.Boxes.clear();
  }
}
