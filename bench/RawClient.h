// Raw client calls for the benchmarks that set a road through our layers
// against the same server calls made directly: a checked call, a prepared
// statement with its output area, an input area pointing at caller storage,
// and a wall/CPU stopwatch.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "fib/FIBDatabase.h"
#include "fib/IB_Intf.h"

namespace rawclient {

// Raises with the client's message texts when a call failed.
inline void Check(IIBClientLibrary& lib, ISC_STATUS* st, ISC_STATUS result, const char* what) {
  if (result == 0) return;
  char buf[512];
  const ISC_STATUS* p = st;
  std::string msg = what;
  while (lib.isc_interprete(buf, const_cast<ISC_STATUS**>(&p)) > 0) msg += std::string(": ") + buf;
  throw std::runtime_error(msg);
}

// A statement prepared on db in tr, with room for up to maxColumns output
// columns, each bound to its own buffer and null indicator.
struct TRawStatement {
  IIBClientLibrary& lib;
  isc_stmt_handle handle = 0;
  std::vector<char> outArea;
  std::vector<std::vector<char>> outData;
  std::vector<short> outInd;

  TRawStatement(IIBClientLibrary& l, isc_db_handle* db, isc_tr_handle* tr, const char* sql, int maxColumns)
      : lib(l), outArea(XSQLDA_LENGTH(maxColumns > 0 ? maxColumns : 1), 0) {
    ISC_STATUS_ARRAY st{};
    Check(lib, st, lib.isc_dsql_alloc_statement2(st, db, &handle), "alloc");
    XSQLDA* out = Out();
    out->version = SQLDA_VERSION1;
    out->sqln = static_cast<short>(maxColumns);
    Check(lib, st, lib.isc_dsql_prepare(st, tr, &handle, 0, sql, 3, maxColumns > 0 ? out : nullptr), "prepare");
    const int columns = maxColumns > 0 ? std::min<int>(out->sqld, maxColumns) : 0;
    outData.resize(static_cast<size_t>(columns));
    outInd.resize(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i) {
      XSQLVAR& v = out->sqlvar[i];
      outData[static_cast<size_t>(i)].assign(static_cast<size_t>(v.sqllen) + 2, 0);
      v.sqldata = outData[static_cast<size_t>(i)].data();
      v.sqlind = &outInd[static_cast<size_t>(i)];
    }
  }
  ~TRawStatement() {
    ISC_STATUS_ARRAY st{};
    lib.isc_dsql_free_statement(st, &handle, DSQL_drop);
  }
  TRawStatement(const TRawStatement&) = delete;
  TRawStatement& operator=(const TRawStatement&) = delete;
  XSQLDA* Out() { return reinterpret_cast<XSQLDA*>(outArea.data()); }
};

// An input area of integer and text parameters pointing at caller storage.
struct TRawParams {
  std::vector<char> area;
  explicit TRawParams(int n) : area(XSQLDA_LENGTH(n), 0) {
    In()->version = SQLDA_VERSION1;
    In()->sqln = In()->sqld = static_cast<short>(n);
  }
  XSQLDA* In() { return reinterpret_cast<XSQLDA*>(area.data()); }
  void Int(int i, int32_t* value) {
    XSQLVAR& v = In()->sqlvar[i];
    v.sqltype = SQL_LONG;
    v.sqllen = 4;
    v.sqldata = reinterpret_cast<char*>(value);
  }
  void Text(int i, const std::string& value) {
    XSQLVAR& v = In()->sqlvar[i];
    v.sqltype = SQL_TEXT;
    v.sqllen = static_cast<short>(value.size());
    v.sqldata = const_cast<char*>(value.data());
  }
};

// Wall time and the process's CPU time (the embedded engine's threads
// included), in seconds; the CPU time suffers less from a busy machine.
struct TTimes {
  double wall = 0, cpu = 0;
  TTimes& operator+=(const TTimes& o) {
    wall += o.wall, cpu += o.cpu;
    return *this;
  }
};

class TStopwatch {
 public:
  TTimes Elapsed() const {
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - m_wall).count(),
            static_cast<double>(std::clock() - m_cpu) / CLOCKS_PER_SEC};
  }

 private:
  std::chrono::steady_clock::time_point m_wall = std::chrono::steady_clock::now();
  std::clock_t m_cpu = std::clock();
};

// A database of the benchmarks (SYSDBA, dialect 3) with a read-committed
// read transaction and write transaction, owned by owner; connected.
struct TBenchConnection {
  TFIBDatabase* db;
  TFIBTransaction* read;
  TFIBTransaction* write;

  TBenchConnection(TComponent& owner, const std::string& path, bool forcedWritesOff = false)
      : db(new TFIBDatabase(&owner)), read(new TFIBTransaction(&owner)), write(new TFIBTransaction(&owner)) {
    db->SetDBName(path);
    db->DBParams().Add("user_name=SYSDBA");
    db->DBParams().Add("password=m");
    if (forcedWritesOff) db->DBParams().Add("force_write=0");
    db->SetSQLDialect(3);
    read->SetDefaultDatabase(db);
    for (const char* p : {"read", "nowait", "read_committed", "rec_version"}) read->TRParams().Add(p);
    write->SetDefaultDatabase(db);
    for (const char* p : {"write", "nowait", "read_committed", "rec_version"}) write->TRParams().Add(p);
    db->SetConnected(true);
  }
};

}  // namespace rawclient
