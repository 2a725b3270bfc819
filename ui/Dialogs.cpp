// Message boxes and the save dialog: the replaceable hooks and the Qt
// dialogs behind them.
#include "ui/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

#include "runtime/CodePage.h"
#include "ui/Forms.h"

namespace {

// A replaceable hook with a Qt default: Slot() is the one in force; Replace
// installs another (an empty one brings back the default) and returns the
// previous one.
template <typename Hook, auto Default>
struct ReplaceableHook {
  static Hook& Slot() {
    static Hook hook = Default;
    return hook;
  }
  static Hook Replace(Hook hook) {
    Hook previous = std::move(Slot());
    Slot() = hook ? std::move(hook) : Hook(Default);
    return previous;
  }
};

void QtPresenter(const TMessageBox& box) {
  const QString title = QString::fromUtf8(AnsiToUtf8(box.Title));
  const QString text = QString::fromUtf8(AnsiToUtf8(box.Text));
  if (!QApplication::instance()) {
    // No window system (a console run): the text must not be lost.
    std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    return;
  }
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (box.Icon) {
    case TMsgIcon::None: icon = QMessageBox::NoIcon; break;
    case TMsgIcon::Information: icon = QMessageBox::Information; break;
    case TMsgIcon::Warning: icon = QMessageBox::Warning; break;
    case TMsgIcon::Question: icon = QMessageBox::Question; break;
    case TMsgIcon::Stop: icon = QMessageBox::Critical; break;
  }
  QMessageBox dialog(icon, title, text, QMessageBox::NoButton, QApplication::activeWindow());
  // Messages carry SQL and server texts: a "<" in them must show as such, never
  // switch the box to rich text.
  dialog.setTextFormat(Qt::PlainText);
  QPushButton* ok = dialog.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  dialog.setDefaultButton(ok);
  dialog.setEscapeButton(ok);
  dialog.exec();
}

using PresenterHook = ReplaceableHook<TMessagePresenter, QtPresenter>;

}  // namespace

TMessagePresenter SetMessagePresenter(TMessagePresenter presenter) {
  return PresenterHook::Replace(std::move(presenter));
}

void ShowMessageBox(const TMessageBox& Box) { PresenterHook::Slot()(Box); }

void MessageDlg(const std::string& Msg, TMsgDlgType DlgType) {
  TMessageBox box;
  box.Text = Msg;
  switch (DlgType) {
    case TMsgDlgType::mtWarning: box.Title = "Warning"; box.Icon = TMsgIcon::Warning; break;
    case TMsgDlgType::mtError: box.Title = "Error"; box.Icon = TMsgIcon::Stop; break;
    case TMsgDlgType::mtInformation: box.Title = "Information"; box.Icon = TMsgIcon::Information; break;
    case TMsgDlgType::mtConfirmation: box.Title = "Confirm"; box.Icon = TMsgIcon::Question; break;
    case TMsgDlgType::mtCustom:
      box.Title = Application ? Application->Title() : std::string();
      break;
  }
  ShowMessageBox(box);
}

namespace {

// "Tekst (*.txt)|*.txt|Sve|*" -> "Tekst (*.txt) (*.txt);;Sve (*)": Qt takes
// the patterns from the parentheses of each entry.
QString QtFilter(const std::string& filter) {
  const QStringList parts = QString::fromUtf8(AnsiToUtf8(filter)).split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    entries << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                   QLatin1Char(')');
  return entries.join(QStringLiteral(";;"));
}

bool QtSavePrompt(TSaveDialog& dialog) {
  if (!QApplication::instance()) return false;
  const QString name = QFileDialog::getSaveFileName(
      QApplication::activeWindow(), QString::fromUtf8(AnsiToUtf8(dialog.Title())),
      QString::fromUtf8(dialog.FileName()), QtFilter(dialog.Filter()));
  if (name.isEmpty()) return false;
  dialog.SetFileName(name.toStdString());
  return true;
}

using SavePromptHook = ReplaceableHook<TSaveDialogPrompt, QtSavePrompt>;

}  // namespace

TSaveDialogPrompt SetSaveDialogPrompt(TSaveDialogPrompt prompt) {
  return SavePromptHook::Replace(std::move(prompt));
}

TSaveDialog::TSaveDialog(TComponent* AOwner) : TComponent(AOwner) {}

bool TSaveDialog::Execute() {
  const std::string proposed = m_fileName;
  if (!SavePromptHook::Slot()(*this)) {
    m_fileName = proposed;
    return false;
  }
  if (!m_defaultExt.empty() && QFileInfo(QString::fromUtf8(m_fileName)).suffix().isEmpty())
    m_fileName += "." + m_defaultExt;
  return true;
}
