// TADOConnection and TADOQuery as the tool uses them: field classes and
// exact values per column type, the statement's order, the errors of connect
// and open, and Locate through the lookup cursor.
#include "source/ADODB.h"

#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <unistd.h>

#include "SourceFixture.h"
#include "dataset/DataSource.h"
#include "dataset/Field.h"
#include "runtime/CodePage.h"
#include "runtime/DateText.h"

namespace {

// A form-like owner with the tool's connection and one query.
class Source {
 public:
  explicit Source(const std::string& dbq) {
    m_connection = new TADOConnection(&m_owner);
    m_connection->SetName("dbAccPodaci");
    m_connection->SetLoginPrompt(false);
    m_connection->SetConnectionString(ToolConnectionString(dbq));
  }
  TADOQuery* Query(const std::string& name, std::vector<std::string> sql) {
    auto* q = new TADOQuery(&m_owner);
    q->SetName(name);
    q->SetConnection(m_connection);
    for (const auto& line : sql) q->SQL().Add(line);
    return q;
  }
  TADOConnection* Connection() { return m_connection; }

 private:
  TComponent m_owner;
  TADOConnection* m_connection;
};

std::string Column(TADOQuery* q, const std::string& field) {
  std::string out;
  for (q->First(); !q->Eof(); q->Next()) {
    if (!out.empty()) out += "|";
    out += q->FieldByName(field)->IsNull() ? "<null>" : AnsiToUtf8(q->FieldByName(field)->AsString());
  }
  return out;
}

std::string OpenError(TADOQuery* q) {
  try {
    q->Open();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "opened";
}

Jet4Table Types() {
  Jet4Table t{"TIPOVI",
              {{"T", Jet4Type::Text, 10}, {"M", Jet4Type::Memo}, {"B", Jet4Type::Byte},
               {"I", Jet4Type::Integer}, {"L", Jet4Type::LongInteger},
               {"A", Jet4Type::LongInteger, 0, true}, {"C", Jet4Type::Currency},
               {"S", Jet4Type::Single}, {"D", Jet4Type::Double}, {"DT", Jet4Type::DateTime},
               {"Y", Jet4Type::Boolean}, {"O", Jet4Type::OleObject},
               {"G", Jet4Type::ReplicationId}, {"N", Jet4Type::Decimal, 0, false, 18, 4},
               {"N9", Jet4Type::Decimal, 0, false, 9, 0}, {"BIN", Jet4Type::Binary, 8}},
              {}};
  t.rows.push_back({std::string("Predugačak tekst"), std::string("Šifra: Đurđevdan"),
                    std::int64_t{200}, std::int64_t{-5}, std::int64_t{70000}, Jet4Null,
                    Jet4Currency{12345}, 2.5, -0.125,
                    Jet4Date{Jet4DateValue(1850, 6, 1)}, true, Jet4Bytes{1, 2},
                    Jet4GuidFromText("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
                    std::string("7.25"), std::int64_t{123456789}, Jet4Bytes{5}});
  t.rows.push_back({std::string(""), Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null,
                    Jet4Null, Jet4Null, Jet4Date{Jet4DateValue(2099, 12, 31, 23, 59, 59)}, false,
                    Jet4Null, Jet4Null, Jet4Null, Jet4Null, Jet4Null});
  return t;
}

TEST(ADOQuery, FieldClassesFollowTheColumnTypes) {
  TempDir dir;
  Source src(dir.Write("t.mdb", {Types()}));
  TADOQuery* q = src.Query("qry", {"SELECT * FROM TIPOVI", ""});
  q->Open();
  struct Case {
    const char* field;
    bool (*is)(TField*);
    int size;
  };
  const Case cases[] = {
      {"T", [](TField* f) { return dynamic_cast<TStringField*>(f) && f->DataType() == ftString; }, 10},
      {"M", [](TField* f) { return dynamic_cast<TMemoField*>(f) != nullptr; }, 0},
      {"B", [](TField* f) { return dynamic_cast<TWordField*>(f) != nullptr; }, 0},
      {"I", [](TField* f) { return dynamic_cast<TSmallintField*>(f) != nullptr; }, 0},
      {"L", [](TField* f) { return f->DataType() == ftInteger && dynamic_cast<TIntegerField*>(f); }, 0},
      {"A", [](TField* f) { return dynamic_cast<TAutoIncField*>(f) && f->ReadOnly(); }, 0},
      {"C", [](TField* f) { return dynamic_cast<TBCDField*>(f) != nullptr; }, 4},
      {"S", [](TField* f) { return dynamic_cast<TFloatField*>(f) != nullptr; }, 0},
      {"D", [](TField* f) { return dynamic_cast<TFloatField*>(f) != nullptr; }, 0},
      {"DT", [](TField* f) { return f->DataType() == ftDateTime; }, 0},
      {"Y", [](TField* f) { return dynamic_cast<TBooleanField*>(f) != nullptr; }, 0},
      {"O", [](TField* f) { return f->DataType() == ftBlob; }, 0},
      {"G", [](TField* f) { return dynamic_cast<TGuidField*>(f) != nullptr; }, 38},
      {"N", [](TField* f) { return dynamic_cast<TBCDField*>(f) && static_cast<TBCDField*>(f)->Precision() == 18; }, 4},
      {"N9", [](TField* f) { return f->DataType() == ftInteger; }, 0},
      {"BIN", [](TField* f) { return dynamic_cast<TVarBytesField*>(f) != nullptr; }, 8},
  };
  ASSERT_EQ(q->FieldCount(), 16);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    TField* f = q->FieldByName(c.field);
    EXPECT_TRUE(c.is(f));
    EXPECT_EQ(f->Size(), c.size);
  }
}

TEST(ADOQuery, ValuesAreReadExactly) {
  TempDir dir;
  Source src(dir.Write("t.mdb", {Types()}));
  TADOQuery* q = src.Query("qry", {"SELECT * FROM TIPOVI", ""});
  q->Open();
  // A ten-character text column gives at most ten bytes, whatever is stored.
  EXPECT_EQ(q->FieldByName("T")->AsString(), Ansi("Predugačak"));
  EXPECT_EQ(q->FieldByName("M")->AsString(), Ansi("Šifra: Đurđevdan"));
  EXPECT_EQ(q->FieldByName("B")->AsInteger(), 200);
  EXPECT_EQ(q->FieldByName("I")->AsInteger(), -5);
  EXPECT_EQ(q->FieldByName("L")->AsInteger(), 70000);
  EXPECT_EQ(q->FieldByName("A")->AsInteger(), 1);
  EXPECT_EQ(q->FieldByName("C")->AsCurrency().Raw, 12345);
  EXPECT_EQ(q->FieldByName("S")->AsFloat(), 2.5);
  EXPECT_EQ(q->FieldByName("D")->AsFloat(), -0.125);
  int y, m, d, h, mi, s, ms;
  DecodeDateTime(q->FieldByName("DT")->AsDateTime(), y, m, d, h, mi, s, ms);
  EXPECT_EQ((std::vector<int>{y, m, d, h, mi, s}), (std::vector<int>{1850, 6, 1, 0, 0, 0}));
  EXPECT_TRUE(q->FieldByName("Y")->AsBoolean());
  EXPECT_EQ(q->FieldByName("O")->AsString(), std::string("\x01\x02", 2));
  EXPECT_EQ(q->FieldByName("G")->AsString(), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
  EXPECT_EQ(q->FieldByName("N")->AsCurrency().Raw, 72500);
  EXPECT_EQ(q->FieldByName("N9")->AsInteger(), 123456789);

  q->Next();
  EXPECT_FALSE(q->FieldByName("T")->IsNull());  // the empty text is not NULL
  EXPECT_EQ(q->FieldByName("T")->AsString(), "");
  for (const char* f : {"M", "B", "I", "L", "C", "S", "D", "O", "G", "N", "N9", "BIN"}) {
    SCOPED_TRACE(f);
    EXPECT_TRUE(q->FieldByName(f)->IsNull());
  }
  DecodeDateTime(q->FieldByName("DT")->AsDateTime(), y, m, d, h, mi, s, ms);
  EXPECT_EQ((std::vector<int>{y, m, d, h, mi, s}), (std::vector<int>{2099, 12, 31, 23, 59, 59}));
  q->Next();
  EXPECT_TRUE(q->Eof());
  EXPECT_EQ(q->RecordCount(), 2);
}

TEST(ADOQuery, OrderByFollowsTheGeneralSortOrder) {
  Jet4Table t{"TABELA1", {{"KAT BROJ", Jet4Type::Text, 20}, {"N", Jet4Type::LongInteger}, {"R", Jet4Type::Integer}}, {}};
  const std::vector<std::pair<Jet4Value, std::int64_t>> rows = {
      {std::string("čaša"), 10}, {std::string("Dunja"), -1}, {std::string("cipela"), 7},
      {Jet4Null, 3},             {std::string("ćup"), 10},   {std::string("CIPELA"), 2},
      {std::string("10"), 10},   {std::string("9"), 0},      {std::string("a-b"), 1},
      {std::string("ab"), 5}};
  std::int64_t r = 0;
  for (const auto& [k, n] : rows) t.rows.push_back({k, n, r++});
  TempDir dir;
  Source src(dir.Write("o.mdb", {t}));

  TADOQuery* q = src.Query("qry", {"select * from tabela1", "", "ORDER BY [kat broj]"});
  q->Open();
  // NULL first; digits before letters, compared as text; the hyphen only
  // breaks ties; accents count only between otherwise equal words (so
  // "čaša" < "cipela"); case is ignored, ties keep file order.
  EXPECT_EQ(Column(q, "R"), "3|6|7|9|8|0|2|5|4|1");
  q->Close();
  q->SQL().Clear();
  q->SQL().Add("SELECT * FROM [TABELA1] ORDER BY N DESC, [KAT BROJ] ASC;");
  q->Open();
  EXPECT_EQ(Column(q, "R"), "6|0|4|2|9|3|5|8|7|1");
}

TEST(ADOQuery, StatementAndTableErrorsAreClear) {
  Jet4Table t{"TABELA1", {{"KAT_BROJ", Jet4Type::Text, 20}}, {}};
  TempDir dir;
  Source src(dir.Write("e.mdb", {t}));
  struct Case {
    std::vector<std::string> sql;
    std::string message;
  };
  const Case cases[] = {
      {{"UPDATE TABELA1 SET KAT_BROJ = 1"}, "qry: CommandText does not return a result set"},
      {{""}, "qry: CommandText does not return a result set"},
      {{"SELECT KAT_BROJ FROM TABELA1"}, "qry: Unsupported command text (only * is supported as the select list)"},
      {{"SELECT * FROM TABELA1 WHERE 1=1"}, "qry: Unsupported command text (unexpected 'WHERE')"},
      {{"SELECT * FROM TABELA1", "ORDER BY NAZIV"}, "qry: ORDER BY names the column 'NAZIV'"},
      {{"SELECT * FROM ZNAK"}, "The table 'ZNAK' does not exist in '"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql[0]);
    TADOQuery* q = src.Query("qry", c.sql);
    const std::string m = OpenError(q);
    EXPECT_EQ(m.substr(0, c.message.size()), c.message) << m;
    EXPECT_FALSE(q->Active());
    delete q;
  }
}

// Start-up with a file that lacks ZNAK: the first query opens, the second
// fails, the third is never reached.
TEST(ADOQuery, MissingTableFailsOnlyItsQuery) {
  Jet4Table a{"TABELA1", {{"KAT_BROJ", Jet4Type::Text, 20}}, {{std::string("0123")}}};
  Jet4Table h{"HPOznake", {{"id", Jet4Type::Text, 10}, {"naziv", Jet4Type::Memo}}, {}};
  TempDir dir;
  Source src(dir.Write("VT2003.mdb", {a, h}));
  src.Connection()->Open();
  TADOQuery* podaci = src.Query("qryAccPodaci", {"SELECT * FROM TABELA1", "", "ORDER BY KAT_BROJ"});
  TADOQuery* slike = src.Query("qryAccSlike", {"SELECT * FROM ZNAK", ""});
  podaci->Open();
  EXPECT_NE(OpenError(slike).find("'ZNAK'"), std::string::npos);
  EXPECT_TRUE(podaci->Active());
  EXPECT_EQ(podaci->FieldByName("kat_broj")->AsString(), "0123");
  try {
    podaci->FieldByName("NAZIV");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "qryAccPodaci: Field 'NAZIV' not found");
  }
}

TEST(ADOConnection, ConnectResolvesTheFileAndNamesItInErrors) {
  TempDir dir;
  Jet4Table a{"TABELA1", {{"X", Jet4Type::Integer}}, {}};
  dir.Write("VT2003.mdb", {a});
  dir.WriteBytes("bad.mdb", std::string(5000, 'z'));

  // DBQ is relative to the working directory.
  char* old = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
  {
    Source src("VT2003.mdb");
    EXPECT_NO_THROW(src.Connection()->Open());
    EXPECT_TRUE(src.Connection()->Connected());
    EXPECT_EQ(src.Connection()->GetTableNames(), std::vector<std::string>{"TABELA1"});
    try {
      src.Connection()->SetConnectionString(ToolConnectionString("x.mdb"));
      ADD_FAILURE();
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "dbAccPodaci: Operation is not allowed when the object is open");
    }
    TADOQuery* q = src.Query("q", {"SELECT * FROM TABELA1"});
    q->Open();
    src.Connection()->Close();
    EXPECT_FALSE(q->Active());  // disconnecting closes the queries
  }
  for (const auto& [dbq, message] : std::vector<std::pair<std::string, std::string>>{
           {"nema.mdb", "Could not find file 'nema.mdb'"},
           {"bad.mdb", "'bad.mdb' is not an Access database"}}) {
    Source src(dbq);
    try {
      src.Connection()->Open();
      ADD_FAILURE() << dbq;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message().substr(0, message.size()), message);
    }
    EXPECT_FALSE(src.Connection()->Connected());
  }
  ASSERT_EQ(::chdir(old), 0);
  std::free(old);
}

