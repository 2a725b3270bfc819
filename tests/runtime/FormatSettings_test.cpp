// The process-wide format settings: fixed fallback for the C locale and
// the scoped override used by tests.
#include "runtime/FormatSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "runtime/NumText.h"

namespace {

// Sets an environment variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (m_old)
      setenv(m_name, m_old->c_str(), 1);
    else
      unsetenv(m_name);
  }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

void ExpectFixed(const TFormatSettings& fs) {
  const TFormatSettings fixed = TFormatSettings::Fixed();
  EXPECT_EQ(fs.DecimalSeparator, '.');
  EXPECT_EQ(fs.ThousandSeparator, ',');
  EXPECT_EQ(fs.ShortDateFormat, fixed.ShortDateFormat);
  EXPECT_EQ(fs.DateSeparator, '.');
  EXPECT_EQ(fs.LongTimeFormat, "hh:nn:ss");
  EXPECT_EQ(fs.CurrencyString, fixed.CurrencyString);
  EXPECT_EQ(fs.CurrencyDecimals, 2);
}

TEST(FormatSettings, CAndUnknownLocalesUseTheFixedFallback) {
  for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE.UTF-8"}) {
    SCOPED_TRACE(name);
    ScopedEnv env("LC_ALL", name);
    ExpectFixed(TFormatSettings::FromEnvironment());
  }
}

TEST(FormatSettings, ScopedOverrideRestores) {
  const char before = FormatSettings().DecimalSeparator;
  {
    TFormatSettings s = FormatSettings();
    s.DecimalSeparator = before == ',' ? '.' : ',';
    TScopedFormatSettings guard(s);
    EXPECT_EQ(FloatToStr(1.5), std::string("1") + s.DecimalSeparator + "5");
  }
  EXPECT_EQ(FormatSettings().DecimalSeparator, before);
}

}  // namespace

namespace {

TEST(FormatSettings, LocalePatternsTranslate) {
  const struct {
    const char* in;
    char token;
    const char* want;
    char separator;
  } cases[] = {{"%d.%m.%Y", '/', "dd/mm/yyyy", '.'},
               {"%m/%d/%y", '/', "mm/dd/yy", '/'},
               {"%Y-%m-%d", '/', "yyyy/mm/dd", '-'},
               {"%e. %B %Y.", '/', "d/ mmmm yyyy/", '.'},
               {"%H:%M:%S", ':', "hh:nn:ss", ':'},
               {"%T", ':', "hh:nn:ss", 0},
               {"%r", ':', "hh:nn:ss AMPM", ':'},
               {"%l.%M h", ':', "h:nn \"h\"", '.'}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    char sep = 0;
    EXPECT_EQ(StrftimeToPattern(c.in, c.token, sep), c.want);
    EXPECT_EQ(sep, c.separator);
  }
}

}  // namespace
