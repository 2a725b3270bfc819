// mdbwrite: writes an Access 2000 (Jet 4) .mdb file from a tab-separated
// description, or the demo catalogue database.
#include "jet4/Jet4Demo.h"
#include "jet4/Jet4Description.h"
#include "jet4/Jet4Writer.h"

#include <cstring>
#include <fstream>
#include <iostream>

namespace {

constexpr const char* kHelp = R"(Usage:
  mdbwrite <description-file | -> <output.mdb>
  mdbwrite --demo <output.mdb>
  mdbwrite --help

Writes an Access 2000 (Jet 4) database file. --demo writes the demo catalogue
(tables TABELA1, ZNAK and HPOznake, Serbian Latin product data) that the
transfer tool expects in VT2003.mdb.

The description is UTF-8 text, one item per line, fields separated by TAB.
Blank lines and lines starting with # are ignored.
  table   <name>
  column  <name>  <type>  [<size> | <precision>  <scale>]
  row     <value> ...            one value per column of the current table
Types (letter case ignored):
  text [size, default 50]   memo      yesno     byte      integer   long
  autonumber  single  double  currency  decimal [precision scale, default 18 0]
  datetime    binary [size, default 255]      ole       guid
Values:
  \N                NULL (yesno stores No: the format has no NULL for it);
                    an empty value is "" in text and memo columns, NULL elsewhere
  \t \n \r \\       tab, line feed, carriage return, backslash inside a value
  yesno             1/0, yes/no, true/false
  datetime          YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS] (years 100..9999)
  currency, decimal decimal text, e.g. -12.5
  binary, ole       hexadecimal bytes, e.g. 4D5A90
  guid              {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  autonumber        \N takes the next number

Example:
  table	ZNAK
  column	id_znak_tabela1	long
  column	naziv	text	100
  row	2	Zapaljivo
  row	9	Opasno po životnu sredinu
)";

int Usage() {
  std::cerr << kHelp;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << kHelp;
    return 0;
  }
  if (argc != 3) return Usage();
  try {
    if (std::strcmp(argv[1], "--demo") == 0) {
      WriteJet4File(argv[2], Jet4DemoTables());
      return 0;
    }
    const std::string source = std::strcmp(argv[1], "-") == 0 ? "<stdin>" : argv[1];
    std::vector<Jet4Table> tables;
    try {
      if (source == "<stdin>") {
        tables = ParseJet4Description(std::cin);
      } else {
        std::ifstream in(source);
        if (!in) throw std::runtime_error("cannot open the file");
        tables = ParseJet4Description(in);
      }
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(source + ": " + e.what());
    }
    WriteJet4File(argv[2], tables);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "mdbwrite: " << e.what() << "\n";
    return 1;
  }
}
