// The two transfers end to end through the window's buttons: generated
// Access files, target databases on the embedded engine, the rows stored
// and the error list compared line by line.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "TargetFixture.h"

using namespace apptest;

namespace {

std::vector<std::string> ErrorLines(TForm6& form) { return form.lbErr->Items().Lines(); }

// Each transfer's last progress report, the window's own display fed too.
struct LastReports {
  explicit LastReports(TForm6& form) {
    form.OnTransferProgress = [this, window = form.OnTransferProgress](const TForm6::TTransferProgress& p) {
      (p.transfer == TForm6::TTransferProgress::tkArticles ? articles : markings) = p;
      if (window) window(p);
    };
  }
  // "read found notFound skipped refused written" of the articles,
  // "read written refused" of the markings.
  std::string Articles() const {
    const auto& a = articles;
    return Join({a.read, a.found, a.notFound, a.skipped, a.refused, a.rowsWritten});
  }
  std::string Markings() const { return Join({markings.read, markings.rowsWritten, markings.refused}); }
  static std::string Join(std::initializer_list<int> figures) {
    std::string text;
    for (int f : figures) text += (text.empty() ? "" : " ") + std::to_string(f);
    return text;
  }
  TForm6::TTransferProgress articles, markings;
};

// EXTRA_DATA as "VRDOK BRDOK EDID VREDNOST REDOSLED" lines, by article and
// definition; a null value shows as <null>.
std::vector<std::string> ExtraDataRows(const std::string& database) {
  return QueryRows(database,
                   "SELECT VRDOK || ' ' || BRDOK || ' ' || EDID || ' ' || COALESCE(VREDNOST, '<null>') || ' ' || "
                   "REDOSLED FROM EXTRA_DATA ORDER BY BRDOK, EDID");
}

Jet4Value Text(const char* s) { return s ? Jet4Value(std::string(s)) : Jet4Value(Jet4Null); }

// TABELA1 with the columns the definitions name; one row per entry.
struct SourceRow {
  const char* katBroj;
  const char* maker;
  const char* temperature;
  const char* sign1;
  const char* sign2;
  std::string use;
};

Jet4Table Tabela1(const std::vector<SourceRow>& rows) {
  Jet4Table t{"TABELA1",
              {{"ID", Jet4Type::LongInteger, 0, true},
               {"KAT_BROJ", Jet4Type::Text, 20},
               {"PROIZVODJAC", Jet4Type::Text, 50},
               {"TEMPERATURA_SKLADISTENJA", Jet4Type::Text, 60},
               {"ZNAK_1", Jet4Type::Text, 10},
               {"ZNAK_2", Jet4Type::Text, 10},
               {"NAMENA", Jet4Type::Text, 200}}};
  for (const SourceRow& r : rows)
    t.rows.push_back({Jet4Null, Text(r.katBroj), Text(r.maker), Text(r.temperature), Text(r.sign1), Text(r.sign2),
                      Text(r.use.c_str())});
  return t;
}

Jet4Table Znak() {
  Jet4Table t{"ZNAK", {{"id_znak_tabela1", Jet4Type::LongInteger}, {"naziv", Jet4Type::Text, 100}}};
  t.rows.push_back({std::int64_t{2}, std::string("Zapaljivo")});
  t.rows.push_back({std::int64_t{7}, std::string("Uzvičnik")});
  return t;
}

Jet4Table HPOznake(const std::vector<std::pair<const char*, const char*>>& rows) {
  Jet4Table t{"HPOznake", {{"id", Jet4Type::Text, 20}, {"naziv", Jet4Type::Text, 255}}};
  for (const auto& [id, naziv] : rows) t.rows.push_back({Text(id), Text(naziv)});
  return t;
}

const std::string kLongUse(120, 'n');

// Articles 0007 (3), 1012 (1), 123 (REP, 2), AB12345 (4) and a service; the
// definitions of articles name the temperature rule, a sign with and one
// without the sign rule (lower case), the temperature column by its full
// name and a long text; AB12345 already has the row of definition 3.
const std::string kTarget =
    "ALTER TABLE EXTRA_DATA_SIF ALTER ET_FIELD TYPE VARCHAR(30);\n" + Article(1, "1012", "1012", "Boja za drvo") +
    Article(2, "0123", "123", "Sprej", 3, "REP") + Article(3, "7", "0007", "Četka") +
    Article(4, "AB12345", "AB12345", "Kit") + Article(5, "12", "0012", "Usluga", 2) +
    Definition(-2, 1, "Proizvođač", "PROIZVODJAC", 1) + Definition(-2, 2, "Temperatura", "TEMPERATURA_SKLADIST", 2) +
    Definition(-2, 3, "Znak 1", "ZNAK_1", 3) + Definition(-2, 4, "Znak 2", "znak_2", 4) +
    Definition(-2, 5, "Temperatura puna", "TEMPERATURA_SKLADISTENJA", 5) + Definition(-2, 6, "Namena", "NAMENA", 6) +
    Definition(-1, 1, "Dokument", "PROIZVODJAC", 1) + ExtraData(-2, 3, 4, "ranije", 3);

const std::vector<SourceRow> kSource = {
    {nullptr, "bez broja", "", "0", "0", ""},
    {"0123", "Boje Šabac", "+5 °C", "2", "0", kLongUse},
    {"1012", "Hemikal", "do +25 °C", "0", "7", "drvo"},
    {"12", "nema artikla", "", "0", "0", ""},
    {"7", "Ćuprija Lak", "", "99", "0", ""},
    {"AB12345", "Kemoplast", "suvo", "2", "2", ""},
};

}  // namespace

