// The batch command's run: the window's own handlers on a window that is
// never shown.
#include "app/batch/BatchRun.h"

#include <algorithm>
#include <utility>

#include "app/StopSignals.h"
#include "runtime/CodePage.h"
#include "runtime/ScopeGuard.h"
#include "ui/Dialogs.h"

int TBatchSummary::RowsPresent() const {
  int rows = 0;
  for (const TPresentCount& p : present) rows += p.rows;
  return rows;
}

int TBatchSummary::RowsWritten() const {
  int rows = 0;
  for (const TWrittenCount& w : written) rows += w.rows;
  return rows;
}

TBatchRun::TBatchRun(TBatchOptions options, TProgress progress, TLine line)
    : m_options(std::move(options)), m_progress(std::move(progress)), m_line(std::move(line)) {
  m_summary.source = m_options.source;
  m_summary.target = m_options.target;
  m_summary.dryRun = m_options.dryRun;
  m_summary.commit = m_options.commit;
  m_summary.resume = m_options.resume;
}

TBatchRun::~TBatchRun() {
  m_dryRun.reset();
  m_form.reset();
}

namespace {

// An 8-bit text of the path, or nothing when the code page cannot hold it.
std::optional<std::string> AnsiPath(const std::string& utf8) {
  std::string ansi = Utf8ToAnsi(utf8);
  if (AnsiToUtf8(ansi) != utf8) return std::nullopt;
  return ansi;
}

}  // namespace

const TBatchSummary& TBatchRun::Run() {
  // No box may wait for a click: each becomes a message of the run.
  TMessagePresenter previous = SetMessagePresenter(
      [this](const TMessageBox& box) { m_summary.errors.push_back(AnsiToUtf8(box.Text)); });
  TSaveDialogPrompt previousPrompt = SetSaveDialogPrompt([](TSaveDialog&) { return false; });
  TScopeGuard restore([&] {
    SetMessagePresenter(std::move(previous));
    SetSaveDialogPrompt(std::move(previousPrompt));
  });

  m_summary.exitCode = kExitFailed;
  if (!Open()) return m_summary;
  m_summary.opened = true;
  const std::vector<TButton*> transfers = [&] {
    std::vector<TButton*> buttons;
    if (m_options.articles) buttons.push_back(m_form->Button1);
    if (m_options.markings) buttons.push_back(m_form->Button2);
    return buttons;
  }();
  bool ok = true;
  for (TButton* button : transfers) {
    if (stopsignals::Caught()) break;
    ok = Transfer(button);
    if (!ok) break;  // what the window would show stops the command
  }
  m_summary.interrupted = stopsignals::Caught();
  // One transaction for the whole run: kept only when all of it ran.
  if (m_options.commit == TCommitMode::Atomic && BatchesWrites())
    ok = EndWrites(ok && !m_summary.interrupted) && ok;
  CollectLines();
  if (m_dryRun) m_summary.present = m_dryRun->Present();
  CollectWritten();
  // Reconciling: the target is complete only when no row is missing or different.
  const bool reconciled = !(m_options.dryRun && m_options.resume) ||
                          std::none_of(m_summary.rows.begin(), m_summary.rows.end(), [](const TDryRunRow& r) {
                            return r.status == TDryRunRow::stNew || r.status == TDryRunRow::stDiffers;
                          });
  if (ok && reconciled) m_summary.exitCode = kExitOk;
  if (m_summary.interrupted) m_summary.exitCode = stopsignals::ExitStatus(m_summary.interrupted);
  return m_summary;
}

bool TBatchRun::EndWrites(bool keep) {
  TpFIBTransaction* tr = m_form->pFIBTransaction2;
  try {
    if (tr->Active()) {
      if (keep) tr->Commit();
      else tr->Rollback();
    }
    if (keep) Committed();
    return true;
  } catch (const Exception& e) {
    m_summary.errors.push_back(AnsiToUtf8(e.Message()));
  } catch (const std::exception& e) {
    m_summary.errors.push_back(e.what());
  }
  return false;
}

