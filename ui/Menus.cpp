// Pop-up menus over Qt actions: each command is a QAction added to the
// widgets of the controls that show the menu; Qt lists them on a right click
// and fires their shortcuts while the window is active.
#include "ui/Menus.h"

#include <QAction>
#include <QKeySequence>
#include <algorithm>

#include "runtime/CodePage.h"

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), m_action(std::make_unique<QAction>()) {
  QObject::connect(m_action.get(), &QAction::triggered, [this] { Click(); });
}

TMenuItem::~TMenuItem() {
  Destroying();
  if (m_menu) m_menu->Remove(this);
  // Deleting the action takes it off every widget that shows it.
}

void TMenuItem::SetCaption(const std::string& caption) {
  m_caption = caption;
  m_action->setText(QString::fromUtf8(AnsiToUtf8(caption)));
}

void TMenuItem::SetShortCut(const std::string& keys) {
  m_shortCut = keys;
  m_action->setShortcut(QKeySequence(QString::fromStdString(keys), QKeySequence::PortableText));
}

void TMenuItem::SetEnabled(bool enabled) {
  m_enabled = enabled;
  m_action->setEnabled(enabled);
}

void TMenuItem::Click() {
  if (!m_enabled || !OnClick) return;
  SafeCall([this] { OnClick(this); });
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner) {}

TPopupMenu::~TPopupMenu() {
  Destroying();
  for (TMenuItem* item : m_items) item->m_menu = nullptr;
  // Copy: SetPopupMenu(nullptr) takes each control off m_controls.
  const std::vector<TControl*> controls = m_controls;
  for (TControl* control : controls) control->SetPopupMenu(nullptr);
}

void TPopupMenu::Add(TMenuItem* item) {
  if (item->m_menu) item->m_menu->Remove(item);
  item->m_menu = this;
  m_items.push_back(item);
  for (TControl* control : m_controls)
    if (QWidget* widget = control->Widget()) widget->addAction(item->Action());
}

void TPopupMenu::Remove(TMenuItem* item) {
  std::erase(m_items, item);
  item->m_menu = nullptr;
  for (TControl* control : m_controls)
    if (QWidget* widget = control->Widget()) widget->removeAction(item->Action());
}
