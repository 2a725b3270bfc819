// Command-line parsing of the batch command: GNU-style long options (also
// "--name=value"), operands in any position, "--" ending the options.
#include "app/batch/BatchOptions.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

}  // namespace

TBatchOptions ParseBatchOptions(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;  // grouped short options get split in place
  TBatchOptions options;
  std::vector<std::string> operands;
  bool onlyArticles = false, onlyMarkings = false;
  std::optional<std::string> format;
  bool optionsEnded = false;

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    } else if (arg[1] != '-' && arg.size() > 2) {
      // Short options run together as getopt takes them: "-nq" is "-n -q";
      // one that takes a value takes the rest of the word ("-rout.csv"),
      // else the next argument ("-qr out.csv").
      name = arg.substr(0, 2);
      const bool takesValue = name == "-u" || name == "-p" || name == "-r";
      if (takesValue) inlineValue = arg.substr(2);
      else args.insert(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, "-" + arg.substr(2));
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw EBatchUsage("option " + name + " needs a value");
      return args[++i];
    };
    auto flag = [&](bool& target) {
      if (inlineValue) throw EBatchUsage("option " + name + " takes no value");
      target = true;
    };

    if (name == "-h" || name == "--help") flag(options.help);
    else if (name == "--version") flag(options.version);
    else if (name == "-q" || name == "--quiet") flag(options.quiet);
    else if (name == "-n" || name == "--dry-run") flag(options.dryRun);
    else if (name == "--strict") flag(options.strict);
    else if (name == "--articles") flag(onlyArticles);
    else if (name == "--markings") flag(onlyMarkings);
    else if (name == "-u" || name == "--user") options.user = value();
    else if (name == "-p" || name == "--password") options.password = value();
    else if (name == "-r" || name == "--report") options.reportFile = value();
    else if (name == "--report-format") format = value();
    else throw EBatchUsage("unknown option " + name);
  }
  if (options.help || options.version) return options;

  if (operands.size() != 2)
    throw EBatchUsage(operands.size() < 2 ? "the source file and the target database are both needed"
                                          : "too many operands: " + operands[2]);
  options.source = operands[0];
  options.target = operands[1];
  if (options.source.empty()) throw EBatchUsage("the source file name is empty");
  if (options.target.empty()) throw EBatchUsage("the target database name is empty");
  // Naming one transfer runs only that one; naming none (or both) runs both.
  if (onlyArticles != onlyMarkings) {
    options.articles = onlyArticles;
    options.markings = onlyMarkings;
  }

  if (format) {
    if (options.reportFile.empty()) throw EBatchUsage("--report-format without --report");
    if (*format == "csv") options.reportFormat = TReportFormat::Csv;
    else if (*format == "json") options.reportFormat = TReportFormat::Json;
    else throw EBatchUsage("unknown report format " + *format + " (csv or json)");
  } else if (!options.reportFile.empty()) {
    const std::string ext = LowerExtension(options.reportFile);
    if (ext == "csv") options.reportFormat = TReportFormat::Csv;
    else if (ext == "json") options.reportFormat = TReportFormat::Json;
    else throw EBatchUsage("cannot tell the report format from " + options.reportFile +
                           ": name a .csv or .json file, or give --report-format");
  }
  return options;
}

std::string BatchUsage() {
  return R"(Usage: mdb2fb [options] SOURCE.mdb TARGET

Moves the product data of an Access file into a Firebird database: the
extra data of the articles ("Prepisi u artile"), then the marking list
("Prepisi HP oznake"), exactly as the window's buttons do.

  SOURCE.mdb            the Access file (any path and name)
  TARGET                the Firebird database as the window's path box takes
                        it: a file path (embedded engine), host:path or
                        host/port:path

Options (short ones may run together: -nq):
  -u, --user NAME       user name (default: ISC_USER, else the stored one)
  -p, --password TEXT   password (default: ISC_PASSWORD, else the stored one)
      --articles        run only the article transfer
      --markings        run only the marking transfer
  -n, --dry-run         write nothing: list the rows that would be written and
                        warn about rows already present in the target
      --strict          refuse a row whose value the target would change (cut
                        to the column's length, or characters its character
                        set cannot hold) instead of writing it changed
  -r, --report FILE     write the summary, the messages and the rows to FILE,
                        as CSV or JSON after its extension (.csv, .json);
                        written whole at the end, never over the source,
                        the target or a file the run reads
      --report-format csv|json
                        the report's format whatever the file's extension
  -q, --quiet           no progress and no summary; the error list's lines
                        and the errors still go to stderr
  -h, --help            this text
      --version         the version

Progress goes to stderr: a bar when stderr is a terminal, otherwise a line
every 10% and at the end. The summary goes to stdout.

Exit status:
  0  every transfer asked for ran to its end (rows refused by the database
     are listed, as in the window, and do not change the status)
  1  the source or the target could not be opened, a transfer stopped with
     an error, or the report could not be written
  2  wrong usage, a report file that cannot be written (its folder missing
     or closed) or would replace a file the run reads; nothing ran
)";
}
