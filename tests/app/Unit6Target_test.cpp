// The window's target side: the definitions of the database, transactions
// and datasets, "Otvori" on good and bad targets (embedded and through a
// private server), and the detail view following the current article.
#include <gtest/gtest.h>

#include <QTableView>
#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

#include "TargetFixture.h"
#include "ToolSql.h"

using namespace apptest;

namespace {

const char* const kBoxText = "Greska pri otvaranju data setova";

// Four articles (kinds 1, 3, 2, 1), two definitions of articles and one of
// documents, and extra data of the first article in KATBRPRO order (id 4)
// including a row whose definition is missing and a document's row.
const std::string kTarget = Article(1, "1012", "1012", "Boja za drvo", 1) +
                            Article(2, "0123", "123", "Sprej boja crvena", 3, "REP") +
                            Article(3, "3401", "3401", "Usluga toniranja", 2) +
                            Article(4, "7", "0007", "Čistač četkica", 1) +
                            Definition(-2, 1, "Proizvođač", "PROIZVODJAC", 2) +
                            Definition(-2, 2, "Namena", "NAMENA", 1) +
                            Definition(-1, 1, "Broj narudžbenice", "", 1) +
                            ExtraData(-2, 1, 4, "Ćuprija Lak", 2) + ExtraData(-2, 2, 4, "Čišćenje četkica", 1) +
                            ExtraData(-2, 9, 4, "bez definicije", 3) + ExtraData(-1, 1, 4, "N-117", 1) +
                            ExtraData(-2, 1, 1, "Hemikal Čačak", 1) + ExtraData(-2, 1, 2, "Boje Šabac", 1);

// Counts how often the detail query is opened.
struct OpenCounter {
  int opens = 0;
  explicit OpenCounter(TDataSet* ds) {
    ds->AfterOpen = [this](TDataSet*) { ++opens; };
  }
};

void ExpectOpen(TForm6& form) {
  EXPECT_TRUE(form.pFIBDatabase->Connected());
  EXPECT_TRUE(form.Roba->Active());
  EXPECT_TRUE(form.qryExtraData->Active());
  EXPECT_TRUE(form.qryEDSif->Active());
  EXPECT_TRUE(form.Button1->Enabled());
  EXPECT_TRUE(form.Button2->Enabled());
}

// The box keeps its text and gives the connection's reason under it.
void ExpectFailedOpen(TForm6& form, const BoxRecorder& boxes, const std::string& reason = "") {
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Title, "Confirm");
  const std::string& text = boxes.Boxes[0].Text;
  EXPECT_EQ(text.substr(0, text.find('\n')), kBoxText);
  EXPECT_NE(text.find('\n'), std::string::npos) << text;
  EXPECT_NE(text.find(reason), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos) << text;
  EXPECT_FALSE(form.Button1->Enabled());
  EXPECT_FALSE(form.Button2->Enabled());
  EXPECT_TRUE(form.Button3->Enabled());
}

// A loopback port nobody listens on while the object lives: it stays bound
// to this socket, which never listens, so a connection there is refused and
// no other program (a test's server among them) can take the port meanwhile.
class TRefusingPort {
 public:
  TRefusingPort() : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      throw std::runtime_error("no loopback port to hold");
    m_port = ntohs(addr.sin_port);
  }
  ~TRefusingPort() { close(m_fd); }
  TRefusingPort(const TRefusingPort&) = delete;
  TRefusingPort& operator=(const TRefusingPort&) = delete;
  int Port() const { return m_port; }

 private:
  int m_fd;
  int m_port = 0;
};

std::string Joined(const TStrings& lines) {
  std::string all;
  for (const std::string& line : lines.Lines()) all += line + "\n";
  return all;
}

}  // namespace

