// The Firebird field classes on a real dataset: strings (trimming, cutting,
// the empty-string rule), integers as Booleans, floats over scaled integer
// columns (rounding and range), BCD fields over NUMERIC(18,x), and what the
// field information step after open gives them.
#include "fib/FIBFields.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "FIBDataSet_fixture.h"
#include "fib/pFIBDataInfo.h"
#include "runtime/FormatSettings.h"

namespace {

class FieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db.Exec("create domain D_BOOLEAN smallint");
    db.Exec("create table F (ID integer not null primary key, S100 varchar(100), C10 char(10), "
            "SMALL smallint, AMOUNT numeric(9,2), SAMT numeric(4,1), B4 numeric(18,4), "
            "B2 numeric(18,2), B0 bigint, S_NN varchar(10) default '' not null, "
            "S_DEF varchar(10) default 'KOM', N_DEF numeric(9,2) default 1.5, D date, FLAG D_BOOLEAN)");
    db.Exec("insert into F (ID, C10, SMALL, AMOUNT, B4, B2, B0, S_NN, D, FLAG) "
            "values (1, 'ab', 2, 1234.5, 12.3456, 12.34, 9000000000, 'x', '2020-05-12', 1)");
    ds = db.NewDataSet("ds", "select * from F");
    ds->InsertSQL().SetText(
        "insert into F (ID, S100, C10, SMALL, AMOUNT, SAMT, B4, B2, B0, S_NN, S_DEF) values "
        "(:ID, :S100, :C10, :SMALL, :AMOUNT, :SAMT, :B4, :B2, :B0, :S_NN, :S_DEF)");
    ds->Open();
  }

  TField* F(const char* name) { return ds->FieldByName(name); }

  TDataSetScratch db;
  TpFIBDataSet* ds = nullptr;
};

TEST_F(FieldsTest, DefaultFieldClassesAndFieldInformation) {
  EXPECT_NE(dynamic_cast<TFIBStringField*>(F("S100")), nullptr);
  EXPECT_NE(dynamic_cast<TFIBSmallIntField*>(F("SMALL")), nullptr);
  EXPECT_NE(dynamic_cast<TFIBFloatField*>(F("AMOUNT")), nullptr);
  EXPECT_NE(dynamic_cast<TFIBBCDField*>(F("B4")), nullptr);
  EXPECT_NE(dynamic_cast<TFIBBooleanField*>(F("FLAG")), nullptr);  // boolean domain
  EXPECT_TRUE(F("FLAG")->AsBoolean());
  EXPECT_EQ(F("S100")->Size(), 100);
  EXPECT_EQ(F("B2")->Size(), 2);

  // Automatic formats from the column scale, the BCD size and the date type.
  auto* amount = dynamic_cast<TNumericField*>(F("AMOUNT"));
  EXPECT_EQ(amount->DisplayFormat(), "#,##0.00");
  EXPECT_EQ(amount->EditFormat(), "0.00");
  EXPECT_EQ(dynamic_cast<TNumericField*>(F("B4"))->DisplayFormat(), "#,##0.0000");
  EXPECT_EQ(dynamic_cast<TNumericField*>(F("SMALL"))->DisplayFormat(), "");
  EXPECT_EQ(dynamic_cast<TDateTimeField*>(F("D"))->DisplayFormat(), "dd.mm.yyyy");
  EXPECT_EQ(F("D")->DisplayText(), "12.05.2020");

  // Imported defaults.
  EXPECT_EQ(F("S_DEF")->DefaultExpression(), "'KOM'");
  EXPECT_TRUE(dynamic_cast<TFIBStringField*>(F("S_NN"))->DefaultValueEmptyString());
  EXPECT_EQ(F("S_NN")->DefaultExpression(), "");
  EXPECT_EQ(F("N_DEF")->DefaultExpression(), "1.5");
}

