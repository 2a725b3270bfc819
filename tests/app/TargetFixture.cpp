// Target databases and the window for the target-side tests.
#include "TargetFixture.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "jet4/Jet4Demo.h"

namespace fs = std::filesystem;

namespace apptest {

namespace {

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// The demo Access file, written once; every test starts the window in it.
const std::string& SourceFolder() {
  static const std::string folder = [] {
    const std::string path = fibtest::ProcessTempDir() + "/source";
    fs::create_directories(path);
    WriteJet4File(path + "/VT2003.mdb", Jet4DemoTables());
    return path;
  }();
  return folder;
}

}  // namespace

std::string TargetScript(const std::string& path, const std::string& sql, const std::string& password,
                         const std::string& charset) {
  return "SET SQL DIALECT 3;\nSET NAMES UTF8;\nCREATE DATABASE " + Quoted(path) + " USER 'SYSDBA' PASSWORD " +
         Quoted(password) + " DEFAULT CHARACTER SET " + charset + ";\nINPUT " + Quoted(TARGET_TABLES_SQL) +
         ";\nCOMMIT;\n" + sql + "\nCOMMIT;\n";
}

std::string CreateTarget(const fibtest::TScratchDir& dir, const std::string& sql, const std::string& name) {
  const std::string path = dir.File(name);
  const std::string output = fibtest::RunIsql(TargetScript(path, sql));
  if (!fs::exists(path) || !output.empty())
    throw std::runtime_error("creating the target database " + path + " failed: " + output);
  return path;
}

std::string RunSql(const std::string& database, const std::string& sql, const std::string& password) {
  return fibtest::RunIsql("SET NAMES UTF8;\nCONNECT " + Quoted(database) + " USER 'SYSDBA' PASSWORD " +
                          Quoted(password) + ";\n" + sql + "\nCOMMIT;\n");
}

std::vector<std::string> QueryRows(const std::string& database, const std::string& select) {
  const std::string output = RunSql(database, "SET HEADING OFF;\n" + select + ";");
  std::vector<std::string> rows;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    line.erase(0, line.find_first_not_of(' '));
    if (!line.empty()) rows.push_back(line);
  }
  return rows;
}

std::string Article(int id, const std::string& katbr, const std::string& katbrpro, const std::string& name,
                    int vrsta, const std::string& group) {
  return "INSERT INTO ROBA (ROBAID, KATBR, KATBRPRO, NAZIV, VRSTA, AKTIVNA, GRUPAID) VALUES (" +
         std::to_string(id) + ", " + Quoted(katbr) + ", " + Quoted(katbrpro) + ", " + Quoted(name) + ", " +
         std::to_string(vrsta) + ", 1, " + Quoted(group) + ");\n";
}

std::string Definition(int vrdok, int edid, const std::string& name, const std::string& field, int order) {
  return "INSERT INTO EXTRA_DATA_SIF (VRDOK, EDID, NAZIV, ET_FIELD, REDOSLED) VALUES (" + std::to_string(vrdok) +
         ", " + std::to_string(edid) + ", " + Quoted(name) + ", " + Quoted(field) + ", " + std::to_string(order) +
         ");\n";
}

std::string ExtraData(int vrdok, int edid, int brdok, const std::string& value, int order) {
  return "INSERT INTO EXTRA_DATA (VRDOK, EDID, BRDOK, VREDNOST, REDOSLED) VALUES (" + std::to_string(vrdok) + ", " +
         std::to_string(edid) + ", " + std::to_string(brdok) + ", " + Quoted(value) + ", " +
         std::to_string(order) + ");\n";
}

void TargetTest::SetUpTestSuite() { SourceFolder(); }

void TargetTest::SetUp() {
  m_saved = fs::current_path();
  fs::current_path(SourceFolder());
}

void TargetTest::TearDown() {
  form.reset();
  fs::current_path(m_saved);
}

void TargetTest::UseSource(const std::vector<Jet4Table>& tables) {
  const std::string folder = dir.File("source");
  fs::create_directories(folder);
  WriteJet4File(folder + "/VT2003.mdb", tables);
  fs::current_path(folder);
}

void TargetTest::Create() {
  form = std::make_unique<TForm6>(nullptr);
  ASSERT_TRUE(boxes.Boxes.empty()) << boxes.Boxes[0].Text;
}

