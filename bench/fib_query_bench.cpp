// Per-execution cost of a prepared insert through TFIBQuery (parameters bound
// by name each time) against the same inserts made with raw client calls on
// one prepared statement. Runs both on a scratch database of the embedded
// engine, five repetitions each, and prints the ratio of their median times per
// execution; the counter "prepares" shows how often the layer prepared (once
// per repetition: each repetition is a new statement).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "fib/FIBDatabase.h"
#include "fib/FIBQuery.h"
#include "fib/IB_Intf.h"

namespace {

struct TBenchDatabase {
  std::filesystem::path dir;
  TFIBDatabase* db = nullptr;
  TFIBTransaction* tr = nullptr;

  TBenchDatabase() {
    dir = std::filesystem::temp_directory_path() / ("fibq_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "bench.fdb").string();
    auto lib = LoadClientLibrary(kDefaultLibraryName);
    isc_db_handle h = 0;
    isc_tr_handle t = 0;
    ISC_STATUS_ARRAY st{};
    const std::string sql = "CREATE DATABASE '" + path + "' USER 'SYSDBA' PASSWORD 'm'";
    if (lib->isc_dsql_execute_immediate(st, &h, &t, 0, sql.c_str(), 3, nullptr) != 0)
      throw std::runtime_error("cannot create the benchmark database");
    lib->isc_detach_database(st, &h);
    db = new TFIBDatabase(nullptr);
    db->SetDBName(path);
    db->DBParams().Add("user_name=SYSDBA");
    db->DBParams().Add("password=m");
    db->SetSQLDialect(3);
    tr = new TFIBTransaction(nullptr);
    tr->SetDefaultDatabase(db);
    tr->TRParams().Add("write");
    tr->TRParams().Add("nowait");
    tr->TRParams().Add("read_committed");
    tr->TRParams().Add("rec_version");
    db->SetDefaultTransaction(tr);
    db->SetConnected(true);
    TFIBQuery ddl;
    ddl.SetDatabase(db);
    ddl.SetTransaction(tr);
    ddl.SetSQLText("CREATE TABLE T (A INTEGER, B VARCHAR(20))");
    tr->StartTransaction();
    ddl.ExecQuery();
    tr->Commit();
    tr->StartTransaction();
  }
  ~TBenchDatabase() {
    try {
      if (tr->Active()) tr->Rollback();
      db->SetConnected(false);
    } catch (...) {
    }
    delete tr;
    delete db;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

TBenchDatabase& Bench() {
  static TBenchDatabase b;
  return b;
}

const char kInsert[] = "INSERT INTO T (A, B) VALUES (:A, :B)";
const char kRawInsert[] = "INSERT INTO T (A, B) VALUES (?, ?)";

void BM_LayerPreparedInsert(benchmark::State& state) {
  TBenchDatabase& b = Bench();
  TFIBQuery q;
  q.SetDatabase(b.db);
  q.SetTransaction(b.tr);
  q.SetSQLText(kInsert);
  int64_t prepares = 0;
  isc_stmt_handle last = 0;
  int i = 0;
  for (auto _ : state) {
    q.ParamByName("A")->SetAsInteger(++i);
    q.ParamByName("B")->SetAsString("value");
    q.ExecQuery();
    if (q.Handle() != last) {
      ++prepares;
      last = q.Handle();
    }
  }
  state.counters["prepares"] = static_cast<double>(prepares);
}
BENCHMARK(BM_LayerPreparedInsert)->Iterations(20000)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_RawClientInsert(benchmark::State& state) {
  TBenchDatabase& b = Bench();
  IIBClientLibrary& lib = b.db->ClientLibrary();
  ISC_STATUS_ARRAY st{};
  isc_stmt_handle stmt = 0;
  if (lib.isc_dsql_alloc_statement2(st, b.db->HandleAddress(), &stmt) ||
      lib.isc_dsql_prepare(st, b.tr->HandleAddress(), &stmt, 0, kRawInsert, 3, nullptr))
    throw std::runtime_error("raw prepare failed");
  std::vector<char> area(XSQLDA_LENGTH(2), 0);
  auto* in = reinterpret_cast<XSQLDA*>(area.data());
  in->version = SQLDA_VERSION1;
  in->sqln = in->sqld = 2;
  int32_t a = 0;
  char text[] = "value";
  in->sqlvar[0].sqltype = SQL_LONG;
  in->sqlvar[0].sqllen = 4;
  in->sqlvar[0].sqldata = reinterpret_cast<char*>(&a);
  in->sqlvar[1].sqltype = SQL_TEXT;
  in->sqlvar[1].sqllen = 5;
  in->sqlvar[1].sqldata = text;
  for (auto _ : state) {
    ++a;
    if (lib.isc_dsql_execute(st, b.tr->HandleAddress(), &stmt, 3, in)) throw std::runtime_error("raw execute failed");
  }
  lib.isc_dsql_free_statement(st, &stmt, DSQL_drop);
}
BENCHMARK(BM_RawClientInsert)->Iterations(20000)->Repetitions(5)->ReportAggregatesOnly(true);

// Keeps the console output and remembers the time per iteration of each run.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // The median of the repetitions: the engine's page writes make single runs noisy.
    for (const Run& r : runs)
      if (r.aggregate_name == "median") perIteration[r.run_name.function_name] = r.GetAdjustedRealTime();
  }
  std::map<std::string, double> perIteration;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto layer = reporter.perIteration.find("BM_LayerPreparedInsert");
  const auto raw = reporter.perIteration.find("BM_RawClientInsert");
  if (layer != reporter.perIteration.end() && raw != reporter.perIteration.end() && raw->second > 0)
    std::printf("layer / raw time per execution (medians): %.3f\n", layer->second / raw->second);
  benchmark::Shutdown();
  return 0;
}