// The stored definitions: SQL texts byte for byte, parameters and settings;
// the column lists of ROBA's update and insert texts against the table.
TEST_F(TargetTest, Definitions) {
  Create();
  TForm6& f = *form;
  EXPECT_EQ(Joined(f.pFIBDatabase->DBParams()), "user_name=SYSDBA\npassword=m\n");
  EXPECT_EQ(f.pFIBDatabase->DBParams().Values("password").size(), 1u);
  EXPECT_EQ(f.pFIBDatabase->DefaultTransaction(), f.pFIBTransaction1);
  EXPECT_EQ(f.pFIBDatabase->DefaultUpdateTransaction(), f.pFIBTransaction2);
  EXPECT_EQ(f.pFIBDatabase->SQLDialect(), 3);
  EXPECT_FALSE(f.pFIBDatabase->Connected());
  EXPECT_EQ(Joined(f.pFIBTransaction1->TRParams()),
            "isc_tpb_read\nisc_tpb_read_committed\nisc_tpb_nowait\nisc_tpb_rec_version\n");
  EXPECT_EQ(Joined(f.pFIBTransaction2->TRParams()), "write\nnowait\nrec_version\nread_committed\n");
  for (TpFIBTransaction* tr : {f.pFIBTransaction1, f.pFIBTransaction2}) {
    EXPECT_EQ(tr->DefaultDatabase(), f.pFIBDatabase);
    EXPECT_EQ(tr->TimeoutAction(), TARollback);
    EXPECT_EQ(tr->TPBMode(), tpbDefault);
  }
  for (TpFIBDataSet* ds : {f.Roba, f.qryExtraData, f.qryEDSif, f.qryEDHiP}) {
    SCOPED_TRACE(ds->Name());
    EXPECT_EQ(ds->Database(), f.pFIBDatabase);
    EXPECT_EQ(ds->Transaction(), f.pFIBTransaction1);
    EXPECT_EQ(ds->UpdateTransaction(), f.pFIBTransaction2);
    EXPECT_EQ(ds->FieldOriginRule(), forTableAliasAndFieldName);
    EXPECT_TRUE(ds->AutoCommit());
    EXPECT_FALSE(ds->Active());
  }
  EXPECT_EQ(f.dsRoba->DataSet(), f.Roba);
  EXPECT_EQ(f.dsExtraData->DataSet(), f.qryExtraData);
  EXPECT_EQ(f.dsEDSif->DataSet(), f.qryEDSif);
  EXPECT_EQ(f.dsEDHiP->DataSet(), f.qryEDHiP);
  EXPECT_EQ(f.DBGrid3->DataSource(), f.dsRoba);
  EXPECT_EQ(f.DBGrid4->DataSource(), f.dsExtraData);

  const struct {
    TStrings& sql;
    std::string text;
  } texts[] = {
      {f.Roba->SelectSQL(), "SELECT * from ROBA\r\nWHERE VRSTA IN (1,3)\r\nORDER BY KATBRPRO\r\n"},
      {f.Roba->RefreshSQL(), "SELECT * from ROBA\r\n\r\n WHERE \r\n        ROBA.ROBAID = :OLD_ROBAID\r\n    \r\n"},
      {f.Roba->DeleteSQL(), "DELETE FROM\r\n    ROBA\r\nWHERE\r\n        ROBAID = :OLD_ROBAID\r\n    \r\n"},
      {f.qryExtraData->SelectSQL(), kExtraDataSelect},
      {f.qryExtraData->InsertSQL(),
       "INSERT INTO EXTRA_DATA(\r\n    VRDOK,\r\n    EDID,\r\n    BRDOK,\r\n    VREDNOST,\r\n    REDOSLED\r\n)\r\n"
       "VALUES(\r\n    :VRDOK,\r\n    :EDID,\r\n    :BRDOK,\r\n    :VREDNOST,\r\n    :REDOSLED\r\n)\r\n"},
      {f.qryExtraData->UpdateSQL(),
       "UPDATE EXTRA_DATA\r\nSET \r\n    VRDOK = :VRDOK,\r\n    EDID = :EDID,\r\n    BRDOK = :BRDOK,\r\n"
       "    VREDNOST = :VREDNOST,\r\n    REDOSLED = :REDOSLED\r\nWHERE\r\n    VRDOK = :OLD_VRDOK\r\n"
       "    and EDID = :OLD_EDID\r\n    and BRDOK = :OLD_BRDOK\r\n    \r\n"},
      {f.qryExtraData->DeleteSQL(),
       "DELETE FROM\r\n    EXTRA_DATA\r\nWHERE\r\n        VRDOK = :OLD_VRDOK\r\n    and EDID = :OLD_EDID\r\n"
       "    and BRDOK = :OLD_BRDOK\r\n    \r\n"},
      {f.qryExtraData->RefreshSQL(),
       "SELECT * from EXTRA_DATA\r\nWHERE(  VRDOK = -2 AND BRDOK = :BRDOK\r\n"
       "     ) and (     EXTRA_DATA.VRDOK = :OLD_VRDOK\r\n    and EXTRA_DATA.EDID = :OLD_EDID\r\n"
       "    and EXTRA_DATA.BRDOK = :OLD_BRDOK\r\n     )\r\n    \r\n"},
      {f.qryEDSif->SelectSQL(), "SELECT * from EXTRA_DATA_SIF\r\nWHERE VRDOK = -2\r\norder by redosled\r\n"},
      {f.qryEDSif->RefreshSQL(),
       "SELECT * from EXTRA_DATA_SIF\r\nWHERE(  VRDOK = -2\r\n     ) and (     EXTRA_DATA_SIF.VRDOK = :OLD_VRDOK\r\n"
       "    and EXTRA_DATA_SIF.EDID = :OLD_EDID\r\n     )\r\n    \r\n"},
      {f.qryEDSif->InsertSQL(), ""},
      {f.qryEDSif->UpdateSQL(), ""},
      {f.qryEDSif->DeleteSQL(), ""},
      {f.qryEDHiP->SelectSQL(), "SELECT * from EXTRA_DATA_OZNAKE\r\norder by ID\r\n"},
      {f.qryEDHiP->InsertSQL(),
       "INSERT INTO EXTRA_DATA_OZNAKE(\r\n    ID,\r\n    NAZIV\r\n)\r\nVALUES(\r\n    :ID,\r\n    :NAZIV\r\n)\r\n"},
      {f.qryEDHiP->UpdateSQL(),
       "UPDATE EXTRA_DATA_OZNAKE\r\nSET \r\n    ID = :ID,\r\n    NAZIV = :NAZIV\r\nWHERE\r\n    ID = :OLD_ID\r\n    \r\n"},
      {f.qryEDHiP->DeleteSQL(), "DELETE FROM\r\n    EXTRA_DATA_OZNAKE\r\nWHERE\r\n        ID = :OLD_ID\r\n    \r\n"},
      {f.qryEDHiP->RefreshSQL(),
       "SELECT * from EXTRA_DATA_OZNAKE\r\n\r\n WHERE \r\n        EXTRA_DATA_OZNAKE.ID = :OLD_ID\r\n    \r\n"},
  };
  for (const auto& t : texts) EXPECT_EQ(t.sql.Text(), t.text);

  // ROBA's update and insert texts name every column of the table in order.
  fibtest::TScratchDir scratch;
  Open(CreateTarget(scratch, ""));
  ExpectOpen(f);
  const TFieldDefs& defs = f.Roba->FieldDefs();
  ASSERT_EQ(defs.Count(), 65);
  const TStrings& update = f.Roba->UpdateSQL();
  const TStrings& insert = f.Roba->InsertSQL();
  ASSERT_EQ(update.Count(), 2 + 65 + 3);
  ASSERT_EQ(insert.Count(), 1 + 65 + 2 + 65 + 1);
  EXPECT_EQ(update[0], "UPDATE ROBA");
  EXPECT_EQ(update[1], "SET ");
  EXPECT_EQ(update[67], "WHERE");
  EXPECT_EQ(update[68], "    ROBAID = :OLD_ROBAID");
  EXPECT_EQ(update[69], "    ");
  EXPECT_EQ(insert[0], "INSERT INTO ROBA(");
  EXPECT_EQ(insert[66], ")");
  EXPECT_EQ(insert[67], "VALUES(");
  EXPECT_EQ(insert[133], ")");
  for (int i = 0; i < 65; ++i) {
    const std::string& name = defs[i].Name();
    const std::string comma = i < 64 ? "," : "";
    EXPECT_EQ(update[2 + i], "    " + name + " = :" + name + comma);
    EXPECT_EQ(insert[1 + i], "    " + name + comma);
    EXPECT_EQ(insert[68 + i], "    :" + name + comma);
    // Each persistent field sits on its column, named after dataset and column.
    TField* field = f.Roba->Fields()[i];
    EXPECT_EQ(field->FieldName(), name);
    EXPECT_EQ(field->Name(), "Roba" + name);
    EXPECT_EQ(field->Owner(), form.get());
    EXPECT_EQ(field->DataType(), defs[i].DataType()) << name;
  }
}

