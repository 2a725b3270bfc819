// The column metadata cache: what it reads from the system tables, that it
// reads each table once per database name, and how imported defaults take
// the form of each field class.
#include "fib/pFIBDataInfo.h"

#include <gtest/gtest.h>

#include "FIBQuery_fixture.h"
#include "fib/FIBFields.h"
#include "runtime/FormatSettings.h"

namespace {

const char* const kMetaDDL[] = {
    "CREATE DOMAIN D_BOOLEAN SMALLINT",
    "CREATE DOMAIN D_KOM VARCHAR(10) DEFAULT 'KOM'",
    "CREATE TABLE T1 (ID INTEGER NOT NULL PRIMARY KEY, JM D_KOM, "
    "S_EMPTY VARCHAR(20) DEFAULT '' NOT NULL, S_QUOTE VARCHAR(20) DEFAULT 'it''s', "
    "OWN_KOM D_KOM DEFAULT 'PCS', N0 NUMERIC(9,2) DEFAULT 0, N15 NUMERIC(9,2) DEFAULT 1.5, "
    "FLAG D_BOOLEAN, MEMO BLOB SUB_TYPE 1, C COMPUTED BY (ID * 2))",
    "CREATE PROCEDURE P1 RETURNS (X INTEGER, Y VARCHAR(5)) AS BEGIN SUSPEND; END",
};

class MetadataCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sql : kMetaDDL) db.Exec(sql);
  }
  TScratchDatabase db;
  TpFIBTableInfoCollect& cache = TpFIBTableInfoCollect::Instance();
};

TEST_F(MetadataCacheTest, ReadsDomainsDefaultsAndComputedColumns) {
  TpFIBTableInfo* t = cache.GetTableInfo(*db.Database, "T1");
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->FieldCount(), 10);
  EXPECT_EQ(t->FieldName(0), "ID");
  EXPECT_EQ(t->FieldName(9), "C");
  EXPECT_GT(t->FormatNumber(), 0);

  struct Case { const char* column; const char* defaultValue; bool emptyDefault; };
  const Case cases[] = {
      {"ID", "", false},           {"JM", "KOM", false},       // the domain's default
      {"S_EMPTY", "", true},       {"S_QUOTE", "it''s", false},  // inner quotes stay doubled
      {"OWN_KOM", "PCS", false},   // the column's own default wins over the domain's
      {"N0", "0", false},          {"N15", "1.5", false},      {"FLAG", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    TpFIBFieldInfo* f = t->FieldInfo(c.column);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->DefaultValue, c.defaultValue);
    EXPECT_EQ(f->DefaultValueEmptyString, c.emptyDefault);
  }
  EXPECT_TRUE(t->FieldInfo("FLAG")->CanBeBoolean());
  EXPECT_FALSE(t->FieldInfo("N0")->CanBeBoolean());
  EXPECT_EQ(t->FieldInfo("JM")->DomainName, "D_KOM");
  EXPECT_TRUE(t->FieldInfo("C")->IsComputed);
  EXPECT_FALSE(t->FieldInfo("ID")->IsComputed);
  EXPECT_FALSE(t->FieldInfo("MEMO")->CanIncToWhereClause);
  EXPECT_TRUE(t->FieldInfo("ID")->CanIncToWhereClause);
  EXPECT_EQ(t->FieldInfo("NOPE"), nullptr);
}

TEST_F(MetadataCacheTest, QueriesRunOncePerTableAndDatabaseName) {
  const uint64_t before = TCacheList::Instance().Executions();
  ASSERT_NE(cache.GetFieldInfo(*db.Database, "T1", "JM"), nullptr);
  const uint64_t afterFirst = TCacheList::Instance().Executions();
  EXPECT_EQ(afterFirst - before, 2u);  // format number and columns
  // Quoted and padded names find the same entry; nothing is read again.
  EXPECT_EQ(cache.GetFieldInfo(*db.Database, " \"T1\" ", "\"JM\""),
            cache.GetFieldInfo(*db.Database, "T1", "JM"));
  EXPECT_EQ(TCacheList::Instance().Executions(), afterFirst);

  // Another database name is another entry, though it is the same file.
  std::string path = db.Path();
  TFIBDatabase other;
  other.SetDBName(path.insert(path.rfind('/'), "/."));
  ASSERT_NE(other.DBName(), db.Database->DBName());
  other.DBParams().Add("user_name=SYSDBA");
  other.DBParams().Add("password=m");
  other.SetSQLDialect(3);
  other.SetConnected(true);
  ASSERT_NE(cache.GetFieldInfo(other, "T1", "JM"), nullptr);
  EXPECT_EQ(TCacheList::Instance().Executions(), afterFirst + 2);
  other.SetConnected(false);
}