TEST_F(FieldsTest, MetadataIsReadOncePerTableAndImportFollowsTheLocale) {
  ds->Close();
  const uint64_t before = TCacheList::Instance().Executions();
  TFormatSettings fs = TFormatSettings::Fixed();
  fs.DecimalSeparator = ',';
  TScopedFormatSettings comma(fs);
  ds->Open();
  EXPECT_EQ(TCacheList::Instance().Executions(), before);
  EXPECT_EQ(F("N_DEF")->DefaultExpression(), "1,5");
}

TEST_F(FieldsTest, Strings) {
  EXPECT_EQ(F("C10")->AsString(), "ab");  // CHAR padding trimmed
  ds->Append();
  F("S100")->SetAsString("");
  EXPECT_TRUE(F("S100")->IsNull());
  EXPECT_EQ(F("S100")->AsString(), "");
  EXPECT_TRUE(F("S100")->AsVariant().IsNull());
  F("S100")->SetAsString(std::string(100, 'a') + "b");
  EXPECT_EQ(F("S100")->AsString(), std::string(100, 'a'));
  F("S100")->SetAsString("kraj \t");
  EXPECT_EQ(F("S100")->AsString(), "kraj");
  F("C10")->SetAsString("abcdefghijklm");
  EXPECT_EQ(F("C10")->AsString(), "abcdefghij");

  // The empty-string rule by column: nullable without default, not null with
  // an empty default, and a column with another default.
  struct Case { const char* column; bool null; };
  for (const Case& c : {Case{"S100", true}, Case{"S_NN", false}, Case{"S_DEF", true}}) {
    SCOPED_TRACE(c.column);
    F(c.column)->SetAsString("");
    EXPECT_EQ(F(c.column)->IsNull(), c.null);
  }
  // The field's own switch turns the rule off.
  dynamic_cast<TFIBStringField*>(F("S100"))->SetEmptyStrToNull(false);
  F("S100")->SetAsString("");
  EXPECT_FALSE(F("S100")->IsNull());
}

TEST_F(FieldsTest, IntegersAsBooleans) {
  ds->Append();
  struct Case { int value; bool expected; };
  for (const Case& c : {Case{2, true}, Case{1, true}, Case{0, false}, Case{-1, false}}) {
    F("SMALL")->SetAsInteger(c.value);
    EXPECT_EQ(F("SMALL")->AsBoolean(), c.expected) << c.value;
  }
  F("SMALL")->SetAsBoolean(true);
  EXPECT_EQ(F("SMALL")->AsInteger(), 1);
  EXPECT_EQ(ErrorOf([&] { F("SMALL")->SetAsInteger(40000); }),
            "40000 is not a valid value for field 'SMALL'. The allowed range is -32768 to 32767");
}

TEST_F(FieldsTest, FloatsOverScaledIntegers) {
  EXPECT_EQ(F("AMOUNT")->DisplayText(), "1,234.50");
  ds->Append();
  struct Case { double in, stored; };
  for (const Case& c : {Case{0.125, 0.12}, Case{0.375, 0.38}, Case{-0.125, -0.12}, Case{2.005, 2.0},
                        Case{21474836.47, 21474836.47}}) {
    F("AMOUNT")->SetAsFloat(c.in);
    EXPECT_DOUBLE_EQ(F("AMOUNT")->AsFloat(), c.stored) << c.in;
  }
  EXPECT_EQ(ErrorOf([&] { F("AMOUNT")->SetAsFloat(30000000); }),
            "30000000 is not a valid value for field 'AMOUNT'. The allowed range is -21474836.47 to "
            "21474836.47");
  EXPECT_EQ(ErrorOf([&] { F("SAMT")->SetAsFloat(3276.8); }),
            "3276.8 is not a valid value for field 'SAMT'. The allowed range is -3276.7 to 3276.7");
  dynamic_cast<TFIBFloatField*>(F("AMOUNT"))->SetRoundByScale(false);
  F("AMOUNT")->SetAsFloat(0.125);  // the store still rounds to the column: ties to even
  EXPECT_DOUBLE_EQ(F("AMOUNT")->AsFloat(), 0.12);
}

