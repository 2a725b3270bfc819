// SIGINT and SIGTERM as requests to stop, for the window and the batch
// command alike. The Firebird client library, once it has a connection,
// answers these signals by shutting every connection down and lets the
// process run on with dead connections; here the program answers them
// itself: the signal is only noted (and a byte written to a pipe that an
// event loop can watch), and the client's own shutdown on a signal is
// refused.
#pragma once

class IIBClientLibrary;
class TpFIBDatabase;

namespace stopsignals {

// Catches SIGINT and SIGTERM from now on. Call once, early, before the
// client library connects (it then chains this handler behind its own).
void Install();
// The first stop signal caught (SIGINT or SIGTERM), 0 while none came.
int Caught() noexcept;
// The pipe end that becomes readable when a stop signal arrives; -1 before
// Install.
int ReadFd() noexcept;
// Refuses the client library's own shutdown on a signal, for the life of
// the process (the library stays loaded). Harmless to call again; a client
// without the shutdown callback entry point is left as it is.
void TakeOverClientShutdown(IIBClientLibrary& library);
// The same, as soon as `database` has connected (its AfterConnect; an
// event there already is kept and runs after).
void TakeOverClientShutdown(TpFIBDatabase& database);
// The usual exit status of a process a signal ended: 128 + its number.
inline int ExitStatus(int signal) noexcept { return 128 + signal; }

}  // namespace stopsignals
