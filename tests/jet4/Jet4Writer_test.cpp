// The Jet 4 writer judged by independent readers: files are read back through
// libmdb (values from their stored bytes) and through the mdb-export program.
#include "jet4/Jet4Encoding.h"
#include "jet4/Jet4Writer.h"
#include "LibmdbProbe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using T = Jet4Type;
using probe::TempFile;

std::string Repeat(const std::string& s, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += s;
  return out;
}

std::string Hex(const std::vector<std::uint8_t>& b) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string s;
  for (auto c : b) {
    s += kDigits[c >> 4];
    s += kDigits[c & 15];
    s += ' ';
  }
  return s;
}

TEST(Jet4Text, CompressesWhenShorterAndEncodable) {
  struct Case {
    const char* utf8;
    bool allow;
    std::vector<std::uint8_t> want;
  };
  const Case cases[] = {
      // Narrow and wide runs switched by zero bytes.
      {"Čačak je grad", true, {0xFF, 0xFE, 0x00, 0x0C, 0x01, 0x00, 0x61, 0x00, 0x0D, 0x01, 0x00, 0x61, 0x6B,
                               0x20, 0x6A, 0x65, 0x20, 0x67, 0x72, 0x61, 0x64}},
      {"abc", true, {0xFF, 0xFE, 0x61, 0x62, 0x63}},
      // Compressed would not be shorter: plain is kept.
      {"ab", true, {0x61, 0x00, 0x62, 0x00}},
      {"Čačak", true, {0x0C, 0x01, 0x61, 0x00, 0x0D, 0x01, 0x61, 0x00, 0x6B, 0x00}},
      // U+0100 has a zero low byte, which would read as a mode switch.
      {"aĀa", true, {0x61, 0x00, 0x00, 0x01, 0x61, 0x00}},
      {"abc", false, {0x61, 0x00, 0x62, 0x00, 0x63, 0x00}},
      {"", true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Hex(jet4::EncodeText(jet4::Utf8ToUtf16(c.utf8), c.allow)), Hex(c.want));
  }
  EXPECT_THROW(jet4::Utf8ToUtf16("\xC4"), std::runtime_error);
  EXPECT_THROW(jet4::Utf8ToUtf16("a\xFF"), std::runtime_error);
  EXPECT_THROW(jet4::Utf8ToUtf16("\xC0\xAF"), std::runtime_error);  // overlong "/"
  EXPECT_EQ(jet4::Utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
}

TEST(Jet4Date, AccessDateNumbers) {
  struct Case {
    int y, mo, d, h, mi, s;
    double want;
  };
  const Case cases[] = {
      {1899, 12, 30, 0, 0, 0, 0.0},
      {1899, 12, 30, 6, 0, 0, 0.25},
      {1899, 12, 29, 6, 0, 0, -1.25},  // before the epoch the time is subtracted
      {1900, 1, 1, 0, 0, 0, 2.0},
      {1850, 6, 1, 0, 0, 0, -18109.0},
      {1850, 6, 1, 12, 0, 0, -18109.5},
      {2099, 12, 31, 23, 59, 59, 73050.0 + 86399.0 / 86400.0},
      {100, 1, 1, 0, 0, 0, -657434.0},
      {9999, 12, 31, 0, 0, 0, 2958465.0},
      {2000, 2, 29, 0, 0, 0, 36585.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.y) + "-" + std::to_string(c.mo) + "-" + std::to_string(c.d));
    EXPECT_DOUBLE_EQ(Jet4DateValue(c.y, c.mo, c.d, c.h, c.mi, c.s), c.want);
  }
  EXPECT_THROW(Jet4DateValue(1900, 2, 29), std::runtime_error);
  EXPECT_THROW(Jet4DateValue(99, 12, 31), std::runtime_error);
  EXPECT_THROW(Jet4DateValue(2000, 1, 1, 24), std::runtime_error);
}