bool TBatchRun::Open() {
  // The source file goes into the connection string's quoted DBQ value,
  // whose backslashes are folder separators: a name that value cannot hold
  // would open some other file or none.
  const std::optional<std::string> source = AnsiPath(m_options.source);
  if (!source || m_options.source.find_first_of(";\"\\{}") != std::string::npos) {
    m_summary.errors.push_back("the source file name " + m_options.source +
                               " cannot be handed to the Access reader (characters ; \" \\ { } or "
                               "outside the code page)");
    return false;
  }
  const std::optional<std::string> target = AnsiPath(m_options.target);
  if (!target) {
    m_summary.errors.push_back("the target name " + m_options.target + " has characters outside the code page");
    return false;
  }

  m_form = std::make_unique<TForm6>(nullptr, *source);
  // The window's box says why the source did not open.
  if (!m_summary.errors.empty()) return false;
  m_form->StrictValues = m_options.strict;
  stopsignals::TakeOverClientShutdown(*m_form->pFIBDatabase);
  m_form->StopRequested = [] { return stopsignals::Caught() != 0; };
  TConnectParams& login = m_form->pFIBDatabase->ConnectParams();
  if (!m_options.user.empty()) login.SetUserName(Utf8ToAnsi(m_options.user));
  if (!m_options.password.empty()) login.SetPassword(Utf8ToAnsi(m_options.password));

  m_form->OnTransferProgress = [this](const TForm6::TTransferProgress& p) { OnProgress(p); };

  m_form->edtBaza->SetText(*target);
  m_form->Button3->Click();
  if (!m_summary.errors.empty() || !m_form->Button1->Enabled()) {
    // The window's box carries the connection's reason.
    if (m_summary.errors.empty()) m_summary.errors.push_back("the target database did not open");
    return false;
  }
  if (m_options.dryRun || m_options.resume) {
    m_dryRun = std::make_unique<TDryRun>(m_form->pFIBDatabase, m_form->pFIBTransaction1, m_summary.rows,
                                         !m_options.dryRun ? TDryRun::dmResume
                                         : m_options.resume ? TDryRun::dmReconcile
                                                            : TDryRun::dmList);
    if (m_options.dryRun) {
      for (TpFIBDataSet* ds : {m_form->Roba, m_form->qryExtraData, m_form->qryEDSif, m_form->qryEDHiP})
        m_dryRun->Attach(ds);
    } else {
      m_form->RowAlreadyPresent = [this](TpFIBDataSet* ds) { return m_dryRun->AlreadyPresent(ds); };
    }
  }
  if (BatchesWrites()) {
    // The run commits by itself; the refresh after each post reads in the
    // read transaction, which cannot see a row not yet committed, and the
    // batch shows no row anyway.
    for (TpFIBDataSet* ds : {m_form->Roba, m_form->qryExtraData, m_form->qryEDSif, m_form->qryEDHiP}) {
      ds->SetAutoCommit(false);
      ds->SetOptions(ds->Options() & ~poRefreshAfterPost);
    }
  }
  return true;
}

bool TBatchRun::Transfer(TButton* button) {
  const size_t errorsBefore = m_summary.errors.size();
  // As a press: what escapes the handler goes to the application's box.
  button->Click();
  const bool ok = !Failed(errorsBefore);
  if (m_options.commit != TCommitMode::PerArticle || !BatchesWrites()) return ok;
  // The end of a transfer commits what it wrote, except an article an
  // error broke off: that one is undone, so no article stays half written.
  // Markings are single rows: those before an error are whole.
  const bool brokenArticle = !ok && button == m_form->Button1 && !stopsignals::Caught();
  return EndWrites(!brokenArticle) && ok;
}

void TBatchRun::Committed() {
  m_committedArticles = m_summary.articles;
  m_committedMarkings = m_summary.markings;
}

void TBatchRun::OnProgress(const TForm6::TTransferProgress& p) {
  (p.transfer == TForm6::TTransferProgress::tkArticles ? m_summary.articles : m_summary.markings) = p;
  if (p.linesAdded > 0) CollectLines();
  // Per article: each source row's rows go in together; markings in chunks.
  const bool articles = p.transfer == TForm6::TTransferProgress::tkArticles;
  if (m_options.commit == TCommitMode::PerArticle && BatchesWrites() && !p.finished && p.done > 0 &&
      (articles || p.done % kCommitChunk == 0) && m_form->pFIBTransaction2->Active()) {
    m_form->pFIBTransaction2->CommitRetaining();
    Committed();
  }
  if (m_progress) m_progress(p);
}

void TBatchRun::CollectLines() {
  const std::vector<std::string>& lines = m_form->lbErr->Items().Lines();
  for (size_t i = m_summary.lines.size(); i < lines.size(); ++i) {
    m_summary.lines.push_back(AnsiToUtf8(lines[i]));
    if (m_line) m_line(m_summary.lines.back());
  }
}

void TBatchRun::CollectWritten() {
  // A run that commits by itself has written what its last commit kept.
  const bool committed = BatchesWrites();
  const TForm6::TTransferProgress& articles = committed ? m_committedArticles : m_summary.articles;
  const TForm6::TTransferProgress& markings = committed ? m_committedMarkings : m_summary.markings;
  for (const auto& d : articles.writtenPerDefinition)
    m_summary.written.push_back(TWrittenCount{"EXTRA_DATA", d.edid, AnsiToUtf8(d.name), d.rows});
  if (markings.rowsWritten > 0)
    m_summary.written.push_back(TWrittenCount{"EXTRA_DATA_OZNAKE", -1, std::string(), markings.rowsWritten});
}
