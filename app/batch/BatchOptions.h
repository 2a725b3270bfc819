// The batch command's command line: what to transfer from where to where,
// and how to tell about it.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// A command line the command cannot run: the message says what is wrong.
class EBatchUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TReportFormat { Csv, Json };

struct TBatchOptions {
  std::string source;  // the Access file (UTF-8 path)
  std::string target;  // the target database as the window's path box takes it
  // Empty: ISC_USER / ISC_PASSWORD where set, else the stored login.
  std::string user;
  std::string password;
  bool articles = true;  // "Prepisi u artile"
  bool markings = true;  // "Prepisi HP oznake"
  bool quiet = false;
  bool dryRun = false;
  bool strict = false;  // a changed value refuses its row
  std::string reportFile;  // empty: no report
  TReportFormat reportFormat = TReportFormat::Csv;
  bool help = false;
  bool version = false;
};

// Exit codes: success, a run that failed (source or target not opened, a
// transfer stopped by an error, the report not written at the end), and a
// usage error (a bad report path too: found before anything runs).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Reads the arguments after the program name; short options may run
// together as with getopt ("-nq", "-qr FILE", "-rFILE"). Raises EBatchUsage for an
// unknown option, a missing value or operand, or a report format that is
// neither given nor told by the file's extension.
TBatchOptions ParseBatchOptions(const std::vector<std::string>& args);

// The --help text.
std::string BatchUsage();
