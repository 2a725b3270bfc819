// Files written by Access itself, read the way the tool reads its source
// (connection, then SELECT * through a query), compared cell by cell with
// mdb-export. Our own writer only produces what we thought of; these files
// hold deleted columns, a second column number that is not the row
// position, Jet 3 texts and Yes/No as Access stores them.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "SourceFixture.h"
#include "dataset/Field.h"
#include "runtime/CodePage.h"
#include "runtime/DateText.h"
#include "source/ADODB.h"
#include "source/MdbReader.h"
#include "source/MdbWire.h"

#if defined(MDB_EXPORT_PROGRAM) && defined(ACCESS_REAL_FILES)
namespace {

const std::string kNull = "<NULL>";

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(sep, from)) != std::string::npos; from = at + 1)
    parts.push_back(text.substr(from, at - from));
  parts.push_back(text.substr(from));
  return parts;
}

// mdb-export's -e escaping, so that a cell never holds the tab or the line
// break that separate the cells.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::string General(double v, int digits) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
  return std::string(buf, r.ptr);
}

std::string WithoutDashes(std::string s) {
  std::erase(s, '-');
  return s;
}

// One cell as mdb-export prints it, from the field the query gives. Each
// normalisation is of form only:
// - NULL is "<NULL>" on both sides (mdb-export -0), so NULL stays apart
//   from the empty text.
// - Texts: the tool holds them in its code page (Windows-1250); mdb-export's
//   UTF-8 goes through the same crossing, so a character the code page
//   lacks is "?" on both sides, and every other one must match.
// - Yes/No: mdb-export prints 1/0.
// - Single and Double: mdb-export prints %.8g and %.16g of the stored value.
// - Currency: four decimals.
// - Date/Time: mdb-export prints whole seconds rounded to the nearest one
//   (-T '%Y-%m-%d %H:%M:%S').
// - Replication ID: mdb-export leaves out the dash between the fourth and
//   fifth groups ({8E39276A-BCA8-4AC4-891E49911D8438DD}); the tool gives
//   the usual form. Both are compared without dashes.
std::string Ours(const TField* f, uint8_t jetType) {
  if (f->IsNull()) return kNull;
  switch (jetType) {
    case mdbwire::kBool: return f->AsBoolean() ? "1" : "0";
    case mdbwire::kFloat: return General(f->AsFloat(), 8);
    case mdbwire::kDouble: return General(f->AsFloat(), 16);
    case mdbwire::kMoney: {
      const int64_t raw = f->AsCurrency().Raw;
      const uint64_t mag = raw < 0 ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
      std::string frac = std::to_string(mag % 10000);
      frac.insert(0, 4 - frac.size(), '0');
      return (raw < 0 ? "-" : "") + std::to_string(mag / 10000) + "." + frac;
    }
    case mdbwire::kDateTime: {
      // Whole seconds away from the day's start, in the direction of the
      // stored time of day (subtracted before 1899-12-30).
      const double v = f->AsDateTime();
      const double day = std::trunc(v);
      const double seconds = std::round(std::fabs(v - day) * 86400.0);
      return FormatDateTime("yyyy-mm-dd hh:nn:ss", day + (v < 0 ? -seconds : seconds) / 86400.0);
    }
    case mdbwire::kRepId: return WithoutDashes(f->AsString());
    default: return Escaped(AnsiToUtf8(f->AsString()));
  }
}

std::string Theirs(const std::string& cell, uint8_t jetType) {
  if (cell == kNull) return cell;
  if (jetType == mdbwire::kRepId) return WithoutDashes(cell);
  if (jetType == mdbwire::kText || jetType == mdbwire::kMemo) return AnsiToUtf8(Utf8ToAnsi(cell));
  return cell;
}

// mdb-export is wrong for dates before 1899-12-30 (negative stored days): it
// prints "1900-01-00" and the wrong time. These are the stored values
// (-94.430034722222217, -1.1, -23, -34534, -84533: days from 1899-12-30, the
// time of day as a fraction subtracted), decoded by hand.
const std::map<std::string, std::string> kEarlyDates = {
    {"row14", "1899-09-27 10:19:15"}, {"row19", "1899-12-29 02:24:00"}, {"row3", "1899-12-07 00:00:00"},
    {"row4", "1805-06-12 00:00:00"},  {"row8", "1668-07-20 00:00:00"},
};

std::string MdbExport(const std::string& file, const std::string& table) {
  return RunCommand(std::string(MDB_EXPORT_PROGRAM) + " -H -Q -e -d '\t' -0 '" + kNull +
                    "' -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' '" + file + "' '" + table + "'");
}

TEST(RealAccessFiles, EveryTableReadsAsMdbExportPrintsIt) {
  const std::string folder = ACCESS_REAL_FILES;
  size_t tables = 0;
  for (const char* name : {"testIndexCodesV1997.mdb", "testV2003.mdb", "overflowTestV2003.mdb",
                           "indexTestV2003.mdb"}) {
    const std::string file = folder + "/" + name;
    const TMdbCatalog catalog = MdbReadCatalog(file, name, {});
    for (const std::string& tableName : catalog.tables) {
      SCOPED_TRACE(std::string(name) + " " + tableName);
      ++tables;
      TComponent owner;
      auto* connection = new TADOConnection(&owner);
      connection->SetLoginPrompt(false);
      connection->SetConnectionString(ToolConnectionString(file));
      auto* query = new TADOQuery(&owner);
      query->SetName("qryReal");
      query->SetConnection(connection);
      query->SQL().Add("SELECT * FROM [" + Utf8ToAnsi(tableName) + "]");
      try {
        query->Open();
      } catch (const Exception& e) {
        ADD_FAILURE() << AnsiToUtf8(e.Message());
        continue;
      }
      // The Jet types only choose how a number is printed.
      const TMdbTable stored = MdbReadTable(file, name, tableName, {});
      ASSERT_EQ(static_cast<size_t>(query->FieldCount()), stored.columns.size());

      std::vector<std::string> lines = Split(MdbExport(file, tableName), '\n');
      ASSERT_FALSE(lines.empty());
      ASSERT_EQ(lines.back(), "");  // the last row's line break
      lines.pop_back();
      size_t row = 0;
      for (query->First(); !query->Eof(); query->Next(), ++row) {
        ASSERT_LT(row, lines.size()) << "more rows than mdb-export prints";
        const std::vector<std::string> theirs = Split(lines[row], '\t');
        ASSERT_EQ(theirs.size(), stored.columns.size()) << lines[row];
        for (size_t c = 0; c < theirs.size(); ++c) {
          const uint8_t type = stored.columns[c].type;
          std::string expected = Theirs(theirs[c], type);
          if (type == mdbwire::kDateTime && expected.starts_with("1900-01-00"))
            expected = kEarlyDates.at(theirs[0]);
          EXPECT_EQ(Ours(query->Fields()[static_cast<int>(c)], type), expected)
              << "row " << row + 1 << ", column " << stored.columns[c].name;
        }
      }
      EXPECT_EQ(row, lines.size()) << "fewer rows than mdb-export prints";
    }
  }
  EXPECT_EQ(tables, 37u);  // all of them, none left out by the catalog
}

}  // namespace
#endif
