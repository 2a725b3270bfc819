// The batch command, run as a program on the demo's files: usage errors,
// failures to open, the dry run against the real run, and the report files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "TargetFixture.h"
#include "app/batch/ReportFile.h"
#include "jet4/Jet4Demo.h"
#include "runtime/CodePage.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Result {
  int exitCode = -1;
  std::string out, err;
};

// CSV records: fields split at commas, quotes doubled inside quoted fields.
std::vector<std::vector<std::string>> CsvRecords(const std::string& text) {
  std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    std::string& field = records.back().back();
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      records.back().emplace_back();
    } else if (c == '\n') {
      records.emplace_back(1);
    } else if (c != '\r') {
      field += c;
    }
  }
  if (records.back().size() == 1 && records.back()[0].empty()) records.pop_back();
  return records;
}

// The target's rows as the report lists them: "TABLE COL=value;...".
const char* const kTargetRows =
    "select 'EXTRA_DATA VRDOK=' || VRDOK || ';EDID=' || EDID || ';BRDOK=' || BRDOK || ';VREDNOST=' || "
    "coalesce('''' || VREDNOST || '''', 'NULL') || ';REDOSLED=' || coalesce(cast(REDOSLED as varchar(8)), 'NULL') "
    "from EXTRA_DATA union all "
    "select 'EXTRA_DATA_OZNAKE ID=''' || ID || ''';NAZIV=' || coalesce('''' || NAZIV || '''', 'NULL') "
    "from EXTRA_DATA_OZNAKE";

class Mdb2fbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteJet4File(source, Jet4DemoTables());
    target = apptest::CreateTarget(dir, std::string("INPUT '") + DEMO_TARGET_SQL + "';");
  }

  // Runs the command in the scratch folder, `env` before it. A box waiting
  // for a click would hang it: five minutes, far beyond a loaded run, is the
  // most it gets.
  Result Run(const std::string& args, const std::string& env = {}) {
    const std::string out = dir.File("stdout"), err = dir.File("stderr");
    const std::string command = "cd '" + dir.Path() + "' && " + env + " timeout 300 '" MDB2FB_PATH "' " + args +
                                " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
  }

  std::set<std::string> TargetRows() {
    const std::vector<std::string> rows = apptest::QueryRows(target, kTargetRows);
    return {rows.begin(), rows.end()};
  }

  // The target's rows that are not among `before`.
  std::set<std::string> RowsAddedSince(const std::set<std::string>& before) {
    std::set<std::string> added;
    const std::set<std::string> now = TargetRows();
    std::set_difference(now.begin(), now.end(), before.begin(), before.end(), std::inserter(added, added.begin()));
    return added;
  }
  // The rows a dry run's report lists as new, as TargetRows gives them.
  std::set<std::string> ListedNew(const std::string& report) {
    std::set<std::string> listed;
    for (const auto& r : Section(report, "row"))
      if (r[3] == "new") listed.insert(r[1] + " " + r[2]);
    return listed;
  }

  // The report's records of one section; "row" records as "TABLE values".
  std::vector<std::vector<std::string>> Section(const std::string& report, const std::string& name) {
    std::vector<std::vector<std::string>> found;
    for (const auto& r : CsvRecords(Slurp(dir.File(report))))
      if (r.size() == 4 && r[0] == name) found.push_back(r);
    return found;
  }
  std::string Figure(const std::string& report, const std::string& name) {
    for (const auto& r : Section(report, "summary"))
      if (r[1] == name) return r[2];
    return "<none>";
  }
  std::vector<std::string> Lines(const std::string& report) {
    std::vector<std::string> lines;
    for (const auto& r : Section(report, "line")) lines.push_back(r[2]);
    return lines;
  }
  // Every article row read has one outcome and every marking read is
  // written or refused; the rows per definition make up the rows written.
  void ExpectFiguresAddUp(const std::string& report) {
    SCOPED_TRACE(report);
    auto n = [&](const char* name) { return std::stoi(Figure(report, name)); };
    EXPECT_EQ(n("article_rows_read"), n("articles_found") + n("articles_not_found") + n("articles_skipped"));
    int all = 0, markings = 0;
    for (const auto& r : Section(report, "written")) {
      all += std::stoi(r[2]);
      if (r[1] == "EXTRA_DATA_OZNAKE") markings += std::stoi(r[2]);
    }
    EXPECT_EQ(n("rows_written"), all);
    EXPECT_EQ(n("marking_rows_read"), markings + n("marking_rows_refused"));
  }

  fibtest::TScratchDir dir;
  std::string source = dir.File("Demo Izvor.mdb");
  std::string target;
};

