// The text description behind mdbwrite, and the mdbwrite program itself.
#include "jet4/Jet4Demo.h"
#include "jet4/Jet4Description.h"
#include "LibmdbProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

using probe::TempFile;

std::vector<Jet4Table> Parse(const std::string& text) {
  std::istringstream in(text);
  return ParseJet4Description(in);
}

TEST(Jet4Description, EveryTypeFromTextReadsBackThroughMdbExport) {
  const auto tables = Parse(
      "# catalogue sample\n"
      "table\tTABELA1\n"
      "column\tID\tautonumber\n"
      "column\tKAT_BROJ\ttext\t20\n"
      "column\tOPIS\tmemo\n"
      "column\tZAPALJIVO\tYesNo\n"
      "column\tKOM\tbyte\n"
      "column\tSLOJ\tinteger\n"
      "column\tDUGI\tlong\n"
      "column\tGUSTINA\tsingle\n"
      "column\tMASA\tdouble\n"
      "column\tCENA\tcurrency\n"
      "column\tKOLICINA\tdecimal\t10\t3\n"
      "column\tDATUM\tdatetime\n"
      "column\tSLIKA\tole\n"
      "column\tKOD\tbinary\t4\n"
      "column\tGUID\tguid\n"
      "\n"
      "row\t\\N\t0123\tRazređivač\\tnitro\\n2. red\\\\\tyes\t255\t-2\t100000\t0.5\t1.25\t-12.5\t-1.5\t2003-01-31 "
      "08:15\t4D5A\t4142\t{6F9619FF-8B86-D011-B42D-00C04FC964FF}\n"
      "row\t\\N\t\t\\N\t0\t\t\t\t\t\t\t\t2099-12-31\t\t\t\r\n");
  ASSERT_EQ(tables.size(), 1u);
  ASSERT_EQ(tables[0].rows.size(), 2u);
  TempFile f("desc.mdb");
  WriteJet4File(f.Path(), tables);
  EXPECT_EQ(probe::Export(f.Path(), "TABELA1"),
            "ID,KAT_BROJ,OPIS,ZAPALJIVO,KOM,SLOJ,DUGI,GUSTINA,MASA,CENA,KOLICINA,DATUM,SLIKA,KOD,GUID\n"
            "1,\"0123\",\"Razređivač\\tnitro\\n2. red\\\\\",1,255,-2,100000,0.5,1.25,-12.5000,-1.500,"
            "\"2003-01-31 08:15:00\",\"MZ\",\"AB\",\"{6F9619FF-8B86-D011-B42D00C04FC964FF}\"\n"
            "2,\\N,\\N,0,\\N,\\N,\\N,\\N,\\N,\\N,\\N,\"2099-12-31 00:00:00\",\\N,\\N,\\N\n");
}

TEST(Jet4Description, ErrorsNameTheLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"column\tX\ttext\n", "line 1: \"column\" before the first table line"},
      {"table\tT\ncolumn\tX\tvarchar\n", "line 2: unknown column type \"varchar\""},
      {"table\tT\ncolumn\tX\tlong\nrow\t1\t2\n", "line 3: 2 values for 1 columns of table T"},
      {"table\tT\ncolumn\tX\tlong\nrow\tdva\n", "line 3: \"dva\" is not an integer"},
      {"table\tT\ncolumn\tX\tyesno\nrow\tmožda\n", "is not a Yes/No value"},
      {"table\tT\ncolumn\tX\tdatetime\nrow\t31.12.2003\n", "is not a date"},
      {"table\tT\ncolumn\tX\tdatetime\nrow\t2003-02-30\n", "invalid date"},
      {"table\tT\ncolumn\tX\tcurrency\nrow\t1.23456\n", "at most 4 decimals"},
      {"table\tT\ncolumn\tX\tole\nrow\t4D5\n", "not hexadecimal"},
      {"table\tT\ncolumn\tX\ttext\nrow\ta\\x\n", "unknown escape"},
      {"table\tT\ncolumn\tX\tlong\nrow\t1\ncolumn\tY\tlong\n", "line 4: column after the first row"},
      {"table\tT\ncolumn\tX\tlong\t5\n", "too many fields"},
      {"tabela\tT\n", "line 1: unknown line kind \"tabela\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      Parse(c.text);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(Jet4Demo, HasTheTablesAndColumnsTheTransferReads) {
  TempFile f("VT2003.mdb");
  WriteJet4File(f.Path(), Jet4DemoTables());
  EXPECT_EQ(probe::TableNames(f.Path()), (std::vector<std::string>{"TABELA1", "ZNAK", "HPOznake"}));

  const probe::Table t = probe::Read(f.Path(), "TABELA1");
  EXPECT_EQ(t.rows.size(), 50u);
  EXPECT_EQ(t.declaredRows, 50);
  for (const char* c : {"KAT_BROJ", "TEMPERATURA_SKLADISTENJA", "ZNAK_1", "ZNAK_2", "ZNAK_3", "ZNAK_4", "ZNAK_5"}) {
    SCOPED_TRACE(c);
    EXPECT_NE(std::find(t.names.begin(), t.names.end(), c), t.names.end());
  }
  const probe::Table z = probe::Read(f.Path(), "ZNAK");
  EXPECT_EQ(z.names[0], "id_znak_tabela1");
  EXPECT_EQ(z.names[1], "naziv");
  EXPECT_EQ(z.rows.size(), 9u);
  const probe::Table h = probe::Read(f.Path(), "HPOznake");
  EXPECT_EQ(h.names[0], "id");
  EXPECT_EQ(h.names[1], "naziv");
  EXPECT_EQ(h.rows[0][0].text, "H225");
  EXPECT_EQ(h.rows[0][1].text, "Lako zapaljiva tečnost i para.");
}

#ifdef MDBWRITE_PROGRAM

TEST(Mdbwrite, WritesTheDemo) {
  TempFile f("VT2003.mdb");
  probe::Run(std::string(MDBWRITE_PROGRAM) + " --demo " + probe::Quote(f.Path()));
  EXPECT_EQ(probe::Run(std::string(MDB_TABLES_PROGRAM) + " -1 " + probe::Quote(f.Path())), "TABELA1\nZNAK\nHPOznake\n");
}

TEST(Mdbwrite, WritesADescriptionAndReportsErrors) {
  TempFile desc("desc.tsv");
  TempFile out("out.mdb");
  {
    std::ofstream d(desc.Path());
    d << "table\tZNAK\ncolumn\tid_znak_tabela1\tlong\ncolumn\tnaziv\ttext\t100\n"
         "row\t2\tZapaljivo\nrow\t9\tOpasno po životnu sredinu\n";
  }
  probe::Run(std::string(MDBWRITE_PROGRAM) + " " + probe::Quote(desc.Path()) + " " + probe::Quote(out.Path()));
  EXPECT_EQ(probe::Export(out.Path(), "ZNAK"),
            "id_znak_tabela1,naziv\n2,\"Zapaljivo\"\n9,\"Opasno po životnu sredinu\"\n");

  // A broken description fails with its line on stderr and a non-zero status.
  const std::string broken = probe::Run("printf 'table\\tT\\ncolumn\\tX\\tlong\\nrow\\tx\\n' | " +
                                        std::string(MDBWRITE_PROGRAM) + " - " + probe::Quote(out.Path()) +
                                        " 2>&1; echo \"status $?\"");
  EXPECT_NE(broken.find("line 3"), std::string::npos) << broken;
  EXPECT_NE(broken.find("status 1"), std::string::npos) << broken;
}

#endif

}  // namespace
