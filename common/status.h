// The one way the tools report failure. An operation that can fail returns
// a Status: OK, or a code and a message that names what failed (the file,
// the field, the value) and why, in words an operator can act on.
#pragma once

#include <string>
#include <utility>

namespace common {

class [[nodiscard]] Status {
 public:
  enum class Code {
    kOk,
    kNotFound,         // a file, folder or record that is not there
    kIOError,          // the system refused or failed an operation
    kOutOfRange,       // a value that does not fit its field or table
    kInvalidArgument,  // input the caller should not have given
    kNotSupported,     // something the tools deliberately do not do
    kAborted,          // stopped on request before the end
    kChanged,          // a file that another program changed while the tool worked on it
  };

  // OK.
  Status() = default;
  static Status OK() { return Status(); }
  static Status NotFound(std::string message, int sysError = 0) {
    return {Code::kNotFound, std::move(message), sysError};
  }
  static Status IOError(std::string message, int sysError = 0) {
    return {Code::kIOError, std::move(message), sysError};
  }
  static Status OutOfRange(std::string message) { return {Code::kOutOfRange, std::move(message)}; }
  static Status InvalidArgument(std::string message) {
    return {Code::kInvalidArgument, std::move(message)};
  }
  static Status NotSupported(std::string message, int sysError = 0) {
    return {Code::kNotSupported, std::move(message), sysError};
  }
  static Status Aborted(std::string message) { return {Code::kAborted, std::move(message)}; }
  static Status Changed(std::string message) { return {Code::kChanged, std::move(message)}; }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  bool IsNotFound() const { return code_ == Code::kNotFound; }
  bool IsAborted() const { return code_ == Code::kAborted; }
  bool IsChanged() const { return code_ == Code::kChanged; }
  // The system's error number behind the failure (errno), 0 when there is none.
  int sysError() const { return sysError_; }
  // "" for OK.
  const std::string& message() const { return message_; }
  // "OK", or the message.
  std::string ToString() const { return ok() ? "OK" : message_; }

  // The same failure with `context` in front of its message ("context: message").
  Status WithContext(const std::string& context) const;

  // Marks a failure the caller has decided it may pass over; the call site
  // says why.
  void IgnoreError() const {}

 private:
  Status(Code code, std::string message, int sysError = 0)
      : code_(code), sysError_(sysError), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  int sysError_ = 0;
  std::string message_;
};

// The system's text for an error number (strerror).
std::string ErrnoText(int err);

// A failed system call: "<context>: <the system's text>". ENOENT and ENOTDIR
// are NotFound, every other number IOError; the number is kept.
Status PosixError(const std::string& context, int err);

}  // namespace common