TEST_F(Mdb2fbTest, UsageErrorsAndHelp) {
  struct Case {
    std::string args;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {"", 2, "the source file and the target database are both needed"},
      {"a.mdb", 2, "both needed"},
      {"a.mdb b.fdb c", 2, "too many operands: c"},
      {"--bogus a.mdb b.fdb", 2, "unknown option --bogus"},
      {"a.mdb b.fdb --report", 2, "option --report needs a value"},
      {"a.mdb b.fdb --report out.txt", 2, "cannot tell the report format"},
      {"a.mdb b.fdb --report-format xml --report out.txt", 2, "unknown report format xml"},
      {"a.mdb b.fdb --dry-run=yes", 2, "takes no value"},
      {"--atomic --per-row a.mdb b.fdb", 2, "--atomic and --per-row exclude each other"},
      // Short options grouped as with getopt.
      {"-nqz a.mdb b.fdb", 2, "unknown option -z"},
      {"a.mdb b.fdb -nqr", 2, "option -r needs a value"},
      {"-qnrout.txt a.mdb b.fdb", 2, "cannot tell the report format from out.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_TRUE(Has(r.err, c.message)) << r.err;
    EXPECT_TRUE(Has(r.err, "--help")) << r.err;
    EXPECT_EQ(r.out, "");
  }
  const Result help = Run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Has(help.out, "Usage: mdb2fb")) << help.out;
  EXPECT_TRUE(Has(help.out, "Exit status:")) << help.out;
}

// Every failure ends in the window's message on stderr and exit status 1,
// never in a box waiting for a click; the target stays as it was.
TEST_F(Mdb2fbTest, SourceAndTargetThatDoNotOpen) {
  std::ofstream(dir.File("damaged.mdb")) << "not an Access file";
  std::ofstream{dir.File("empty.mdb")};
  std::filesystem::create_directory(dir.File("folder.mdb"));
  const std::set<std::string> before = TargetRows();
  // The window's text, the reason on the next line.
  const std::string sourceBox = "mdb2fb: Greska pri otvaranju mdb data setova\n";
  struct Case {
    std::string args;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"missing.mdb '" + target + "'", {sourceBox + "Could not find file 'missing.mdb'"}},
      {"damaged.mdb '" + target + "'", {sourceBox + "'damaged.mdb' is not an Access database"}},
      {"empty.mdb '" + target + "'", {sourceBox + "'empty.mdb' is not an Access database (the file is empty)"}},
      {"folder.mdb '" + target + "'", {sourceBox + "'folder.mdb' is not an Access database (it is a folder)"}},
      {"'" + source + "' " + dir.File("nowhere.fdb"),
       {"mdb2fb: Greska pri otvaranju data setova\n", "nowhere.fdb", "No such file or directory"}},
      {"'" + source + "' '" + source + "'", {"Greska pri otvaranju data setova"}},
      {"'" + dir.Path() + "/a;b.mdb' '" + target + "'", {"cannot be handed to the Access reader"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Run(c.args + " --report r.csv");
    EXPECT_EQ(r.exitCode, 1);
    for (const std::string& m : c.messages) EXPECT_TRUE(Has(r.err, "mdb2fb: " + m) || Has(r.err, m)) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Figure("r.csv", "exit_code"), "1");
    EXPECT_FALSE(Section("r.csv", "error").empty());
  }
  EXPECT_EQ(TargetRows(), before);
}

