// Parsing the source queries' command text.
#include "source/AccessSql.h"

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"

namespace {

struct Token {
  enum Kind { Word, Name, Symbol, End } kind = End;
  std::string text;
};

class Lexer {
 public:
  explicit Lexer(std::string_view s) : m_s(s) {}

  Token Next() {
    while (m_i < m_s.size() && IsSpace(m_s[m_i])) ++m_i;
    if (m_i >= m_s.size()) return {Token::End, ""};
    const char c = m_s[m_i];
    if (c == '[' || c == '`') {
      const char close = c == '[' ? ']' : '`';
      const size_t start = ++m_i;
      while (m_i < m_s.size() && m_s[m_i] != close) ++m_i;
      if (m_i >= m_s.size()) Unsupported("a name is not closed");
      std::string name(m_s.substr(start, m_i - start));
      ++m_i;
      if (name.empty()) Unsupported("an empty name");
      return {Token::Name, name};
    }
    if (IsWordChar(c)) {
      const size_t start = m_i;
      while (m_i < m_s.size() && IsWordChar(m_s[m_i])) ++m_i;
      return {Token::Word, std::string(m_s.substr(start, m_i - start))};
    }
    ++m_i;
    return {Token::Symbol, std::string(1, c)};
  }

  [[noreturn]] void Unsupported(std::string_view why) const {
    throw EDatabaseError(Format(
        "Unsupported command text (%s): the Access source runs only SELECT * FROM <table> "
        "[ORDER BY <column> [ASC|DESC], ...]",
        {why}));
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
  // Letters of the code page count too: table names may be Serbian.
  static bool IsWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u >= 0x80;
  }

  std::string_view m_s;
  size_t m_i = 0;
};

bool IsKeyword(const Token& t, std::string_view word) {
  return t.kind == Token::Word && SameText(t.text, word);
}

constexpr std::string_view kNonQueries[] = {"INSERT", "UPDATE", "DELETE", "CREATE", "DROP",
                                            "ALTER", "GRANT", "REVOKE"};

}  // namespace

TAccessSelect ParseAccessSelect(std::string_view commandText) {
  Lexer lex(commandText);
  Token t = lex.Next();
  if (t.kind == Token::End) throw EDatabaseError("CommandText does not return a result set");
  for (auto verb : kNonQueries)
    if (IsKeyword(t, verb)) throw EDatabaseError("CommandText does not return a result set");
  if (!IsKeyword(t, "SELECT")) lex.Unsupported(Format("it begins with '%s'", {t.text}));
  t = lex.Next();
  if (!(t.kind == Token::Symbol && t.text == "*")) lex.Unsupported("only * is supported as the select list");
  if (!IsKeyword(lex.Next(), "FROM")) lex.Unsupported("FROM expected after SELECT *");
  t = lex.Next();
  if (t.kind != Token::Word && t.kind != Token::Name) lex.Unsupported("a table name expected after FROM");
  TAccessSelect select;
  select.table = t.text;
  t = lex.Next();
  if (IsKeyword(t, "ORDER")) {
    if (!IsKeyword(lex.Next(), "BY")) lex.Unsupported("BY expected after ORDER");
    for (;;) {
      t = lex.Next();
      if (t.kind != Token::Word && t.kind != Token::Name) lex.Unsupported("a column name expected in ORDER BY");
      TAccessOrderItem item{t.text, false};
      t = lex.Next();
      if (IsKeyword(t, "ASC") || IsKeyword(t, "DESC")) {
        item.descending = IsKeyword(t, "DESC");
        t = lex.Next();
      }
      select.orderBy.push_back(std::move(item));
      if (!(t.kind == Token::Symbol && t.text == ",")) break;
    }
  }
  if (t.kind == Token::Symbol && t.text == ";") t = lex.Next();
  if (t.kind != Token::End) lex.Unsupported(Format("unexpected '%s'", {t.text}));
  return select;
}