// Catalogue numbers into key and group.
TEST(CatalogueNumber, Normalisation) {
  const struct {
    std::string number, key, group;
  } cases[] = {
      {"7", "0007", "GP"},       {"123", "0123", "GP"},   {"1234", "1234", "GP"}, {"AB12345", "AB12345", "GP"},
      {"0123", "123", "REP"},    {"007", "07", "REP"},    {"0", "", "REP"},       {" 12", "0 12", "GP"},
      {"01235", "1235", "REP"},  {"75", "0075", "GP"},
  };
  for (const auto& c : cases) {
    const TForm6::TCatalogueKey k = TForm6::NormaliseCatalogueNumber(c.number);
    EXPECT_EQ(k.key, c.key) << c.number;
    EXPECT_EQ(k.group, c.group) << c.number;
  }
}

// "Prepisi u artile": a row per definition and found article, the sign and
// temperature rules, the not-found and write-failure lines; the detail query
// re-runs once, twice or three times per source row. A second press is
// refused row by row and changes nothing.
TEST_F(TargetTest, ArticleTransfer) {
  UseSource({Tabela1(kSource), Znak(), HPOznake({})});
  const std::string path = CreateTarget(dir, kTarget);
  Create();
  Open(path);
  ASSERT_TRUE(form->Button1->Enabled());
  int detailRuns = 0;
  form->qryExtraData->AfterOpen = [&](TDataSet*) { ++detailRuns; };
  // Right after the last source row (AB12345, refused at its third
  // definition) the refused row is gone, not pending in the detail grid.
  std::vector<TDataSetState> detailAfterRow;
  form->OnTransferProgress = [&, window = form->OnTransferProgress](const TForm6::TTransferProgress& p) {
    if (p.done > 0 && !p.finished) detailAfterRow.push_back(form->qryExtraData->State());
    window(p);
  };
  form->Button1->Click();
  EXPECT_TRUE(boxes.Boxes.empty());
  // 0123's use is 120 characters, the column holds 100: written cut, and said.
  EXPECT_EQ(ErrorLines(*form),
            (std::vector<std::string>{"Izmenjena vrednost: 0123 (Namena, EDID 6): EXTRA_DATA.VREDNOST: skraceno sa 120 "
                                      "na 100 znakova (izgubljeno: '" + std::string(20, 'n') + "')",
                                      "Ne postoji: GP: 0012", "Greska 2: AB12345"}));
  ASSERT_FALSE(detailAfterRow.empty());
  EXPECT_EQ(detailAfterRow.back(), dsBrowse);
  // From 0007: 0123 (another article: 3), 1012 (3), 12 (not found: 1), 7 (3),
  // AB12345 (3), and once more at the end for the names the join brings.
  EXPECT_EQ(detailRuns, 14);
  EXPECT_EQ(Column(form->DBGrid4, "EDID"), "1|2|3");
  EXPECT_EQ(Column(form->DBGrid4, "NAZIV"), "Proizvođač|Temperatura|Znak 1");
  EXPECT_EQ(form->RobaKATBRPRO->AsString(), "AB12345");
  EXPECT_EQ(form->qryEDSif->RecNo(), 3);  // stopped at the refused definition

  const std::string use100(100, 'n');
  form.reset();  // the embedded engine lets one process at a time at the file
  const std::vector<std::string> stored = {
      "-2 1 1 Hemikal 1",
      "-2 1 2 do +25 °C 2",
      "-2 1 3 <null> 3",       // ZNAK_1 "0": no sign
      "-2 1 4 7 4",            // znak_2: the raw column, untranslated
      "-2 1 5 do +25 °C 5",
      "-2 1 6 drvo 6",
      "-2 2 1 Boje Šabac 1",
      "-2 2 2 +5 °C 2",
      "-2 2 3 Zapaljivo 3",
      "-2 2 4 0 4",            // no "0" rule either
      "-2 2 5 +5 °C 5",
      "-2 2 6 " + use100 + " 6",  // cut at the column's length
      "-2 3 1 Ćuprija Lak 1",
      "-2 3 2 <null> 2",
      "-2 3 3 99 3",           // not in ZNAK: the identifier
      "-2 3 4 0 4",
      "-2 3 5 <null> 5",
      "-2 3 6 <null> 6",
      "-2 4 1 Kemoplast 1",
      "-2 4 2 suvo 2",
      "-2 4 3 ranije 3",       // there before; the transfer's row was refused
  };
  EXPECT_EQ(ExtraDataRows(path), stored);

  // Again: every found article's first row is refused.
  Create();
  Open(path);
  form->Button1->Click();
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(ErrorLines(*form), (std::vector<std::string>{"Greska 2: 0123", "Greska 2: 1012", "Ne postoji: GP: 0012",
                                                         "Greska 2: 7", "Greska 2: AB12345"}));
  form.reset();
  EXPECT_EQ(ExtraDataRows(path), stored);
}

