// Field classes: value conversions, range checks, messages and display texts.
#include "dataset/Field.h"

#include <gtest/gtest.h>

#include "MemFixture.h"
#include "runtime/DateText.h"
#include "runtime/FormatSettings.h"

namespace {

// One row with a column of every common type, in Edit state.
class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds = new TMemDataSet(&form);
    ds->SetName("qryT");
    ds->AddFieldDef("S", ftString, 20);
    ds->AddFieldDef("W", ftWideString, 20);
    ds->AddFieldDef("I", ftInteger);
    ds->AddFieldDef("SI", ftSmallint);
    ds->AddFieldDef("L", ftLargeint);
    ds->AddFieldDef("F", ftFloat);
    ds->AddFieldDef("B", ftBCD, 4);
    ds->AddFieldDef("BO", ftBoolean);
    ds->AddFieldDef("D", ftDate);
    ds->AddFieldDef("DT", ftDateTime);
    ds->AddFieldDef("T", ftTime);
    ds->AddFieldDef("M", ftMemo);
    ds->AddFieldDef("BL", ftBlob);
    ds->AddRow({"text", std::u16string(u"\u0161ifra"), 42, int16_t{7}, 0x100000005LL, 2.5,
                Currency::FromRaw(123456), true, Variant::FromDate(EncodeDate(2026, 12, 10)),
                Variant::FromDate(EncodeDate(2026, 12, 10) + EncodeTime(13, 5, 0, 0)),
                Variant::FromDate(EncodeTime(8, 30, 0, 0)), "memo text", Variant::Null()});
    ds->Open();
  }
  TField* F(const char* name) { return ds->FieldByName(name); }

  TScopedFormatSettings settings{TFormatSettings::Fixed()};
  TComponent form;
  TMemDataSet* ds = nullptr;
};

TEST_F(FieldTest, ReadsEachClassInItsForms) {
  EXPECT_EQ(F("S")->AsString(), "text");
  EXPECT_EQ(F("W")->AsString(), "\x9a" "ifra");
  EXPECT_EQ(F("W")->AsVariant().VarType(), varOleStr);
  EXPECT_EQ(F("I")->AsString(), "42");
  EXPECT_EQ(F("I")->AsVariant().VarType(), varInteger);
  EXPECT_EQ(F("SI")->AsFloat(), 7.0);
  EXPECT_EQ(F("L")->AsInteger(), 5);  // low 32 bits
  EXPECT_EQ(F("L")->AsVariant().VarType(), varInt64);
  EXPECT_EQ(F("F")->AsInteger(), 2);  // ties to even
  EXPECT_EQ(F("F")->AsVariant().VarType(), varDouble);
  EXPECT_EQ(F("B")->AsCurrency().Raw, 123456);
  EXPECT_EQ(F("B")->AsString(), "12.3456");
  EXPECT_EQ(F("B")->AsInteger(), 12);
  EXPECT_EQ(F("B")->AsVariant().VarType(), varCurrency);
  EXPECT_EQ(F("BO")->AsString(), "True");
  EXPECT_EQ(F("BO")->AsVariant().VarType(), varBoolean);
  EXPECT_EQ(F("D")->AsString(), "10.12.2026");
  EXPECT_EQ(F("DT")->AsString(), "10.12.2026 13:05:00");
  EXPECT_EQ(F("T")->AsString(), "08:30:00");
  EXPECT_EQ(F("D")->AsVariant().VarType(), varDate);
  EXPECT_EQ(F("M")->AsString(), "memo text");
  // A null blob is an empty text, never Null.
  EXPECT_EQ(F("BL")->AsVariant().VarType(), varString);
  EXPECT_EQ(F("BL")->AsVariant().AsString(), "");
}

