// The system code page: conversions to and from UTF-8/UTF-16 and the
// case rules of its accented letters.
#include "runtime/CodePage.h"

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"

namespace {

// "čćžšđ ČĆŽŠĐ" in Windows-1250.
const std::string kSerbianAnsi = "\xE8\xE6\x9E\x9A\xF0 \xC8\xC6\x8E\x8A\xD0";
const std::string kSerbianUtf8 = "čćžšđ ČĆŽŠĐ";
const std::u16string kSerbianWide = u"čćžšđ ČĆŽŠĐ";

TEST(CodePage, SerbianLettersRoundTrip) {
  EXPECT_EQ(Utf8ToAnsi(kSerbianUtf8), kSerbianAnsi);
  EXPECT_EQ(AnsiToUtf8(kSerbianAnsi), kSerbianUtf8);
  EXPECT_EQ(WideToAnsi(kSerbianWide), kSerbianAnsi);
  EXPECT_EQ(AnsiToWide(kSerbianAnsi), kSerbianWide);
  EXPECT_EQ(Utf8ToWide(kSerbianUtf8), kSerbianWide);
  EXPECT_EQ(WideToUtf8(kSerbianWide), kSerbianUtf8);
  EXPECT_EQ(AnsiToUtf8("plain ASCII"), "plain ASCII");
  EXPECT_EQ(AnsiToUtf8(""), "");
  EXPECT_EQ(AnsiToWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
  // Cyrillic, a CJK ideograph and a character outside the BMP (surrogate pair).
  EXPECT_EQ(Utf8ToAnsi("ž Ж 中 😀 š"), "\x9E ? ? ? \x9A");
  EXPECT_EQ(WideToAnsi(u"ž Ж 😀 š"), "\x9E ? ? \x9A");
  // A lone surrogate is one bad character; the one after it is kept.
  EXPECT_EQ(WideToAnsi(std::u16string{u'a', char16_t(0xD800), u'b', char16_t(0xDC00), u'c'}),
            "a?b?c");
  // Malformed UTF-8: a stray continuation byte and a truncated sequence.
  EXPECT_EQ(Utf8ToAnsi("a\x80" "b\xC4"), "a?b?");
  // Bytes the code page leaves undefined.
  EXPECT_EQ(AnsiToUtf8("x\x81y"), "x?y");
}

TEST(CodePage, CaseFollowsTheCodePage) {
  EXPECT_EQ(AnsiUpperCase("\xE8\xE6\x9E\x9A\xF0 abc"), "\xC8\xC6\x8E\x8A\xD0 ABC");
  EXPECT_EQ(AnsiLowerCase("\xC8\xC6\x8E\x8A\xD0 ABC"), "\xE8\xE6\x9E\x9A\xF0 abc");
  // ß and the multiplication/division signs have no case partner.
  EXPECT_EQ(AnsiUpperCase("\xDF\xF7"), "\xDF\xF7");
  EXPECT_EQ(AnsiLowerCase("\xD7"), "\xD7");
  EXPECT_TRUE(SameText("\xC8" "a\x8A" "a", "\xE8" "A\x9A" "A"));  // "ČaŠa" / "čAšA"
  EXPECT_FALSE(SameText("\xC8", "C"));   // Č is not C
  EXPECT_FALSE(SameText("\xC8", "\xC6"));  // Č is not Ć
  EXPECT_FALSE(SameText("ab", "abc"));
  EXPECT_EQ(AnsiCompareText("abc", "ABD"), -1);
  EXPECT_EQ(AnsiCompareText("\x9A", "\x8A"), 0);
  EXPECT_EQ(AnsiCompareText("ab", "a"), 1);
  // A common start in the same case, then letters differing only in case.
  EXPECT_EQ(AnsiCompareText("ID_\x9A" "ifra", "ID_\x8A" "IFRA"), 0);
  EXPECT_EQ(AnsiCompareText("ID_a", "ID_B"), -1);
  // The ASCII-only helpers leave accented letters alone.
  EXPECT_EQ(UpperCaseAscii("isc_dpb_\xE8"), "ISC_DPB_\xE8");
  EXPECT_TRUE(SameTextAscii("User_Name", "USER_NAME"));
  EXPECT_FALSE(SameTextAscii("\xE8", "\xC8"));
}

TEST(CodePage, AsciiTextsAndTextsEndingInALetterConvertAlike) {
  // Plain ASCII takes a shortcut; a text that turns non-ASCII at its end
  // must come out as if converted whole.
  EXPECT_EQ(WideToAnsi(u"plain ASCII"), "plain ASCII");
  EXPECT_EQ(WideToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(WideToAnsi(u""), "");
  EXPECT_EQ(WideToAnsi(u"abcš"), "abc\x9A");
  EXPECT_EQ(AnsiToWide("plain ASCII"), u"plain ASCII");
  EXPECT_EQ(AnsiToWide("abc\x9A"), u"abcš");
  EXPECT_EQ(Utf8ToAnsi("abcš"), "abc\x9A");
  EXPECT_EQ(SameTextHash("\x9A" "ifra_1"), SameTextHash("\x8A" "IFRA_1"));
  EXPECT_NE(SameTextHash("ifra"), SameTextHash("ifre"));
}

// Other character sets by name: the same converter, its replacement for
// undefined bytes chosen by the caller, an unknown set an error.
TEST(CodePage, NamedCharacterSets) {
  const struct {
    const char* charSet;
    std::string bytes;
    std::u16string wide;
  } cases[] = {
      {"WINDOWS-1251", "\xD5\xE5\xEC \xC6", u"Хем Ж"},
      {"CP852", "\xE6\xE7 \xAC\x9F", u"Šš Čč"},
      {"ISO-8859-2", "\xA9\xB9 \xC8\xE8", u"Šš Čč"},
      {"UTF-8", "Хем Šš 😀", u"Хем Šš 😀"},
      {"WINDOWS-1251", "", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.charSet);
    EXPECT_EQ(CharSetToWide(c.bytes, c.charSet), c.wide);
  }
  // 0x98 is undefined in Windows-1251; a cut UTF-8 sequence is one bad
  // character.
  EXPECT_EQ(CharSetToWide("x\x98y", "WINDOWS-1251"), u"x?y");
  EXPECT_EQ(CharSetToWide("x\x98y", "WINDOWS-1251", u'\xFFFD'), u"x\xFFFDy");
  EXPECT_EQ(CharSetToWide("a\x80" "b\xD0", "UTF-8", u'\xFFFD'), u"a\xFFFD" u"b\xFFFD");
  EXPECT_THROW(CharSetToWide("x", "NO-SUCH-SET"), EOSError);
  // The system code page's own conversions are untouched by the sets met.
  EXPECT_EQ(AnsiToWide(kSerbianAnsi), kSerbianWide);
}

}  // namespace
