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
  bool opened = false;        // source and target opened: the transfers could run
  // Each transfer's figures as its last report gave them (a transfer that
  // did not run: all 0).
  TForm6::TTransferProgress articles{.transfer = TForm6::TTransferProgress::tkArticles};
  TForm6::TTransferProgress markings{.transfer = TForm6::TTransferProgress::tkMarkings};
  std::vector<TWrittenCount> written;
  std::vector<std::string> lines;   // the error list's lines added by the run
  std::vector<std::string> errors;  // what the window would have shown in boxes, and the command's own failures
  std::vector<TDryRunRow> rows;     // the rows the dry run met
  int exitCode = kExitOk;
  int RowsWritten() const;
  // "Izmenjena vrednost" lines of both transfers.
  int ValuesChanged() const { return articles.valuesChanged + markings.valuesChanged; }
};

class TBatchRun {
 public:
  using TProgress = std::function<void(const TForm6::TTransferProgress&)>;
  using TLine = std::function<void(const std::string&)>;
  // `progress` follows each transfer's reports; `line` gets each line the
  // transfers add to the error list (UTF-8) as it comes.
  TBatchRun(TBatchOptions options, TProgress progress, TLine line = {});
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
  void OnProgress(const TForm6::TTransferProgress& progress);
  // Takes the error list's lines added since the last call.
  void CollectLines();
  void CollectWritten();

  TBatchOptions m_options;
  TProgress m_progress;
  TLine m_line;
  TBatchSummary m_summary;
  std::unique_ptr<TForm6> m_form;
  std::unique_ptr<TDryRun> m_dryRun;  // goes before the form
};
