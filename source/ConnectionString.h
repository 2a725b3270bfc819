// The source connection string: an OLE DB keyword list whose Extended
// Properties value is itself an ODBC connection string naming the Access file.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

using TConnectionPairs = std::vector<std::pair<std::string, std::string>>;

// Splits "key=value;key=value" into its pairs, in order. Keys are trimmed;
// values are trimmed unless quoted. A value may be enclosed in double or single
// quotes (a doubled quote inside stands for one) or, in ODBC style, in braces
// (which may hold ";"). Raises EDatabaseError on a malformed string.
TConnectionPairs ParseConnectionPairs(std::string_view text);

// The value of the first pair whose key equals name ignoring case (ODBC keeps
// the first occurrence), or the last one when lastWins is set (OLE DB keeps
// the last). found tells whether the key occurs at all.
std::string ConnectionValue(const TConnectionPairs& pairs, std::string_view name,
                            bool lastWins, bool* found = nullptr);

// What the source side takes from a connection string.
struct TAccessConnectionInfo {
  std::string provider;      // as given ("MSDASQL.1" when the string names none)
  std::string driver;        // without braces
  std::string databaseFile;  // DBQ as given; relative names are relative to the working directory
};

// Parses and checks a connection string for the Access route: provider
// MSDASQL (".1" or none), an Extended Properties ODBC string with the Access
// driver and a DBQ. Anything else raises EDatabaseError with a message saying
// what is wrong.
TAccessConnectionInfo ParseAccessConnectionString(std::string_view text);
