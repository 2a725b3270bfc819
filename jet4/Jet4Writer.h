// Writer of Access 2000 (Jet 4) .mdb files for tests and developer tools: every
// test builds exactly the source file it needs instead of shipping binaries.
//
// What it writes: the catalog (MSysObjects) and any number of user tables with
// their rows; no indexes, relations, queries or properties. The files read
// through libmdb (mdbtools) and its command-line tools.
//
// Usage:
//   Jet4Table t{"ZNAK", {{"ID", Jet4Type::LongInteger}, {"NAZIV", Jet4Type::Text, 50}}};
//   t.rows.push_back({Jet4Value{std::int64_t{1}}, Jet4Value{"Zapaljivo"}});
//   WriteJet4File("VT2003.mdb", {t});
//
// Values per column type (anything else throws, naming table, row and column):
//   Boolean        bool or integer (non-zero = Yes). NULL is stored as No: the
//                  format keeps Yes/No in the null mask and has no NULL for it.
//   Byte, Integer, LongInteger   integer, range checked. An AutoNumber
//                  LongInteger takes NULL as "next number" (1, or one above
//                  the largest number so far).
//   Currency       Jet4Currency (amount x 10,000), integer (whole amount) or double
//   Single, Double double or integer
//   DateTime       Jet4Date or double (days since 1899-12-30, see Jet4DateValue)
//   Text, Memo     std::string in UTF-8 (stored as UCS-2, compressed when shorter)
//   Binary, OleObject   Jet4Bytes or std::string (raw bytes)
//   ReplicationId  Jet4Guid or its text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
//                  (the AutoNumber flag only marks the column; NULL stays NULL)
//   Decimal        integer (whole number) or decimal text ("-123.45"), scaled to
//                  the column's scale; more fraction digits than the scale throw
// NULL (std::monostate, Jet4Null) is accepted in every column.
//
// Names are not checked and the declared Text size is not enforced, so a test
// can build what foreign or damaged files hold: repeated or empty column names,
// a value longer than its column. A row must fit a page (4,060 bytes
// after encoding; memo and OLE values go to separate pages beyond 64 bytes).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

enum class Jet4Type {
  Boolean,        // Yes/No
  Byte,
  Integer,        // 16 bit
  LongInteger,    // 32 bit; AutoNumber with Jet4Column::autoNumber
  Currency,
  Single,
  Double,
  DateTime,
  Binary,         // variable bytes up to the declared size
  Text,
  OleObject,
  Memo,
  ReplicationId,  // GUID
  Decimal,
};

struct Jet4Column {
  std::string name;                 // UTF-8
  Jet4Type type = Jet4Type::Text;
  int size = 50;                    // Text: characters; Binary: bytes; others ignore it
  bool autoNumber = false;          // LongInteger and ReplicationId only
  int precision = 18;               // Decimal only (1..28)
  int scale = 0;                    // Decimal only (0..precision)
  bool compress = true;             // Text/Memo: Unicode compression allowed
  // A column dropped from the table after rows were saved. Access never
  // renumbers: the others keep their numbers, rows keep its bytes, its mask
  // bit and its variable slot, and the definition counts it among the most
  // columns a row has, but lists only the others. Not for Memo and OLE.
  bool deleted = false;
};

struct Jet4Currency {
  std::int64_t scaled;  // amount x 10,000
};

struct Jet4Date {
  double days;  // Access date: days since 1899-12-30, see Jet4DateValue
};

struct Jet4Guid {
  std::array<std::uint8_t, 16> bytes;  // in Windows GUID memory order
};

using Jet4Bytes = std::vector<std::uint8_t>;

using Jet4Value = std::variant<std::monostate, std::int64_t, double, bool, std::string, Jet4Bytes,
                               Jet4Currency, Jet4Date, Jet4Guid>;

inline constexpr std::monostate Jet4Null{};

struct Jet4Table {
  std::string name;  // UTF-8
  std::vector<Jet4Column> columns = {};
  std::vector<std::vector<Jet4Value>> rows = {};  // each row holds one value per column
  // The row count kept in the table definition; readers check the rows they
  // find against it. Set only to build a damaged file; by default rows.size().
  std::optional<std::uint32_t> storedRowCount = std::nullopt;
  // Rows saved before the trailing columns were added store only the columns
  // of their time, and readers show the rest as NULL. Per row, how many
  // leading columns it stores (0, or no entry: all); the values of the
  // columns it does not store must be NULL.
  std::vector<std::size_t> storedColumns = {};
  // Each column entry carries a second number besides the column number:
  // Access fills it with the column's place among the listed columns,
  // counted from 0 in some files and from 1 in others. It is not the place
  // in a row.
  std::size_t firstColumnPlace = 0;
};

// Writes the tables, in this order, into a new file at `path` (replacing it).
// Throws std::runtime_error for an invalid description or a failed write.
void WriteJet4File(const std::string& path, const std::vector<Jet4Table>& tables);

// The same file as bytes.
std::vector<std::uint8_t> BuildJet4File(const std::vector<Jet4Table>& tables);

// Access's stored form of a date and time. Before 1899-12-30 the day part is
// negative and the time of day is subtracted (1899-12-29 06:00 is -1.25).
// Throws std::runtime_error for a date outside 100-01-01 .. 9999-12-31.
double Jet4DateValue(int year, int month, int day, int hour = 0, int minute = 0,
                     double second = 0);

// "{6F9619FF-8B86-D011-B42D-00C04FC964FF}" (braces optional) -> GUID bytes.
Jet4Guid Jet4GuidFromText(const std::string& text);
