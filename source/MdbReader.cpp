// Starting and watching the mdbreader child; decoding its frames.
#include "source/MdbReader.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"
#include "source/MdbWire.h"

#ifndef MDBREADER_PATH
#define MDBREADER_PATH ""
#endif

namespace {
std::string& ReaderOverride() {
  static std::string path;
  return path;
}
}  // namespace

void SetMdbReaderExecutable(const std::string& path) { ReaderOverride() = path; }

std::string MdbReaderExecutable() {
  if (!ReaderOverride().empty()) return ReaderOverride();
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path beside = self.parent_path() / "mdbreader";
    if (::access(beside.c_str(), X_OK) == 0) return beside.string();
  }
  const std::string built = MDBREADER_PATH;
  if (!built.empty() && ::access(built.c_str(), X_OK) == 0) return built;
  return {};
}

namespace {

[[noreturn]] void Damaged(const std::string& file, const std::string& why) {
  throw EDatabaseError(Format("The database '%s' is damaged or unreadable: %s", {file, why}));
}

// A file descriptor closed by its owner, also when the owner's constructor
// throws half-way.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int Get() const noexcept { return m_fd; }
  void Reset(int fd = -1) noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd = -1;
};

// One run of the child. The destructor kills and reaps a child that is still
// running, so an exception anywhere leaves no process behind.
class ReaderRun {
 public:
  ReaderRun(const std::vector<std::string>& args, const std::string& file) : m_file(file) {
    const std::string exe = MdbReaderExecutable();
    if (exe.empty())
      throw EDatabaseError(
          Format("Cannot read '%s': the Access reader program (mdbreader) is not installed", {file}));
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
      throw EDatabaseError(Format("Cannot read '%s': %s", {file, std::strerror(errno)}));
    m_fd.Reset(fds[0]);
    UniqueFd writeEnd(fds[1]);
    if (writeEnd.Get() == mdbwire::kFrameFd) {
      // dup2 onto itself would keep close-on-exec set; move it first.
      writeEnd.Reset(::fcntl(writeEnd.Get(), F_DUPFD_CLOEXEC, mdbwire::kFrameFd + 1));
      if (writeEnd.Get() < 0)
        throw EDatabaseError(Format("Cannot read '%s': %s", {file, std::strerror(errno)}));
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The frames travel on descriptor 3: libmdb prints its warnings on
    // stderr and, for some damage, hex dumps on stdout; both go to /dev/null
    // and never reach the user or the frames.
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), mdbwire::kFrameFd);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, mdbwire::kFrameFd + 1);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // An empty environment: libmdb reads several variables (character set,
    // debug output) that must not change what it delivers.
    char* envp[] = {nullptr};
    const int rc = ::posix_spawn(&m_pid, exe.c_str(), &actions, &attr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    // Only the child writes: the pipe ends when it does.
    writeEnd.Reset();
    if (rc != 0) {
      m_pid = -1;
      throw EDatabaseError(Format("Cannot read '%s': the reader could not be started (%s)",
                                  {file, std::strerror(rc)}));
    }
  }

  ~ReaderRun() {
    m_fd.Reset();
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      Reap();
    }
  }

  ReaderRun(const ReaderRun&) = delete;
  ReaderRun& operator=(const ReaderRun&) = delete;

  // Reads frames until the child closes its output, handing each payload to
  // onFrame; then waits for the child and checks how it ended.
  void Run(const TMdbReadLimits& limits, size_t maxBytes,
           const std::function<void(std::string_view)>& onFrame) {
    std::string buf;
    size_t consumed = 0;
    size_t total = 0;
    char chunk[65536];
    for (;;) {
      pollfd p{m_fd.Get(), POLLIN, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(limits.idleTimeout.count()));
      if (ready < 0) {
        if (errno == EINTR) continue;
        Damaged(m_file, std::strerror(errno));
      }
      if (ready == 0) {
        // No byte for the whole idle time: the reader is stuck in a loop.
        Damaged(m_file, Format("the reader stopped making progress (nothing for %d ms)",
                               {static_cast<long long>(limits.idleTimeout.count())}));
      }
      const ssize_t n = ::read(m_fd.Get(), chunk, sizeof chunk);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        Damaged(m_file, std::strerror(errno));
      }
      if (n == 0) break;
      total += static_cast<size_t>(n);
      if (total > maxBytes) Damaged(m_file, "the reader delivers far more data than the file holds");
      buf.append(chunk, static_cast<size_t>(n));
      // Hand over every complete frame.
      for (;;) {
        if (buf.size() - consumed < 4) break;
        uint32_t len;
        std::memcpy(&len, buf.data() + consumed, 4);
        if (len == 0 || len > maxBytes) Damaged(m_file, "the reader sent a malformed frame");
        if (buf.size() - consumed - 4 < len) break;
        onFrame(std::string_view(buf).substr(consumed + 4, len));
        consumed += 4 + len;
      }
      if (consumed > (1u << 20) && consumed * 2 > buf.size()) {
        buf.erase(0, consumed);
        consumed = 0;
      }
    }
    if (consumed != buf.size()) Damaged(m_file, "the reader stopped in the middle of a frame");
    m_fd.Reset();
    // The pipe is closed, so the child is exiting or gone; it is reaped here.
    const int status = Reap();
    if (WIFSIGNALED(status)) {
      const int sig = WTERMSIG(status);
      Damaged(m_file, Format("the reader crashed (%s)", {strsignal(sig)}));
    }
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  int ExitCode() const noexcept { return m_exitCode; }

 private:
  int Reap() {
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return status;
  }

  std::string m_file;
  pid_t m_pid = -1;
  UniqueFd m_fd;  // the read end of the frame pipe
  int m_exitCode = -1;
};