// Without a key on EXTRA_DATA: two source rows of one article both write
// their rows, a second press writes everything again, and the error list
// keeps the lines of both presses.
TEST_F(TargetTest, ArticleTransferTwiceWithoutKey) {
  UseSource({Tabela1({{"7", "A", "t", "2", "0", ""}, {"7", "B", "t", "0", "0", ""}, {"9", "C", "", "0", "0", ""}}),
             Znak(), HPOznake({})});
  const std::string path = CreateTarget(dir, "ALTER TABLE EXTRA_DATA DROP CONSTRAINT PK_EXTRA_DATA;\n" +
                                                 Article(3, "7", "0007", "Četka") +
                                                 Definition(-2, 1, "Proizvođač", "PROIZVODJAC", 1) +
                                                 Definition(-2, 3, "Znak 1", "ZNAK_1", 2));
  Create();
  Open(path);
  form->Button1->Click();
  form->Button1->Click();
  EXPECT_EQ(ErrorLines(*form), (std::vector<std::string>{"Ne postoji: GP: 0009", "Ne postoji: GP: 0009"}));
  form.reset();
  const std::vector<std::string> once = {"-2 3 1 A 1", "-2 3 1 B 1", "-2 3 3 Zapaljivo 2", "-2 3 3 <null> 2"};
  std::vector<std::string> rows = ExtraDataRows(path);
  std::sort(rows.begin(), rows.end());
  std::vector<std::string> twice;
  for (const std::string& r : once) twice.insert(twice.end(), {r, r});
  std::sort(twice.begin(), twice.end());
  EXPECT_EQ(rows, twice);
}

