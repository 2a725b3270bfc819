// The target side of the main window: the Firebird database, its two
// transactions, the four datasets with their SQL texts and persistent fields,
// and their data sources. Only what differs from the classes' defaults is set.
#include <initializer_list>
#include <string>
#include <vector>

#include "app/Unit6.h"
#include "ui/Dialogs.h"

namespace {

void SetLines(TStrings& sql, std::initializer_list<std::string> lines) { sql.Assign(TStrings(lines)); }

// The persistent field classes of the target datasets.
enum class Kind { Integer, SmallInt, String, BCD, Float, Date };

struct FieldDef {
  const char* name;
  Kind kind;
  int size = -1;              // strings: length; BCD: decimals; -1 = the class default
  const char* defaultExpression = "";
  const char* displayFormat = "";
  const char* editFormat = "";
};

// Creates one persistent field named after the dataset and the column. Every
// string field turns empty texts into null and every BCD field rounds by its
// scale, as the definitions store them.
TField* NewField(TComponent* owner, TpFIBDataSet* dataSet, const FieldDef& def, const std::string& origin) {
  TField* field = nullptr;
  switch (def.kind) {
    case Kind::Integer:
      field = new TFIBIntegerField(owner);
      break;
    case Kind::SmallInt:
      field = new TFIBSmallIntField(owner);
      break;
    case Kind::String: {
      auto* f = new TFIBStringField(owner);
      f->SetEmptyStrToNull(true);
      field = f;
      break;
    }
    case Kind::BCD: {
      auto* f = new TFIBBCDField(owner);
      f->SetRoundByScale(true);
      f->SetDisplayFormat(def.displayFormat);
      f->SetEditFormat(def.editFormat);
      field = f;
      break;
    }
    case Kind::Float:
      field = new TFIBFloatField(owner);
      break;
    case Kind::Date: {
      auto* f = new TFIBDateField(owner);
      f->SetDisplayFormat(def.displayFormat);
      field = f;
      break;
    }
  }
  field->SetName(dataSet->Name() + def.name);
  field->SetFieldName(def.name);
  if (def.size >= 0) field->SetSize(def.size);
  field->SetDefaultExpression(def.defaultExpression);
  field->SetOrigin(origin);
  field->SetDataSet(dataSet);
  return field;
}

// The 65 columns of ROBA in table order, with the stored field settings.
const std::vector<FieldDef>& RobaFields() {
  using K = Kind;
  static const std::vector<FieldDef> defs = {
      {"ROBAID", K::Integer},
      {"KATBR", K::String, 25},
      {"KATBRPRO", K::String, 25},
      {"NAZIV", K::String, 50},
      {"VRSTA", K::SmallInt},
      {"AKTIVNA", K::SmallInt},
      {"GRUPAID", K::String, 6},
      {"PODGRUPA", K::SmallInt},
      {"PROID", K::String, 5},
      {"JM", K::String, 3, "'KOM'"},
      {"TARIFAID", K::String, 3},
      {"NABAVNACENA", K::BCD, 4, "0", "#,##0.0000", "0.0000"},
      {"PRODAJNACENA", K::BCD, 2, "0", "#,##0.00", "0.00"},
      {"DEVNABCENA", K::BCD, 4, "0", "#,##0.0000", "0.0000"},
      {"FABRCENA", K::BCD, 4, "", "#,##0.0000", "0.0000"},
      {"STANJE", K::BCD, 3, "0", "#,##0.000", "0.000"},
      {"NARUCENO", K::BCD, 3, "0", "#,##0.000", "0.000"},
      {"REZERVISANO", K::BCD, 3, "", "#,##0.000", "0.000"},
      {"STANJEPOOTP", K::BCD, 3, "0", "#,##0.000", "0.000"},
      {"TAKSA", K::BCD, 4, "0", "#,##0.0000", "0.0000"},
      {"MARZA", K::BCD, 2, "0", "#,##0.00", "0.00"},
      {"UVOZ", K::SmallInt, -1, "0"},
      {"TARBROJ", K::String, 15},
      {"AKCIZA", K::BCD, 2, "0", "#,##0.00", "0.00"},
      {"NAZIVZACARINU", K::String, 50},
      {"NAZIVNAENG", K::String, 50},
      {"GARANTID", K::SmallInt},
      {"ALTJM", K::String, 3, "'KOM'"},
      {"ALTKOL", K::Float, -1, "1"},
      {"ALTNEDELJIVA", K::SmallInt, -1, "0"},
      {"TRPAK", K::String, 8},
      {"TRKOL", K::BCD, 2, "0", "#,##0.00", "0.00"},
      {"JMSD", K::String, 3},
      {"KOMENTAR", K::String, 100},
      {"XOD", K::BCD, 3, "", "#,##0.000", "0.000"},
      {"XDO", K::BCD, 3, "", "#,##0.000", "0.000"},
      {"YOD", K::BCD, 3, "", "#,##0.000", "0.000"},
      {"YDO", K::BCD, 3, "", "#,##0.000", "0.000"},
      {"ZOD", K::BCD, 3, "", "#,##0.000", "0.000"},
      {"ZDO", K::BCD, 3, "", "#,##0.000", "0.000"},
      {"IMAROKTRAJANJA", K::SmallInt, -1, "0"},
      {"NACENOVNIKU", K::SmallInt, -1, "1"},
      {"ZAPID", K::SmallInt, -1, "0"},
      {"NORMA", K::BCD, 2, "0", "#,##0.00", "0.00"},
      {"KALO", K::BCD, 4, "0", "#,##0.0000", "0.0000"},
      {"TEZINA", K::BCD, 3, "0", "#,##0.000", "0.000"},
      {"PIN", K::String, 25},
      {"KRITZAL", K::BCD, 3, "0", "#,##0.000", "0.000"},
      {"OPTZAL", K::BCD, 3, "0", "#,##0.000", "0.000"},
      {"KATEGORIJA", K::BCD, 0, "0"},
      {"IMASBROJ", K::SmallInt, -1, "0"},
      {"STANJEPOSER", K::BCD, 3, "0", "#,##0.000", "0.000"},
      {"ZAPREMINA", K::Float, -1, "0"},
      {"SLIKA", K::String, 24},
      {"PPID", K::Integer, -1, "0"},
      {"TRDECPAK", K::SmallInt, -1, "0"},
      {"PRODCENABP", K::BCD, 2, "0", "#,##0.00", "0.00"},
      {"JMR", K::String, 3, "'KOM'"},
      {"STANJEPOREKLAM", K::BCD, 3, "", "#,##0.000", "0.000"},
      {"STANJEPOREVERSU", K::BCD, 3, "", "#,##0.000", "0.000"},
      {"ADR", K::BCD, 2, "1", "#,##0.00", "0.00"},
      {"STANJE_MOJE_EKSP", K::BCD, 3, "0", "#,##0.000", "0.000"},
      {"VPCID", K::SmallInt, -1, "0"},
      {"PROCPC", K::BCD, 2, "0", "#,##0.00", "0.00"},
      {"DATUM_ISPORUKE", K::Date, -1, "", "dd.mm.yyyy"},
  };
  return defs;
}

// ROBA's update and insert texts list every column: "    NAME = :NAME,"
// and "    NAME," / "    :NAME,", the last line without its comma.
std::vector<std::string> RobaColumnLines(const char* before, const char* between) {
  const auto& defs = RobaFields();
  std::vector<std::string> lines;
  for (size_t i = 0; i < defs.size(); ++i) {
    std::string line = std::string("    ") + before + defs[i].name;
    if (*between) line += std::string(between) + defs[i].name;
    if (i + 1 < defs.size()) line += ",";
    lines.push_back(std::move(line));
  }
  return lines;
}

// An SQL text made of groups of lines.
void SetLineGroups(TStrings& sql, std::initializer_list<std::vector<std::string>> groups) {
  TStrings lines;
  for (const auto& group : groups)
    for (const std::string& line : group) lines.Add(line);
  sql.Assign(lines);
}

// The connection's reason for a failed "Otvori"; a database another engine
// instance holds (another program opened the file embedded) gets a hint.
std::string OpenFailureReason(const std::string& reason) {
  if (reason.find("Database already opened with engine instance") == std::string::npos) return reason;
  return TForm6::WithReason(reason, "") + "\nDrugi program (ili server) vec drzi ovu bazu otvorenu: zatvorite ga ili otvorite bazu preko servera.";
}

}  // namespace

