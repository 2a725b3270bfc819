// Descriptor value conversions: every SQL type written through parameters and
// read back through columns of the embedded engine, NULLs included, and the
// conversion rules that decide what travels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fib/FIBQuery.h"
#include "fib/fib.h"
#include "runtime/CodePage.h"
#include "runtime/FormatSettings.h"
#include "FIBQuery_fixture.h"

namespace {

const char* kAllTypes =
    "CREATE TABLE ALLT (ID INTEGER NOT NULL, SM SMALLINT, I INTEGER, BI BIGINT, N0 NUMERIC(18,0), "
    "D1 DECIMAL(4,1), N2 NUMERIC(15,2), N3 NUMERIC(9,3), N4 NUMERIC(18,4), N6 NUMERIC(18,6), "
    "F FLOAT, DP DOUBLE PRECISION, DT DATE, TM TIME, TS TIMESTAMP, "
    "CN CHAR(6), VN VARCHAR(20), CW CHAR(6) CHARACTER SET WIN1250, VW VARCHAR(20) CHARACTER SET WIN1250, "
    "CU CHAR(6) CHARACTER SET UTF8, VU VARCHAR(20) CHARACTER SET UTF8, "
    "BT BLOB SUB_TYPE 1, BB BLOB SUB_TYPE 0, BU BLOB SUB_TYPE 1 CHARACTER SET UTF8)";

const char* kColumns[] = {"SM", "I",  "BI", "N0", "D1", "N2", "N3", "N4", "N6", "F",  "DP", "DT",
                          "TM", "TS", "CN", "VN", "CW", "VW", "CU", "VU", "BT", "BB", "BU"};

std::string InsertText() {
  std::string cols = "ID", vals = ":ID";
  for (const char* c : kColumns) {
    cols += std::string(", ") + c;
    vals += std::string(", :") + c;
  }
  return "INSERT INTO ALLT (" + cols + ") VALUES (" + vals + ")";
}

// Serbian letters in the system code page (Windows-1250).
const std::string kCz = "\xE8\x9E";            // čž
const std::string kDjordje = "\xD0or\xF0" "e";  // Đorđe
const std::string kSab = "\x8A" "aba";          // Šaba

struct TAllTypes : ::testing::Test {
  TScratchDatabase db;
  void SetUp() override { db.Exec(kAllTypes); }

  std::unique_ptr<TFIBQuery> SelectRow(int id) {
    auto q = db.Query("SELECT * FROM ALLT WHERE ID = " + std::to_string(id));
    q->SetOptions(qoStartTransaction | qoTrimCharFields);
    q->ExecQuery();
    return q;
  }
};

}  // namespace