// One column of every type; values at the edges of each type, and NULLs.
Jet4Table AllTypes() {
  Jet4Table t{"SviTipovi"};
  t.columns = {
      {"ID", T::LongInteger, 0, true},
      {"DA_NE", T::Boolean},
      {"BAJT", T::Byte},
      {"CEO", T::Integer},
      {"DUGI", T::LongInteger},
      {"NOVAC", T::Currency},
      {"JEDNOSTRUKI", T::Single},
      {"DVOSTRUKI", T::Double},
      {"DATUM", T::DateTime},
      {"BINARNI", T::Binary, 16},
      {"TEKST", T::Text, 40},
      {"OLE", T::OleObject},
      {"BELESKA", T::Memo},
      {"GUID", T::ReplicationId},
      {"DECIMALNI", T::Decimal, 0, false, 12, 3},
  };
  const Jet4Guid guid = Jet4GuidFromText("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
  t.rows.push_back({Jet4Null, true, std::int64_t{255}, std::int64_t{-32768}, std::int64_t{2147483647},
                    Jet4Currency{12345678}, 1.5, 0.1, Jet4Date{Jet4DateValue(1850, 6, 1, 12)},
                    Jet4Bytes{0x00, 0x01, 0xFF}, "Čačak žšđ ČĆŽŠĐ", Jet4Bytes{0x4D, 0x5A, 0x00, 0x90},
                    "Razređivač: čuvati dalje od izvora paljenja", guid, "-123456789.125"});
  t.rows.push_back({Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null,
                    Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null});
  t.rows.push_back({std::int64_t{40}, false, std::int64_t{0}, std::int64_t{32767},
                    std::int64_t{std::numeric_limits<std::int32_t>::min()},
                    Jet4Currency{std::numeric_limits<std::int64_t>::min()}, -3.25e38, -1e308,
                    Jet4Date{Jet4DateValue(2099, 12, 31, 23, 59, 59)}, Jet4Bytes{}, "", Jet4Bytes{}, "",
                    Jet4Guid{}, std::int64_t{0}});
  t.rows.push_back({Jet4Null, std::int64_t{1}, std::int64_t{7}, std::int64_t{-1}, std::int64_t{-1},
                    std::int64_t{-5}, std::int64_t{3}, 12.5, 0.0, "AB", "'navodnik' i \"znaci\"", "x",
                    "Dve\r\nlinije", "{00000000-0000-0000-0000-000000000001}", "9"});
  return t;
}

TEST(Jet4Writer, EveryTypeReadsBackExactlyThroughLibmdb) {
  TempFile f("types.mdb");
  WriteJet4File(f.Path(), {AllTypes()});
  const probe::Table t = probe::Read(f.Path(), "SviTipovi");

  const std::vector<int> wantTypes = {MDB_LONGINT, MDB_BOOL,   MDB_BYTE,  MDB_INT,  MDB_LONGINT,
                                      MDB_MONEY,   MDB_FLOAT,  MDB_DOUBLE, MDB_DATETIME, MDB_BINARY,
                                      MDB_TEXT,    MDB_OLE,    MDB_MEMO,  MDB_REPID, MDB_NUMERIC};
  EXPECT_EQ(t.types, wantTypes);
  EXPECT_EQ(t.names.front(), "ID");
  EXPECT_TRUE(t.autoNumber[0]);
  EXPECT_FALSE(t.autoNumber[4]);
  EXPECT_EQ(t.sizes[10], 80);  // text size in bytes: two per character
  EXPECT_EQ(t.names.back(), "DECIMALNI");
  ASSERT_EQ(t.rows.size(), 4u);
  EXPECT_EQ(t.declaredRows, 4);

  const auto& a = t.rows[0];
  EXPECT_EQ(probe::Int(a[0].raw), 1);  // AutoNumber starts at 1
  EXPECT_FALSE(a[1].null);              // Yes
  EXPECT_EQ(probe::Int(a[2].raw) & 0xFF, 255);
  EXPECT_EQ(probe::Int(a[3].raw), -32768);
  EXPECT_EQ(probe::Int(a[4].raw), 2147483647);
  EXPECT_EQ(probe::Int(a[5].raw), 12345678);
  EXPECT_EQ(probe::Real(a[6].raw), 1.5);
  EXPECT_EQ(probe::Real(a[7].raw), 0.1);
  EXPECT_EQ(probe::Real(a[8].raw), -18109.5);
  EXPECT_EQ(Hex(a[9].raw), "00 01 FF ");
  EXPECT_EQ(a[10].text, "Čačak žšđ ČĆŽŠĐ");
  EXPECT_EQ(a[11].text, std::string("MZ\x00\x90", 4));
  EXPECT_EQ(a[12].text, "Razređivač: čuvati dalje od izvora paljenja");
  EXPECT_EQ(Hex(a[13].raw), Hex({0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0, 0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9,
                                 0x64, 0xFF}));
  EXPECT_EQ(a[14].text, "-123456789.125");

  const auto& b = t.rows[1];
  EXPECT_EQ(probe::Int(b[0].raw), 2);  // NULL in an AutoNumber column takes the next number
  for (std::size_t c = 1; c < b.size(); ++c) {
    SCOPED_TRACE(t.names[c]);
    EXPECT_TRUE(b[c].null);  // Yes/No: No
    EXPECT_EQ(b[c].text, c == 1 ? "0" : "");
  }

  const auto& c = t.rows[2];
  EXPECT_EQ(probe::Int(c[0].raw), 40);
  EXPECT_TRUE(c[1].null);
  EXPECT_EQ(probe::Int(c[3].raw), 32767);
  EXPECT_EQ(probe::Int(c[4].raw), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(probe::Int(c[5].raw), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(probe::Real(c[6].raw), static_cast<double>(-3.25e38f));
  EXPECT_EQ(probe::Real(c[7].raw), -1e308);
  EXPECT_EQ(probe::Real(c[8].raw), 73050.0 + 86399.0 / 86400.0);
  // Empty values are present (mask bit set) with no bytes: not NULL.
  for (std::size_t k : {9u, 10u, 11u, 12u}) {
    SCOPED_TRACE(t.names[k]);
    EXPECT_FALSE(c[k].null);
    EXPECT_EQ(c[k].text, "");
  }
  EXPECT_EQ(c[14].text, "0.000");

  const auto& d = t.rows[3];
  EXPECT_EQ(probe::Int(d[0].raw), 41);  // continues after the largest number given
  EXPECT_EQ(probe::Int(d[5].raw), -50000);
  EXPECT_EQ(probe::Real(d[6].raw), 3.0);
  EXPECT_EQ(d[9].text, "AB");
  EXPECT_EQ(d[10].text, "'navodnik' i \"znaci\"");
  EXPECT_EQ(d[12].text, "Dve\r\nlinije");
  EXPECT_EQ(d[14].text, "9.000");
}

TEST(Jet4Writer, MdbExportPrintsEveryTypeAsWritten) {
  TempFile f("export.mdb");
  Jet4Table t = AllTypes();
  t.rows.erase(t.rows.begin());  // mdb-export cannot print dates before 1900
  WriteJet4File(f.Path(), {t});
  EXPECT_EQ(probe::Export(f.Path(), "SviTipovi"),
            "ID,DA_NE,BAJT,CEO,DUGI,NOVAC,JEDNOSTRUKI,DVOSTRUKI,DATUM,BINARNI,TEKST,OLE,BELESKA,GUID,DECIMALNI\n"
            "1,0,\\N,\\N,\\N,\\N,\\N,\\N,\\N,\\N,\\N,\\N,\\N,\\N,\\N\n"
            // libmdb shows empty values as NULL (except OLE) and GUIDs with a dash missing.
            "40,0,0,32767,-2147483648,-922337203685477.5808,-3.25e+38,-1e+308,\"2099-12-31 23:59:59\","
            "\\N,\\N,\"\",\\N,\"{00000000-0000-0000-0000000000000000}\",0.000\n"
            "41,1,7,-1,-1,-5.0000,3,12.5,\"1899-12-30 00:00:00\",\"AB\",\"'navodnik' i \"\"znaci\"\"\",\"x\","
            "\"Dve\\r\\nlinije\",\"{00000000-0000-0000-0000000000000001}\",9.000\n");
}

TEST(Jet4Writer, ThousandsOfRowsFillManyPagesAndKeepTheirCount) {
  TempFile f("many.mdb");
  Jet4Table t{"TABELA1", {{"ID", T::LongInteger}, {"KAT_BROJ", T::Text, 20}, {"NAZIV", T::Text, 100},
                          {"ZAPALJIVO", T::Boolean}}};
  constexpr int kRows = 5000;
  for (int i = 0; i < kRows; ++i)
    t.rows.push_back({std::int64_t{i}, std::to_string(100000 + i), "Boja za drvo Lazur " + std::to_string(i) + " ČĆŽŠĐ",
                      i % 3 == 0});
  WriteJet4File(f.Path(), {t});

  const probe::Table r = probe::Read(f.Path(), "TABELA1");
  ASSERT_EQ(r.rows.size(), static_cast<std::size_t>(kRows));
  EXPECT_EQ(r.declaredRows, kRows);
  for (int i = 0; i < kRows; ++i) {
    const auto& row = r.rows[static_cast<std::size_t>(i)];
    ASSERT_EQ(probe::Int(row[0].raw), i) << "rows out of order or lost at " << i;
    ASSERT_EQ(row[1].text, std::to_string(100000 + i));
    ASSERT_EQ(row[2].text, "Boja za drvo Lazur " + std::to_string(i) + " ČĆŽŠĐ");
    ASSERT_EQ(row[3].null, i % 3 != 0);
  }
  EXPECT_EQ(probe::Run(std::string(MDB_EXPORT_PROGRAM) + " -H " + probe::Quote(f.Path()) + " TABELA1 | wc -l"),
            std::to_string(kRows) + "\n");
}

// Beyond 512 pages a table's pages no longer fit an inline usage map.
TEST(Jet4Writer, TableOfMoreThan512PagesReadsWhole) {
  TempFile f("wide.mdb");
  Jet4Table t{"Veliki", {{"N", T::LongInteger}, {"A", T::Text, 255}, {"B", T::Text, 255}, {"C", T::Text, 255},
                         {"D", T::Text, 255}}};
  const std::string filler = Repeat("Ž", 240);  // never compresses well enough: 2 bytes per letter
  constexpr int kRows = 1300;                    // two rows per page
  for (int i = 0; i < kRows; ++i) t.rows.push_back({std::int64_t{i}, filler, filler, filler, std::to_string(i)});
  WriteJet4File(f.Path(), {t, Jet4Table{"Posle", {{"X", T::Integer}}, {{std::int64_t{7}}}}});

  const probe::Table r = probe::Read(f.Path(), "Veliki");
  ASSERT_EQ(r.rows.size(), static_cast<std::size_t>(kRows));
  for (int i = 0; i < kRows; i += 97) EXPECT_EQ(r.rows[static_cast<std::size_t>(i)][4].text, std::to_string(i));
  EXPECT_EQ(r.rows.back()[4].text, std::to_string(kRows - 1));
  EXPECT_EQ(probe::Export(f.Path(), "Posle"), "X\n7\n");
}

TEST(Jet4Writer, LongValuesOfEverySizeReadWhole) {
  // Byte sizes around the inline limit, one long-value row and chained rows.
  const std::size_t oleSizes[] = {0, 1, 64, 65, 4076, 4077, 8144, 8145, 200 * 1024};
  // Compressed up to 1024 characters, plain beyond; multi-byte letters.
  const std::string memos[] = {
      "",
      "Čačak",
      Repeat("a", 1024),
      Repeat("a", 1025),
      Repeat("Boja za drvo, razređivač: čćžšđ ČĆŽŠĐ. ", 100),
      Repeat("Tehnički list: čuvati na temperaturi od +5 °C do +25 °C. ", 3600),  // about 200 KB
  };
  Jet4Table t{"Dugi", {{"N", T::Integer}, {"OLE", T::OleObject}, {"BELESKA", T::Memo}, {"POSLE", T::Text, 10}}};
  const std::size_t n = std::max(std::size(oleSizes), std::size(memos));
  for (std::size_t i = 0; i < n; ++i) {
    Jet4Value ole = Jet4Null;
    if (i < std::size(oleSizes)) {
      Jet4Bytes b(oleSizes[i]);
      for (std::size_t k = 0; k < b.size(); ++k) b[k] = static_cast<std::uint8_t>(k * 7 + i);
      ole = b;
    }
    Jet4Value memo = i < std::size(memos) ? Jet4Value(memos[i]) : Jet4Value(Jet4Null);
    t.rows.push_back({static_cast<std::int64_t>(i), ole, memo, "kraj"});
  }
  TempFile f("long.mdb");
  WriteJet4File(f.Path(), {t});

  const probe::Table r = probe::Read(f.Path(), "Dugi");
  ASSERT_EQ(r.rows.size(), n);
  for (std::size_t i = 0; i < n; ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    const auto& row = r.rows[i];
    if (i < std::size(oleSizes)) {
      const auto& want = std::get<Jet4Bytes>(t.rows[i][1]);
      EXPECT_EQ(row[1].text.size(), want.size());
      EXPECT_TRUE(row[1].text == std::string(want.begin(), want.end()));
    }
    if (i < std::size(memos)) {
      EXPECT_EQ(row[2].text.size(), memos[i].size());
      EXPECT_TRUE(row[2].text == memos[i]);
    }
    EXPECT_EQ(row[3].text, "kraj");
  }
  // mdb-export reads the same long values (within its own 200,000-byte limit).
  const std::string csv = probe::Export(f.Path(), "Dugi");
  EXPECT_NE(csv.find("\"" + memos[4] + "\""), std::string::npos);
}

TEST(Jet4Writer, SeveralTablesInOrderIncludingAnEmptyOne) {
  TempFile f("several.mdb");
  WriteJet4File(f.Path(), {
                              Jet4Table{"TABELA1", {{"KAT_BROJ", T::Text, 20}}, {{"0123"}, {"7"}}},
                              Jet4Table{"Prazna_šifra", {{"ID", T::LongInteger}, {"NAZIV", T::Text, 50}, {"M", T::Memo}}},
                              Jet4Table{"ZNAK", {{"id_znak_tabela1", T::LongInteger}, {"naziv", T::Text, 50}},
                                        {{std::int64_t{2}, "Zapaljivo"}}},
                              Jet4Table{"HPOznake", {{"id", T::Text, 20}, {"naziv", T::Text, 255}},
                                        {{"H225", "Lako zapaljiva tečnost i para."}}},
                          });
  EXPECT_EQ(probe::TableNames(f.Path()), (std::vector<std::string>{"TABELA1", "Prazna_šifra", "ZNAK", "HPOznake"}));
  EXPECT_EQ(probe::Run(std::string(MDB_TABLES_PROGRAM) + " -1 " + probe::Quote(f.Path())),
            "TABELA1\nPrazna_šifra\nZNAK\nHPOznake\n");
  const probe::Table empty = probe::Read(f.Path(), "Prazna_šifra");
  EXPECT_TRUE(empty.rows.empty());
  EXPECT_EQ(empty.declaredRows, 0);
  EXPECT_EQ(probe::Export(f.Path(), "Prazna_šifra"), "ID,NAZIV,M\n");
  EXPECT_EQ(probe::Export(f.Path(), "TABELA1"), "KAT_BROJ\n\"0123\"\n\"7\"\n");
  EXPECT_EQ(probe::Export(f.Path(), "HPOznake"), "id,naziv\n\"H225\",\"Lako zapaljiva tečnost i para.\"\n");
}

TEST(Jet4Writer, DefinitionLongerThanAPageContinuesOnNextPages) {
  Jet4Table t{"Siroka"};
  std::vector<Jet4Value> row;
  for (int i = 0; i < 200; ++i) {
    t.columns.push_back({"KOLONA_SA_DUGIM_IMENOM_BROJ_" + std::to_string(i), i % 2 ? T::Text : T::LongInteger, 8});
    row.push_back(i % 2 ? Jet4Value(std::to_string(i)) : Jet4Value(std::int64_t{i}));
  }
  t.rows = {row, row};
  TempFile f("columns.mdb");
  WriteJet4File(f.Path(), {t});
  const probe::Table r = probe::Read(f.Path(), "Siroka");
  ASSERT_EQ(r.names.size(), 200u);
  EXPECT_EQ(r.names[199], "KOLONA_SA_DUGIM_IMENOM_BROJ_199");
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(probe::Int(r.rows[1][198].raw), 198);
  EXPECT_EQ(r.rows[1][199].text, "199");
}

// Foreign files hold things Access's own dialogs would refuse; tests of the
// reader need them too.
TEST(Jet4Writer, KeepsRepeatedNamesAndTextLongerThanItsColumn) {
  TempFile f("odd.mdb");
  WriteJet4File(f.Path(), {Jet4Table{"Cudna", {{"NAZIV", T::Text, 10}, {"NAZIV", T::Text, 10}, {"", T::Integer}},
                                     {{"Razređivač nitro 0,75 l", Jet4Null, std::int64_t{1}}}}});
  const probe::Table r = probe::Read(f.Path(), "Cudna");
  EXPECT_EQ(r.names, (std::vector<std::string>{"NAZIV", "NAZIV", ""}));
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0][0].text, "Razređivač nitro 0,75 l");
  EXPECT_TRUE(r.rows[0][1].null);
}

TEST(Jet4Writer, RejectsWhatCannotBeStored) {
  auto one = [](Jet4Column c, Jet4Value v) { return Jet4Table{"T", {std::move(c)}, {{std::move(v)}}}; };
  struct Case {
    const char* what;
    Jet4Table table;
    const char* message;
  };
  const Case cases[] = {
      {"text into a number", one({"N", T::LongInteger}, "12"), "column \"N\": expected an integer"},
      {"integer overflow", one({"N", T::Integer}, std::int64_t{32768}), "out of range"},
      {"negative byte", one({"N", T::Byte}, std::int64_t{-1}), "out of range"},
      {"date as text", one({"D", T::DateTime}, "2003-01-01"), "expected a date"},
      {"number into text", one({"S", T::Text, 10}, std::int64_t{1}), "expected text"},
      {"decimal digits", one({"D", T::Decimal, 0, false, 5, 2}, "1.234"), "scale"},
      {"decimal precision", one({"D", T::Decimal, 0, false, 5, 2}, "1234.5"), "precision"},
      {"malformed UTF-8", one({"S", T::Text, 10}, "\xC4"), "UTF-8"},
      {"bad GUID", one({"G", T::ReplicationId}, "{123}"), "GUID"},
      {"text size 0", one({"S", T::Text, 0}, "x"), "size"},
      {"AutoNumber text", one({"S", T::Text, 10, true}, "x"), "AutoNumber"},
      {"no columns", Jet4Table{"T"}, "no columns"},
      {"no name", Jet4Table{"", {{"X", T::Integer}}}, "name"},
      {"too few values", Jet4Table{"T", {{"X", T::Integer}, {"Y", T::Integer}}, {{std::int64_t{1}}}},
       "row 1 has 1 values for 2 columns"},
      {"stores more columns than the table",
       Jet4Table{"T", {{"X", T::Integer}}, {{std::int64_t{1}}}, std::nullopt, {2}}, "stores 2 of 1 columns"},
      {"value in a column the row does not store",
       Jet4Table{"T", {{"X", T::Integer}, {"Y", T::Integer}}, {{std::int64_t{1}, std::int64_t{2}}}, std::nullopt, {1}},
       "column \"Y\": the row does not store this column"},
      {"row larger than a page",
       Jet4Table{"T", std::vector<Jet4Column>(8, Jet4Column{"A", T::Text, 255}),
                 {std::vector<Jet4Value>(8, Jet4Value(Repeat("Ž", 255)))}},
       "at most 4060"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      BuildJet4File({c.table});
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(WriteJet4File("/nonexistent-dir/x.mdb", {}), std::runtime_error);
}

TEST(Jet4Writer, StoredRowCountCanBeMadeWrongForDamagedFiles) {
  TempFile f("count.mdb");
  Jet4Table t{"T", {{"X", T::Integer}}, {{std::int64_t{1}}, {std::int64_t{2}}}};
  t.storedRowCount = 10;
  WriteJet4File(f.Path(), {t});
  const probe::Table r = probe::Read(f.Path(), "T");
  EXPECT_EQ(r.declaredRows, 10);
  EXPECT_EQ(r.rows.size(), 2u);
}

TEST(Jet4Writer, NoTablesGivesAnEmptyDatabase) {
  TempFile f("none.mdb");
  WriteJet4File(f.Path(), {});
  EXPECT_TRUE(probe::TableNames(f.Path()).empty());
  EXPECT_EQ(probe::Run(std::string("mdb-ver ") + probe::Quote(f.Path())), "JET4\n");
}

}  // namespace
