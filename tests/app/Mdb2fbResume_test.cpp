// The batch command stopped from outside: SIGKILL at several moments of a
// run of a few thousand articles, SIGINT and SIGTERM, each followed by the
// run that finishes the job. The target must end up equal to the one an
// uninterrupted run leaves, row by row, and pass gfix's full validation.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "TargetFixture.h"

extern char** environ;

namespace {

constexpr int kArticles = 2000;
constexpr int kDefinitions = 8;
constexpr int kMarkings = 300;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// TABELA1 with KAT_BROJ 10000 + i and the columns C1..C8 the definitions
// name; markings H00000...
std::vector<Jet4Table> Source(int count = kArticles) {
  Jet4Table articles{"TABELA1", {{"ID", Jet4Type::LongInteger, 0, true}, {"KAT_BROJ", Jet4Type::Text, 20}}};
  for (int d = 1; d <= kDefinitions; ++d) articles.columns.push_back({"C" + std::to_string(d), Jet4Type::Text, 40});
  for (int i = 0; i < count; ++i) {
    std::vector<Jet4Value> row;
    row.emplace_back(std::in_place_type<std::monostate>);
    row.emplace_back(std::in_place_type<std::string>, std::to_string(10000 + i));
    for (int d = 1; d <= kDefinitions; ++d)
      row.emplace_back(std::in_place_type<std::string>, "v" + std::to_string(d) + " a" + std::to_string(i));
    articles.rows.push_back(std::move(row));
  }
  Jet4Table markings{"HPOznake", {{"id", Jet4Type::Text, 20}, {"naziv", Jet4Type::Text, 255}}};
  for (int i = 0; i < kMarkings; ++i) {
    char id[16];
    std::snprintf(id, sizeof id, "H%05d", i);
    markings.rows.push_back({Jet4Value(std::in_place_type<std::string>, id),
                             Jet4Value(std::in_place_type<std::string>, "oznaka " + std::to_string(i))});
  }
  return {articles, Jet4Table{"ZNAK", {{"id_znak_tabela1", Jet4Type::LongInteger}, {"naziv", Jet4Type::Text, 100}}},
          markings};
}

// The target's articles (ROBA) and the definitions, for a source of
// `count` articles.
std::string ArticlesSql(int count = kArticles) {
  return "SET TERM ^;\nEXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN\n"
         "  WHILE (i < " + std::to_string(count) + ") DO BEGIN\n"
         "    INSERT INTO ROBA (ROBAID, KATBR, KATBRPRO, NAZIV, VRSTA, GRUPAID)\n"
         "      VALUES (:i + 1, 10000 + :i, 10000 + :i, 'Artikal ' || :i, 1, 'GP');\n"
         "    i = i + 1;\n  END\n  i = 1;\n  WHILE (i <= " + std::to_string(kDefinitions) + ") DO BEGIN\n"
         "    INSERT INTO EXTRA_DATA_SIF (VRDOK, EDID, NAZIV, ET_FIELD, REDOSLED) "
         "VALUES (-2, :i, 'D' || :i, 'C' || :i, :i);\n"
         "    i = i + 1;\n  END\nEND^\nSET TERM ;^\n";
}

// Every written row, in key order.
const char* const kRows =
    "select 'ED|' || BRDOK || '|' || EDID || '|' || VRDOK || '|' || coalesce(VREDNOST, '<null>') || '|' || "
    "coalesce(cast(REDOSLED as varchar(8)), '<null>') from EXTRA_DATA "
    "union all select 'HP|' || ID || '|' || coalesce(NAZIV, '<null>') from EXTRA_DATA_OZNAKE order by 1";

// Whether `pid` is stopped now, as /proc tells it.
bool Stopped(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t name = line.rfind(')');
  return name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'T';
}

struct Outcome {
  int status = -1;  // as waitpid gives it
  bool hung = false;
  std::string out, err;
  int ExitCode() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
  bool Killed(int signal) const { return WIFSIGNALED(status) && WTERMSIG(status) == signal; }
};

class Mdb2fbResumeTest : public ::testing::Test {
 protected:
  // One source, one fresh target and the rows of an uninterrupted run, shared
  // by every case.
  static void SetUpTestSuite() {
    shared = new fibtest::TScratchDir;
    WriteJet4File(shared->File("source.mdb"), Source());
    fresh = apptest::CreateTarget(*shared, ArticlesSql(), "fresh.fdb");
    std::system(("gfix -write async -user SYSDBA -password m '" + fresh + "'").c_str());
    const std::string done = CopyOfFresh("done.fdb");
    Outcome run = Run({shared->File("source.mdb"), done});
    ASSERT_EQ(run.ExitCode(), 0) << run.err;
    reference = new std::vector<std::string>(apptest::QueryRows(done, kRows));
    ASSERT_EQ(reference->size(), static_cast<size_t>(kArticles * kDefinitions + kMarkings));
  }
  static void TearDownTestSuite() {
    delete reference;
    delete shared;
  }

