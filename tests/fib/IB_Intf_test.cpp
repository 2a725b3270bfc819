// Loading client libraries: the real client, stub clients of older kinds,
// a client without a required entry point, a missing file.
#include "fib/IB_Intf.h"

#include <gtest/gtest.h>

#include <thread>

#include "FibTestSupport.h"
#include "fib/FIBDatabase.h"
#include "fib/fib.h"
#include "runtime/Exceptions.h"

TEST(ClientLibraryName, OnlyTheDefaultNameIsMapped) {
  EXPECT_EQ(ClientLibraryFileName("gds32.dll"), "libfbclient.so.2");
  EXPECT_EQ(ClientLibraryFileName("GDS32.DLL"), "GDS32.DLL");
  EXPECT_EQ(ClientLibraryFileName("/opt/fb/lib/libfbclient.so"), "/opt/fb/lib/libfbclient.so");
}

TEST(StatusVector, PointerSizedEntriesOnePerThread) {
  // The client writes pointer-sized entries; a 32-bit vector would be overrun.
  static_assert(sizeof(ISC_STATUS) == sizeof(void*));
  ISC_STATUS* mine = StatusVector();
  mine[19] = 42;
  ISC_STATUS* other = nullptr;
  std::thread([&] { other = StatusVector(); other[19] = 7; }).join();
  EXPECT_NE(mine, other);
  EXPECT_EQ(mine[19], 42);
}

TEST(ClientLibrary, LoadsTheFirebirdClientUnderTheDefaultName) {
  auto lib = LoadClientLibrary(kDefaultLibraryName);
  EXPECT_EQ(lib->LibraryName(), "gds32.dll");
  // What the client's own functions say: Firebird 3 answers 6.3, the
  // InterBase version it is compatible with.
  EXPECT_EQ(lib->ClientMajorVersion(), 6);
  EXPECT_EQ(lib->ClientMinorVersion(), 3);
  EXPECT_NE(lib->EntryPoints().isc_rollback_retaining, nullptr);
  EXPECT_NE(lib->EntryPoints().isc_portable_integer, nullptr);
  EXPECT_NE(lib->EntryPoints().fb_cancel_operation, nullptr);
  EXPECT_NE(lib->EntryPoints().fb_shutdown_callback, nullptr);
  EXPECT_EQ(lib->EntryPoints().isc_array_set_desc, nullptr);  // never resolved
  lib->Unload();
  EXPECT_FALSE(lib->IsLoaded());
  EXPECT_EQ(lib->EntryPoints().isc_attach_database, nullptr);
}

TEST(ClientLibrary, MissingFileRaisesAPlainException) {
  try {
    LoadClientLibrary("no_such_client.so");
    FAIL() << "loaded";
  } catch (const EFIBError&) {
    FAIL() << "must not be a layer error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Can't load library no_such_client.so ");
  }

  // Through a database: the connect fails, nothing stays loaded, and the
  // next connect tries again.
  TFIBDatabase db;
  db.SetLibraryName("no_such_client.so");
  db.SetDBName("/nowhere/x.fdb");
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      db.SetConnected(true);
      FAIL() << "connected";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Can't load library no_such_client.so ");
    }
    EXPECT_FALSE(db.Connected());
    EXPECT_FALSE(db.ClientLibraryLoaded());
  }
}

TEST(ClientLibrary, RequiredEntryPointMissingRaisesEOSError) {
  try {
    LoadClientLibrary(FIB_STUB_MISSING);
    FAIL() << "loaded";
  } catch (const EOSError& e) {
    // dlsym sets no error number; the text is the loader's description.
    EXPECT_EQ(e.Message().rfind("System Error.  Code: 0.\r\n", 0), 0u) << e.Message();
    EXPECT_NE(e.Message().find("isc_attach_database"), std::string::npos) << e.Message();
  }
}

TEST(ClientLibrary, OldClientIsVersion5WithoutRollbackRetaining) {
  auto lib = LoadClientLibrary(FIB_STUB_V5);
  EXPECT_EQ(lib->ClientMajorVersion(), 5);
  EXPECT_EQ(lib->ClientMinorVersion(), 0);
  EXPECT_EQ(lib->EntryPoints().isc_rollback_retaining, nullptr);
  EXPECT_EQ(lib->EntryPoints().isc_decode_timestamp, nullptr);

  // A transaction over such a client: rollback retaining names the missing
  // procedure and the library; the transaction stays usable.
  TFIBDatabase db;
  db.SetLibraryName(FIB_STUB_V5);
  db.SetDBName("stub.fdb");
  db.SetSynchronizeTime(false);  // the stub runs no queries
  db.SetConnected(true);
  ASSERT_TRUE(db.Connected());
  EXPECT_FALSE(db.IsFirebirdConnect());  // the stub answers no information item
  EXPECT_EQ(db.SQLDialect(), 1);
  TFIBTransaction tr;
  tr.SetDefaultDatabase(&db);
  tr.StartTransaction();
  try {
    tr.RollbackRetaining();
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), std::string("Can't find procedure isc_rollback_retaining in ") + FIB_STUB_V5);
  }
  EXPECT_TRUE(tr.Active());
  tr.Rollback();
  EXPECT_FALSE(tr.Active());
  db.SetConnected(false);
}

TEST(ClientLibrary, ClientVersionFromTheClientsOwnFunctions) {
  auto lib = LoadClientLibrary(FIB_STUB_V7);
  EXPECT_EQ(lib->ClientMajorVersion(), 9);
  EXPECT_EQ(lib->ClientMinorVersion(), 7);
  EXPECT_EQ(lib->EntryPoints().fb_cancel_operation, nullptr);  // optional, absent
  EXPECT_EQ(lib->EntryPoints().fb_shutdown_callback, nullptr);
}

TEST(ClientLibrary, AttachKeepsItsLibraryWhileTheNameChanges) {
  // The login dialog may change LibraryName, which drops the database's own
  // reference to the library it is attaching through.
  TFIBDatabase db;
  db.SetLibraryName(FIB_STUB_V5);
  db.SetDBName("stub.fdb");
  db.SetSynchronizeTime(false);
  db.SetUseLoginPrompt(true);
  TFIBDatabase::LoginDialog = [](TFIBDatabase& d) {
    d.SetLibraryName(FIB_STUB_V7);
    return true;
  };
  db.SetConnected(true);
  TFIBDatabase::LoginDialog = nullptr;
  EXPECT_TRUE(db.Connected());
  db.SetConnected(false);
}
