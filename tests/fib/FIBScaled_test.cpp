// Scaled integer columns on the real engine: every scale from -1 to -18 and
// the values at the edges of the 64-bit and double ranges read as the double
// nearest their decimal value, the same through the statement and through a
// dataset's fields; BCD fields refuse a currency value they cannot hold; a
// currency key rounds as a store into its field does.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

#include "FIBDataSet_fixture.h"
#include "fib/FIBFields.h"
#include "runtime/NumText.h"

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// Stored integers, each put into every column of one row.
const int64_t kRaw[] = {
    35, -35, 1, -1, 399999, 42221097,  // 0.35 and the example database's 3999.99 and 422210.97
    123000000000, 2147483647, -2147483647, 9007199254740992, 9007199254740993, -9007199254740993,
    999999999999999999, -999999999999999999, kMax, kMin,
};

// The exact decimal text of raw × 10^-decimals.
std::string DecimalText(int64_t raw, int decimals) {
  const bool negative = raw < 0;
  std::string digits = std::to_string(negative ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw));
  if (static_cast<int>(digits.size()) <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
  digits.insert(digits.size() - static_cast<size_t>(decimals), ".");
  return (negative ? "-" : "") + digits;
}

double NearestDouble(int64_t raw, int decimals) {
  const std::string text = DecimalText(raw, decimals);
  double d = 0;
  std::from_chars(text.data(), text.data() + text.size(), d);
  return d;
}

class ScaledTest : public ::testing::Test {
 protected:
  // N1..N18: NUMERIC(18,s) stored as BIGINT; D2 DECIMAL(9,2) stored as
  // INTEGER and S2 NUMERIC(4,2) as SMALLINT, set where the value fits.
  void SetUp() override {
    std::string columns = "ID integer not null primary key, D2 decimal(9,2), S2 numeric(4,2)";
    std::string names = "ID, D2, S2", params = ":ID, :D2, :S2";
    for (int s = 1; s <= 18; ++s) {
      columns += ", N" + std::to_string(s) + " numeric(18," + std::to_string(s) + ")";
      names += ", N" + std::to_string(s);
      params += ", :N" + std::to_string(s);
    }
    db.Exec("create table SCALED (" + columns + ")");
    auto q = db.Query("insert into SCALED (" + names + ") values (" + params + ")");
    for (size_t row = 0; row < std::size(kRaw); ++row) {
      const int64_t raw = kRaw[row];
      q->ParamByName("ID")->SetAsInteger(static_cast<int32_t>(row));
      // Sent with the column's own scale: the server stores the digits as they are.
      for (int s = 1; s <= 18; ++s) q->ParamByName("N" + std::to_string(s))->SetAsBCD({raw, s});
      if (raw >= INT32_MIN && raw <= INT32_MAX) q->ParamByName("D2")->SetAsBCD({raw, 2});
      else q->ParamByName("D2")->SetIsNull(true);
      if (raw >= INT16_MIN && raw <= INT16_MAX) q->ParamByName("S2")->SetAsBCD({raw, 2});
      else q->ParamByName("S2")->SetIsNull(true);
      q->ExecQuery();
    }
    db.Transaction->Commit();
  }

  // Every column of every row: the statement's double and the dataset
  // field's are the double nearest the decimal value.
  void ExpectNearestDoubles(TpPrepareOptions options) {
    const std::string select = "select * from SCALED order by ID";
    auto q = db.Query(select);
    q->ExecQuery();
    TpFIBDataSet* ds = db.NewDataSet("ds", select);
    ds->SetPrepareOptions(options);
    ds->Open();
    int checked = 0;
    for (size_t row = 0; row < std::size(kRaw); ++row, q->FetchNext(), ds->Next()) {
      ASSERT_FALSE(ds->Eof());
      for (const char* name : {"D2", "S2"}) {
        if (ds->FieldByName(name)->IsNull()) continue;
        const double want = NearestDouble(kRaw[row], 2);
        EXPECT_EQ(q->FieldByName(name)->AsDouble(), want) << name << " " << DecimalText(kRaw[row], 2);
        EXPECT_EQ(ds->FieldByName(name)->AsFloat(), want) << name << " " << DecimalText(kRaw[row], 2);
        ++checked;
      }
      for (int s = 1; s <= 18; ++s) {
        const std::string name = "N" + std::to_string(s);
        const double want = NearestDouble(kRaw[row], s);
        SCOPED_TRACE(name + " " + DecimalText(kRaw[row], s));
        EXPECT_EQ(q->FieldByName(name)->AsDouble(), want);
        EXPECT_EQ(ds->FieldByName(name)->AsFloat(), want);
        EXPECT_EQ(ds->FieldByName(name)->AsVariant().AsDouble(), want);
        ++checked;
      }
    }
    EXPECT_EQ(checked, 16 * 18 + 8 + 4);  // every value, so a skipped row cannot pass
    q->Close();
    ds->Close();
  }

  TDataSetScratch db;
};

