// Checking and writing the batch command's report file (see ReportFile.h).
#include "app/batch/ReportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "source/FileNameCase.h"
#include "source/MdbReader.h"

namespace fs = std::filesystem;

namespace {

// The file a target names on this machine, if any. As the Firebird client
// reads it, a colon after the first character makes the text "host:path"
// (or "host/port:path") for a server; only a server on this machine opens
// a local file then. URL forms (inet://...) are left to the server.
std::optional<std::string> LocalTargetFile(const std::string& target) {
  if (target.find("://") != std::string::npos) return std::nullopt;
  const size_t colon = target.find(':');
  if (colon == std::string::npos || colon == 0) return target;
  const std::string host = target.substr(0, target.find_first_of("/:"));
  if (host == "localhost" || host == "127.0.0.1") return target.substr(colon + 1);
  return std::nullopt;
}

// Where the report goes: a symbolic link's destination (the link stays),
// else the path as given.
fs::path Destination(const std::string& report) {
  std::error_code ec;
  if (fs::is_symlink(report, ec)) {
    const fs::path resolved = fs::weakly_canonical(report, ec);
    if (!ec) return resolved;
  }
  return report;
}

fs::path FolderOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

// An existing file that is no regular one (a device, a pipe): written
// straight, as a stream cannot be replaced.
bool IsStream(const fs::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool SameFile(const fs::path& a, const fs::path& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  // A file that is not there yet is the same as its path.
  std::error_code ea, eb;
  const fs::path ca = fs::weakly_canonical(a, ea), cb = fs::weakly_canonical(b, eb);
  return !ea && !eb && ca == cb;
}

// A new file beside `file` (mode 0600, open on `fd`); empty path on failure.
fs::path TemporaryBeside(const fs::path& file, int& fd) {
  std::string name = (FolderOf(file) / ("." + file.filename().string() + ".XXXXXX")).string();
  fd = ::mkstemp(name.data());
  return fd < 0 ? fs::path() : fs::path(name);
}

std::string WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::strerror(errno);
    done += static_cast<size_t>(n);
  }
  return {};
}

}  // namespace

std::vector<TRunFile> FilesTheRunReads(const TBatchOptions& options) {
  std::vector<TRunFile> files;
  std::string source = options.source;
  try {
    source = ResolveFileNameCase(options.source, options.source);
  } catch (...) {
    // Several files match: the run will say so; the path as given is checked.
  }
  files.push_back({"the source", source});
  if (const auto target = LocalTargetFile(options.target)) files.push_back({"the target database", *target});
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) files.push_back({"the program", self.string()});
  if (const std::string reader = MdbReaderExecutable(); !reader.empty()) files.push_back({"the Access reader", reader});
  return files;
}

void CheckReportFile(const std::string& report, const std::vector<TRunFile>& runFiles) {
  std::error_code ec;
  if (fs::is_directory(report, ec)) throw EBatchUsage("the report " + report + " is a folder");
  for (const TRunFile& file : runFiles)
    if (SameFile(report, file.path))
      throw EBatchUsage("the report " + report + " would replace " + file.role + " " + file.path);
  const fs::path destination = Destination(report);
  if (IsStream(destination)) return;
  const fs::path folder = FolderOf(destination);
  if (!fs::is_directory(folder, ec))
    throw EBatchUsage("the report's folder " + folder.string() + " does not exist");
  // Only making a file there tells for sure (a read-only mount, a folder
  // the permissions close, a pseudo file system).
  int fd = -1;
  const fs::path probe = TemporaryBeside(destination, fd);
  if (fd < 0)
    throw EBatchUsage("the report cannot be written in the folder " + folder.string() + ": " + std::strerror(errno));
  ::close(fd);
  ::unlink(probe.c_str());
}

std::string WriteFileWhole(const std::string& report, const std::string& text) {
  const fs::path destination = Destination(report);
  auto failed = [&](const std::string& why) { return "cannot write the report " + report + ": " + why; };
  if (IsStream(destination)) {
    std::ofstream out(destination, std::ios::binary);
    if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (out) out.close();
    return out ? std::string() : failed(std::strerror(errno));
  }
  int fd = -1;
  const fs::path temporary = TemporaryBeside(destination, fd);
  if (fd < 0) return failed(std::strerror(errno));
  // An existing report keeps its permissions; a new one gets the usual ones.
  struct stat st {};
  mode_t mode = 0;
  if (::stat(destination.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::string why = WriteAll(fd, text);
  if (why.empty() && (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)) why = std::strerror(errno);
  if (::close(fd) != 0 && why.empty()) why = std::strerror(errno);
  if (why.empty() && ::rename(temporary.c_str(), destination.c_str()) != 0) why = std::strerror(errno);
  if (why.empty()) return {};
  ::unlink(temporary.c_str());
  return failed(why);
}
