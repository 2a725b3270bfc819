// Controls and their alignment inside a parent's client area.
#include "ui/Controls.h"

#include <QFontDatabase>
#include <algorithm>

#include "runtime/CodePage.h"
#include "ui/Menus.h"

int TFont::Size() const {
  // Rounded like the window system: 11 pixels at 96 dpi read back as 8 points.
  const int h = m_height < 0 ? -m_height : m_height;
  return (h * 72 + kPixelsPerInch / 2) / kPixelsPerInch;
}

void TFont::SetSize(int points) { m_height = -((points * kPixelsPerInch + 36) / 72); }

QFont TFont::ToQFont() const {
  QFont font;
  const QString family = QString::fromUtf8(AnsiToUtf8(m_name));
  if (QFontDatabase::hasFamily(family)) {
    font.setFamily(family);
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
  }
  font.setPixelSize(m_height < 0 ? -m_height : (m_height > 0 ? m_height : 11));
  font.setBold((m_style & static_cast<int>(TFontStyle::fsBold)) != 0);
  font.setItalic((m_style & static_cast<int>(TFontStyle::fsItalic)) != 0);
  font.setUnderline((m_style & static_cast<int>(TFontStyle::fsUnderline)) != 0);
  font.setStrikeOut((m_style & static_cast<int>(TFontStyle::fsStrikeOut)) != 0);
  return font;
}

// ---------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  if (m_popupMenu) SetPopupMenu(nullptr);
  if (m_parent) m_parent->RemoveControl(this);
  delete m_widget.data();  // null when a Qt parent already took it down
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
  if (menu == m_popupMenu) return;
  if (m_popupMenu) {
    std::erase(m_popupMenu->m_controls, this);
    if (m_widget)
      for (TMenuItem* item : m_popupMenu->m_items) m_widget->removeAction(item->Action());
  }
  m_popupMenu = menu;
  if (menu) {
    menu->m_controls.push_back(this);
    if (m_widget)
      for (TMenuItem* item : menu->m_items) m_widget->addAction(item->Action());
  }
  if (m_widget) m_widget->setContextMenuPolicy(menu ? Qt::ActionsContextMenu : Qt::DefaultContextMenu);
}

void TControl::SetWidget(QWidget* widget) {
  m_widget = widget;
  UpdateWidgetGeometry();
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == m_parent) return;
  if (m_parent) m_parent->RemoveControl(this);
  m_parent = nullptr;
  if (m_widget) m_widget->setParent(parent ? parent->Widget() : nullptr);
  if (parent) {
    parent->InsertControl(this);
    if (m_widget) {
      if (!m_parentFont) m_widget->setFont(m_font.ToQFont());
      m_widget->setVisible(m_visible);
    }
    UpdateWidgetGeometry();
    BoundsChanged();
    parent->AlignControls();
  }
}

void TControl::SetBounds(int left, int top, int width, int height) {
  ApplyBounds(left, top, width, height);
  if (m_parent && m_align != TAlign::alNone) m_parent->AlignControls();
}

void TControl::ApplyBounds(int left, int top, int width, int height) {
  m_left = left;
  m_top = top;
  m_width = std::max(width, 0);
  m_height = std::max(height, 0);
  UpdateWidgetGeometry();
  BoundsChanged();
}

void TControl::UpdateWidgetGeometry() {
  if (m_widget && m_widget->parentWidget()) m_widget->setGeometry(m_left, m_top, m_width, m_height);
}

void TControl::SetAlign(TAlign align) {
  if (align == m_align) return;
  m_align = align;
  if (m_parent) m_parent->AlignControls();
}

void TControl::SetCaption(const std::string& caption) {
  m_caption = caption;
  CaptionChanged();
}

void TControl::SetEnabled(bool enabled) {
  m_enabled = enabled;
  if (m_widget) m_widget->setEnabled(enabled);
}

void TControl::SetVisible(bool visible) {
  m_visible = visible;
  if (m_widget && m_parent) m_widget->setVisible(visible);
  if (m_parent) m_parent->AlignControls();
}

void TControl::SetTabOrder(int order) { m_tabOrder = order; }

