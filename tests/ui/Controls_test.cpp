// Alignment, the standard controls, the message boxes and the message loop's
// error handling.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/Timer.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"

UI_TEST_ENVIRONMENT();

namespace {

Rect WidgetOf(const TControl* c) {
  const QRect g = c->Widget()->geometry();
  return {g.x(), g.y(), g.width(), g.height()};
}

TPanel* Add(TForm* form, TAlign align, int l, int t, int w, int h) {
  auto* p = new TPanel(form);
  p->SetBounds(l, t, w, h);
  p->SetAlign(align);
  p->SetParent(form);
  return p;
}

}  // namespace

// Top bands stack in creation order, bottom next, then the left and right
// bands, then the client control fills what is left; resizing redoes it.
TEST(AlignTest, BandsFollowTheClientArea) {
  auto form = std::make_unique<TForm>(nullptr);
  form->SetClientWidth(200);
  form->SetClientHeight(100);
  TPanel* top1 = Add(form.get(), TAlign::alTop, 0, 50, 999, 10);
  TPanel* left = Add(form.get(), TAlign::alLeft, 0, 0, 30, 5);
  TPanel* bottom = Add(form.get(), TAlign::alBottom, 0, 0, 999, 20);
  TPanel* top2 = Add(form.get(), TAlign::alTop, 0, 0, 999, 15);
  TPanel* right = Add(form.get(), TAlign::alRight, 0, 0, 40, 5);
  TPanel* client = Add(form.get(), TAlign::alClient, 0, 0, 1, 1);
  TPanel* fixed = Add(form.get(), TAlign::alNone, 5, 6, 7, 8);
  TPanel* hidden = Add(form.get(), TAlign::alTop, 0, 0, 10, 30);
  hidden->SetVisible(false);

  struct Want {
    int width, height;
    Rect top1, top2, bottom, left, right, client;
  };
  const Want cases[] = {
      {200, 100, {0, 0, 200, 10}, {0, 10, 200, 15}, {0, 80, 200, 20}, {0, 25, 30, 55}, {160, 25, 40, 55}, {30, 25, 130, 55}},
      {300, 150, {0, 0, 300, 10}, {0, 10, 300, 15}, {0, 130, 300, 20}, {0, 25, 30, 105}, {260, 25, 40, 105}, {30, 25, 230, 105}},
  };
  for (const Want& c : cases) {
    SCOPED_TRACE(c.width);
    form->SetClientWidth(c.width);
    form->SetClientHeight(c.height);
    EXPECT_EQ(BoundsOf(top1), c.top1);
    EXPECT_EQ(BoundsOf(top2), c.top2);
    EXPECT_EQ(BoundsOf(bottom), c.bottom);
    EXPECT_EQ(BoundsOf(left), c.left);
    EXPECT_EQ(BoundsOf(right), c.right);
    EXPECT_EQ(BoundsOf(client), c.client);
    EXPECT_EQ(WidgetOf(client), c.client);
    EXPECT_EQ(BoundsOf(fixed), (Rect{5, 6, 7, 8}));
  }
  // A top band that becomes visible pushes the others down.
  hidden->SetVisible(true);
  EXPECT_EQ(BoundsOf(hidden), (Rect{0, 25, 300, 30}));
  EXPECT_EQ(BoundsOf(left), (Rect{0, 55, 30, 75}));
}