// Definitions naming columns the source lacks stop the command before the
// first row: every missing column named at once, exit status 1, nothing
// written, and no marking transfer after it.
TEST_F(Mdb2fbTest, TransferThatStops) {
  apptest::RunSql(target, apptest::Definition(-2, 13, "Nema", "NEMA_KOLONE", 13) +
                              apptest::Definition(-2, 14, "Ni ova", "NI_OVA", 14));
  // The check comes before every commit mode's first row.
  for (const std::string mode : {"", "--atomic", "--per-row"}) {
    SCOPED_TRACE(mode);
    const std::set<std::string> start = TargetRows();
    const Result r = Run(mode + " '" + source + "' '" + target + "' --report r.csv");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "mdb2fb: qryAccPodaci: Field 'NEMA_KOLONE' not found.\nqryAccPodaci: Field 'NI_OVA' not found."))
        << r.err;
    EXPECT_TRUE(Has(r.out, "Rows written: 0")) << r.out;
    EXPECT_TRUE(RowsAddedSince(start).empty());
    EXPECT_EQ(Figure("r.csv", "exit_code"), "1");
    EXPECT_EQ(Figure("r.csv", "articles_found"), "0");
    EXPECT_EQ(Figure("r.csv", "article_rows_read"), "0");
    EXPECT_EQ(Figure("r.csv", "marking_rows_read"), "0");
    ExpectFiguresAddUp("r.csv");
    EXPECT_EQ(apptest::QueryRows(target, "select count(*) from EXTRA_DATA_OZNAKE"), std::vector<std::string>{"0"});
  }

  // A report that cannot be written at the end fails a run that went fine.
  const Result report = Run("-q --markings '" + source + "' '" + target + "' --report-format csv --report /dev/full");
  EXPECT_EQ(report.exitCode, 1);
  EXPECT_TRUE(Has(report.err, "cannot write the report /dev/full")) << report.err;
}

// Whatever the commit mode, a run writes the window's rows and gets the
// window's lines: a row the database refuses inside the one transaction
// of --atomic is undone alone, and the run goes on as the transfer says.
TEST_F(Mdb2fbTest, CommitModesWriteTheSameRows) {
  std::vector<std::string> lines;
  std::set<std::string> rows;
  for (const std::string mode : {"--per-row", "", "--atomic"}) {
    SCOPED_TRACE(mode);
    target = apptest::CreateTarget(dir, std::string("INPUT '") + DEMO_TARGET_SQL + "';", "t" + mode + ".fdb");
    const Result r = Run(mode + " '" + source + "' '" + target + "' --report r.csv");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "Greska 2: 7")) << r.out;
    if (mode == "--per-row") {
      lines = Lines("r.csv");
      rows = TargetRows();
      continue;
    }
    EXPECT_EQ(Lines("r.csv"), lines);
    EXPECT_EQ(TargetRows(), rows);
    EXPECT_EQ(Figure("r.csv", "commit"), mode.empty() ? "article" : "atomic");
  }
}