QWidget* TControl::FocusWidget() const {
  if (!m_widget) return nullptr;
  return m_widget->focusProxy() ? m_widget->focusProxy() : m_widget.data();
}

bool TControl::TabStop() const {
  const QWidget* w = FocusWidget();
  return w && (w->focusPolicy() & Qt::TabFocus) != 0;
}

void TControl::SetFont(const TFont& font) {
  m_font = font;
  m_parentFont = false;
  if (m_widget) m_widget->setFont(m_font.ToQFont());
}

void TControl::SetParentFont(bool value) {
  m_parentFont = value;
  if (!m_widget) return;
  if (value)
    m_widget->setFont(QFont());  // an empty font resolves to the parent's
  else
    m_widget->setFont(m_font.ToQFont());
}

// ---------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  // Children outlive us only when created earlier than us; they must not
  // reach back into a parent that is gone.
  for (TControl* c : m_controls) c->m_parent = nullptr;
  m_controls.clear();
}

void TWinControl::InsertControl(TControl* control) {
  m_controls.push_back(control);
  control->m_parent = this;
}

void TWinControl::RemoveControl(TControl* control) {
  m_controls.erase(std::remove(m_controls.begin(), m_controls.end(), control), m_controls.end());
  control->m_parent = nullptr;
  if (!IsDestroying()) AlignControls();
}

void TWinControl::AlignControls() {
  if (m_aligning) return;
  m_aligning = true;
  int left = 0, top = 0, right = ClientWidth(), bottom = ClientHeight();
  auto band = [&](TAlign which) {
    for (TControl* c : m_controls) {
      if (c->m_align != which || !c->m_visible) continue;
      const int w = c->m_width, h = c->m_height;
      const int bandWidth = std::max(right - left, 0), bandHeight = std::max(bottom - top, 0);
      switch (which) {
        case TAlign::alTop:
          c->ApplyBounds(left, top, bandWidth, h);
          top += h;
          break;
        case TAlign::alBottom:
          c->ApplyBounds(left, bottom - h, bandWidth, h);
          bottom -= h;
          break;
        case TAlign::alLeft:
          c->ApplyBounds(left, top, w, bandHeight);
          left += w;
          break;
        case TAlign::alRight:
          c->ApplyBounds(right - w, top, w, bandHeight);
          right -= w;
          break;
        case TAlign::alClient:
          c->ApplyBounds(left, top, bandWidth, bandHeight);
          break;
        case TAlign::alNone:
          break;
      }
    }
  };
  band(TAlign::alTop);
  band(TAlign::alBottom);
  band(TAlign::alLeft);
  band(TAlign::alRight);
  band(TAlign::alClient);
  m_aligning = false;
}

std::vector<TControl*> TWinControl::TabSequence() const {
  std::vector<TControl*> children = m_controls;
  // Controls without a tab order go after the numbered ones.
  std::stable_sort(children.begin(), children.end(), [](TControl* a, TControl* b) {
    const unsigned ka = static_cast<unsigned>(a->m_tabOrder), kb = static_cast<unsigned>(b->m_tabOrder);
    return ka < kb;
  });
  std::vector<TControl*> sequence;
  for (TControl* c : children) {
    if (!c->m_visible || !c->m_enabled) continue;
    const auto* container = dynamic_cast<const TWinControl*>(c);
    if (container && container->ControlCount() > 0) {
      for (TControl* inner : container->TabSequence()) sequence.push_back(inner);
    } else if (c->TabStop()) {
      sequence.push_back(c);
    }
  }
  return sequence;
}

TControl* TWinControl::FindNextControl(const TControl* current, bool forward) const {
  const std::vector<TControl*> sequence = TabSequence();
  if (sequence.empty()) return nullptr;
  const auto it = std::find(sequence.begin(), sequence.end(), current);
  if (it == sequence.end()) return forward ? sequence.front() : sequence.back();
  const size_t index = static_cast<size_t>(it - sequence.begin());
  const size_t n = sequence.size();
  return sequence[forward ? (index + 1) % n : (index + n - 1) % n];
}