TEST_F(ScaledTest, EveryScaleReadsAsTheNearestDoubleThroughStatementAndDataSet) {
  ExpectNearestDoubles(kDefaultPrepareOptions);  // scales beyond 4 kept as doubles in the rows
}

TEST_F(ScaledTest, EveryScaleReadsAsTheNearestDoubleThroughBcdFieldsToo) {
  ExpectNearestDoubles(kDefaultPrepareOptions | psSQLINT64ToBCD);  // every scale kept as its integer
}

TEST_F(ScaledTest, AComputedNumericReadsAsTheNearestDouble) {
  TpFIBDataSet* ds = db.NewDataSet("ds", "select cast(123 as numeric(18,9)) as C9 from rdb$database");
  ds->Open();
  EXPECT_EQ(ds->FieldByName("C9")->AsFloat(), 123.0);
}

TEST(ScaledBcd, CurrencyBeyondItsRangeIsARangeError) {
  TDataSetScratch db;
  db.Exec("create table BCD (ID integer not null primary key, B0 bigint, B2 numeric(18,2))");
  db.Exec("insert into BCD values (1, 9007199254740993, 9999999999999999.99)");
  db.Exec("insert into BCD values (2, -9223372036854775808, -9999999999999999.99)");
  db.Exec("insert into BCD values (3, 922337203685477, 922337203685477.58)");
  db.Exec("insert into BCD values (4, 922337203685478, 922337203685477.59)");
  db.Exec("insert into BCD values (5, -922337203685477, -922337203685477.58)");
  db.Exec("insert into BCD values (6, -922337203685478, -922337203685477.59)");
  TpFIBDataSet* ds = db.NewDataSet("ds", "select * from BCD order by ID");
  ds->Open();
  ASSERT_NE(dynamic_cast<TFIBBCDField*>(ds->FieldByName("B0")), nullptr);
  ASSERT_NE(dynamic_cast<TFIBBCDField*>(ds->FieldByName("B2")), nullptr);
  auto q = db.Query("select * from BCD order by ID");
  q->ExecQuery();

  auto rangeError = [](const std::string& value, const std::string& field) {
    return value + " is not a valid value for field '" + field +
           "'. The allowed range is -922337203685478 to 922337203685478";
  };
  const struct {
    const char* b0;  // the expected currency text, or the value the range error shows
    const char* b2;
  } rows[] = {
      {"!9.00719925474099E15", "!1E16"},
      {"!-9.22337203685478E18", "!-1E16"},
      {"922337203685477", "922337203685477.58"},
      {"!922337203685478", "!922337203685478"},
      {"-922337203685477", "-922337203685477.58"},
      {"!-922337203685478", "!-922337203685478"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("row " + ds->FieldByName("ID")->AsString());
    for (const auto& [name, want] : {std::pair{"B0", row.b0}, std::pair{"B2", row.b2}}) {
      TField* f = ds->FieldByName(name);
      if (want[0] == '!') {
        EXPECT_EQ(ErrorOf([&] { f->AsCurrency(); }), rangeError(want + 1, name));
        // The statement refuses the same value with its conversion error.
        EXPECT_THROW(q->FieldByName(name)->AsCurrency(), EFIBClientError) << name;
      } else {
        EXPECT_EQ(CurrToStr(f->AsCurrency()), want) << name;
        EXPECT_EQ(q->FieldByName(name)->AsCurrency(), f->AsCurrency()) << name;
      }
    }
    ds->Next();
    q->FetchNext();
  }
  q->Close();
}

TEST(ScaledBcd, ACurrencyKeyRoundsAsAStoreIntoItsFieldDoes) {
  TDataSetScratch db;
  db.Exec("create table BCD (ID integer not null primary key, B2 numeric(18,2))");
  db.Exec("insert into BCD values (1, 1.13)");
  db.Exec("insert into BCD values (2, 1.12)");
  TpFIBDataSet* ds = db.NewDataSet("ds", "select * from BCD order by ID");
  ds->InsertSQL().SetText("insert into BCD (ID, B2) values (:ID, :B2)");
  ds->Open();
  const Currency key = Currency::FromRaw(11250);  // 1.125: ties to even gives 1.12
  ds->Append();
  ds->FieldByName("B2")->SetAsCurrency(key);
  EXPECT_EQ(ds->FieldByName("B2")->AsString(), "1.12");
  ds->Cancel();
  ASSERT_TRUE(ds->Locate("B2", Variant(key), {}));
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
  // A key the column cannot hold is refused, not wrapped into another value.
  TpFIBDataSet* wide = db.NewDataSet("wide", "select cast(B2 as numeric(18,9)) as B9 from BCD");
  wide->SetPrepareOptions(wide->PrepareOptions() | psSQLINT64ToBCD);
  wide->Open();
  EXPECT_THROW(wide->Locate("B9", Variant(Currency::FromRaw(922337203685477)), {}), EDatabaseError);
}

}  // namespace
