// Saving the error list from the window: the pop-up menu's command and
// Ctrl+S write lbErr's lines to a UTF-8 text file named through the save
// dialog (answered here without a window).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "TargetFixture.h"
#include "runtime/CodePage.h"

using namespace apptest;

namespace {

// Answers every save dialog with `answer` (or a cancel when empty) and
// remembers what was proposed.
class SavePromptRecorder {
 public:
  explicit SavePromptRecorder(std::string answer) : m_answer(std::move(answer)) {
    m_previous = SetSaveDialogPrompt([this](TSaveDialog& dialog) {
      ++Calls;
      Proposed = dialog.FileName();
      if (m_answer.empty()) return false;
      dialog.SetFileName(m_answer);
      return true;
    });
  }
  ~SavePromptRecorder() { SetSaveDialogPrompt(std::move(m_previous)); }
  SavePromptRecorder(const SavePromptRecorder&) = delete;
  SavePromptRecorder& operator=(const SavePromptRecorder&) = delete;

  int Calls = 0;
  std::string Proposed;

 private:
  std::string m_answer;
  TSaveDialogPrompt m_previous;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

// The lines are stored in the system code page and saved as UTF-8, one per
// line; a name without an extension gets ".txt"; a cancel writes nothing.
TEST_F(TargetTest, ErrorListSavesItsLinesAsUtf8) {
  Create();
  form->lbErr->Items().Add(Utf8ToAnsi("Nije nađen artikal: Šafran čist"));
  form->lbErr->Items().Add("");
  form->lbErr->Items().Add(Utf8ToAnsi("Greška 2 — ćevap"));
  {
    SavePromptRecorder prompt(dir.File("spisak"));
    form->miSaveErr->Click();
    EXPECT_EQ(prompt.Calls, 1);
    EXPECT_EQ(prompt.Proposed, "greske.txt");
  }
  EXPECT_EQ(ReadFile(dir.File("spisak.txt")), "Nije nađen artikal: Šafran čist\n\nGreška 2 — ćevap\n");
  EXPECT_TRUE(boxes.Boxes.empty());

  SavePromptRecorder cancel("");
  form->miSaveErr->Click();
  EXPECT_EQ(cancel.Calls, 1);
  EXPECT_EQ(form->sdErr->FileName(), dir.File("spisak.txt"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  EXPECT_TRUE(boxes.Boxes.empty());
}

// A file that cannot be written gives an error box naming it; the list stays.
TEST_F(TargetTest, ErrorListSaveToAnUnwritablePlace) {
  Create();
  form->lbErr->Items().Add("Prvi red");
  const std::string target = dir.File("nema/greske.txt");
  SavePromptRecorder prompt(target);
  form->miSaveErr->Click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Icon, TMsgIcon::Stop);
  EXPECT_NE(boxes.Boxes[0].Text.find(target), std::string::npos) << boxes.Boxes[0].Text;
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(form->lbErr->Items().Count(), 1);
}

// The command is on lbErr's right-click menu, and Ctrl+S reaches it from
// anywhere in the active window.
TEST_F(TargetTest, ErrorListContextMenuAndCtrlS) {
  Create();
  QWidget* list = form->lbErr->Widget();
  EXPECT_EQ(list->contextMenuPolicy(), Qt::ActionsContextMenu);
  ASSERT_EQ(list->actions().size(), 1);
  EXPECT_EQ(list->actions()[0]->text(), QStringLiteral("Snimi u fajl..."));

  form->lbErr->Items().Add("Red za Ctrl+S");
  form->Show();
  QWidget* window = form->Widget();
  window->activateWindow();
  // The limit only stops a window that never becomes active (the default
  // 5 s is within reach of a loaded machine).
  ASSERT_TRUE(QTest::qWaitForWindowActive(window, 60000));
  SavePromptRecorder prompt(dir.File("ctrl-s.txt"));
  QTest::keyClick(form->edtBaza->Widget(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(prompt.Calls, 1);
  EXPECT_EQ(ReadFile(dir.File("ctrl-s.txt")), "Red za Ctrl+S\n");
  // A plain "s" stays a letter in the edit box.
  QTest::keyClick(form->edtBaza->Widget(), Qt::Key_S);
  EXPECT_EQ(prompt.Calls, 1);
}
