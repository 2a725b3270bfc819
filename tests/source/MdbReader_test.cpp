// The isolated reader: values arrive in their exact stored form through the
// child process, and every way a file or the child can fail ends in an
// EDatabaseError naming the file.
#include "source/MdbReader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "SourceFixture.h"
#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "source/MdbValues.h"

namespace {

TMdbReadLimits FastLimits() {
  TMdbReadLimits l;
  l.idleTimeout = std::chrono::milliseconds(20000);
  return l;
}

Jet4Table AllTypes() {
  Jet4Table t{"TIPOVI",
              {{"T", Jet4Type::Text, 10},
               {"M", Jet4Type::Memo},
               {"B", Jet4Type::Byte},
               {"I", Jet4Type::Integer},
               {"L", Jet4Type::LongInteger},
               {"A", Jet4Type::LongInteger, 0, true},
               {"C", Jet4Type::Currency},
               {"S", Jet4Type::Single},
               {"D", Jet4Type::Double},
               {"DT", Jet4Type::DateTime},
               {"Y", Jet4Type::Boolean},
               {"O", Jet4Type::OleObject},
               {"G", Jet4Type::ReplicationId},
               {"N", Jet4Type::Decimal, 0, false, 18, 4},
               {"BIN", Jet4Type::Binary, 8}},
              {}};
  t.rows.push_back({std::string("Čačak đž"), std::string("ŠĐČĆŽ šđčćž\r\nred"), std::int64_t{255},
                    std::int64_t{-32768}, std::int64_t{-2147483647 - 1}, Jet4Null,
                    Jet4Currency{-12345678}, 0.1, 1.0 / 3, Jet4Date{Jet4DateValue(1850, 6, 1)}, true,
                    Jet4Bytes{0, 1, 2, 255}, Jet4GuidFromText("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
                    std::string("-123.4567"), Jet4Bytes{9, 8, 7}});
  t.rows.push_back({Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null,
                    Jet4Null, Jet4Null, false, Jet4Null, Jet4Null, Jet4Null, Jet4Null});
  t.rows.push_back({std::string(""), std::string(""), std::int64_t{0}, std::int64_t{32767},
                    std::int64_t{2147483647}, Jet4Null, Jet4Currency{922337203685477580},
                    -3.4e38, 1e308, Jet4Date{Jet4DateValue(2099, 12, 31, 23, 59, 59)}, false,
                    Jet4Bytes{}, Jet4Null, std::string("99999999999999.9999"), Jet4Bytes{}});
  return t;
}

TEST(MdbReader, EveryTypeArrivesInItsStoredForm) {
  TempDir dir;
  const std::string path = dir.Write("t.mdb", {AllTypes()});
  const TMdbTable t = MdbReadTable(path, "t.mdb", "TIPOVI", FastLimits());
  ASSERT_EQ(t.rowCount, 3u);
  ASSERT_EQ(t.columns.size(), 15u);
  EXPECT_EQ(t.jetVersion, 1);
  EXPECT_TRUE(t.columns[5].longAuto);
  auto v = [&](size_t r, size_t c) { return JetValue(t, r, c, 0); };

  EXPECT_EQ(v(0, 0).AsString(), Ansi("Čačak đž"));
  EXPECT_EQ(v(0, 1).AsString(), Ansi("ŠĐČĆŽ šđčćž\r\nred"));
  EXPECT_EQ(v(0, 2).AsInteger(), 255);
  EXPECT_EQ(v(0, 3).AsInteger(), -32768);
  EXPECT_EQ(v(0, 4).AsInteger(), -2147483647 - 1);
  EXPECT_EQ(v(0, 5).AsInteger(), 1);  // the first AutoNumber
  EXPECT_EQ(v(0, 6).AsCurrency().Raw, -12345678);
  EXPECT_EQ(v(0, 7).AsDouble(), static_cast<double>(0.1f));
  EXPECT_EQ(v(0, 8).AsDouble(), 1.0 / 3);
  EXPECT_EQ(v(0, 9).AsDate(), Jet4DateValue(1850, 6, 1));
  EXPECT_TRUE(v(0, 10).AsBoolean());
  EXPECT_EQ(v(0, 11).AsString(), std::string("\x00\x01\x02\xff", 4));
  EXPECT_EQ(v(0, 12).AsString(), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
  EXPECT_EQ(v(0, 13).AsCurrency().Raw, -1234567);
  EXPECT_EQ(v(0, 14).AsString(), std::string("\x09\x08\x07", 3));

  // NULL stays apart from the empty text; Yes/No has no NULL.
  for (size_t c : {0, 1, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 14}) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(v(1, c).IsNull());
  }
  EXPECT_FALSE(v(1, 10).AsBoolean());
  EXPECT_EQ(v(1, 5).AsInteger(), 2);
  EXPECT_FALSE(v(2, 0).IsNull());
  EXPECT_EQ(v(2, 0).AsString(), "");
  EXPECT_FALSE(v(2, 1).IsNull());
  EXPECT_EQ(v(2, 1).AsString(), "");

  EXPECT_EQ(v(2, 6).AsCurrency().Raw, 922337203685477580);
  EXPECT_EQ(v(2, 7).AsDouble(), static_cast<double>(-3.4e38f));
  EXPECT_EQ(v(2, 8).AsDouble(), 1e308);
  EXPECT_EQ(v(2, 9).AsDate(), Jet4DateValue(2099, 12, 31, 23, 59, 59));
  EXPECT_EQ(v(2, 13).AsCurrency().Raw, 999999999999999999);
}

// Access keeps rows saved before columns were added to the table as they
// were: they store fewer columns, and the absent trailing ones read as NULL
// (a Yes/No too). A row claiming more columns than the table has is damage.
TEST(MdbReader, RowsSavedBeforeColumnsWereAddedReadTheRestAsNull) {
  Jet4Table t{"TABELA1",
              {{"ID", Jet4Type::LongInteger}, {"NAZIV", Jet4Type::Text, 20}, {"KOL", Jet4Type::Integer},
               {"OPIS", Jet4Type::Memo}, {"Y", Jet4Type::Boolean}, {"C", Jet4Type::Currency},
               {"SIFRA", Jet4Type::Text, 10}, {"DT", Jet4Type::DateTime}, {"N", Jet4Type::Decimal, 0, false, 9, 2}},
              {}};
  t.rows.push_back({std::int64_t{1}, std::string("stari"), std::int64_t{5}, Jet4Null, Jet4Null, Jet4Null,
                    Jet4Null, Jet4Null, Jet4Null});
  t.rows.push_back({std::int64_t{2}, std::string("novi"), std::int64_t{6}, std::string("opis"), true,
                    Jet4Currency{10000}, std::string("S1"), Jet4Date{Jet4DateValue(2003, 1, 2)}, std::string("1.5")});
  t.storedColumns = {3, 0};
  TempDir dir;
  const TMdbTable r = MdbReadTable(dir.Write("VT2003.mdb", {t}), "VT2003.mdb", "TABELA1", FastLimits());
  ASSERT_EQ(r.rowCount, 2u);
  auto v = [&](size_t row, size_t c) { return JetValue(r, row, c, 0); };
  EXPECT_EQ(v(0, 0).AsInteger(), 1);
  EXPECT_EQ(v(0, 1).AsString(), "stari");
  EXPECT_EQ(v(0, 2).AsInteger(), 5);
  for (size_t c = 3; c < 9; ++c) {
    SCOPED_TRACE(c);
    EXPECT_TRUE(v(0, c).IsNull());
  }
  EXPECT_EQ(v(1, 1).AsString(), "novi");
  EXPECT_EQ(v(1, 3).AsString(), "opis");
  EXPECT_TRUE(v(1, 4).AsBoolean());
  EXPECT_EQ(v(1, 5).AsCurrency().Raw, 10000);
  EXPECT_EQ(v(1, 6).AsString(), "S1");
  EXPECT_EQ(v(1, 8).AsCurrency().Raw, 15000);

  // The row of X = 0x1234, Y = 0x5678 (column count, values, null mask)
  // made to claim a third column.
  Jet4Table two{"T", {{"X", Jet4Type::Integer}, {"Y", Jet4Type::Integer}}, {{std::int64_t{0x1234}, std::int64_t{0x5678}}}};
  const std::vector<std::uint8_t> bytes = BuildJet4File({two});
  std::string file(bytes.begin(), bytes.end());
  const std::string row("\x02\x00\x34\x12\x78\x56\x03", 7);
  const size_t at = file.find(row);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(file.find(row, at + 1), std::string::npos);
  file[at] = 3;
  try {
    const TMdbTable bad = MdbReadTable(dir.WriteBytes("wide.mdb", file), "wide.mdb", "T", FastLimits());
    ADD_FAILURE() << bad.rowCount << " rows";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(),
              "The database 'wide.mdb' is damaged or unreadable: a row cannot be split into its columns"
              " (table T, row 1, page " + std::to_string(at / 4096) + ")");
  }
}

// What Access's own files hold: columns dropped after rows were saved keep
// their numbers and their place in those rows, and the second number of a
// column entry is the column's place among the listed ones (here counted
// from 1), not its place in the row. The last column is read all the same,
// a Yes/No included, and a row storing the dropped columns is no damage.
TEST(MdbReader, ColumnsArePlacedInTheRowByTheirNumber) {
  Jet4Table t{"ARTIKLI",
              {{"ID", Jet4Type::LongInteger},
               {.name = "STARO", .type = Jet4Type::Text, .size = 10, .deleted = true},
               {"NAZIV", Jet4Type::Text, 20},
               {.name = "STARI_BROJ", .type = Jet4Type::Integer, .deleted = true},
               {"Y", Jet4Type::Boolean}},
              {}};
  t.rows.push_back({std::int64_t{1}, std::string("staro"), std::string("prvi"), std::int64_t{7}, true});
  t.rows.push_back({std::int64_t{2}, std::string("x"), std::string("drugi"), Jet4Null, Jet4Null});
  t.rows.push_back({std::int64_t{3}, Jet4Null, std::string("treci"), Jet4Null, false});
  t.storedColumns = {0, 3, 0};
  t.firstColumnPlace = 1;
  Jet4Table plain{"DA_NE", {{"A", Jet4Type::Text, 5}, {"Y", Jet4Type::Boolean}}, {}};
  plain.rows = {{std::string("a"), true}, {std::string("b"), false}};
  plain.firstColumnPlace = 1;
  TempDir dir;
  const std::string path = dir.Write("access.mdb", {t, plain});

  const TMdbTable yesNo = MdbReadTable(path, "access.mdb", "DA_NE", FastLimits());
  ASSERT_EQ(yesNo.rowCount, 2u);
  EXPECT_EQ(JetValue(yesNo, 0, 0, 0).AsString(), "a");
  ASSERT_FALSE(JetValue(yesNo, 0, 1, 0).IsNull());
  EXPECT_TRUE(JetValue(yesNo, 0, 1, 0).AsBoolean());
  ASSERT_FALSE(JetValue(yesNo, 1, 1, 0).IsNull());
  EXPECT_FALSE(JetValue(yesNo, 1, 1, 0).AsBoolean());

  const TMdbTable r = MdbReadTable(path, "access.mdb", "ARTIKLI", FastLimits());
  ASSERT_EQ(r.columns.size(), 3u);
  EXPECT_EQ(r.columns[1].name, "NAZIV");
  ASSERT_EQ(r.rowCount, 3u);
  auto v = [&](size_t row, size_t c) { return JetValue(r, row, c, 0); };
  EXPECT_EQ(v(0, 0).AsInteger(), 1);
  EXPECT_EQ(v(0, 1).AsString(), "prvi");
  EXPECT_TRUE(v(0, 2).AsBoolean());
  EXPECT_EQ(v(1, 1).AsString(), "drugi");
  EXPECT_TRUE(v(1, 2).IsNull());  // saved before Y was added
  EXPECT_EQ(v(2, 1).AsString(), "treci");
  ASSERT_FALSE(v(2, 2).IsNull());
  EXPECT_FALSE(v(2, 2).AsBoolean());
}

TEST(MdbReader, LongMemoArrivesWhole) {
  // libmdb's bound buffers stop at 16 KB; the value must not.
  std::string memo;
  while (memo.size() < 200000) memo += "Šabac-" + std::to_string(memo.size()) + ";";
  Jet4Table t{"MEMO", {{"ID", Jet4Type::LongInteger}, {"TXT", Jet4Type::Memo}, {"BLOB", Jet4Type::OleObject}}, {}};
  std::string blob(150000, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7);
  t.rows.push_back({std::int64_t{1}, memo, blob});
  t.rows.push_back({std::int64_t{2}, std::string("kratko"), Jet4Null});
  TempDir dir;
  const TMdbTable r = MdbReadTable(dir.Write("m.mdb", {t}), "m.mdb", "MEMO", FastLimits());
  ASSERT_EQ(r.rowCount, 2u);
  EXPECT_EQ(JetValue(r, 0, 1, 0).AsString(), Ansi(memo));
  EXPECT_EQ(JetValue(r, 0, 2, 0).AsString(), blob);
  EXPECT_EQ(JetValue(r, 1, 1, 0).AsString(), "kratko");
}

TEST(MdbReader, CatalogListsUserTablesOnly) {
  TempDir dir;
  Jet4Table a{"TABELA1", {{"X", Jet4Type::Integer}}, {}};
  Jet4Table b{"HP Oznake", {{"X", Jet4Type::Integer}}, {}};
  const TMdbCatalog c = MdbReadCatalog(dir.Write("c.mdb", {a, b}), "c.mdb", FastLimits());
  EXPECT_EQ(c.tables, (std::vector<std::string>{"TABELA1", "HP Oznake"}));
}

// Every broken file ends in an error that names it, never in a shorter table.
TEST(MdbReader, BrokenFilesFailNamingTheFile) {
  TempDir dir;
  Jet4Table big{"TABELA1", {{"ID", Jet4Type::LongInteger}, {"NAZIV", Jet4Type::Text, 50}}, {}};
  for (int i = 0; i < 3000; ++i) big.rows.push_back({std::int64_t{i}, "red broj " + std::to_string(i)});
  const std::vector<std::uint8_t> good = BuildJet4File({big});
  ASSERT_GT(good.size(), 8 * 4096u);
  const std::string whole(good.begin(), good.end());

  struct Case {
    const char* name;
    std::string bytes;  // empty name: file not written
    const char* messagePart;
  };
  const Case cases[] = {
      {"empty.mdb", "", "is not an Access database"},
      {"text.mdb", std::string(10000, 'x'), "is not an Access database"},
      {"cut_last_page.mdb", whole.substr(0, whole.size() - 4096), "VT2003"},
      {"cut_half.mdb", whole.substr(0, (whole.size() / 2) & ~size_t{4095}), "VT2003"},
      {"header_only.mdb", whole.substr(0, 4096), "VT2003"},
      {"cut_mid_page.mdb", whole.substr(0, (whole.size() / 2 & ~size_t{4095}) + 123), "the file is cut short: it ends 123 bytes into page"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.WriteBytes(c.name, c.bytes);
    try {
      MdbReadCatalog(path, "VT2003.mdb", FastLimits());
      const TMdbTable t = MdbReadTable(path, "VT2003.mdb", "TABELA1", FastLimits());
      ADD_FAILURE() << "read " << t.rowCount << " rows";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find("VT2003.mdb"), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find(c.messagePart), std::string::npos) << e.Message();
    }
  }
  // A named pipe would block the reader's open until the watchdog; it is
  // refused before any reader starts.
  const std::string fifo = dir.File("pipe.mdb");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  try {
    MdbReadCatalog(fifo, "pipe.mdb", TMdbReadLimits{});
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "'pipe.mdb' is not an Access database (it is not a regular file)");
  }
  try {
    MdbReadCatalog(dir.File("missing.mdb"), "missing.mdb", FastLimits());
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Could not find file 'missing.mdb'");
  }
  try {
    MdbReadTable(dir.Write("ok.mdb", {big}), "ok.mdb", "ZNAK", FastLimits());
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Table 'ZNAK' not found in 'ok.mdb'");
  }
}

