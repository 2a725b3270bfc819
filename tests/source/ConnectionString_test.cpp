// The source connection string: the exact string the tool composes, the
// quoting rules, and the clear refusals of everything else.
#include "source/ConnectionString.h"

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"

namespace {

const char* const kToolString =
    "Provider=MSDASQL.1;Persist Security Info=True;User ID=admin;Extended Properties=\"DBQ="
    "VT2003.mdb;Driver={Microsoft Access Driver (*.mdb)};DriverId=25;FIL=MS Access"
    ";MaxBufferSize=2048;MaxScanRows=8;PageTimeout=5;SafeTransactions=0;Threads=3;UID=admin;"
    "UserCommitSync=Yes;\"";

TEST(ConnectionString, ToolStringNamesTheFileAndDriver) {
  const TAccessConnectionInfo info = ParseAccessConnectionString(kToolString);
  EXPECT_EQ(info.provider, "MSDASQL.1");
  EXPECT_EQ(info.driver, "Microsoft Access Driver (*.mdb)");
  EXPECT_EQ(info.databaseFile, "VT2003.mdb");
}

TEST(ConnectionString, PairsFollowQuotingRules) {
  struct Case {
    const char* text;
    std::vector<std::pair<std::string, std::string>> want;
  };
  const Case cases[] = {
      {"a=1;b=2", {{"a", "1"}, {"b", "2"}}},
      {" a = 1 ; ;b=2;", {{"a", "1"}, {"b", "2"}}},
      {"x=\"p;q\"", {{"x", "p;q"}}},
      {"x='it''s'", {{"x", "it's"}}},
      {"x=\"say \"\"hi\"\"\"", {{"x", "say \"hi\""}}},
      {"Driver={A;B}", {{"Driver", "A;B"}}},
      {"x=", {{"x", ""}}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseConnectionPairs(c.text), c.want);
  }
}

TEST(ConnectionString, KeywordsIgnoreCaseAndBracesAreOptional) {
  const auto info = ParseAccessConnectionString(
      "provider=msdasql.1;extended properties='dbq=C:\\Data\\a b.mdb;DRIVER=Microsoft Access "
      "Driver (*.mdb)'");
  EXPECT_EQ(info.databaseFile, "C:\\Data\\a b.mdb");
}

TEST(ConnectionString, RefusalsSayWhatIsWrong) {
  struct Case {
    const char* text;
    const char* messagePart;
  };
  const Case cases[] = {
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb", "Provider 'Microsoft.Jet.OLEDB.4.0' is not supported"},
      {"Provider=MSDASQL.1;Extended Properties=\"DBQ=x.mdb;Driver={SQL Server}\"", "ODBC driver 'SQL Server' is not supported"},
      {"Provider=MSDASQL.1;Extended Properties=\"DBQ=x.mdb\"", "names no ODBC driver"},
      {"Provider=MSDASQL.1;Extended Properties=\"DSN=Veltrana\"", "Data source name 'Veltrana'"},
      {"Provider=MSDASQL.1;Extended Properties=\"Driver={Microsoft Access Driver (*.mdb)}\"", "names no database file (DBQ)"},
      {"Provider=MSDASQL.1;Extended Properties=\"DBQ=x.mdb", "is not closed"},
      {"Provider=MSDASQL.1;Persist", "keyword 'Persist' has no value"},
      {"Provider=MSDASQL.1;Extended Properties=\"DBQ=x\" junk", "unexpected text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParseAccessConnectionString(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find(c.messagePart), std::string::npos) << e.Message();
    }
  }
}

}  // namespace