// Stored field settings of each dataset, and what an open makes of them:
// origins by table alias, string sizes from the declared lengths.
TEST_F(TargetTest, PersistentFields) {
  Create();
  TForm6& f = *form;
  auto* jm = f.FindComponent("RobaJM");
  ASSERT_NE(dynamic_cast<TFIBStringField*>(jm), nullptr);
  EXPECT_EQ(static_cast<TField*>(jm)->DefaultExpression(), "'KOM'");
  EXPECT_EQ(f.RobaROBAID->Origin(), "ROBAID");
  EXPECT_EQ(f.RobaKATBR->Origin(), "ROBA.KATBR");
  auto* nabavna = dynamic_cast<TFIBBCDField*>(f.FindComponent("RobaNABAVNACENA"));
  ASSERT_NE(nabavna, nullptr);
  EXPECT_EQ(nabavna->Size(), 4);
  EXPECT_TRUE(nabavna->RoundByScale());
  EXPECT_EQ(nabavna->DisplayFormat(), "#,##0.0000");
  EXPECT_EQ(nabavna->EditFormat(), "0.0000");
  auto* kategorija = dynamic_cast<TFIBBCDField*>(f.FindComponent("RobaKATEGORIJA"));
  ASSERT_NE(kategorija, nullptr);
  EXPECT_EQ(kategorija->Size(), 0);
  EXPECT_EQ(kategorija->DisplayFormat(), "");
  auto* datum = dynamic_cast<TFIBDateField*>(f.FindComponent("RobaDATUM_ISPORUKE"));
  ASSERT_NE(datum, nullptr);
  EXPECT_EQ(datum->DisplayFormat(), "dd.mm.yyyy");
  EXPECT_NE(dynamic_cast<TFIBFloatField*>(f.FindComponent("RobaALTKOL")), nullptr);
  EXPECT_EQ(f.qryEDSifET_FIELD->Size(), 20);
  EXPECT_EQ(f.qryEDSifVRSTA_STAMPE->DefaultExpression(), "0");
  EXPECT_EQ(f.qryEDHiPID->Size(), 20);
  EXPECT_EQ(f.qryEDHiPID->Origin(), "");
  EXPECT_EQ(f.qryExtraDataNAZIV->Origin(), "EDS.NAZIV");
  for (TpFIBDataSet* ds : {f.Roba, f.qryExtraData, f.qryEDSif, f.qryEDHiP}) {
    for (int i = 0; i < ds->Fields().Count(); ++i) {
      if (auto* s = dynamic_cast<TFIBStringField*>(ds->Fields()[i])) {
        EXPECT_TRUE(s->EmptyStrToNull()) << s->Name();
      }
    }
  }
  EXPECT_EQ(f.qryExtraData->Fields().Count(), 6);
  EXPECT_EQ(f.qryEDSif->Fields().Count(), 8);
  EXPECT_EQ(f.qryEDHiP->Fields().Count(), 2);

  // Wider columns than stored: the fields take the declared lengths.
  fibtest::TScratchDir scratch;
  Open(CreateTarget(scratch, "ALTER TABLE EXTRA_DATA_SIF ALTER ET_FIELD TYPE VARCHAR(31);"));
  ExpectOpen(f);
  EXPECT_EQ(f.qryEDSifET_FIELD->Size(), 31);
  EXPECT_EQ(f.RobaKATBR->Origin(), "ROBA.KATBR");
  EXPECT_EQ(f.RobaROBAID->Origin(), "ROBA.ROBAID");
  EXPECT_EQ(f.qryExtraDataVREDNOST->Origin(), "ED.VREDNOST");
  EXPECT_EQ(f.qryExtraDataNAZIV->Origin(), "EDS.NAZIV");
  f.qryEDHiP->Open();
  EXPECT_EQ(f.qryEDHiPID->Origin(), "EXTRA_DATA_OZNAKE.ID");
  EXPECT_EQ(f.qryEDHiPNAZIV->Size(), 250);
}