void TargetTest::Open(const std::string& path) {
  form->edtBaza->SetText(path);
  form->Button3->Click();
}

const std::vector<TLossyValue>& LossyValues() {
  static const std::vector<TLossyValue> values = [] {
    std::string memo;
    while (memo.size() < 8000) memo += "abcdefghij";
    const std::string head = "Izmenjena vrednost: ";
    auto line = [&](const std::string& katbr, const std::string& change) {
      return head + katbr + " (Opis, EDID 1): EXTRA_DATA.VREDNOST: " + change;
    };
    const std::string lostMemo = "abcdefghijabcdefghijabcdefghij";
    return std::vector<TLossyValue>{
        {"a memo of 8000 characters", "1001", memo,
         line("1001", "skraceno sa 8000 na 100 znakova (izgubljeno: '" + lostMemo + "...')")},
        {"Cyrillic", "1002", "Хемикал Чачак",
         line("1002", "12 znakova van skupa WIN1250 zamenjeno sa '?' (U+0425, U+0435, U+043C, U+0438, U+043A, "
                      "U+0430, U+043B, U+0427, U+0430, U+0447, ...)")},
        {"Greek and an emoji", "1003", "Ωμέγα 😀",
         line("1003", "6 znakova van skupa WIN1250 zamenjeno sa '?' (U+03A9, U+03BC, U+03AD, U+03B3, U+03B1, "
                      "U+1F600)")},
        {"100 characters, Serbian letters", "1004", "Šš°" + std::string(97, 'a'), ""},
        {"cut and replaced", "1005", "Ж" + std::string(150, 'b'),
         line("1005", "skraceno sa 151 na 100 znakova (izgubljeno: '" + std::string(30, 'b') +
                          "...'); 1 znak van skupa WIN1250 zamenjeno sa '?' (U+0416)")},
    };
  }();
  return values;
}

const std::vector<TLossyValue>& LossyMarkings() {
  static const std::vector<TLossyValue> markings = {
      {"a name of 255 characters", "H1", std::string(250, 'x') + "yyyyy",
       "Izmenjena vrednost: HP oznaka H1: EXTRA_DATA_OZNAKE.NAZIV: skraceno sa 255 na 250 znakova (izgubljeno: "
       "'yyyyy')"},
      {"Cyrillic", "H2", "Опасно",
       "Izmenjena vrednost: HP oznaka H2: EXTRA_DATA_OZNAKE.NAZIV: 6 znakova van skupa WIN1250 zamenjeno sa '?' "
       "(U+041E, U+043F, U+0430, U+0441, U+043D, U+043E)"},
      {"Serbian letters", "H3", "Čuvati van domašaja dece.", ""},
  };
  return markings;
}

std::vector<Jet4Table> LossySource() {
  Jet4Table articles{"TABELA1", {{"KAT_BROJ", Jet4Type::Text, 20}, {"OPIS", Jet4Type::Memo}}};
  for (const TLossyValue& v : LossyValues()) articles.rows.push_back({v.katbr, v.value});
  Jet4Table signs{"ZNAK", {{"id_znak_tabela1", Jet4Type::LongInteger}, {"naziv", Jet4Type::Text, 100}}};
  Jet4Table markings{"HPOznake", {{"id", Jet4Type::Text, 20}, {"naziv", Jet4Type::Memo}}};
  for (const TLossyValue& m : LossyMarkings()) markings.rows.push_back({m.katbr, m.value});
  return {articles, signs, markings};
}

std::string LossyTarget() {
  std::string sql = Definition(-2, 1, "Opis", "OPIS", 1);
  int id = 0;
  for (const TLossyValue& v : LossyValues()) {
    ++id;
    sql += Article(id, v.katbr, v.katbr, v.what);
  }
  return sql;
}

std::string TargetTest::Column(TDBGrid* grid, const std::string& fieldName) {
  int column = -1;
  for (int c = 0; c < grid->ColumnCount(); ++c)
    if (grid->ShownColumn(c)->FieldName() == fieldName) column = c;
  if (column < 0) return "<no column " + fieldName + ">";
  std::string all;
  for (int r = 0; r < grid->RowCount(); ++r) all += (r ? "|" : "") + grid->CellText(r, column);
  return all;
}

}  // namespace apptest
