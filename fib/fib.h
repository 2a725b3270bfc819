// Exceptions of the Firebird access layer: EFIBError and its server and client
// kinds, the numbered client error texts, the process-wide choice of message
// parts, and the routine that turns a failed call's status vector into an
// exception with a readable message.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "runtime/Exceptions.h"
#include "runtime/Format.h"

class TComponent;
class IIBClientLibrary;

// Client-side faults by number; the number indexes the client error table.
enum TFIBClientError : int {
  feUnknownError = 0,
  feUnsupportedFeature = 1,
  feNotPermitted = 2,
  feFileAccessError = 3,
  feConnectionTimeout = 4,
  feCannotSetDatabase = 5,
  feCannotSetTransaction = 6,
  feOperationCancelled = 7,
  feDPBConstantNotSupported = 8,
  feDPBConstantUnknown = 9,
  feTPBConstantNotSupported = 10,
  feTPBConstantUnknown = 11,
  feDatabaseClosed = 12,
  feDatabaseOpen = 13,
  feDatabaseNameMissing = 14,
  feNotInTransaction = 15,
  feInTransaction = 16,
  feTimeoutNegative = 17,
  feNoDatabasesInTransaction = 18,
  feUpdateWrongDB = 19,
  feUpdateWrongTR = 20,
  feDatabaseNotAssigned = 21,
  feTransactionNotAssigned = 22,
  feXSQLDAIndexOutOfRange = 23,
  feXSQLDANameDoesNotExist = 24,
  feEOF = 25,
  feBOF = 26,
  feInvalidStatementHandle = 27,
  feSQLOpen = 28,
  feSQLClosed = 29,
  feUnknownSQLDataType = 30,
  feInvalidColumnIndex = 31,
  feInvalidParamColumnIndex = 32,
  feInvalidDataConversion = 33,
  feColumnIsNotNullable = 34,
  feBlobCannotBeRead = 35,
  feBlobCannotBeWritten = 36,
  feEmptyQuery = 37,
  feCannotOpenNonSQLSelect = 38,
  feNoFieldAccess = 39,
  feFieldReadOnly = 40,
  feFieldNotFound = 41,
  feNotInEditMode = 42,
  feNotEditing = 43,
  feCannotInsert = 44,
  feCannotPost = 45,
  feCannotUpdate = 46,
  feCannotDelete = 47,
  feCannotRefresh = 48,
  feBufferNotSet = 49,
  feCircularReference = 50,
  feSQLParseError = 51,
  feUserAbort = 52,
  feDataSetUniDirectional = 53,
  feCannotCreateSharedResource = 54,
  feWindowsAPIError = 55,
  feColumnListsDontMatch = 56,
  feColumnTypesDontMatch = 57,
  feCantEndSharedTransaction = 58,
  feFieldIsNotArray = 59,
  feDimensionDoesNotExist = 60,
  feSQLDialectInvalid = 61,
  feIB60feature = 62,
  feIB60function = 63,
  feIBInstallMissing = 64,
  feServiceNotAttached = 65,
  feServiceAttached = 66,
  feServerNameMissing = 67,
  feQueryParamsError = 68,
  feStartParamsError = 69,
  feOutputParsingError = 70,
  feUseSpecificProcedures = 71,
  feSPBConstantNotSupported = 72,
  feSPBConstantUnknown = 73,
  feFieldSizeError = 74,
  feCantUseLimitedCache = 75,
  feFieldListEmpty = 76,
  feCantUseField = 77,
  feFB2function = 78,
};
inline constexpr int kClientErrorCount = 79;
// The format text of a client error; codes are taken modulo 128, and a code
// past the table (79..127) gives an empty text.
std::string_view ClientErrorText(int code) noexcept;

