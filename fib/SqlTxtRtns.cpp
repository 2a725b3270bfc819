// Statement classification, the parameter pre-check and scanner, and the text to
// send with null comparisons rewritten. Pure text work: no server, no statement.
#include "fib/SqlTxtRtns.h"

#include <algorithm>
#include <cstring>

#include "dataset/Variant.h"
#include "runtime/CodePage.h"

namespace {

bool IsFiller(char c) { return IsSqlBlank(c) || c == '(' || c == ';'; }

// Keyword at the 0-based index, followed by a delimiter (or the end of the text).
bool KeywordAt(std::string_view text, size_t i, std::string_view word) {
  if (i + word.size() > text.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (UpperCaseAscii(text[i + k]) != word[k]) return false;
  const size_t after = i + word.size();
  return after >= text.size() || IsSqlDelimiter(text[after]);
}

// A keyword that must also stand after a blank, a double quote or a right parenthesis.
bool KeywordWithPredecessorAt(std::string_view text, size_t i, std::string_view word) {
  if (i == 0) return false;
  const char p = text[i - 1];
  if (!(IsSqlBlank(p) || p == '"' || p == ')')) return false;
  return KeywordAt(text, i, word);
}

// Index of the next significant character from i on, skipping fillers and comments.
size_t SkipFillersAndComments(std::string_view text, size_t i) {
  const size_t n = text.size();
  while (i < n) {
    if (IsFiller(text[i])) {
      ++i;
    } else if (text[i] == '-' && i + 1 < n && text[i + 1] == '-') {
      while (i < n && text[i] != '\n' && text[i] != '\r') ++i;
    } else if (text[i] == '/' && i + 1 < n && text[i + 1] == '*') {
      const size_t close = text.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

bool IsSqlBlank(char c) { return c == 0 || c == '\t' || c == '\n' || c == '\r' || c == ' '; }

bool IsSqlDelimiter(char c) {
  return IsSqlBlank(c) || c == '"' || c == '(' || c == '-' || c == '/' || c == ';';
}

bool IsSqlNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '$' || c == '#' || c == '%' || c == '.';
}

bool ESQLScanError::IsNameExpected() const {
  return std::strcmp(m_text, kSqlParseParamNameExpected) == 0;
}

int FirstSignificantPos(std::string_view text) {
  const size_t n = text.size();
  size_t i = 0;
  while (n > 0 && i < n - 1 && (IsFiller(text[i]) || text[i] == '-' || text[i] == '/')) {
    while (i < n && IsFiller(text[i])) ++i;
    if (i + 1 < n && text[i] == '-' && text[i + 1] == '-') {
      while (i < n && text[i] != '\n' && text[i] != '\r') ++i;
    } else if (i + 1 < n && text[i] == '/' && text[i + 1] == '*') {
      const size_t close = text.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
    } else if (i < n && (text[i] == '-' || text[i] == '/')) {
      break;  // a lone hyphen or slash is the first significant character
    }
  }
  return static_cast<int>(i) + 1;
}

TSQLKind StatementKind(std::string_view text, int firstPos) {
  const size_t i = static_cast<size_t>(std::max(firstPos, 1) - 1);
  if (i >= text.size()) return skUnknown;
  // The first keyword follows only fillers and comments, so any predecessor is fine.
  auto followedBy = [&](std::string_view first, std::string_view second) {
    if (!KeywordAt(text, i, first)) return false;
    const size_t j = SkipFillersAndComments(text, i + first.size());
    return KeywordAt(text, j, second);
  };
  if (KeywordAt(text, i, "SELECT") || KeywordAt(text, i, "MERGE")) return skSelect;
  if (KeywordAt(text, i, "UPDATE")) return skUpdate;
  if (KeywordAt(text, i, "DELETE")) return skDelete;
  if (KeywordAt(text, i, "INSERT")) return skInsert;
  if (followedBy("EXECUTE", "PROCEDURE")) return skExecProcedure;
  if (followedBy("EXECUTE", "BLOCK")) return skExecBlock;
  for (std::string_view w : {"ALTER", "CREATE", "COMMENT", "DROP", "DECLARE", "RECREATE"})
    if (KeywordAt(text, i, w)) return skDDL;
  if (followedBy("SET", "GENERATOR")) return skDDL;
  return skUnknown;
}

void TSQLParser::SetSQLText(std::string text) {
  m_text = std::move(text);
  m_firstPos = FirstSignificantPos(m_text);
  m_kind = StatementKind(m_text, m_firstPos);
}

size_t TSqlLexer::Step(std::string_view text, size_t i) {
  const char c = text[i];
  const char next = i + 1 < text.size() ? text[i + 1] : '\0';
  switch (m_run) {
    case Quoted:
      if (c == m_quote) m_run = Plain;
      return 1;
    case BlockComment:
      if (c == '*' && next == '/') {
        m_run = Plain;
        return 2;
      }
      return 1;
    case LineComment:
      // Lines may end with a bare line feed too; a comment must not hide what follows.
      if (c == '\r' || c == '\n') m_run = Plain;
      return 1;
    case Plain:
      if (c == '"' || c == '\'') {
        m_run = Quoted;
        m_quote = c;
      } else if (c == '/' && next == '*') {
        m_run = BlockComment;
        return 2;
      } else if (c == '-' && next == '-') {
        m_run = LineComment;
        return 2;
      }
      return 1;
  }
  return 1;
}

bool NoParamsInText(std::string_view text, char macroChar) {
  if (text.size() <= 1) return true;
  // The scanner's lexical states, from the first character on: the "/" that
  // closes "/*c*/" must not open a comment again with a following "*".
  TSqlLexer lex;
  for (size_t i = 0; i < text.size();) {
    const bool plain = lex.Run() == TSqlLexer::Plain;
    const size_t taken = lex.Step(text, i);
    const char c = text[i];
    if (plain && lex.Run() == TSqlLexer::Plain && (c == ':' || c == '?' || c == macroChar)) return false;
    i += taken;
  }
  return true;
}

std::string JoinSqlLines(const std::vector<std::string>& lines) {
  std::string out;
  TSqlLexer lex;
  for (const std::string& line : lines) {
    for (size_t i = 0; i < line.size();) i += lex.Step(line, i);
    const bool inLiteral = lex.Run() == TSqlLexer::Quoted;
    const std::string_view brk = inLiteral ? "\n" : "\r\n";
    out += line;
    out += brk;
    lex.Step(brk, 0);  // ends a line comment
  }
  return out;
}

std::string QuotedNamesToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  TSqlLexer lex;
  for (size_t i = 0; i < text.size();) {
    const bool plain = lex.Run() == TSqlLexer::Plain;
    const size_t taken = lex.Step(text, i);
    out.append(text.substr(i, taken));
    i += taken;
    if (plain && lex.Run() == TSqlLexer::Quoted && lex.Quote() == '"') {
      // The name up to its closing quote (a doubled quote reopens the name).
      size_t close = text.find('"', i);
      if (close == std::string_view::npos) close = text.size();
      out += AnsiToUtf8(text.substr(i, close - i));
      i = close;
    }
  }
  return out;
}

TScanResult ScanSQLParams(std::string_view text, TSQLKind kind, bool paramsAllowed,
                          TScanMode mode, char macroChar) {
  enum class St { Normal, Block, Literal, Line, Name, Macro };
  const bool prepare = mode == TScanMode::Prepare;
  const bool trackWhere = kind != skExecProcedure && kind != skExecBlock;
  const size_t n = text.size();

  TScanResult result;
  std::string& out = result.processed;
  if (prepare) out.reserve(n);
  auto put = [&](char c) {
    if (prepare) out.push_back(c);
  };

  St st = St::Normal;
  char closing = 0;
  bool inWhere = false;
  int depth = 0;
  bool blockParamsEnded = false;  // EXECUTE BLOCK: "AS" ends its parameter part

  auto afterNameRewritable = [&](size_t from) {
    size_t j = from;
    while (j < n && IsSqlBlank(text[j])) ++j;
    if (j >= n) return true;
    const char c = text[j];
    const char next = j + 1 < n ? text[j + 1] : '\0';
    if (c == '*' || c == '+' || c == '|') return false;
    if (c == '-' && next != '-') return false;
    if (c == '/' && next != '*') return false;
    return true;
  };

  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    switch (st) {
      case St::Normal: {
        if (trackWhere) {
          if (!inWhere) {
            if ((c == 'W' || c == 'w') && KeywordWithPredecessorAt(text, i, "WHERE")) {
              inWhere = true;
              depth = 0;
              for (int k = 0; k < 5; ++k) put(text[i + k]);
              i += 5;
              continue;
            }
          } else {
            if (c == '(') {
              ++depth;
            } else if (c == ')') {
              if (--depth < 0) inWhere = false;
            } else {
              for (std::string_view w : {"FOR", "GROUP", "HAVING", "ORDER", "PLAN", "START", "UNION"})
                if (UpperCaseAscii(c) == w[0] && KeywordWithPredecessorAt(text, i, w)) {
                  inWhere = false;
                  break;
                }
            }
            if (i == n - 1) inWhere = false;
          }
        }
        const char next = i + 1 < n ? text[i + 1] : '\0';
        if (c == '"' || c == '\'') {
          st = St::Literal;
          closing = c;
          put(c);
          ++i;
        } else if (c == '-' && next == '-') {
          st = St::Line;
          put(c);
          put(next);
          i += 2;
        } else if (c == '/' && next == '*') {
          st = St::Block;
          put(c);
          put(next);
          i += 2;
        } else if ((c == ':' || c == '?') && paramsAllowed && !blockParamsEnded) {
          // Parameter reference: "?" for the introducer, blanks over the name.
          TSQLParamEntry e;
          e.start = static_cast<int>(i) + 1;
          put('?');
          size_t j = i + 1;
          if (j < n && text[j] == '"') {
            e.quoted = true;
            put(' ');
            ++j;
            while (j < n && text[j] != '"') {
              e.name.push_back(text[j]);
              put(' ');
              ++j;
            }
            if (j < n) {  // the closing quote
              put(' ');
              e.end = static_cast<int>(j) + 1;
              ++j;
            } else {
              e.end = static_cast<int>(n);
            }
          } else {
            if (j >= n || !IsSqlNameChar(text[j])) throw ESQLScanError(kSqlParseParamNameExpected);
            while (j < n && IsSqlNameChar(text[j])) {
              e.name.push_back(text[j]);
              put(' ');
              ++j;
            }
            e.end = static_cast<int>(j);
          }
          e.inWhere = inWhere;
          e.nullRewritable = inWhere && afterNameRewritable(j);
          result.params.push_back(std::move(e));
          i = j;
        } else if (c == macroChar) {
          TSQLParamEntry e;
          e.isMacro = true;
          e.start = static_cast<int>(i) + 1;
          put(' ');
          size_t j = i + 1;
          if (j < n && text[j] == macroChar) {
            put(' ');
            ++j;
            while (j < n && text[j] != macroChar) {
              e.name.push_back(text[j]);
              put(' ');
              ++j;
            }
            if (j < n) {
              put(' ');
              ++j;
            }
          } else {
            while (j < n && !IsSqlBlank(text[j])) {
              e.name.push_back(text[j]);
              put(' ');
              ++j;
            }
          }
          e.end = static_cast<int>(j);
          e.inWhere = inWhere;
          result.params.push_back(std::move(e));
          i = j;
        } else {
          // AS must stand as a word: a name ending in "as" (ALIAS, HAS) would
          // otherwise end the parameter part early and leave its colons unscanned.
          if (kind == skExecBlock && !blockParamsEnded && (c == 'A' || c == 'a') &&
              (next == 'S' || next == 's') && (i + 2 >= n || IsSqlDelimiter(text[i + 2])) &&
              (i == 0 || IsSqlBlank(text[i - 1]) || text[i - 1] == '"' || text[i - 1] == ')'))
            blockParamsEnded = true;
          put(c);
          ++i;
        }
        break;
      }
      case St::Block:
        if (c == '*' && i + 1 < n && text[i + 1] == '/') {
          put(c);
          put('/');
          i += 2;
          st = St::Normal;
        } else {
          put(c);
          ++i;
        }
        break;
      case St::Literal:
        put(c);
        ++i;
        if (c == closing) {
          if (i < n && text[i] == closing) {  // a doubled closing character stays inside
            put(closing);
            ++i;
          } else {
            st = St::Normal;
          }
        }
        break;
      case St::Line:
        put(c);
        ++i;
        if (c == '\n' || c == '\r') st = St::Normal;
        break;
      case St::Name:
      case St::Macro:
        // Names are consumed whole where they start.
        st = St::Normal;
        break;
    }
  }
  if (st == St::Block) throw ESQLScanError(kSqlParseEofInComment);
  if (st == St::Literal) throw ESQLScanError(kSqlParseEofInString);
  if (prepare) {
    for (auto it = result.params.begin(); it != result.params.end();)
      it = it->isMacro ? result.params.erase(it) : it + 1;
  }
  return result;
}

std::string TextToSend(std::string_view text, const std::vector<TSendParam>& params,
                       bool rewriteNulls, std::vector<bool>* rewritten, bool* changed) {
  std::string s(text);
  long offset = 0;
  bool any = false;
  if (rewritten) rewritten->assign(params.size(), false);
  for (size_t k = 0; k < params.size(); ++k) {
    const TSendParam& p = params[k];
    const long start = p.start - 1 + offset;  // 0-based, in the current text
    const long end = p.end - 1 + offset;
    if (start < 0 || end < start || end >= static_cast<long>(s.size())) continue;
    if (p.isMacro) {
      s.replace(static_cast<size_t>(start), static_cast<size_t>(end - start + 1), p.macroValue);
      offset += static_cast<long>(p.macroValue.size()) - (end - start + 1);
      any = true;
      continue;
    }
    if (!(rewriteNulls && p.isNull && p.inWhere && p.nullRewritable)) continue;
    long j = start - 1;
    bool parenthesised = false;
    while (j >= 0 && (IsSqlBlank(s[j]) || s[j] == '"' || s[j] == '(' || s[j] == '-' ||
                      s[j] == '/' || s[j] == ';')) {
      if (s[j] == '(') parenthesised = true;
      --j;
    }
    // Replacing "= (:P" would leave its closing parenthesis unmatched and the
    // text unparsable; such a comparison is sent as written.
    if (j < 0 || parenthesised) continue;
    const char before = j > 0 ? s[j - 1] : '\0';
    long opStart;
    bool notEqual;
    if (s[j] == '=') {
      if (before == '!' || before == '^' || before == '~') {
        opStart = j - 1;
        notEqual = true;
      } else if (before == '<' || before == '>') {
        continue;
      } else {
        opStart = j;
        notEqual = false;
      }
    } else if (s[j] == '>' && before == '<') {
      opStart = j - 1;
      notEqual = true;
    } else {
      continue;
    }
    const std::string_view repl = notEqual ? " IS NOT NULL " : " IS NULL ";
    const long len = end - opStart + 1;
    s.replace(static_cast<size_t>(opStart), static_cast<size_t>(len), repl);
    offset += static_cast<long>(repl.size()) - len;
    any = true;
    if (rewritten) (*rewritten)[k] = true;
  }
  if (changed) *changed = any;
  return s;
}

std::string FormatIdentifier3(std::string_view name) {
  bool plain = !name.empty() && name[0] >= 'A' && name[0] <= 'Z';
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$')) plain = false;
  if (plain) return std::string(name);
  std::string r = "\"";
  for (char c : name) {
    if (c == '"') r.push_back('"');
    r.push_back(c);
  }
  r.push_back('"');
  return r;
}

std::vector<std::string> ParseAliasInfo(const uint8_t* reply, int length, int columnCount) {
  // Items of the reply: 4 select, 7 describe vars (counted integer), 9 sqlda seq,
  // 25 relation alias, 8 describe end, 1 end, 2 truncated.
  std::vector<std::string> aliases(static_cast<size_t>(std::max(columnCount, 0)));
  int column = 0;
  int i = 0;
  while (i < length) {
    const uint8_t item = reply[i++];
    if (item == 1 || item == 2) break;  // end / truncated
    if (item == 4 || item == 8) continue;
    if (i + 2 > length) break;
    const int len = reply[i] | (reply[i + 1] << 8);
    i += 2;
    if (len < 0 || i + len > length) break;
    if (item == 9) {
      int v = 0;
      for (int k = 0; k < len && k < 4; ++k) v |= reply[i + k] << (8 * k);
      column = v;
    } else if (item == 25 && column >= 1 && column <= columnCount) {
      aliases[static_cast<size_t>(column - 1)].assign(reinterpret_cast<const char*>(reply + i),
                                                       static_cast<size_t>(std::min(len, 31)));
    }
    i += len;
  }
  return aliases;
}

std::vector<TOrderByItem> ParseOrderBy(std::string_view selectText) {
  std::vector<TOrderByItem> items;
  // Find the last ORDER BY outside literals and comments.
  const size_t n = selectText.size();
  size_t orderAt = std::string_view::npos;
  char quote = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = selectText[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '-' && i + 1 < n && selectText[i + 1] == '-') {
      while (i < n && selectText[i] != '\n' && selectText[i] != '\r') ++i;
    } else if (c == '/' && i + 1 < n && selectText[i + 1] == '*') {
      const size_t close = selectText.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 1;
    } else if ((c == 'O' || c == 'o') && (i == 0 || IsSqlBlank(selectText[i - 1]) ||
                                          selectText[i - 1] == ')') &&
               KeywordAt(selectText, i, "ORDER")) {
      const size_t j = SkipFillersAndComments(selectText, i + 5);
      if (KeywordAt(selectText, j, "BY")) orderAt = j + 2;
    }
  }
  if (orderAt == std::string_view::npos) return items;
  std::string_view rest = selectText.substr(orderAt);
  // The list ends at the clauses that may follow it.
  for (std::string_view stop : {"ROWS", "FOR", "PLAN", "UNION"}) {
    const std::string up = UpperCaseAscii(rest);
    for (size_t p = up.find(stop); p != std::string::npos; p = up.find(stop, p + 1))
      if ((p == 0 || IsSqlBlank(up[p - 1])) && KeywordAt(up, p, stop)) {
        rest = rest.substr(0, p);
        break;
      }
  }
  auto trim = [](std::string_view v) {
    while (!v.empty() && static_cast<unsigned char>(v.front()) <= 32) v.remove_prefix(1);
    while (!v.empty() && (static_cast<unsigned char>(v.back()) <= 32 || v.back() == ';'))
      v.remove_suffix(1);
    return v;
  };
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t comma = rest.find(',', pos);
    if (comma == std::string_view::npos) comma = rest.size();
    std::string_view item = trim(rest.substr(pos, comma - pos));
    pos = comma + 1;
    if (item.empty()) continue;
    TOrderByItem it;
    // Name: a quoted run or a run up to the first blank.
    size_t k = 0;
    std::string name;
    while (k < item.size() && !IsSqlBlank(item[k])) {
      if (item[k] == '"') {
        const size_t close = item.find('"', k + 1);
        const size_t stopAt = close == std::string_view::npos ? item.size() : close + 1;
        name.append(item.substr(k, stopAt - k));
        k = stopAt;
      } else {
        name.push_back(item[k++]);
      }
    }
    if (name.find('.') != std::string::npos) {
      std::string up;
      bool inQuote = false;
      for (char c : name) {
        if (c == '"') inQuote = !inQuote;
        up.push_back(inQuote ? c : UpperCaseAscii(c));
      }
      name = up;
    }
    it.name = name;
    const std::string words = " " + UpperCaseAscii(item.substr(k)) + " ";
    if (words.find(" DESC ") != std::string::npos || words.find(" DESCENDING ") != std::string::npos)
      it.ascending = false;
    const size_t nulls = words.find(" NULLS ");
    if (nulls != std::string::npos) {
      size_t w = nulls + 7;
      while (w < words.size() && words[w] == ' ') ++w;
      it.nullsFirst = w < words.size() && words[w] == 'F';
    }
    items.push_back(std::move(it));
    if (comma >= rest.size()) break;
  }
  return items;
}

Variant OrderByList(std::string_view selectText) {
  const std::vector<TOrderByItem> items = ParseOrderBy(selectText);
  if (items.empty()) return Variant::Null();
  std::vector<Variant> rows;
  rows.reserve(items.size());
  for (const TOrderByItem& it : items)
    rows.push_back(VarArrayOf({Variant(it.name), Variant(it.ascending), Variant(it.nullsFirst)}));
  return VarArrayOf(rows);
}
