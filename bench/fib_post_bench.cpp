// Posting rows through a TpFIBDataSet the way the tool's extra-data transfer
// does (append, five assignments, post: insert in a freshly started update
// transaction, hard commit, refresh select in the read transaction) against
// a loop of raw client calls making the same server calls on prepared
// statements. One run each on a scratch database with forced writes off;
// prints both times per row and their ratio.
//
//   fib_post_bench [rows]      (default 3000)
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "fib/FIBDatabase.h"
#include "fib/FIBQuery.h"
#include "fib/IB_Intf.h"
#include "fib/pFIBDataSet.h"
#include "bench/RawClient.h"

namespace {

using namespace rawclient;

const char kSelect[] =
    "SELECT ed.*, eds.naziv\r\n from EXTRA_DATA ed\r\n"
    "left join extra_data_sif eds on ed.edid = eds.edid and eds.vrdok = -2\r\n\r\n"
    "WHERE ed.VRDOK = -2 AND ed.BRDOK = :BRDOK\r\norder by ed.redosled\r\n";
const char kInsert[] =
    "INSERT INTO EXTRA_DATA(\r\n    VRDOK,\r\n    EDID,\r\n    BRDOK,\r\n    VREDNOST,\r\n    REDOSLED\r\n)\r\n"
    "VALUES(\r\n    :VRDOK,\r\n    :EDID,\r\n    :BRDOK,\r\n    :VREDNOST,\r\n    :REDOSLED\r\n)";
const char kRefresh[] =
    "SELECT * from EXTRA_DATA\r\nWHERE(  VRDOK = -2 AND BRDOK = :BRDOK\r\n"
    "     ) and (     EXTRA_DATA.VRDOK = :OLD_VRDOK\r\n    and EXTRA_DATA.EDID = :OLD_EDID\r\n"
    "    and EXTRA_DATA.BRDOK = :OLD_BRDOK\r\n     )\r\n    ";
// The same two statements as the client sees them after parameter processing.
const char kRawInsert[] = "INSERT INTO EXTRA_DATA(VRDOK, EDID, BRDOK, VREDNOST, REDOSLED) VALUES(?, ?, ?, ?, ?)";
const char kRawRefresh[] =
    "SELECT * from EXTRA_DATA WHERE(  VRDOK = -2 AND BRDOK = ? ) and (     EXTRA_DATA.VRDOK = ? "
    "and EXTRA_DATA.EDID = ? and EXTRA_DATA.BRDOK = ? )";

// Article and definition of row i: keys stay unique across both runs.
int Edid(int i) { return i % 1000; }
int Brdok(int base, int i) { return base + i / 1000; }

struct TScratch {
  std::filesystem::path dir;
  std::string path;
  TScratch() {
    dir = std::filesystem::temp_directory_path() / ("fib_post_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    path = (dir / "bench.fdb").string();
    auto lib = LoadClientLibrary(kDefaultLibraryName);
    isc_db_handle h = 0;
    isc_tr_handle t = 0;
    ISC_STATUS_ARRAY st{};
    const std::string sql = "CREATE DATABASE '" + path + "' USER 'SYSDBA' PASSWORD 'm' PAGE_SIZE 8192";
    Check(*lib, st, lib->isc_dsql_execute_immediate(st, &h, &t, 0, sql.c_str(), 3, nullptr), "create database");
    lib->isc_detach_database(st, &h);
  }
  ~TScratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

TTimes PostThroughDataSet(TpFIBDataSet& ds, int base, int first, int rows) {
  TStopwatch watch;
  for (int i = first; i < first + rows; ++i) {
    ds.Append();
    ds.FieldByName("VRDOK")->SetAsInteger(-2);
    ds.FieldByName("EDID")->SetAsInteger(Edid(i));
    ds.FieldByName("BRDOK")->SetAsInteger(Brdok(base, i));
    ds.FieldByName("VREDNOST")->SetAsString("vrednost " + std::to_string(i));
    ds.FieldByName("REDOSLED")->SetAsInteger(Edid(i));
    ds.Post();
  }
  return watch.Elapsed();
}

TTimes PostRaw(TFIBDatabase& db, TFIBTransaction& readTr, TFIBTransaction& writeTr, int base, int first,
               int rows) {
  IIBClientLibrary& lib = db.ClientLibrary();
  ISC_STATUS_ARRAY st{};
  const std::string tpb = writeTr.TPB();
  struct { isc_db_handle* db; ISC_LONG length; const char* tpb; } teb{db.HandleAddress(),
                                                                   static_cast<ISC_LONG>(tpb.size()), tpb.data()};
  isc_tr_handle tr = 0;
  Check(lib, st, lib.isc_start_multiple(st, &tr, 1, &teb), "start");
  TRawStatement insert(lib, db.HandleAddress(), &tr, kRawInsert, 0);
  Check(lib, st, lib.isc_commit_transaction(st, &tr), "commit");
  TRawStatement refresh(lib, db.HandleAddress(), readTr.HandleAddress(), kRawRefresh, 5);

  int32_t vrdok = -2, edid = 0, brdok = 0, redosled = 0;
  std::string value;
  TRawParams in(5), key(4);
  in.Int(0, &vrdok), in.Int(1, &edid), in.Int(2, &brdok), in.Int(4, &redosled);
  key.Int(0, &brdok), key.Int(1, &vrdok), key.Int(2, &edid), key.Int(3, &brdok);

  TStopwatch watch;
  for (int i = first; i < first + rows; ++i) {
    edid = Edid(i), brdok = Brdok(base, i), redosled = edid;
    value = "vrednost " + std::to_string(i);
    in.Text(3, value);
    Check(lib, st, lib.isc_start_multiple(st, &tr, 1, &teb), "start");
    Check(lib, st, lib.isc_dsql_execute(st, &tr, &insert.handle, 3, in.In()), "insert");
    Check(lib, st, lib.isc_commit_transaction(st, &tr), "commit");
    Check(lib, st, lib.isc_dsql_execute(st, readTr.HandleAddress(), &refresh.handle, 3, key.In()), "refresh");
    Check(lib, st, lib.isc_dsql_fetch(st, &refresh.handle, 3, refresh.Out()), "fetch");
    Check(lib, st, lib.isc_dsql_free_statement(st, &refresh.handle, DSQL_close), "close");
  }
  return watch.Elapsed();
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 3000;
  try {
    TScratch scratch;
    TComponent form;
    form.SetName("Form6");
    // forced writes off, as the measurement asks
    const TBenchConnection connection(form, scratch.path, true);
    TFIBDatabase* db = connection.db;
    TFIBTransaction* readTr = connection.read;
    TFIBTransaction* writeTr = connection.write;

    for (const char* ddl :
         {"create table EXTRA_DATA_SIF (VRDOK smallint not null, EDID smallint not null, "
          "NAZIV varchar(25), primary key (VRDOK, EDID))",
          "create table EXTRA_DATA (VRDOK smallint not null, EDID smallint not null, BRDOK integer not null, "
          "VREDNOST varchar(100), REDOSLED smallint, primary key (VRDOK, EDID, BRDOK))"}) {
      TFIBQuery q;
      q.SetDatabase(db);
      q.SetTransaction(writeTr);
      q.SetSQLText(ddl);
      writeTr->StartTransaction();
      q.ExecQuery();
      writeTr->Commit();
    }

    auto* ds = new TpFIBDataSet(&form);
    ds->SetName("qryExtraData");
    ds->SetDatabase(db);
    ds->SetTransaction(readTr);
    ds->SetUpdateTransaction(writeTr);
    ds->SetAutoCommit(true);
    ds->SetFieldOriginRule(forTableAliasAndFieldName);
    ds->SelectSQL().SetText(kSelect);
    ds->InsertSQL().SetText(kInsert);
    ds->RefreshSQL().SetText(kRefresh);
    ds->ParamByName("BRDOK")->SetAsInteger(1);
    ds->Open();

    // Warm-up of both roads (prepares, metadata, page cache), then one run
    // each, in alternating blocks so that the growing table and the other
    // load of the machine weigh on both alike.
    const int warm = std::min(rows, 200);
    PostThroughDataSet(*ds, 100000, 0, warm);
    PostRaw(*db, *readTr, *writeTr, 200000, 0, warm);
    constexpr int kBlocks = 10;
    TTimes layer, raw;
    for (int b = 0; b < kBlocks; ++b) {
      const int first = rows * b / kBlocks, count = rows * (b + 1) / kBlocks - first;
      if (b % 2 == 0) {
        layer += PostThroughDataSet(*ds, 300000, first, count);
        raw += PostRaw(*db, *readTr, *writeTr, 400000, first, count);
      } else {
        raw += PostRaw(*db, *readTr, *writeTr, 400000, first, count);
        layer += PostThroughDataSet(*ds, 300000, first, count);
      }
    }

    std::printf("rows posted per road: %d (forced writes off)\n", rows);
    std::printf("dataset post:  %8.1f us/row wall, %8.1f us/row cpu\n", layer.wall * 1e6 / rows,
                layer.cpu * 1e6 / rows);
    std::printf("raw client:    %8.1f us/row wall, %8.1f us/row cpu\n", raw.wall * 1e6 / rows,
                raw.cpu * 1e6 / rows);
    std::printf("dataset / raw time per row: %.3f wall, %.3f cpu\n", layer.wall / raw.wall,
                layer.cpu / raw.cpu);
    ds->Close();
    readTr->Commit();
    db->SetConnected(false);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fib_post_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