// The dry run lists what the real run then writes, row for row, and
// predicts its error list; after the real run a second dry run finds every
// row it reaches already there.
TEST_F(Mdb2fbTest, DryRunListsWhatTheRealRunWrites) {
  const std::set<std::string> before = TargetRows();
  const std::string args = "'" + source + "' '" + target + "'";

  const Result dry = Run("--dry-run " + args + " --report dry.csv");
  ASSERT_EQ(dry.exitCode, 0) << dry.err;
  EXPECT_EQ(TargetRows(), before);
  EXPECT_TRUE(Has(dry.out, "Dry run: nothing was written.")) << dry.out;
  const std::set<std::string> listed = ListedNew("dry.csv");
  int refused = 0;
  for (const auto& r : Section("dry.csv", "row")) {
    if (r[3] == "refused PK_EXTRA_DATA") ++refused;
    else if (r[3] != "new") ADD_FAILURE() << r[1] << " " << r[2] << ": " << r[3];
  }
  ASSERT_GT(listed.size(), 500u);  // 45 articles with 12 definitions, 25 markings, less one
  // The demo's article 7 already has its first definition's row.
  EXPECT_EQ(refused, 1);
  EXPECT_TRUE(Has(dry.out, "refused EXTRA_DATA: VRDOK=-2, EDID=1, BRDOK=24, VREDNOST='Ćuprija Lak', REDOSLED=1"))
      << dry.out;
  EXPECT_TRUE(Has(dry.out, "warning: already present (PK_EXTRA_DATA)")) << dry.out;
  EXPECT_EQ(std::to_string(listed.size()), Figure("dry.csv", "rows_written"));

  const Result real = Run(args + " --report real.csv");
  ASSERT_EQ(real.exitCode, 0) << real.err;
  EXPECT_EQ(RowsAddedSince(before), listed);
  EXPECT_EQ(Lines("real.csv"), Lines("dry.csv"));
  EXPECT_EQ(Figure("real.csv", "rows_written"), Figure("dry.csv", "rows_written"));
  EXPECT_EQ(Figure("real.csv", "rows_refused"), "1");
  EXPECT_TRUE(Section("real.csv", "row").empty());
  // The row without a catalogue number is skipped, without a line, and counted.
  for (const char* report : {"dry.csv", "real.csv"}) {
    EXPECT_EQ(Figure(report, "article_rows_read"), "50");
    EXPECT_EQ(Figure(report, "articles_found"), "46");
    EXPECT_EQ(Figure(report, "articles_not_found"), "3");
    EXPECT_EQ(Figure(report, "articles_skipped"), "1");
    EXPECT_EQ(Figure(report, "marking_rows_read"), "25");
    ExpectFiguresAddUp(report);
  }
  EXPECT_TRUE(Has(real.out, "Source rows read: 50 articles, 25 markings\n"
                            "Articles found: 46, not found: 3, skipped without a catalogue number: 1\n"))
      << real.out;
  const std::set<std::string> after = TargetRows();

  // Each found article stops at its first definition's row, now present;
  // the markings stop at the first one, as a second real run would.
  const Result again = Run("--dry-run " + args + " --report again.csv");
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_TRUE(Has(again.err, "PK_EXTRA_DATA_OZNAKE")) << again.err;
  EXPECT_EQ(TargetRows(), after);
  const std::string found = Figure("again.csv", "articles_found");
  int articleRows = 0, markingRows = 0;
  for (const auto& r : Section("again.csv", "row")) {
    const bool article = r[1] == "EXTRA_DATA";
    (article ? articleRows : markingRows)++;
    EXPECT_EQ(r[3], article ? "refused PK_EXTRA_DATA" : "refused PK_EXTRA_DATA_OZNAKE") << r[2];
    if (article) {
      EXPECT_TRUE(Has(r[2], ";EDID=1;")) << r[2];
    }
  }
  EXPECT_EQ(std::to_string(articleRows), found);
  EXPECT_EQ(markingRows, 1);
  EXPECT_EQ(Figure("again.csv", "rows_refused"), found);
  EXPECT_EQ(Figure("again.csv", "rows_written"), "0");
  // The refused first marking was read.
  EXPECT_EQ(Figure("again.csv", "marking_rows_read"), "1");
  EXPECT_EQ(Figure("again.csv", "marking_rows_refused"), "1");
  EXPECT_TRUE(Has(again.out, "Markings refused: 1\n")) << again.out;
  ExpectFiguresAddUp("again.csv");
}

// A row the run itself wrote earlier collides as one that was there: an
// article twice in the source, a marking twice.
TEST_F(Mdb2fbTest, DryRunCountsItsOwnRowsAsWritten) {
  std::vector<Jet4Table> tables = Jet4DemoTables();
  for (Jet4Table& t : tables) {
    if (t.name != "TABELA1" && t.name != "HPOznake") continue;
    size_t column = 0;
    if (t.name == "TABELA1")
      while (t.columns[column].name != "KAT_BROJ") ++column;
    for (const auto& row : t.rows) {
      const auto* number = std::get_if<std::string>(&row[column]);
      if (t.name == "HPOznake" || (number && *number == "1012")) {
        t.rows.push_back(row);
        break;
      }
    }
  }
  WriteJet4File(source, tables);
  const std::set<std::string> before = TargetRows();
  const std::string args = "'" + source + "' '" + target + "'";
  const Result dry = Run("-n " + args + " --report dry.csv");
  EXPECT_EQ(dry.exitCode, 1);
  EXPECT_EQ(TargetRows(), before);
  const std::set<std::string> listed = ListedNew("dry.csv");

  const Result real = Run(args + " --report real.csv");
  EXPECT_EQ(real.exitCode, 1);
  EXPECT_EQ(RowsAddedSince(before), listed);
  EXPECT_EQ(Lines("real.csv"), Lines("dry.csv"));
  const std::vector<std::string> lines = Lines("dry.csv");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Greska 2: 1012"), 1) << ::testing::PrintToString(lines);
  // 25 markings written, the 26th (the first again) read and refused.
  for (const char* report : {"dry.csv", "real.csv"}) {
    EXPECT_EQ(Figure(report, "marking_rows_read"), "26");
    EXPECT_EQ(Figure(report, "marking_rows_refused"), "1");
    ExpectFiguresAddUp(report);
  }
}

