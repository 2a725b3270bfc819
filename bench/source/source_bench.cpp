// source_bench [rows]: writes an Access file with one table of `rows` rows
// (default 5,000; text, numbers, currency, dates, Yes/No and a memo per row),
// then times opening it through TADOQuery and reading every field of every
// row as text, against mdb-export printing the same table. One run of each
// after a warm-up; the ratio is ours / mdb-export's (the target is <= 2).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "jet4/Jet4Writer.h"
#include "source/ADODB.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

Jet4Table MakeTable(int rows) {
  Jet4Table t{"TABELA1",
              {{"KAT_BROJ", Jet4Type::Text, 25}, {"NAZIV", Jet4Type::Text, 100},
               {"ZNAK_1", Jet4Type::LongInteger}, {"ZNAK_2", Jet4Type::LongInteger},
               {"CENA", Jet4Type::Currency}, {"TEZINA", Jet4Type::Double},
               {"DATUM", Jet4Type::DateTime}, {"AKTIVAN", Jet4Type::Boolean},
               {"TEMPERATURA_SKLADISTENJA", Jet4Type::Text, 50}, {"OPIS", Jet4Type::Memo}},
              {}};
  for (int i = 0; i < rows; ++i) {
    t.rows.push_back({std::to_string(100000 + i), "Proizvod čćžšđ broj " + std::to_string(i),
                      std::int64_t{i % 40}, std::int64_t{(i * 7) % 40}, Jet4Currency{i * 12345LL},
                      i * 0.37, Jet4Date{Jet4DateValue(2000 + i % 50, 1 + i % 12, 1 + i % 28, i % 24, i % 60)},
                      i % 3 == 0, std::string("+5 do +25 °C"),
                      "Opis proizvoda " + std::to_string(i) + " - čuvati na suvom mestu."});
  }
  return t;
}

double TimeOurs(const std::string& file, size_t& bytes) {
  const auto start = Clock::now();
  TComponent owner;
  auto* c = new TADOConnection(&owner);
  c->SetConnectionString(
      "Provider=MSDASQL.1;Extended Properties=\"DBQ=" + file +
      ";Driver={Microsoft Access Driver (*.mdb)};\"");
  c->SetLoginPrompt(false);
  auto* q = new TADOQuery(&owner);
  q->SetConnection(c);
  q->SQL().Add("SELECT * FROM TABELA1");
  q->Open();
  bytes = 0;
  for (q->First(); !q->Eof(); q->Next())
    for (int i = 0; i < q->FieldCount(); ++i) bytes += q->Fields()[i]->AsString().size();
  return Seconds(Clock::now() - start);
}

double TimeMdbExport(const std::string& file) {
#ifdef MDB_EXPORT_PROGRAM
  const auto start = Clock::now();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {MDB_EXPORT_PROGRAM, file.c_str(), "TABELA1", nullptr};
  pid_t pid;
  if (posix_spawn(&pid, MDB_EXPORT_PROGRAM, &actions, nullptr, const_cast<char**>(argv), environ) != 0)
    return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return Seconds(Clock::now() - start);
#else
  return -1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 5000;
  const std::string dir = std::filesystem::temp_directory_path() / ("source_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/bench.mdb";
  WriteJet4File(file, {MakeTable(rows)});

  size_t bytes = 0;
  TimeOurs(file, bytes);  // warm-up: page cache, reader program
  TimeMdbExport(file);
  const double ours = TimeOurs(file, bytes);
  const double theirs = TimeMdbExport(file);
  std::filesystem::remove_all(dir);

  std::printf("rows %d, text read %zu bytes\n", rows, bytes);
  std::printf("TADOQuery open + read all fields: %.3f s\n", ours);
  if (theirs <= 0) {
    std::printf("mdb-export not available\n");
    return 0;
  }
  std::printf("mdb-export:                       %.3f s\n", theirs);
  std::printf("ratio %.2f (target <= 2.00)\n", ours / theirs);
  return 0;
}
