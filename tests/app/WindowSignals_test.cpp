// SIGINT and SIGTERM to the window: idle, the program ends as through the
// close button; during a transfer, the run ends after the row in hand and
// then the window closes, its connection still sound.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <csignal>
#include <fstream>
#include <string>

#include "TargetFixture.h"
#include "app/StopSignals.h"
#include "app/WindowSignals.h"

namespace {

using apptest::TargetTest;

// Whether `pid` catches `signal` now (its handler installed), as the
// kernel tells it.
bool Catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
  return false;
}

TEST_F(TargetTest, IdleWindowEndsOnStopSignals) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      execl(PROJECT1_PATH, PROJECT1_PATH, static_cast<char*>(nullptr));
      _exit(127);
    }
    // The moment comes from the program itself: its handler is in place. The
    // limits only catch a hang: a loaded machine can take seconds to start Qt.
    int status = 0;
    for (int i = 0; i < 24000 && !Catches(pid, signal) && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(5000);
    ASSERT_TRUE(Catches(pid, signal));
    kill(pid, signal);
    pid_t ended = 0;
    for (int i = 0; i < 24000 && (ended = waitpid(pid, &status, WNOHANG)) == 0; ++i) usleep(5000);
    if (ended == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      FAIL() << "the window did not end within 120 s";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
}

TEST_F(TargetTest, StopSignalEndsTheTransferAfterTheRowInHandThenClosesTheWindow) {
  stopsignals::Install();
  const std::string path = apptest::CreateTarget(dir, std::string("INPUT '") + DEMO_TARGET_SQL + "';");
  const std::vector<std::string> before = apptest::QueryRows(path, "select count(*) from EXTRA_DATA");
  Create();
  TWindowStopSignals watch(*form);
  form->Show();
  Open(path);
  ASSERT_TRUE(form->Button1->Enabled());
  const auto view = form->OnTransferProgress;
  TForm6::TTransferProgress last;
  form->OnTransferProgress = [&](const TForm6::TTransferProgress& p) {
    view(p);
    last = p;
    if (p.done == 10 && !p.finished) raise(SIGTERM);
  };
  form->Button1->Click();
  EXPECT_TRUE(last.finished);
  EXPECT_TRUE(last.interrupted);
  EXPECT_EQ(last.done, 10);
  EXPECT_TRUE(boxes.Boxes.empty());
  // The close came once the transfer had ended, through the message loop.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->Showing(); }, 60000));
  // The client library did not shut the connection down on the signal.
  ASSERT_TRUE(form->pFIBDatabase->Connected());
  form->qryEDSif->Close();
  form->qryEDSif->Open();
  EXPECT_FALSE(form->qryEDSif->Eof());
  form.reset();
  // What the strip counted is what the target holds.
  const int added = std::stoi(apptest::QueryRows(path, "select count(*) from EXTRA_DATA")[0]) - std::stoi(before[0]);
  EXPECT_EQ(added, last.rowsWritten);
}

}  // namespace