// Files come from Windows, where "vt2003.mdb" and "VT2003.mdb" are one file:
// a name (folders included) that exists only in another letter case is
// found when exactly one entry matches; several matches are named.
TEST(ADOConnection, FileNameLetterCaseIsIgnored) {
  TempDir dir;
  Jet4Table a{"TABELA1", {{"X", Jet4Type::Integer}}, {}};
  dir.Write("vt2003.mdb", {a});
  std::filesystem::create_directory(dir.Path() / "Baze");
  WriteJet4File((dir.Path() / "Baze" / "Čitač.mdb").string(), {a});
  const std::string base = dir.Path().string() + "/";
  for (const std::string& dbq : {base + "VT2003.mdb", base + "vt2003.MDB", Ansi(base + "BAZE\\čITAČ.mdb")}) {
    SCOPED_TRACE(dbq);
    Source src(dbq);
    EXPECT_NO_THROW(src.Connection()->Open());
    EXPECT_TRUE(src.Connection()->Connected());
  }
  dir.Write("Vt2003.mdb", {a});
  Source src(base + "VT2003.mdb");
  try {
    src.Connection()->Open();
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "The file name '" + base +
                               "VT2003.mdb' matches several files that differ only in letter case: "
                               "Vt2003.mdb, vt2003.mdb");
  }
  EXPECT_FALSE(src.Connection()->Connected());
}

