#include "records/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "records/date_time.h"

namespace talvenor::records {

std::string NumberToText(double number) {
  char buf[64];
  if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 1e15) {
    // A whole number below 1e15 is exact as an integer (keys are written this
    // way for every row); -0 becomes 0.
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(number));
    return std::string(buf, end);
  }
  std::snprintf(buf, sizeof buf, "%.15g", number);
  return buf;
}

std::string Value::ToText() const {
  switch (kind_) {
    case Kind::kText:
      return text_;
    case Kind::kNumber:
      return NumberToText(number_);
    case Kind::kDateTime:
      return GeneralDate(number_);
    case Kind::kEmpty:
    case Kind::kNull:
      break;
  }
  return {};
}

}  // namespace talvenor::records
