// Reader of the tab-separated table description used by mdbwrite.
#include "jet4/Jet4Description.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', from);
    out.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
    if (tab == std::string::npos) return out;
    from = tab + 1;
  }
}

class LineError {
 public:
  explicit LineError(std::size_t line) : m_line(line) {}
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("line " + std::to_string(m_line) + ": " + what);
  }

 private:
  std::size_t m_line;
};

std::string Unescape(const std::string& s, const LineError& at) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out.push_back(s[i]);
      continue;
    }
    if (++i == s.size()) at.Fail("a backslash ends the value");
    switch (s[i]) {
      case 't': out.push_back('\t'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case '\\': out.push_back('\\'); break;
      default: at.Fail(std::string("unknown escape \\") + s[i]);
    }
  }
  return out;
}

std::int64_t ParseInteger(const std::string& s, const LineError& at) {
  std::int64_t v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) at.Fail("\"" + s + "\" is not an integer");
  return v;
}

double ParseReal(const std::string& s, const LineError& at) {
  double v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) at.Fail("\"" + s + "\" is not a number");
  return v;
}

// Decimal text with at most four fraction digits -> amount x 10,000, exactly.
std::int64_t ParseCurrency(const std::string& s, const LineError& at) {
  const std::size_t point = s.find('.');
  std::string whole = s.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : s.substr(point + 1);
  if (fraction.size() > 4 || fraction.find_first_not_of("0123456789") != std::string::npos)
    at.Fail("\"" + s + "\" is not a currency amount (at most 4 decimals)");
  fraction.resize(4, '0');
  const bool negative = !whole.empty() && whole[0] == '-';
  if (whole == "-" || whole.empty()) whole += "0";
  const std::int64_t w = ParseInteger(whole, at);
  const std::int64_t f = ParseInteger(fraction, at);
  if (w > 922337203685476 || w < -922337203685476) at.Fail("currency \"" + s + "\" out of range");
  return w * 10000 + (negative ? -f : f);
}

double ParseDate(const std::string& s, const LineError& at) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  char tail = 0;
  const int n = std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &sec, &tail);
  if (n != 3 && n != 5 && n != 6) at.Fail("\"" + s + "\" is not a date (YYYY-MM-DD [HH:MM[:SS]])");
  try {
    return Jet4DateValue(y, mo, d, h, mi, sec);
  } catch (const std::runtime_error& e) {
    at.Fail(e.what());
  }
}

Jet4Bytes ParseHex(const std::string& s, const LineError& at) {
  if (s.size() % 2 != 0 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    at.Fail("\"" + s + "\" is not hexadecimal bytes");
  Jet4Bytes out;
  for (std::size_t i = 0; i < s.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoul(s.substr(i, 2), nullptr, 16)));
  return out;
}

bool ParseYesNo(const std::string& s, const LineError& at) {
  const std::string l = Lower(s);
  if (l == "1" || l == "yes" || l == "true") return true;
  if (l == "0" || l == "no" || l == "false") return false;
  at.Fail("\"" + s + "\" is not a Yes/No value");
}

Jet4Value ParseValue(const std::string& cell, const Jet4Column& c, const LineError& at) {
  if (cell == "\\N") return Jet4Null;
  const std::string s = Unescape(cell, at);
  const bool textual = c.type == Jet4Type::Text || c.type == Jet4Type::Memo;
  if (s.empty() && !textual) return Jet4Null;
  switch (c.type) {
    case Jet4Type::Text:
    case Jet4Type::Memo:
    case Jet4Type::Decimal: return s;
    case Jet4Type::Boolean: return ParseYesNo(s, at);
    case Jet4Type::Byte:
    case Jet4Type::Integer:
    case Jet4Type::LongInteger: return ParseInteger(s, at);
    case Jet4Type::Single:
    case Jet4Type::Double: return ParseReal(s, at);
    case Jet4Type::Currency: return Jet4Currency{ParseCurrency(s, at)};
    case Jet4Type::DateTime: return Jet4Date{ParseDate(s, at)};
    case Jet4Type::Binary:
    case Jet4Type::OleObject: return ParseHex(s, at);
    case Jet4Type::ReplicationId:
      try {
        return Jet4GuidFromText(s);
      } catch (const std::runtime_error& e) {
        at.Fail(e.what());
      }
  }
  at.Fail("unknown column type");
}

Jet4Column ParseColumn(const std::vector<std::string>& f, const LineError& at) {
  if (f.size() < 3) at.Fail("a column needs a name and a type");
  Jet4Column c;
  c.name = f[1];
  const std::string type = Lower(f[2]);
  struct Known { const char* name; Jet4Type type; };
  static constexpr Known kTypes[] = {
      {"text", Jet4Type::Text},       {"memo", Jet4Type::Memo},         {"byte", Jet4Type::Byte},
      {"integer", Jet4Type::Integer}, {"long", Jet4Type::LongInteger},  {"autonumber", Jet4Type::LongInteger},
      {"single", Jet4Type::Single},   {"double", Jet4Type::Double},     {"currency", Jet4Type::Currency},
      {"decimal", Jet4Type::Decimal}, {"yesno", Jet4Type::Boolean},     {"datetime", Jet4Type::DateTime},
      {"binary", Jet4Type::Binary},   {"ole", Jet4Type::OleObject},     {"guid", Jet4Type::ReplicationId},
  };
  const auto* k = std::find_if(std::begin(kTypes), std::end(kTypes), [&](const Known& t) { return type == t.name; });
  if (k == std::end(kTypes)) at.Fail("unknown column type \"" + f[2] + "\"");
  c.type = k->type;
  c.autoNumber = type == "autonumber";
  std::size_t allowed = 3;
  if (c.type == Jet4Type::Text || c.type == Jet4Type::Binary) {
    c.size = c.type == Jet4Type::Text ? 50 : 255;
    if (f.size() > 3) c.size = static_cast<int>(ParseInteger(f[3], at));
    allowed = 4;
  } else if (c.type == Jet4Type::Decimal) {
    if (f.size() > 3) c.precision = static_cast<int>(ParseInteger(f[3], at));
    if (f.size() > 4) c.scale = static_cast<int>(ParseInteger(f[4], at));
    allowed = 5;
  }
  if (f.size() > allowed) at.Fail("too many fields for a column of type " + f[2]);
  return c;
}

}  // namespace

std::vector<Jet4Table> ParseJet4Description(std::istream& in) {
  std::vector<Jet4Table> tables;
  std::string line;
  std::size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    const LineError at(number);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> f = SplitTabs(line);
    const std::string kind = Lower(f[0]);
    if (kind != "table" && kind != "column" && kind != "row")
      at.Fail("unknown line kind \"" + f[0] + "\" (table, column or row)");
    if (kind == "table") {
      if (f.size() != 2 || f[1].empty()) at.Fail("expected: table<TAB>name");
      tables.push_back(Jet4Table{f[1]});
      continue;
    }
    if (tables.empty()) at.Fail("\"" + f[0] + "\" before the first table line");
    Jet4Table& t = tables.back();
    if (kind == "column") {
      if (!t.rows.empty()) at.Fail("column after the first row of table " + t.name);
      t.columns.push_back(ParseColumn(f, at));
    } else {
      if (f.size() - 1 != t.columns.size())
        at.Fail(std::to_string(f.size() - 1) + " values for " + std::to_string(t.columns.size()) + " columns of table " +
                t.name);
      std::vector<Jet4Value> row;
      for (std::size_t i = 1; i < f.size(); ++i) row.push_back(ParseValue(f[i], t.columns[i - 1], at));
      t.rows.push_back(std::move(row));
    }
  }
  return tables;
}
