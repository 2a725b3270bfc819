// TStrings: lines, text forms, name=value access and change events.
#include "runtime/Strings.h"

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"

namespace {

// Records the events of a list as "<" (changing) and ">" (changed), with
// the line count each handler saw.
struct EventLog {
  std::string log;
  explicit EventLog(TStrings& s) {
    s.OnChanging = [this](TStrings* sender) { log += "<" + std::to_string(sender->Count()); };
    s.OnChange = [this](TStrings* sender) { log += ">" + std::to_string(sender->Count()); };
  }
};

TEST(TStrings, NameValueAccess) {
  TStrings p{"user_name=SYSDBA", "password=x", "lc_ctype=WIN1250", "no value here", "sql_role_name="};
  EXPECT_EQ(p.Values("USER_NAME"), "SYSDBA");
  EXPECT_EQ(p.Values("missing"), "");
  EXPECT_EQ(p.IndexOfName("LC_CTYPE"), 2);
  EXPECT_EQ(p.IndexOfName("no value here"), -1);
  EXPECT_EQ(p.Names(1), "password");
  EXPECT_EQ(p.Names(3), "");
  EXPECT_EQ(p.ValueFromIndex(1), "x");
  EXPECT_EQ(p.ValueFromIndex(4), "");
  // Values may contain "=": the name ends at the first one.
  p.SetValues("password", "a=b");
  EXPECT_EQ(p[1], "password=a=b");
  EXPECT_EQ(p.Values("password"), "a=b");
  p.SetValues("new", "1");
  EXPECT_EQ(p[p.Count() - 1], "new=1");
  // An empty value deletes the line.
  p.SetValues("user_name", "");
  EXPECT_EQ(p.IndexOfName("user_name"), -1);
  EXPECT_EQ(p.Count(), 5);
  // Names compare ignoring the case of accented letters too.
  TStrings s{"\xC8" "ASA=1"};
  EXPECT_EQ(s.Values("\xE8" "asa"), "1");
}

TEST(TStrings, TextForms) {
  TStrings s;
  s.SetText("SELECT *\r\nFROM ROBA\n\nWHERE X = 1\rORDER BY 1");
  ASSERT_EQ(s.Count(), 5);
  EXPECT_EQ(s[2], "");
  EXPECT_EQ(s[4], "ORDER BY 1");
  EXPECT_EQ(s.Text(), "SELECT *\r\nFROM ROBA\r\n\r\nWHERE X = 1\r\nORDER BY 1\r\n");
  s.SetText("one\r\n");
  EXPECT_EQ(s.Count(), 1);
  TStrings c{"plain", "two words", "a,b", "say \"hi\"", ""};
  EXPECT_EQ(c.CommaText(), "plain,\"two words\",\"a,b\",\"say \"\"hi\"\"\",\"\"");
  EXPECT_EQ(c.IndexOf("PLAIN"), 0);
  EXPECT_THROW(c[5], Exception);
  EXPECT_THROW(c.Delete(-1), Exception);
}

TEST(TStrings, EventsSurroundEachChange) {
  TStrings s;
  EventLog events(s);
  s.Add("a");
  s.Insert(0, "b");
  s.SetStrings(0, "c");
  s.Delete(1);
  s.Clear();
  s.Clear();  // nothing to clear: no events
  EXPECT_EQ(events.log, "<0>1<1>2<2>2<2>1<1>0");
}

TEST(TStrings, UpdateGroupsEventsAndSkipsThemWithoutChanges) {
  TStrings s{"x"};
  EventLog events(s);
  s.BeginUpdate();
  s.BeginUpdate();
  s.Add("a");
  s.SetValues("k", "v");
  s.EndUpdate();
  EXPECT_EQ(events.log, "<1");
  s.EndUpdate();
  EXPECT_EQ(events.log, "<1>3");
  events.log.clear();
  s.BeginUpdate();
  s.EndUpdate();
  EXPECT_EQ(events.log, "");
}

TEST(TStrings, CopyAndAssign) {
  TStrings a{"1", "2"};
  EventLog events(a);
  TStrings b(a);
  EXPECT_EQ(b.Lines(), a.Lines());
  EXPECT_FALSE(b.OnChange);  // events are not copied
  TStrings c{"z"};
  a = c;
  EXPECT_EQ(a.Lines(), std::vector<std::string>{"z"});
  EXPECT_EQ(events.log, "<2>1");
  a.AddStrings(a);
  EXPECT_EQ(a.Lines(), (std::vector<std::string>{"z", "z"}));
}

}  // namespace

#include "runtime/StrUtils.h"

namespace {

TEST(StrUtils, TrimRemovesBlanksAndControlCharacters) {
  const struct {
    const char* in;
    const char* both;
    const char* left;
    const char* right;
  } cases[] = {{"  a b \t\r\n", "a b", "a b \t\r\n", "  a b"},
               {"", "", "", ""},
               {" \t ", "", "", ""},
               {"\xE8 ", "\xE8", "\xE8 ", "\xE8"}};  // accented letters are not blanks
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Trim(c.in), c.both);
    EXPECT_EQ(TrimLeft(c.in), c.left);
    EXPECT_EQ(TrimRight(c.in), c.right);
  }
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
}

}  // namespace
