// Summary text and report files of the batch command.
#include "app/batch/BatchReport.h"

#include <cstdio>
#include <sstream>

#include "app/batch/ReportFile.h"

namespace {

const char* StatusName(TDryRunRow::TStatus status) {
  switch (status) {
    case TDryRunRow::stNew: return "new";
    case TDryRunRow::stPresent: return "present";
    case TDryRunRow::stRefused: return "refused";
  }
  return "";
}

std::string WrittenName(const TWrittenCount& w) {
  return w.edid < 0 ? w.table : w.table + "/" + std::to_string(w.edid);
}

std::string Csv(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string out = "\"";
  for (char c : field) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// The figures of the summary in order: report name, JSON key, value.
struct TFigure {
  const char* csv;
  const char* json;
  int value;
};

std::vector<TFigure> Figures(const TBatchSummary& s) {
  // The transfers' own counts: article_rows_read = articles_found +
  // articles_not_found + articles_skipped, marking_rows_read = the
  // EXTRA_DATA_OZNAKE rows written + marking_rows_refused.
  return {{"exit_code", "exitCode", s.exitCode},
          {"article_rows_read", "articleRowsRead", s.articles.read},
          {"articles_found", "articlesFound", s.articles.found},
          {"articles_not_found", "articlesNotFound", s.articles.notFound},
          {"articles_skipped", "articlesSkipped", s.articles.skipped},
          {"rows_written", "rowsWritten", s.RowsWritten()},
          {"rows_refused", "rowsRefused", s.articles.refused},
          {"marking_rows_read", "markingRowsRead", s.markings.read},
          {"marking_rows_refused", "markingRowsRefused", s.markings.refused},
          {"values_changed", "valuesChanged", s.ValuesChanged()}};
  // Further counts of the transfers (rows already present) go here.
}

std::string ValuesText(const TDryRunRow& row, const char* separator) {
  std::string text;
  for (size_t i = 0; i < row.values.size(); ++i) {
    const auto& [column, value] = row.values[i];
    const bool quoted = value && !(i < row.numeric.size() && row.numeric[i]);
    text += (i ? separator : "") + column + "=" + (!value ? std::string("NULL") : quoted ? "'" + *value + "'" : *value);
  }
  return text;
}

}  // namespace

std::string RowText(const TDryRunRow& row) {
  std::string text = row.table + ": " + ValuesText(row, ", ");
  if (row.kind != "insert") text = row.kind + " " + text;
  return text;
}

std::string SummaryText(const TBatchSummary& s) {
  std::ostringstream out;
  const char* written = s.dryRun ? "would be written" : "written";
  if (s.dryRun) {
    out << "Dry run: nothing was written.\n";
    for (const TDryRunRow& row : s.rows) {
      switch (row.status) {
        case TDryRunRow::stNew: out << "would write " << RowText(row) << "\n"; break;
        case TDryRunRow::stPresent:
          out << "would write " << RowText(row) << "\n  warning: already present (" << row.key
              << "): a real run stores it again\n";
          break;
        case TDryRunRow::stRefused:
          out << "refused " << RowText(row) << "\n  warning: already present (" << row.key
              << "): the database refuses it\n";
          break;
      }
    }
  }
  out << "Source rows read: " << s.articles.read << " articles, " << s.markings.read << " markings\n";
  out << "Articles found: " << s.articles.found << ", not found: " << s.articles.notFound
      << ", skipped without a catalogue number: " << s.articles.skipped << "\n";
  out << "Rows " << written << ": " << s.RowsWritten() << "\n";
  for (const TWrittenCount& w : s.written)
    out << "  " << WrittenName(w) << (w.definition.empty() ? "" : " " + w.definition) << ": " << w.rows << "\n";
  out << "Rows refused: " << s.articles.refused << "\n";
  out << "Markings refused: " << s.markings.refused << "\n";
  out << "Values changed: " << s.ValuesChanged() << "\n";
  out << "Messages: " << s.lines.size() << "\n";
  for (const std::string& line : s.lines) out << "  " << line << "\n";
  return out.str();
}

std::string CsvReport(const TBatchSummary& s) {
  std::ostringstream out;
  auto record = [&](const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
    out << Csv(a) << ',' << Csv(b) << ',' << Csv(c) << ',' << Csv(d) << "\r\n";
  };
  record("section", "name", "value", "detail");
  record("summary", "source", s.source, "");
  record("summary", "target", s.target, "");
  record("summary", "mode", s.dryRun ? "dry-run" : "run", "");
  for (const TFigure& f : Figures(s)) record("summary", f.csv, std::to_string(f.value), "");
  for (const TWrittenCount& w : s.written) record("written", WrittenName(w), std::to_string(w.rows), w.definition);
  for (size_t i = 0; i < s.lines.size(); ++i) record("line", std::to_string(i + 1), s.lines[i], "");
  for (size_t i = 0; i < s.errors.size(); ++i) record("error", std::to_string(i + 1), s.errors[i], "");
  for (const TDryRunRow& row : s.rows) {
    std::string status = StatusName(row.status);
    if (!row.key.empty()) status += " " + row.key;
    record("row", row.kind == "insert" ? row.table : row.kind + " " + row.table, ValuesText(row, ";"), status);
  }
  return out.str();
}

std::string JsonReport(const TBatchSummary& s) {
  std::ostringstream out;
  out << "{\n  \"source\": " << Json(s.source) << ",\n  \"target\": " << Json(s.target)
      << ",\n  \"dryRun\": " << (s.dryRun ? "true" : "false");
  for (const TFigure& f : Figures(s)) out << ",\n  \"" << f.json << "\": " << f.value;
  out << ",\n  \"written\": [";
  for (size_t i = 0; i < s.written.size(); ++i) {
    const TWrittenCount& w = s.written[i];
    out << (i ? "," : "") << "\n    {\"table\": " << Json(w.table);
    if (w.edid >= 0) out << ", \"edid\": " << w.edid << ", \"definition\": " << Json(w.definition);
    out << ", \"rows\": " << w.rows << "}";
  }
  auto texts = [&](const char* key, const std::vector<std::string>& list) {
    out << "],\n  \"" << key << "\": [";
    for (size_t i = 0; i < list.size(); ++i) out << (i ? "," : "") << "\n    " << Json(list[i]);
  };
  texts("lines", s.lines);
  texts("errors", s.errors);
  out << "],\n  \"rows\": [";
  for (size_t i = 0; i < s.rows.size(); ++i) {
    const TDryRunRow& row = s.rows[i];
    out << (i ? "," : "") << "\n    {\"table\": " << Json(row.table) << ", \"kind\": " << Json(row.kind)
        << ", \"status\": " << Json(StatusName(row.status));
    if (!row.key.empty()) out << ", \"key\": " << Json(row.key);
    out << ", \"values\": {";
    for (size_t v = 0; v < row.values.size(); ++v)
      out << (v ? ", " : "") << Json(row.values[v].first) << ": "
          << (row.values[v].second ? Json(*row.values[v].second) : std::string("null"));
    out << "}}";
  }
  out << "]\n}\n";
  return out.str();
}

std::string WriteReport(const TBatchSummary& summary, const std::string& file, TReportFormat format) {
  return WriteFileWhole(file, format == TReportFormat::Json ? JsonReport(summary) : CsvReport(summary));
}
