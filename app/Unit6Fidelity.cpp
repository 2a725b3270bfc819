#include "app/Unit6Fidelity.h"

#include <cstdio>
#include <vector>

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"

namespace {

// The iconv name of a Firebird single-byte character set, "" for the sets
// whose bytes are kept as the tool's code page wrote them.
std::string IconvName(const std::string& charSet) {
  if (charSet.empty() || charSet == "NONE" || charSet == "OCTETS" || charSet == "WIN1250") return "";
  if (charSet == "UTF8" || charSet == "UNICODE_FSS") return "UTF-8";
  if (charSet.rfind("WIN", 0) == 0) return "WINDOWS-" + charSet.substr(3);
  if (charSet.rfind("ISO8859_", 0) == 0) return "ISO-8859-" + charSet.substr(8);
  if (charSet.rfind("DOS", 0) == 0) return "CP" + charSet.substr(3);
  if (charSet == "KOI8R") return "KOI8-R";
  if (charSet == "KOI8U") return "KOI8-U";
  return "";
}

// The column's characters for the held bytes: the column reads them in its
// own character set. Undecodable bytes become U+FFFD; a set iconv does not
// know reads as the tool's code page wrote it.
std::u16string Decode(const std::string& held, const TTargetColumn& column) {
  const std::string name = IconvName(column.charSet);
  if (name.empty()) return AnsiToWide(held);
  try {
    return CharSetToWide(held, name, u'\xFFFD');
  } catch (const EOSError&) {
    return AnsiToWide(held);
  }
}

// Code points of a UTF-16 text (a lone surrogate stands for itself).
std::vector<char32_t> CodePoints(const std::u16string& s) {
  std::vector<char32_t> points;
  points.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t u = s[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      points.push_back(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
      ++i;
    } else {
      points.push_back(u);
    }
  }
  return points;
}

std::string CodePointName(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

// Serbian plural of "znak" after a count.
std::string Characters(size_t n) {
  const size_t last = n % 10, lastTwo = n % 100;
  const char* word = last == 1 && lastTwo != 11 ? " znak" : last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)
                                                                  ? " znaka"
                                                                  : " znakova";
  return std::to_string(n) + word;
}

}  // namespace

std::string DescribeValueChange(const std::u16string& original, const std::string& held,
                                const TTargetColumn& column) {
  const std::vector<char32_t> from = CodePoints(original);
  const std::vector<char32_t> kept = CodePoints(Decode(held, column));
  // Every character of the source becomes one of the column (single-byte
  // sets): the held text is a prefix of the source, some replaced.
  std::vector<char32_t> replaced;
  const size_t common = std::min(from.size(), kept.size());
  for (size_t i = 0; i < common; ++i)
    if (from[i] != kept[i]) replaced.push_back(from[i]);
  std::string change;
  if (from.size() > kept.size()) {
    std::u16string lost;
    for (size_t i = kept.size(); i < from.size() && i < kept.size() + 30; ++i) {
      const char32_t c = from[i];
      if (c >= 0x10000) {
        lost.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        lost.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
      } else {
        lost.push_back(static_cast<char16_t>(c));
      }
    }
    change = "skraceno sa " + std::to_string(from.size()) + " na " + Characters(kept.size()) + " (izgubljeno: '" +
             WideToAnsi(lost) + (from.size() - kept.size() > 30 ? "...')" : "')");
  }
  if (!replaced.empty()) {
    if (!change.empty()) change += "; ";
    change += Characters(replaced.size()) + " van skupa " + (column.charSet.empty() ? kSystemCodePage : column.charSet) +
              " zamenjeno sa '?' (";
    for (size_t i = 0; i < replaced.size() && i < 10; ++i) change += (i ? ", " : "") + CodePointName(replaced[i]);
    change += replaced.size() > 10 ? ", ...)" : ")";
  }
  return change;
}