// Bounds of a form are the outer window; the client area excludes the frame,
// and a resize by the window system realigns the controls.
TEST(AlignTest, WindowResizeRealigns) {
  auto form = std::make_unique<TForm>(nullptr);
  form->SetBounds(232, 25, 1448, 877);
  EXPECT_EQ(form->Width(), 1448);
  EXPECT_EQ(form->ClientWidth(), 1448 - TForm::kFrameWidth);
  TPanel* top = Add(form.get(), TAlign::alTop, 0, 0, 1601, 40);
  form->Show();
  form->Widget()->resize(500, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(BoundsOf(top), (Rect{0, 0, 500, 40}));
  EXPECT_EQ(form->Width(), 500 + TForm::kFrameWidth);
}

TEST(FontTest, MissingFamilyFallsBackToSansSerifAtEightPoints) {
  TFont font;  // "MS Sans Serif", height -11
  EXPECT_EQ(font.Size(), 8);
  const QFont q = font.ToQFont();
  EXPECT_EQ(q.pixelSize(), 11);
  if (!QFontDatabase::hasFamily("MS Sans Serif")) {
    EXPECT_NE(q.family(), QString("MS Sans Serif"));
    EXPECT_EQ(q.family(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
  }
  font.SetSize(10);
  EXPECT_EQ(font.Height(), -13);
}

// Texts inside are 8-bit Windows-1250; the screen shows the real letters.
TEST(StdCtrlsTest, EditAndListConvertTheCodePage) {
  auto form = std::make_unique<TForm>(nullptr);
  auto* edit = new TEdit(form.get());
  edit->SetParent(form.get());
  edit->SetText("\xE8\x9A\x9E C:\\Baze");  // čšž
  EXPECT_EQ(static_cast<QLineEdit*>(edit->Widget())->text(), QString::fromUtf8("čšž C:\\Baze"));
  static_cast<QLineEdit*>(edit->Widget())->setText(QString::fromUtf8("Đorđe €"));
  EXPECT_EQ(edit->Text(), "\xD0or\xF0" "e \x80");
  static_cast<QLineEdit*>(edit->Widget())->setText(QString::fromUtf8("日"));
  EXPECT_EQ(edit->Text(), "?");

  auto* list = new TListBox(form.get());
  list->SetParent(form.get());
  list->Items().Add("Ne postoji: GP 1");
  list->Items().Add("\x8A" "ifra");  // Šifra
  auto* widget = static_cast<QListWidget*>(list->Widget());
  EXPECT_EQ(widget->count(), 0);  // shown when the loop runs again
  QCoreApplication::processEvents();
  ASSERT_EQ(widget->count(), 2);
  EXPECT_EQ(widget->item(1)->text(), QString::fromUtf8("Šifra"));
  list->Items().Clear();
  QCoreApplication::processEvents();
  EXPECT_EQ(widget->count(), 0);
}

// Lines added while the box waits for the loop join the ones shown (those
// stay as they are); any other change leaves the box showing exactly the
// lines, in their order or sorted.
TEST(StdCtrlsTest, ListFollowsEveryKindOfChange) {
  auto form = std::make_unique<TForm>(nullptr);
  auto* list = new TListBox(form.get());
  list->SetParent(form.get());
  auto* widget = static_cast<QListWidget*>(list->Widget());
  auto shown = [widget] {
    std::vector<std::string> texts;
    for (int i = 0; i < widget->count(); ++i) texts.push_back(widget->item(i)->text().toStdString());
    return texts;
  };
  TStrings& items = list->Items();
  items.Add("b");
  items.Add("a");
  QCoreApplication::processEvents();
  widget->item(0)->setData(Qt::UserRole, 1);  // marks the item object, not its text
  items.Add("c");
  QCoreApplication::processEvents();
  EXPECT_EQ(widget->item(0)->data(Qt::UserRole).toInt(), 1);

  const struct {
    const char* what;
    std::function<void()> change;
    std::vector<std::string> want;
  } cases[] = {
      {"add", [&] { items.Add("d"); }, {"b", "a", "c", "d"}},
      {"insert at the top", [&] { items.Insert(0, "e"); }, {"e", "b", "a", "c", "d"}},
      {"delete inside", [&] { items.Delete(2); }, {"e", "b", "c", "d"}},
      {"delete the last", [&] { items.Delete(3); }, {"e", "b", "c"}},
      {"replace a line", [&] { items.SetStrings(1, "x"); }, {"e", "x", "c"}},
      {"same line twice", [&] { items.Add("c"); }, {"e", "x", "c", "c"}},
      {"sorted", [&] { list->SetSorted(true); }, {"c", "c", "e", "x"}},
      {"sorted, add", [&] { items.Add("a"); }, {"a", "c", "c", "e", "x"}},
      {"unsorted again", [&] { list->SetSorted(false); }, {"e", "x", "c", "c", "a"}},
      {"clear", [&] { items.Clear(); }, {}},
      {"after a clear", [&] { items.Add("f"); }, {"f"}},
  };
  for (const auto& c : cases) {
    c.change();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(), c.want) << c.what;
  }
}

// Tab follows TabOrder, not creation order; a panel's controls take the
// panel's place; disabled controls are skipped.
TEST(StdCtrlsTest, TabOrder) {
  auto form = std::make_unique<TForm>(nullptr);
  auto* panel = new TPanel(form.get());
  panel->SetTabOrder(1);
  panel->SetParent(form.get());
  std::vector<TButton*> buttons;
  for (int order : {2, 0, 1}) {
    auto* b = new TButton(form.get());
    b->SetTabOrder(order);
    b->SetParent(form.get());
    buttons.push_back(b);
  }
  auto* inner1 = new TEdit(form.get());
  inner1->SetTabOrder(1);
  inner1->SetParent(panel);
  auto* inner0 = new TEdit(form.get());
  inner0->SetTabOrder(0);
  inner0->SetParent(panel);
  const std::vector<TControl*> want = {buttons[1], inner0, inner1, buttons[2], buttons[0]};
  EXPECT_EQ(form->TabSequence(), want);
  EXPECT_EQ(form->FindNextControl(buttons[0], true), buttons[1]);
  EXPECT_EQ(form->FindNextControl(buttons[1], false), buttons[0]);
  inner0->SetEnabled(false);
  EXPECT_EQ(form->FindNextControl(buttons[1], true), inner1);

  // The window's Tab handling uses it.
  form->Show();
  QApplication::setActiveWindow(form->Widget());
  buttons[1]->Widget()->setFocus();
  QTest::keyClick(buttons[1]->Widget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), inner1->Widget());
}

TEST(StdCtrlsTest, ButtonClickRunsHandlerOnlyWhenEnabled) {
  auto form = std::make_unique<TForm>(nullptr);
  auto* button = new TButton(form.get());
  button->SetParent(form.get());
  button->SetBounds(10, 10, 80, 25);
  button->SetCaption("Otvori");
  int clicks = 0;
  TComponent* sender = nullptr;
  button->OnClick = [&](TComponent* s) { ++clicks; sender = s; };
  form->Show();
  auto* push = static_cast<QPushButton*>(button->Widget());
  EXPECT_EQ(push->text(), QString("Otvori"));
  QTest::mouseClick(push, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(sender, button);
  button->SetEnabled(false);
  QTest::mouseClick(push, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

TEST(DialogsTest, ConfirmationBox) {
  BoxRecorder boxes;
  MessageDlg("Greska pri otvaranju mdb data setova", TMsgDlgType::mtConfirmation);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Title, "Confirm");
  EXPECT_EQ(boxes.Boxes[0].Text, "Greska pri otvaranju mdb data setova");
  EXPECT_EQ(boxes.Boxes[0].Icon, TMsgIcon::Question);
}

// The real box the program shows: title, icon, text and one "OK" button that
// is both the default and the escape button (Escape closes the box).
TEST(DialogsTest, QtBoxHasOneOkButtonForEnterAndEscape) {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  bool okIsDefault = false, okIsEscape = false;
  Qt::TextFormat format = Qt::AutoText;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    timer.stop();
    title = box->windowTitle();
    text = box->text();
    format = box->textFormat();
    icon = box->icon();
    buttons = static_cast<int>(box->buttons().size());
    okIsDefault = box->defaultButton() && box->defaultButton()->text() == "OK";
    okIsEscape = box->escapeButton() == box->defaultButton();
    QTest::keyClick(box, Qt::Key_Escape);
  });
  timer.start();
  // Server texts may hold "<" and ">": shown as written, not as markup.
  MessageDlg("<b>Greska</b> pri otvaranju data setova", TMsgDlgType::mtConfirmation);
  EXPECT_EQ(title, QString("Confirm"));
  EXPECT_EQ(text, QString("<b>Greska</b> pri otvaranju data setova"));
  EXPECT_EQ(format, Qt::PlainText);
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_EQ(buttons, 1);
  EXPECT_TRUE(okIsDefault);
  EXPECT_TRUE(okIsEscape);
}

TEST(ApplicationTest, TitleFromExecutableName) {
  struct Case { const char* path; const char* want; };
  const Case cases[] = {
      {"/opt/tool/Project1", "Project1"},
      {"/opt/tool/PROJECT1.EXE", "Project1"},
      {"C:\\Alati\\my.tool.exe", "my"},
      {"project1", "project1"},
      {"/x/.hidden", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(TApplication::TitleFromExeName(c.path), c.want);
  }
}

// A full stop is added only after a character whose code is above ".":
// letters, digits, accented letters; not after ".", ")" or quotes.
TEST(ApplicationTest, ErrorBoxFullStopRule) {
  struct Case { std::string msg, want; };
  const Case cases[] = {
      {"Field 'X' not found", "Field 'X' not found."},
      {"Already done.", "Already done."},
      {"closed dataset (qry)", "closed dataset (qry)"},
      {"Field 'NAZIV'", "Field 'NAZIV'"},
      {"say \"hi\"", "say \"hi\""},
      {"code 42", "code 42."},
      {"Gre\x9Aka \xE8", "Gre\x9Aka \xE8."},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.msg);
    EXPECT_EQ(TApplication::ErrorBoxText(c.msg), c.want);
  }
}

namespace {

// An object whose event handler throws past every guard of ours.
class ThrowingObject : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw EDatabaseError("qryAccSlike: Cannot perform this operation on a closed dataset");
    if (e->type() == QEvent::User + 1) throw EAbort();
    return QObject::event(e);
  }
};

}  // namespace

