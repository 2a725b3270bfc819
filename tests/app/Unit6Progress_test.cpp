// The window during a transfer: the progress strip, the repaints, and input
// and timers kept out of the run. The runs are driven from the progress
// reports, so "in the middle of a transfer" is a given row, not a guess at
// a moment in time.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <thread>

#include "TargetFixture.h"
#include "app/Unit6Progress.h"

using namespace apptest;

namespace {

constexpr int kArticles = 40;

// KAT_BROJ 1000 + i with one value column; the target has those articles and
// one definition naming the column (or `column` if given).
Jet4Table Articles() {
  Jet4Table t{"TABELA1", {{"ID", Jet4Type::LongInteger, 0, true}, {"KAT_BROJ", Jet4Type::Text, 20},
                          {"PROIZVODJAC", Jet4Type::Text, 50}}};
  for (int i = 0; i < kArticles; ++i)
    t.rows.push_back({Jet4Null, std::string(std::to_string(1000 + i)), std::string("P" + std::to_string(i))});
  return t;
}

std::string ArticlesTarget(const std::string& column = "PROIZVODJAC") {
  std::string sql;
  for (int i = 0; i < kArticles; ++i) {
    const std::string number = std::to_string(1000 + i);
    sql += Article(i + 1, number, number, "Artikal " + number);
  }
  return sql + Definition(-2, 1, "Proizvođač", column, 1);
}

Jet4Table NoSigns() { return {"ZNAK", {{"id_znak_tabela1", Jet4Type::LongInteger}, {"naziv", Jet4Type::Text, 100}}}; }
Jet4Table NoMarkings() { return {"HPOznake", {{"id", Jet4Type::Text, 20}, {"naziv", Jet4Type::Text, 255}}}; }

// A user's click and a press of the space bar on a button, as the window
// system would queue them.
void PostClickAndKey(QWidget* button) {
  const QPointF centre(button->width() / 2.0, button->height() / 2.0);
  const QPointF global = button->mapToGlobal(centre);
  QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, centre, global, Qt::LeftButton,
                                                      Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton,
                                                      Qt::NoButton, Qt::NoModifier));
  QCoreApplication::postEvent(button, new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " "));
  QCoreApplication::postEvent(button, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " "));
}

// Runs the message loop for `ms`, letting it sleep between events as the
// program's own loop does (that is when the run-time timers are armed).
void RunLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Runs the message loop until it is about to sleep: the run-time timers'
// pump is armed then (the window's own handler of that moment runs first).
void RunLoopUntilItSleeps() {
  QEventLoop loop;
  const QMetaObject::Connection sleeping = QObject::connect(
      QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop, &QEventLoop::quit);
  loop.exec();
  QObject::disconnect(sleeping);
}

// At least `ms` of wall time: only ever longer on a loaded machine, which the
// tests that use it allow.
void Wait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class ProgressTest : public TargetTest {
 protected:
  // Opens the articles' target with the window shown, and counts the clicks
  // that reach "Prepisi HP oznake" and "Otvori" (their handlers replaced).
  void OpenArticles(const std::string& column = "PROIZVODJAC") {
    UseSource({Articles(), NoSigns(), NoMarkings()});
    path = CreateTarget(dir, ArticlesTarget(column));
    Create();
    form->Show();
    Open(path);
    ASSERT_TRUE(form->Button1->Enabled());
    form->Button2->OnClick = [this](TComponent*) { ++clicks; };
    form->Button3->OnClick = [this](TComponent*) { ++clicks; };
  }

  // Calls `hook` with each report before the window's own display does.
  void BeforeEachReport(std::function<void(const TForm6::TTransferProgress&)> hook) {
    form->OnTransferProgress = [hook, window = form->OnTransferProgress](const TForm6::TTransferProgress& p) {
      hook(p);
      window(p);
    };
  }

  std::string path;
  int clicks = 0;
};

}  // namespace

