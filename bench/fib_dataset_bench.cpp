// The Firebird dataset over a 100,000-row table shaped like the tool's
// articles (ROBA: 62 columns of strings, small integers, scaled numbers and
// doubles), on a scratch database of the embedded engine:
//  1. open with a 20-row viewer: fetch calls, open time, resident memory;
//  2. Last: every row fetched; the cache's bytes per row against the row's
//     record buffer as the select describes it;
//  3. a full fetch through the dataset (re-open, Last) against a loop of raw
//     client fetch calls over the same statement, as a ratio from one run;
//  4. Locate over the 100,000 cached rows: a missing key (every row compared)
//     and the last row, as time per row compared.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataset/DataSource.h"
#include "fib/IB_Intf.h"
#include "bench/RawClient.h"
#include "fib/pFIBDataSet.h"

namespace {

using rawclient::Check;

constexpr int kRows = 100000;

// The article table: the tool's ROBA columns in their order and kinds.
const char* const kRobaDDL =
    "CREATE TABLE ROBA (ROBAID INTEGER NOT NULL PRIMARY KEY, KATBR VARCHAR(25), KATBRPRO VARCHAR(25),"
    " NAZIV VARCHAR(50), VRSTA SMALLINT, AKTIVNA SMALLINT, GRUPAID VARCHAR(6), PODGRUPA SMALLINT,"
    " PROID VARCHAR(5), JM VARCHAR(3), TARIFAID VARCHAR(3), NABAVNACENA NUMERIC(15,4), PRODAJNACENA NUMERIC(15,2),"
    " DEVNABCENA NUMERIC(15,4), FABRCENA NUMERIC(15,4), STANJE NUMERIC(15,3), NARUCENO NUMERIC(15,3),"
    " REZERVISANO NUMERIC(15,3), STANJEPOOTP NUMERIC(15,3), TAKSA NUMERIC(15,4), MARZA NUMERIC(15,2),"
    " UVOZ SMALLINT, TARBROJ VARCHAR(15), AKCIZA NUMERIC(15,2), NAZIVZACARINU VARCHAR(50), NAZIVNAENG VARCHAR(50),"
    " GARANTID SMALLINT, ALTJM VARCHAR(3), ALTKOL DOUBLE PRECISION, ALTNEDELJIVA SMALLINT, TRPAK VARCHAR(8),"
    " TRKOL NUMERIC(15,2), JMSD VARCHAR(3), KOMENTAR VARCHAR(100), XOD NUMERIC(15,3), XDO NUMERIC(15,3),"
    " YOD NUMERIC(15,3), YDO NUMERIC(15,3), ZOD NUMERIC(15,3), ZDO NUMERIC(15,3), IMAROKTRAJANJA SMALLINT,"
    " NACENOVNIKU SMALLINT, ZAPID SMALLINT, NORMA NUMERIC(15,2), KALO NUMERIC(15,4), TEZINA NUMERIC(15,3),"
    " PIN VARCHAR(25), KRITZAL NUMERIC(15,3), OPTZAL NUMERIC(15,3), KATEGORIJA NUMERIC(18,0), IMASBROJ SMALLINT,"
    " STANJEPOSER NUMERIC(15,3), ZAPREMINA DOUBLE PRECISION, SLIKA VARCHAR(24), PPID INTEGER, TRDECPAK SMALLINT,"
    " PRODCENABP NUMERIC(15,2), JMR VARCHAR(3), STANJEPOREKLAM NUMERIC(15,3), STANJEPOREVERSU NUMERIC(15,3),"
    " ADR NUMERIC(15,2), STANJE_MOJE_EKSP NUMERIC(15,3))";

// Typical article values: short codes, names of 20-40 characters, most
// numbers set, comments mostly empty.
const char* const kRobaFill =
    "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= 100000) DO BEGIN"
    " INSERT INTO ROBA (ROBAID, KATBR, KATBRPRO, NAZIV, VRSTA, AKTIVNA, GRUPAID, PODGRUPA, PROID, JM, TARIFAID,"
    " NABAVNACENA, PRODAJNACENA, DEVNABCENA, STANJE, NARUCENO, STANJEPOOTP, TAKSA, MARZA, UVOZ, TARBROJ, AKCIZA,"
    " NAZIVZACARINU, GARANTID, ALTJM, ALTKOL, ALTNEDELJIVA, TRKOL, IMAROKTRAJANJA, NACENOVNIKU, ZAPID, NORMA, KALO,"
    " TEZINA, KRITZAL, OPTZAL, KATEGORIJA, IMASBROJ, STANJEPOSER, ZAPREMINA, PPID, TRDECPAK, PRODCENABP, JMR, ADR,"
    " STANJE_MOJE_EKSP) VALUES (:I, 'K-' || :I, LPAD(:I, 7, '0'), 'Article number ' || :I || ' of the catalogue',"
    " MOD(:I, 2) * 2 + 1, 1, IIF(MOD(:I, 3) = 0, 'REP', 'GP'), MOD(:I, 10), 'P01', 'KOM', 'T1',"
    " :I * 1.2345, :I * 2.5, :I * 0.99, MOD(:I, 500), 0, MOD(:I, 500), 0, 20.5, 0, '8471.30', 0,"
    " 'Customs name ' || :I, 1, 'KOM', 1, 0, 0, 0, 1, 0, 0, 0, 0.25, 5, 10, 0, 0, 0, 0.0125, 0, 0, :I * 2.9, 'KOM',"
    " 1, 0); I = I + 1; END END";

const char* const kRobaSelect = "SELECT * from ROBA\r\nWHERE VRSTA IN (1,3)\r\nORDER BY KATBRPRO\r\n";

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The same select through raw client calls: prepare once (not timed), then
// execute and fetch every row (timed). Returns seconds and the row count.
std::pair<double, int> RawFetch(TFIBDatabase& db, TFIBTransaction& tr) {
  IIBClientLibrary& lib = db.ClientLibrary();
  ISC_STATUS_ARRAY st{};
  isc_stmt_handle stmt = 0;
  Check(lib, st, lib.isc_dsql_alloc_statement2(st, db.HandleAddress(), &stmt), "alloc");
  std::vector<char> area(XSQLDA_LENGTH(70));
  auto* out = reinterpret_cast<XSQLDA*>(area.data());
  out->version = SQLDA_VERSION1;
  out->sqln = 70;
  Check(lib, st, lib.isc_dsql_prepare(st, tr.HandleAddress(), &stmt, 0, kRobaSelect, 3, out), "prepare");
  std::vector<std::vector<char>> data(static_cast<size_t>(out->sqld));
  std::vector<short> nulls(static_cast<size_t>(out->sqld));
  for (int i = 0; i < out->sqld; ++i) {
    XSQLVAR& v = out->sqlvar[i];
    data[static_cast<size_t>(i)].resize(static_cast<size_t>(v.sqllen) + 2);
    v.sqldata = data[static_cast<size_t>(i)].data();
    v.sqlind = &nulls[static_cast<size_t>(i)];
  }
  const auto start = std::chrono::steady_clock::now();
  Check(lib, st, lib.isc_dsql_execute(st, tr.HandleAddress(), &stmt, 3, nullptr), "execute");
  int rows = 0;
  while (lib.isc_dsql_fetch(st, &stmt, 3, out) == 0) ++rows;
  const double seconds = Seconds(start);
  lib.isc_dsql_free_statement(st, &stmt, DSQL_drop);
  return {seconds, rows};
}

// A grid stand-in showing 20 rows.
class TViewer : public TDataLink {};

int Run() {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("fibds_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  struct Cleanup {
    std::filesystem::path dir;
    ~Cleanup() {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } cleanup{dir};
  // The embedded engine keeps its lock files with the benchmark's database.
  setenv("FIREBIRD_LOCK", dir.c_str(), 1);
  setenv("FIREBIRD_TMP", dir.c_str(), 1);
  const std::string path = (dir / "bench.fdb").string();
  {
    auto lib = LoadClientLibrary(kDefaultLibraryName);
    ISC_STATUS_ARRAY st{};
    isc_db_handle h = 0;
    isc_tr_handle t = 0;
    const std::string sql = "CREATE DATABASE '" + path + "' USER 'SYSDBA' PASSWORD 'm' PAGE_SIZE 8192";
    Check(*lib, st, lib->isc_dsql_execute_immediate(st, &h, &t, 0, sql.c_str(), 3, nullptr), "create");
    lib->isc_detach_database(st, &h);
  }

  TComponent form;
  form.SetName("Form6");
  const rawclient::TBenchConnection connection(form, path);
  TFIBDatabase* db = connection.db;
  TFIBTransaction* read = connection.read;
  TFIBTransaction* write = connection.write;
  for (const char* sql : {kRobaDDL, kRobaFill}) {
    TFIBQuery q;
    q.SetDatabase(db);
    q.SetTransaction(write);
    q.SetSQLText(sql);
    write->StartTransaction();
    q.ExecQuery();
    write->Commit();
  }
  std::printf("table ROBA: %d rows of 62 columns\n", kRows);

  auto* roba = new TpFIBDataSet(&form);
  roba->SetName("Roba");
  roba->SetDatabase(db);
  roba->SetTransaction(read);
  roba->SetUpdateTransaction(write);
  roba->SetAutoCommit(true);
  roba->SetFieldOriginRule(forTableAliasAndFieldName);
  roba->SelectSQL().SetText(kRobaSelect);
  int fetchCalls = 0;
  roba->BeforeFetchRecord = [&](TDataSet*) { ++fetchCalls; };
  TDataSource dsRoba;
  dsRoba.SetDataSet(roba);
  TViewer grid;
  grid.SetDataSource(&dsRoba);
  grid.SetBufferCount(20);

  // 1. Open with the viewer.
  const long rssBefore = ResidentKiB();
  auto start = std::chrono::steady_clock::now();
  roba->Open();
  const double openSeconds = Seconds(start);
  std::printf("open: %d fetch calls, %d rows counted, %.1f ms, resident %+ld KiB (%ld KiB in all)\n", fetchCalls,
              roba->RecordCount(), openSeconds * 1e3, ResidentKiB() - rssBefore, ResidentKiB());

  // 2. Last.
  start = std::chrono::steady_clock::now();
  roba->Last();
  const double lastSeconds = Seconds(start);
  const double perRow = static_cast<double>(roba->Cache()->MemoryUsed()) / roba->FetchedCount();
  int described = 0;  // the select's own description of a row: each column's length and null flag
  for (int i = 1; i <= roba->ColumnCount(); ++i) described += roba->Column(i).Size + 1;
  std::printf("last: %d rows in %.1f ms, %d fetch calls, resident %ld KiB\n", roba->RecordCount(),
              lastSeconds * 1e3, fetchCalls, ResidentKiB());
  std::printf("cache: %.1f bytes per row; record buffer %d bytes (ratio %.2f, aim <= 1.3);"
              " the select's columns %d bytes (ratio %.2f)\n",
              perRow, roba->RecordBufferSize(), perRow / roba->RecordBufferSize(), described, perRow / described);

  // 3. A full fetch through the dataset against raw fetch calls, three
  // times each, interleaved (the machine is shared): the medians' ratio.
  RawFetch(*db, *read);  // warms the page cache for both
  std::vector<double> raw, through;
  int rawRows = 0;
  for (int k = 0; k < 3; ++k) {
    const auto [seconds, rows] = RawFetch(*db, *read);
    raw.push_back(seconds);
    rawRows = rows;
    roba->Close();
    start = std::chrono::steady_clock::now();
    roba->Open();
    roba->Last();
    through.push_back(Seconds(start));
  }
  std::sort(raw.begin(), raw.end());
  std::sort(through.begin(), through.end());
  std::printf("full fetch: dataset %.0f rows/s, raw client %.0f rows/s (%d rows, medians of 3); ratio %.2f"
              " (aim <= 1.2)\n",
              roba->FetchedCount() / through[1], rawRows / raw[1], rawRows, through[1] / raw[1]);

  // 4. Locate over the cached rows.
  roba->First();
  Variant missing = VarArrayOf({Variant("no such key"), Variant("GP")});
  start = std::chrono::steady_clock::now();
  const bool found = roba->Locate("KATBRPRO;GRUPAID", missing, loNone);
  const double missSeconds = Seconds(start);
  char last[16];
  std::snprintf(last, sizeof last, "%07d", kRows);
  Variant lastKey = VarArrayOf({Variant(std::string(last)), Variant(kRows % 3 == 0 ? "REP" : "GP")});
  roba->First();
  start = std::chrono::steady_clock::now();
  const bool foundLast = roba->Locate("KATBRPRO;GRUPAID", lastKey, loNone);
  const double lastKeySeconds = Seconds(start);
  std::printf("locate: missing key %s in %.2f ms (%.3f us per row); last row %s in %.2f ms (%.3f us per row);"
              " aim <= 1 us\n",
              found ? "found" : "not found", missSeconds * 1e3, missSeconds * 1e6 / roba->FetchedCount(),
              foundLast ? "found" : "not found", lastKeySeconds * 1e3,
              lastKeySeconds * 1e6 / roba->FetchedCount());
  roba->Close();
  read->Commit();
  db->SetConnected(false);
  return 0;
}

}  // namespace

int main() {
  try {
    return Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fib_dataset_bench: %s\n", e.what());
    return 1;
  }
}