TEST_F(TAllTypes, EveryTypeRoundTripsThroughTypedWriters) {
  std::string longText(40000, 'x');
  longText[39999] = 'y';
  const std::string binary("\0\1\2\xFF\0", 5);
  const TDateTime date = EncodeDate(2024, 2, 29);
  const TDateTime time = EncodeTime(13, 14, 15, 678);
  const TDateTime oldStamp = ComposeDateTime(EncodeDate(1850, 1, 2), EncodeTime(6, 30, 0, 5));
  {
    auto ins = db.Query(InsertText());
    auto P = [&](const char* n) { return ins->ParamByName(n); };
    P("ID")->SetAsInteger(1);
    P("SM")->SetAsInteger(-12345);
    P("I")->SetAsInteger(std::numeric_limits<int32_t>::min());
    P("BI")->SetAsInt64(9007199254740993LL);
    P("N0")->SetAsInt64(-123456789012345678LL);
    P("D1")->SetAsString("-123,4");
    P("N2")->SetAsCurrency(Currency::FromRaw(129900));
    P("N3")->SetAsDouble(-1.5);
    P("N4")->SetAsBCD({123456789, 4});
    P("N6")->SetAsBCD({-1000001, 6});
    P("F")->SetAsFloat(1.5);
    P("DP")->SetAsDouble(0.1);
    P("DT")->SetAsDate(date + 0.75);
    P("TM")->SetAsTime(time);
    P("TS")->SetAsDateTime(oldStamp);
    P("CN")->SetAsString("GP");
    P("VN")->SetAsString(kDjordje);
    P("CW")->SetAsString(kCz);
    P("VW")->SetAsString(kSab);
    P("CU")->SetAsString(kCz);
    P("VU")->SetAsString(kDjordje);
    P("BT")->SetAsString(longText);
    P("BB")->LoadFromStream(binary);
    P("BU")->SetAsString(kSab);
    ins->ExecQuery();
    ins->ParamByName("ID")->SetAsInteger(2);
    for (const char* c : kColumns) ins->ParamByName(c)->SetIsNull(true);
    ins->ExecQuery();
    db.Transaction->Commit();
  }
  auto q = SelectRow(1);
  auto C = [&](const char* n) { return q->FieldByName(n); };
  EXPECT_EQ(C("SM")->AsInteger(), -12345);
  EXPECT_EQ(C("I")->AsInteger(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(C("BI")->AsInt64(), 9007199254740993LL);
  EXPECT_EQ(C("BI")->AsVariant().BaseType(), varInt64);
  EXPECT_EQ(C("N0")->AsInt64(), -123456789012345678LL);
  EXPECT_EQ(C("D1")->AsDouble(), -123.4);
  EXPECT_EQ(C("N2")->AsCurrency().Raw, 129900);
  EXPECT_EQ(C("N3")->AsDouble(), -1.5);
  EXPECT_EQ(C("N4")->AsBCD(), (TFIBBcd{123456789, 4}));
  EXPECT_EQ(C("N6")->AsBCD(), (TFIBBcd{-1000001, 6}));
  EXPECT_EQ(C("F")->AsDouble(), 1.5);
  EXPECT_EQ(C("DP")->AsDouble(), 0.1);
  EXPECT_EQ(C("DT")->AsDateTime(), date);
  EXPECT_EQ(C("TM")->AsTimeStamp().Time, 47655678);
  EXPECT_EQ(C("TM")->AsTimeStamp().Date, 0);
  const TTimeStamp ts = C("TS")->AsTimeStamp();
  EXPECT_EQ(ts.Date, static_cast<int>(std::trunc(oldStamp)) + 693594);
  EXPECT_EQ(ts.Time, 6 * 3600000 + 30 * 60000 + 5);
  EXPECT_NEAR(C("TS")->AsDateTime(), oldStamp, 1e-9);
  EXPECT_EQ(C("CN")->AsString(), "GP");
  EXPECT_EQ(C("VN")->AsString(), kDjordje);
  EXPECT_EQ(C("CW")->AsString(), kCz);
  EXPECT_EQ(C("VW")->AsString(), kSab);
  EXPECT_EQ(C("CU")->AsString(), kCz);
  EXPECT_EQ(C("VU")->AsString(), kDjordje);
  EXPECT_EQ(C("VU")->AsVariant().BaseType(), varOleStr);
  EXPECT_EQ(C("VU")->AsWideString(), AnsiToWide(kDjordje));
  EXPECT_EQ(C("BT")->AsString(), longText);
  EXPECT_EQ(C("BB")->AsString(), binary);
  EXPECT_EQ(C("BU")->AsString(), kSab);
  q->Close();

  auto n = SelectRow(2);
  for (const char* c : kColumns) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(n->FieldByName(c)->IsNull());
    EXPECT_TRUE(n->FieldByName(c)->AsVariant().IsNull());
    EXPECT_EQ(n->FieldByName(c)->AsString(), "");
  }
  n->Close();
}

TEST_F(TAllTypes, VariantWriterAndDeferredSettings) {
  auto ins = db.Query("INSERT INTO ALLT (ID, SM, N2, DT, TS, VU, I) VALUES (:ID, :SM, :N2, :DT, :TS, :VU, :I)");
  // Assigned before the statement was ever prepared: deferred until execution.
  ins->ParamByName("TS")->SetAsVariant(Variant(45000.5));
  EXPECT_TRUE(ins->ParamByName("TS")->Deferred());
  ins->ParamByName("ID")->SetAsVariant(Variant(int32_t{3}));
  ins->ParamByName("SM")->SetAsVariant(Variant(true));
  EXPECT_EQ(ins->ParamByName("SM")->SQLType(), SQL_LONG);  // Boolean variant: LONG 1
  ins->ParamByName("N2")->SetAsVariant(Variant(Currency::FromRaw(-5)));
  ins->ParamByName("VU")->SetAsVariant(Variant(AnsiToWide(kDjordje)));
  ins->ParamByName("I")->SetAsVariant(Variant(int16_t{-7}));
  ins->Prepare();
  // Once prepared the declared type is known: a date-time for DATE goes as a midnight TIMESTAMP.
  ins->ParamByName("DT")->SetAsVariant(Variant::FromDate(EncodeDate(2001, 5, 6) + 0.5));
  EXPECT_EQ(ins->ParamByName("DT")->SQLType(), SQL_TIMESTAMP);
  EXPECT_EQ(ins->ParamByName("DT")->AsTimeStamp().Time, 0);
  ins->ExecQuery();
  db.Transaction->Commit();

  auto q = SelectRow(3);
  EXPECT_EQ(q->FieldByName("SM")->AsInteger(), 1);
  EXPECT_EQ(q->FieldByName("N2")->AsCurrency().Raw, 0);  // -0.0005 rounds to two decimals
  EXPECT_EQ(q->FieldByName("DT")->AsDateTime(), EncodeDate(2001, 5, 6));
  EXPECT_EQ(q->FieldByName("TS")->AsDateTime(), 45000.5);
  EXPECT_EQ(q->FieldByName("VU")->AsString(), kDjordje);
  EXPECT_EQ(q->FieldByName("I")->AsInteger(), -7);
  q->Close();
}

TEST_F(TAllTypes, DeferredTextOfDuplicatedParameterIsEncodedOnce) {
  // Assigned before prepare on the NONE connection, for two UTF8 columns.
  auto ins = db.Query("INSERT INTO ALLT (ID, VU, CU) VALUES (4, :X, :X)");
  ins->ParamByName("X")->SetAsString(kDjordje);
  ins->ExecQuery();
  db.Transaction->Commit();
  auto q = SelectRow(4);
  EXPECT_EQ(q->FieldByName("VU")->AsString(), kDjordje);
  EXPECT_EQ(q->FieldByName("CU")->AsString(), kDjordje);
  q->Close();
}

TEST_F(TAllTypes, RewrittenStatementSendsNumbersForTimestampsAsDates) {
  db.Exec("INSERT INTO ALLT (ID, TS) VALUES (9, '2023-03-15 12:00:00')");
  auto q = db.Query("SELECT ID FROM ALLT WHERE I = :I AND TS = :TS");
  q->ParamByName("I")->SetIsNull(true);
  // A Double before any prepare; the null I makes the text rewritten.
  q->ParamByName("TS")->SetAsVariant(Variant(EncodeDate(2023, 3, 15) + 0.5));
  q->ExecQuery();
  EXPECT_TRUE(q->Rewritten());
  ASSERT_EQ(q->RecordCount(), 1);
  EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 9);
  q->Close();
}

