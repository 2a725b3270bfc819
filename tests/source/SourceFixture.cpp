// Shared helpers of the source tests.
#include "SourceFixture.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "runtime/CodePage.h"

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "source_test_XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  m_path = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::Write(const std::string& name, const std::vector<Jet4Table>& tables) const {
  const std::string path = File(name);
  WriteJet4File(path, tables);
  return path;
}

std::string TempDir::WriteBytes(const std::string& name, const std::string& bytes) const {
  const std::string path = File(name);
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string ToolConnectionString(const std::string& dbq) {
  return "Provider=MSDASQL.1;Persist Security Info=True;User ID=admin;Extended Properties=\"DBQ=" +
         dbq +
         ";Driver={Microsoft Access Driver (*.mdb)};DriverId=25;FIL=MS Access"
         ";MaxBufferSize=2048;MaxScanRows=8;PageTimeout=5;SafeTransactions=0;Threads=3;UID=admin;"
         "UserCommitSync=Yes;\"";
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  ::pclose(p);
  return out;
}

std::string Ansi(const std::string& utf8) { return Utf8ToAnsi(utf8); }
