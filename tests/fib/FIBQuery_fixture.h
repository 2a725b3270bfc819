// Scratch database for statement tests: a fresh database file in its own temp
// directory on the embedded engine, a connected TFIBDatabase and a transaction,
// all removed again when the fixture goes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fib/FIBDatabase.h"
#include "fib/FIBQuery.h"
#include "fib/IB_Intf.h"
#include "runtime/Exceptions.h"

class TScratchDatabase {
 public:
  // charset: the database's default character set; lcCtype: the connection's
  // (empty = none, so NONE).
  explicit TScratchDatabase(const std::string& charset = "NONE", const std::string& lcCtype = "") {
    namespace fs = std::filesystem;
    static int counter = 0;
    m_dir = fs::temp_directory_path() /
            ("fibq_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    // A run killed before its clean-up leaves its directory behind; a later
    // process with the same id owns the name now.
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_path = (m_dir / "scratch.fdb").string();
    {
      auto lib = LoadClientLibrary(kDefaultLibraryName);
      isc_db_handle db = 0;
      isc_tr_handle tr = 0;
      const std::string sql = "CREATE DATABASE '" + m_path +
                              "' USER 'SYSDBA' PASSWORD 'm' PAGE_SIZE 8192 DEFAULT CHARACTER SET " + charset;
      ISC_STATUS_ARRAY st{};
      if (lib->isc_dsql_execute_immediate(st, &db, &tr, 0, sql.c_str(), 3, nullptr) != 0) {
        char buf[512];
        const ISC_STATUS* p = st;
        std::string msg;
        while (lib->isc_interprete(buf, const_cast<ISC_STATUS**>(&p)) > 0) msg += std::string(buf) + " ";
        throw std::runtime_error("create database failed: " + msg);
      }
      lib->isc_detach_database(st, &db);
    }
    Database = new TFIBDatabase(nullptr);
    Database->SetName("db");
    Database->SetDBName(m_path);
    Database->DBParams().Add("user_name=SYSDBA");
    Database->DBParams().Add("password=m");
    if (!lcCtype.empty()) Database->DBParams().Add("lc_ctype=" + lcCtype);
    Database->SetSQLDialect(3);
    Transaction = new TFIBTransaction(nullptr);
    Transaction->SetName("tr");
    Transaction->SetDefaultDatabase(Database);
    Transaction->TRParams().Add("write");
    Transaction->TRParams().Add("nowait");
    Transaction->TRParams().Add("read_committed");
    Transaction->TRParams().Add("rec_version");
    Database->SetDefaultTransaction(Transaction);
    Database->SetConnected(true);
  }

  ~TScratchDatabase() {
    try {
      if (Transaction->Active()) Transaction->Rollback();
      Database->SetConnected(false);
    } catch (...) {
    }
    delete Transaction;
    delete Database;
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }

  TScratchDatabase(const TScratchDatabase&) = delete;
  TScratchDatabase& operator=(const TScratchDatabase&) = delete;

  // Runs one statement in its own transaction: committed when it succeeds,
  // rolled back when it fails (so that the next statement does not inherit
  // a transaction that may hold the failed one's locks).
  void Exec(const std::string& sql) {
    TFIBQuery q;
    q.SetDatabase(Database);
    q.SetTransaction(Transaction);
    q.SetSQLText(sql);
    if (!Transaction->Active()) Transaction->StartTransaction();
    try {
      q.ExecQuery();
    } catch (...) {
      if (Transaction->Active()) Transaction->Rollback();
      throw;
    }
    Transaction->Commit();
  }

  // A statement bound to the scratch database and its transaction.
  std::unique_ptr<TFIBQuery> Query(const std::string& sql) {
    auto q = std::make_unique<TFIBQuery>();
    q->SetName("q");
    q->SetDatabase(Database);
    q->SetTransaction(Transaction);
    q->SetOptions(qoStartTransaction);
    q->SetSQLText(sql);
    return q;
  }

  const std::string& Path() const { return m_path; }

  TFIBDatabase* Database = nullptr;
  TFIBTransaction* Transaction = nullptr;

 private:
  std::filesystem::path m_dir;
  std::string m_path;
};

// What an error is, without the words the engine fills in (a concurrent
// transaction's number, a record's id): the class, and for the Firebird
// layer's errors the raiser, the SQL code and the server's error code. Other
// layers' messages are built from the caller's own values and stay whole.
inline std::string ErrorKind(const Exception& e) {
  const std::string kind = e.ClassName();
  if (const auto* fib = dynamic_cast<const EFIBError*>(&e))
    return kind + " from '" + fib->RaiserName() + "' sqlcode " + std::to_string(fib->SqlCode()) + " server code " +
           std::to_string(fib->ServerErrorCode());
  return kind + ": " + e.Message();
}

// Message of the exception a call raises, or "no error".
template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}