TEST_F(FieldsTest, BcdFields) {
  EXPECT_EQ(F("B4")->AsCurrency(), Currency::FromRaw(123456));
  EXPECT_DOUBLE_EQ(F("B4")->AsFloat(), 12.3456);
  EXPECT_EQ(F("B2")->AsCurrency(), Currency::FromRaw(123400));
  EXPECT_EQ(F("B2")->AsString(), "12.34");
  EXPECT_EQ(F("B2")->DisplayText(), "12.34");
  EXPECT_EQ(F("B0")->AsVariant().BaseType(), varInt64);
  EXPECT_EQ(F("B0")->AsString(), "9000000000");
  EXPECT_EQ(F("B4")->AsVariant().BaseType(), varCurrency);
  EXPECT_EQ(F("B2")->AsVariant().BaseType(), varDouble);

  ds->Append();
  F("B2")->SetAsCurrency(Currency::FromRaw(12345));  // 1.2345 -> 1.23 (ties to even on 1.2345)
  EXPECT_EQ(F("B2")->AsString(), "1.23");
  F("B2")->SetAsString(" -7.125 ");
  EXPECT_EQ(F("B2")->AsCurrency(), Currency::FromRaw(-71200));
  F("B2")->SetAsString("");
  EXPECT_TRUE(F("B2")->IsNull());
  F("B4")->SetAsLargeInt(5);
  EXPECT_EQ(F("B4")->AsString(), "5");
  F("B0")->SetAsString("123456789012");
  EXPECT_EQ(F("B0")->AsLargeInt(), 123456789012);
  EXPECT_EQ(ErrorOf([&] { F("B4")->SetAsFloat(1e30); }), "Form6.ds.B4\r\nFloating point overflow");
  EXPECT_THROW(F("B2")->SetAsString("12x"), Exception);

  // The values reach the database as the column's scaled integers.
  F("ID")->SetAsInteger(2);
  F("S_NN")->SetAsString("y");
  F("B2")->SetAsCurrency(Currency::FromRaw(99999));
  ds->Post();
  auto q = db.Query("select B4, B2, B0 from F where ID = 2");
  q->ExecQuery();
  EXPECT_EQ(q->Fields(0)->AsString(), "5.0000");
  EXPECT_EQ(q->Fields(1)->AsString(), "10.00");
  EXPECT_EQ(q->Fields(2)->AsString(), "123456789012");
  q->Close();
}

}  // namespace

namespace {

// A boolean domain makes the column a Boolean definition, so a persistent
// small-integer field on it no longer fits.
TEST_F(FieldsTest, PersistentSmallIntOnABooleanDomain) {
  ds->Close();
  auto* flag = new TFIBSmallIntField(db.Form.get());
  flag->SetFieldName("FLAG");
  flag->SetDataSet(ds);
  EXPECT_EQ(ErrorOf([&] { ds->Open(); }),
            "ds: Type mismatch for field 'FLAG', expecting: SmallInt actual: Boolean");
  EXPECT_FALSE(ds->Active());
  ds->SetPrepareOptions(ds->PrepareOptions() & ~psUseBooleanField);
  ds->SelectSQL().SetText("select FLAG from F");  // new definitions
  ds->Open();
  EXPECT_EQ(flag->AsInteger(), 1);
}

}  // namespace

namespace {

// A row key reads as hexadecimal, eight digits per 4-byte group.
TEST_F(FieldsTest, DbKeyAsHexadecimal) {
  ds->Close();
  ds->SelectSQL().SetText("select RDB$DB_KEY, ID from F");
  ds->Open();
  const std::string key = F("DB_KEY")->AsString();
  ASSERT_EQ(key.size(), 16u) << key;
  EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos) << key;
  auto q = db.Query("select RDB$DB_KEY from F where ID = 1");
  q->ExecQuery();
  const std::string raw = q->Fields(0)->AsString();
  q->Close();
  ASSERT_EQ(raw.size(), 8u);
  std::string expected;
  for (size_t i = 0; i < 8; i += 4) {
    uint32_t group;
    std::memcpy(&group, raw.data() + i, 4);
    char text[9];
    std::snprintf(text, sizeof text, "%08x", group);
    expected += text;
  }
  EXPECT_EQ(key, expected);
}

}  // namespace
