// Reads the text conventions of the environment's locale once, without
// touching the process's C locale (number conversions stay "C").
#include "runtime/FormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "runtime/CodePage.h"

namespace {

// The locale name the environment gives a category (POSIX precedence).
std::string LocaleName(const char* categoryVar) {
  for (const char* var : {"LC_ALL", categoryVar, "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  return "C";
}

bool IsCLocale(const std::string& name) {
  return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

// A locale text in the system code page.
std::string Ansi(locale_t loc, const char* text) {
  if (!text) return {};
  const char* codeset = nl_langinfo_l(CODESET, loc);
  if (codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0))
    return Utf8ToAnsi(text);
  return text;
}

// One separator character; "" gives none, an unrepresentable one a blank.
char SeparatorChar(const std::string& s, char fallback) {
  if (s.empty()) return fallback;
  if (s.size() != 1 || s == "?") return ' ';
  return s[0];
}

// Converts a strftime pattern into a date/time pattern of FormatDateTime;
// the first separator met becomes `sepToken` ("/" or ":") and is reported.
std::string ConvertStrftime(std::string_view f, char sepToken, char& separator, locale_t loc) {
  std::string out;
  for (size_t i = 0; i < f.size(); ++i) {
    char c = f[i];
    if (c != '%') {
      if ((c == '.' || c == '/' || c == '-' || c == ':') && (separator == 0 || c == separator)) {
        separator = c;
        out += sepToken;
      } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '"') {
        out += '"';
        out += c;
        out += '"';
      } else {
        out += c;
      }
      continue;
    }
    if (++i >= f.size()) break;
    c = f[i];
    // Skip the glibc flags and field widths ("%-d", "%02d", "%Ey").
    while (i + 1 < f.size() && (c == '-' || c == '_' || c == '0' || c == '^' || c == '#' ||
                                c == 'E' || c == 'O' || (c >= '1' && c <= '9')))
      c = f[++i];
    switch (c) {
      case 'd': out += "dd"; break;
      case 'e': out += "d"; break;
      case 'm': out += "mm"; break;
      case 'Y': out += "yyyy"; break;
      case 'y': out += "yy"; break;
      case 'b': case 'h': out += "mmm"; break;
      case 'B': out += "mmmm"; break;
      case 'a': out += "ddd"; break;
      case 'A': out += "dddd"; break;
      case 'H': case 'I': out += "hh"; break;
      case 'k': case 'l': out += "h"; break;
      case 'M': out += "nn"; break;
      case 'S': out += "ss"; break;
      case 'p': case 'P': out += "AMPM"; break;
      case 'T': out += std::string("hh") + sepToken + "nn" + sepToken + "ss"; break;
      case 'R': out += std::string("hh") + sepToken + "nn"; break;
      case 'D': out += "mm/dd/yy"; break;
      case 'F': out += "yyyy-mm-dd"; break;
      case 'r': out += ConvertStrftime(nl_langinfo_l(T_FMT_AMPM, loc), sepToken, separator, loc); break;
      case 'n': case 't': out += ' '; break;
      case '%': out += '%'; break;
      default: break;
    }
  }
  return out;
}

void ReadNumeric(TFormatSettings& fs) {
  std::string name = LocaleName("LC_NUMERIC");
  if (IsCLocale(name)) return;
  locale_t loc = newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(0));
  if (!loc) return;
  fs.DecimalSeparator = SeparatorChar(Ansi(loc, nl_langinfo_l(RADIXCHAR, loc)), '.');
  fs.ThousandSeparator = SeparatorChar(Ansi(loc, nl_langinfo_l(THOUSEP, loc)), '\0');
  freelocale(loc);
}

void ReadMonetary(TFormatSettings& fs) {
  std::string name = LocaleName("LC_MONETARY");
  if (IsCLocale(name)) return;
  locale_t loc = newlocale(LC_MONETARY_MASK, name.c_str(), static_cast<locale_t>(0));
  if (!loc) return;
  auto charItem = [&](nl_item item) { return static_cast<int>(*nl_langinfo_l(item, loc)); };
  fs.CurrencyString = Ansi(loc, nl_langinfo_l(CURRENCY_SYMBOL, loc));
  int frac = charItem(FRAC_DIGITS);
  if (frac >= 0 && frac < CHAR_MAX) fs.CurrencyDecimals = static_cast<uint8_t>(frac);
  int pPrecedes = charItem(P_CS_PRECEDES), pSep = charItem(P_SEP_BY_SPACE);
  if (pPrecedes != CHAR_MAX)
    fs.CurrencyFormat = static_cast<uint8_t>((pPrecedes ? 0 : 1) + (pSep == 1 ? 2 : 0));
  int nPrecedes = charItem(N_CS_PRECEDES), nSep = charItem(N_SEP_BY_SPACE);
  int posn = charItem(N_SIGN_POSN);
  if (nPrecedes != CHAR_MAX && posn >= 0 && posn <= 4) {
    // Rows: symbol first without/with blank, symbol last without/with blank;
    // columns: the sign position of the C library.
    static const uint8_t kNeg[4][5] = {
        {0, 1, 3, 1, 2}, {14, 9, 11, 9, 12}, {4, 5, 7, 6, 7}, {15, 8, 10, 13, 10}};
    fs.NegCurrFormat = kNeg[(nPrecedes ? 0 : 2) + (nSep == 1 ? 1 : 0)][posn];
  }
  freelocale(loc);
}

void ReadTime(TFormatSettings& fs) {
  std::string name = LocaleName("LC_TIME");
  if (IsCLocale(name)) return;
  locale_t loc = newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(0));
  if (!loc) return;
  char dateSep = 0, timeSep = 0;
  fs.ShortDateFormat = ConvertStrftime(nl_langinfo_l(D_FMT, loc), '/', dateSep, loc);
  fs.LongTimeFormat = ConvertStrftime(nl_langinfo_l(T_FMT, loc), ':', timeSep, loc);
  if (dateSep) fs.DateSeparator = dateSep;
  if (timeSep) fs.TimeSeparator = timeSep;
  // The short time form is the long one without its seconds.
  fs.ShortTimeFormat = fs.LongTimeFormat;
  size_t ss = fs.ShortTimeFormat.find(":ss");
  if (ss != std::string::npos) fs.ShortTimeFormat.erase(ss, 3);
  std::string am = Ansi(loc, nl_langinfo_l(AM_STR, loc));
  std::string pm = Ansi(loc, nl_langinfo_l(PM_STR, loc));
  if (!am.empty()) fs.TimeAMString = am;
  if (!pm.empty()) fs.TimePMString = pm;
  for (int i = 0; i < 12; ++i) {
    fs.ShortMonthNames[static_cast<size_t>(i)] = Ansi(loc, nl_langinfo_l(ABMON_1 + i, loc));
    fs.LongMonthNames[static_cast<size_t>(i)] = Ansi(loc, nl_langinfo_l(MON_1 + i, loc));
  }
  for (int i = 0; i < 7; ++i) {
    fs.ShortDayNames[static_cast<size_t>(i)] = Ansi(loc, nl_langinfo_l(ABDAY_1 + i, loc));
    fs.LongDayNames[static_cast<size_t>(i)] = Ansi(loc, nl_langinfo_l(DAY_1 + i, loc));
  }
  freelocale(loc);
}

}  // namespace

std::string StrftimeToPattern(std::string_view pattern, char sepToken, char& separator) {
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return ConvertStrftime(pattern, sepToken, separator, cLocale);
}

TFormatSettings TFormatSettings::FromEnvironment() {
  TFormatSettings fs = Fixed();
  ReadNumeric(fs);
  ReadMonetary(fs);
  ReadTime(fs);
  return fs;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = TFormatSettings::FromEnvironment();
  return settings;
}
