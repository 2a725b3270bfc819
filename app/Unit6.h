// The tool's one window: the source grids, the target grids, the panel with
// the target path and the buttons, the error list, and every non-visual
// component behind them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/DataSource.h"
#include "ui/DBGrids.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

#include "fib/FIBFields.h"
#include "fib/pFIBDataSet.h"
#include "fib/pFIBDatabase.h"
#include "source/ADODB.h"
#include "app/Unit6Fidelity.h"

class TTransferProgressView;

// The main window. It owns every component; the members are non-owning
// pointers to them, valid for the window's lifetime. Creating the window
// runs FormCreate (opening the source file) before it is first shown.
class TForm6 : public TForm {
 public:
  // `sourceFileName` (8-bit, any path) is the Access file FormCreate opens;
  // the program keeps the working directory's VT2003.mdb, the batch command
  // names its own.
  explicit TForm6(TComponent* AOwner, std::string sourceFileName = kSourceFileName);
  ~TForm6() override;

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

  // lbErr's menu: its one command (also Ctrl+S) saves the lines to a text
  // file in UTF-8, the file named through sdErr (Unit6ErrorList.cpp).
  TPopupMenu* pmErr = nullptr;
  TMenuItem* miSaveErr = nullptr;
  TSaveDialog* sdErr = nullptr;

  // Source side.
  TADOConnection* dbAccPodaci = nullptr;
  TADOQuery* qryAccPodaci = nullptr;
  TADOQuery* qryAccSlike = nullptr;
  TADOQuery* qryAccHPOznake = nullptr;
  TDataSource* dsAccPodaci = nullptr;
  TDataSource* dsAccSlike = nullptr;
  TDataSource* dsAccHPO = nullptr;

  // Target side: the database, its read and update transactions, the four
  // datasets with their data sources (dsEDSif and dsEDHiP feed nothing).
  TpFIBDatabase* pFIBDatabase = nullptr;
  TpFIBTransaction* pFIBTransaction1 = nullptr;  // read-only; every dataset reads in it
  TpFIBTransaction* pFIBTransaction2 = nullptr;  // read-write; every post writes in it
  TpFIBDataSet* Roba = nullptr;
  TpFIBDataSet* qryExtraData = nullptr;
  TpFIBDataSet* qryEDSif = nullptr;
  TpFIBDataSet* qryEDHiP = nullptr;
  TDataSource* dsRoba = nullptr;
  TDataSource* dsExtraData = nullptr;
  TDataSource* dsEDSif = nullptr;
  TDataSource* dsEDHiP = nullptr;

  // Persistent fields the handlers use; the other 61 of Roba are owned by
  // the window as well and found by name (RobaVRSTA, RobaJM, ...).
  TFIBIntegerField* RobaROBAID = nullptr;
  TFIBStringField* RobaKATBR = nullptr;
  TFIBStringField* RobaKATBRPRO = nullptr;
  TFIBStringField* RobaNAZIV = nullptr;
  TFIBStringField* RobaGRUPAID = nullptr;
  TFIBSmallIntField* qryExtraDataVRDOK = nullptr;
  TFIBSmallIntField* qryExtraDataEDID = nullptr;
  TFIBIntegerField* qryExtraDataBRDOK = nullptr;
  TFIBStringField* qryExtraDataVREDNOST = nullptr;
  TFIBSmallIntField* qryExtraDataREDOSLED = nullptr;
  TFIBStringField* qryExtraDataNAZIV = nullptr;
  TFIBSmallIntField* qryEDSifVRDOK = nullptr;
  TFIBSmallIntField* qryEDSifEDID = nullptr;
  TFIBStringField* qryEDSifNAZIV = nullptr;
  TFIBStringField* qryEDSifET_FIELD = nullptr;
  TFIBSmallIntField* qryEDSifVRSTA_STAMPE = nullptr;
  TFIBSmallIntField* qryEDSifREDOSLED = nullptr;
  TFIBSmallIntField* qryEDSifVUID = nullptr;
  TFIBSmallIntField* qryEDSifGRUPAID = nullptr;
  TFIBStringField* qryEDHiPID = nullptr;
  TFIBStringField* qryEDHiPNAZIV = nullptr;

  // Where a running transfer stands and what it did. Both transfers report
  // it when they start, after every source row and when they end (also on
  // the error that stops them), so that the window's progress display and
  // the batch command follow the same run and tell the same figures.
  struct TTransferProgress {
    enum TTransfer { tkArticles, tkMarkings };
    TTransfer transfer = tkArticles;
    int done = 0;         // source rows handled
    int total = 0;        // source rows in all (-1 if unknown)
    int rowsWritten = 0;  // rows posted to the target
    int linesAdded = 0;   // lines added to lbErr by this run
    bool finished = false;
    bool interrupted = false;  // StopRequested ended the run before its last row

    // Counted by the transfers where they decide, so each source row read
    // has exactly one outcome and the figures add up in every report, the
    // last one after an error included:
    //   articles: read = found + notFound + skipped
    //   markings: read = rowsWritten + alreadyPresent + refused
    // A row whose outcome an error cut short is not counted as read.
    int read = 0;
    int skipped = 0;   // article rows with an empty catalogue number: no lookup, no line
    int found = 0;     // catalogue numbers found among the articles
    int notFound = 0;  // "Ne postoji" lines
    int refused = 0;   // rows the target refused: "Greska 2" lines; the marking that stopped the run
    int alreadyPresent = 0;  // rows RowAlreadyPresent skipped: stored in the target before, not written again
    // Further counts of what a transfer did go here, each a plain integer
    // raised by the transfer itself (values changed on the way to the
    // target, rows already present).
    int valuesChanged = 0;  // values cut or with characters replaced: "Izmenjena vrednost" lines

