// The main window's component tree, its layout and the opening of the
// source file at start-up.
#include "app/Unit6.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

#include "app/Unit6Progress.h"
#include "runtime/CodePage.h"
#include "ui/Dialogs.h"

namespace {

TDBGrid* NewGrid(TForm6* form, const char* name, int l, int t, int w, int h, TAlign align,
                 int tabOrder) {
  auto* grid = new TDBGrid(form);
  grid->SetName(name);
  grid->SetBounds(l, t, w, h);
  grid->SetAlign(align);
  grid->SetReadOnly(true);
  grid->SetTabOrder(tabOrder);
  grid->SetParent(form);
  return grid;
}

void AddColumn(TDBGrid* grid, const char* fieldName, int width = -1) {
  TColumn* column = grid->Columns().Add();
  column->SetFieldName(fieldName);
  if (width >= 0) column->SetWidth(width);
}

TButton* NewButton(TForm6* form, TPanel* panel, const char* name, int l, int t, int w, int h,
                   const char* caption, bool enabled, int tabOrder) {
  auto* button = new TButton(form);
  button->SetName(name);
  button->SetBounds(l, t, w, h);
  button->SetCaption(caption);
  button->SetEnabled(enabled);
  button->SetTabOrder(tabOrder);
  button->SetParent(panel);
  return button;
}

}  // namespace

TDataSource* TForm6::NewDataSource(const char* name, TDataSet* dataSet) {
  auto* ds = new TDataSource(this);
  ds->SetName(name);
  ds->SetDataSet(dataSet);
  return ds;
}

TForm6::TForm6(TComponent* AOwner, std::string sourceFileName)
    : TForm(AOwner), m_sourceFileName(std::move(sourceFileName)) {
  SetName("Form6");
  SetCaption("Form6");
  SetBounds(232, 25, 1448, 877);
  SetColor(clBtnFace);
  Font().SetName("MS Sans Serif");
  Font().SetHeight(-11);
  Font().SetColor(clWindowText);
  Font().SetStyle(0);
  ApplyFont();
  CreateComponents();
  CreateErrorListMenu();
  ApplyEnvironmentLogin();
  m_progressView = std::make_unique<TTransferProgressView>(this);
  OnTransferProgress = [this](const TTransferProgress& progress) { m_progressView->Report(progress); };
  OnCreate = [this](TComponent* Sender) { FormCreate(Sender); };
  DoCreate();
}

TForm6::~TForm6() = default;

void TForm6::FitOnScreen(int left, int top, int width, int height) {
  const int w = std::min(Width(), width);
  const int h = std::min(Height(), height);
  const int l = std::clamp(Left(), left, left + width - w);
  const int t = std::clamp(Top(), top, top + height - h);
  if (l != Left() || t != Top() || w != Width() || h != Height()) SetBounds(l, t, w, h);
}

void TForm6::FitOnAvailableScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  FitOnScreen(area.left(), area.top(), area.width(), area.height());
}

void TForm6::CreateComponents() {
  dbgMDB = NewGrid(this, "dbgMDB", 0, 0, 1601, 113, TAlign::alTop, 0);
  DBGrid1 = NewGrid(this, "DBGrid1", 0, 113, 1601, 47, TAlign::alTop, 1);
  DBGrid2 = NewGrid(this, "DBGrid2", 0, 160, 1601, 169, TAlign::alTop, 2);
  DBGrid3 = NewGrid(this, "DBGrid3", 0, 370, 537, 389, TAlign::alLeft, 3);
  AddColumn(DBGrid3, "KATBR", 92);
  AddColumn(DBGrid3, "KATBRPRO", 103);
  AddColumn(DBGrid3, "NAZIV");

  Panel1 = new TPanel(this);
  Panel1->SetName("Panel1");
  Panel1->SetBounds(0, 329, 1601, 41);
  Panel1->SetAlign(TAlign::alTop);
  Panel1->SetCaption("Panel1");
  Panel1->SetTabOrder(4);
  Panel1->SetParent(this);

  Button1 = NewButton(this, Panel1, "Button1", 565, 9, 105, 25, "Prepisi u artile", false, 0);
  Button1->OnClick = [this](TComponent* Sender) { Button1Click(Sender); };
  Button2 = NewButton(this, Panel1, "Button2", 685, 9, 105, 25, "Prepisi HP oznake", false, 1);
  Button2->OnClick = [this](TComponent* Sender) { Button2Click(Sender); };
  edtBaza = new TEdit(this);
  edtBaza->SetName("edtBaza");
  edtBaza->SetBounds(16, 10, 481, 21);
  edtBaza->SetText(kTargetPreset);
  edtBaza->SetTabOrder(2);
  edtBaza->SetParent(Panel1);
  Button3 = NewButton(this, Panel1, "Button3", 505, 9, 54, 25, "Otvori", true, 3);
  Button3->OnClick = [this](TComponent* Sender) { Button3Click(Sender); };

  DBGrid4 = NewGrid(this, "DBGrid4", 537, 370, 896, 389, TAlign::alLeft, 5);
  AddColumn(DBGrid4, "EDID");
  AddColumn(DBGrid4, "NAZIV");
  AddColumn(DBGrid4, "VREDNOST", 409);
  AddColumn(DBGrid4, "REDOSLED");

  lbErr = new TListBox(this);
  lbErr->SetName("lbErr");
  lbErr->SetBounds(0, 759, 1601, 67);
  lbErr->SetAlign(TAlign::alBottom);
  lbErr->SetItemHeight(13);
  lbErr->SetTabOrder(6);
  lbErr->SetParent(this);

  CreateSourceComponents();
  CreateTargetComponents();

  // Links between components are made once all of them exist.
  dbgMDB->SetDataSource(dsAccPodaci);
  DBGrid1->SetDataSource(dsAccSlike);
  DBGrid2->SetDataSource(dsAccHPO);
  DBGrid3->SetDataSource(dsRoba);
  DBGrid4->SetDataSource(dsExtraData);
}