TEST_F(TAllTypes, StringWriterFollowsTheDeclaredType) {
  auto ins = db.Query("INSERT INTO ALLT (ID, I, N2, DT, TS, VN, CN) VALUES (:ID, :I, :N2, :DT, :TS, :VN, :CN)");
  ins->Prepare();
  ins->ParamByName("ID")->SetAsInteger(4);
  for (const char* n : {"I", "N2", "DT", "TS"}) {
    ins->ParamByName(n)->SetAsString("");
    EXPECT_TRUE(ins->ParamByName(n)->IsNull()) << n;
  }
  ins->ParamByName("VN")->SetAsString("");
  EXPECT_FALSE(ins->ParamByName("VN")->IsNull());
  ins->ParamByName("CN")->SetAsString("");
  ins->ExecQuery();
  ins->ParamByName("ID")->SetAsInteger(5);
  ins->ParamByName("N2")->SetAsString("12,5");
  EXPECT_EQ(ins->ParamByName("N2")->AsString(), "12.5");
  EXPECT_EQ(ins->ParamByName("N2")->SQLType(), SQL_TEXT);
  ins->ExecQuery();
  db.Transaction->Commit();
  auto q = SelectRow(4);
  EXPECT_TRUE(q->FieldByName("I")->IsNull());
  EXPECT_TRUE(q->FieldByName("TS")->IsNull());
  EXPECT_FALSE(q->FieldByName("VN")->IsNull());
  EXPECT_EQ(q->FieldByName("VN")->AsString(), "");
  q->Close();
  auto r = SelectRow(5);
  EXPECT_EQ(r->FieldByName("N2")->AsCurrency().Raw, 125000);
  r->Close();

  // A text longer than the column goes whole; the server refuses it at execution.
  // A Unicode text blob assigned once the type is known.
  auto blob = db.Query("INSERT INTO ALLT (ID, BU) VALUES (8, :BU)");
  blob->Prepare();
  blob->ParamByName("BU")->SetAsString(kDjordje);
  blob->ExecQuery();
  db.Transaction->Commit();
  auto b = SelectRow(8);
  EXPECT_EQ(b->FieldByName("BU")->AsString(), kDjordje);
  b->Close();

  auto tooLong = db.Query("INSERT INTO ALLT (ID, CU) VALUES (6, :CU)");
  tooLong->ParamByName("CU")->SetAsString("1234567");
  EXPECT_EQ(tooLong->ParamByName("CU")->SQLLen(), 7);
  EXPECT_THROW(tooLong->ExecQuery(), EFIBInterBaseError);
  EXPECT_TRUE(tooLong->Prepared());
}

