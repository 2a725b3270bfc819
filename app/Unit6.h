// The tool's one window: the source grids, the target grids, the panel with
// the target path and the buttons, the error list, and every non-visual
// component behind them.
#pragma once

#include <string>

#include "dataset/DataSource.h"
#include "ui/DBGrids.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#include "source/ADODB.h"

// The main window. It owns every component; the members are non-owning
// pointers to them, valid for the window's lifetime. Creating the window
// runs FormCreate (opening the source file) before it is first shown.
class TForm6 : public TForm {
 public:
  explicit TForm6(TComponent* AOwner);

  // Visual components, in creation order.
  TDBGrid* dbgMDB = nullptr;
  TDBGrid* DBGrid1 = nullptr;
  TDBGrid* DBGrid2 = nullptr;
  TDBGrid* DBGrid3 = nullptr;
  TPanel* Panel1 = nullptr;
  TButton* Button1 = nullptr;
  TButton* Button2 = nullptr;
  TEdit* edtBaza = nullptr;
  TButton* Button3 = nullptr;
  TDBGrid* DBGrid4 = nullptr;
  TListBox* lbErr = nullptr;

  // Source side.
  TADOConnection* dbAccPodaci = nullptr;
  TADOQuery* qryAccPodaci = nullptr;
  TADOQuery* qryAccSlike = nullptr;
  TADOQuery* qryAccHPOznake = nullptr;
  TDataSource* dsAccPodaci = nullptr;
  TDataSource* dsAccSlike = nullptr;
  TDataSource* dsAccHPO = nullptr;

  // Target side: the data sources of the two target grids.
  TDataSource* dsRoba = nullptr;
  TDataSource* dsExtraData = nullptr;

  // Handlers.
  void FormCreate(TComponent* Sender);
  void Button1Click(TComponent* Sender);
  void Button2Click(TComponent* Sender);
  void Button3Click(TComponent* Sender);

  // The source file, named without a directory: the working directory's.
  static constexpr const char* kSourceFileName = "VT2003.mdb";
  // The source connection string for `fileName` (8-bit): the Access ODBC
  // driver behind the OLE DB provider for ODBC, with the driver's settings
  // inside the quoted Extended Properties value.
  static std::string SourceConnectionString(const std::string& fileName);

 private:
  void CreateComponents();
  void CreateSourceComponents();
};
