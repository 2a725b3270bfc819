// The DPB and TPB name tables and the building of both parameter blocks from
// name=value lines.
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "fib/FIBDatabase.h"
#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/NumText.h"
#include "runtime/StrUtils.h"

namespace {

// Positions (1-based) are the isc_dpb_ codes.
constexpr std::array<std::string_view, 83> kDPBNames = {
    "cdd_pathname", "allocation", "journal", "page_size", "num_buffers", "buffer_length",
    "debug", "garbage_collect", "verify", "sweep", "enable_journal", "disable_journal",
    "dbkey_scope", "number_of_users", "trace", "no_garbage_collect", "damaged", "license",
    "sys_user_name", "encrypt_key", "activate_shadow", "sweep_interval", "delete_shadow",
    "force_write", "begin_log", "quit_log", "no_reserve", "user_name", "password",
    "password_enc", "sys_user_name_enc", "interp", "online_dump", "old_file_size",
    "old_num_files", "old_file", "old_start_page", "old_start_seqno", "old_start_file",
    "drop_walfile", "old_dump_id", "wal_backup_dir", "wal_chkptlen", "wal_numbufs",
    "wal_bufsize", "wal_grp_cmt_wait", "lc_messages", "lc_ctype", "cache_manager", "shutdown",
    "online", "shutdown_delay", "reserved", "overwrite", "sec_attach", "disable_wal",
    "connect_timeout", "dummy_packet_interval", "gbak_attach", "sql_role_name",
    "set_page_buffers", "working_directory", "sql_dialect", "set_db_readonly",
    "set_db_sql_dialect", "gfix_attach", "gstat_attach", "gbak_ods_version",
    "gbak_ods_minor_version", "set_group_commit", "gbak_validate", "client_interbase_var",
    "admin_option", "flush_interval", "instance_name", "old_overwrite", "archive_database",
    "archive_journals", "archive_sweep", "archive_dumps", "archive_recover", "recover_until",
    "force"};

// Positions (1-based) are the isc_tpb_ codes.
constexpr std::array<std::string_view, 21> kTPBNames = {
    "consistency", "concurrency", "shared", "protected", "exclusive", "wait", "nowait",
    "read", "write", "lock_read", "lock_write", "verb_time", "commit_time", "ignore_limbo",
    "read_committed", "autocommit", "rec_version", "no_rec_version", "restart_requests",
    "no_auto_undo", "no_savepoint"};

using TNameTable = std::vector<std::pair<std::string_view, int>>;

template <size_t N>
TNameTable SortedTable(const std::array<std::string_view, N>& names) {
  TNameTable table;
  for (size_t i = 0; i < N; ++i) table.emplace_back(names[i], static_cast<int>(i + 1));
  std::sort(table.begin(), table.end());
  return table;
}

int Lookup(const TNameTable& table, std::string_view name) {
  auto it = std::lower_bound(table.begin(), table.end(), name,
                             [](const auto& entry, std::string_view n) { return entry.first < n; });
  return it != table.end() && it->first == name ? it->second : 0;
}

// Built on first use; the layer's start-up touches them so that they exist
// before any component (transaction names first, then database names).
const TNameTable& TPBTable() {
  static const TNameTable table = SortedTable(kTPBNames);
  return table;
}
const TNameTable& DPBTable() {
  static const TNameTable table = SortedTable(kDPBNames);
  return table;
}

// One line split into its looked-up name and its value.
struct TParamLine {
  std::string name;   // lower case, prefix dropped
  std::string value;  // text after the first "=", untrimmed
};

TParamLine SplitLine(const std::string& line, std::string_view prefix) {
  const size_t eq = line.find('=');
  TParamLine result;
  result.name = LowerCaseAscii(eq == std::string::npos ? line : line.substr(0, eq));
  if (eq != std::string::npos) result.value = line.substr(eq + 1);
  if (result.name.compare(0, prefix.size(), prefix) == 0) result.name.erase(0, prefix.size());
  return result;
}

// The one-byte length of a string item cannot carry more than 255 bytes; a
// longer value would be cut and the rest read as further items.
void CheckItemLength(std::string_view kind, std::string_view name, const std::string& value) {
  if (value.size() > 255)
    FIBErrorText("%s Constant (%s) value is too long (%d bytes, at most 255).",
                 {kind, name, static_cast<int>(value.size())});
}

// Trims the line in the list itself; writing back only what the trim changed
// keeps an unchanged list from firing its change events (and their guards).
std::string TrimmedLine(TStrings& lines, int i) {
  std::string line = Trim(lines[i]);
  if (line != lines[i]) lines.SetStrings(i, line);
  return line;
}

}  // namespace