TEST_F(TAllTypes, CharColumnKeepsPaddingWithoutTrimOption) {
  db.Exec("INSERT INTO ALLT (ID, CN, VN) VALUES (7, 'GP', '12x')");
  auto q = db.Query("SELECT CN, VN FROM ALLT WHERE ID = 7");
  q->ExecQuery();
  EXPECT_EQ(q->FieldByName("CN")->AsString(), "GP    ");
  EXPECT_EQ(q->FieldByName("CN")->SQLLen(), 6);
  try {
    q->FieldByName("VN")->AsInteger();
    FAIL() << "no error";
  } catch (const EFIBClientError& e) {
    EXPECT_EQ(e.SqlCode(), 33);
    EXPECT_EQ(e.Message(), "Invalid data conversion.");
  }
  EXPECT_EQ(ErrorOf([&] { q->FieldByName("VN")->AsDateTime(); }), "Invalid data conversion.");
  q->Close();
}

// Conversions on raw slots, without a server.
TEST(FIBXSQLVar, ReadersOfScaledIntegers) {
  TFIBQuery q;
  q.SetSQLText("SELECT * FROM T WHERE A = :A AND B = :B");
  TFIBXSQLVAR* a = q.ParamByName("A");
  const int64_t raw = 1299;
  a->SetRawValue(SQL_INT64, 8, &raw);
  a->SetScale(-2);
  TFormatSettings comma = TFormatSettings::Fixed();
  comma.DecimalSeparator = ',';
  TScopedFormatSettings scoped(comma);
  EXPECT_EQ(a->AsInteger(), 12);
  EXPECT_EQ(a->AsInt64(), 12);
  EXPECT_EQ(a->AsDouble(), 12.99);
  EXPECT_EQ(a->AsString(), "12,99");
  EXPECT_EQ(a->AsVariant().BaseType(), varDouble);
  EXPECT_EQ(a->AsCurrency().Raw, 129900);
  EXPECT_EQ(a->AsBCD(), (TFIBBcd{1299, 2}));
  const int64_t neg = -5;
  a->SetRawValue(SQL_INT64, 8, &neg);
  a->SetScale(-3);
  EXPECT_EQ(a->AsString(), "-0,005");
  const int16_t s = -125;
  a->SetRawValue(SQL_SHORT, 2, &s);
  a->SetScale(-1);
  EXPECT_EQ(a->AsInteger(), -12);
  EXPECT_EQ(a->AsString(), "-12,5");
  EXPECT_EQ(ErrorOf([&] { a->AsBoolean(); }), "no error");
  // NUMERIC(9,2) travels as LONG: it reads as the double nearest its decimal value.
  for (const int32_t v : {1299, -199998, 2049}) {
    a->SetRawValue(SQL_LONG, 4, &v);
    a->SetScale(-2);
    EXPECT_EQ(a->AsDouble(), v / 100.0) << v;
  }
  const int16_t s4 = 12345;
  a->SetRawValue(SQL_SHORT, 2, &s4);
  a->SetScale(-4);
  EXPECT_EQ(a->AsDouble(), 1.2345);
  EXPECT_EQ(ErrorOf([&] { a->AsQuad(); }), "Invalid data conversion.");
}

