// The layer's exceptions: client error table, message composition and
// raising from the status vector.
#include "fib/fib.h"

#include <array>
#include <mutex>
#include <vector>

#include "fib/IB_Intf.h"
#include "runtime/CodePage.h"
#include "runtime/Component.h"

namespace {

constexpr std::array<std::string_view, kClientErrorCount> kClientErrors = {
    "Unknown error.",                                                        // 0
    "Unsupported feature.",                                                  // 1
    "Not permitted.",                                                        // 2
    "Temporary file access error.",                                          // 3
    "Database connection timed out.",                                        // 4
    "Cannot set database.",                                                  // 5
    "Cannot set transaction.",                                               // 6
    "Operation cancelled at user's request.",                                // 7
    "DPB Constant (isc_dpb_%s) is unsupported.",                             // 8
    "DPB Constant (%s) is unknown.",                                         // 9
    "TPB Constant (isc_tpb_%s) is unsupported.",                             // 10
    "TPB Constant (%s) is unknown.",                                         // 11
    "%s: Cannot perform operation -- DB is not open.",                       // 12
    "Cannot perform operation -- DB is currently open.",                     // 13
    "Database name is missing.",                                             // 14
    "%s :Transaction is not active.",                                        // 15
    "%s :Transaction is active.",                                            // 16
    "Timeout values cannot be negative.",                                    // 17
    "%s :No databases are listed in transaction component.",                 // 18
    "%s :Updating wrong database.",                                          // 19
    "%s :Updating wrong transaction.",                                       // 20
    "Database not assigned for %s.",                                         // 21
    "Transaction not assigned for %s.",                                      // 22
    "XSQLDA index out of range.",                                            // 23
    "XSQLDA name does not exist (%s).",                                      // 24
    "End of file.",                                                          // 25
    "Beginning of file.",                                                    // 26
    "%s:Invalid statement handle.",                                          // 27
    "Can't %s because %s dataset open.",                                     // 28
    "Can't %s because %s dataset closed.",                                   // 29
    "Unknown SQL Data type (%d).",                                           // 30
    "Invalid column index (index exceeds permitted range).",                 // 31
    "Invalid parameter index (index exceeds permitted range).",              // 32
    "Invalid data conversion.",                                              // 33
    "Column cannot be set to null (%s)",                                     // 34
    "Blob stream cannot be read.",                                           // 35
    "Blob stream cannot be written.",                                        // 36
    "Can't %s , because  query is empty",                                    // 37
    "Can't \"open\" a non-select statement. Use ExecQuery.",                 // 38
    "No access to field \"%s\".",                                            // 39
    "Field \"%s\" is read-only.",                                            // 40
    "Field \"%s\" not found.",                                               // 41
    "DataSet not in Edit or Insert mode.(%s)",                               // 42
    "Not editing.",                                                          // 43
    "Can't insert into dataset. (%s)",                                       // 44
    "Can't post. (%s) ",                                                     // 45
    "Can't update. (%s)",                                                    // 46
    "Can't delete from dataset. (%s)",                                       // 47
    "Can't refresh row. (%s)",                                               // 48
    "Buffer not set.",                                                       // 49
    "Circular references not permitted.(%s)",                                // 50
    "SQL Parse Error in :%s \r\n\r\n%s",                                     // 51
    "User abort.",                                                           // 52
    "Data set is uni-directional.",                                          // 53
    "Cannot create shared resource. (Windows error %d)",                     // 54
    "Windows API error. (Windows error %d [$%.8x])",                         // 55
    "Column lists do not match.",                                            // 56
    "Column types don't match. (From index: %d, To index: %d)",              // 57
    "Can't end a shared transaction unless it is forced and equal to the transaction's TimeoutAction.",  // 58
    "Column types \"%s\" is not array field",                                // 59
    "Dimension %d don't exist in \"%s\" ",                                   // 60
    "SQL Dialect invalid",                                                   // 61
    "InterBase library gds32.dll not found in the path. Please install InterBase to use this functionality",  // 62
    "%s is an InterBase6 function. Please upgrade to InterBase6 to use this functonality",  // 63
    "InterBase Install DLL ibinstall.dll not found in the path. Please install InterBase 6 to use this functionality",  // 64
    "Cannot perform operation -- service is not attached",                   // 65
    "Cannot perform operation -- service is attached",                       // 66
    "Server Name Missing",                                                   // 67
    "Query Parameters missing or incorrect",                                 // 68
    "Start Parameters missing or incorrect",                                 // 69
    "Unexpected Output buffer value",                                        // 70
    "Generic ServiceStart not applicable: Use Specific Procedures to set configuration params",  // 71
    "SPB Constant Not supported",                                            // 72
    "SPB Constant Unknown",                                                  // 73
    "Field Size too small. Field %s.%s",                                     // 74
    "%s. Can't use limited cache. \r\nCachedUpdates must be False,\r\nSelect must have \"Order by\" clause ,\r\nAll order fields must exist in fields section\r\nSelect can't use params with prefix \"NEW_\"\r\nUpdateTransaction must be equel Transaction or AutoCommit=True ",  // 75
    "Error in %s. FieldList is empty.",                                      // 76
    "%s can't use field \"%s\"",                                             // 77
    "%s is an Firebird 2 function. Please upgrade to Firebird 2 to use this functonality",  // 78
};
static_assert(kClientErrors.size() == 79);

// The error lock guards ErrorMessageParts. A function-local static so it
// exists before any other static object of the layer can raise.
std::mutex& ErrorLock() {
  static std::mutex lock;
  return lock;
}
TErrorMessageParts g_errorMessageParts = kAllErrorMessageParts;

// The SQL message buffer length passed to isc_sql_interprete, and the
// buffer each server fragment is read into.
constexpr short kSqlMessageBuffer = 1024;
constexpr size_t kServerFragmentBuffer = 20480;

}  // namespace