int DPBNameCode(std::string_view name) { return Lookup(DPBTable(), name); }
int TPBNameCode(std::string_view name) { return Lookup(TPBTable(), name); }

std::string_view DPBName(int code) {
  return code >= 1 && code <= static_cast<int>(kDPBNames.size()) ? kDPBNames[static_cast<size_t>(code - 1)]
                                                                  : std::string_view();
}
std::string_view TPBName(int code) {
  return code >= 1 && code <= static_cast<int>(kTPBNames.size()) ? kTPBNames[static_cast<size_t>(code - 1)]
                                                                  : std::string_view();
}

void InitFIBNameTables() {
  TPBTable();
  DPBTable();
}

std::string BuildDPB(TStrings& lines) {
  std::string dpb(1, static_cast<char>(isc_dpb_version1));
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string line = TrimmedLine(lines, i);
    if (line.empty()) continue;
    const TParamLine p = SplitLine(line, "isc_dpb_");
    const int code = DPBNameCode(p.name);
    if (code == 0) FIBError(feDPBConstantUnknown, {p.name});
    const char codeByte = static_cast<char>(code);
    switch (code) {
      case 18: case 19: case 20: case 28: case 29: case 30:
      case 36: case 47: case 48: case 60: case 75: {
        CheckItemLength("DPB", p.name, p.value);
        dpb += codeByte;
        dpb += static_cast<char>(p.value.size());
        dpb += p.value;
        break;
      }
      case 63: {  // sql_dialect: the digit's value, not the character
        CheckItemLength("DPB", p.name, p.value);
        std::string value = p.value;
        if (!value.empty()) value[0] = static_cast<char>(value[0] - '0');
        dpb += codeByte;
        dpb += static_cast<char>(value.size());
        dpb += value;
        break;
      }
      case 5: case 9: case 13: case 17: case 24: case 27:
      case 33: case 34: case 54: case 57: case 58: {
        // Read like any integer setting of the run time (blanks, sign, hex).
        const int32_t v = StrToInt(p.value);
        dpb += codeByte;
        dpb += '\x01';
        dpb += static_cast<char>(v & 0xFF);
        break;
      }
      case 22: {  // sweep_interval: 4 bytes, least significant first
        const uint32_t v = static_cast<uint32_t>(StrToInt(p.value));
        dpb += codeByte;
        dpb += '\x04';
        for (int k = 0; k < 4; ++k) dpb += static_cast<char>((v >> (8 * k)) & 0xFF);
        break;
      }
      case 8: case 16: case 21: case 23: case 25: case 26:
        dpb += codeByte;
        dpb += '\x01';
        dpb += '\x00';
        break;
      case 10:  // sweep
        dpb += codeByte;
        dpb += '\x01';
        dpb += '\x02';
        break;
      default:
        FIBError(feDPBConstantNotSupported, {DPBName(code)});
    }
  }
  // The attach call takes the length as a signed 16-bit number; a longer
  // buffer would reach the client as a negative length.
  if (dpb.size() > 32767)
    FIBErrorText("DPB is too long (%d bytes, at most 32767).", {static_cast<int>(dpb.size())});
  return dpb;
}

std::string BuildTPB(TStrings& lines) {
  if (lines.Count() == 0) return {};
  std::string tpb(1, static_cast<char>(isc_tpb_version3));
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string line = TrimmedLine(lines, i);
    if (line.empty()) continue;
    const TParamLine p = SplitLine(line, "isc_tpb_");
    const int code = TPBNameCode(p.name);
    if (code == 0) FIBError(feTPBConstantUnknown, {p.name});
    switch (code) {
      case 10: case 11:  // lock_read, lock_write: a table name
        CheckItemLength("TPB", p.name, p.value);
        tpb += static_cast<char>(code);
        tpb += static_cast<char>(p.value.size());
        tpb += p.value;
        break;
      // Firebird has no no_savepoint: its code 21 is lock_timeout there, which
      // would make the start fail with a message about something else.
      case 12: case 13: case 16: case 19: case 21:
        FIBError(feTPBConstantNotSupported, {TPBName(code)});
      default:
        tpb += static_cast<char>(code);
    }
  }
  return tpb;
}