// Stand-ins for the reader show what the library does when the child hangs,
// crashes or talks nonsense.
class ReaderStandIn : public ::testing::Test {
 protected:
  void Use(const std::string& script) {
    m_script = m_dir.File("standin.sh");
    std::ofstream(m_script) << "#!/bin/sh\n" << script << "\n";
    ::chmod(m_script.c_str(), 0755);
    SetMdbReaderExecutable(m_script);
  }
  void TearDown() override { SetMdbReaderExecutable(""); }
  // The stand-ins that end by themselves do so at once; the idle limit
  // stays far out of their way on a loaded machine, so that a slow start is
  // never reported as a hang.
  std::string Failure(std::chrono::milliseconds idleTimeout = std::chrono::seconds(60)) {
    const std::string file = m_dir.WriteBytes("x.mdb", "x");
    TMdbReadLimits l;
    l.idleTimeout = idleTimeout;
    try {
      MdbReadTable(file, "x.mdb", "T", l);
    } catch (const EDatabaseError& e) {
      return e.Message();
    }
    return "no error";
  }
  TempDir m_dir;
  std::string m_script;
};

// The processes whose parent is this one, reaped or not.
std::set<pid_t> Children() {
  std::set<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "stat");
    std::string stat;
    std::getline(in, stat);
    // "pid (command) state ppid ...": the command may hold blanks and brackets.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent == ::getpid()) children.insert(static_cast<pid_t>(std::stoi(name)));
  }
  return children;
}

