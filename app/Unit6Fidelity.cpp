#include "app/Unit6Fidelity.h"

#include <iconv.h>

#include <cstdio>
#include <vector>

#include "fib/FIBQuery.h"
#include "fib/pFIBDatabase.h"
#include "runtime/CodePage.h"
#include "runtime/StrUtils.h"

const TTargetColumn& TTargetColumns::Of(TFIBDatabase* database, TFIBTransaction* transaction,
                                        const std::string& table, const std::string& column) {
  auto found = m_columns.find(table);
  if (found == m_columns.end()) {
    std::map<std::string, TTargetColumn> columns;
    TFIBQuery query;
    query.SetDatabase(database);
    query.SetTransaction(transaction);
    // The character length is declared since Firebird 2; before it the byte
    // length over the set's bytes per character says the same.
    query.SetSQLText(
        "select rf.RDB$FIELD_NAME, coalesce(f.RDB$CHARACTER_LENGTH, "
        "f.RDB$FIELD_LENGTH / coalesce(cs.RDB$BYTES_PER_CHARACTER, 1)), cs.RDB$CHARACTER_SET_NAME "
        "from RDB$RELATION_FIELDS rf join RDB$FIELDS f on f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE "
        "left join RDB$CHARACTER_SETS cs on cs.RDB$CHARACTER_SET_ID = f.RDB$CHARACTER_SET_ID "
        "where rf.RDB$RELATION_NAME = :T and f.RDB$FIELD_TYPE in (14, 37)");
    query.ParamByName("T")->SetAsString(table);
    query.ExecQuery();
    while (!query.Eof()) {
      TTargetColumn c;
      c.charLength = query.Fields(1)->IsNull() ? -1 : query.Fields(1)->AsInteger();
      c.charSet = Trim(query.Fields(2)->AsString());
      columns[Trim(query.Fields(0)->AsString())] = c;
      query.FetchNext();
    }
    query.Close();
    found = m_columns.emplace(table, std::move(columns)).first;
  }
  static const TTargetColumn unknown;
  auto c = found->second.find(column);
  return c == found->second.end() ? unknown : c->second;
}

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
// own character set. Undecodable bytes become U+FFFD.
std::u16string Decode(const std::string& held, const TTargetColumn& column) {
  const std::string name = IconvName(column.charSet);
  if (name.empty()) return AnsiToWide(held);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return AnsiToWide(held);
  std::u16string out;
  std::vector<char16_t> buffer(held.size() + 4);
  char* in = const_cast<char*>(held.data());
  size_t inLeft = held.size();
  while (inLeft > 0) {
    char* dst = reinterpret_cast<char*>(buffer.data());
    size_t dstLeft = buffer.size() * sizeof(char16_t);
    const size_t r = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    out.append(buffer.data(), (buffer.size() * sizeof(char16_t) - dstLeft) / sizeof(char16_t));
    if (r == static_cast<size_t>(-1) && inLeft > 0) {
      out.push_back(u'\xFFFD');
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
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
