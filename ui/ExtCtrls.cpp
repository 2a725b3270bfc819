// The panel widget: a raised frame with its caption centred behind the
// controls placed on it.
#include "ui/ExtCtrls.h"

#include <QFrame>
#include <QPainter>
#include <QResizeEvent>

#include "runtime/CodePage.h"

namespace {

class PanelWidget : public QFrame {
 public:
  explicit PanelWidget(TPanel* panel) : m_panel(panel) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawText(contentsRect(), Qt::AlignCenter, QString::fromUtf8(AnsiToUtf8(m_panel->Caption())));
  }
  void resizeEvent(QResizeEvent* event) override {
    QFrame::resizeEvent(event);
    SafeCall([this] { m_panel->AlignControls(); });
  }

 private:
  TPanel* m_panel;  // owns this widget
};

}  // namespace

TPanel::TPanel(TComponent* AOwner) : TWinControl(AOwner) { SetWidget(new PanelWidget(this)); }

void TPanel::CaptionChanged() {
  if (QWidget* w = Widget()) w->update();
}