// A reader that hangs (it would sleep for an hour) is ended by the idle
// limit: the call comes back without waiting for it, and the child is gone,
// killed and reaped.
TEST_F(ReaderStandIn, HangingReaderIsEnded) {
  Use("exec sleep 3600");
  const std::set<pid_t> before = Children();
  EXPECT_NE(Failure(std::chrono::milliseconds(300)).find("stopped making progress"), std::string::npos);
  EXPECT_EQ(Children(), before);
}

TEST_F(ReaderStandIn, CrashingReaderBecomesAnError) {
  Use("kill -SEGV $$");
  const std::string m = Failure();
  EXPECT_NE(m.find("x.mdb"), std::string::npos) << m;
  EXPECT_NE(m.find("crashed"), std::string::npos) << m;
}

// A reader that cannot be started leaves no descriptor open.
TEST_F(ReaderStandIn, ReaderThatCannotStartLeavesNoDescriptor) {
  auto openDescriptors = [] {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
  };
  SetMdbReaderExecutable(m_dir.File("no-such-reader"));
  const size_t before = openDescriptors();
  for (int i = 0; i < 3; ++i) EXPECT_NE(Failure().find("could not be started"), std::string::npos);
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(ReaderStandIn, GarbageAndSilenceAreErrors) {
  Use("printf 'abc' >&3");
  EXPECT_NE(Failure().find("middle of a frame"), std::string::npos);
  Use("exit 0");
  EXPECT_NE(Failure().find("ended early"), std::string::npos);
}

}  // namespace

