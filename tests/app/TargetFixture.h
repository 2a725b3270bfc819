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
