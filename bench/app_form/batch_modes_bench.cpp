// The batch command's commit modes measured as a user runs them: the
// mdb2fb program on a generated source (articles x 8 definitions) into an
// embedded target with forced writes on and off, rows written per second
// in each mode; then over the server road through a counting TCP relay on
// loopback, network round trips per written row.
//
//   batch_modes_bench [articles]      (default 2000)
//
// A round trip is counted each time the server starts answering after the
// client has sent: one request/answer exchange, as the wire sees it. Both
// sides of the relay set TCP_NODELAY, as the client does.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "FibTestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDefinitions = 8;

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

// The source: TABELA1 with KAT_BROJ 10000 + i and C1..C8, written by mdbwrite.
bool WriteSource(const std::string& dir, int articles) {
  const std::string description = dir + "/source.txt";
  {
    std::ofstream out(description);
    out << "table\tTABELA1\ncolumn\tID\tautonumber\ncolumn\tKAT_BROJ\ttext\t20\n";
    for (int d = 1; d <= kDefinitions; ++d) out << "column\tC" << d << "\ttext\t40\n";
    for (int i = 0; i < articles; ++i) {
      out << "row\t\\N\t" << 10000 + i;
      for (int d = 1; d <= kDefinitions; ++d) out << "\tvrednost " << d << " artikla " << i;
      out << "\n";
    }
    out << "table\tZNAK\ncolumn\tid_znak_tabela1\tlong\ncolumn\tnaziv\ttext\t100\n";
    out << "table\tHPOznake\ncolumn\tid\ttext\t20\ncolumn\tnaziv\ttext\t255\n";
  }
  return Run(std::string("'") + MDBWRITE_PATH + "' '" + description + "' '" + dir + "/source.mdb' >/dev/null");
}

// The tables and the articles and definitions the source names, in `database`.
// The private server has no WIN1250 collations installed: it gets NONE.
std::string TargetScript(const std::string& database, int articles, const std::string& charset) {
  return "SET SQL DIALECT 3;\nCREATE DATABASE '" + database + "' USER 'SYSDBA' PASSWORD 'm' DEFAULT CHARACTER SET " +
         charset + ";\nINPUT '" + TARGET_TABLES_SQL +
         "';\nCOMMIT;\nSET TERM ^;\nEXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN\n  WHILE (i < " +
         std::to_string(articles) +
         ") DO BEGIN\n    INSERT INTO ROBA (ROBAID, KATBR, KATBRPRO, NAZIV, VRSTA, GRUPAID)\n"
         "      VALUES (:i + 1, 10000 + :i, 10000 + :i, 'Artikal ' || :i, 1, 'GP');\n    i = i + 1;\n  END\n"
         "  i = 1;\n  WHILE (i <= " + std::to_string(kDefinitions) +
         ") DO BEGIN\n    INSERT INTO EXTRA_DATA_SIF (VRDOK, EDID, NAZIV, ET_FIELD, REDOSLED) "
         "VALUES (-2, :i, 'D' || :i, 'C' || :i, :i);\n    i = i + 1;\n  END\nEND^\nSET TERM ;^\nCOMMIT;\n";
}

// Seconds of one mdb2fb run (articles only, quiet); negative when it failed.
double TimeRun(const std::string& options, const std::string& source, const std::string& target,
               const std::string& env = {}) {
  const auto start = std::chrono::steady_clock::now();
  const bool ok = Run(env + " '" + std::string(MDB2FB_PATH) + "' -q --articles " + options + " '" + source + "' '" +
                      target + "'");
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return ok ? took.count() : -1;
}

// A relay from a loopback port to the server's, counting round trips.
class TCountingRelay {
 public:
  explicit TCountingRelay(int serverPort) : m_serverPort(serverPort) {
    m_listen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    listen(m_listen, 8);
    m_thread = std::thread([this] { Serve(); });
  }
  ~TCountingRelay() {
    m_stop = true;
    m_thread.join();
    close(m_listen);
  }
  int Port() const { return m_port; }
  long RoundTrips() const { return m_roundTrips; }
  void Reset() { m_roundTrips = 0; }