TEST(FIBXSQLVar, NullStateAndWritersReachNamesakes) {
  TFIBQuery q;
  q.SetSQLText("SELECT * FROM T WHERE A = :A OR C = :A");
  TFIBXSQLVAR* a0 = q.Params()[0];
  TFIBXSQLVAR* a1 = q.Params()[1];
  EXPECT_TRUE(a0->IsNull());  // untyped
  EXPECT_FALSE(a0->Typed());
  a0->SetAsBoolean(true);
  EXPECT_EQ(a1->SQLType(), SQL_SHORT);
  EXPECT_EQ(a1->AsInteger(), 1);
  EXPECT_TRUE(a1->AsBoolean());
  a1->SetIsNull(true);
  EXPECT_TRUE(a0->IsNull());
  EXPECT_TRUE(a0->IsNullable());
  EXPECT_EQ(a0->AsInteger(), 0);
  EXPECT_TRUE(a0->AsVariant().IsNull());
  a0->SetAsVariant(Variant(int64_t{1} << 40));
  EXPECT_EQ(a1->SQLType(), SQL_INT64);
  EXPECT_EQ(a1->AsInt64(), int64_t{1} << 40);
  // A Boolean by reference goes through the Boolean writer, a plain one as LONG.
  bool flag = true;
  a0->SetAsVariant(Variant::ByRef(&flag));
  EXPECT_EQ(a1->SQLType(), SQL_SHORT);
  EXPECT_EQ(a1->AsInteger(), 1);
  a0->SetAsVariant(Variant(true));
  EXPECT_EQ(a1->SQLType(), SQL_LONG);
  a0->SetAsVariant(Variant(int64_t{1} << 40));
  EXPECT_EQ(ErrorOf([&] { a0->SetAsVariant(Variant::FromError(1)); }), "Not permitted.");
  EXPECT_EQ(a1->AsInt64(), int64_t{1} << 40);  // a failed writer changes nothing
  const TGUID g{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  a0->SetAsGuid(g);
  EXPECT_EQ(a1->SQLType(), SQL_TEXT);
  EXPECT_EQ(a1->AsGuid(), g);
  EXPECT_EQ(ErrorOf([&] { a0->SetAsWideString(std::u16string(32768, u'x')); }),
            ". Value for WideString Parameter \"A\" too long");
  EXPECT_EQ(ErrorOf([&] { q.Params().Vars(2); }), "XSQLDA index out of range.");
  // The wide text of the last wide assignment is read back as is, until another value replaces it.
  a0->SetAsWideString(u"\u0110or\u0111e \u4E2D");
  EXPECT_EQ(a1->AsWideString(), u"\u0110or\u0111e \u4E2D");
  a0->SetAsInteger(5);
  EXPECT_EQ(a1->AsWideString(), u"5");
}

// Statements run row after row get values of the same type and length each
// time; such a value still clears the null flag, reaches every namesake and
// replaces a pending blob text or the last wide text.
TEST(FIBXSQLVar, SameTypeAndLengthAgainActsLikeAnyValue) {
  TFIBQuery q;
  q.SetSQLText("SELECT * FROM T WHERE A = :A OR C = :A OR B = :B");
  TFIBXSQLVAR* a0 = q.Params()[0];
  TFIBXSQLVAR* a1 = q.Params()[1];
  TFIBXSQLVAR* b = q.Params()[2];
  a0->SetAsInteger(1);
  a0->SetAsInteger(2);
  EXPECT_EQ(a1->AsInteger(), 2);
  b->SetAsInteger(1);
  b->SetIsNull(true);
  b->SetAsInteger(3);
  EXPECT_FALSE(b->IsNull());
  EXPECT_EQ(b->AsInteger(), 3);

  b->SetAsWideString(u"ab");
  b->SetAsString("cd");
  EXPECT_EQ(b->AsWideString(), u"cd");
  b->LoadFromStream("blob text");
  const ISC_QUAD id{1, 2};
  b->SetAsQuad(id);
  EXPECT_FALSE(b->HasBlobStream());
  EXPECT_EQ(b->AsQuad().gds_quad_low, 2u);
}

// A value of the slot's own type and length takes a shortcut that rewrites
// only the bytes; a parameter whose name appears twice never takes it. Every
// type, after a value, a null and a scaled value, must leave both slots the
// same, byte for byte.
TEST(FIBXSQLVar, TheSameTypeShortcutLeavesTheSlotAsTheGeneralPathDoes) {
  struct Case {
    const char* name;
    short type;
    int length;
  };
  const Case cases[] = {{"short", SQL_SHORT, 2},      {"long", SQL_LONG, 4},     {"int64", SQL_INT64, 8},
                        {"float", SQL_FLOAT, 4},      {"double", SQL_DOUBLE, 8}, {"date", SQL_TYPE_DATE, 4},
                        {"time", SQL_TYPE_TIME, 4},   {"timestamp", SQL_TIMESTAMP, 8},
                        {"blob id", SQL_BLOB, 8},     {"char 3", SQL_TEXT, 3},  {"char 40", SQL_TEXT, 40},
                        {"varchar 3", SQL_VARYING, 3}, {"varchar 40", SQL_VARYING, 40}};
  enum Before { kValue, kNull, kScaled };
  for (const Case& c : cases)
    for (const Before before : {kValue, kNull, kScaled}) {
      SCOPED_TRACE(std::string(c.name) + " after " + (before == kValue ? "a value" : before == kNull ? "null" : "scale"));
      // Bytes as the slot holds them: a varchar's two length bytes first.
      const int held = c.type == SQL_VARYING ? c.length + 2 : c.length;
      std::vector<char> first(static_cast<size_t>(held)), second(static_cast<size_t>(held));
      for (int i = 0; i < held; ++i) {
        first[static_cast<size_t>(i)] = static_cast<char>('a' + i % 26);
        second[static_cast<size_t>(i)] = static_cast<char>('A' + (i * 7) % 26);
      }
      if (c.type == SQL_VARYING) {
        const int16_t n = static_cast<int16_t>(c.length);
        std::memcpy(first.data(), &n, 2);
        std::memcpy(second.data(), &n, 2);
      }
      TFIBQuery single, twice;
      single.SetSQLText("SELECT * FROM T WHERE A = :A");
      twice.SetSQLText("SELECT * FROM T WHERE A = :A OR C = :A");
      TFIBXSQLVAR* fast = single.Params()[0];
      TFIBXSQLVAR* general = twice.Params()[0];
      for (TFIBXSQLVAR* v : {fast, general}) {
        v->SetRawValue(c.type, c.length, first.data());
        if (before == kNull) v->SetIsNull(true);
        if (before == kScaled) v->SetScale(-2);
        v->SetRawValue(c.type, c.length, second.data());
      }
      const XSQLVAR& a = *fast->Data();
      const XSQLVAR& b = *general->Data();
      EXPECT_EQ(a.sqltype, b.sqltype);
      EXPECT_EQ(a.sqlscale, b.sqlscale);
      EXPECT_EQ(a.sqlsubtype, b.sqlsubtype);
      EXPECT_EQ(a.sqllen, b.sqllen);
      ASSERT_NE(a.sqldata, nullptr);
      ASSERT_NE(b.sqldata, nullptr);
      EXPECT_EQ(std::string(a.sqldata, static_cast<size_t>(held)), std::string(b.sqldata, static_cast<size_t>(held)));
      EXPECT_EQ(std::string(a.sqldata, static_cast<size_t>(held)), std::string(second.data(), second.size()));
      EXPECT_EQ(a.sqlind == nullptr, b.sqlind == nullptr);
      if (a.sqlind && b.sqlind) {
        EXPECT_EQ(*a.sqlind, *b.sqlind);
      }
      EXPECT_EQ(fast->IsNull(), general->IsNull());
      EXPECT_FALSE(fast->IsNull());
      EXPECT_EQ(fast->IsNullable(), general->IsNullable());
      EXPECT_EQ(fast->Modified(), general->Modified());
      EXPECT_EQ(fast->Typed(), general->Typed());
    }
}

TEST(FIBXSQLVar, DatesAndTimesUseTheServerDayOffsets) {
  TFIBQuery q;
  q.SetSQLText("SELECT * FROM T WHERE A = :A");
  TFIBXSQLVAR* a = q.ParamByName("A");
  a->SetAsDateTime(ComposeDateTime(EncodeDate(1858, 11, 17), 0.5));
  const int32_t* raw = reinterpret_cast<const int32_t*>(a->Data()->sqldata);
  EXPECT_EQ(raw[0], 0);
  EXPECT_EQ(raw[1], 432000000);
  a->SetAsTimeStamp({1000, 693594});  // 1899-12-30 00:00:01
  EXPECT_EQ(raw[0], 15018);
  EXPECT_EQ(raw[1], 10000);
  EXPECT_EQ(a->AsDateTime(), 1000 / MSecsPerDay);
  const int32_t dayOnly = 15019;
  a->SetRawValue(SQL_TYPE_DATE, 4, &dayOnly);
  EXPECT_EQ(a->AsDateTime(), 1.0);
  EXPECT_EQ(a->AsTimeStamp().Date, 693595);
}

TEST(FIBXSQLVarUnicode, Utf8ConnectionEncodesTextAndStatement) {
  TScratchDatabase db("NONE", "UTF8");
  ASSERT_TRUE(db.Database->IsUnicodeConnect());
  db.Exec("CREATE TABLE U (W VARCHAR(10) CHARACTER SET WIN1250, U VARCHAR(10) CHARACTER SET UTF8)");
  // The statement text itself travels as UTF-8 on a Unicode connection.
  auto ins = db.Query("INSERT INTO U (W, U) VALUES (:W, :U || '\xE8')");
  ins->ParamByName("W")->SetAsString(kSab);
  ins->ParamByName("U")->SetAsWideString(AnsiToWide(kDjordje));
  ins->ExecQuery();
  db.Transaction->Commit();
  auto q = db.Query("SELECT W, U FROM U");
  q->ExecQuery();
  EXPECT_EQ(q->FieldByName("W")->AsString(), kSab);
  EXPECT_EQ(q->FieldByName("U")->AsString(), kDjordje + "\xE8");
  EXPECT_EQ(q->FieldByName("U")->AsWideString(), AnsiToWide(kDjordje + "\xE8"));
  q->Close();
}

// The limit of a text parameter is on the bytes sent: 20,000 characters that
// UTF-8 makes 40,000 bytes must not wrap the descriptor's 16-bit length.
TEST_F(TAllTypes, LongTextsNeverWrapTheSixteenBitLength) {
  const std::string longS(20000, '\x9A');  // š
  for (bool beforePrepare : {false, true}) {
    SCOPED_TRACE(beforePrepare ? "assigned before prepare" : "assigned after prepare");
    auto q = db.Query("SELECT COUNT(*) FROM ALLT WHERE VU = :S");
    if (!beforePrepare) q->Prepare();
    q->ParamByName("S")->SetAsString(longS);
    // Too long for a text: it travels as a blob, as any over-long 8-bit text
    // does, and the server refuses it for the short column.
    EXPECT_NE(ErrorOf([&] { q->ExecQuery(); }).find("String right truncation."), std::string::npos);
    EXPECT_EQ(q->ParamByName("S")->SQLType(), SQL_BLOB);
  }
  auto w = db.Query("SELECT COUNT(*) FROM ALLT WHERE VU = :S");
  w->Prepare();
  EXPECT_EQ(ErrorOf([&] { w->ParamByName("S")->SetAsWideString(std::u16string(20000, u'\u0161')); }),
            "q. Value for WideString Parameter \"S\" too long");
  const std::string tooLong(32768, 'x');
  EXPECT_EQ(ErrorOf([&] { w->ParamByName("S")->SetRawValue(SQL_TEXT, 32768, tooLong.data()); }),
            "Value of parameter \"S\" is too long (32768 bytes, at most 32767).");

  // A CHAR result of 32,768 bytes or more reports a "negative" sqllen, which
  // the client library would copy by at the fetch: refused before that.
  auto r = db.Query("select '" + std::string(32767, 'x') + "' as x from rdb$database");
  r->ExecQuery();
  EXPECT_EQ(r->FieldByName("X")->AsString(), std::string(32767, 'x'));
  r->Close();
  for (size_t n : {size_t{32768}, size_t{40000}}) {
    SCOPED_TRACE(n);
    auto big = db.Query("select '" + std::string(n, 'x') + "' as x from rdb$database");
    EXPECT_EQ(ErrorOf([&] { big->ExecQuery(); }),
              "Column \"X\" is too long for the client library (" + std::to_string(n) +
                  " bytes, at most 32767).");
    EXPECT_FALSE(big->Prepared());
  }
}

// Values assigned before the first prepare keep their pending conversions when
// a null parameter makes the statement rewritten.
TEST_F(TAllTypes, RewrittenStatementSendsEarlyTextsConverted) {
  const std::string letters = "\x9A\xF0\xE8\xE6\x9E";  // šđčćž
  {
    auto ins = db.Query("INSERT INTO ALLT (ID, I, VU, N2) VALUES (1, NULL, :VU, 12.5)");
    ins->Prepare();
    ins->ParamByName("VU")->SetAsString(letters);
    ins->ExecQuery();
    db.Transaction->Commit();
  }
  struct Case { const char* sql; std::string s; };
  const Case cases[] = {
      {"SELECT ID FROM ALLT WHERE VU = :S AND I = :K", letters},
      {"SELECT ID FROM ALLT WHERE N2 = :S AND I = :K", "12,5"},
      {"UPDATE ALLT SET VU = :S WHERE I = :K", letters + "\x8A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    auto q = db.Query(c.sql);
    q->ParamByName("S")->SetAsString(c.s);
    q->ParamByName("K")->SetIsNull(true);
    q->ExecQuery();
    EXPECT_TRUE(q->Rewritten());
    if (q->SQLType() == SQLSelect) {
      ASSERT_EQ(q->RecordCount(), 1);
      EXPECT_EQ(q->FieldByName("ID")->AsInteger(), 1);
      q->Close();
    }
  }
  db.Transaction->Commit();
  auto r = SelectRow(1);
  EXPECT_EQ(r->FieldByName("VU")->AsString(), letters + "\x8A");
  r->Close();
}

// A CHAR in a multi-byte set reads with as many characters as declared, not
// with the padding of its length in bytes.
TEST_F(TAllTypes, CharOfMultiByteSetIsPaddedToItsCharacters) {
  {
    auto ins = db.Query("INSERT INTO ALLT (ID, CU, CW) VALUES (1, :CU, :CW)");
    ins->Prepare();
    ins->ParamByName("CU")->SetAsString(kCz);
    ins->ParamByName("CW")->SetAsString(kCz);
    ins->ExecQuery();
    db.Transaction->Commit();
  }
  auto q = db.Query("SELECT CU, CW, CAST(CU AS CHAR(3) CHARACTER SET UNICODE_FSS) AS CF FROM ALLT");
  q->ExecQuery();
  EXPECT_EQ(q->FieldByName("CU")->SQLLen(), 24);
  EXPECT_EQ(q->FieldByName("CU")->AsString(), kCz + "    ");
  EXPECT_EQ(q->FieldByName("CU")->AsWideString(), AnsiToWide(kCz + "    "));
  EXPECT_EQ(q->FieldByName("CF")->AsString(), kCz + " ");
  EXPECT_EQ(q->FieldByName("CW")->AsString(), kCz + "    ");
  q->Close();
}

// The last half-millisecond of a day stays on its day, read or written.
TEST_F(TAllTypes, LastMomentOfADayStaysOnItsDay) {
  db.Exec("INSERT INTO ALLT (ID, TM, TS) VALUES (1, '23:59:59.9999', '2024-12-31 23:59:59.9999')");
  auto q = SelectRow(1);
  const TDateTime tm = q->FieldByName("TM")->AsDateTime();
  const TDateTime ts = q->FieldByName("TS")->AsDateTime();
  EXPECT_LT(tm, 1.0);
  EXPECT_EQ(TimeToStr(tm), "23:59:59");
  EXPECT_EQ(q->FieldByName("TM")->AsString(), TimeToStr(EncodeTime(23, 59, 59, 999)));
  EXPECT_EQ(DateOf(ts), EncodeDate(2024, 12, 31));
  EXPECT_EQ(q->FieldByName("TS")->AsString(),
            DateTimeToStr(ComposeDateTime(EncodeDate(2024, 12, 31), EncodeTime(23, 59, 59, 999))));
  EXPECT_EQ(q->FieldByName("TS")->AsTimeStamp().Time, 86399999);
  q->Close();

  TFIBQuery p;
  p.SetSQLText("SELECT * FROM T WHERE A = :A");
  TFIBXSQLVAR* a = p.ParamByName("A");
  a->SetAsDateTime(EncodeDate(2024, 12, 31) + 0.9999999999);
  const int32_t* raw = reinterpret_cast<const int32_t*>(a->Data()->sqldata);
  EXPECT_EQ(raw[0] - kServerToDateTimeDays, static_cast<int32_t>(EncodeDate(2024, 12, 31)));
  EXPECT_EQ(raw[1], 863999999);
}
