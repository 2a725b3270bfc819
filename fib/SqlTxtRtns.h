// SQL text handling for statements: classification by the first keyword, the
// parameter pre-check and scanner, null-comparison rewriting and ORDER BY parsing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Variant;

// Statement kinds decided by the first keyword.
enum TSQLKind : int {
  skUnknown = 0,
  skSelect = 1,          // SELECT, MERGE
  skUpdate = 2,
  skInsert = 3,
  skDelete = 4,
  skExecProcedure = 5,   // EXECUTE PROCEDURE
  skDDL = 6,             // executed immediately, never scanned for parameters
  skExecBlock = 7,       // EXECUTE BLOCK
};

// Classifies one statement text; one parser per statement.
class TSQLParser {
 public:
  TSQLParser() = default;

  // Stores the text and classifies it.
  void SetSQLText(std::string text);
  const std::string& SQLText() const { return m_text; }
  int Length() const { return static_cast<int>(m_text.size()); }
  // 1-based position of the first character that is no filler or comment.
  int FirstPos() const { return m_firstPos; }
  TSQLKind SQLKind() const { return m_kind; }
  bool ParamsAllowed() const { return m_kind != skDDL; }
  bool IsPreparable() const { return m_kind != skDDL; }

 private:
  std::string m_text;
  int m_firstPos = 1;
  TSQLKind m_kind = skUnknown;
};

// 1-based position of the first significant character of the text.
int FirstSignificantPos(std::string_view text);
// Kind of the statement whose first keyword starts at the 1-based position.
TSQLKind StatementKind(std::string_view text, int firstPos);

// True when the text cannot contain parameters (no ':' '?' or macro character
// outside literals and comments).
bool NoParamsInText(std::string_view text, char macroChar = '@');

// Where SQL text stands: in plain text, in a literal or quoted name (opened
// and closed by the same quote character), or in a comment.
class TSqlLexer {
 public:
  enum TRun { Plain, Quoted, BlockComment, LineComment };
  // Reads the mark at text[i] and returns how many characters it took: 2 for
  // a comment's opening or closing pair (never read again as the start of
  // another mark), else 1. Run() is then the state after them.
  size_t Step(std::string_view text, size_t i);
  TRun Run() const { return m_run; }
  char Quote() const { return m_quote; }  // the quote of the current or last run

 private:
  TRun m_run = Plain;
  char m_quote = 0;
};

// The lines of a statement as one text: each line followed by "\r\n", except
// that a line break inside a literal or quoted name is a bare "\n", the one a
// text split into these lines had there (and the one the server's tools send).
std::string JoinSqlLines(const std::vector<std::string>& lines);

// The text with every double-quoted name re-encoded from the system code page
// to UTF-8; literals and comments stay as they are. Names on a connection
// without a character set are still metadata, which the server keeps in UTF-8.
std::string QuotedNamesToUtf8(std::string_view text);

// One parameter reference found by the scanner.
struct TSQLParamEntry {
  std::string name;           // without introducer; a quoted name without its quotes
  bool inWhere = false;
  bool nullRewritable = false;
  bool quoted = false;
  bool isMacro = false;
  int start = 0;              // 1-based position of the introducer
  int end = 0;                // 1-based position of the name's last character (closing quote)
};

enum class TScanMode { Analyse, Prepare };

// Outcome of one scan; processed is empty in analyse mode.
struct TScanResult {
  std::vector<TSQLParamEntry> params;
  std::string processed;
};

// Thrown by ScanSQLParams with one of the fixed failure texts; the statement turns
// it into its client error with its own name.
class ESQLScanError {
 public:
  explicit ESQLScanError(const char* text) : m_text(text) {}
  const char* Text() const { return m_text; }
  // True for "Parameter name expected", which is silent while loading.
  bool IsNameExpected() const;

 private:
  const char* m_text;
};

inline constexpr const char* kSqlParseParamNameExpected = "Parameter name expected";
inline constexpr const char* kSqlParseEofInComment = "EOF in comment detected";
inline constexpr const char* kSqlParseEofInString = "EOF in string detected";

// The one-pass parameter scanner. In prepare mode every reference is replaced by
// "?" and blanks, so the processed text has the input's length.
TScanResult ScanSQLParams(std::string_view text, TSQLKind kind, bool paramsAllowed,
                          TScanMode mode, char macroChar = '@');

// What TextToSend needs to know of one user parameter.
struct TSendParam {
  int start = 0;
  int end = 0;
  bool isMacro = false;
  bool inWhere = false;
  bool nullRewritable = false;
  bool isNull = false;
  std::string macroValue;     // substituted for a macro reference
};

// The text with macros substituted and, when rewriteNulls, comparisons with null
// rewritable parameters turned into IS NULL / IS NOT NULL tests. rewritten[i] tells
// whether parameter i was rewritten; changed whether the text differs.
std::string TextToSend(std::string_view text, const std::vector<TSendParam>& params,
                       bool rewriteNulls, std::vector<bool>* rewritten = nullptr,
                       bool* changed = nullptr);

// One item of an ORDER BY list.
struct TOrderByItem {
  std::string name;
  bool ascending = true;
  bool nullsFirst = false;
};

std::vector<TOrderByItem> ParseOrderBy(std::string_view selectText);
// The ORDER BY list as a two-dimensional variant array (rows: items; columns: name,
// ascending, nulls first); Null without ORDER BY.
Variant OrderByList(std::string_view selectText);

// Column table aliases from an isc_dsql_sql_info reply for the items select,
// describe vars, sqlda sequence, relation alias, describe end. Index i holds the
// alias of column i+1 (empty where none was reported).
std::vector<std::string> ParseAliasInfo(const uint8_t* reply, int length, int columnCount);

// An identifier as dialect 3 writes it: plain when it is an upper-case regular
// name, else in double quotes with inner quotes doubled.
std::string FormatIdentifier3(std::string_view name);

// Character classes used by the scanner, exposed for the statement layer.
bool IsSqlBlank(char c);
bool IsSqlDelimiter(char c);
bool IsSqlNameChar(char c);