// The sign table of the article transfer: signs are looked up by their
// identifier for the columns ZNAK_1 to ZNAK_5.
class ZnakLocate : public ::testing::Test {
 protected:
  void SetUp() override {
    Jet4Table z{"ZNAK",
                {{"id_znak_tabela1", Jet4Type::LongInteger},
                 {"naziv", Jet4Type::Text, 50},
                 {"sifra", Jet4Type::Text, 10},
                 {"grupa", Jet4Type::Text, 10}},
                {}};
    z.rows.push_back({std::int64_t{7}, std::string("Otrovno"), std::string("7"), std::string("GP")});
    z.rows.push_back({std::int64_t{2}, std::string("Zapaljivo"), std::string("2"), std::string("GP")});
    z.rows.push_back({std::int64_t{5}, std::string("O'Brien"), std::string("5"), std::string("REP")});
    z.rows.push_back({std::int64_t{1}, std::string("Čuvati od dece"), std::string("1"), std::string("REP")});
    z.rows.push_back({std::int64_t{5}, std::string("Drugi pet"), std::string("5"), std::string("GP")});
    z.rows.push_back({Jet4Null, Jet4Null, Jet4Null, Jet4Null});
    m_src = std::make_unique<Source>(m_dir.Write("VT2003.mdb", {z}));
    q = m_src->Query("qryAccSlike", {"SELECT * FROM ZNAK", ""});
    q->Open();
    q->BeforeScroll = [this](TDataSet*) { ++before; };
    q->AfterScroll = [this](TDataSet*) { ++after; };
  }
  std::string Naziv() { return AnsiToUtf8(q->FieldByName("naziv")->AsString()); }

