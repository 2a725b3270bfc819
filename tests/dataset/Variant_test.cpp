// Variant kinds, conversions and their error texts.
#include "dataset/Variant.h"

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"
#include "runtime/FormatSettings.h"

namespace {

std::string CastMessage(const std::function<void()>& f) {
  try {
    f();
  } catch (const EVariantTypeCastError& e) {
    return e.Message();
  }
  return "no EVariantTypeCastError";
}

TEST(Variant, KindCodesAndNames) {
  struct Case {
    Variant v;
    uint16_t code;
    const char* name;
  };
  const Case cases[] = {
      {Variant(), varEmpty, "Empty"},
      {Variant::Null(), varNull, "Null"},
      {Variant(int16_t{1}), varSmallint, "Smallint"},
      {Variant(1), varInteger, "Integer"},
      {Variant(1.5f), varSingle, "Single"},
      {Variant(1.5), varDouble, "Double"},
      {Variant(Currency::FromInt(2)), varCurrency, "Currency"},
      {Variant::FromDate(1.0), varDate, "Date"},
      {Variant(u"w"), varOleStr, "OleStr"},
      {Variant(true), varBoolean, "Boolean"},
      {Variant(int8_t{1}), varShortInt, "ShortInt"},
      {Variant(uint8_t{1}), varByte, "Byte"},
      {Variant(uint16_t{1}), varWord, "Word"},
      {Variant(uint32_t{1}), varLongWord, "LongWord"},
      {Variant(1LL), varInt64, "Int64"},
      {Variant("s"), varString, "String"},
      {VarArrayOf({1, 2}), varArray | varVariant, "Array Variant"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.v.VarType(), c.code);
    EXPECT_EQ(VarTypeAsText(c.v.VarType()), c.name);
  }
}

TEST(Variant, NullToStringFailsWithCastError) {
  EXPECT_EQ(CastMessage([] { (void)Variant::Null().AsString(); }),
            "Could not convert variant of type (Null) into type (String)");
  EXPECT_EQ(CastMessage([] { (void)Variant::Null().AsInteger(); }),
            "Could not convert variant of type (Null) into type (Integer)");
  EXPECT_EQ(CastMessage([] { (void)Variant("abc").AsInteger(); }),
            "Could not convert variant of type (String) into type (Integer)");
  EXPECT_EQ(CastMessage([] { (void)Variant("x").AsDouble(); }),
            "Could not convert variant of type (String) into type (Double)");
  // The cast error is a variant error, not a database error.
  EXPECT_THROW((void)Variant::Null().AsString(), EVariantError);
}

TEST(Variant, ToText) {
  TScopedFormatSettings fs(TFormatSettings::Fixed());
  struct Case {
    Variant v;
    const char* text;
  };
  const Case cases[] = {
      {Variant(), ""},
      {Variant(int16_t{-7}), "-7"},
      {Variant(123456), "123456"},
      {Variant(-9000000000LL), "-9000000000"},
      {Variant(2.5), "2.5"},
      {Variant(0.1f), "0.100000001490116"},  // widened, not rounded to 7 digits
      {Variant(0.5f), "0.5"},
      {Variant(1.0 / 3.0), "0.333333333333333"},
      {Variant(Currency::FromRaw(123400)), "12.34"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant("plain"), "plain"},
      {Variant(u"\u0161"), "\x9a"},  // š in the system code page
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.v.AsString(), c.text);
  }
}

TEST(Variant, NumericConversions) {
  TScopedFormatSettings fs(TFormatSettings::Fixed());
  // Floats round to nearest with ties to even.
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);
  EXPECT_EQ(Variant(3.5).AsInteger(), 4);
  EXPECT_EQ(Variant(-2.5).AsInteger(), -2);
  EXPECT_EQ(Variant(Currency::FromRaw(25000)).AsInteger(), 2);
  EXPECT_EQ(Variant("42").AsInteger(), 42);
  EXPECT_EQ(Variant("1.5").AsDouble(), 1.5);
  EXPECT_EQ(Variant(true).AsInteger(), -1);
  EXPECT_EQ(Variant().AsInteger(), 0);
  EXPECT_EQ(Variant(1.23456).AsCurrency().Raw, 12346);
  EXPECT_TRUE(Variant("True").AsBoolean());
  EXPECT_FALSE(Variant(0).AsBoolean());
  EXPECT_THROW((void)Variant(5e10).AsInteger(), EVariantError);
  EXPECT_EQ(Variant(7).AsType(varSmallint).VarType(), varSmallint);
}

TEST(Variant, ArraysAndReferences) {
  Variant keys = VarArrayOf({"0123", "GP"});
  EXPECT_TRUE(keys.IsArray());
  EXPECT_EQ(keys.ArrayLowBound(), 0);
  EXPECT_EQ(keys.ArrayHighBound(), 1);
  EXPECT_EQ(keys.GetElement(1).AsString(), "GP");
  EXPECT_THROW(keys.GetElement(2), EVariantError);

  // Copies do not share writes.
  Variant copy = keys;
  copy.SetElement(0, 5);
  EXPECT_EQ(keys.GetElement(0).AsString(), "0123");

  int32_t target = 7;
  Variant ref = Variant::ByRef(&target);
  EXPECT_EQ(ref.VarType(), varByRef | varInteger);
  target = 9;
  EXPECT_EQ(ref.AsInteger(), 9);
  EXPECT_EQ(ref.Dereference().VarType(), varInteger);

  Variant inner = Variant::Null();
  EXPECT_TRUE(Variant::ByRef(&inner).IsNull());
}

TEST(Variant, SameValue) {
  EXPECT_TRUE(VarSameValue(Variant::Null(), Variant::Null()));
  EXPECT_FALSE(VarSameValue(Variant::Null(), Variant("")));
  EXPECT_TRUE(VarSameValue(Variant(int16_t{5}), Variant(5LL)));
  EXPECT_TRUE(VarSameValue(Variant(5), Variant("5")));
  EXPECT_FALSE(VarSameValue(Variant("a"), Variant("A")));
}

}  // namespace