// Definitions naming columns TABELA1 lacks (one unknown, one empty) stop
// the run before its first row: the box names every missing column at
// once, nothing is written and no line added.
TEST_F(TargetTest, ArticleTransferStopsOnAMissingColumn) {
  UseSource({Tabela1({{"1012", "A", "", "0", "0", ""}, {"7", "B", "", "0", "0", ""}}), Znak(), HPOznake({})});
  const std::string path = CreateTarget(dir, Article(1, "1012", "1012", "Boja") + Article(3, "7", "0007", "Četka") +
                                                 Definition(-2, 1, "Proizvođač", "PROIZVODJAC", 1) +
                                                 Definition(-2, 2, "Pogresna", "NEMA_KOLONE", 2) +
                                                 Definition(-2, 3, "Prazna", "", 3));
  Create();
  Open(path);
  form->Button1->Click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text,
            "qryAccPodaci: Field 'NEMA_KOLONE' not found.\nqryAccPodaci: Field '' not found.");
  EXPECT_TRUE(ErrorLines(*form).empty());
  EXPECT_TRUE(form->Button1->Enabled());
  form.reset();
  EXPECT_TRUE(ExtraDataRows(path).empty());
}

// "Prepisi HP oznake": every marking copied in order; a null text stops the
// run with the conversion error; the next press does not post the failed
// half-filled row, starts over and is refused at the first marking.
TEST_F(TargetTest, MarkingTransfer) {
  UseSource({Tabela1({}), Znak(),
             HPOznake({{"H225", "Lako zapaljiva tečnost i para."}, {"P102", "Čuvati van domašaja dece."},
                       {"H226", nullptr}, {"H304", "Može biti smrtonosno."}})});
  const std::string path = CreateTarget(dir, "");
  Create();
  Open(path);
  LastReports reports(*form);
  form->Button2->Click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "Could not convert variant of type (Null) into type (String)");
  EXPECT_EQ(reports.Markings(), "3 2 1");
  EXPECT_TRUE(form->qryEDHiP->Active());
  EXPECT_EQ(form->qryEDHiP->State(), dsBrowse);
  EXPECT_EQ(form->qryAccHPOznake->FieldByName("id")->AsString(), "H226");

  boxes.Boxes.clear();
  form->Button2->Click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_NE(boxes.Boxes[0].Text.find("PK_EXTRA_DATA_OZNAKE"), std::string::npos) << boxes.Boxes[0].Text;
  EXPECT_TRUE(ErrorLines(*form).empty());
  EXPECT_EQ(reports.Markings(), "1 0 1");  // the refused first marking was read
  form.reset();
  EXPECT_EQ(QueryRows(path, "SELECT ID || ' ' || COALESCE(NAZIV, '<null>') FROM EXTRA_DATA_OZNAKE ORDER BY ID"),
            (std::vector<std::string>{"H225 Lako zapaljiva tečnost i para.", "P102 Čuvati van domašaja dece."}));
}

// A full copy, and an empty marking table that only opens qryEDHiP.
TEST_F(TargetTest, MarkingTransferCopiesAll) {
  UseSource({Tabela1({}), Znak(), HPOznake({{"P501", "Odložiti sadržaj."}, {"EUH066", std::string(255, 'x').c_str()}})});
  const std::string path = CreateTarget(dir, "");
  Create();
  Open(path);
  form->Button2->Click();
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(form->qryEDHiP->State(), dsBrowse);
  EXPECT_EQ(ErrorLines(*form), std::vector<std::string>{"Izmenjena vrednost: HP oznaka EUH066: EXTRA_DATA_OZNAKE.NAZIV: "
                                                        "skraceno sa 255 na 250 znakova (izgubljeno: 'xxxxx')"});
  form.reset();
  EXPECT_EQ(QueryRows(path, "SELECT ID || ' ' || NAZIV FROM EXTRA_DATA_OZNAKE ORDER BY ID"),
            (std::vector<std::string>{"EUH066 " + std::string(250, 'x'), "P501 Odložiti sadržaj."}));

  fibtest::TScratchDir scratch;
  UseSource({Tabela1({}), Znak(), HPOznake({})});
  const std::string empty = CreateTarget(scratch, "");
  Create();
  Open(empty);
  form->Button2->Click();
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_TRUE(form->qryEDHiP->Active());
  EXPECT_TRUE(form->qryEDHiP->IsEmpty());
}