void TForm6::CreateTargetComponents() {
  pFIBDatabase = new TpFIBDatabase(this);
  pFIBDatabase->SetName("pFIBDatabase");
  pFIBTransaction1 = new TpFIBTransaction(this);
  pFIBTransaction1->SetName("pFIBTransaction1");
  pFIBTransaction2 = new TpFIBTransaction(this);
  pFIBTransaction2->SetName("pFIBTransaction2");
  m_targetMetadata = std::make_unique<TTargetMetadata>(pFIBDatabase, pFIBTransaction1);

  // The stored design-time path is never used: "Otvori" sets edtBaza's text.
  SetLines(pFIBDatabase->DBParams(), {"user_name=SYSDBA", "password=m"});
  pFIBDatabase->SetDefaultTransaction(pFIBTransaction1);
  pFIBDatabase->SetDefaultUpdateTransaction(pFIBTransaction2);
  pFIBDatabase->SetSQLDialect(3);
  pFIBDatabase->SetTimeout(0);
  pFIBDatabase->SetWaitForRestoreConnect(0);

  for (TpFIBTransaction* tr : {pFIBTransaction1, pFIBTransaction2}) {
    tr->SetDefaultDatabase(pFIBDatabase);
    tr->SetTimeoutAction(TARollback);
    tr->SetTPBMode(tpbDefault);
  }
  SetLines(pFIBTransaction1->TRParams(),
           {"isc_tpb_read", "isc_tpb_read_committed", "isc_tpb_nowait", "isc_tpb_rec_version"});
  SetLines(pFIBTransaction2->TRParams(), {"write", "nowait", "rec_version", "read_committed"});

  auto newDataSet = [this](const char* name) {
    auto* ds = new TpFIBDataSet(this);
    ds->SetName(name);
    ds->SetDatabase(pFIBDatabase);
    ds->SetTransaction(pFIBTransaction1);
    ds->SetUpdateTransaction(pFIBTransaction2);
    ds->SetFieldOriginRule(forTableAliasAndFieldName);
    ds->SetAutoCommit(true);
    return ds;
  };

  // --- Roba: the articles of kinds 1 and 3. Only read by the tool.
  Roba = newDataSet("Roba");
  SetLines(Roba->SelectSQL(), {"SELECT * from ROBA", "WHERE VRSTA IN (1,3)", "ORDER BY KATBRPRO"});
  SetLines(Roba->RefreshSQL(), {"SELECT * from ROBA", "", " WHERE ", "        ROBA.ROBAID = :OLD_ROBAID", "    "});
  SetLines(Roba->DeleteSQL(), {"DELETE FROM", "    ROBA", "WHERE", "        ROBAID = :OLD_ROBAID", "    "});
  SetLineGroups(Roba->UpdateSQL(), {{"UPDATE ROBA", "SET "},
                                    RobaColumnLines("", " = :"),
                                    {"WHERE", "    ROBAID = :OLD_ROBAID", "    "}});
  SetLineGroups(Roba->InsertSQL(), {{"INSERT INTO ROBA("},
                                    RobaColumnLines("", ""),
                                    {")", "VALUES("},
                                    RobaColumnLines(":", ""),
                                    {")"}});
  CreateRobaFields();

  // --- qryExtraData: the extra data of the current article.
  qryExtraData = newDataSet("qryExtraData");
  SetLines(qryExtraData->SelectSQL(),
           {"SELECT ed.*, eds.naziv", " from EXTRA_DATA ed",
            "left join extra_data_sif eds on ed.edid = eds.edid and eds.vrdok = -2", "",
            "WHERE ed.VRDOK = -2 AND ed.BRDOK = :BRDOK", "order by ed.redosled"});
  SetLines(qryExtraData->InsertSQL(),
           {"INSERT INTO EXTRA_DATA(", "    VRDOK,", "    EDID,", "    BRDOK,", "    VREDNOST,", "    REDOSLED", ")",
            "VALUES(", "    :VRDOK,", "    :EDID,", "    :BRDOK,", "    :VREDNOST,", "    :REDOSLED", ")"});
  SetLines(qryExtraData->UpdateSQL(),
           {"UPDATE EXTRA_DATA", "SET ", "    VRDOK = :VRDOK,", "    EDID = :EDID,", "    BRDOK = :BRDOK,",
            "    VREDNOST = :VREDNOST,", "    REDOSLED = :REDOSLED", "WHERE", "    VRDOK = :OLD_VRDOK",
            "    and EDID = :OLD_EDID", "    and BRDOK = :OLD_BRDOK", "    "});
  SetLines(qryExtraData->DeleteSQL(),
           {"DELETE FROM", "    EXTRA_DATA", "WHERE", "        VRDOK = :OLD_VRDOK", "    and EDID = :OLD_EDID",
            "    and BRDOK = :OLD_BRDOK", "    "});
  SetLines(qryExtraData->RefreshSQL(),
           {"SELECT * from EXTRA_DATA", "WHERE(  VRDOK = -2 AND BRDOK = :BRDOK",
            "     ) and (     EXTRA_DATA.VRDOK = :OLD_VRDOK", "    and EXTRA_DATA.EDID = :OLD_EDID",
            "    and EXTRA_DATA.BRDOK = :OLD_BRDOK", "     )", "    "});
  {
    using K = Kind;
    auto field = [this](const FieldDef& def, const char* origin) { return NewField(this, qryExtraData, def, origin); };
    qryExtraDataVRDOK = static_cast<TFIBSmallIntField*>(field({"VRDOK", K::SmallInt}, "ED.VRDOK"));
    qryExtraDataEDID = static_cast<TFIBSmallIntField*>(field({"EDID", K::SmallInt}, "ED.EDID"));
    qryExtraDataBRDOK = static_cast<TFIBIntegerField*>(field({"BRDOK", K::Integer}, "ED.BRDOK"));
    qryExtraDataVREDNOST = static_cast<TFIBStringField*>(field({"VREDNOST", K::String, 100}, "ED.VREDNOST"));
    qryExtraDataREDOSLED = static_cast<TFIBSmallIntField*>(field({"REDOSLED", K::SmallInt}, "ED.REDOSLED"));
    // The definition's name, brought in by the join; never written.
    qryExtraDataNAZIV = static_cast<TFIBStringField*>(field({"NAZIV", K::String, 25}, "EDS.NAZIV"));
  }

  // --- qryEDSif: the extra-data definitions of articles. Read only.
  qryEDSif = newDataSet("qryEDSif");
  SetLines(qryEDSif->SelectSQL(), {"SELECT * from EXTRA_DATA_SIF", "WHERE VRDOK = -2", "order by redosled"});
  SetLines(qryEDSif->RefreshSQL(),
           {"SELECT * from EXTRA_DATA_SIF", "WHERE(  VRDOK = -2", "     ) and (     EXTRA_DATA_SIF.VRDOK = :OLD_VRDOK",
            "    and EXTRA_DATA_SIF.EDID = :OLD_EDID", "     )", "    "});
  {
    using K = Kind;
    auto field = [this](const FieldDef& def) {
      return NewField(this, qryEDSif, def, std::string("EXTRA_DATA_SIF.") + def.name);
    };
    qryEDSifVRDOK = static_cast<TFIBSmallIntField*>(field({"VRDOK", K::SmallInt}));
    qryEDSifEDID = static_cast<TFIBSmallIntField*>(field({"EDID", K::SmallInt}));
    qryEDSifNAZIV = static_cast<TFIBStringField*>(field({"NAZIV", K::String, 25}));
    qryEDSifET_FIELD = static_cast<TFIBStringField*>(field({"ET_FIELD", K::String}));
    qryEDSifVRSTA_STAMPE = static_cast<TFIBSmallIntField*>(field({"VRSTA_STAMPE", K::SmallInt, -1, "0"}));
    qryEDSifREDOSLED = static_cast<TFIBSmallIntField*>(field({"REDOSLED", K::SmallInt}));
    qryEDSifVUID = static_cast<TFIBSmallIntField*>(field({"VUID", K::SmallInt}));
    qryEDSifGRUPAID = static_cast<TFIBSmallIntField*>(field({"GRUPAID", K::SmallInt}));
  }

  // --- qryEDHiP: the marking list.
  qryEDHiP = newDataSet("qryEDHiP");
  SetLines(qryEDHiP->SelectSQL(), {"SELECT * from EXTRA_DATA_OZNAKE", "order by ID"});
  SetLines(qryEDHiP->InsertSQL(),
           {"INSERT INTO EXTRA_DATA_OZNAKE(", "    ID,", "    NAZIV", ")", "VALUES(", "    :ID,", "    :NAZIV", ")"});
  SetLines(qryEDHiP->UpdateSQL(),
           {"UPDATE EXTRA_DATA_OZNAKE", "SET ", "    ID = :ID,", "    NAZIV = :NAZIV", "WHERE", "    ID = :OLD_ID", "    "});
  SetLines(qryEDHiP->DeleteSQL(), {"DELETE FROM", "    EXTRA_DATA_OZNAKE", "WHERE", "        ID = :OLD_ID", "    "});
  SetLines(qryEDHiP->RefreshSQL(),
           {"SELECT * from EXTRA_DATA_OZNAKE", "", " WHERE ", "        EXTRA_DATA_OZNAKE.ID = :OLD_ID", "    "});
  qryEDHiPID = static_cast<TFIBStringField*>(NewField(this, qryEDHiP, {"ID", Kind::String}, ""));
  qryEDHiPNAZIV = static_cast<TFIBStringField*>(NewField(this, qryEDHiP, {"NAZIV", Kind::String, 250}, ""));

  dsRoba = NewDataSource("dsRoba", Roba);
  dsRoba->OnDataChange = [this](TDataSource* Sender, TField* Field) { dsRobaDataChange(Sender, Field); };
  dsExtraData = NewDataSource("dsExtraData", qryExtraData);
  dsEDSif = NewDataSource("dsEDSif", qryEDSif);
  dsEDHiP = NewDataSource("dsEDHiP", qryEDHiP);
}