  TempDir m_dir;
  std::unique_ptr<Source> m_src;
  TADOQuery* q = nullptr;
  int before = 0;
  int after = 0;
};

TEST_F(ZnakLocate, FindsByValueAndScrollsOnlyWhenFound) {
  EXPECT_TRUE(q->Locate("id_znak_tabela1", Variant("2"), loNone));
  EXPECT_EQ(Naziv(), "Zapaljivo");
  EXPECT_EQ(after, 1);
  // Absent, empty, and incomparable values: not found, the row stays.
  for (const Variant& v : {Variant("99"), Variant(""), Variant("abc"), Variant::Null()}) {
    EXPECT_FALSE(q->Locate("id_znak_tabela1", v, loNone));
    EXPECT_EQ(Naziv(), "Zapaljivo");
  }
  EXPECT_EQ(after, 1);
  EXPECT_EQ(before, 5);
  // The dataset's own cursor goes on from the found row in its own order.
  q->Next();
  EXPECT_EQ(Naziv(), "O'Brien");
}

TEST_F(ZnakLocate, EverySearchStartsAtTheFirstRowInKeyOrder) {
  // Both 5s sort after 1 and 2; the earlier row in the file wins the tie.
  EXPECT_TRUE(q->Locate("id_znak_tabela1", Variant(int32_t{5}), loNone));
  EXPECT_EQ(Naziv(), "O'Brien");
  // A forward search from where the first locate stopped would miss this.
  EXPECT_TRUE(q->Locate("ID_ZNAK_TABELA1", Variant("1"), loNone));
  EXPECT_EQ(Naziv(), "Čuvati od dece");
  // Text columns compare as text, ignoring case; a quote needs no escaping.
  EXPECT_TRUE(q->Locate("naziv", Variant("o'brien"), loNone));
  EXPECT_EQ(q->FieldByName("id_znak_tabela1")->AsInteger(), 5);
  EXPECT_TRUE(q->Locate("sifra", Variant("7"), loNone));
  EXPECT_EQ(Naziv(), "Otrovno");
}