// The message of an error frame, with the file named.
[[noreturn]] void RaiseChildError(std::string_view payload, const std::string& file) {
  mdbwire::Reader r(payload.substr(1));
  const uint8_t code = r.U8();
  const std::string detail = Utf8ToAnsi(r.Str());
  switch (code) {
    case mdbwire::kCannotOpen:
      throw EDatabaseError(Format("Could not open file '%s': %s", {file, detail}));
    case mdbwire::kNotAccess:
      throw EDatabaseError(Format("'%s' is not an Access database (%s)", {file, detail}));
    case mdbwire::kNoTable:
      throw EDatabaseError(Format("Table '%s' not found in '%s'", {detail, file}));
    default:
      Damaged(file, detail);
  }
}

std::vector<std::string> ReaderArgs(const TMdbReadLimits& limits, const char* mode,
                                    const std::string& path) {
  return {"--memory-mb", std::to_string(limits.childMemoryMb), mode, path};
}

// A generous bound on what the child may send for a file of this size: the
// stored bytes plus a few bytes of framing per value.
size_t MaxBytesFor(const std::string& path) {
  struct stat st{};
  const size_t size = ::stat(path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
  return (size_t{256} << 20) + 32 * size;
}

void CheckFileExists(const std::string& path, const std::string& file) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      throw EDatabaseError(Format("Could not find file '%s'", {file}));
    throw EDatabaseError(Format("Could not open file '%s': %s", {file, std::strerror(errno)}));
  }
  if (S_ISDIR(st.st_mode))
    throw EDatabaseError(Format("'%s' is not an Access database (it is a folder)", {file}));
  // A pipe or device would block the reader's open (or never end); only a
  // regular file can be an Access database.
  if (!S_ISREG(st.st_mode))
    throw EDatabaseError(Format("'%s' is not an Access database (it is not a regular file)", {file}));
  if (st.st_size == 0) throw EDatabaseError(Format("'%s' is not an Access database (the file is empty)", {file}));
}

}  // namespace

