// DPB and TPB bytes built from parameter lines, and the named view of the
// connection parameters.
#include <gtest/gtest.h>

#include <string>

#include "fib/FIBDatabase.h"
#include "fib/pFIBDatabase.h"
#include "FIBQuery_fixture.h"
#include "runtime/Exceptions.h"

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

std::string DPBOf(std::initializer_list<std::string> lines) {
  TStrings params(lines);
  return BuildDPB(params);
}

std::string TPBOf(std::initializer_list<std::string> lines) {
  TStrings params(lines);
  return BuildTPB(params);
}

// The client error a build raises, as "code: message".
template <class F>
std::string ClientErrorOf(F build) {
  try {
    build();
  } catch (const EFIBClientError& e) {
    return std::to_string(e.SqlCode()) + ": " + e.Message();
  }
  return "no error";
}

}  // namespace

TEST(DPB, TheToolsParametersGiveTwelveBytes) {
  EXPECT_EQ(DPBOf({"user_name=SYSDBA", "password=k"}),
            Bytes({1, 28, 6, 'S', 'Y', 'S', 'D', 'B', 'A', 29, 1, 'k'}));
}

TEST(DPB, ItemEncodings) {
  struct Case { std::string line; std::string item; };
  const Case cases[] = {
      {"isc_dpb_user_name=SYSDBA", Bytes({28, 6, 'S', 'Y', 'S', 'D', 'B', 'A'})},
      {"USER_NAME=SYSDBA", Bytes({28, 6, 'S', 'Y', 'S', 'D', 'B', 'A'})},
      {"  lc_ctype=UTF8 \t", Bytes({48, 4, 'U', 'T', 'F', '8'})},
      {"sql_role_name=", Bytes({60, 0})},
      {"sql_dialect=3", Bytes({63, 1, 3})},  // the digit's value, not '3'
      {"num_buffers=300", Bytes({5, 1, 44})},  // low 8 bits
      {"num_buffers= 300", Bytes({5, 1, 44})},  // read like any integer setting
      {"num_buffers=$12C", Bytes({5, 1, 44})},
      {"force_write=1", Bytes({24, 1, 1})},
      {"sweep_interval=20000", Bytes({22, 4, 0x20, 0x4E, 0, 0})},
      {"no_garbage_collect=whatever", Bytes({16, 1, 0})},
      {"sweep", Bytes({10, 1, 2})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(DPBOf({c.line}), Bytes({1}) + c.item);
  }
}

TEST(DPB, LinesAreTrimmedInTheListItselfAndBlankLinesSkipped) {
  TStrings params({"  user_name=SYSDBA  ", "", "   ", "password=k"});
  EXPECT_EQ(BuildDPB(params), DPBOf({"user_name=SYSDBA", "password=k"}));
  EXPECT_EQ(params[0], "user_name=SYSDBA");
  EXPECT_EQ(params[2], "");
}

TEST(DPB, RejectedLines) {
  EXPECT_EQ(ClientErrorOf([] { DPBOf({"page_size=8192"}); }),
            "8: DPB Constant (isc_dpb_page_size) is unsupported.");
  EXPECT_EQ(ClientErrorOf([] { DPBOf({"user=SYSDBA"}); }), "9: DPB Constant (user) is unknown.");
  // Blanks around "=" stay part of the name.
  EXPECT_EQ(ClientErrorOf([] { DPBOf({"user_name = SYSDBA"}); }),
            "9: DPB Constant (user_name ) is unknown.");
  EXPECT_THROW(DPBOf({"num_buffers=many"}), EConvertError);
  EXPECT_THROW(DPBOf({"num_buffers="}), EConvertError);
}

TEST(DPB, StringValueLongerThan255BytesIsRejected) {
  // The one-byte length would wrap and the rest of the value would be read
  // as further items; nothing is sent.
  EXPECT_NO_THROW(DPBOf({"password=" + std::string(255, 'p')}));
  const std::string error = ClientErrorOf([] { DPBOf({"password=" + std::string(256, 'p')}); });
  EXPECT_EQ(error, "-1: DPB Constant (password) value is too long (256 bytes, at most 255).");

  // Nor may the whole block outgrow the attach call's signed 16-bit length.
  TStrings many;
  for (int i = 0; i < 128; ++i) many.Add("lc_messages=" + std::string(253, 'm'));
  EXPECT_EQ(BuildDPB(many).size(), 1u + 128u * 255u);
  many.Add("lc_messages=" + std::string(253, 'm'));
  EXPECT_EQ(ClientErrorOf([&] { BuildDPB(many); }), "-1: DPB is too long (32896 bytes, at most 32767).");
}

TEST(DPB, DatabaseRebuildsAfterChangesOnly) {
  TFIBDatabase db;
  db.DBParams().Add("user_name=SYSDBA");
  EXPECT_EQ(db.DPB(), Bytes({1, 28, 6, 'S', 'Y', 'S', 'D', 'B', 'A'}));
  db.DBParams().Add("password=k");
  EXPECT_EQ(db.DPB().size(), 12u);
  db.DBParams().Add("page_size=4096");
  EXPECT_THROW(db.DPB(), EFIBClientError);
  EXPECT_THROW(db.DPB(), EFIBClientError);  // still reported on the next try
}

TEST(TPB, TheToolsTransactionsAndTheInternalOne) {
  EXPECT_EQ(TPBOf({"isc_tpb_read", "isc_tpb_read_committed", "isc_tpb_nowait", "isc_tpb_rec_version"}),
            Bytes({3, 8, 15, 7, 17}));
  EXPECT_EQ(TPBOf({"write", "nowait", "rec_version", "read_committed"}), Bytes({3, 9, 7, 17, 15}));
  TFIBDatabase db;
  EXPECT_EQ(db.InternalTransaction()->TPB(), Bytes({3, 9, 7, 15, 17}));
}

TEST(TPB, Encodings) {
  EXPECT_EQ(TPBOf({}), "");  // no lines: an empty TPB
  EXPECT_EQ(TPBOf({"write", "", "  ", "wait"}), Bytes({3, 9, 6}));
  EXPECT_EQ(TPBOf({"lock_write=ROBA"}), Bytes({3, 11, 4, 'R', 'O', 'B', 'A'}));
  EXPECT_EQ(TPBOf({"ISC_TPB_Lock_Read=T", "protected"}), Bytes({3, 10, 1, 'T', 4}));
  EXPECT_EQ(TPBOf({"consistency", "no_auto_undo"}), Bytes({3, 1, 20}));
}

TEST(TPB, RejectedLines) {
  EXPECT_EQ(ClientErrorOf([] { TPBOf({"autocommit"}); }),
            "10: TPB Constant (isc_tpb_autocommit) is unsupported.");
  EXPECT_EQ(ClientErrorOf([] { TPBOf({"isc_tpb_readonly"}); }), "11: TPB Constant (readonly) is unknown.");
  // Firebird reads code 21 as lock_timeout: a start with it would fail with a
  // message about something else.
  EXPECT_EQ(ClientErrorOf([] { TPBOf({"write", "no_savepoint"}); }),
            "10: TPB Constant (isc_tpb_no_savepoint) is unsupported.");
  EXPECT_EQ(ClientErrorOf([] { TPBOf({"lock_write=" + std::string(300, 'T')}); }),
            "-1: TPB Constant (lock_write) value is too long (300 bytes, at most 255).");
}

TEST(TPB, TpFIBTransactionPresetsReplaceTheLines) {
  TpFIBTransaction tr;
  EXPECT_EQ(tr.TPBMode(), tpbReadCommitted);
  tr.TRParams().Add("read");
  EXPECT_EQ(tr.TPB(), Bytes({3, 8}));  // the preset applies at start only
}

// Reading the blocks of a connected database and of an active transaction
// neither rebuilds them nor writes into their guarded lists.
TEST(ParameterBlocks, ReadableWhileConnectedAndActive) {
  TScratchDatabase db;
  db.Database->SetConnected(false);
  db.Database->DBParams().Add("  lc_messages=x \t");
  db.Database->SetConnected(true);
  EXPECT_EQ(db.Database->DBParams()[2], "lc_messages=x");
  EXPECT_EQ(db.Database->DPB(), DPBOf({"user_name=SYSDBA", "password=m", "lc_messages=x"}));

  TpFIBTransaction tr;
  tr.SetDefaultDatabase(db.Database);
  for (int round = 0; round < 2; ++round) {
    tr.StartTransaction();
    EXPECT_EQ(tr.TPB(), Bytes({3, 9, 7, 15, 17}));
    EXPECT_EQ(tr.TRParams().Count(), 4);
    tr.Commit();
  }
  tr.SetTPBMode(tpbDefault);
  tr.TRParams().SetStrings(0, " write ");
  tr.StartTransaction();
  EXPECT_EQ(tr.TPB(), Bytes({3, 9, 7, 15, 17}));
  EXPECT_EQ(tr.TRParams()[0], "write");
  tr.Commit();
}

TEST(ConnectParams, NamedViewOfTheParameterLines) {
  TFIBDatabase db;
  db.DBParams().Add("isc_dpb_user_name=SYSDBA");
  db.DBParams().Add("password=k");
  TConnectParams& cp = db.ConnectParams();
  EXPECT_EQ(cp.UserName(), "SYSDBA");  // found after the eight-character prefix
  EXPECT_EQ(cp.Password(), "k");
  EXPECT_EQ(cp.RoleName(), "");
  cp.SetCharSet("utf8");
  EXPECT_EQ(db.DBParams()[2], "lc_ctype=UTF8");
  cp.SetUserName("ADMIN");
  EXPECT_EQ(db.DBParams()[0], "user_name=ADMIN");
  cp.SetPassword("");
  EXPECT_EQ(db.DBParams().Count(), 2);
  cp.IB2007().SetInstanceName("fb");
  EXPECT_EQ(cp.IB2007().InstanceName(), "fb");
}
