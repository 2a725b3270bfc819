// Pop-up menus: commands reach the control's widget as actions, fire on
// their shortcut and only when enabled, report handler errors in the error
// box, and any of menu, item and control may go first.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include "runtime/Exceptions.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace {

TMenuItem* NewItem(TComponent* owner, const char* caption, int& clicks) {
  auto* item = new TMenuItem(owner);
  item->SetCaption(caption);
  item->OnClick = [&clicks](TComponent*) { ++clicks; };
  return item;
}

}  // namespace

TEST(MenusTest, ShortcutFiresOnlyWhenEnabled) {
  auto form = std::make_unique<TForm>(nullptr);
  auto* list = new TListBox(form.get());
  list->SetParent(form.get());
  list->SetBounds(0, 0, 200, 100);
  auto* menu = new TPopupMenu(form.get());
  int clicks = 0;
  TMenuItem* item = NewItem(form.get(), "Snimi", clicks);
  item->SetShortCut("Ctrl+S");
  list->SetPopupMenu(menu);
  menu->Add(item);  // added after attaching: the widget still gets it
  ASSERT_EQ(list->Widget()->actions().size(), 1);
  EXPECT_EQ(list->Widget()->actions()[0], item->Action());
  EXPECT_EQ(item->Action()->text(), QStringLiteral("Snimi"));

  form->Show();
  form->Widget()->activateWindow();
  // The limit only stops a window that never becomes active (the default
  // 5 s is within reach of a loaded machine).
  ASSERT_TRUE(QTest::qWaitForWindowActive(form->Widget(), 60000));
  QTest::keyClick(list->Widget(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(clicks, 1);
  item->SetEnabled(false);
  QTest::keyClick(list->Widget(), Qt::Key_S, Qt::ControlModifier);
  item->Click();
  EXPECT_EQ(clicks, 1);

  // A handler's exception goes to the error box, not through Qt.
  BoxRecorder boxes;
  item->SetEnabled(true);
  item->OnClick = [](TComponent*) { throw Exception("Disk je pun"); };
  item->Action()->trigger();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "Disk je pun.");
}

// Menu, item and control each go first; the others stay usable and nothing
// points at what went.
TEST(MenusTest, AnyPartMayGoFirst) {
  int clicks = 0;
  for (int first = 0; first < 3; ++first) {
    SCOPED_TRACE(first);
    auto list = std::make_unique<TListBox>(nullptr);
    auto menu = std::make_unique<TPopupMenu>(nullptr);
    auto item = std::make_unique<TMenuItem>(nullptr);
    auto other = std::unique_ptr<TMenuItem>(NewItem(nullptr, "Drugi", clicks));
    menu->Add(item.get());
    menu->Add(other.get());
    list->SetPopupMenu(menu.get());
    EXPECT_EQ(list->Widget()->actions().size(), 2);
    if (first == 0) {
      menu.reset();
      EXPECT_EQ(list->PopupMenu(), nullptr);
      EXPECT_EQ(list->Widget()->actions().size(), 0);
    } else if (first == 1) {
      item.reset();
      EXPECT_EQ(menu->Count(), 1);
      EXPECT_EQ(list->Widget()->actions().size(), 1);
    } else {
      list.reset();
      EXPECT_EQ(menu->Count(), 2);
    }
    other->Click();
  }
  EXPECT_EQ(clicks, 3);
}
