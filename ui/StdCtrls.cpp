// Push button, edit box and list box over their Qt widgets.
#include "ui/StdCtrls.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <cstddef>

#include "runtime/CodePage.h"

namespace {

QString ToScreen(const std::string& ansi) { return QString::fromUtf8(AnsiToUtf8(ansi)); }

// Gives every list line the box's fixed item height.
class FixedHeightDelegate : public QStyledItemDelegate {
 public:
  FixedHeightDelegate(QObject* parent, const int* height) : QStyledItemDelegate(parent), m_height(height) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(*m_height);
    return size;
  }

 private:
  const int* m_height;  // the list box's ItemHeight; the list box outlives its widget's delegate
};

}  // namespace

TButton::TButton(TComponent* AOwner) : TControl(AOwner) {
  auto* button = new QPushButton();
  button->setAutoDefault(false);
  QObject::connect(button, &QPushButton::clicked, [this] { Click(); });
  SetWidget(button);
}

QPushButton* TButton::Button() const { return static_cast<QPushButton*>(Widget()); }

void TButton::Click() {
  if (OnClick) SafeCall([this] { OnClick(this); });
}

void TButton::CaptionChanged() {
  if (Widget()) Button()->setText(ToScreen(Caption()));
}

TEdit::TEdit(TComponent* AOwner) : TControl(AOwner) { SetWidget(new QLineEdit()); }

QLineEdit* TEdit::Edit() const { return static_cast<QLineEdit*>(Widget()); }

std::string TEdit::Text() const {
  return Widget() ? Utf8ToAnsi(Edit()->text().toStdString()) : std::string();
}

void TEdit::SetText(const std::string& text) {
  if (Widget()) Edit()->setText(ToScreen(text));
}

TListBox::TListBox(TComponent* AOwner) : TControl(AOwner), m_items(std::make_unique<TStrings>()) {
  auto* list = new QListWidget();
  list->setUniformItemSizes(true);
  list->setItemDelegate(new FixedHeightDelegate(list, &m_itemHeight));
  SetWidget(list);
  // A transfer may add thousands of lines without returning to the loop;
  // the box is rebuilt once, when the loop runs again.
  m_items->OnChange = [this](TStrings*) {
    if (m_rebuildPending || !Widget()) return;
    m_rebuildPending = true;
    QTimer::singleShot(0, Widget(), [this] { ItemsChanged(); });
  };
}

TListBox::~TListBox() { m_items->OnChange = nullptr; }

QListWidget* TListBox::List() const { return static_cast<QListWidget*>(Widget()); }

void TListBox::SetItemHeight(int height) {
  m_itemHeight = height;
  if (Widget()) List()->doItemsLayout();
}

void TListBox::SetSorted(bool sorted) {
  m_sorted = sorted;
  ItemsChanged();
}

void TListBox::ItemsChanged() {
  m_rebuildPending = false;
  QListWidget* list = List();
  if (!list) return;
  const std::vector<std::string>& lines = m_items->Lines();
  // A run adds error lines at the end while the box repaints now and then:
  // the lines already shown stay, and only what follows the unchanged start
  // is replaced. A sorted box shows its lines in another order, so it is
  // built anew.
  size_t keep = 0;
  if (!m_sorted && !m_shownSorted) {
    const size_t common = std::min(lines.size(), m_shown.size());
    while (keep < common && lines[keep] == m_shown[keep]) ++keep;
  }
  if (keep == 0) {
    list->clear();
  } else {
    for (int row = list->count() - 1; row >= static_cast<int>(keep); --row) delete list->takeItem(row);
  }
  for (size_t i = keep; i < lines.size(); ++i) list->addItem(ToScreen(lines[i]));
  if (m_sorted) list->sortItems();
  m_shown.resize(keep);
  m_shown.insert(m_shown.end(), lines.begin() + static_cast<std::ptrdiff_t>(keep), lines.end());
  m_shownSorted = m_sorted;
}