TEST_F(FieldTest, UnsupportedAccessNamesTheType) {
  struct Case {
    std::function<void()> f;
    const char* message;
  };
  const Case cases[] = {
      {[&] { (void)F("BO")->AsInteger(); }, "Cannot access field 'BO' as type Integer"},
      {[&] { (void)F("D")->AsInteger(); }, "Cannot access field 'D' as type Integer"},
      {[&] { (void)F("M")->AsInteger(); }, "Cannot access field 'M' as type Integer"},
      {[&] { (void)F("I")->AsBoolean(); }, "Cannot access field 'I' as type Boolean"},
      {[&] { (void)F("I")->AsDateTime(); }, "Cannot access field 'I' as type DateTime"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.f), c.message);

  // Default fields have no component name: the dataset's name stands in.
  EXPECT_EQ(F("S")->FullName(), "qryT.S");

  TIntegerField loose;
  loose.SetFieldName("X");
  EXPECT_EQ(ErrorOf([&] { (void)loose.AsInteger(); }), "Field 'X' has no dataset");
  EXPECT_EQ(ErrorOf([&] { loose.SetAsInteger(1); }), "Field 'X' has no dataset");
}

TEST_F(FieldTest, IntegerWritesCheckTheRange) {
  ds->Edit();
  EXPECT_EQ(ErrorOf([&] { F("SI")->SetAsInteger(40000); }),
            "40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767");
  EXPECT_EQ(F("SI")->AsInteger(), 7);
  F("SI")->SetAsInteger(-32768);
  EXPECT_EQ(F("SI")->AsInteger(), -32768);
  // The variant path reaches the same check.
  EXPECT_EQ(ErrorOf([&] { F("SI")->SetAsVariant(40000); }),
            "40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767");

  auto* i = static_cast<TIntegerField*>(F("I"));
  i->SetDisplayLabel("Kolicina");
  i->SetMinValue(1);
  i->SetMaxValue(10);
  EXPECT_EQ(ErrorOf([&] { i->SetAsInteger(11); }),
            "11 is not a valid value for field 'Kolicina'. The allowed range is 1 to 10");
  EXPECT_EQ(ErrorOf([&] { i->SetAsString("abc"); }),
            "'abc' is not a valid integer value for field 'Kolicina'");
  EXPECT_EQ(ErrorOf([&] { i->SetAsVariant("abc"); }), "Invalid value for field 'Kolicina'");
  i->SetAsString("");
  EXPECT_TRUE(i->IsNull());
  i->SetAsVariant(Variant::Null());
  EXPECT_TRUE(i->IsNull());
}

TEST_F(FieldTest, StringWritesCutAtSizeAndConvert) {
  ds->Edit();
  F("S")->SetAsString("0123456789012345678901234");
  EXPECT_EQ(F("S")->AsString(), "01234567890123456789");
  F("S")->SetAsInteger(-15);
  EXPECT_EQ(F("S")->AsString(), "-15");
  EXPECT_EQ(F("S")->AsInteger(), -15);
  F("S")->SetAsString("x");
  EXPECT_THROW((void)F("S")->AsInteger(), EConvertError);
  F("S")->Clear();
  EXPECT_TRUE(F("S")->AsVariant().IsNull());
  EXPECT_EQ(F("S")->AsString(), "");
}