TEST_F(ZnakLocate, SeveralFieldsAndPartialKeys) {
  EXPECT_TRUE(q->Locate("sifra;grupa", VarArrayOf({Variant("5"), Variant("GP")}), loNone));
  EXPECT_EQ(Naziv(), "Drugi pet");
  EXPECT_FALSE(q->Locate("sifra;grupa", VarArrayOf({Variant("2"), Variant("REP")}), loNone));
  EXPECT_TRUE(q->Locate("naziv", Variant("zap"), loPartialKey));
  EXPECT_EQ(Naziv(), "Zapaljivo");
  EXPECT_FALSE(q->Locate("naziv", Variant("zap"), loNone));
  EXPECT_FALSE(q->Locate("nema_polja", Variant("1"), loNone));
}

TEST_F(ZnakLocate, ClosedQueryRaises) {
  q->Close();
  try {
    q->Locate("id_znak_tabela1", Variant("2"), loNone);
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "qryAccSlike: Cannot perform this operation on a closed dataset");
  }
}

#ifdef MDB_EXPORT_PROGRAM
// What the query reads is what mdb-export prints, for the types both show
// the same way.
TEST(ADOQuery, AgreesWithMdbExport) {
  Jet4Table t{"HPOznake", {{"id", Jet4Type::Text, 10}, {"naziv", Jet4Type::Memo}, {"broj", Jet4Type::LongInteger}, {"mali", Jet4Type::Integer}}, {}};
  for (int i = 0; i < 700; ++i)
    t.rows.push_back({"H" + std::to_string(300 + i), "Opis čćžšđ ČĆŽŠĐ broj " + std::to_string(i * 37),
                      std::int64_t{i * 1000 - 5000}, std::int64_t{i % 300 - 150}});
  TempDir dir;
  const std::string path = dir.Write("x.mdb", {t});
  Source src(path);
  TADOQuery* q = src.Query("q", {"SELECT * FROM HPOznake"});
  q->Open();
  std::string ours;
  for (q->First(); !q->Eof(); q->Next()) {
    for (int i = 0; i < q->FieldCount(); ++i)
      ours += (i ? "\t" : "") + AnsiToUtf8(q->Fields()[i]->AsString());
    ours += "\n";
  }
  const std::string theirs =
      RunCommand(std::string(MDB_EXPORT_PROGRAM) + " -H -d '\t' -q '' " + path + " HPOznake");
  EXPECT_EQ(ours, theirs);
}
#endif

}  // namespace