// Without a declared key nothing refuses a second copy: a row equal in every
// written column is listed with a warning and the real run stores it again.
TEST_F(Mdb2fbTest, DryRunWarnsWhereNoKeyRefuses) {
  apptest::RunSql(target,
                  "ALTER TABLE EXTRA_DATA_OZNAKE DROP CONSTRAINT PK_EXTRA_DATA_OZNAKE;\nCOMMIT;\n"
                  "INSERT INTO EXTRA_DATA_OZNAKE VALUES ('P501', "
                  "'Odložiti sadržaj/ambalažu u skladu sa lokalnim propisima.');\n"
                  "INSERT INTO EXTRA_DATA_OZNAKE VALUES ('P331', 'drugi naziv');");
  const std::string args = "--markings '" + source + "' '" + target + "'";
  const Result dry = Run("-n " + args + " --report dry.csv");
  ASSERT_EQ(dry.exitCode, 0) << dry.err;
  std::vector<std::string> present;
  int rows = 0;
  for (const auto& r : Section("dry.csv", "row")) {
    ++rows;
    if (r[3] != "new") present.push_back(r[2] + " " + r[3]);
  }
  EXPECT_EQ(rows, 25);
  EXPECT_EQ(present, std::vector<std::string>{"ID='P501';NAZIV='Odložiti sadržaj/ambalažu u skladu sa lokalnim "
                                              "propisima.' present all columns"});
  EXPECT_TRUE(Has(dry.out, "warning: already present (all columns): a real run stores it again")) << dry.out;
  EXPECT_EQ(Figure("dry.csv", "rows_written"), "25");

  ASSERT_EQ(Run(args).exitCode, 0);
  EXPECT_EQ(apptest::QueryRows(target, "select count(*) from EXTRA_DATA_OZNAKE where ID = 'P501'"),
            std::vector<std::string>{"2"});
}

// The JSON report carries the same figures, the lines and the listed rows.
// A quiet run drops the progress and the summary, not the error list: a
// run with refusals must not look like a clean one.
TEST_F(Mdb2fbTest, JsonReportAndQuietRun) {
  const Result r = Run("-qn --articles '" + source + "' '" + target + "' --report out.json");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Ne postoji: GP: 20025\nNe postoji: GP: 3401\nNe postoji: GP: 34015\nGreska 2: 7\n");
  const std::string json = Slurp(dir.File("out.json"));
  for (const char* part : {"\"dryRun\": true", "\"exitCode\": 0", "\"articleRowsRead\": 50",
                           "\"articlesFound\": 46", "\"articlesNotFound\": 3", "\"articlesSkipped\": 1",
                           "\"rowsRefused\": 1", "\"markingRowsRead\": 0", "\"markingRowsRefused\": 0",
                           "\"Ne postoji: GP: 3401\"", "\"Greska 2: 7\"",
                           "\"table\": \"EXTRA_DATA\", \"edid\": 1, \"definition\": \"Proizvođač\"",
                           "\"status\": \"refused\", \"key\": \"PK_EXTRA_DATA\"", "\"VREDNOST\": null",
                           "\"VREDNOST\": \"do +50 °C, ne bušiti ni spaljivati\""})
    EXPECT_TRUE(Has(json, part)) << part << "\n" << json.substr(0, 2000);
  EXPECT_EQ(std::count(json.begin(), json.end(), '{'), std::count(json.begin(), json.end(), '}'));
  EXPECT_FALSE(Has(json, "EXTRA_DATA_OZNAKE"));
}