 private:
  static void NoDelay(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  // One connection at a time: the batch command holds one attachment.
  void Serve() {
    while (!m_stop) {
      pollfd p{m_listen, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const int client = accept(m_listen, nullptr, nullptr);
      const int server = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      addr.sin_port = htons(static_cast<uint16_t>(m_serverPort));
      if (connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(client);
        close(server);
        continue;
      }
      NoDelay(client);
      NoDelay(server);
      Pump(client, server);
      close(client);
      close(server);
    }
  }
  void Pump(int client, int server) {
    bool clientSpoke = false;
    char buffer[65536];
    while (!m_stop) {
      pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (poll(fds, 2, 100) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n <= 0) return;
        if (i == 0) clientSpoke = true;
        if (i == 1 && clientSpoke) {
          ++m_roundTrips;
          clientSpoke = false;
        }
        for (ssize_t sent = 0; sent < n;) {
          const ssize_t w = write(i == 0 ? server : client, buffer + sent, static_cast<size_t>(n - sent));
          if (w <= 0) return;
          sent += w;
        }
      }
    }
  }

  int m_serverPort;
  int m_listen = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<long> m_roundTrips{0};
  std::thread m_thread;
};

}  // namespace

int main(int argc, char** argv) {
  const int articles = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int rows = articles * kDefinitions;
  fibtest::TScratchDir dir;
  if (!WriteSource(dir.Path(), articles)) return 1;
  const std::string source = dir.File("source.mdb"), fresh = dir.File("fresh.fdb");
  if (fibtest::RunIsql(TargetScript(fresh, articles, "WIN1250")) != "") {
    std::fprintf(stderr, "creating the target failed\n");
    return 1;
  }
  std::printf("articles %d, rows %d, embedded target\n", articles, rows);
  struct Mode {
    const char* name;
    const char* options;
  };
  const Mode modes[] = {{"per row", "--per-row"}, {"per article", ""}, {"atomic", "--atomic"}};
  double rate[3][2] = {};
  for (int fw = 0; fw < 2; ++fw) {
    for (int m = 0; m < 3; ++m) {
      const std::string target = dir.File("t.fdb");
      fs::copy_file(fresh, target, fs::copy_options::overwrite_existing);
      Run(std::string("gfix -write ") + (fw == 0 ? "sync" : "async") + " -user SYSDBA -password m '" + target + "'");
      const double seconds = TimeRun(modes[m].options, source, target);
      rate[m][fw] = seconds > 0 ? rows / seconds : 0;
      std::printf("  forced writes %-3s %-12s %9.0f rows/s\n", fw == 0 ? "on" : "off", modes[m].name, rate[m][fw]);
    }
  }
  for (int m = 0; m < 3; ++m)
    std::printf("  %-12s forced writes on / off: %.2fx\n", modes[m].name, rate[m][1] > 0 ? rate[m][0] / rate[m][1] : 0);
  std::printf("  (the raw client loop making the window's calls: build/bench/app_form/transfer_bench)\n");

  fibtest::TPrivateServer server("m");
  if (!server.Running()) {
    std::printf("server road: no server (%s)\n", server.Failure().c_str());
    return 0;
  }
  TCountingRelay relay(server.Port());
  std::printf("server road (127.0.0.1, through a counting relay)\n");
  for (const Mode& mode : modes) {
    const std::string file = std::string("r") + (mode.options[0] ? mode.options + 2 : "article") + ".fdb";
    const std::string direct = server.Remote(file);
    if (const std::string out = fibtest::RunIsql(TargetScript(direct, articles, "NONE")); out != "") {
      std::fprintf(stderr, "creating the server target failed: %s\n", out.c_str());
      return 1;
    }
    const std::string viaRelay = "127.0.0.1/" + std::to_string(relay.Port()) + ":" + direct.substr(direct.find(':') + 1);
    relay.Reset();
    const double seconds = TimeRun(mode.options, source, viaRelay, "ISC_USER=SYSDBA ISC_PASSWORD=m");
    std::printf("  %-12s %9.0f rows/s, %ld round trips, %.2f per written row\n", mode.name,
                seconds > 0 ? rows / seconds : 0, relay.RoundTrips(), static_cast<double>(relay.RoundTrips()) / rows);
  }
  return 0;
}