namespace {

// Columns without a name or with a repeated one (foreign or damaged files)
// still get distinct fields.
TEST(ADOQuery, UnnamedAndRepeatedColumnsGetUniqueNames) {
  Jet4Table t{"T",
              {{"", Jet4Type::Integer}, {"NAZIV", Jet4Type::Integer}, {"naziv", Jet4Type::Integer},
               {"X", Jet4Type::Integer}, {"X", Jet4Type::Integer}, {"X_1", Jet4Type::Integer}},
              {{std::int64_t{1}, std::int64_t{2}, std::int64_t{3}, std::int64_t{4}, std::int64_t{5}, std::int64_t{6}}}};
  TempDir dir;
  Source src(dir.Write("n.mdb", {t}));
  TADOQuery* q = src.Query("q", {"SELECT * FROM T"});
  q->Open();
  std::vector<std::string> names;
  q->GetFieldNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"COLUMN1", "NAZIV", "naziv_1", "X", "X_1", "X_1_1"}));
  EXPECT_EQ(q->FieldByName("X_1_1")->AsInteger(), 6);
}

// A column of a type that gets no field (a newer or foreign Access type) is
// skipped, and ordering by it still opens: such values sort by their bytes.
TEST(ADOQuery, ColumnOfAnUnknownTypeGetsNoFieldButSorts) {
  Jet4Table t{"T", {{"ID", Jet4Type::LongInteger}, {"RAW", Jet4Type::Binary, 8}},
              {{std::int64_t{1}, Jet4Bytes{9}}, {std::int64_t{2}, Jet4Bytes{3}}, {std::int64_t{3}, Jet4Null}}};
  std::vector<std::uint8_t> bytes = BuildJet4File({t});
  // Retype the binary column in the user table's definition page (a TDEF
  // page of a user table; its column entries follow the index entries).
  bool patched = false;
  for (size_t page = 0; page + 4096 <= bytes.size() && !patched; page += 4096) {
    const std::uint8_t* p = &bytes[page];
    if (p[0] != 0x02 || p[1] != 0x01 || p[40] != 0x4E) continue;
    uint32_t indexes;
    std::memcpy(&indexes, p + 51, 4);
    const uint16_t columns = static_cast<uint16_t>(p[45] | (p[46] << 8));
    for (size_t c = 0; c < columns; ++c) {
      std::uint8_t& type = bytes[page + 63 + 12 * indexes + 25 * c];
      if (type == 0x09) {
        type = 0x13;
        patched = true;
      }
    }
  }
  ASSERT_TRUE(patched);
  TempDir dir;
  std::string raw(bytes.begin(), bytes.end());
  Source src(dir.WriteBytes("u.mdb", raw));
  TADOQuery* q = src.Query("q", {"SELECT * FROM T ORDER BY RAW"});
  q->Open();
  EXPECT_EQ(q->FieldCount(), 1);
  EXPECT_EQ(q->FindField("RAW"), nullptr);
  EXPECT_EQ(Column(q, "ID"), "3|2|1");
}