// A server refuses the stored password; the options or Firebird's variables
// give the real one.
TEST_F(Mdb2fbTest, LoginFromOptionsOrEnvironment) {
  const std::string secret = "Ovo-je-prava-lozinka";
  fibtest::TPrivateServer server(secret);
  if (!server.Running()) GTEST_SKIP() << server.Failure();
  const std::string path = server.Remote("target.fdb");
  ASSERT_EQ(fibtest::RunIsql(apptest::TargetScript(path, apptest::Article(1, "1012", "1012", "Boja"), secret, "NONE")),
            "");
  const std::string args = "-q -n --articles '" + source + "' '" + path + "'";
  const Result refused = Run(args, "env -u ISC_USER -u ISC_PASSWORD");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(Has(refused.err, "Greska pri otvaranju data setova")) << refused.err;
  EXPECT_TRUE(Has(refused.err, "password")) << refused.err;
  EXPECT_EQ(Run(args + " -u SYSDBA -p " + secret, "env -u ISC_USER -u ISC_PASSWORD").exitCode, 0);
  EXPECT_EQ(Run(args, "ISC_USER=sysdba ISC_PASSWORD=" + secret).exitCode, 0);
  EXPECT_EQ(Run(args + " -p wrong", "ISC_USER=sysdba ISC_PASSWORD=" + secret).exitCode, 1);
}

// The folder's entries but the command's own output files.
std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "stdout" && name != "stderr") names.insert(name);
  }
  return names;
}

// A report path that would replace a file the run works on, or one that
// cannot take a report, stops the command before anything runs: a usage
// error, nothing written, source and target byte for byte as they were.
TEST_F(Mdb2fbTest, BadReportPathsWriteNothing) {
  namespace fs = std::filesystem;
  fs::create_symlink(target, dir.File("link.fdb"));
  fs::create_hard_link(source, dir.File("hard.csv"));
  fs::create_directory(dir.File("folder.csv"));
  fs::create_directory(dir.File("closed"));
  fs::permissions(dir.File("closed"), fs::perms::owner_read | fs::perms::owner_exec);
  const std::string sourceBytes = Slurp(source), targetBytes = Slurp(target);
  const std::set<std::string> entries = Entries(dir.Path());
  const std::string files = " '" + source + "' '" + target + "'";
  struct Case {
    std::string args;
    std::string message;
  };
  std::vector<Case> cases = {
      {"-qn --report-format json -r '" + target + "'" + files, "would replace the target database"},
      {"-r '" + source + "' --report-format csv" + files, "would replace the source"},
      {"-r link.fdb --report-format json" + files, "would replace the target database"},
      {"-r hard.csv" + files, "would replace the source"},
      {"-r '" + dir.Path() + "/./folder.csv/../" + fs::path(target).filename().string() + "' --report-format csv" +
           files,
       "would replace the target database"},
      // A server on this machine opens the local file.
      {"-r '" + target + "' --report-format csv '" + source + "' 'localhost:" + target + "'",
       "would replace the target database"},
      {"-r nofolder/rep.csv" + files, "the report's folder nofolder does not exist"},
      {"-r folder.csv" + files, "the report folder.csv is a folder"},
      {"-r /proc/rep.csv" + files, "the report cannot be written in the folder /proc"},
  };
  // Root writes into a closed folder all the same.
  if (geteuid() != 0) cases.push_back({"-r closed/rep.csv" + files, "cannot be written in the folder closed"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Run(c.args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "mdb2fb: the report") && Has(r.err, c.message)) << r.err;
    EXPECT_TRUE(Has(r.err, "--help")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Slurp(source) == sourceBytes);
    EXPECT_TRUE(Slurp(target) == targetBytes);
    EXPECT_EQ(Entries(dir.Path()), entries);
    EXPECT_TRUE(fs::is_empty(dir.File("closed")));
  }

  // A good path: an existing report is replaced whole, through a symbolic
  // link to it (the link stays), with no temporary file left beside it.
  std::ofstream(dir.File("old.csv")) << "an older report, longer than the new one will be" << std::string(4000, '.');
  fs::create_symlink("old.csv", dir.File("latest.csv"));
  const Result r = Run("-q --markings -r latest.csv" + files);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir.File("latest.csv")));
  EXPECT_EQ(Figure("old.csv", "marking_rows_read"), "25");
  EXPECT_FALSE(Has(Slurp(dir.File("old.csv")), "older"));
  std::set<std::string> expected = entries;
  expected.insert({"old.csv", "latest.csv"});
  EXPECT_EQ(Entries(dir.Path()), expected);
}

