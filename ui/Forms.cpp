// Top-level windows, the application object and the message loop's error box.
#include "ui/Forms.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QResizeEvent>
#include <QTimer>
#include <QWindow>
#include <QWidget>
#include <algorithm>
#include <cstdio>

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/Timer.h"
#include "ui/Dialogs.h"

TApplication* Application = nullptr;

namespace {

// The Qt application whose event dispatch is the message loop's last line of
// defence: whatever an event handler lets escape ends here, is shown, and
// the loop goes on.
class TQtApplication : public QApplication {
 public:
  TQtApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      if (Application) Application->HandleException();
      return false;
    }
  }
};

// Drops the user's input while the application is busy. A modal box shown
// meanwhile (an error during the work) still takes its own input.
class TInputGate : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!IsInput(event->type())) return false;
    if (QWidget* modal = QApplication::activeModalWidget()) {
      if (watched == modal->windowHandle()) return false;
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget && (widget == modal || modal->isAncestorOf(widget))) return false;
    }
    // A close request must be refused, not only held back: an unhandled
    // close event counts as accepted and the window would go.
    event->ignore();
    return true;
  }

 private:
  static bool IsInput(QEvent::Type type) {
    switch (type) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::NonClientAreaMouseButtonPress:
      case QEvent::NonClientAreaMouseButtonRelease:
      case QEvent::NonClientAreaMouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::InputMethod:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
      case QEvent::Close:
        return true;
      default:
        return false;
    }
  }
};

// Qt keeps references to argc/argv for the life of the application.
int g_argc = 1;
char g_programName[] = "Project1";
char* g_argv[] = {g_programName, nullptr};

}  // namespace

// The window of a form: reports size changes so the form realigns.
class TFormWidget : public QWidget {
 public:
  explicit TFormWidget(TForm* form) : m_form(form) {}

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    SafeCall([this] { m_form->Resized(); });
  }

  // Tab and Shift+Tab follow the controls' TabOrder.
  bool focusNextPrevChild(bool next) override {
    QWidget* focus = QApplication::focusWidget();
    const TControl* current = nullptr;
    for (TControl* c : m_form->TabSequence()) {
      QWidget* w = c->Widget();
      if (focus && w && (w == focus || w->isAncestorOf(focus))) current = c;
    }
    if (TControl* target = m_form->FindNextControl(current, next)) {
      if (QWidget* w = target->FocusWidget()) {
        w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
      }
    }
    return QWidget::focusNextPrevChild(next);
  }

 private:
  TForm* m_form;  // owns this widget
};

void SafeCall(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    if (Application)
      Application->HandleException();
    else
      std::fprintf(stderr, "unhandled exception in an event handler\n");
  }
}

// ---------------------------------------------------------------------------

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {
  auto* widget = new TFormWidget(this);
  widget->setAttribute(Qt::WA_DeleteOnClose, false);
  SetWidget(widget);
  SetColor(m_color);
  ApplyFont();
}

TForm::~TForm() {
  Destroying();
  // The components go before the window: grids and controls still hold
  // their widgets, which live inside ours.
  while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
}

void TForm::SetBounds(int left, int top, int width, int height) {
  ApplyBounds(left, top, width, height);
  if (QWidget* w = Widget()) {
    w->move(left, top);
    w->resize(std::max(width - kFrameWidth, 0), std::max(height - kFrameHeight, 0));
  }
  AlignControls();
}

int TForm::Width() const { return ClientWidth() + kFrameWidth; }
int TForm::Height() const { return ClientHeight() + kFrameHeight; }
int TForm::ClientWidth() const { return Widget() ? Widget()->width() : 0; }
int TForm::ClientHeight() const { return Widget() ? Widget()->height() : 0; }

void TForm::SetClientWidth(int width) { SetBounds(Left(), Top(), width + kFrameWidth, Height()); }
void TForm::SetClientHeight(int height) { SetBounds(Left(), Top(), Width(), height + kFrameHeight); }

