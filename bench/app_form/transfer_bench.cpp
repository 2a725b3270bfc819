// "Prepisi u artile" end to end through the window's handler: a generated
// VT2003.mdb with one catalogue row per article and a target database on the
// embedded engine (forced writes off) with the articles and 8 extra-data
// definitions, against a loop of raw client calls making the same server
// calls per article on a second, identical target: the fetches of the locate
// in the articles, the detail query re-executed three times (for the previous
// article inside the locate, for the found one when the articles move, and
// once more before the writes; twice for the first article, already current),
// then per definition an insert in a fresh update transaction, its commit and
// the refresh select in the read transaction. One run each; prints both rates
// and their ratio.
//
//   transfer_bench [articles] [--shown]      (default 5000)
//
// --shown shows the window first (offscreen unless QT_QPA_PLATFORM says
// otherwise), so the repaints during the run count as well.
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
#include "bench/RawClient.h"
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

// Creates a target with the articles and the definitions; forced writes off.
bool CreateTarget(const std::string& dir, const std::string& target, int articles) {
  const std::string sql = target + ".sql", log = target + ".log";
  {
    std::ofstream script(sql);
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
  if (!Run("isql-fb -q -i '" + sql + "' > '" + log + "' 2>&1") || fs::file_size(log) != 0 ||
      !Run("gfix -write async '" + target + "'")) {
    std::fprintf(stderr, "creating the target failed (see %s)\n", log.c_str());
    return false;
  }
  return true;
}

// The statements as the client sees them after parameter processing.
const char kRawRoba[] = "SELECT * from ROBA WHERE VRSTA IN (1,3) ORDER BY KATBRPRO";
const char kRawDetail[] =
    "SELECT ed.*, eds.naziv from EXTRA_DATA ed left join extra_data_sif eds on ed.edid = eds.edid and "
    "eds.vrdok = -2 WHERE ed.VRDOK = -2 AND ed.BRDOK = ? order by ed.redosled";
const char kRawInsert[] = "INSERT INTO EXTRA_DATA(VRDOK, EDID, BRDOK, VREDNOST, REDOSLED) VALUES(?, ?, ?, ?, ?)";
const char kRawRefresh[] =
    "SELECT * from EXTRA_DATA WHERE(  VRDOK = -2 AND BRDOK = ? ) and (     EXTRA_DATA.VRDOK = ? "
    "and EXTRA_DATA.EDID = ? and EXTRA_DATA.BRDOK = ? )";

// The raw loop on target; returns the rows written and the loop's times.
std::pair<int, rawclient::TTimes> TransferRaw(const std::string& target, int articles) {
  using namespace rawclient;
  TComponent owner;
  const TBenchConnection connection(owner, target);
  TFIBDatabase* db = connection.db;
  TFIBTransaction* readTr = connection.read;
  TFIBTransaction* writeTr = connection.write;
  readTr->StartTransaction();

  IIBClientLibrary& lib = db->ClientLibrary();
  ISC_STATUS_ARRAY st{};
  const std::string tpb = writeTr->TPB();
  struct { isc_db_handle* db; ISC_LONG length; const char* tpb; } teb{db->HandleAddress(),
                                                                   static_cast<ISC_LONG>(tpb.size()), tpb.data()};
  isc_tr_handle tr = 0;
  int rows = 0;
  TTimes times;
  {
    Check(lib, st, lib.isc_start_multiple(st, &tr, 1, &teb), "start");
    TRawStatement insert(lib, db->HandleAddress(), &tr, kRawInsert, 0);
    Check(lib, st, lib.isc_commit_transaction(st, &tr), "commit");
    isc_tr_handle* read = readTr->HandleAddress();
    TRawStatement roba(lib, db->HandleAddress(), read, kRawRoba, 100);
    TRawStatement detail(lib, db->HandleAddress(), read, kRawDetail, 10);
    TRawStatement refresh(lib, db->HandleAddress(), read, kRawRefresh, 5);

    int32_t vrdok = -2, edid = 0, brdok = 0, redosled = 0, detailBrdok = 0;
    std::string value;
    TRawParams in(5), key(4), detailKey(1);
    in.Int(0, &vrdok), in.Int(1, &edid), in.Int(2, &brdok), in.Int(4, &redosled);
    key.Int(0, &brdok), key.Int(1, &vrdok), key.Int(2, &edid), key.Int(3, &brdok);
    detailKey.Int(0, &detailBrdok);
    bool detailOpen = false;
    auto reopenDetail = [&](int32_t article) {
      if (detailOpen) Check(lib, st, lib.isc_dsql_free_statement(st, &detail.handle, DSQL_close), "close");
      detailBrdok = article;
      Check(lib, st, lib.isc_dsql_execute(st, read, &detail.handle, 3, detailKey.In()), "detail");
      detailOpen = true;
      ISC_STATUS r;
      while ((r = lib.isc_dsql_fetch(st, &detail.handle, 3, detail.Out())) == 0) {
      }
      if (r != 100) Check(lib, st, r, "detail fetch");
    };

    TStopwatch watch;
    Check(lib, st, lib.isc_dsql_execute(st, read, &roba.handle, 3, nullptr), "articles");
    int fetched = 0;
    for (int i = 0; i < articles; ++i) {
      // The locate: articles come in catalogue order, one more row each.
      while (fetched <= i) {
        Check(lib, st, lib.isc_dsql_fetch(st, &roba.handle, 3, roba.Out()), "articles fetch");
        ++fetched;
      }
      brdok = i + 1;
      reopenDetail(i == 0 ? brdok : brdok - 1);  // inside the locate, on the previous article
      if (i > 0) reopenDetail(brdok);           // the articles moved
      reopenDetail(brdok);
      for (int d = 1; d <= kDefinitions; ++d) {
        edid = redosled = d;
        value = "vrednost " + std::to_string(d) + " artikla " + std::to_string(i);
        in.Text(3, value);
        Check(lib, st, lib.isc_start_multiple(st, &tr, 1, &teb), "start");
        Check(lib, st, lib.isc_dsql_execute(st, &tr, &insert.handle, 3, in.In()), "insert");
        Check(lib, st, lib.isc_commit_transaction(st, &tr), "commit");
        Check(lib, st, lib.isc_dsql_execute(st, read, &refresh.handle, 3, key.In()), "refresh");
        Check(lib, st, lib.isc_dsql_fetch(st, &refresh.handle, 3, refresh.Out()), "refresh fetch");
        Check(lib, st, lib.isc_dsql_free_statement(st, &refresh.handle, DSQL_close), "close");
        ++rows;
      }
    }
    times = watch.Elapsed();
    if (detailOpen) lib.isc_dsql_free_statement(st, &detail.handle, DSQL_close);
    lib.isc_dsql_free_statement(st, &roba.handle, DSQL_close);
  }
  readTr->Commit();
  db->SetConnected(false);
  return {rows, times};
}

}  // namespace