// Whatever leaves an event handler is shown in one error box with the
// application title and the stop icon; EAbort shows nothing; the loop and
// the window go on working.
TEST(ApplicationTest, MessageLoopShowsEscapedExceptions) {
  BoxRecorder boxes;
  Application->SetTitle("Project1");
  auto form = std::make_unique<TForm>(nullptr);
  auto* button = new TButton(form.get());
  button->SetParent(form.get());
  button->SetBounds(0, 0, 50, 20);
  int clicks = 0;
  button->OnClick = [&](TComponent*) {
    if (++clicks == 2) Abort();
    throw Exception("Field 'KAT_BROJ' not found");
  };
  form->Show();
  auto* push = static_cast<QPushButton*>(button->Widget());
  QTest::mouseClick(push, Qt::LeftButton);
  QTest::mouseClick(push, Qt::LeftButton);  // EAbort: silent
  QTest::mouseClick(push, Qt::LeftButton);
  ASSERT_EQ(boxes.Boxes.size(), 2u);
  EXPECT_EQ(boxes.Boxes[0].Title, "Project1");
  EXPECT_EQ(boxes.Boxes[0].Text, "Field 'KAT_BROJ' not found.");
  EXPECT_EQ(boxes.Boxes[0].Icon, TMsgIcon::Stop);
  EXPECT_EQ(clicks, 3);

  ThrowingObject object;
  QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&object, new QEvent(static_cast<QEvent::Type>(QEvent::User + 1)));
  QCoreApplication::processEvents();
  ASSERT_EQ(boxes.Boxes.size(), 3u);
  EXPECT_EQ(boxes.Boxes[2].Text, "qryAccSlike: Cannot perform this operation on a closed dataset.");
}

// The idle and transaction timeouts hang on run-time timers: the message loop
// must fire them while it waits, and a throwing timer handler reaches the
// error box like any other handler.
TEST(ApplicationTest, MessageLoopFiresRunTimeTimers) {
  BoxRecorder boxes;
  TTimer timer;
  timer.SetInterval(20);
  int fired = 0;
  QEventLoop loop;
  timer.OnTimer = [&](TTimer* t) {
    if (++fired == 1) throw Exception("Timeout");
    t->SetEnabled(false);
    loop.quit();
  };
  timer.SetEnabled(true);
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);  // only stops a loop that never fires it
  loop.exec();
  EXPECT_EQ(fired, 2);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, "Timeout.");
}
