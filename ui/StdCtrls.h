// The standard controls the tool uses: push button, one-line edit box and
// list box. Their texts are 8-bit in the system code page.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/Strings.h"
#include "ui/Controls.h"

class QPushButton;
class QLineEdit;
class QListWidget;

class TButton : public TControl {
 public:
  explicit TButton(TComponent* AOwner);

  // Runs OnClick as a click would; errors go to the application's error box.
  void Click();
  TNotifyEvent OnClick;

 protected:
  void CaptionChanged() override;

 private:
  QPushButton* Button() const;
};

class TEdit : public TControl {
 public:
  explicit TEdit(TComponent* AOwner);

  // The edited text in the system code page; characters the code page cannot
  // hold read back as "?".
  std::string Text() const;
  void SetText(const std::string& text);

 private:
  QLineEdit* Edit() const;
};

class TListBox : public TControl {
 public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;

  // The lines shown; the box shows changes once the message loop runs.
  TStrings& Items() noexcept { return *m_items; }
  int ItemHeight() const noexcept { return m_itemHeight; }
  void SetItemHeight(int height);
  bool Sorted() const noexcept { return m_sorted; }
  void SetSorted(bool sorted);

 private:
  void ItemsChanged();
  QListWidget* List() const;

  std::unique_ptr<TStrings> m_items;
  int m_itemHeight = 13;
  bool m_sorted = false;
  bool m_rebuildPending = false;
  std::vector<std::string> m_shown;  // the lines the widget shows, in Items' order
  bool m_shownSorted = false;        // the widget shows them sorted
};
