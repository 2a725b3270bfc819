// Menus: a control's pop-up (context) menu and its commands. A command may
// carry a shortcut, which works wherever the control's window is active,
// whether or not the menu is open.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Controls.h"

class QAction;
class TPopupMenu;

// One command. The menu lists it; its owner (usually the form) destroys it.
class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  // Caption in the system code page.
  const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& caption);
  // The key combination in the portable text form ("Ctrl+S"); empty for none.
  const std::string& ShortCut() const noexcept { return m_shortCut; }
  void SetShortCut(const std::string& keys);
  bool Enabled() const noexcept { return m_enabled; }
  void SetEnabled(bool enabled);

  // Runs OnClick as choosing the command would; errors go to the
  // application's error box.
  void Click();
  TNotifyEvent OnClick;

  QAction* Action() const noexcept { return m_action.get(); }

 private:
  friend class TPopupMenu;
  std::unique_ptr<QAction> m_action;
  std::string m_caption;
  std::string m_shortCut;
  bool m_enabled = true;
  TPopupMenu* m_menu = nullptr;  // not owned; cleared when either goes
};

// The commands a control offers on a right click (TControl::SetPopupMenu).
class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;

  // Appends a command; the menu does not own it.
  void Add(TMenuItem* item);
  int Count() const noexcept { return static_cast<int>(m_items.size()); }
  TMenuItem* Items(int index) const { return m_items.at(static_cast<size_t>(index)); }

 private:
  friend class TMenuItem;
  friend class TControl;
  void Remove(TMenuItem* item);
  // Controls showing this menu; told when an item is added.
  std::vector<TControl*> m_controls;  // not owned; each removes itself
  std::vector<TMenuItem*> m_items;    // not owned; each removes itself
};
