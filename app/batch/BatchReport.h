// The batch command's summary as text for the terminal and as a report
// file (CSV or JSON).
#pragma once

#include <string>

#include "app/batch/BatchOptions.h"
#include "app/batch/BatchRun.h"

// The summary printed at the end of a run.
std::string SummaryText(const TBatchSummary& summary);

// The report, all texts UTF-8.
// CSV: a header "section,name,value,detail", then one record a line:
//   summary,<figure>,<value>,        source, target, mode (run|dry-run),
//                                    exit_code, article_rows_read,
//                                    articles_found, articles_not_found,
//                                    articles_skipped, rows_written,
//                                    rows_refused, marking_rows_read,
//                                    marking_rows_refused
//   written,<table>,<rows>,<definition>   for EXTRA_DATA the name is
//                                    "EXTRA_DATA/<EDID>"
//   line,<number>,<text>,            the error list's lines, in order
//   error,<number>,<text>,           what stopped the run
//   row,<table>,<COL=value;...>,<status>  dry run: new, present (warned) or
//                                    refused (the key named after it)
// JSON: one object with the same figures as keys (articleRowsRead ...) and
// the arrays "written", "lines", "errors" and "rows".
std::string CsvReport(const TBatchSummary& summary);
std::string JsonReport(const TBatchSummary& summary);

// Writes the report whole (ReportFile.h); an empty text when it went fine,
// else why not.
std::string WriteReport(const TBatchSummary& summary, const std::string& file, TReportFormat format);

// "EXTRA_DATA: VRDOK=-2, EDID=1, VREDNOST='x'" for a dry run's row.
std::string RowText(const TDryRunRow& row);
