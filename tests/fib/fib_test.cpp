// The layer's exceptions: client error texts, message composition, raising
// from a status vector (through a scripted client), the busy flag.
#include "fib/fib.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "fib/IB_Intf.h"
#include "runtime/Component.h"

namespace {

// A client whose error entry points replay a script.
struct TScript {
  ISC_LONG sqlCode = -902;
  std::string sqlMessage;
  std::vector<std::string> fragments;  // "" = an empty fragment
  size_t next = 0;
};
TScript g_script;

ISC_LONG FakeSqlCode(const ISC_STATUS*) { return g_script.sqlCode; }
void FakeSqlInterprete(short, ISC_SCHAR* buffer, short length) {
  snprintf(buffer, static_cast<size_t>(length), "%s", g_script.sqlMessage.c_str());
}
ISC_LONG FakeInterprete(ISC_SCHAR* buffer, ISC_STATUS** cursor) {
  if (g_script.next >= g_script.fragments.size()) return 0;
  const std::string& f = g_script.fragments[g_script.next++];
  snprintf(buffer, 20480, "%s", f.c_str());
  *cursor += 2;
  return static_cast<ISC_LONG>(f.size()) + 1;  // > 0 even for an empty fragment
}

class TFakeLibrary : public IIBClientLibrary {
 public:
  TFakeLibrary() : IIBClientLibrary("fake.so") {
    m_entries.isc_sqlcode = &FakeSqlCode;
    m_entries.isc_sql_interprete = &FakeSqlInterprete;
    m_entries.isc_interprete = &FakeInterprete;
  }
  TIBEntryPoints& Entries() { return m_entries; }
};

// Restores the process-wide message parts after a test changed them.
struct TPartsGuard {
  ~TPartsGuard() { SetErrorMessageParts(kAllErrorMessageParts); }
};

template <class E>
E Caught(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e;
  }
  throw std::logic_error("nothing raised");
}

}  // namespace

TEST(ClientErrorTable, TextsByNumberWrapAt128) {
  EXPECT_EQ(ClientErrorText(14), "Database name is missing.");
  EXPECT_EQ(ClientErrorText(12), "%s: Cannot perform operation -- DB is not open.");
  EXPECT_EQ(ClientErrorText(58),
            "Can't end a shared transaction unless it is forced and equal to the transaction's "
            "TimeoutAction.");
  EXPECT_EQ(ClientErrorText(37), "Can't %s , because  query is empty");
  EXPECT_EQ(ClientErrorText(51), "SQL Parse Error in :%s \r\n\r\n%s");
  EXPECT_EQ(ClientErrorText(78),
            "%s is an Firebird 2 function. Please upgrade to Firebird 2 to use this functonality");
  EXPECT_EQ(ClientErrorText(128 + 14), ClientErrorText(14));
  EXPECT_EQ(ClientErrorText(100), "");  // past the table
}

TEST(ClientError, CarriesNumberTextAndNoRaiser) {
  StatusVector()[1] = 335544344;
  auto e = Caught<EFIBClientError>([] { FIBError(feDatabaseNameMissing); });
  EXPECT_STREQ(e.what(), "Database name is missing.");
  EXPECT_EQ(e.SqlCode(), 14);
  EXPECT_EQ(e.ServerErrorCode(), 335544344);  // whatever the last call left
  EXPECT_EQ(e.RaiserName(), "");
  EXPECT_EQ(e.Sender(), nullptr);
  EXPECT_EQ(e.ErrorText(), "Database name is missing.");
  EXPECT_STREQ(e.ClassName(), "EFIBClientError");

  auto formatted = Caught<EDatabaseError>([] { FIBError(feDPBConstantUnknown, {"user"}); });
  EXPECT_STREQ(formatted.what(), "DPB Constant (user) is unknown.");

  auto free = Caught<EFIBClientError>([] { FIBErrorText("Field %s too small", {"X"}); });
  EXPECT_EQ(free.SqlCode(), -1);
  EXPECT_STREQ(free.what(), "Field X too small");
}

