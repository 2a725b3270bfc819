// Program entry: the window framework, the main window, the message loop.
// The command line is not read.
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "app/StopSignals.h"
#include "app/Unit6.h"
#include "app/Unit6Progress.h"

int main() {
  // Before any connection: SIGINT and SIGTERM close the window as its close
  // button would (the client library would otherwise kill the connections
  // and leave a window that only looks alive).
  stopsignals::Install();
  TApplication application;
  // Created before the loop runs: its creation handler opens the source
  // file, and its box (if any) comes before the window is first shown.
  auto form = std::make_unique<TForm6>(nullptr);
  application.SetMainForm(form.get());
  form->StopRequested = [] { return stopsignals::Caught() != 0; };
  stopsignals::TakeOverClientShutdown(*form->pFIBDatabase);

  // A running transfer ends after the row in hand (StopRequested); the
  // window closes once it has, since a busy window drops its close input.
  QSocketNotifier notifier(stopsignals::ReadFd(), QSocketNotifier::Read);
  QTimer closer;
  closer.setInterval(20);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (form->ProgressView()->Running()) return;
    closer.stop();
    form->Close();
  });
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    char bytes[16];
    while (read(stopsignals::ReadFd(), bytes, sizeof bytes) > 0) {
    }
    closer.start();
  });
  return application.Run();
}