// The demo's whole road: the demo Access file and the demo target, "Otvori",
// both transfers; the error list and the stored rows as the demo promises.
TEST_F(TargetTest, DemoRoad) {
  std::ifstream in(DEMO_TARGET_SQL);
  const std::string path = CreateTarget(dir, std::string((std::istreambuf_iterator<char>(in)), {}));
  Create();
  Open(path);
  LastReports reports(*form);
  form->Button1->Click();
  form->Button2->Click();
  EXPECT_TRUE(boxes.Boxes.empty());
  // 50 rows: 46 articles found, 3 not, one without a catalogue number
  // skipped (no line); the refused one of the found stops at its first row.
  EXPECT_EQ(reports.Articles(), "50 46 3 1 1 540");
  std::string perDefinition;
  for (const auto& d : reports.articles.writtenPerDefinition)
    perDefinition += std::to_string(d.edid) + ":" + std::to_string(d.rows) + " ";
  EXPECT_EQ(perDefinition, "1:45 2:45 3:45 4:45 5:45 6:45 7:45 8:45 9:45 10:45 11:45 12:45 ");
  EXPECT_EQ(reports.Markings(), "25 25 0");
  // Three catalogue numbers without an article of kind 1 or 3; the article
  // with catalogue number 7 already has the first definition's row.
  EXPECT_EQ(ErrorLines(*form), (std::vector<std::string>{"Ne postoji: GP: 20025", "Ne postoji: GP: 3401",
                                                         "Ne postoji: GP: 34015", "Greska 2: 7"}));
  form.reset();
  // 45 articles with 12 rows each, and the three rows there before.
  EXPECT_EQ(QueryRows(path, "SELECT COUNT(*) FROM EXTRA_DATA"), std::vector<std::string>{"543"});
  EXPECT_EQ(QueryRows(path, "SELECT COUNT(*) FROM EXTRA_DATA_OZNAKE"), std::vector<std::string>{"25"});
  // Sprej boja crvena 0,75 l (0123): signs 2 and 7 by name, no third sign.
  EXPECT_EQ(QueryRows(path, "SELECT EDID || ' ' || COALESCE(VREDNOST, '<null>') FROM EXTRA_DATA "
                            "WHERE VRDOK = -2 AND BRDOK = 22 AND EDID IN (1, 3, 8, 9, 10) ORDER BY EDID"),
            (std::vector<std::string>{"1 Boje Šabac", "3 do +50 °C, ne bušiti ni spaljivati", "8 Zapaljivo",
                                      "9 Uzvičnik - nadražujuće", "10 <null>"}));
  // Čistač četkica 2,5 l (AB12345): a third sign the ZNAK table lacks.
  EXPECT_EQ(QueryRows(path, "SELECT VREDNOST FROM EXTRA_DATA WHERE BRDOK = 46 AND EDID = 10"),
            std::vector<std::string>{"12"});
}

