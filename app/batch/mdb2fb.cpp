// The batch command: the window's transfers from a script, without a display.
#include <unistd.h>

#include <QtGlobal>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/batch/BatchOptions.h"
#include "app/batch/BatchReport.h"
#include "app/batch/BatchRun.h"
#include "app/batch/ReportFile.h"
#include "ui/Forms.h"

namespace {

// Progress on stderr: a bar redrawn in place on a terminal, otherwise a line
// at the start, at every tenth of the rows and at the end.
class TProgressPrinter {
 public:
  TProgressPrinter(bool quiet, bool terminal) : m_quiet(quiet), m_terminal(terminal) {}

  void Show(const TForm6::TTransferProgress& p) {
    if (m_quiet) return;
    const bool articles = p.transfer == TForm6::TTransferProgress::tkArticles;
    const int percent = p.total > 0 ? static_cast<int>(100LL * p.done / p.total) : (p.finished ? 100 : 0);
    std::string counts = std::string(articles ? "articles " : "markings ") + std::to_string(p.done) + "/" +
                         std::to_string(p.total) + ", rows written " + std::to_string(p.rowsWritten) +
                         ", messages " + std::to_string(p.linesAdded);
    if (m_terminal) {
      constexpr int kWidth = 30;
      const int filled = kWidth * percent / 100;
      std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] " << percent << "% "
                << counts << "\x1b[K";
      if (p.finished) std::cerr << "\n";
      std::cerr.flush();
      return;
    }
    const int step = percent / 10;
    const bool started = p.done == 0 && !p.finished;
    if (started) m_lastStep = 0;
    if (started || p.finished || step > m_lastStep) {
      m_lastStep = step;
      std::cerr << (!p.finished ? "" : p.done < p.total ? "stopped " : "done ") << counts << " (" << percent << "%)\n";
    }
  }

 private:
  bool m_quiet;
  bool m_terminal;
  int m_lastStep = 0;
};

}  // namespace

int main(int argc, char** argv) {
  TBatchOptions options;
  try {
    options = ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
    // Before anything runs: a report path that cannot take the report, or
    // would replace a file the run works on, stops the command untouched.
    if (!options.reportFile.empty() && !options.help && !options.version)
      CheckReportFile(options.reportFile, FilesTheRunReads(options));
  } catch (const EBatchUsage& e) {
    std::cerr << "mdb2fb: " << e.what() << "\nTry 'mdb2fb --help' for more information.\n";
    return kExitUsage;
  }
  if (options.help) {
    std::cout << BatchUsage();
    return kExitOk;
  }
  if (options.version) {
    std::cout << "mdb2fb " << MDB2FB_VERSION << "\n";
    return kExitOk;
  }

  // The window is built but never shown: Qt's offscreen platform needs no
  // display, whatever the environment asks for.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's own notes (a missing runtime directory, fonts) are not the run's
  // business; its critical messages still reach stderr.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << message.toStdString() << "\n";
  });
  TApplication application;
  TProgressPrinter printer(options.quiet, isatty(STDERR_FILENO) != 0);
  // Without the summary the error list's lines still have to be seen: a
  // quiet run with refused rows must not look like a clean one.
  TBatchRun::TLine line;
  if (options.quiet) line = [](const std::string& text) { std::cerr << text << "\n"; };
  TBatchRun run(options, [&](const TForm6::TTransferProgress& p) { printer.Show(p); }, line);
  const TBatchSummary& summary = run.Run();

  for (const std::string& error : summary.errors) std::cerr << "mdb2fb: " << error << "\n";
  if (!options.quiet && summary.opened) std::cout << SummaryText(summary);
  std::cout.flush();
  int exitCode = summary.exitCode;
  if (!options.reportFile.empty()) {
    const std::string failure = WriteReport(summary, options.reportFile, options.reportFormat);
    if (!failure.empty()) {
      std::cerr << "mdb2fb: " << failure << "\n";
      exitCode = kExitFailed;
    }
  }
  return exitCode;
}