TEST_F(FieldTest, DisplayTexts) {
  auto text = [&](const char* name) { return F(name)->DisplayText(); };
  // Memo and blob show only their type: upper case with a value.
  EXPECT_EQ(text("M"), "(MEMO)");
  EXPECT_EQ(text("BL"), "(Blob)");
  ds->Edit();
  F("M")->Clear();
  F("BL")->SetAsString("\x01\x02");
  EXPECT_EQ(text("M"), "(Memo)");
  EXPECT_EQ(text("BL"), "(BLOB)");

  EXPECT_EQ(text("F"), "2.5");
  F("F")->SetAsFloat(1.0 / 3.0);
  EXPECT_EQ(text("F"), "0.333333333333333");
  static_cast<TFloatField*>(F("F"))->SetPrecision(5);
  EXPECT_EQ(text("F"), "0.33333");
  static_cast<TFloatField*>(F("F"))->SetDisplayFormat("0.0000");
  EXPECT_EQ(text("F"), "0.3333");

  EXPECT_EQ(text("B"), "12.3456");
  auto* bcd = static_cast<TBCDField*>(F("B"));
  bcd->SetAsFloat(1234.5);
  bcd->SetDisplayFormat("#,##0.00");
  EXPECT_EQ(text("B"), "1,234.50");
  bcd->SetDisplayFormat("#,##0.");
  EXPECT_EQ(text("B"), "1,235");

  auto* i = static_cast<TIntegerField*>(F("I"));
  i->SetAsInteger(1234567);
  EXPECT_EQ(text("I"), "1234567");
  i->SetDisplayFormat("#,##0");
  EXPECT_EQ(text("I"), "1,234,567");
  i->SetEditFormat("0");
  EXPECT_EQ(i->Text(), "1234567");

  auto* d = static_cast<TDateTimeField*>(F("DT"));
  EXPECT_EQ(text("DT"), "10.12.2026 13:05:00");
  d->SetDisplayFormat("dd.mm.yyyy hh:mm AMPM");
  EXPECT_EQ(text("DT"), "10.12.2026 01:05 PM");
  static_cast<TDateTimeField*>(F("D"))->SetDisplayFormat("dd.mm.yyyy");
  EXPECT_EQ(text("D"), "10.12.2026");
  F("DT")->SetAsDateTime(EncodeDate(2026, 1, 2));
  d->SetDisplayFormat("");
  EXPECT_EQ(text("DT"), "02.01.2026");  // midnight: no time part

  auto* b = static_cast<TBooleanField*>(F("BO"));
  b->SetDisplayValues("Da;Ne");
  EXPECT_EQ(text("BO"), "Da");
  b->SetAsString("n");
  EXPECT_FALSE(b->AsBoolean());
  EXPECT_EQ(text("BO"), "Ne");
  EXPECT_EQ(ErrorOf([&] { b->SetAsString("x"); }),
            "'x' is not a valid boolean value for field 'BO'");

  F("I")->Clear();
  EXPECT_EQ(text("I"), "");
  F("I")->OnGetText = [](TField*, std::string& t, bool display) { t = display ? "D" : "E"; };
  EXPECT_EQ(text("I"), "D");
  EXPECT_EQ(F("I")->Text(), "E");
}

TEST_F(FieldTest, FieldEventsSeeTheNewValue) {
  ds->Edit();
  std::vector<std::string> seen;
  F("I")->OnValidate = [&](TField* f) { seen.push_back("validate " + f->AsString()); };
  F("I")->OnChange = [&](TField* f) { seen.push_back("change " + f->AsString()); };
  F("I")->SetAsInteger(5);
  EXPECT_EQ(seen, (std::vector<std::string>{"validate 5", "change 5"}));
  // A validation failure stores nothing.
  F("I")->OnValidate = [](TField*) { throw EDatabaseError("no"); };
  EXPECT_THROW(F("I")->SetAsInteger(6), EDatabaseError);
  EXPECT_EQ(F("I")->AsInteger(), 5);
}

TEST(LongStringFieldTest, TextsLongerThanUsualAreStoredAndCutWhole) {
  TComponent form;
  auto* ds = new TMemDataSet(&form);
  ds->AddFieldDef("OPIS", ftString, 300);
  ds->AddRow({std::string(300, 'a')});
  ds->Open();
  TField* opis = ds->FieldByName("OPIS");
  EXPECT_EQ(opis->AsString(), std::string(300, 'a'));
  ds->Edit();
  opis->SetAsString(std::string(299, 'b') + "cd");
  EXPECT_EQ(opis->AsString(), std::string(299, 'b') + "c");
}

}  // namespace