// Through a Firebird server that dies in the middle of "Prepisi u artile":
// the error box with the client's message, the rows committed before stored
// once, a usable window; once the server is back, "Otvori" and a new press
// work and store nothing twice.
TEST_F(TargetTest, ServerKilledDuringTheArticleTransfer) {
  fibtest::TPrivateServer server("m");
  if (!server.Running()) GTEST_SKIP() << server.Failure();
  UseSource({Tabela1({{"1012", "A", "t1", "2", "0", ""}, {"7", "B", "t2", "7", "0", ""},
                      {"AB12345", "C", "t3", "0", "0", ""}}),
             Znak(), HPOznake({})});
  const std::string remote = server.Remote("target.fdb");
  const std::string path = "localhost/" + remote.substr(remote.find('/') + 1);
  // The private server has no WIN1250 module: character set NONE.
  ASSERT_EQ(fibtest::RunIsql(TargetScript(path,
                                          Article(1, "1012", "1012", "A") + Article(3, "7", "0007", "B") +
                                              Article(4, "AB12345", "AB12345", "C") +
                                              Definition(-2, 1, "Proizvodjac", "PROIZVODJAC", 1) +
                                              Definition(-2, 2, "Temperatura", "TEMPERATURA_SKLADIST", 2) +
                                              Definition(-2, 3, "Znak 1", "ZNAK_1", 3),
                                          "m", "NONE")),
            "");
  Create();
  Open(path);
  ASSERT_TRUE(form->Button1->Enabled());
  // The server dies right after the fourth row (the first of article 7).
  int posts = 0;
  form->qryExtraData->AfterPost = [&](TDataSet*) {
    if (++posts == 4) server.Kill();
  };
  form->Button1->Click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_FALSE(boxes.Boxes[0].Text.empty());
  EXPECT_EQ(ErrorLines(*form), std::vector<std::string>{"Greska 2: 7"});
  EXPECT_TRUE(form->Button3->Enabled());

  // Every further press on the lost connection says so.
  for (TButton* button : {form->Button1, form->Button2}) {
    SCOPED_TRACE(button->Caption());
    boxes.Boxes.clear();
    const int lines = form->lbErr->Items().Count();
    button->Click();
    EXPECT_TRUE(boxes.Boxes.size() == 1 || form->lbErr->Items().Count() > lines);
  }

  // Server down: "Otvori" fails; back up: it works.
  boxes.Boxes.clear();
  Open(path);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text.substr(0, boxes.Boxes[0].Text.find('\n')), "Greska pri otvaranju data setova");
  EXPECT_FALSE(form->Button1->Enabled());
  ASSERT_TRUE(server.Restart()) << server.Failure();
  boxes.Boxes.clear();
  Open(path);
  EXPECT_TRUE(boxes.Boxes.empty());
  ASSERT_TRUE(form->Button1->Enabled());
  const std::vector<std::string> before = {"-2 1 1 A 1", "-2 1 2 t1 2", "-2 1 3 Zapaljivo 3", "-2 3 1 B 1"};
  EXPECT_EQ(ExtraDataRows(path), before);

  form->qryExtraData->AfterPost = nullptr;
  form->Button1->Click();
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(ErrorLines(*form), (std::vector<std::string>{"Greska 2: 7", "Greska 2: 1012", "Greska 2: 7"}));
  std::vector<std::string> after = before;
  after.insert(after.end(), {"-2 4 1 C 1", "-2 4 2 t3 2", "-2 4 3 <null> 3"});
  EXPECT_EQ(ExtraDataRows(path), after);
  form.reset();
}

// Values the target would store changed (cut to the column's length in
// characters, or characters WIN1250 cannot hold): each gives a line naming
// the article or marking, the column and what was lost, and its row is
// still written; values that fit give none. With StrictValues the row is
// refused instead: "Greska 2" for an article, the box for a marking.
TEST_F(TargetTest, ChangedValuesAreListed) {
  UseSource(LossySource());
  std::vector<std::string> lines, strictLines;
  for (const TLossyValue& v : LossyValues())
    if (!v.line.empty()) {
      lines.push_back(v.line);
      strictLines.insert(strictLines.end(), {v.line, "Greska 2: " + v.katbr});
    }
  for (const TLossyValue& m : LossyMarkings())
    if (!m.line.empty()) lines.push_back(m.line);

  const std::string path = CreateTarget(dir, LossyTarget());
  Create();
  Open(path);
  form->Button1->Click();
  form->Button2->Click();
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(ErrorLines(*form), lines);
  form.reset();
  EXPECT_EQ(QueryRows(path, "SELECT COUNT(*) FROM EXTRA_DATA"), std::vector<std::string>{"5"});
  EXPECT_EQ(QueryRows(path, "SELECT VREDNOST FROM EXTRA_DATA WHERE BRDOK = 2"),
            std::vector<std::string>{"??????? ?????"});
  EXPECT_EQ(QueryRows(path, "SELECT COUNT(*) FROM EXTRA_DATA_OZNAKE"), std::vector<std::string>{"3"});

  fibtest::TScratchDir scratch;
  const std::string strict = CreateTarget(scratch, LossyTarget());
  Create();
  form->StrictValues = true;
  Open(strict);
  form->Button1->Click();
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(ErrorLines(*form), strictLines);
  form->Button2->Click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, LossyMarkings()[0].line);
  EXPECT_EQ(form->qryEDHiP->State(), dsBrowse);
  form.reset();
  EXPECT_EQ(QueryRows(strict, "SELECT BRDOK FROM EXTRA_DATA"), std::vector<std::string>{"4"});
  EXPECT_EQ(QueryRows(strict, "SELECT COUNT(*) FROM EXTRA_DATA_OZNAKE"), std::vector<std::string>{"0"});
}