// "Otvori": the articles of kinds 1 and 3 by KATBRPRO, the first one's extra
// data in REDOSLED order with the definitions' names; one detail query.
TEST_F(TargetTest, OpenShowsArticlesAndTheFirstArticlesExtraData) {
  fibtest::TScratchDir scratch;
  const std::string path = CreateTarget(scratch, kTarget);
  Create();
  int changes = 0;
  auto handler = form->dsRoba->OnDataChange;
  form->dsRoba->OnDataChange = [&](TDataSource* s, TField* f) {
    ++changes;
    handler(s, f);
  };
  OpenCounter details(form->qryExtraData);
  Open(path);
  EXPECT_TRUE(boxes.Boxes.empty());
  ExpectOpen(*form);
  EXPECT_EQ(form->pFIBDatabase->DBName(), path);
  EXPECT_TRUE(form->pFIBTransaction1->Active());
  EXPECT_FALSE(form->pFIBTransaction2->Active());
  EXPECT_FALSE(form->qryEDHiP->Active());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(details.opens, 1);

  EXPECT_EQ(Column(form->DBGrid3, "KATBR"), "7|1012|0123");
  EXPECT_EQ(Column(form->DBGrid3, "KATBRPRO"), "0007|1012|123");
  EXPECT_EQ(Column(form->DBGrid3, "NAZIV"), "Čistač četkica|Boja za drvo|Sprej boja crvena");
  EXPECT_EQ(form->RobaROBAID->AsInteger(), 4);
  EXPECT_EQ(Column(form->DBGrid4, "EDID"), "2|1|9");
  EXPECT_EQ(Column(form->DBGrid4, "NAZIV"), "Namena|Proizvođač|");
  EXPECT_EQ(Column(form->DBGrid4, "VREDNOST"), "Čišćenje četkica|Ćuprija Lak|bez definicije");
  EXPECT_EQ(Column(form->DBGrid4, "REDOSLED"), "1|2|3");
  EXPECT_EQ(form->qryExtraData->ParamByName("BRDOK")->AsInteger(), 4);
  // The definitions of articles only, in REDOSLED order.
  EXPECT_EQ(form->qryEDSifET_FIELD->AsString(), "NAMENA");
  form->qryEDSif->Last();
  EXPECT_EQ(form->qryEDSif->RecordCount(), 2);
}