// The local files a run reads: a target on another host is none.
TEST(Mdb2fbReportFile, FilesTheRunReads) {
  struct Case {
    std::string target;
    std::string file;  // empty: no local target file
  };
  const Case cases[] = {{"/data/T.FDB", "/data/T.FDB"},
                        {"T.FDB", "T.FDB"},
                        {"localhost:/data/T.FDB", "/data/T.FDB"},
                        {"127.0.0.1/3051:/data/T.FDB", "/data/T.FDB"},
                        {"server:/data/T.FDB", ""},
                        {"server/3051:/data/T.FDB", ""},
                        {"inet://server/data/T.FDB", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    TBatchOptions options;
    options.source = "/nowhere/S.mdb";
    options.target = c.target;
    std::vector<std::string> targets;
    bool sourceListed = false;
    for (const TRunFile& f : FilesTheRunReads(options)) {
      if (f.role == "the target database") targets.push_back(f.path);
      if (f.role == "the source") sourceListed = f.path == options.source;
    }
    EXPECT_TRUE(sourceListed);
    EXPECT_EQ(targets, c.file.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.file});
  }
}

}  // namespace

// Changed values in the batch command: the window's lines on stdout (and in
// the report), their count in the summary and the report; the dry run lists
// them all and writes nothing; --strict refuses their rows (an article's as
// "Greska 2", a marking's stops the command with exit status 1).
TEST_F(Mdb2fbTest, ChangedValues) {
  const std::string lossy = dir.File("lossy.mdb");
  WriteJet4File(lossy, apptest::LossySource());
  std::vector<std::string> lines;  // UTF-8, as the command prints them
  for (const auto* table : {&apptest::LossyValues(), &apptest::LossyMarkings()})
    for (const apptest::TLossyValue& v : *table)
      if (!v.line.empty()) lines.push_back(AnsiToUtf8(v.line));
  const std::string changed = std::to_string(lines.size());

  for (const bool dryRun : {true, false}) {
    SCOPED_TRACE(dryRun ? "dry run" : "run");
    fibtest::TScratchDir scratch;
    const std::string into = apptest::CreateTarget(scratch, apptest::LossyTarget());
    const Result r = Run(std::string(dryRun ? "-n " : "") + "'" + lossy + "' '" + into + "' --report r.csv");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const std::string& line : lines) EXPECT_TRUE(Has(r.out, "  " + line + "\n")) << line << "\n" << r.out;
    EXPECT_TRUE(Has(r.out, "Values changed: " + changed + "\n")) << r.out;
    EXPECT_EQ(Figure("r.csv", "values_changed"), changed);
    EXPECT_EQ(Lines("r.csv"), lines);
    EXPECT_EQ(apptest::QueryRows(into, "select count(*) from EXTRA_DATA"),
              std::vector<std::string>{dryRun ? "0" : "5"});
  }

  fibtest::TScratchDir scratch;
  const std::string into = apptest::CreateTarget(scratch, apptest::LossyTarget());
  const Result strict = Run("--strict '" + lossy + "' '" + into + "' --report r.json");
  EXPECT_EQ(strict.exitCode, 1);
  EXPECT_TRUE(Has(strict.err, "mdb2fb: " + AnsiToUtf8(apptest::LossyMarkings()[0].line))) << strict.err;
  EXPECT_TRUE(Has(strict.out, "Rows refused: 4\n")) << strict.out;
  EXPECT_TRUE(Has(Slurp(dir.File("r.json")), "\"valuesChanged\": 5")) << Slurp(dir.File("r.json"));
  EXPECT_EQ(apptest::QueryRows(into, "select BRDOK from EXTRA_DATA"), std::vector<std::string>{"4"});
  EXPECT_EQ(apptest::QueryRows(into, "select count(*) from EXTRA_DATA_OZNAKE"), std::vector<std::string>{"0"});
}
