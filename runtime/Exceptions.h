// The exception classes every layer raises. Failures travel between layers as
// exceptions carrying a message text; there are no error codes.
#pragma once

#include <exception>
#include <string>

// Base of every exception of the system.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : m_message(std::move(message)) {}
  ~Exception() override = default;

  const std::string& Message() const noexcept { return m_message; }
  void SetMessage(std::string message) { m_message = std::move(message); }
  const char* what() const noexcept override { return m_message.c_str(); }
  // Class name as the framework shows it, e.g. "EDatabaseError".
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  std::string m_message;
};

#define RUNTIME_DECLARE_EXCEPTION(Name, Base)                            \
  class Name : public Base {                                             \
   public:                                                               \
    using Base::Base;                                                    \
    const char* ClassName() const noexcept override { return #Name; }    \
  }

// The silent exception: unwinds like any other, the message loop shows nothing.
// Derives directly from Exception, never from EDatabaseError.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EAbort"; }
};

RUNTIME_DECLARE_EXCEPTION(EDatabaseError, Exception);
RUNTIME_DECLARE_EXCEPTION(EConvertError, Exception);
RUNTIME_DECLARE_EXCEPTION(EVariantError, Exception);
RUNTIME_DECLARE_EXCEPTION(EVariantTypeCastError, EVariantError);
// Arithmetic failures (a float that does not fit a currency or integer).
RUNTIME_DECLARE_EXCEPTION(EMathError, Exception);
RUNTIME_DECLARE_EXCEPTION(EOverflow, EMathError);
RUNTIME_DECLARE_EXCEPTION(EInvalidOp, EMathError);

// An operating-system failure with the system's error code.
class EOSError : public Exception {
 public:
  EOSError(std::string message, int errorCode)
      : Exception(std::move(message)), m_errorCode(errorCode) {}
  int ErrorCode() const noexcept { return m_errorCode; }
  const char* ClassName() const noexcept override { return "EOSError"; }

 private:
  int m_errorCode;
};

// Raises the silent exception.
[[noreturn]] inline void Abort() { throw EAbort(); }