  static std::string CopyOfFresh(const std::string& name) {
    const std::string path = shared->File(name);
    std::filesystem::copy_file(fresh, path, std::filesystem::copy_options::overwrite_existing);
    return path;
  }

  // Runs the command; once a progress line on stderr holds `when`, sends
  // `signal` (none: runs to the end). The moment is counted in rows the run
  // reports, never in time.
  static Outcome Run(std::vector<std::string> args, const std::string& when = {}, int signal = 0) {
    return RunUntil(std::move(args), when, [signal](pid_t pid) { kill(pid, signal); });
  }

  // The same, calling `stop` with the command's pid at that moment. A
  // command silent for two minutes counts as hung: it is killed and the
  // outcome says so.
  static Outcome RunUntil(std::vector<std::string> args, const std::string& when,
                          const std::function<void(pid_t)>& stop) {
    args.insert(args.begin(), MDB2FB_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outFile = shared->File("stdout");
    int err[2];
    if (pipe(err) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(err[1]);
    Outcome outcome;
    if (spawned != 0) {
      close(err[0]);
      return outcome;
    }
    // Every write the command makes to stderr stops it (the signal the pipe
    // sends its owner is SIGSTOP); it goes on only once it is stopped and all
    // it wrote has been read here. The stop at the chosen line therefore lands
    // on that line, however busy the machine, and not on whatever the command
    // did before a signal reached it.
    fcntl(err[0], F_SETOWN, pid);
    fcntl(err[0], F_SETSIG, SIGSTOP);
    fcntl(err[0], F_SETFL, fcntl(err[0], F_GETFL) | O_ASYNC);
    bool sent = false;
    std::string pending;  // the line being read
    for (int quietMs = 0;;) {
      pollfd fd{err[0], POLLIN, 0};
      if (poll(&fd, 1, 5) == 0) {
        if (Stopped(pid)) {
          kill(pid, SIGCONT);
        } else if ((quietMs += 5) >= 120'000) {
          outcome.hung = true;
          kill(pid, SIGKILL);
          break;
        }
        continue;
      }
      quietMs = 0;
      char buf[512];
      const ssize_t n = read(err[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      outcome.err.append(buf, static_cast<size_t>(n));
      pending.append(buf, static_cast<size_t>(n));
      for (size_t eol; (eol = pending.find('\n')) != std::string::npos; pending.erase(0, eol + 1))
        if (!sent && !when.empty() && Has(pending.substr(0, eol), when)) {
          stop(pid);
          sent = true;
        }
    }
    close(err[0]);
    waitpid(pid, &outcome.status, 0);
    outcome.out = Slurp(outFile);
    return outcome;
  }

  // gfix's full validation finds no error. A process killed with pages
  // allocated for its open transaction (forced writes off) leaves them
  // orphaned: validation warns about those pages, which hold nothing and
  // only cost space, so page warnings alone pass.
  static void ExpectSound(const std::string& target) {
    FILE* p = popen(("gfix -v -full -user SYSDBA -password m '" + target + "' 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[256];
    while (fgets(buf, sizeof buf, p)) text += buf;
    EXPECT_EQ(pclose(p), 0) << text;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
      EXPECT_TRUE(line == "Summary of validation errors" || Has(line, "page warnings")) << line;
  }

  // Every article present has all its rows.
  static void ExpectWholeArticles(const std::string& target) {
    EXPECT_EQ(apptest::QueryRows(target, "select count(*) from (select BRDOK from EXTRA_DATA group by BRDOK "
                                         "having count(*) <> " + std::to_string(kDefinitions) + ")"),
              std::vector<std::string>{"0"});
  }

  static inline fibtest::TScratchDir* shared = nullptr;
  static inline std::string fresh;
  static inline std::vector<std::string>* reference = nullptr;
};

TEST_F(Mdb2fbResumeTest, KillPointsThenTheRunThatFinishes) {
  struct Case {
    std::string name;
    std::vector<std::string> mode;    // options of the stopped run
    std::string when;                 // the progress text the stop follows
    std::vector<std::string> finish;  // options of the run after it
    bool nothingWritten;              // the stopped run leaves the target as it was
  };
  const Case cases[] = {
      {"per article, early", {}, "articles 200/", {"--resume"}, false},
      {"per article, halfway", {}, "articles 1000/", {"--resume"}, false},
      {"per article, in the markings", {}, "markings 150/", {"--resume"}, false},
      {"per row", {"--per-row"}, "articles 600/", {"--resume", "--per-row"}, false},
      {"atomic, plain rerun", {"--atomic"}, "articles 1000/", {"--atomic"}, true},
      {"atomic, in the markings, resumed", {"--atomic"}, "markings 150/", {"--atomic", "--resume"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = CopyOfFresh("killed.fdb");
    std::vector<std::string> args = c.mode;
    args.insert(args.end(), {shared->File("source.mdb"), target});
    const Outcome killed = Run(args, c.when, SIGKILL);
    ASSERT_TRUE(killed.Killed(SIGKILL)) << "the run ended before the kill point:\n" << killed.err;
    const std::vector<std::string> left = apptest::QueryRows(target, kRows);
    if (c.nothingWritten) EXPECT_TRUE(left.empty()) << left.size() << " rows";
    else EXPECT_FALSE(left.empty());
    if (c.mode.empty()) ExpectWholeArticles(target);

    args = c.finish;
    args.insert(args.end(), {shared->File("source.mdb"), target});
    const Outcome finished = Run(args);
    EXPECT_EQ(finished.ExitCode(), 0) << finished.err;
    EXPECT_FALSE(Has(finished.out, "Greska 2")) << finished.out;
    EXPECT_EQ(apptest::QueryRows(target, kRows), *reference);
    ExpectSound(target);
  }
}

// The server road: the server dies (SIGKILL) halfway through the articles.
// The command ends at once with an error and a non-zero status; once the
// server is back, the run that finishes the job leaves the target equal to
// an uninterrupted run's through the same server. A smaller source keeps
// the road's round trips cheap.
TEST_F(Mdb2fbResumeTest, ServerKilledMidRunThenTheRunThatFinishes) {
  fibtest::TPrivateServer server("m");
  if (!server.Running()) GTEST_SKIP() << server.Failure();
  constexpr int kServerArticles = 300;
  const std::string source = shared->File("server.mdb");
  WriteJet4File(source, Source(kServerArticles));
  // The private server has no WIN1250 module: character set NONE (the
  // values are ASCII). Forced writes stay on, as on a production server.
  const std::string fresh = server.Remote("fresh.fdb");
  ASSERT_EQ(fibtest::RunIsql(apptest::TargetScript(fresh, ArticlesSql(kServerArticles), "m", "NONE")), "");
  const std::string freshFile = fresh.substr(fresh.find(':') + 1);
  const std::vector<std::string> login = {"-u", "SYSDBA", "-p", "m"};
  auto runOn = [&](std::vector<std::string> options, const std::string& target, const std::string& when = {},
                   const std::function<void(pid_t)>& stop = {}) {
    options.insert(options.end(), login.begin(), login.end());
    options.insert(options.end(), {source, target});
    return RunUntil(std::move(options), when, stop);
  };
  auto copyOfFresh = [&](const std::string& name) {
    std::filesystem::copy_file(freshFile, freshFile.substr(0, freshFile.rfind('/') + 1) + name,
                               std::filesystem::copy_options::overwrite_existing);
    return server.Remote(name);
  };

  const std::string done = copyOfFresh("done.fdb");
  const Outcome whole = runOn({}, done);
  ASSERT_EQ(whole.ExitCode(), 0) << whole.err;
  const std::vector<std::string> uninterrupted = apptest::QueryRows(done, kRows);
  ASSERT_EQ(uninterrupted.size(), static_cast<size_t>(kServerArticles * kDefinitions + kMarkings));

  struct Case {
    std::string name;
    std::vector<std::string> mode, finish;
    bool nothingWritten;
  };
  const Case cases[] = {
      {"per article, resumed", {}, {"--resume"}, false},
      {"atomic, plain rerun", {"--atomic"}, {"--atomic"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = copyOfFresh("killed.fdb");
    const Outcome lost = runOn(c.mode, target, "articles 150/", [&](pid_t) { server.Kill(); });
    ASSERT_FALSE(lost.hung) << lost.err;
    EXPECT_EQ(lost.ExitCode(), 1) << lost.err;
    EXPECT_TRUE(Has(lost.err, "mdb2fb: ") && Has(lost.err, "connection")) << lost.err;
    ASSERT_TRUE(server.Restart()) << server.Failure();
    const std::vector<std::string> left = apptest::QueryRows(target, kRows);
    // The summary's figure is what the target holds.
    EXPECT_TRUE(Has(lost.out, "Rows written: " + std::to_string(left.size()) + "\n")) << lost.out;
    if (c.nothingWritten) EXPECT_TRUE(left.empty()) << left.size() << " rows";
    else ExpectWholeArticles(target);

    const Outcome finished = runOn(c.finish, target);
    EXPECT_EQ(finished.ExitCode(), 0) << finished.err;
    EXPECT_FALSE(Has(finished.out, "Greska 2")) << finished.out;
    EXPECT_EQ(apptest::QueryRows(target, kRows), uninterrupted);
    ExpectSound(target);
  }
}

// SIGINT and SIGTERM stop the run after the article in hand: the exit
// status tells the signal, the summary says "interrupted" with what was
// written, no row is reported refused, and what the run had done is kept
// (per article) or undone (--atomic).
TEST_F(Mdb2fbResumeTest, SignalsStopAfterTheRowInHand) {
  struct Case {
    int signal;
    std::vector<std::string> mode;
    int exitCode;
    std::string said;
    bool nothingWritten;
  };
  const Case cases[] = {
      {SIGTERM, {}, 143, "interrupted by SIGTERM", false},
      {SIGINT, {"--atomic"}, 130, "interrupted by SIGINT", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    const std::string target = CopyOfFresh("signalled.fdb");
    std::vector<std::string> args = c.mode;
    args.insert(args.end(), {"--report", shared->File("r.csv"), shared->File("source.mdb"), target});
    const Outcome stopped = Run(args, "articles 600/", c.signal);
    EXPECT_EQ(stopped.ExitCode(), c.exitCode) << stopped.err;
    EXPECT_TRUE(Has(stopped.out, "Run " + c.said)) << stopped.out;
    EXPECT_TRUE(Has(stopped.err, "interrupted articles ")) << stopped.err;
    EXPECT_FALSE(Has(stopped.err, "mdb2fb: ")) << stopped.err;  // no connection the client library shut down
    EXPECT_FALSE(Has(stopped.out, "Greska 2")) << stopped.out;
    EXPECT_TRUE(Has(stopped.out, "Rows refused: 0")) << stopped.out;
    const std::string report = Slurp(shared->File("r.csv"));
    EXPECT_TRUE(Has(report, "summary,status," + c.said)) << report;
    EXPECT_TRUE(Has(report, "summary,exit_code," + std::to_string(c.exitCode))) << report;

    const std::vector<std::string> left = apptest::QueryRows(target, kRows);
    // The summary's figure is what the target holds.
    const std::string written = std::to_string(left.size());
    EXPECT_TRUE(Has(stopped.out, "Rows written: " + written + "\n")) << stopped.out;
    if (c.nothingWritten) {
      EXPECT_TRUE(left.empty());
    } else {
      EXPECT_GE(left.size(), static_cast<size_t>(600 * kDefinitions));
      ExpectWholeArticles(target);
    }
    ExpectSound(target);

    std::vector<std::string> finish = {"--resume", shared->File("source.mdb"), target};
    EXPECT_EQ(Run(finish).ExitCode(), 0);
    EXPECT_EQ(apptest::QueryRows(target, kRows), *reference);
  }
}

// After a complete run, a resumed one finds every row and writes none, and
// the reconciliation (--resume --dry-run) finds the target complete.
TEST_F(Mdb2fbResumeTest, ResumeAfterACompleteRunWritesNothing) {
  const std::string target = CopyOfFresh("complete.fdb");
  ASSERT_EQ(Run({shared->File("source.mdb"), target}).ExitCode(), 0);
  const Outcome again = Run({"--resume", "--report", shared->File("again.csv"), shared->File("source.mdb"), target});
  EXPECT_EQ(again.ExitCode(), 0) << again.err;
  EXPECT_TRUE(Has(again.out, "Rows written: 0\n")) << again.out;
  EXPECT_TRUE(Has(again.out, "Rows already present (not written again): " +
                                 std::to_string(kArticles * kDefinitions + kMarkings)))
      << again.out;
  const std::string report = Slurp(shared->File("again.csv"));
  EXPECT_TRUE(Has(report, "present,EXTRA_DATA," + std::to_string(kArticles * kDefinitions) + ",")) << report;
  EXPECT_TRUE(Has(report, "present,EXTRA_DATA_OZNAKE," + std::to_string(kMarkings) + ",")) << report;
  EXPECT_EQ(apptest::QueryRows(target, kRows), *reference);

  // Reconciling: nothing missing, nothing different, exit 0; then a row
  // gone and a value changed are both told, per column, and exit 1.
  const std::vector<std::string> check = {"--resume", "--dry-run", shared->File("source.mdb"), target};
  const Outcome clean = Run(check);
  EXPECT_EQ(clean.ExitCode(), 0) << clean.out;
  EXPECT_FALSE(Has(clean.out, "missing ") || Has(clean.out, "differs ")) << clean.out;
  apptest::RunSql(target,
                  "delete from EXTRA_DATA where BRDOK = 7 and EDID = 2;"
                  "update EXTRA_DATA set VREDNOST = 'drugo' where BRDOK = 9 and EDID = 3;"
                  "delete from EXTRA_DATA_OZNAKE where ID = 'H00004';");
  const Outcome off = Run(check);
  EXPECT_EQ(off.ExitCode(), 1);
  EXPECT_TRUE(Has(off.out, "missing EXTRA_DATA: VRDOK=-2, EDID=2, BRDOK=7, VREDNOST='v2 a6', REDOSLED=2\n")) << off.out;
  EXPECT_TRUE(Has(off.out, "missing EXTRA_DATA_OZNAKE: ID='H00004', NAZIV='oznaka 4'\n")) << off.out;
  EXPECT_TRUE(Has(off.out, "differs EXTRA_DATA: VRDOK=-2, EDID=3, BRDOK=9, VREDNOST='v3 a8', REDOSLED=3 (PK_EXTRA_DATA)\n"
                           "  VREDNOST: target 'drugo', source 'v3 a8'\n"))
      << off.out;
}

}  // namespace