    // Article rows written, per definition in the order first written;
    // the name as EXTRA_DATA_SIF has it (8-bit).
    struct TDefinitionRows {
      int edid = 0;
      std::string name;
      int rows = 0;
    };
    std::vector<TDefinitionRows> writtenPerDefinition{};
  };
  std::function<void(const TTransferProgress&)> OnTransferProgress;
  // Asked after every source row of a transfer (the row in hand is done):
  // true ends the run there, as a finished and interrupted one. Empty: the
  // run goes to its end.
  std::function<bool()> StopRequested;
  // Asked for each new row of a transfer just before its post, the row's
  // values set: true takes the row as stored in the target already (a
  // resumed run); it is then dropped unwritten, counted as already present,
  // and the transfer goes on with its next row. Empty: every row is posted.
  std::function<bool(TpFIBDataSet* dataSet)> RowAlreadyPresent;
  // The window's own consumer of the reports (Unit6Progress.h), which
  // OnTransferProgress calls unless replaced: a progress strip, the window
  // repainted and closed to input while a transfer runs.
  TTransferProgressView* ProgressView() const noexcept { return m_progressView.get(); }

  // A value the target would store changed (cut, or characters replaced)
  // is always listed; with StrictValues its row is refused as well, as if
  // the database had refused it. The window keeps the values' rows.
  bool StrictValues = false;

  // A source value with the text the source file stores for it (whole,
  // UTF-16), to which the target's value is compared.
  struct TSourceValue {
    std::string text;  // 8-bit, as the field reads it
    std::u16string stored;
  };

  // Puts the window onto the available area (left, top, width, height,
  // in screen pixels): its own size and place where they fit, else moved
  // onto the area, and shrunk only where it is larger than the area.
  void FitOnScreen(int left, int top, int width, int height);
  // The same for the primary screen's area free of panels; the program
  // calls it before the window is first shown.
  void FitOnAvailableScreen();

  // Handlers.
  void FormCreate(TComponent* Sender);
  void Button1Click(TComponent* Sender);
  void Button2Click(TComponent* Sender);
  void Button3Click(TComponent* Sender);
  void miSaveErrClick(TComponent* Sender);
  // The detail refresh: qryExtraData reopened for Roba's current article.
  void dsRobaDataChange(TDataSource* Sender, TField* Field);

  // The source file, named without a directory: the working directory's.
  static constexpr const char* kSourceFileName = "VT2003.mdb";
  // The source connection string for `fileName` (8-bit): the Access ODBC
  // driver behind the OLE DB provider for ODBC, with the driver's settings
  // inside the quoted Extended Properties value.
  static std::string SourceConnectionString(const std::string& fileName);
  // A catalogue number as the target's articles know it: the key compared
  // with KATBRPRO and the group ("GP" or "REP") compared with GRUPAID.
  struct TCatalogueKey {
    std::string key;
    std::string group;
  };
  static TCatalogueKey NormaliseCatalogueNumber(const std::string& catalogueNumber);
  // A box's text: the message, then the reason on the lines under it (line
  // ends made plain, blank ends dropped).
  static std::string WithReason(const std::string& message, const std::string& reason);
  // The target database's path as preset in edtBaza.
  static constexpr const char* kTargetPreset = "C:\\Kelmora\\Baze\\Veltrana\\2015\\FIRMA2015.FDB";

 private:
  void CreateComponents();
  void CreateSourceComponents();
  // The target database, transactions, datasets, persistent fields and data
  // sources (Unit6Target.cpp).
  void CreateTargetComponents();
  void CreateRobaFields();
  void CreateErrorListMenu();
  // Firebird's login variables ISC_USER and ISC_PASSWORD, where set, take
  // the place of the stored user name and password (Unit6Login.cpp).
  void ApplyEnvironmentLogin();
  TDataSource* NewDataSource(const char* name, TDataSet* dataSet);
  // The article transfer's steps (Unit6Transfer.cpp): one source row's
  // article and its rows; the value of one definition; a source column as text.
  void TransferArticle(const std::string& catalogueNumber, TTransferProgress& progress);
  TSourceValue DefinitionValue(const std::string& fieldName);
  // Posts the new row of `dataSet` and counts it, or drops it where
  // RowAlreadyPresent takes it as stored; true when posted.
  bool PostNewRow(TpFIBDataSet* dataSet, TTransferProgress& progress);
  std::string SourceText(const std::string& column) const;
  static TSourceValue SourceValue(TADOQuery* query, const std::string& column);
  // Lists a change between `value` and what `field` now holds for
  // `table`.`column` (a line naming `what`); true when there was one.
  bool ListValueChange(const std::string& what, const std::string& table, TFIBStringField* field,
                       const TSourceValue& value, TTransferProgress& progress);
  // The source columns the transfers read that the source lacks, all at
  // once, raised before anything is written.
  void CheckSourceColumns();
  void CheckMarkingColumns();

  std::string m_sourceFileName;
  // The target's declared columns, read once per table per opened database.
  std::unique_ptr<TTargetMetadata> m_targetMetadata;
  std::unique_ptr<TTransferProgressView> m_progressView;
};
