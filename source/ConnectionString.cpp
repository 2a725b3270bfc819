// Parsing of the source connection string (OLE DB outside, ODBC inside).
#include "source/ConnectionString.h"

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

[[noreturn]] void Malformed(std::string_view what) {
  throw EDatabaseError(Format("Invalid connection string: %s", {what}));
}

}  // namespace

TConnectionPairs ParseConnectionPairs(std::string_view text) {
  TConnectionPairs pairs;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    // Key: everything up to "="; empty segments (";;", a trailing ";") are allowed.
    const size_t keyStart = i;
    while (i < n && text[i] != '=' && text[i] != ';') ++i;
    const std::string_view key = Trim(text.substr(keyStart, i - keyStart));
    if (i >= n || text[i] == ';') {
      if (!key.empty()) Malformed(Format("keyword '%s' has no value", {key}));
      ++i;
      continue;
    }
    if (key.empty()) Malformed("a value has no keyword");
    ++i;  // "="
    while (i < n && IsBlank(text[i])) ++i;
    std::string value;
    if (i < n && (text[i] == '"' || text[i] == '\'' || text[i] == '{')) {
      const char open = text[i];
      const char close = open == '{' ? '}' : open;
      ++i;
      bool closed = false;
      while (i < n) {
        if (text[i] == close) {
          // A doubled closing character stands for itself.
          if (i + 1 < n && text[i + 1] == close) {
            value += close;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += text[i++];
      }
      if (!closed) Malformed(Format("the value of '%s' is not closed by %s", {key, std::string(1, close)}));
      while (i < n && IsBlank(text[i])) ++i;
      if (i < n && text[i] != ';')
        Malformed(Format("unexpected text after the value of '%s'", {key}));
    } else {
      const size_t valueStart = i;
      while (i < n && text[i] != ';') ++i;
      value = std::string(Trim(text.substr(valueStart, i - valueStart)));
    }
    pairs.emplace_back(std::string(key), std::move(value));
    ++i;  // ";" or past the end
  }
  return pairs;
}

std::string ConnectionValue(const TConnectionPairs& pairs, std::string_view name, bool lastWins,
                            bool* found) {
  const std::pair<std::string, std::string>* hit = nullptr;
  for (const auto& p : pairs) {
    if (!SameText(p.first, name)) continue;
    hit = &p;
    if (!lastWins) break;
  }
  if (found) *found = hit != nullptr;
  return hit ? hit->second : std::string();
}

namespace {

constexpr std::string_view kAccessDrivers[] = {
    "Microsoft Access Driver (*.mdb)",
    "Microsoft Access Driver (*.mdb, *.accdb)",
};

bool IsAccessDriver(std::string_view name) {
  for (auto d : kAccessDrivers)
    if (SameText(Trim(name), d)) return true;
  return false;
}

}  // namespace

TAccessConnectionInfo ParseAccessConnectionString(std::string_view text) {
  const TConnectionPairs outer = ParseConnectionPairs(text);
  TAccessConnectionInfo info;

  bool hasProvider = false;
  info.provider = ConnectionValue(outer, "Provider", true, &hasProvider);
  // ADO falls back to the ODBC provider when the string names none.
  if (!hasProvider) info.provider = "MSDASQL.1";
  if (!SameText(info.provider, "MSDASQL.1") && !SameText(info.provider, "MSDASQL"))
    throw EDatabaseError(Format(
        "Provider '%s' is not supported; the Access file is read through MSDASQL.1 with the "
        "Microsoft Access Driver (*.mdb)",
        {info.provider}));

  // The provider hands the ODBC part to the driver manager; keywords it does
  // not know itself go there too, so a bare "DBQ=..." outside is accepted.
  TConnectionPairs odbc;
  bool hasExtended = false;
  const std::string extended = ConnectionValue(outer, "Extended Properties", true, &hasExtended);
  if (hasExtended) odbc = ParseConnectionPairs(extended);
  for (const auto& p : outer)
    if (SameText(p.first, "DBQ") || SameText(p.first, "Driver") || SameText(p.first, "DSN"))
      odbc.push_back(p);

  bool hasDriver = false;
  info.driver = ConnectionValue(odbc, "Driver", false, &hasDriver);
  if (!hasDriver) {
    bool hasDsn = false;
    const std::string dsn = ConnectionValue(odbc, "DSN", false, &hasDsn);
    if (hasDsn)
      throw EDatabaseError(Format(
          "Data source name '%s' is not supported; name the driver {Microsoft Access Driver "
          "(*.mdb)} and the file (DBQ) in the connection string",
          {dsn}));
    throw EDatabaseError(
        "The connection string names no ODBC driver; expected Driver={Microsoft Access Driver "
        "(*.mdb)}");
  }
  if (!IsAccessDriver(info.driver))
    throw EDatabaseError(Format(
        "ODBC driver '%s' is not supported; only {Microsoft Access Driver (*.mdb)} is",
        {info.driver}));

  bool hasDbq = false;
  info.databaseFile = ConnectionValue(odbc, "DBQ", false, &hasDbq);
  if (!hasDbq || info.databaseFile.empty())
    throw EDatabaseError("The connection string names no database file (DBQ)");
  return info;
}
