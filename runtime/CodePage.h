// The system 8-bit code page (Windows-1250: the tool's data is Serbian Latin)
// and every conversion between it and UTF-8 / UTF-16. Text inside the system
// is 8-bit in this code page; these are the only crossings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Name of the system code page as iconv knows it.
inline constexpr const char* kSystemCodePage = "WINDOWS-1250";

// System code page -> UTF-8 (screen, terminal).
std::string AnsiToUtf8(std::string_view ansi);
// UTF-8 -> system code page; a character the code page cannot hold becomes "?".
std::string Utf8ToAnsi(std::string_view utf8);
// UTF-16 -> system code page; unrepresentable characters become "?".
std::string WideToAnsi(std::u16string_view wide);
// System code page -> UTF-16.
std::u16string AnsiToWide(std::string_view ansi);
std::u16string Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::u16string_view wide);

// Text in another character set, named as iconv knows it ("WINDOWS-1251",
// "CP852", "UTF-8", ...), to UTF-16; a byte (or malformed sequence) the set
// leaves undefined becomes `replacement`. A set iconv does not know raises
// EOSError, as the code page's own conversions do.
std::u16string CharSetToWide(std::string_view bytes, const std::string& charSet, char16_t replacement = u'?');

// Letter case in the system code page (covers the accented letters).
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);
// Case-insensitive comparison following the code page: <0, 0, >0. Orders
// by the code-page value of the upper-case letters (not a linguistic order).
int AnsiCompareText(std::string_view a, std::string_view b);
// Case-insensitive equality of names (code-page aware). Inline: most names
// compared differ in length already.
inline bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}
// A hash of the upper-case form: texts SameText finds equal hash equal.
std::size_t SameTextHash(std::string_view s) noexcept;
// ASCII-only upper case, for protocol names and keywords.
inline char UpperCaseAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
std::string UpperCaseAscii(std::string_view s);
std::string LowerCaseAscii(std::string_view s);
// ASCII-only case-insensitive equality (parameter and protocol names).
bool SameTextAscii(std::string_view a, std::string_view b);
// Whether `s` begins with `prefix`, ASCII letters compared without case.
bool StartsWithTextAscii(std::string_view s, std::string_view prefix);
