// Scratch databases, a private server and raw SQL for the Firebird tests.
#include "FibTestSupport.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace fibtest {

namespace {

std::string MakeTempDir(const char* pattern) {
  std::string templ = (fs::temp_directory_path() / pattern).string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  return templ;
}

// Set up before main so the embedded engine, whenever the client library is
// first loaded, finds its private lock and temp directories.
struct TProcessDir {
  std::string path;
  TProcessDir() {
    path = MakeTempDir("fibtest-XXXXXX");
    fs::create_directories(path + "/lock");
    fs::create_directories(path + "/tmp");
    setenv("FIREBIRD_LOCK", (path + "/lock").c_str(), 1);
    setenv("FIREBIRD_TMP", (path + "/tmp").c_str(), 1);
  }
  ~TProcessDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};
TProcessDir g_processDir;

// The embedded engine ends its worker threads asynchronously; it is stopped
// after the last test, while the client library is still intact, so that
// nothing of it runs any more when the process exits and the leak checker of
// a sanitizer build stops the threads.
class TEngineShutdown : public ::testing::Environment {
 public:
  void TearDown() override {
    void* lib = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return;
    if (auto shutdown = reinterpret_cast<int (*)(unsigned, int)>(dlsym(lib, "fb_shutdown")))
      shutdown(0, fb_shutrsn_app_stopped);
    dlclose(lib);
  }
};
[[maybe_unused]] ::testing::Environment* const g_engineShutdown =
    ::testing::AddGlobalTestEnvironment(new TEngineShutdown);

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// 127.0.0.1:port; the fixtures never use any other address.
sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

bool PortFree(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr = Loopback(port);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

// Takes the machine-wide lock of `port` among the test processes: a file
// under /tmp named by the port, flock'ed while the returned descriptor is
// open. -1 when another test process holds it. (A bind test alone leaves a
// gap until the server binds, in which a second test picks the same port.)
int LockPort(int port) {
  const std::string path = "/tmp/fibtest-port-" + std::to_string(port) + ".lock";
  // Read-only and opened before created: a lock file another user left in
  // /tmp still serves (creating over it may be refused in a sticky folder).
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Inodes of the sockets listening on `port` (any local address).
std::vector<std::string> ListeningInodes(int port) {
  std::vector<std::string> inodes;
  char portHex[8];
  std::snprintf(portHex, sizeof portHex, "%04X", static_cast<unsigned>(port));
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the column titles
    while (std::getline(in, line)) {
      // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
      std::istringstream fields(line);
      std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
      fields >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
      const size_t colon = local.rfind(':');
      if (state == "0A" && colon != std::string::npos && local.substr(colon + 1) == portHex)
        inodes.push_back(inode);
    }
  }
  return inodes;
}

// Whether process `pid` holds a socket listening on `port`: the listener is
// the server we started, not another test's server that took the port.
bool ListensOn(pid_t pid, int port) {
  const std::vector<std::string> inodes = ListeningInodes(port);
  if (inodes.empty()) return false;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    const std::string target = fs::read_symlink(entry.path(), ec).string();
    for (const std::string& inode : inodes)
      if (target == "socket:[" + inode + "]") return true;
  }
  return false;
}

constexpr const char* kFirebirdRoot = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
constexpr const char* kSystemSecurityDb = "/var/lib/firebird/3.0/system/security3.fdb";

}  // namespace

const std::string& ProcessTempDir() { return g_processDir.path; }

TScratchDir::TScratchDir() : m_path(MakeTempDir("fibdb-XXXXXX")) {}

TScratchDir::~TScratchDir() {
  std::error_code ec;
  fs::remove_all(m_path, ec);
}

std::string RunIsql(const std::string& script, const std::string& env, const std::string& args) {
  // Numbered: two servers may be prepared at once on two threads.
  static std::atomic<int> scripts{0};
  const std::string scriptFile = ProcessTempDir() + "/script-" + std::to_string(++scripts) + ".sql";
  {
    std::ofstream out(scriptFile);
    out << script;
  }
  const std::string command = env + " isql-fb " + args + " -i " + ShellQuote(scriptFile) + " 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
  }
  fs::remove(scriptFile);
  return output;
}

std::string CreateDatabase(const TScratchDir& dir, const std::string& name, int dialect,
                           const std::string& ddl) {
  const std::string path = dir.File(name);
  const std::string script = "SET SQL DIALECT " + std::to_string(dialect) + ";\nCREATE DATABASE '" +
                             path + "' USER 'SYSDBA' PASSWORD 'x';\n" + ddl + "\nCOMMIT;\n";
  const std::string output = RunIsql(script);
  if (!fs::exists(path)) throw std::runtime_error("isql-fb could not create " + path + ": " + output);
  return path;
}

void ExecSQL(TFIBDatabase& db, TFIBTransaction& tr, const std::string& sql) {
  IIBClientLibrary& lib = db.ClientLibrary();
  const ISC_STATUS status = lib.isc_dsql_execute_immediate(
      StatusVector(), db.HandleAddress(), tr.HandleAddress(), static_cast<unsigned short>(sql.size()),
      sql.c_str(), static_cast<unsigned short>(db.SQLDialect()), nullptr);
  tr.Call(status, true);
}

