// The component's one error type: a number and a description, raised as an exception and
// trapped only at the public boundary (UpdateOnlineState and the command's entry points).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace wq {

// Error numbers raised by the component's own code.
enum ErrorNumber : int32_t {
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kSubscriptOutOfRange = 9,
  kDivisionByZero = 11,
  kTypeMismatch = 13,
  kInvalidUseOfNull = 94,
  // Database layer errors that are not the engine's own (ADO's numbers for the same cases).
  kItemNotFound = 3265,       // no field of that name
  kObjectClosed = 3704,       // operation on a closed connection or result set
  kNoCurrentRecord = 3021,    // EOF or BOF
  kProviderError = -2147467259,  // E_FAIL: a database failure without a code of its own
};

class Error : public std::runtime_error {
 public:
  // description is UTF-8 text.
  Error(int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  int32_t number() const noexcept { return number_; }
  std::string description() const { return what(); }

  static Error SubscriptOutOfRange(const std::string& detail = {}) {
    return Error(kSubscriptOutOfRange, Join("Subscript out of range", detail));
  }
  static Error TypeMismatch(const std::string& detail = {}) {
    return Error(kTypeMismatch, Join("Type mismatch", detail));
  }
  static Error Overflow(const std::string& detail = {}) {
    return Error(kOverflow, Join("Overflow", detail));
  }
  static Error InvalidProcedureCall(const std::string& detail = {}) {
    return Error(kInvalidProcedureCall, Join("Invalid procedure call or argument", detail));
  }
  static Error InvalidUseOfNull(const std::string& detail = {}) {
    return Error(kInvalidUseOfNull, Join("Invalid use of Null", detail));
  }
  static Error DivisionByZero(const std::string& detail = {}) {
    return Error(kDivisionByZero, Join("Division by zero", detail));
  }

 private:
  static std::string Join(const char* base, const std::string& detail) {
    return detail.empty() ? std::string(base) : std::string(base) + ": " + detail;
  }
  int32_t number_;
};

// A failure reported by a database engine. number() is the engine's native code (or
// kProviderError when it has none); sqlstate() is the five-character SQLSTATE where the engine
// reports one. The description never contains a password.
class DatabaseError : public Error {
 public:
  DatabaseError(int32_t number, std::string sqlstate, const std::string& description)
      : Error(number, description), sqlstate_(std::move(sqlstate)) {}
  const std::string& sqlstate() const noexcept { return sqlstate_; }

 private:
  std::string sqlstate_;
};

}  // namespace wq
