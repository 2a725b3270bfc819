// Shared by the window's target-side tests: a folder holding the demo
// VT2003.mdb for the window to start in, scratch target databases with the
// tool's tables (tools/targetdb/target_tables.sql), and the window itself.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FibTestSupport.h"
#include "jet4/Jet4Writer.h"
#include "app/Unit6.h"
#include "tests/ui/UiTestSupport.h"

namespace apptest {

// The isql script that creates a target database at `path` (a file or a
// remote name; dialect 3) with the tool's tables as SYSDBA with `password`,
// then runs `sql`.
std::string TargetScript(const std::string& path, const std::string& sql, const std::string& password = "m",
                         const std::string& charset = "WIN1250");

// Creates a target database file in `dir` on the embedded engine and runs
// `sql` in it (statements ending in ";"). Returns its path.
std::string CreateTarget(const fibtest::TScratchDir& dir, const std::string& sql,
                         const std::string& name = "target.fdb");

// Runs SQL in an existing database (embedded path or remote name); returns
// isql's output.
std::string RunSql(const std::string& database, const std::string& sql, const std::string& password = "m");

// The output lines of one select run by isql without headings, blanks at
// both ends cut; a select that joins its values with "|" gives one line a row.
std::vector<std::string> QueryRows(const std::string& database, const std::string& select);

// An article row of ROBA: id, catalogue number, normalised number, name,
// kind and group; the other columns take their defaults.
std::string Article(int id, const std::string& katbr, const std::string& katbrpro, const std::string& name,
                    int vrsta = 1, const std::string& group = "GP");
// An extra-data definition (EXTRA_DATA_SIF) and an extra-data row.
std::string Definition(int vrdok, int edid, const std::string& name, const std::string& field, int order);
std::string ExtraData(int vrdok, int edid, int brdok, const std::string& value, int order);

// Values that reach the target changed, or not: the article's catalogue
// number (one article each, one definition "Opis" of EDID 1 reading the
// memo column OPIS), the value, and the error-list line a transfer gives
// ("" for a value stored unchanged). The same table drives the window and
// the batch command.
struct TLossyValue {
  const char* what;
  std::string katbr;
  std::string value;  // UTF-8
  std::string line;   // 8-bit, as the error list holds it
};
const std::vector<TLossyValue>& LossyValues();
// Markings (id, name) and their lines, the same way.
const std::vector<TLossyValue>& LossyMarkings();
// The Access tables and the target SQL for the tables above.
std::vector<Jet4Table> LossySource();
std::string LossyTarget();

// Starts each test in a folder with the demo VT2003.mdb (written once per
// test program) and records the message boxes.
class TargetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Starts the window in a folder of its own whose VT2003.mdb holds `tables`
  // instead of the demo's.
  void UseSource(const std::vector<Jet4Table>& tables);
  // Creates the window (the source opens from VT2003.mdb).
  void Create();
  // Types `path` into the path box and presses "Otvori".
  void Open(const std::string& path);

  // The shown texts of a grid column, "|"-joined.
  static std::string Column(TDBGrid* grid, const std::string& fieldName);

  fibtest::TScratchDir dir;
  BoxRecorder boxes;
  std::unique_ptr<TForm6> form;

 private:
  std::filesystem::path m_saved;
};

}  // namespace apptest
