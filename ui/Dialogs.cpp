// Message boxes: the presenter hook and the Qt box behind it.
#include "ui/Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

#include "runtime/CodePage.h"
#include "ui/Forms.h"

namespace {

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

TMessagePresenter& Presenter() {
  static TMessagePresenter presenter = QtPresenter;
  return presenter;
}

}  // namespace

TMessagePresenter SetMessagePresenter(TMessagePresenter presenter) {
  TMessagePresenter previous = std::move(Presenter());
  Presenter() = presenter ? std::move(presenter) : TMessagePresenter(QtPresenter);
  return previous;
}

void ShowMessageBox(const TMessageBox& Box) { Presenter()(Box); }

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
