// Shared helpers of the source tests: a scratch folder per test, Access files
// written into it with the Jet 4 writer, and the tool's connection string.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "jet4/Jet4Writer.h"

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return m_path; }
  std::string File(const std::string& name) const { return (m_path / name).string(); }
  // Writes the tables into `name` and returns its full path.
  std::string Write(const std::string& name, const std::vector<Jet4Table>& tables) const;
  // Writes raw bytes.
  std::string WriteBytes(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path m_path;
};

// The connection string the tool composes, for a given DBQ.
std::string ToolConnectionString(const std::string& dbq);

// Runs a command and returns its standard output (stderr discarded).
std::string RunCommand(const std::string& command);

// UTF-8 -> system code page, shorthand for expectations.
std::string Ansi(const std::string& utf8);