std::string_view ClientErrorText(int code) noexcept {
  // Codes wrap at 128 like the byte they once were; 79..127 name no text.
  const int index = ((code % 128) + 128) % 128;
  if (index >= kClientErrorCount) return {};
  return kClientErrors[static_cast<size_t>(index)];
}

TErrorMessageParts ErrorMessageParts() {
  std::lock_guard lock(ErrorLock());
  return g_errorMessageParts;
}

void SetErrorMessageParts(TErrorMessageParts parts) {
  std::lock_guard lock(ErrorLock());
  g_errorMessageParts = parts;
}

std::string TidySqlMessage(std::string_view raw) {
  std::string text;
  text.reserve(raw.size() + 3);
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == 'n') {
      ++i;
      continue;
    }
    text += raw[i];
  }
  if (text.empty()) return text;
  text[0] = UpperCaseAscii(text[0]);
  if (text.back() != '.') text += ".\r\n";
  return text;
}

std::string JoinServerFragments(const std::function<bool(std::string& fragment)>& next) {
  std::string result;
  std::string fragment;
  while (next(fragment)) {
    if (fragment.empty()) continue;
    fragment[0] = UpperCaseAscii(fragment[0]);
    result += fragment;
    if (result.back() != '.') result += '.';
    result += "\r\n";
  }
  return result;
}

std::string ComposeFIBMessage(TErrorMessageParts parts, std::string_view raiserName,
                              std::string_view sqlMessage, std::string_view serverMessage,
                              std::string_view customMessage, std::string_view errorText) {
  std::string message;
  if ((parts & empRaiserName) && raiserName.size() >= 2) {
    message += raiserName;
    message += ":\r\n";
  }
  if (parts & empSqlMessage) message += sqlMessage;
  if (parts & empServerMessage) message += serverMessage;
  if (!customMessage.empty()) message += customMessage;
  message += errorText;
  return message;
}

EFIBError::EFIBError(int sqlCode, TComponent* sender, const std::string& errorText)
    : EDatabaseError(std::string()), m_sqlCode(sqlCode), m_sender(sender) {
  m_serverErrorCode = static_cast<int>(StatusVector()[1]);
  if (sender) m_raiserName = sender->FullComponentName();
  SetErrorText(errorText);
}

EFIBError::EFIBError(int sqlCode, TComponent* sender, const std::string& customMessage,
                     const std::string& sqlMessage, const std::string& serverMessage)
    : EDatabaseError(std::string()),
      m_sqlCode(sqlCode),
      m_sqlMessage(sqlMessage),
      m_serverMessage(serverMessage),
      m_customMessage(customMessage),
      m_sender(sender) {
  m_serverErrorCode = static_cast<int>(StatusVector()[1]);
  if (sender) m_raiserName = sender->FullComponentName();
  SetErrorText(std::string());
}

void EFIBError::SetErrorText(const std::string& text) {
  m_errorText = text;
  Compose();
}

void EFIBError::Compose() {
  SetMessage(ComposeFIBMessage(ErrorMessageParts(), m_raiserName, m_sqlMessage, m_serverMessage,
                               m_customMessage, m_errorText));
}

void FIBError(int code, std::initializer_list<FormatArg> args) {
  throw EFIBClientError(code, nullptr, Format(ClientErrorText(code), args));
}

void FIBErrorText(std::string_view format, std::initializer_list<FormatArg> args) {
  throw EFIBClientError(-1, nullptr, Format(format, args));
}

void IBError(IIBClientLibrary& lib, TComponent* sender) {
  ISC_STATUS* vector = StatusVector();
  const TErrorMessageParts parts = ErrorMessageParts();
  const int code = static_cast<int>(lib.isc_sqlcode(vector));

  std::string sqlMessage;
  if (parts & empSqlMessage) {
    char buffer[kSqlMessageBuffer + 1] = {};
    lib.isc_sql_interprete(static_cast<short>(code), buffer, kSqlMessageBuffer);
    buffer[kSqlMessageBuffer] = '\0';
    sqlMessage = TidySqlMessage(buffer);
  }

  std::string serverMessage;
  if (parts & empServerMessage) {
    // The client reads the vector through the cursor and advances it; it
    // stops at the vector's end marker.
    ISC_STATUS* cursor = vector;
    std::vector<char> buffer(kServerFragmentBuffer);
    serverMessage = JoinServerFragments([&](std::string& fragment) {
      buffer[0] = '\0';
      if (lib.isc_interprete(buffer.data(), &cursor) <= 0) return false;
      buffer.back() = '\0';
      fragment = buffer.data();
      return true;
    });
  }
  throw EFIBInterBaseError(code, sender, std::string(), sqlMessage, serverMessage);
}
