#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace talvenor::records {

// A value as the importers and the data-access layer hand it around. Null (no
// value in the database sense) and Empty (never assigned) are different states:
// an empty key means "no record", a Null field is stored as SQL NULL.
// Keys are whole numbers carried as doubles (13 digits stay exact).
class Value {
 public:
  enum class Kind { kEmpty, kNull, kText, kNumber, kDateTime };

  Value() = default;
  static Value Empty() { return Value(); }
  static Value Null() { return Value(Kind::kNull); }
  static Value Text(std::string text) {
    Value v(Kind::kText);
    v.text_ = std::move(text);
    return v;
  }
  static Value Number(double number) {
    Value v(Kind::kNumber);
    v.number_ = number;
    return v;
  }
  // Days since 30 December 1899, time of day as the fraction.
  static Value DateTime(double serial) {
    Value v(Kind::kDateTime);
    v.number_ = serial;
    return v;
  }

  Kind kind() const { return kind_; }
  bool IsEmpty() const { return kind_ == Kind::kEmpty; }
  bool IsNull() const { return kind_ == Kind::kNull; }
  bool IsText() const { return kind_ == Kind::kText; }
  bool IsNumber() const { return kind_ == Kind::kNumber; }
  bool IsDateTime() const { return kind_ == Kind::kDateTime; }
  // Neither Empty nor Null.
  bool HasValue() const { return kind_ != Kind::kEmpty && kind_ != Kind::kNull; }

  // Only meaningful for the kind that holds them.
  const std::string& text() const { return text_; }
  double number() const { return number_; }

  // The value's text form: texts as they are, numbers in plain decimal without
  // a trailing ".0" (12345, 4636462783123, 0.5), date-times in the general
  // date form, Null and Empty as the empty text.
  std::string ToText() const;

  friend bool operator==(const Value& a, const Value& b) {
    return a.kind_ == b.kind_ && a.text_ == b.text_ && a.number_ == b.number_;
  }

 private:
  explicit Value(Kind kind) : kind_(kind) {}

  Kind kind_ = Kind::kEmpty;
  std::string text_;
  double number_ = 0;
};

// Writes a number in plain decimal: whole numbers without exponent or ".0",
// others with up to 15 significant digits (the way the platform's CStr does).
std::string NumberToText(double number);

}  // namespace talvenor::records
