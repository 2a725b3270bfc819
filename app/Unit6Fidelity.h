// Values that would reach the target changed: cut to the column's length or
// holding characters the column's character set cannot keep. The transfers
// compare what the source file stores with what the target dataset holds
// just before the post (the one place every cut and every replacement has
// happened), and list what differs instead of storing it in silence.
#pragma once

#include <map>
#include <string>

class TFIBDatabase;
class TFIBTransaction;

// A target column as the system tables declare it.
struct TTargetColumn {
  int charLength = -1;  // characters; -1 unknown
  std::string charSet;  // as Firebird names it ("WIN1250", "UTF8", ...); "" unknown
};

// The declared text columns of the target's tables, read once per table and
// forgotten when the database is opened again.
class TTargetColumns {
 public:
  const TTargetColumn& Of(TFIBDatabase* database, TFIBTransaction* transaction, const std::string& table,
                          const std::string& column);
  void Clear() { m_columns.clear(); }

 private:
  std::map<std::string, std::map<std::string, TTargetColumn>> m_columns;  // table -> column
};

// What storing `original` (UTF-16, as the source holds it) changes, given
// `held` (8-bit, what the target dataset holds for the column, on a
// connection that hands its bytes over unconverted): "" when nothing; else
// an 8-bit text such as "skraceno sa 8000 na 100 znakova (izgubljeno:
// 'end of the text')" and "2 znaka zamenjena sa '?' (U+0425, U+0435)".
std::string DescribeValueChange(const std::u16string& original, const std::string& held,
                                const TTargetColumn& column);

// The error list's line for a changed value: the prefix, the article or
// marking, the column and the change.
inline constexpr const char* kValueChangedPrefix = "Izmenjena vrednost: ";
