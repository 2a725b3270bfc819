// The changed-value check on columns of character sets other than the
// tool's code page: the held bytes read in the column's own set, and what
// the system tables declare about the target's tables.
#include "app/Unit6Fidelity.h"

#include <gtest/gtest.h>

#include <memory>

#include "FibTestSupport.h"
#include "fib/FIBDatabase.h"

namespace {

TEST(Unit6Fidelity, HeldBytesReadInTheColumnsCharacterSet) {
  const struct {
    const char* what;
    std::u16string original;
    std::string held;
    TTargetColumn column;
    std::string change;
  } cases[] = {
      {"Cyrillic fits WIN1251", u"Хемикал", "\xD5\xE5\xEC\xE8\xEA\xE0\xEB", {100, "WIN1251"}, ""},
      {"Serbian letters outside WIN1251", u"Хем Šš", "\xD5\xE5\xEC ??", {100, "WIN1251"},
       "2 znaka van skupa WIN1251 zamenjeno sa '?' (U+0160, U+0161)"},
      {"DOS852 holds Serbian letters", u"Čč Ж", "\xAC\x9F ?", {100, "DOS852"},
       "1 znak van skupa DOS852 zamenjeno sa '?' (U+0416)"},
      {"ISO8859_2", u"Šš", "\xA9\xB9", {100, "ISO8859_2"}, ""},
      {"UTF8 cut in characters, not bytes", u"Ωμέγα 😀 abc", "Ωμέγα", {5, "UTF8"},
       "skraceno sa 11 na 5 znakova (izgubljeno: ' ? abc')"},
      {"a set without a conversion reads as the code page", u"Ж\u0161", "?\x9A", {100, "SJIS_0208"},
       "1 znak van skupa SJIS_0208 zamenjeno sa '?' (U+0416)"},
      {"an undeclared column", u"Ж\u0161", "?\x9A", {}, "1 znak van skupa WINDOWS-1250 zamenjeno sa '?' (U+0416)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DescribeValueChange(c.original, c.held, c.column), c.change);
  }
}

// Text columns and keys as declared, read once per table: a change of the
// declarations is seen after Clear (the window clears on every "Otvori").
TEST(Unit6Fidelity, TargetMetadataReadsTheDeclarations) {
  fibtest::TScratchDir dir;
  const std::string path = fibtest::CreateDatabase(
      dir, "meta.fdb", 3,
      "CREATE TABLE T (A INTEGER NOT NULL, B VARCHAR(10) CHARACTER SET UTF8, C INTEGER NOT NULL, "
      "D CHAR(3) CHARACTER SET WIN1251, E VARCHAR(7), "
      "CONSTRAINT UQ_T UNIQUE (B), CONSTRAINT PK_T PRIMARY KEY (C, A));");
  TComponent owner;
  auto* db = new TFIBDatabase(&owner);
  db->SetDBName(path);
  db->DBParams().Add("user_name=SYSDBA");
  db->DBParams().Add("password=x");
  db->SetSQLDialect(3);
  auto* read = new TFIBTransaction(&owner);
  read->SetDefaultDatabase(db);
  for (const char* p : {"read", "read_committed", "rec_version", "nowait"}) read->TRParams().Add(p);
  auto* write = new TFIBTransaction(&owner);
  write->SetDefaultDatabase(db);
  db->SetConnected(true);
  read->StartTransaction();

  TTargetMetadata metadata(db, read);
  auto column = [&](const char* name) {
    const TTargetColumn& c = metadata.TextColumn("T", name);
    return std::to_string(c.charLength) + " " + c.charSet;
  };
  EXPECT_EQ(column("B"), "10 UTF8");
  EXPECT_EQ(column("D"), "3 WIN1251");
  EXPECT_EQ(column("E"), "7 NONE");
  EXPECT_EQ(column("A"), "-1 ");  // not a text column
  EXPECT_EQ(metadata.TextColumn("NO_SUCH_TABLE", "B").charLength, -1);
  const std::vector<TTargetKey>& keys = metadata.Keys("T");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].name, "PK_T");
  EXPECT_EQ(keys[0].columns, (std::vector<std::string>{"C", "A"}));
  EXPECT_EQ(keys[1].name, "UQ_T");
  EXPECT_EQ(keys[1].columns, std::vector<std::string>{"B"});
  EXPECT_TRUE(metadata.Keys("NO_SUCH_TABLE").empty());

  write->StartTransaction();
  fibtest::ExecSQL(*db, *write, "ALTER TABLE T ALTER E TYPE VARCHAR(20)");
  write->Commit();
  write->StartTransaction();
  fibtest::ExecSQL(*db, *write, "ALTER TABLE T DROP CONSTRAINT UQ_T");
  write->Commit();
  metadata.Clear();
  EXPECT_EQ(column("E"), "20 NONE");
  EXPECT_EQ(metadata.Keys("T").size(), 1u);
}

}  // namespace