TPrivateServer::TPrivateServer(const std::string& sysdbaPassword) : m_password(sysdbaPassword) {
  const std::string root = m_root.Path();
  try {
    for (const char* d : {"intl", "plugins", "lib", "UDF"})
      fs::create_directory_symlink(std::string(kFirebirdRoot) + "/" + d, root + "/" + d);
    fs::copy_file(std::string(kFirebirdRoot) + "/firebird.msg", root + "/firebird.msg");
    fs::copy_file("/etc/firebird/3.0/plugins.conf", root + "/plugins.conf");
    fs::copy_file(kSystemSecurityDb, root + "/security3.fdb");
    fs::create_directories(root + "/lock");
    fs::create_directories(root + "/tmp");
  } catch (const std::exception& e) {
    m_failure = std::string("preparing the server directory: ") + e.what();
    return;
  }
  // The port's lock is held for the server's life, Restart included.
  for (int p = 30500 + getpid() % 1000, tries = 0; tries < 200 && !m_port; ++tries, ++p) {
    const int lock = LockPort(p);
    if (lock < 0) continue;
    if (PortFree(p)) {
      m_port = p;
      m_portLock = lock;
    } else {
      close(lock);
    }
  }
  if (!m_port) {
    m_failure = "no free port";
    return;
  }
  {
    std::ofstream conf(root + "/firebird.conf");
    conf << "RemoteServicePort = " << m_port << "\n"
         << "RemoteBindAddress = 127.0.0.1\n"
         << "AuthServer = Srp\n"
         << "UserManager = Srp\n"
         << "WireCrypt = Enabled\n"
         << "SecurityDatabase = " << root << "/security3.fdb\n"
         << "UdfAccess = None\n";
    std::ofstream aliases(root + "/databases.conf");
    aliases << "security.db = " << root << "/security3.fdb\n";
  }
  m_env = "FIREBIRD=" + ShellQuote(root) + " FIREBIRD_LOCK=" + ShellQuote(root + "/lock") +
          " FIREBIRD_TMP=" + ShellQuote(root + "/tmp") + " FIREBIRD_MSG=" + ShellQuote(root);
  // SYSDBA's password is set on our copy of the security database, opened
  // embedded by isql before the server exists.
  const std::string out = RunIsql("create or alter user SYSDBA password '" + m_password + "';\ncommit;\n",
                                  m_env, "-q -user SYSDBA " + ShellQuote(root + "/security3.fdb"));
  if (out.find("Statement failed") != std::string::npos) {
    m_failure = "setting the SYSDBA password: " + out;
    return;
  }

  Launch();
}

void TPrivateServer::Launch() {
  const std::string root = m_root.Path();
  // Everything the child needs is prepared before fork: the client library
  // may run threads in this process, so the child only redirects and execs.
  std::vector<std::string> envStrings = {"FIREBIRD=" + root, "FIREBIRD_LOCK=" + root + "/lock",
                                         "FIREBIRD_TMP=" + root + "/tmp", "FIREBIRD_MSG=" + root,
                                         "PATH=/usr/sbin:/usr/bin:/bin"};
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  const int logFd = open((root + "/server.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const pid_t pid = fork();
  if (pid < 0) {
    m_failure = "fork failed";
    if (logFd >= 0) close(logFd);
    return;
  }
  if (pid == 0) {
    if (logFd >= 0) {
      dup2(logFd, STDOUT_FILENO);
      dup2(logFd, STDERR_FILENO);
    }
    execle("/usr/sbin/firebird", "firebird", static_cast<char*>(nullptr), envp.data());
    _exit(127);
  }
  if (logFd >= 0) close(logFd);
  m_pid = pid;
  // Until our child listens or exits; the limit only stops a server that
  // neither does, and is far beyond a start on a loaded machine.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!ListensOn(m_pid, m_port)) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      std::ifstream log(root + "/server.log");
      m_failure = "the server exited: " + std::string(std::istreambuf_iterator<char>(log), {});
      return;
    }
    if (std::chrono::steady_clock::now() > giveUp) {
      m_failure = "the server does not listen on port " + std::to_string(m_port);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void TPrivateServer::Kill() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  int status = 0;
  waitpid(m_pid, &status, 0);
  m_pid = -1;
}

bool TPrivateServer::Restart() {
  Kill();
  m_failure.clear();
  Launch();
  return Running() && m_failure.empty();
}

TPrivateServer::~TPrivateServer() {
  Stop();
  if (m_portLock >= 0) close(m_portLock);
}

void TPrivateServer::Stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Kill();
}

std::string TPrivateServer::Remote(const std::string& file) const {
  return "127.0.0.1/" + std::to_string(m_port) + ":" + m_root.File(file);
}

std::string TPrivateServer::CreateRemoteDatabase(const std::string& name) const {
  const std::string remote = Remote(name);
  const std::string out = RunIsql("CREATE DATABASE '" + remote + "' USER 'SYSDBA' PASSWORD '" +
                                  m_password + "';\nCOMMIT;\n");
  if (!fs::exists(m_root.File(name)))
    throw std::runtime_error("creating " + remote + " failed: " + out);
  return remote;
}

}  // namespace fibtest

// Sanitizer builds (the runtime options of every program are in
// tools/sanitize/SanitizerDefaults.cpp). The Firebird engine and the ICU
// library it loads keep caches for the life of the process, which the leak
// checker reports. Our own allocations stay checked.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libicuuc.so\n"
         "leak:libicui18n.so\n"
         "leak:libfbclient.so\n"
         "leak:libEngine12.so\n";
}