// A second press closes everything and opens again on the database as it is
// now; the detail view shows the (new) first article's extra data.
TEST_F(TargetTest, SecondPressStartsOver) {
  fibtest::TScratchDir scratch;
  const std::string path = CreateTarget(scratch, kTarget);
  Create();
  Open(path);
  ExpectOpen(*form);
  form->Roba->Next();
  EXPECT_EQ(form->RobaROBAID->AsInteger(), 1);
  // Changed through the tool's own attachment: the embedded engine gives
  // the file to one process at a time.
  form->pFIBTransaction2->StartTransaction();
  for (const std::string& sql : {Article(5, "0001", "0001", "Novi artikal", 3), ExtraData(-2, 2, 5, "nova namena", 1)})
    fibtest::ExecSQL(*form->pFIBDatabase, *form->pFIBTransaction2, sql.substr(0, sql.size() - 2));
  form->pFIBTransaction2->Commit();
  OpenCounter details(form->qryExtraData);
  Open(path);
  EXPECT_TRUE(boxes.Boxes.empty());
  ExpectOpen(*form);
  EXPECT_EQ(details.opens, 1);
  EXPECT_EQ(Column(form->DBGrid3, "KATBRPRO"), "0001|0007|1012|123");
  EXPECT_EQ(form->RobaROBAID->AsInteger(), 5);
  EXPECT_EQ(Column(form->DBGrid4, "VREDNOST"), "nova namena");
  EXPECT_EQ(Column(form->DBGrid4, "NAZIV"), "Namena");
}

// No article of kind 1 or 3: Roba opens empty, the detail query runs with
// BRDOK 0, and the transfers are enabled.
TEST_F(TargetTest, NoArticleOfKindOneOrThree) {
  fibtest::TScratchDir scratch;
  const std::string path = CreateTarget(
      scratch, Article(3, "3401", "3401", "Usluga", 2) + Definition(-2, 1, "Namena", "NAMENA", 1) +
                   ExtraData(-2, 1, 0, "bez artikla", 1) + ExtraData(-2, 1, 3, "usluga", 1));
  Create();
  Open(path);
  EXPECT_TRUE(boxes.Boxes.empty());
  ExpectOpen(*form);
  EXPECT_TRUE(form->Roba->IsEmpty());
  EXPECT_EQ(form->DBGrid3->RowCount(), 0);
  EXPECT_EQ(form->qryExtraData->ParamByName("BRDOK")->AsInteger(), 0);
  EXPECT_EQ(Column(form->DBGrid4, "VREDNOST"), "bez artikla");
}

