// Closing the window on a stop signal.
#include "app/WindowSignals.h"

#include <unistd.h>

#include "app/StopSignals.h"
#include "app/Unit6.h"
#include "app/Unit6Progress.h"

TWindowStopSignals::TWindowStopSignals(TForm6& form)
    : m_form(form), m_notifier(stopsignals::ReadFd(), QSocketNotifier::Read) {
  stopsignals::TakeOverClientShutdown(*form.pFIBDatabase);
  form.StopRequested = [] { return stopsignals::Caught() != 0; };
  m_closer.setInterval(20);
  QObject::connect(&m_closer, &QTimer::timeout, [this] {
    if (m_form.ProgressView()->Running() || !m_form.Showing()) return;
    m_closer.stop();
    m_form.Close();
  });
  QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] {
    char bytes[16];
    while (read(stopsignals::ReadFd(), bytes, sizeof bytes) > 0) {
    }
    m_closer.start();
  });
  // A signal that came before the watch began has left its byte: the
  // notifier reports it as soon as the loop runs.
}