void TForm6::CreateRobaFields() {
  for (const FieldDef& def : RobaFields()) {
    // ROBAID's stored origin carries no table name.
    const std::string origin = std::string(def.name) == "ROBAID" ? "ROBAID" : std::string("ROBA.") + def.name;
    NewField(this, Roba, def, origin);
  }
  RobaROBAID = static_cast<TFIBIntegerField*>(FindComponent("RobaROBAID"));
  RobaKATBR = static_cast<TFIBStringField*>(FindComponent("RobaKATBR"));
  RobaKATBRPRO = static_cast<TFIBStringField*>(FindComponent("RobaKATBRPRO"));
  RobaNAZIV = static_cast<TFIBStringField*>(FindComponent("RobaNAZIV"));
  RobaGRUPAID = static_cast<TFIBStringField*>(FindComponent("RobaGRUPAID"));
}

void TForm6::Button3Click(TComponent* Sender) {
  try {
    // Every press starts over from a disconnected database. A disconnect
    // that fails (the connection is already lost) is forced, so that a dead
    // server does not keep every later press from reconnecting.
    try {
      pFIBDatabase->Close();
    } catch (...) {
      pFIBDatabase->ForceClose();
    }
    pFIBTransaction1->SetActive(false);
    // The path exactly as typed: blanks around it are part of it.
    pFIBDatabase->SetDBName(edtBaza->Text());
    m_targetMetadata->Clear();
    pFIBDatabase->Open();
    pFIBTransaction1->StartTransaction();
    // Opening Roba already opens qryExtraData for the first article, through
    // dsRoba's data-change handler.
    Roba->Open();
    qryExtraData->Open();
    qryEDSif->Open();
    Button1->SetEnabled(true);
    Button2->SetEnabled(true);
  } catch (const std::exception& e) {
    // What opened before the failing step stays open.
    Button1->SetEnabled(false);
    Button2->SetEnabled(false);
    MessageDlg(WithReason("Greska pri otvaranju data setova", OpenFailureReason(e.what())),
               TMsgDlgType::mtConfirmation);
  } catch (...) {
    Button1->SetEnabled(false);
    Button2->SetEnabled(false);
    MessageDlg("Greska pri otvaranju data setova", TMsgDlgType::mtConfirmation);
  }
}

void TForm6::dsRobaDataChange(TDataSource* Sender, TField* Field) {
  // No guard: a failure reaches whoever moved Roba.
  qryExtraData->Close();  // drops a row a failed post left pending
  // 0 when Roba has no current row or ROBAID is null.
  const int32_t robaId = RobaROBAID->AsInteger();
  qryExtraData->ParamByName("BRDOK")->SetAsVariant(Variant(robaId));
  qryExtraData->Open();
}
