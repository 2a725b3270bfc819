// The progress strip of a running transfer (see Unit6Progress.h).
#include "app/Unit6Progress.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "ui/Forms.h"

TTransferProgressView::TTransferProgressView(TForm6* form) : m_form(form) {}

TTransferProgressView::~TTransferProgressView() {
  if (m_running && Application) Application->EndBusy();
  delete m_strip.data();
}

std::string TTransferProgressView::Describe(const TForm6::TTransferProgress& progress) {
  // Short enough for the strip beside the buttons: which transfer runs is
  // told by what it counts.
  const bool articles = progress.transfer == TForm6::TTransferProgress::tkArticles;
  std::string text = std::to_string(progress.done);
  if (progress.total >= 0) text += " od " + std::to_string(progress.total);
  text += articles ? " artikala" : " oznaka";
  text += ", upisano redova: " + std::to_string(progress.rowsWritten);
  text += ", novih linija greske: " + std::to_string(progress.linesAdded);
  return text;
}

void TTransferProgressView::Report(const TForm6::TTransferProgress& progress) noexcept {
  if (!Application) return;
  try {
    if (progress.finished) {
      if (!m_running) return;
      m_running = false;
      m_text = Describe(progress);
      if (m_strip) m_strip->hide();
      // Repaints without the strip and drops the input of the run's end.
      Application->EndBusy();
      return;
    }
    if (!m_running) {
      m_running = true;
      Application->BeginBusy();
      Show(progress);
    } else if (m_sinceRepaint.elapsed() < kRepaintMs) {
      return;
    } else {
      Update(progress);
    }
    m_sinceRepaint.start();
    Application->ProcessBusyMessages();
  } catch (...) {
    // A failed repaint must not stop the transfer; the next report tries again.
  }
}

bool TTransferProgressView::Showing() const { return m_strip && !m_strip->isHidden(); }

void TTransferProgressView::Show(const TForm6::TTransferProgress& progress) {
  if (!m_strip) {
    QWidget* window = m_form->Widget();
    if (!window) return;
    m_strip = new QFrame(window);
    m_strip->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_strip->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(m_strip);
    layout->setContentsMargins(4, 1, 4, 1);
    m_bar = new QProgressBar(m_strip);
    m_bar->setTextVisible(false);
    m_bar->setFixedWidth(100);
    m_label = new QLabel(m_strip);
    layout->addWidget(m_bar);
    layout->addWidget(m_label, 1);
  }
  Update(progress);
  m_strip->show();
  m_strip->raise();
}

void TTransferProgressView::Place() {
  // Right of the last transfer button, to the panel's right edge.
  QWidget* panel = m_form->Panel1->Widget();
  QWidget* button = m_form->Button2->Widget();
  QWidget* window = m_form->Widget();
  if (!panel || !button || !window) return;
  const QPoint topLeft = button->mapTo(window, QPoint(button->width() + 12, 0));
  const int right = panel->mapTo(window, QPoint(panel->width(), 0)).x() - 12;
  m_strip->setGeometry(topLeft.x(), topLeft.y(), std::max(right - topLeft.x(), 240), button->height());
}

void TTransferProgressView::Update(const TForm6::TTransferProgress& progress) {
  m_text = Describe(progress);
  if (!m_strip) return;
  Place();  // the window may have been resized meanwhile
  m_label->setText(QString::fromUtf8(m_text));
  if (progress.total > 0) {
    m_bar->setRange(0, progress.total);
    m_bar->setValue(std::min(progress.done, progress.total));
  } else {
    m_bar->setRange(0, 0);  // unknown: the bar only shows that work goes on
  }
}