void TForm6::CreateSourceComponents() {
  dbAccPodaci = new TADOConnection(this);
  dbAccPodaci->SetName("dbAccPodaci");
  dbAccPodaci->SetLoginPrompt(false);
  dbAccPodaci->SetProvider("MSDASQL.1");

  auto newQuery = [this](const char* name, std::initializer_list<std::string> sql,
                         const char* param, TFieldType type, int size) {
    auto* query = new TADOQuery(this);
    query->SetName(name);
    query->SetConnection(dbAccPodaci);
    for (const std::string& line : sql) query->SQL().Add(line);
    // Declared by the tool, used by none of the statements.
    query->Parameters().AddParameter(param, type, size);
    return query;
  };
  qryAccPodaci = newQuery("qryAccPodaci", {"SELECT * FROM TABELA1", "", "ORDER BY KAT_BROJ"}, "KATBR",
                          ftString, 25);
  qryAccSlike = newQuery("qryAccSlike", {"SELECT * FROM ZNAK", ""}, "IDZNAK", ftInteger, -1);
  qryAccHPOznake = newQuery("qryAccHPOznake", {"SELECT * FROM HPOznake", ""}, "ID", ftString, -1);
  dsAccPodaci = NewDataSource("dsAccPodaci", qryAccPodaci);
  dsAccSlike = NewDataSource("dsAccSlike", qryAccSlike);
  dsAccHPO = NewDataSource("dsAccHPO", qryAccHPOznake);
}

std::string TForm6::SourceConnectionString(const std::string& fileName) {
  return "Provider=MSDASQL.1;Persist Security Info=True;User ID=admin;Extended Properties=\"DBQ=" +
         fileName +
         ";Driver={Microsoft Access Driver (*.mdb)};DriverId=25;FIL=MS Access"
         ";MaxBufferSize=2048;MaxScanRows=8;PageTimeout=5;SafeTransactions=0;Threads=3;UID=admin;"
         "UserCommitSync=Yes;\"";
}

std::string TForm6::WithReason(const std::string& message, const std::string& reason) {
  std::string text;
  for (char c : reason)
    if (c != '\r') text += c;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? message : message + "\n" + text;
}

void TForm6::FormCreate(TComponent* Sender) {
  try {
    const std::string connectionString = SourceConnectionString(m_sourceFileName);
    if (dbAccPodaci->Connected()) dbAccPodaci->SetConnected(false);
    // Held as 8-bit text, handed over as wide text.
    dbAccPodaci->SetConnectionString(AnsiToWide(connectionString));
    if (!dbAccPodaci->Connected()) dbAccPodaci->SetConnected(true);
    qryAccPodaci->Open();
    qryAccSlike->Open();
    qryAccHPOznake->Open();
  } catch (const std::exception& e) {
    // Whatever went wrong, the window still comes up; what opened stays
    // open. The reason (not found, a folder, not an Access file, damaged,
    // a missing table) goes under the message.
    MessageDlg(WithReason("Greska pri otvaranju mdb data setova", e.what()), TMsgDlgType::mtConfirmation);
  } catch (...) {
    MessageDlg("Greska pri otvaranju mdb data setova", TMsgDlgType::mtConfirmation);
  }
}