// A query with the window's view of its cursor.
class ProbeQuery : public TADOQuery {
 public:
  using TADOQuery::TADOQuery;
  TGetResult CurrentAfterLast() {
    InternalLast();
    TRecordBuffer buffer = AllocRecordBuffer();
    const TGetResult result = GetRecord(buffer, gmCurrent, true);
    FreeRecordBuffer(buffer);
    return result;
  }
};

Jet4Table Numbers(int rows) {
  Jet4Table t{"T", {{"N", Jet4Type::LongInteger}}, {}};
  for (int i = 1; i <= rows; ++i) t.rows.push_back({std::int64_t{i}});
  return t;
}

// After the last row the current row is the end, as for every cached
// dataset, not an error.
TEST(ADOQuery, CurrentRowAfterTheLastIsTheEnd) {
  TempDir dir;
  Source src(dir.Write("c.mdb", {Numbers(2)}));
  auto q = std::make_unique<ProbeQuery>(nullptr);
  q->SetConnection(src.Connection());
  q->SQL().Add("SELECT * FROM T");
  q->Open();
  EXPECT_EQ(q->CurrentAfterLast(), grEOF);
}

// A forward-only query says so; it moves forward, reopens for First, refuses
// to go back and keeps a window of one row even under a grid, so that a
// locate can show the row it finds.
TEST(ADOQuery, ForwardOnlyQueryIsUnidirectional) {
  TempDir dir;
  Source src(dir.Write("f.mdb", {Numbers(6)}));
  TADOQuery* q = src.Query("qry", {"SELECT * FROM T"});
  q->Open();
  EXPECT_FALSE(q->IsUniDirectional());
  q->Close();
  q->SetCursorType(ctOpenForwardOnly);
  TDataSource source(nullptr);
  source.SetDataSet(q);
  struct Grid : TDataLink {} grid;
  grid.SetBufferCount(4);
  grid.SetDataSource(&source);
  q->Open();
  EXPECT_TRUE(q->IsUniDirectional());
  EXPECT_EQ(q->WindowRecordCount(), 1);
  q->Next();
  q->Next();
  EXPECT_EQ(q->FieldByName("N")->AsInteger(), 3);
  for (const auto& move : {std::function<void()>([&] { q->Prior(); }), std::function<void()>([&] { q->Last(); })}) {
    try {
      move();
      ADD_FAILURE();
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "qry: Operation not allowed on a unidirectional dataset");
    }
  }
  q->First();
  EXPECT_EQ(q->FieldByName("N")->AsInteger(), 1);
  EXPECT_TRUE(q->Locate("N", Variant(int32_t{5}), loNone));
  EXPECT_EQ(q->FieldByName("N")->AsInteger(), 5);
  grid.SetDataSource(nullptr);
}

#ifdef SRCDUMP_PROGRAM
// The dump tool: typed header, escaped values, NULL as an empty cell, and a
// failure as a message on stderr with a non-zero status.
TEST(SrcDump, PrintsTheTableAsTheToolReadsIt) {
  Jet4Table t{"ZNAK",
              {{"id", Jet4Type::LongInteger}, {"naziv", Jet4Type::Text, 20}, {"opis", Jet4Type::Memo}},
              {{std::int64_t{2}, std::string("Šuma\tpolje"), std::string("red 1\r\nred 2")},
               {std::int64_t{1}, Jet4Null, std::string("")}}};
  TempDir dir;
  const std::string file = dir.Write("d.mdb", {t});
  EXPECT_EQ(RunCommand(std::string(SRCDUMP_PROGRAM) + " " + file + " znak id"),
            "id:TIntegerField\tnaziv:TStringField\topis:TMemoField\n"
            "1\t\t\n"
            "2\tŠuma\\tpolje\tred 1\\r\\nred 2\n");
  const std::string err = RunCommand(std::string(SRCDUMP_PROGRAM) + " " + file + " NEMA 2>&1; echo status=$?");
  EXPECT_NE(err.find("srcdump: The table 'NEMA' does not exist"), std::string::npos) << err;
  EXPECT_NE(err.find("status=1"), std::string::npos) << err;
}
#endif

}  // namespace