// Which parts the composed message of an EFIBError shows.
enum TErrorMessagePart : uint8_t {
  empRaiserName = 1,
  empSqlMessage = 2,
  empServerMessage = 4,
};
using TErrorMessageParts = uint8_t;  // a set of TErrorMessagePart bits
inline constexpr TErrorMessageParts kAllErrorMessageParts =
    empRaiserName | empSqlMessage | empServerMessage;
// Process-wide, read and written under the layer's error lock. All three
// parts at start-up; nothing in the tool changes it.
TErrorMessageParts ErrorMessageParts();
void SetErrorMessageParts(TErrorMessageParts parts);

// Base of the layer's exceptions. The message is never set directly: it is
// recomposed from the fields whenever ErrorText is assigned.
class EFIBError : public EDatabaseError {
 public:
  // (a) from code, sender and error text.
  EFIBError(int sqlCode, TComponent* sender, const std::string& errorText);
  // (b) from code, sender, custom, SQL and server messages; the error text is empty.
  EFIBError(int sqlCode, TComponent* sender, const std::string& customMessage,
            const std::string& sqlMessage, const std::string& serverMessage);
  const char* ClassName() const noexcept override { return "EFIBError"; }

  int SqlCode() const noexcept { return m_sqlCode; }
  // Entry 1 of the thread's status vector when the exception was built.
  int ServerErrorCode() const noexcept { return m_serverErrorCode; }
  const std::string& RaiserName() const noexcept { return m_raiserName; }
  const std::string& SqlMessage() const noexcept { return m_sqlMessage; }
  const std::string& ServerMessage() const noexcept { return m_serverMessage; }
  const std::string& CustomMessage() const noexcept { return m_customMessage; }
  const std::string& ErrorText() const noexcept { return m_errorText; }
  void SetErrorText(const std::string& text);  // recomposes the message
  TComponent* Sender() const noexcept { return m_sender; }  // not owned; may dangle after the sender dies

 private:
  void Compose();

  int m_sqlCode = 0;
  int m_serverErrorCode = 0;
  std::string m_raiserName;
  std::string m_sqlMessage;
  std::string m_serverMessage;
  std::string m_customMessage;
  std::string m_errorText;
  TComponent* m_sender = nullptr;
};

// A failed client call reported by the server (SqlCode from isc_sqlcode).
class EFIBInterBaseError : public EFIBError {
 public:
  using EFIBError::EFIBError;
  const char* ClassName() const noexcept override { return "EFIBInterBaseError"; }
};

// A fault found on the client side (SqlCode = table number, or -1 for free text).
class EFIBClientError : public EFIBError {
 public:
  using EFIBError::EFIBError;
  const char* ClassName() const noexcept override { return "EFIBClientError"; }
};

// Raises EFIBClientError with the table text of `code` formatted with `args`
// and SqlCode = code; no sender, so no raiser name in the message.
[[noreturn]] void FIBError(int code, std::initializer_list<FormatArg> args = {});
// The same with the caller's own format text and SqlCode = -1.
[[noreturn]] void FIBErrorText(std::string_view format, std::initializer_list<FormatArg> args = {});

// Raises EFIBInterBaseError built from the calling thread's status vector,
// using `lib` to interpret it, with `sender` as raiser.
[[noreturn]] void IBError(IIBClientLibrary& lib, TComponent* sender);

// The pure pieces of the message composition, exposed for tests.
// Tidies isc_sql_interprete's text: drops every backslash-n pair, capitalises
// a leading a-z, and ends a text without a final "." with ".\r\n".
std::string TidySqlMessage(std::string_view raw);
// Joins the server fragments: each non-empty one gets a capital first letter,
// a "." when the text so far does not end with one, and "\r\n". `next` fills
// the fragment and returns false when there is none left.
std::string JoinServerFragments(const std::function<bool(std::string& fragment)>& next);
// The message of an EFIBError from its parts as `parts` selects them.
std::string ComposeFIBMessage(TErrorMessageParts parts, std::string_view raiserName,
                              std::string_view sqlMessage, std::string_view serverMessage,
                              std::string_view customMessage, std::string_view errorText);