// Outside a run a queued click and key reach the buttons; inside one they
// are dropped, neither run then nor after it, and the window's close button
// does nothing. The strip shows where the run stands and goes at the end.
TEST_F(ProgressTest, InputIsClosedWhileATransferRuns) {
  OpenArticles();
  PostClickAndKey(form->Button2->Widget());
  Application->ProcessMessages();
  ASSERT_EQ(clicks, 2) << "the queued input must work outside a run for this test to mean anything";
  clicks = 0;

  bool showingMidRun = false;
  std::string textMidRun;
  BeforeEachReport([&](const TForm6::TTransferProgress& p) {
    if (p.done == 5 && !p.finished) {
      PostClickAndKey(form->Button2->Widget());
      PostClickAndKey(form->Button3->Widget());
      // The window manager's close button.
      QCoreApplication::postEvent(form->Widget()->windowHandle(), new QCloseEvent());
      Wait(TTransferProgressView::kRepaintMs + 20);  // the window repaints at this report
    }
    if (p.done == 6) {
      showingMidRun = form->ProgressView()->Showing();
      textMidRun = form->ProgressView()->Text();
    }
  });
  form->Button1->Click();
  EXPECT_EQ(clicks, 0);
  EXPECT_TRUE(showingMidRun);
  EXPECT_EQ(textMidRun, "5 od 40 artikala, upisano redova: 5, novih linija greske: 0");
  EXPECT_FALSE(form->ProgressView()->Showing());
  EXPECT_EQ(form->ProgressView()->Text(),
            "40 od 40 artikala, upisano redova: 40, novih linija greske: 0");
  EXPECT_FALSE(Application->Busy());

  RunLoop(50);
  EXPECT_EQ(clicks, 0) << "input of the run must not arrive after it";
  EXPECT_TRUE(form->Showing());
  EXPECT_TRUE(boxes.Boxes.empty());
  // The grids caught up once the loop ran: the detail shows the last article's row.
  EXPECT_EQ(Column(form->DBGrid4, "VREDNOST"), "P39");
  form.reset();
  EXPECT_EQ(QueryRows(path, "SELECT COUNT(*) FROM EXTRA_DATA"), std::vector<std::string>{"40"});
}

// The database's idle timer, due in the middle of the run, does not close
// the connection under it; it fires once the run is over.
TEST_F(ProgressTest, IdleTimerWaitsForTheRunsEnd) {
  OpenArticles();
  RunLoop(50);  // the shown window's first paint
  int timeouts = 0;
  QEventLoop afterTheRun;
  form->pFIBDatabase->SetTimeout(40);
  form->pFIBDatabase->OnTimeout = [&](TComponent*) {
    ++timeouts;
    afterTheRun.quit();
  };
  BeforeEachReport([&](const TForm6::TTransferProgress& p) {
    // No statement for longer than the timeout, then a repaint.
    if (p.done == 3 && !p.finished) Wait(TTransferProgressView::kRepaintMs + 20);
  });
  // The loop sleeps once before the press, as it does before a user's click:
  // the timer pump is armed for the idle timeout.
  RunLoopUntilItSleeps();
  form->Button1->Click();
  EXPECT_EQ(timeouts, 0);
  EXPECT_TRUE(boxes.Boxes.empty()) << (boxes.Boxes.empty() ? "" : boxes.Boxes.front().Text);
  EXPECT_TRUE(form->pFIBDatabase->Connected());
  // The loop runs until the timeout ends the connection; the limit only
  // stops a test whose timer never fires.
  QTimer::singleShot(60000, &afterTheRun, &QEventLoop::quit);
  afterTheRun.exec();
  EXPECT_EQ(timeouts, 1);
  EXPECT_FALSE(form->pFIBDatabase->Connected());
  form.reset();
  EXPECT_EQ(QueryRows(path, "SELECT COUNT(*) FROM EXTRA_DATA"), std::vector<std::string>{"40"});
}

// A run stopped by an error: the strip is gone before the error box, and
// the window takes input again.
TEST_F(ProgressTest, ErrorStopsTheRunAndOpensTheWindow) {
  OpenArticles();
  // Moving to the second article fails (the first is Roba's current row).
  form->Roba->AfterScroll = [](TDataSet*) { throw EDatabaseError("lookup failed"); };
  bool busyAtTheBox = true;
  SetMessagePresenter([&](const TMessageBox& box) {
    busyAtTheBox = Application->Busy() || form->ProgressView()->Showing();
    boxes.Boxes.push_back(box);
  });
  form->Button1->Click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_FALSE(busyAtTheBox);
  EXPECT_EQ(form->ProgressView()->Text(),
            "1 od 40 artikala, upisano redova: 1, novih linija greske: 0");
  PostClickAndKey(form->Button2->Widget());
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 2);
}

TEST(TransferProgressText, Markings) {
  TForm6::TTransferProgress p;
  p.transfer = TForm6::TTransferProgress::tkMarkings;
  p.done = 3;
  p.total = -1;
  p.rowsWritten = 2;
  p.linesAdded = 1;
  EXPECT_EQ(TTransferProgressView::Describe(p),
            "3 oznaka, upisano redova: 2, novih linija greske: 1");
}