int main(int argc, char** argv) {
  int articles = 5000;
  bool shown = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--shown")
      shown = true;
    else
      articles = std::atoi(argv[i]);
  }
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
  const std::string rawTarget = dir + "/raw.fdb";
  if (!CreateTarget(dir, target, articles) || !CreateTarget(dir, rawTarget, articles)) return 1;

  fs::current_path(dir);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int rows = 0;
  rawclient::TTimes tool;
  {
    TApplication application;
    auto form = std::make_unique<TForm6>(nullptr);
    if (shown) {
      form->Show();
      application.ProcessMessages();
    }
    form->edtBaza->SetText(target);
    form->Button3Click(nullptr);
    if (!form->Button1->Enabled()) {
      std::fprintf(stderr, "\"Otvori\" failed on %s\n", target.c_str());
      return 1;
    }
    const rawclient::TStopwatch watch;
    form->Button1Click(nullptr);
    tool = watch.Elapsed();
    rows = articles * kDefinitions - form->lbErr->Items().Count() * kDefinitions;
    if (form->lbErr->Items().Count() > 0)
      std::fprintf(stderr, "%d lines in lbErr, first: %s\n", form->lbErr->Items().Count(),
                   form->lbErr->Items()[0].c_str());
  }
  std::pair<int, rawclient::TTimes> raw;
  try {
    raw = TransferRaw(rawTarget, articles);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "raw loop: %s\n", e.what());
    return 1;
  }
  const double toolRate = rows / tool.wall, rawRate = raw.first / raw.second.wall;
  std::printf("articles %d, definitions %d, rows %d (tool) / %d (raw)\n", articles, kDefinitions, rows, raw.first);
  std::printf("Prepisi u artile: %.2f s, %.0f rows/s, %.1f us/row wall, %.1f us/row cpu\n", tool.wall, toolRate,
              tool.wall * 1e6 / rows, tool.cpu * 1e6 / rows);
  std::printf("raw client loop:  %.2f s, %.0f rows/s, %.1f us/row wall, %.1f us/row cpu\n", raw.second.wall, rawRate,
              raw.second.wall * 1e6 / raw.first, raw.second.cpu * 1e6 / raw.first);
  std::printf("tool / raw rows per second: %.3f wall, %.3f cpu\n", toolRate / rawRate,
              (rows / tool.cpu) / (raw.first / raw.second.cpu));
  fs::remove_all(dir);
  return 0;
}
