// The stop signals' handler and the client library's shutdown callback.
#include "app/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "fib/IB_Intf.h"
#include "fib/pFIBDatabase.h"

namespace stopsignals {

namespace {

// What a signal handler may touch: a lock-free atomic and a pipe.
std::atomic<int> g_caught{0};
int g_pipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
  int expected = 0;
  g_caught.compare_exchange_strong(expected, signal);
  if (g_pipe[1] >= 0) {
    const char byte = static_cast<char>(signal);
    // A full pipe already says a signal came: the write may fail quietly.
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
  }
}

// Asked by the client library before it shuts its connections down. A
// non-zero answer to the confirmation call cancels the shutdown: on a
// signal the program, not the library, decides what ends and when.
int RefuseSignalShutdown(const int reason, const int, void*) { return reason == fb_shutrsn_signal ? 1 : 0; }

}  // namespace

void Install() {
  if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int Caught() noexcept { return g_caught.load(); }

int ReadFd() noexcept { return g_pipe[0]; }

void TakeOverClientShutdown(IIBClientLibrary& library) {
  static std::atomic<bool> registered{false};
  if (!library.EntryPoints().fb_shutdown_callback || registered.exchange(true)) return;
  library.fb_shutdown_callback(StatusVector(), RefuseSignalShutdown, fb_shut_confirmation, nullptr);
}

void TakeOverClientShutdown(TpFIBDatabase& database) {
  database.AfterConnect() = [&database, before = database.AfterConnect()](TComponent* sender) {
    TakeOverClientShutdown(database.ClientLibrary());
    if (before) before(sender);
  };
}

}  // namespace stopsignals