TEST_F(MetadataCacheTest, ProcedureOutputsWhenNoTable) {
  TpFIBTableInfo* p = cache.GetTableInfo(*db.Database, "P1");
  ASSERT_EQ(p->FieldCount(), 2);
  EXPECT_EQ(p->FieldName(0), "X");
  EXPECT_NE(p->FieldInfo("Y"), nullptr);
  // An unknown name is an empty entry, not an error.
  EXPECT_EQ(cache.GetTableInfo(*db.Database, "NO_SUCH_TABLE")->FieldCount(), 0);
}

TEST_F(MetadataCacheTest, FailedLoadAddsNoEntry) {
  db.Database->SetConnected(false);
  const int count = cache.Count();
  EXPECT_THROW(cache.GetTableInfo(*db.Database, "T1"), Exception);
  EXPECT_EQ(cache.Count(), count);
  db.Database->SetConnected(true);
  EXPECT_NE(cache.GetFieldInfo(*db.Database, "T1", "JM"), nullptr);
}

TEST(MetadataTextTest, DefaultSourceParsing) {
  struct Case { const char* in; const char* want; };
  const Case cases[] = {
      {"DEFAULT 'KOM'", "KOM"},  {"default ''", ""},          {"DEFAULT 0", "0"},
      {"DEFAULT 1.5", "1.5"},    {"DEFAULT 'it''s'", "it''s"}, {"DEFAULT CURRENT_DATE", "CURRENT_DATE"},
      {"DEFAULT \"x\"", "x"},    {"  DEFAULT   'a b'  ", "a b"}, {"DEFAULT 'a\"", "'a\""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(TpFIBTableInfoCollect::ParseDefaultSource(c.in), c.want);
  }
  EXPECT_EQ(TpFIBTableInfoCollect::NormalizeName(" \"Ab\"\"c\" "), "Abc");
}

TEST(MetadataTextTest, WidenFormat) {
  struct Case { const char* format; int decimals; const char* want; };
  const Case cases[] = {{"#,##0.", 2, "#,##0.00"}, {"0.", 2, "0.00"}, {"0.#", 3, "0.###"},
                        {"0.00", 1, "0.00"},       {"#,##0.", 0, "#,##0."}, {"", 2, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(WidenFormat(c.format, c.decimals), c.want);
  }
}

// The imported default as each field class takes it, under a "." and a ","
// decimal separator (nullopt: DefaultExpression stays as it was).
TEST(MetadataTextTest, ImportedDefaultByFieldClass) {
  TFIBStringField str;
  TFIBIntegerField integer;
  TFIBFloatField flt;
  TFIBDateField date;
  TFIBBooleanField boolean;
  boolean.SetStringTrue("Da");
  const std::optional<std::string> keep;
  struct Case { TField* field; const char* text; std::optional<std::string> dot, comma; };
  const Case cases[] = {
      {&str, "KOM", "'KOM'", "'KOM'"},
      {&str, "", keep, keep},
      {&integer, "0", "0", "0"},
      {&flt, "1.5", "1.5", "1,5"},
      {&flt, "", keep, ""},  // no default clears a form's expression only under ","
      {&flt, "GEN_ID(G, 1)", keep, "GEN_ID(G, 1)"},
      {&date, " today ", "today", "today"},
      {&date, "", "", ""},
      {&date, "2020-05-12", "12.05.2020", "12.05.2020"},
      {&date, "5/12/2020", "12.05.2020", "12.05.2020"},
      {&boolean, "1", "Da", "Da"},
      {&boolean, "0", "False", "False"},
      {&boolean, "2", keep, keep},
  };
  for (char separator : {'.', ','}) {
    TFormatSettings fs = TFormatSettings::Fixed();
    fs.DecimalSeparator = separator;
    fs.ShortDateFormat = "dd.mm.yyyy";
    TScopedFormatSettings scoped(fs);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.field->DataType());
      SCOPED_TRACE(std::string("'") + c.text + "' with " + separator);
      EXPECT_EQ(ImportedDefault(*c.field, c.text), separator == '.' ? c.dot : c.comma);
    }
  }
}

}  // namespace
