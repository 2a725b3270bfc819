// srcdump [--timeout S] <file> <table> [order-by-column]: opens an Access file through
// TADOConnection/TADOQuery exactly as the tool does and prints the table
// tab-separated in UTF-8: a header of NAME:FieldClass, then one line per row
// (NULL as an empty cell, tab, CR, LF and backslash escaped as \t \r \n \\).
// --timeout sets the reader's no-progress limit (default: the components'
// own 15 s to connect, 30 s to open); the fuzz script makes it short.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "dataset/Field.h"
#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "source/ADODB.h"

namespace {

const char* FieldClassName(const TField* f) {
  // Most derived classes first.
  if (dynamic_cast<const TAutoIncField*>(f)) return "TAutoIncField";
  if (dynamic_cast<const TSmallintField*>(f)) return "TSmallintField";
  if (dynamic_cast<const TWordField*>(f)) return "TWordField";
  if (dynamic_cast<const TIntegerField*>(f)) return "TIntegerField";
  if (dynamic_cast<const TLargeintField*>(f)) return "TLargeintField";
  if (dynamic_cast<const TBCDField*>(f)) return "TBCDField";
  if (dynamic_cast<const TCurrencyField*>(f)) return "TCurrencyField";
  if (dynamic_cast<const TFloatField*>(f)) return "TFloatField";
  if (dynamic_cast<const TBooleanField*>(f)) return "TBooleanField";
  if (dynamic_cast<const TDateField*>(f)) return "TDateField";
  if (dynamic_cast<const TTimeField*>(f)) return "TTimeField";
  if (dynamic_cast<const TDateTimeField*>(f)) return "TDateTimeField";
  if (dynamic_cast<const TGuidField*>(f)) return "TGuidField";
  if (dynamic_cast<const TWideStringField*>(f)) return "TWideStringField";
  if (dynamic_cast<const TStringField*>(f)) return "TStringField";
  if (dynamic_cast<const TMemoField*>(f)) return "TMemoField";
  if (dynamic_cast<const TBlobField*>(f)) return "TBlobField";
  if (dynamic_cast<const TVarBytesField*>(f)) return "TVarBytesField";
  if (dynamic_cast<const TBytesField*>(f)) return "TBytesField";
  return "TField";
}

std::string Escape(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

// Brackets let names with blanks or odd characters through the parser.
std::string Bracket(const std::string& name) { return "[" + name + "]"; }

}  // namespace

int main(int argc, char** argv) {
  int timeout = 0;
  if (argc > 2 && std::string(argv[1]) == "--timeout") {
    timeout = std::atoi(argv[2]);
    argv += 2;
    argc -= 2;
  }
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: srcdump [--timeout S] <file> <table> [order-by-column]\n");
    return 2;
  }
  try {
    TComponent owner;
    auto* connection = new TADOConnection(&owner);
    connection->SetLoginPrompt(false);
    connection->SetConnectionString(
        "Provider=MSDASQL.1;Persist Security Info=True;User ID=admin;Extended Properties=\"DBQ=" +
        Utf8ToAnsi(argv[1]) +
        ";Driver={Microsoft Access Driver (*.mdb)};DriverId=25;FIL=MS Access"
        ";MaxBufferSize=2048;MaxScanRows=8;PageTimeout=5;SafeTransactions=0;Threads=3;UID=admin;"
        "UserCommitSync=Yes;\"");
    if (timeout > 0) connection->SetConnectionTimeout(timeout);
    connection->Open();
    auto* query = new TADOQuery(&owner);
    query->SetName("qrySrcDump");
    query->SetConnection(connection);
    if (timeout > 0) query->SetCommandTimeout(timeout);
    query->SQL().Add("SELECT * FROM " + Bracket(Utf8ToAnsi(argv[2])));
    query->SQL().Add("");
    if (argc == 4) query->SQL().Add("ORDER BY " + Bracket(Utf8ToAnsi(argv[3])));
    query->Open();

    std::string line;
    for (int i = 0; i < query->FieldCount(); ++i) {
      const TField* f = query->Fields()[i];
      if (i > 0) line += '\t';
      line += Escape(AnsiToUtf8(f->FieldName())) + ":" + FieldClassName(f);
    }
    std::cout << line << '\n';
    for (query->First(); !query->Eof(); query->Next()) {
      line.clear();
      for (int i = 0; i < query->FieldCount(); ++i) {
        const TField* f = query->Fields()[i];
        if (i > 0) line += '\t';
        if (!f->IsNull()) line += Escape(AnsiToUtf8(f->AsString()));
      }
      std::cout << line << '\n';
    }
    std::cout.flush();
    return std::cout.good() ? 0 : 1;
  } catch (const Exception& e) {
    std::cerr << "srcdump: " << AnsiToUtf8(e.Message()) << '\n';
  } catch (const std::exception& e) {
    std::cerr << "srcdump: " << e.what() << '\n';
  }
  return 1;
}
