// The command texts the source queries run: "SELECT * FROM <table>" with an
// optional ORDER BY list. That is all the tool (and a reader of such files)
// asks of the source; anything else is refused with a clear message.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TAccessOrderItem {
  std::string column;  // as written, brackets removed
  bool descending = false;
};

struct TAccessSelect {
  std::string table;  // as written, brackets removed
  std::vector<TAccessOrderItem> orderBy;
};

// Parses the command text (lines joined by line breaks). Keywords ignore
// case; names may be bracketed ([HP Oznake]) or back-quoted; a trailing ";"
// is allowed. Raises EDatabaseError: "CommandText does not return a result
// set" for statements that are not queries (INSERT, UPDATE, DELETE, CREATE,
// ...), or an "Unsupported command text" message naming what is supported.
TAccessSelect ParseAccessSelect(std::string_view commandText);