TEST(ErrorMessage, TidiesTheSqlMessage) {
  struct Case { const char* in; const char* want; };
  const Case cases[] = {
      {"", ""},
      {"bad", "Bad.\r\n"},
      {"Bad.", "Bad."},  // already ends with "." : no line break
      {"a\\nb\\n", "Ab.\r\n"},
      {"Invalid token", "Invalid token.\r\n"},
      {"1 x", "1 x.\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(TidySqlMessage(c.in), c.want);
  }
}

TEST(ErrorMessage, JoinsServerFragments) {
  const std::vector<std::string> fragments = {"first", "", "Second.", "third part"};
  size_t i = 0;
  const std::string joined = JoinServerFragments([&](std::string& f) {
    if (i == fragments.size()) return false;
    f = fragments[i++];
    return true;
  });
  EXPECT_EQ(joined, "First.\r\nSecond.\r\nThird part.\r\n");
}

TEST(ErrorMessage, ComposesFromTheSelectedParts) {
  const TErrorMessageParts all = kAllErrorMessageParts;
  EXPECT_EQ(ComposeFIBMessage(all, "Form6.db", "Sql.", "Srv.\r\n", "", ""), "Form6.db:\r\nSql.Srv.\r\n");
  EXPECT_EQ(ComposeFIBMessage(all, "X", "Sql.", "", "", ""), "Sql.");  // one-character raiser
  EXPECT_EQ(ComposeFIBMessage(all, "", "", "", "custom ", "text"), "custom text");
  EXPECT_EQ(ComposeFIBMessage(empServerMessage, "Form6.db", "Sql.", "Srv.", "", ""), "Srv.");
}

TEST(ServerError, ComposedFromTheStatusVector) {
  TFakeLibrary lib;
  TComponent form;
  form.SetName("Form6");
  TComponent* db = new TComponent(&form);
  db->SetName("pFIBDatabase");

  g_script = {};
  g_script.sqlMessage = "unsuccessful metadata update";
  g_script.fragments = {"I/O error during \"open\" operation", "", "no such file"};
  StatusVector()[1] = 335544344;
  auto e = Caught<EFIBInterBaseError>([&] { IBError(lib, db); });
  EXPECT_EQ(e.Message(),
            "Form6.pFIBDatabase:\r\n"
            "Unsuccessful metadata update.\r\n"
            "I/O error during \"open\" operation.\r\n"
            "No such file.\r\n");
  EXPECT_EQ(e.SqlCode(), -902);
  EXPECT_EQ(e.ServerErrorCode(), 335544344);
  EXPECT_EQ(e.Sender(), db);
  EXPECT_EQ(e.SqlMessage(), "Unsuccessful metadata update.\r\n");
  EXPECT_EQ(e.ErrorText(), "");

  // An SQL message ending in "." runs straight into the first fragment.
  g_script = {};
  g_script.sqlMessage = "Done.";
  g_script.fragments = {"next"};
  auto joined = Caught<EFIBInterBaseError>([&] { IBError(lib, nullptr); });
  EXPECT_EQ(joined.Message(), "Done.Next.\r\n");

  // With only the server message selected, neither the raiser nor the SQL
  // message is asked for or shown.
  TPartsGuard restore;
  SetErrorMessageParts(empServerMessage);
  g_script = {};
  g_script.sqlMessage = "never";
  g_script.fragments = {"only this"};
  auto partial = Caught<EFIBInterBaseError>([&] { IBError(lib, db); });
  EXPECT_EQ(partial.Message(), "Only this.\r\n");
  EXPECT_EQ(partial.SqlMessage(), "");
}

namespace {
TFakeLibrary* g_busyLib = nullptr;
uint8_t g_busyInside = 0;
ISC_LONG BusyProbe(const ISC_SCHAR*, short) {
  g_busyInside = g_busyLib->Busy();
  throw std::runtime_error("client fault");
}
}  // namespace

TEST(ClientLibrary, BusyFlagAndMissingEntryPoints) {
  TFakeLibrary lib;
  g_busyLib = &lib;
  lib.Entries().isc_vax_integer = &BusyProbe;
  EXPECT_THROW(lib.isc_vax_integer("\x01", 1), std::runtime_error);
  EXPECT_EQ(g_busyInside, 1);
  EXPECT_EQ(lib.Busy(), 0);  // dropped again although the call unwound

  try {
    isc_tr_handle h = 0;
    lib.isc_rollback_retaining(StatusVector(), &h);
    FAIL() << "nothing raised";
  } catch (const EFIBError&) {
    FAIL() << "not a layer error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Can't find procedure isc_rollback_retaining in fake.so");
  }
}
