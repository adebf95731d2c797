// A column value as the database layer hands it over: null, a whole number, a real number, a
// text or a date and time.
#pragma once

#include <cstdint>
#include <variant>

#include "platform/text/text.h"

namespace wq::db {

struct Null {
  bool operator==(const Null&) const = default;
};

struct DateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  bool operator==(const DateTime&) const = default;
};

class Value {
 public:
  Value() = default;
  Value(Null) {}
  Value(int64_t v) : v_(v) {}
  Value(int32_t v) : v_(int64_t{v}) {}
  Value(int16_t v) : v_(int64_t{v}) {}
  Value(double v) : v_(v) {}
  Value(Text v) : v_(std::move(v)) {}
  Value(const char16_t* v) : v_(Text(v)) {}
  Value(DateTime v) : v_(v) {}

  bool IsNull() const { return std::holds_alternative<Null>(v_); }
  bool IsInteger() const { return std::holds_alternative<int64_t>(v_); }
  bool IsReal() const { return std::holds_alternative<double>(v_); }
  bool IsText() const { return std::holds_alternative<Text>(v_); }
  bool IsDateTime() const { return std::holds_alternative<DateTime>(v_); }

  int64_t integer() const { return std::get<int64_t>(v_); }
  double real() const { return std::get<double>(v_); }
  const Text& text() const { return std::get<Text>(v_); }
  const DateTime& date_time() const { return std::get<DateTime>(v_); }
  // Makes the value a text and returns it to be filled; a value that is a text already keeps its
  // storage, so a row read again and again allocates nothing.
  Text& SetText() {
    if (!IsText()) v_.emplace<Text>();
    return std::get<Text>(v_);
  }

  bool operator==(const Value&) const = default;

 private:
  std::variant<Null, int64_t, double, Text, DateTime> v_;
};

}  // namespace wq::db
