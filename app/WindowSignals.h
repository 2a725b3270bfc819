// The window's answer to SIGINT and SIGTERM: it closes as its close button
// would. A running transfer first ends after the row in hand (the form's
// StopRequested), since a busy window drops close input.
#pragma once

#include <QSocketNotifier>
#include <QTimer>

class TForm6;

// Lives as long as the form (not owned) and watches for stop signals
// (stopsignals::Install must have run). Also refuses the client library's
// own shutdown on a signal once the form's database connects.
class TWindowStopSignals {
 public:
  explicit TWindowStopSignals(TForm6& form);
  TWindowStopSignals(const TWindowStopSignals&) = delete;
  TWindowStopSignals& operator=(const TWindowStopSignals&) = delete;

 private:
  TForm6& m_form;
  QSocketNotifier m_notifier;
  QTimer m_closer;  // closes the window once it is shown and no transfer runs
};
