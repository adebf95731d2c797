// The component's one error type: a number and a description, raised as an exception and
// trapped only at the public boundary (UpdateOnlineState and the command's entry points). A
// failure reported by a database engine carries its database part in the same type, so a copy
// of the error keeps everything.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

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
  kItemNotFound = 3265,          // no field of that name
  kObjectClosed = 3704,          // operation on a closed connection or result set
  kNoCurrentRecord = 3021,       // EOF or BOF
  kProviderError = -2147467259,  // E_FAIL: a database failure without a code of its own
};

class Error : public std::runtime_error {
 public:
  // description is UTF-8 text.
  Error(int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  // A failure reported by a database engine: native is the engine's native code (kProviderError
  // when it has none), sqlstate the five-character SQLSTATE where the engine reports one (else
  // empty). The description never contains a password.
  static Error Database(int32_t native, std::string sqlstate, const std::string& description) {
    Error error(native, description);
    error.fromDatabase_ = true;
    error.sqlstate_ = std::move(sqlstate);
    return error;
  }

  // The error's number; for a database failure, the engine's native code.
  int32_t number() const noexcept { return number_; }
  std::string description() const { return what(); }
  // Whether the database engine reported the failure (Database), rather than the component.
  bool fromDatabase() const noexcept { return fromDatabase_; }
  // The database failure's SQLSTATE; empty when the engine gave none or for other errors.
  const std::string& sqlstate() const noexcept { return sqlstate_; }

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
  bool fromDatabase_ = false;
  std::string sqlstate_;
};

}  // namespace wq