TMdbCatalog MdbReadCatalog(const std::string& path, const std::string& displayName,
                           const TMdbReadLimits& limits) {
  CheckFileExists(path, displayName);
  TMdbCatalog catalog;
  bool ended = false;
  ReaderRun run(ReaderArgs(limits, "catalog", path), displayName);
  run.Run(limits, MaxBytesFor(path), [&](std::string_view frame) {
    mdbwire::Reader r(frame);
    const uint8_t kind = r.U8();
    if (kind == mdbwire::kError) RaiseChildError(frame, displayName);
    if (kind == mdbwire::kCatalog) {
      catalog.jetVersion = r.U8();
      const uint32_t count = r.U32();
      for (uint32_t i = 0; i < count && r.ok(); ++i) catalog.tables.emplace_back(r.Str());
    } else if (kind == mdbwire::kEnd) {
      r.U32();
      ended = true;
    } else {
      Damaged(displayName, "the reader sent an unexpected frame");
    }
    if (!r.ok() || !r.AtEnd()) Damaged(displayName, "the reader sent a malformed frame");
  });
  if (!ended) Damaged(displayName, "the reader ended early");
  return catalog;
}

TMdbTable MdbReadTable(const std::string& path, const std::string& displayName,
                       const std::string& tableName, const TMdbReadLimits& limits) {
  CheckFileExists(path, displayName);
  TMdbTable table;
  uint32_t storedRows = 0;
  bool haveDefinition = false;
  bool ended = false;
  std::vector<std::string> args = ReaderArgs(limits, "table", path);
  args.push_back(tableName);
  const std::string tableText = Utf8ToAnsi(tableName);
  ReaderRun run(args, displayName);
  run.Run(limits, MaxBytesFor(path), [&](std::string_view frame) {
    mdbwire::Reader r(frame);
    const uint8_t kind = r.U8();
    if (kind == mdbwire::kError) RaiseChildError(frame, displayName);
    if (kind == mdbwire::kTable && !haveDefinition) {
      haveDefinition = true;
      table.jetVersion = r.U8();
      table.codePage = r.U16();
      storedRows = r.U32();
      const uint16_t count = r.U16();
      for (uint16_t i = 0; i < count && r.ok(); ++i) {
        TMdbColumn c;
        c.name = std::string(r.Str());
        c.type = r.U8();
        c.size = r.U32();
        const uint8_t flags = r.U8();
        c.fixed = flags & mdbwire::kFixed;
        c.longAuto = flags & mdbwire::kLongAuto;
        c.uuidAuto = flags & mdbwire::kUuidAuto;
        c.precision = r.U8();
        c.scale = r.U8();
        table.columns.push_back(std::move(c));
      }
      // Rows are appended as they come; reserve for what the definition says
      // but never trust a damaged count with a huge allocation.
      table.cells.reserve(std::min<size_t>(storedRows, 1u << 16) * table.columns.size());
    } else if (kind == mdbwire::kRow && haveDefinition) {
      if (table.rowCount >= storedRows)
        Damaged(displayName, Format("table '%s' yields more rows than its definition holds", {tableText}));
      for (const TMdbColumn& c : table.columns) {
        TMdbCell cell;
        cell.null = r.U8() == 0;
        if (!cell.null) {
          const size_t fixed = mdbwire::FixedSize(c.type);
          cell.data = std::string(fixed ? r.Bytes(fixed) : r.Str());
        }
        table.cells.push_back(std::move(cell));
      }
      ++table.rowCount;
    } else if (kind == mdbwire::kEnd) {
      if (r.U32() != table.rowCount) Damaged(displayName, "the reader lost rows on the way");
      ended = true;
    } else {
      Damaged(displayName, "the reader sent an unexpected frame");
    }
    if (!r.ok() || !r.AtEnd()) Damaged(displayName, "the reader sent a malformed frame");
  });
  if (!ended || !haveDefinition) Damaged(displayName, "the reader ended early");
  // A file cut at a page boundary reads "successfully" with rows missing; the
  // stored count is the only witness.
  if (table.rowCount != storedRows)
    Damaged(displayName, Format("table '%s' holds %u rows but only %u can be read",
                                {tableText, storedRows, static_cast<unsigned>(table.rowCount)}));
  return table;
}
