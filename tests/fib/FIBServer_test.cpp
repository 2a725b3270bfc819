// The server road: a Firebird server of our own on 127.0.0.1 with its own
// SYSDBA password; the tool's parameters with a one-character password.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "FibTestSupport.h"
#include "fib/pFIBDatabase.h"

namespace {

class ServerRoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new fibtest::TPrivateServer("k"); }
  static void TearDownTestSuite() {
    delete server;  // stops the server it started
    server = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(server->Running()) << server->Failure();
    form.SetName("Form6");
    db = new TpFIBDatabase(&form);
    db->SetName("pFIBDatabase");
    db->DBParams().Add("user_name=SYSDBA");
    db->DBParams().Add("password=k");
    db->SetSQLDialect(3);
  }

  static fibtest::TPrivateServer* server;
  TComponent form;
  TpFIBDatabase* db = nullptr;
};
fibtest::TPrivateServer* ServerRoad::server = nullptr;

}  // namespace

TEST_F(ServerRoad, ConnectsWithTheToolsParametersThroughTheServer) {
  db->SetDBName(server->CreateRemoteDatabase("remote.fdb"));
  EXPECT_EQ(db->DPB().size(), 12u);
  db->SetConnected(true);
  ASSERT_TRUE(db->Connected());
  EXPECT_TRUE(db->IsFirebirdConnect());
  EXPECT_EQ(db->ServerMajorVersion(), 3);
  EXPECT_EQ(db->SQLDialect(), 3);

  auto* tr = new TpFIBTransaction(&form);
  tr->SetDefaultDatabase(db);
  tr->SetTPBMode(tpbDefault);
  for (const char* l : {"isc_tpb_read", "isc_tpb_read_committed", "isc_tpb_nowait", "isc_tpb_rec_version"})
    tr->TRParams().Add(l);
  tr->SetActive(true);
  EXPECT_TRUE(tr->Active());
  db->SetConnected(false);  // ends the read transaction by rollback
  EXPECT_FALSE(tr->Active());
  EXPECT_FALSE(db->Connected());
}

TEST_F(ServerRoad, WrongPasswordIsRefusedWithTheComposedMessage) {
  db->SetDBName(server->Remote("remote.fdb"));
  db->ConnectParams().SetPassword("z");
  try {
    db->SetConnected(true);
    FAIL() << "attached";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_EQ(e.Message().rfind("Form6.pFIBDatabase:\r\n", 0), 0u) << e.Message();
    EXPECT_NE(e.Message().find("Your user name and password are not defined."), std::string::npos)
        << e.Message();
  }
  EXPECT_FALSE(db->Connected());
}

// Two servers started at the same moment (as two test programs run side by
// side) each end up on a port of their own, each answering with its own
// password; neither takes the other's listener for its own.
TEST(PrivateServer, TwoStartedAtOnceGetAPortEach) {
  std::unique_ptr<fibtest::TPrivateServer> first, second;
  std::thread other([&] { second = std::make_unique<fibtest::TPrivateServer>("two"); });
  first = std::make_unique<fibtest::TPrivateServer>("one");
  other.join();
  ASSERT_TRUE(first->Running()) << first->Failure();
  ASSERT_TRUE(second->Running()) << second->Failure();
  EXPECT_TRUE(first->Failure().empty()) << first->Failure();
  EXPECT_TRUE(second->Failure().empty()) << second->Failure();
  EXPECT_NE(first->Port(), second->Port());
  // Each creates its database through its own server with its own password.
  EXPECT_NO_THROW(first->CreateRemoteDatabase("first.fdb"));
  EXPECT_NO_THROW(second->CreateRemoteDatabase("second.fdb"));
}
