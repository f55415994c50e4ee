// The exception classes of the program's runtime: every failure the program reports is an
// Exception with a message (UTF-8 in memory).
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace platform {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  // The class name, as the assignment error and reports name it.
  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string message_;
};

// A failed conversion or assignment ("Cannot assign a %s to a %s").
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EConvertError"; }
};

// A thread could not be created ("Thread creation error: %s").
class EThread : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EThread"; }
};

// A file could not be created, written or read; the message is the system's English text.
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EFCreateError"; }
};
class EWriteError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EWriteError"; }
};
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int code) : Exception(std::move(message)), ErrorCode(code) {}
  const char* ClassName() const override { return "EInOutError"; }
  int ErrorCode;
};

// The message of any exception: an Exception's message, a standard exception's what().
std::string ExceptionMessage(std::exception_ptr error);

}  // namespace platform
