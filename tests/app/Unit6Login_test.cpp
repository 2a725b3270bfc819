// The window's login: Firebird's ISC_USER and ISC_PASSWORD, where set, take
// the place of the stored user name and password.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "TargetFixture.h"

using namespace apptest;

namespace {

// Sets (or, with nullopt, removes) an environment variable for the scope and
// puts the previous state back.
class EnvVar {
 public:
  EnvVar(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~EnvVar() {
    if (m_old)
      ::setenv(m_name, m_old->c_str(), 1);
    else
      ::unsetenv(m_name);
  }
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

}  // namespace

// Each variable replaces its own value only; an empty one counts as unset.
TEST_F(TargetTest, EnvironmentLoginReplacesTheStoredOne) {
  struct Case {
    std::optional<std::string> user, password;
    const char* wantUser;
    const char* wantPassword;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, "SYSDBA", "m"},
      {"ADMIN", "Tajna lozinka=1", "ADMIN", "Tajna lozinka=1"},
      {std::nullopt, "server-pass", "SYSDBA", "server-pass"},
      {"ADMIN", std::nullopt, "ADMIN", "m"},
      {"", "", "SYSDBA", "m"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.user.value_or("<unset>")) + " / " + c.password.value_or("<unset>"));
    EnvVar user("ISC_USER", c.user);
    EnvVar password("ISC_PASSWORD", c.password);
    Create();
    TStrings& params = form->pFIBDatabase->DBParams();
    EXPECT_EQ(params.Count(), 2);
    EXPECT_EQ(params.Values("user_name"), c.wantUser);
    EXPECT_EQ(params.Values("password"), c.wantPassword);
    form.reset();
  }
}

// Against a server whose SYSDBA has a real password the stored one-character
// password is refused; with ISC_PASSWORD the same window opens the target.
TEST_F(TargetTest, EnvironmentLoginOpensAServer) {
  const std::string secret = "Ovo-je-prava-lozinka";
  fibtest::TPrivateServer server(secret);
  if (!server.Running()) GTEST_SKIP() << server.Failure();
  const std::string path = server.Remote("target.fdb");
  ASSERT_EQ(fibtest::RunIsql(TargetScript(path, Article(1, "1012", "1012", "Boja za drvo"), secret, "NONE")), "");

  {
    EnvVar password("ISC_PASSWORD", std::nullopt);
    Create();
    Open(path);
    EXPECT_FALSE(form->pFIBDatabase->Connected());
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    form.reset();
    boxes.Boxes.clear();
  }

  EnvVar user("ISC_USER", "sysdba");
  EnvVar password("ISC_PASSWORD", secret);
  Create();
  Open(path);
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_TRUE(form->pFIBDatabase->Connected());
  EXPECT_TRUE(form->Button1->Enabled());
  EXPECT_EQ(Column(form->DBGrid3, "KATBRPRO"), "1012");
}
