// "Prepisi u artile" end to end through the window's handler: a generated
// VT2003.mdb with one catalogue row per article and a target database on the
// embedded engine (forced writes off) with the articles and 8 extra-data
// definitions. One run; prints the time, rows per second and time per row.
//
//   transfer_bench [articles]      (default 5000)
#include <QtGlobal>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "jet4/Jet4Writer.h"
#include "app/Unit6.h"
#include "ui/Forms.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDefinitions = 8;

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

// TABELA1: KAT_BROJ 10000 + i (a GP number that stays as it is) and the
// columns C1..C8 the definitions name.
Jet4Table Tabela1(int articles) {
  Jet4Table t{"TABELA1", {{"ID", Jet4Type::LongInteger, 0, true}, {"KAT_BROJ", Jet4Type::Text, 20}}};
  for (int d = 1; d <= kDefinitions; ++d) t.columns.push_back({"C" + std::to_string(d), Jet4Type::Text, 40});
  for (int i = 0; i < articles; ++i) {
    std::vector<Jet4Value> row;
    row.emplace_back(std::in_place_type<std::monostate>);
    row.emplace_back(std::in_place_type<std::string>, std::to_string(10000 + i));
    for (int d = 1; d <= kDefinitions; ++d)
      row.emplace_back(std::in_place_type<std::string>, "vrednost " + std::to_string(d) + " artikla " + std::to_string(i));
    t.rows.push_back(std::move(row));
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int articles = argc > 1 ? std::atoi(argv[1]) : 5000;
  char dirTemplate[] = "/tmp/transfer-bench-XXXXXX";
  if (!mkdtemp(dirTemplate)) return 1;
  const std::string dir = dirTemplate;
  const std::string target = dir + "/target.fdb";
  fs::create_directories(dir + "/lock");
  setenv("FIREBIRD_LOCK", (dir + "/lock").c_str(), 1);

  WriteJet4File(dir + "/VT2003.mdb",
                {Tabela1(articles),
                 Jet4Table{"ZNAK", {{"id_znak_tabela1", Jet4Type::LongInteger}, {"naziv", Jet4Type::Text, 100}}},
                 Jet4Table{"HPOznake", {{"id", Jet4Type::Text, 20}, {"naziv", Jet4Type::Text, 255}}}});
  {
    std::ofstream script(dir + "/create.sql");
    script << "SET SQL DIALECT 3;\nCREATE DATABASE '" << target
           << "' USER 'SYSDBA' PASSWORD 'm' DEFAULT CHARACTER SET WIN1250;\nINPUT '" << TARGET_TABLES_SQL
           << "';\nCOMMIT;\nSET TERM ^;\nEXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN\n"
           << "  WHILE (i < " << articles << ") DO BEGIN\n"
           << "    INSERT INTO ROBA (ROBAID, KATBR, KATBRPRO, NAZIV, VRSTA, GRUPAID)\n"
           << "      VALUES (:i + 1, 10000 + :i, 10000 + :i, 'Artikal ' || :i, 1, 'GP');\n"
           << "    i = i + 1;\n  END\n  i = 1;\n  WHILE (i <= " << kDefinitions << ") DO BEGIN\n"
           << "    INSERT INTO EXTRA_DATA_SIF (VRDOK, EDID, NAZIV, ET_FIELD, REDOSLED) VALUES (-2, :i, 'D' || :i, 'C' || :i, :i);\n"
           << "    i = i + 1;\n  END\nEND^\nSET TERM ;^\nCOMMIT;\n";
  }
  if (!Run("isql-fb -q -i '" + dir + "/create.sql' > '" + dir + "/isql.log' 2>&1") ||
      fs::file_size(dir + "/isql.log") != 0 || !Run("gfix -write async '" + target + "'")) {
    std::fprintf(stderr, "creating the target failed (see %s/isql.log)\n", dir.c_str());
    return 1;
  }

  fs::current_path(dir);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int rows = 0;
  double seconds = 0;
  {
    TApplication application;
    auto form = std::make_unique<TForm6>(nullptr);
    form->edtBaza->SetText(target);
    form->Button3Click(nullptr);
    if (!form->Button1->Enabled()) {
      std::fprintf(stderr, "\"Otvori\" failed on %s\n", target.c_str());
      return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    form->Button1Click(nullptr);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rows = articles * kDefinitions - form->lbErr->Items().Count() * kDefinitions;
    if (form->lbErr->Items().Count() > 0)
      std::fprintf(stderr, "%d lines in lbErr, first: %s\n", form->lbErr->Items().Count(),
                   form->lbErr->Items()[0].c_str());
  }
  std::printf("articles %d, definitions %d, rows %d\n", articles, kDefinitions, rows);
  std::printf("Prepisi u artile: %.2f s, %.0f rows/s, %.1f us/row\n", seconds, rows / seconds, seconds * 1e6 / rows);
  fs::remove_all(dir);
  return 0;
}