// After a good open, a wrong path closes the earlier connection and fails:
// the grids empty, the transfers disabled; a good path works again after.
TEST_F(TargetTest, WrongPathAfterAGoodOpen) {
  fibtest::TScratchDir scratch;
  const std::string path = CreateTarget(scratch, kTarget);
  Create();
  Open(path);
  ExpectOpen(*form);
  Open(scratch.File("missing.fdb"));
  ExpectFailedOpen(*form, boxes, "No such file or directory");
  EXPECT_FALSE(form->pFIBDatabase->Connected());
  EXPECT_FALSE(form->Roba->Active());
  EXPECT_FALSE(form->qryExtraData->Active());
  EXPECT_EQ(form->DBGrid3->RowCount(), 0);
  EXPECT_EQ(form->DBGrid4->RowCount(), 0);
  boxes.Boxes.clear();
  Open(path);
  EXPECT_TRUE(boxes.Boxes.empty());
  ExpectOpen(*form);
  EXPECT_EQ(Column(form->DBGrid3, "KATBRPRO"), "0007|1012|123");
}

// Every bad target gives the one box, both transfers disabled and a usable
// window, quickly; a good path opens afterwards.
TEST_F(TargetTest, BadTargets) {
  fibtest::TScratchDir scratch;
  const std::string good = CreateTarget(scratch, kTarget);
  const std::string noDate = CreateTarget(scratch, "ALTER TABLE ROBA DROP DATUM_ISPORUKE;", "nodate.fdb");
  const std::string noSif = CreateTarget(scratch, "DROP TABLE EXTRA_DATA_SIF;", "nosif.fdb");
  const std::string extraColumn =
      CreateTarget(scratch, "ALTER TABLE ROBA ADD NOVA_KOLONA INTEGER;" + Article(1, "1", "0001", "A"), "extra.fdb");
  const std::string text = scratch.File("text.fdb");
  {
    std::ofstream out(text);
    for (int i = 0; i < 500; ++i) out << "not a Firebird database\n";
  }
  const std::string empty = scratch.File("empty.fdb");
  std::ofstream{empty};
  const TRefusingPort noServer;

  const struct {
    const char* what;
    std::string path;
    const char* reason;
    bool robaStaysOpen = false;
  } cases[] = {
      {"missing file", scratch.File("missing.fdb"), "No such file or directory"},
      {"a folder", scratch.Path(), "Is a directory"},
      {"empty path", "", "Database name is missing"},
      {"a text file", text, "is not a valid database"},
      {"an empty file", empty, "File size is less than expected"},
      {"ROBA without DATUM_ISPORUKE", noDate, "DATUM_ISPORUKE"},
      // qryEDSif fails after Roba and qryExtraData opened; they stay open.
      {"no EXTRA_DATA_SIF", noSif, "EXTRA_DATA_SIF", true},
      {"no server on the port", "localhost/" + std::to_string(noServer.Port()) + ":" + good, "network request"},
  };
  Create();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.Boxes.clear();
    // Each fails at once (well under a second even on a loaded machine);
    // the limit tells a hang, such as a wait for the client's 180-second
    // connect timeout, from a slow run.
    const auto start = std::chrono::steady_clock::now();
    Open(c.path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    ExpectFailedOpen(*form, boxes, c.reason);
    EXPECT_EQ(form->Roba->Active(), c.robaStaysOpen);
    EXPECT_FALSE(form->qryEDSif->Active());
  }

  // A ROBA with a column more opens; the column is not reachable.
  boxes.Boxes.clear();
  Open(extraColumn);
  EXPECT_TRUE(boxes.Boxes.empty());
  ExpectOpen(*form);
  EXPECT_EQ(form->Roba->FindField("NOVA_KOLONA"), nullptr);
  EXPECT_EQ(form->DBGrid3->RowCount(), 1);

  // Blanks around a path are kept: the database name is the text as typed.
  boxes.Boxes.clear();
  Open("  " + good + " ");
  EXPECT_EQ(form->pFIBDatabase->DBName(), "  " + good + " ");

  boxes.Boxes.clear();
  Open(good);
  EXPECT_TRUE(boxes.Boxes.empty());
  ExpectOpen(*form);
}

