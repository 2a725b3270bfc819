// One run of the batch command: the window's component tree, never shown,
// driven through its own handlers ("Otvori", then the transfers in the
// window's order), with every box turned into a message and the run's
// figures gathered for the summary.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Unit6.h"
#include "app/batch/BatchOptions.h"
#include "app/batch/DryRun.h"

// Rows written to one definition (or to the marking list: edid -1).
struct TWrittenCount {
  std::string table;
  int edid = -1;
  std::string definition;  // UTF-8
  int rows = 0;
};

// What a run did; texts in UTF-8.
struct TBatchSummary {
  std::string source, target;
  bool dryRun = false;
  TCommitMode commit = TCommitMode::PerArticle;
  bool resume = false;
  int interrupted = 0;        // the signal (SIGINT, SIGTERM) that stopped the run, 0 if none
  bool opened = false;        // source and target opened: the transfers could run
  int articleRowsRead = 0;    // TABELA1 rows handled
  int articlesFound = 0;      // catalogue numbers found among the articles
  int articlesNotFound = 0;   // "Ne postoji" lines
  int rowsRefused = 0;        // "Greska 2" lines
  int markingRowsRead = 0;    // HPOznake rows handled
  std::vector<TWrittenCount> written;
  std::vector<std::string> lines;   // the error list's lines added by the run
  std::vector<std::string> errors;  // what the window would have shown in boxes, and the command's own failures
  std::vector<TDryRunRow> rows;     // the rows the dry run met
  std::vector<TPresentCount> present;  // resumed: rows found in the target, not written again
  int exitCode = kExitOk;
  int RowsWritten() const;
  int RowsPresent() const;
};

// The markings a run commits at once outside --per-row and --atomic: a
// resumed run skips a committed chunk's rows, so any boundary is safe.
inline constexpr int kCommitChunk = 100;

class TBatchRun {
 public:
  using TProgress = std::function<void(const TForm6::TTransferProgress&)>;
  TBatchRun(TBatchOptions options, TProgress progress);
  ~TBatchRun();
  TBatchRun(const TBatchRun&) = delete;
  TBatchRun& operator=(const TBatchRun&) = delete;

  // Runs everything; the summary holds the outcome (exitCode included).
  // Needs the application object to exist.
  const TBatchSummary& Run();
  const TBatchSummary& Summary() const { return m_summary; }

 private:
  bool Failed(size_t errorsBefore) const { return m_summary.errors.size() > errorsBefore; }
  bool Open();
  bool Transfer(TButton* button);
  // The write transaction's end: committed, or rolled back when `keep` is
  // false; false (with the reason among the errors) when that failed.
  bool EndWrites(bool keep);
  bool BatchesWrites() const { return !m_options.dryRun && m_options.commit != TCommitMode::PerRow; }
  void HookDataSets();
  void Counted(const std::string& table, int edid, const std::string& definition);
  // The rows posted since the last commit become written, or (rolled back) are dropped.
  void Committed(bool kept);
  void OnProgress(const TForm6::TTransferProgress& progress);
  void CollectLines();

  TBatchOptions m_options;
  TProgress m_progress;
  TBatchSummary m_summary;
  std::unique_ptr<TForm6> m_form;
  std::unique_ptr<TDryRun> m_dryRun;  // goes before the form
  std::vector<TWrittenCount> m_uncommitted;  // posted, not yet committed
  int m_presentBefore = 0;  // rows skipped as present before the running transfer
};
