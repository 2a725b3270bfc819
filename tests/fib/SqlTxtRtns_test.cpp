// SQL text routines: statement kinds, the pre-check, the parameter scanner and
// the null-comparison rewriting, without a server.
#include <gtest/gtest.h>

#include "ToolSql.h"
#include "dataset/Variant.h"
#include "fib/SqlTxtRtns.h"

namespace {

TSQLKind KindOf(std::string_view text) { return StatementKind(text, FirstSignificantPos(text)); }

TScanResult Scan(std::string_view text, TScanMode mode = TScanMode::Prepare) {
  const TSQLKind kind = KindOf(text);
  return ScanSQLParams(text, kind, kind != skDDL, mode);
}

std::string ScanError(std::string_view text) {
  try {
    Scan(text);
  } catch (const ESQLScanError& e) {
    return e.Text();
  }
  return "no error";
}

// Text to send with every parameter null (or not) as the scanner found them.
std::string SendWithNulls(std::string_view text, bool isNull) {
  std::vector<TSendParam> send;
  for (const TSQLParamEntry& e : Scan(text, TScanMode::Analyse).params) {
    TSendParam p;
    p.start = e.start;
    p.end = e.end;
    p.inWhere = e.inWhere;
    p.nullRewritable = e.nullRewritable;
    p.isNull = isNull;
    send.push_back(p);
  }
  return TextToSend(text, send, true);
}

}  // namespace