// Moving through DBGrid3 with the keyboard re-runs the detail query once per
// row passed; DBGrid4 follows the current article.
TEST_F(TargetTest, KeyboardMovesRefreshTheDetailOncePerRow) {
  fibtest::TScratchDir scratch;
  const std::string path = CreateTarget(scratch, kTarget);
  Create();
  form->Show();
  Open(path);
  ExpectOpen(*form);
  OpenCounter details(form->qryExtraData);
  QTest::keyClick(form->DBGrid3->View(), Qt::Key_Down);
  EXPECT_EQ(details.opens, 1);
  EXPECT_EQ(form->RobaROBAID->AsInteger(), 1);
  EXPECT_EQ(Column(form->DBGrid4, "VREDNOST"), "Hemikal Čačak");
  QTest::keyClick(form->DBGrid3->View(), Qt::Key_Down);
  EXPECT_EQ(details.opens, 2);
  EXPECT_EQ(Column(form->DBGrid4, "VREDNOST"), "Boje Šabac");
  // On the last row: nothing moves; the first try reports the end once
  // (a scroll of no rows), a further one nothing.
  QTest::keyClick(form->DBGrid3->View(), Qt::Key_Down);
  EXPECT_EQ(details.opens, 3);
  QTest::keyClick(form->DBGrid3->View(), Qt::Key_Down);
  EXPECT_EQ(details.opens, 3);
  EXPECT_EQ(form->RobaROBAID->AsInteger(), 2);
  QTest::keyClick(form->DBGrid3->View(), Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(details.opens, 4);
  EXPECT_EQ(form->RobaROBAID->AsInteger(), 4);
  EXPECT_EQ(Column(form->DBGrid4, "REDOSLED"), "1|2|3");
}

// The demo target database opens on the demo source: its articles of kinds
// 1 and 3, the first one (catalogue number 7) with its two rows.
TEST_F(TargetTest, DemoTarget) {
  fibtest::TScratchDir scratch;
  std::ifstream in(DEMO_TARGET_SQL);
  const std::string demo((std::istreambuf_iterator<char>(in)), {});
  const std::string path = CreateTarget(scratch, demo);
  Create();
  Open(path);
  EXPECT_TRUE(boxes.Boxes.empty());
  ExpectOpen(*form);
  EXPECT_EQ(form->RobaKATBRPRO->AsString(), "0007");
  EXPECT_EQ(Column(form->DBGrid4, "NAZIV"), "Proizvođač|Rok trajanja");
  form->Roba->Last();
  EXPECT_EQ(form->Roba->RecordCount(), 50);
  form->qryEDSif->Last();
  EXPECT_EQ(form->qryEDSif->RecordCount(), 12);
}

// Through a Firebird server started for the test: "localhost/<port>:<file>"
// opens; a refused login gives the box.
TEST_F(TargetTest, ThroughAServer) {
  fibtest::TPrivateServer server("m");
  if (!server.Running()) GTEST_SKIP() << server.Failure();
  const std::string remote = server.Remote("target.fdb");
  const std::string prefix = "127.0.0.1/";
  ASSERT_EQ(remote.rfind(prefix, 0), 0u);
  const std::string path = "localhost/" + remote.substr(prefix.size());
  // The private server has no WIN1250 module: a database of character set
  // NONE, compared on its ASCII columns.
  const std::string output = fibtest::RunIsql(TargetScript(path, kTarget, "m", "NONE"));
  ASSERT_EQ(output, "");
  Create();
  Open(path);
  EXPECT_TRUE(boxes.Boxes.empty());
  ExpectOpen(*form);
  EXPECT_EQ(Column(form->DBGrid3, "KATBRPRO"), "0007|1012|123");
  EXPECT_EQ(Column(form->DBGrid4, "EDID"), "2|1|9");

  // While the server holds the file, the embedded engine cannot open it:
  // the box says another program holds it.
  {
    TpFIBDatabase holder;
    holder.SetDBName(path);
    holder.DBParams().Assign(TStrings({"user_name=SYSDBA", "password=m"}));
    holder.Open();
    Open(remote.substr(remote.find(':') + 1));
    ExpectFailedOpen(*form, boxes, "Database already opened with engine instance");
    EXPECT_NE(boxes.Boxes[0].Text.find("Drugi program"), std::string::npos) << boxes.Boxes[0].Text;
    boxes.Boxes.clear();
  }

  // SYSDBA's password changes: the tool's login is refused.
  EXPECT_EQ(RunSql(path, "ALTER USER SYSDBA PASSWORD 'drugi';"), "");
  Open(path);
  ExpectFailedOpen(*form, boxes, "user name and password");
  EXPECT_FALSE(form->pFIBDatabase->Connected());
}