namespace {

std::string DecimalBytes(bool negative, uint64_t low, uint32_t high = 0) {
  std::string b(17, '\0');
  b[0] = negative ? '\x80' : '\0';
  const uint32_t words[4] = {0, high, static_cast<uint32_t>(low >> 32), static_cast<uint32_t>(low)};
  for (int w = 0; w < 4; ++w) std::memcpy(&b[1 + 4 * static_cast<size_t>(w)], &words[w], 4);
  return b;
}

// Decimals become currency values (four decimals) exactly where they fit,
// rounded half away from zero past four decimals, and refuse to overflow.
TEST(MdbValues, DecimalToCurrency) {
  struct Case {
    std::string bytes;
    int scale;
    bool fits;
    int64_t raw;
    const char* text;
  };
  const Case cases[] = {
      {DecimalBytes(false, 1234567), 4, true, 1234567, "123.4567"},
      {DecimalBytes(true, 1234567), 4, true, -1234567, "-123.4567"},
      {DecimalBytes(false, 1234565), 6, true, 12346, "1.234565"},
      {DecimalBytes(true, 1234564), 6, true, -12346, "-1.234564"},
      {DecimalBytes(false, 7), 0, true, 70000, "7"},
      {DecimalBytes(false, 5), 3, true, 50, "0.005"},
      {DecimalBytes(false, 922337203685477ULL), 0, true, 9223372036854770000, "922337203685477"},
      {DecimalBytes(false, 922337203685478ULL), 0, false, 0, "922337203685478"},
      {DecimalBytes(false, 1, 1), 4, false, 0, "1844674407370955.1617"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Currency v;
    EXPECT_EQ(JetDecimalToCurrency(c.bytes, c.scale, v), c.fits);
    if (c.fits) {
      EXPECT_EQ(v.Raw, c.raw);
    }
    EXPECT_EQ(JetDecimalText(c.bytes, c.scale), c.text);
  }
}

// Jet 4 texts in both stored forms, ASCII or not, read the same as through
// UTF-16; a text that turns non-ASCII late must not come out half converted.
// Jet 3 texts are 8-bit in the file's code page.
TEST(MdbValues, StoredTextsReadAsSystemText) {
  using namespace std::string_literals;
  struct Case {
    std::string stored;
    std::string ansi;
    const char* what;
    int jetVersion = 1;
    int codePage = 0;
  };
  const Case cases[] = {
      {"A\0b\0"s, "Ab", "UCS-2 ASCII"},
      {"A\0\x61\x01"s, "A\x9A", "UCS-2 with a letter of the code page"},
      {"A\0b\0c"s, "Ab", "UCS-2 with a stray last byte"},
      {"\xFF\xFE" "abc"s, "abc", "compressed ASCII"},
      {"\xFF\xFE" "ab\xE9"s, "ab\xE9", "compressed, one byte above ASCII last"},
      {"\xFF\xFE" "a\0\x61\x01\0b"s, "a\x9A" "b", "compressed with a two-byte stretch"},
      {"\xFF\xFE" "a\0" "c\0\0d"s, "acd", "compressed, ASCII in the two-byte stretch"},
      {"\xFF\xFE" "a\0\x16\x04"s, "a?", "a letter outside the code page"},
      {""s, "", "empty"},
      {"\xFF\xFE" "0123456789abcdefghij"s, "0123456789abcdefghij", "compressed ASCII, long"},
      {"\xFF\xFE" "012345678\0\x61\x01\0" "bcdefgh\xE9xyz"s, "012345678\x9A" "bcdefgh\xE9xyz",
       "compressed, long, a two-byte stretch and a byte above ASCII late"},
      {"\xFF\xFE" "0123456\xC3" "89abcdef"s, "0123456?89abcdef", "compressed, long, outside the code page early"},
      {"AA\xE9" "AA\n0123456789"s, "AA\xE9" "AA\n0123456789", "Jet 3, Windows-1252", 0, 1252},
      {"AA\xC0" "AA"s, "AA?AA", "Jet 3, a letter Windows-1250 lacks", 0, 1252},
      {"AA\x9A"s, "AA\x9A", "Jet 3 in the system code page", 0, 1250},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(JetTextToAnsi(c.stored, c.jetVersion, c.codePage), c.ansi);
    EXPECT_EQ(c.ansi, WideToAnsi(JetTextToWide(c.stored, c.jetVersion, c.codePage)));
    // Written into a field's buffer: the full text cut at every capacity,
    // a non-ASCII letter before, at or after the cut included.
    for (size_t capacity = 0; capacity <= c.ansi.size() + 1; ++capacity) {
      char out[32] = {};
      const size_t n = JetTextToAnsiInto(c.stored, c.jetVersion, c.codePage, out, capacity);
      EXPECT_EQ(std::string(out, n), c.ansi.substr(0, capacity)) << "capacity " << capacity;
    }
  }
}

}  // namespace