TEST(SqlTxtRtns, StatementKinds) {
  struct Case {
    const char* text;
    TSQLKind kind;
  };
  const Case cases[] = {
      {"SELECT * FROM T", skSelect},
      {"  merge into t using s on 1=1", skSelect},
      {"-- first line\r\n(SELECT 1 FROM RDB$DATABASE)", skSelect},
      {"/* c */ update T set A = 1", skUpdate},
      {"INSERT INTO T VALUES (1)", skInsert},
      {"delete from T", skDelete},
      {"EXECUTE /* x */ PROCEDURE P", skExecProcedure},
      {"execute\r\nblock as begin end", skExecBlock},
      {"SET GENERATOR G TO 5", skDDL},
      {"CREATE TABLE T (A INTEGER)", skDDL},
      {"recreate view v as select 1 from t", skDDL},
      {"SET TERM ^", skUnknown},
      {"- SELECT 1", skUnknown},
      {"SELECTED", skUnknown},
      {"", skUnknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(KindOf(c.text), c.kind);
  }
  // A hyphen that opens no comment ends the search for the first keyword.
  EXPECT_EQ(FirstSignificantPos("  - SELECT"), 3);
  EXPECT_EQ(FirstSignificantPos("/* a */ -- b\r\n ;(SELECT"), 18);
}

TEST(SqlTxtRtns, PreCheckFindsParametersOnlyOutsideLiteralsAndComments) {
  EXPECT_TRUE(NoParamsInText("SELECT ':x' FROM T /* :y */ -- :z\r\n"));
  EXPECT_TRUE(NoParamsInText(":"));
  EXPECT_FALSE(NoParamsInText("SELECT * FROM T WHERE A = :A"));
  EXPECT_FALSE(NoParamsInText("SELECT ? FROM T"));
  EXPECT_FALSE(NoParamsInText("SELECT @M FROM T"));
  // A line comment ended by a bare line feed must not hide the parameter after it.
  EXPECT_FALSE(NoParamsInText("-- note\nSELECT * FROM T WHERE A = :A"));
  // The "/" closing a comment opens no new one with the "*" after it.
  for (const char* text : {"SELECT /*c*/* FROM T WHERE ID = :ID", "SELECT ID/*c*/*2 FROM T WHERE ID = :ID",
                           "SELECT 1 /**/* 2 FROM T WHERE ID = :ID", ":ID", "/*x*/:ID"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(NoParamsInText(text));
    EXPECT_EQ(ScanSQLParams(text, skSelect, true, TScanMode::Analyse, '@').params.size(), 1u);
  }
  // "/*/" opens a comment and does not close it.
  EXPECT_TRUE(NoParamsInText("SELECT 1 /*/ :ID"));
}

TEST(SqlTxtRtns, ExtraDataSelectHasOneRewritableParameterAndEqualLengthText) {
  EXPECT_EQ(KindOf(kExtraDataSelect), skSelect);
  const TScanResult r = Scan(kExtraDataSelect);
  ASSERT_EQ(r.params.size(), 1u);
  const TSQLParamEntry& p = r.params[0];
  EXPECT_EQ(p.name, "BRDOK");
  EXPECT_TRUE(p.inWhere);
  EXPECT_TRUE(p.nullRewritable);
  EXPECT_FALSE(p.quoted);
  EXPECT_EQ(kExtraDataSelect.substr(static_cast<size_t>(p.start - 1), 6), ":BRDOK");
  EXPECT_EQ(p.end, p.start + 5);
  ASSERT_EQ(r.processed.size(), kExtraDataSelect.size());
  std::string expected = kExtraDataSelect;
  expected.replace(static_cast<size_t>(p.start - 1), 6, "?     ");
  EXPECT_EQ(r.processed, expected);
  // Analyse mode records the same parameters and writes no text.
  const TScanResult a = Scan(kExtraDataSelect, TScanMode::Analyse);
  EXPECT_TRUE(a.processed.empty());
  ASSERT_EQ(a.params.size(), 1u);
  EXPECT_EQ(a.params[0].start, p.start);
}

TEST(SqlTxtRtns, NullRewriting) {
  std::string withNull = kExtraDataSelect;
  const size_t at = withNull.find("= :BRDOK");
  withNull.replace(at, 8, " IS NULL ");
  EXPECT_EQ(SendWithNulls(kExtraDataSelect, true), withNull);
  EXPECT_EQ(SendWithNulls(kExtraDataSelect, false), kExtraDataSelect);

  struct Case {
    const char* text;
    const char* sent;
  };
  const Case cases[] = {
      {"SELECT * FROM T WHERE A = :P", "SELECT * FROM T WHERE A  IS NULL "},
      {"SELECT * FROM T WHERE A <> :P", "SELECT * FROM T WHERE A  IS NOT NULL "},
      {"SELECT * FROM T WHERE A != :P", "SELECT * FROM T WHERE A  IS NOT NULL "},
      {"SELECT * FROM T WHERE A ^= :P", "SELECT * FROM T WHERE A  IS NOT NULL "},
      {"SELECT * FROM T WHERE (A=:P)", "SELECT * FROM T WHERE (A IS NULL )"},
      // Rewriting through the parenthesis would unbalance the text.
      {"SELECT * FROM T WHERE (A=(:P))", "SELECT * FROM T WHERE (A=(:P))"},
      {"SELECT * FROM T WHERE A >= :P", "SELECT * FROM T WHERE A >= :P"},
      {"SELECT * FROM T WHERE A <= :P", "SELECT * FROM T WHERE A <= :P"},
      {"SELECT * FROM T WHERE A = :P + 1", "SELECT * FROM T WHERE A = :P + 1"},
      {"SELECT * FROM T WHERE A = :P || 'x'", "SELECT * FROM T WHERE A = :P || 'x'"},
      {"SELECT * FROM T WHERE A = :P -- c", "SELECT * FROM T WHERE A  IS NULL  -- c"},
      {"SELECT * FROM T WHERE A LIKE :P", "SELECT * FROM T WHERE A LIKE :P"},
      {"INSERT INTO T (A) VALUES (:P)", "INSERT INTO T (A) VALUES (:P)"},
      {"SELECT * FROM T WHERE A = :\"p q\" AND B = :P",
       "SELECT * FROM T WHERE A  IS NULL  AND B  IS NULL "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SendWithNulls(c.text, true), c.sent);
  }
}

TEST(SqlTxtRtns, WhereTracking) {
  const TScanResult r = Scan(
      "SELECT (SELECT X FROM S WHERE S.A = :A) FROM T WHERE (B = :B) AND C = :C "
      "GROUP BY D HAVING E = :E ORDER BY :F");
  ASSERT_EQ(r.params.size(), 5u);
  EXPECT_TRUE(r.params[0].inWhere);   // sub-select's WHERE, closed by its parenthesis
  EXPECT_TRUE(r.params[1].inWhere);
  EXPECT_TRUE(r.params[2].inWhere);
  EXPECT_FALSE(r.params[3].inWhere);  // HAVING ends the clause
  EXPECT_FALSE(r.params[4].inWhere);
  const TScanResult ins = Scan("INSERT INTO T (A, B) VALUES (:A, :B)");
  for (const auto& p : ins.params) EXPECT_FALSE(p.inWhere);
}

TEST(SqlTxtRtns, ColonsInLiteralsAndCommentsAreNoParameters) {
  const std::string text =
      "SELECT 'a:b', \"x:y\", 'it''s :no' FROM T /* :c */ -- :d\r\nWHERE A = :A AND B = '::'";
  const TScanResult r = Scan(text);
  ASSERT_EQ(r.params.size(), 1u);
  EXPECT_EQ(r.params[0].name, "A");
  EXPECT_EQ(r.processed.size(), text.size());
  EXPECT_NE(r.processed.find("'a:b'"), std::string::npos);
  EXPECT_NE(r.processed.find("/* :c */"), std::string::npos);
}

TEST(SqlTxtRtns, NamesQuotedAndUnquoted) {
  const TScanResult r = Scan("UPDATE T SET A = :Naziv, B = :\"MixedCase\", C = :x$1.y WHERE D = :\"q\"");
  ASSERT_EQ(r.params.size(), 4u);
  EXPECT_EQ(r.params[0].name, "Naziv");  // the area upper-cases unquoted names
  EXPECT_FALSE(r.params[0].quoted);
  EXPECT_EQ(r.params[1].name, "MixedCase");
  EXPECT_TRUE(r.params[1].quoted);
  EXPECT_EQ(r.params[2].name, "x$1.y");
  EXPECT_EQ(r.params[3].name, "q");
  EXPECT_TRUE(r.params[3].nullRewritable);
}

TEST(SqlTxtRtns, ScanFailures) {
  EXPECT_EQ(ScanError("SELECT * FROM T WHERE A = : B"), kSqlParseParamNameExpected);
  EXPECT_EQ(ScanError("SELECT * FROM T WHERE A = :"), kSqlParseParamNameExpected);
  EXPECT_EQ(ScanError("SELECT * FROM T /* open"), kSqlParseEofInComment);
  EXPECT_EQ(ScanError("SELECT * FROM T WHERE A = 'open"), kSqlParseEofInString);
  EXPECT_EQ(ScanError("SELECT * FROM T WHERE A = 'closed'"), std::string("no error"));
  EXPECT_EQ(ScanError("SELECT 1 FROM T -- open line comment"), std::string("no error"));
}

TEST(SqlTxtRtns, DuplicatesAndExecuteBlock) {
  const TScanResult dup = Scan("SELECT * FROM T WHERE A = :A OR B = :A");
  ASSERT_EQ(dup.params.size(), 2u);
  EXPECT_EQ(dup.params[0].name, dup.params[1].name);
  // In EXECUTE BLOCK the parameter part ends at AS; PSQL variables follow.
  const TScanResult blk = Scan("EXECUTE BLOCK (X INTEGER = :X) AS DECLARE Y INTEGER; BEGIN Y = :X; END");
  ASSERT_EQ(blk.params.size(), 1u);
  EXPECT_FALSE(blk.params[0].inWhere);
  // Only the word AS ends it, not a name that ends in "as".
  const TScanResult alias = Scan("EXECUTE BLOCK (ALIAS INTEGER = :ALIAS, HAS INTEGER = :HAS)\r\nAS BEGIN END");
  ASSERT_EQ(alias.params.size(), 2u);
  EXPECT_EQ(alias.params[1].name, "HAS");
  // DDL is never scanned for parameters.
  const TScanResult ddl = Scan("CREATE PROCEDURE P AS BEGIN X = :Y; END");
  EXPECT_TRUE(ddl.params.empty());
}

TEST(SqlTxtRtns, OrderByList) {
  const auto items = ParseOrderBy(
      "SELECT * FROM T ORDER BY ed.redosled, \"Mixed\" DESC NULLS FIRST, b collate win1250 asc");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].name, "ED.REDOSLED");
  EXPECT_TRUE(items[0].ascending);
  EXPECT_FALSE(items[0].nullsFirst);
  EXPECT_EQ(items[1].name, "\"Mixed\"");
  EXPECT_FALSE(items[1].ascending);
  EXPECT_TRUE(items[1].nullsFirst);
  EXPECT_EQ(items[2].name, "b");
  EXPECT_TRUE(OrderByList("SELECT * FROM T").IsNull());
  const Variant v = OrderByList("SELECT * FROM T ORDER BY A DESC");
  ASSERT_TRUE(v.IsArray());
  EXPECT_EQ(v.GetElement(0).GetElement(0).AsString(), "A");
  EXPECT_FALSE(v.GetElement(0).GetElement(1).AsBoolean());
}

TEST(SqlTxtRtns, AliasInfoReply) {
  // select, describe vars (2), then per column: sqlda seq and relation alias.
  const uint8_t reply[] = {4, 7, 4, 0, 2, 0, 0, 0,          //
                           9, 4, 0, 1, 0, 0, 0, 25, 2, 0, 'E', 'D', 8,  //
                           9, 4, 0, 2, 0, 0, 0, 25, 0, 0, 8, 1};
  const auto aliases = ParseAliasInfo(reply, sizeof reply, 2);
  ASSERT_EQ(aliases.size(), 2u);
  EXPECT_EQ(aliases[0], "ED");
  EXPECT_EQ(aliases[1], "");
  EXPECT_EQ(FormatIdentifier3("ED"), "ED");
  EXPECT_EQ(FormatIdentifier3("ed"), "\"ed\"");
}