void TForm::SetColor(TColor color) {
  m_color = color;
  if (QWidget* w = Widget()) {
    QPalette palette = w->palette();
    if (color == clBtnFace)
      palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    else if (color >= 0)
      palette.setColor(QPalette::Window, QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    w->setPalette(palette);
    w->setAutoFillBackground(true);
  }
}

void TForm::ApplyFont() {
  if (QWidget* w = Widget()) w->setFont(Font().ToQFont());
}

void TForm::CaptionChanged() {
  if (QWidget* w = Widget()) w->setWindowTitle(QString::fromUtf8(AnsiToUtf8(Caption())));
}

void TForm::Show() {
  if (QWidget* w = Widget()) {
    w->show();
    AlignControls();
  }
}

void TForm::Close() {
  if (QWidget* w = Widget()) w->close();
}

bool TForm::Showing() const { return Widget() && Widget()->isVisible(); }

void TForm::DoCreate() {
  if (!OnCreate) return;
  SafeCall([this] { OnCreate(this); });
}

void TForm::Resized() {
  QWidget* w = Widget();
  if (!w) return;
  ApplyBounds(Left(), Top(), w->width() + kFrameWidth, w->height() + kFrameHeight);
  AlignControls();
}

// ---------------------------------------------------------------------------

TApplication::TApplication() {
  if (!QApplication::instance()) m_qt = std::make_unique<TQtApplication>(g_argc, g_argv);
  // The path comes as UTF-8; the title is text of the system code page like
  // every other text, and its case rule works on that code page.
  m_title = TitleFromExeName(Utf8ToAnsi(QCoreApplication::applicationFilePath().toStdString()));
  Application = this;

  m_timerPump = std::make_unique<QTimer>();
  m_timerPump->setSingleShot(true);
  QObject::connect(m_timerPump.get(), &QTimer::timeout, [this] { PumpTimers(); });
  // A handler may enable a timer at any time; the loop always passes through
  // here before it sleeps, so the pump is armed for the earliest due timer.
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, m_timerPump.get(), [this] {
      const int64_t wait = MillisecondsToNextTimer();
      if (wait < 0) {
        m_timerPump->stop();
      } else {
        const int ms = static_cast<int>(std::min<int64_t>(wait, 24 * 60 * 60 * 1000));
        if (!m_timerPump->isActive() || m_timerPump->remainingTime() > ms) m_timerPump->start(ms);
      }
    });
}

void TApplication::PumpTimers() {
  // The loop runs inside busy work only for repaints; a timer that fell due
  // fires once the work is over (the pump is re-armed before the loop sleeps).
  if (Busy()) return;
  SafeCall([] { ProcessTimers(); });
}

void TApplication::BeginBusy() {
  if (m_busy++ > 0) return;
  if (!m_inputGate) m_inputGate = std::make_unique<TInputGate>();
  if (QCoreApplication* qt = QCoreApplication::instance()) qt->installEventFilter(m_inputGate.get());
}

void TApplication::EndBusy() noexcept {
  if (m_busy == 0) return;
  if (m_busy == 1) {
    // Input that arrived since the last repaint is still queued: it goes
    // through the gate now rather than to a handler after the work.
    try {
      QCoreApplication::processEvents();
    } catch (...) {
      // A repaint that failed has nobody to tell; the gate must still open.
    }
    if (QCoreApplication* qt = QCoreApplication::instance()) qt->removeEventFilter(m_inputGate.get());
  }
  --m_busy;
}

void TApplication::ProcessBusyMessages() { QCoreApplication::processEvents(); }

TApplication::~TApplication() {
  if (Application == this) Application = nullptr;
}

std::string TApplication::TitleFromExeName(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  if (name.empty()) return std::string();
  return std::string(1, name.front()) + AnsiLowerCase(name.substr(1));
}

int TApplication::Run() {
  if (m_mainForm) m_mainForm->Show();
  return QApplication::exec();
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(); }

void TApplication::HandleException() noexcept {
  try {
    try {
      throw;
    } catch (const EAbort&) {
      // The silent exception: unwinding was all it was for.
    } catch (const Exception& e) {
      ShowException(e.Message());
    } catch (const std::exception& e) {
      ShowException(e.what());
    } catch (...) {
      ShowException("Unknown exception");
    }
  } catch (...) {
    // The error box itself failed; there is nobody left to tell.
  }
}

std::string TApplication::ErrorBoxText(const std::string& message) {
  std::string text = message;
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

void TApplication::ShowException(const std::string& message) {
  ShowMessageBox({m_title, ErrorBoxText(message), TMsgIcon::Stop});
}
