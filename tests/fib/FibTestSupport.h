// Helpers for the Firebird layer tests: scratch databases on the embedded
// engine, a private Firebird server on 127.0.0.1, and raw SQL through the
// client library for setting up data.
#pragma once

#include <string>
#include <sys/types.h>

#include "fib/FIBDatabase.h"

namespace fibtest {

// The process's private temp directory. Created before any test runs; the
// embedded engine keeps its lock files there (FIREBIRD_LOCK / FIREBIRD_TMP),
// never in the machine's own /tmp/firebird.
const std::string& ProcessTempDir();

// A directory removed with everything in it when the object goes.
class TScratchDir {
 public:
  TScratchDir();
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Runs an isql-fb script (stdin) with `env` prepended to the command line;
// returns isql's output (stdout and stderr).
std::string RunIsql(const std::string& script, const std::string& env = {},
                    const std::string& args = "-q");

// Creates an embedded database file with the given dialect and runs `ddl`
// (statements ending in ";") in it. Returns the file path.
std::string CreateDatabase(const TScratchDir& dir, const std::string& name, int dialect = 3,
                           const std::string& ddl = {});

// Executes one SQL statement in `tr` through the client library; raises
// EFIBInterBaseError on failure.
void ExecSQL(TFIBDatabase& db, TFIBTransaction& tr, const std::string& sql);

// A Firebird server of our own on 127.0.0.1: its own configuration, security
// database (SYSDBA with `password`), lock and temp directories, and a port
// no other test process picks while the object lives (a lock file per port
// under /tmp). It counts as started once the child itself listens there.
// Stopped (by its pid) when the object goes.
class TPrivateServer {
 public:
  explicit TPrivateServer(const std::string& sysdbaPassword);
  ~TPrivateServer();
  TPrivateServer(const TPrivateServer&) = delete;
  TPrivateServer& operator=(const TPrivateServer&) = delete;

  bool Running() const { return m_pid > 0; }
  // Why the server did not start (empty when running).
  const std::string& Failure() const { return m_failure; }
  int Port() const { return m_port; }
  // "127.0.0.1/<port>:<path>" for a file in the server's directory.
  std::string Remote(const std::string& file) const;
  // Creates a database through the server (as SYSDBA).
  std::string CreateRemoteDatabase(const std::string& name) const;
  // Stops the server at once (SIGKILL to its pid), as a crash would.
  void Kill();
  // Starts it again on the same port and directory; false when it does not
  // come up (Failure() says why).
  bool Restart();

 private:
  // Forks and execs the server, then waits until it listens.
  void Launch();
  // Asks the server to end, and kills it when it does not.
  void Stop();

  TScratchDir m_root;
  std::string m_password;
  std::string m_env;
  int m_port = 0;
  int m_portLock = -1;  // the port's lock file, flock'ed
  pid_t m_pid = -1;
  std::string m_failure;
};

}  // namespace fibtest
