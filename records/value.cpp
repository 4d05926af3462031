#include "records/value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "records/date_time.h"

namespace talvenor::records {

std::string NumberToText(double number) {
  char buf[64];
  if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", number);
    // -0 is written as 0.
    if (std::string_view(buf) == "-0") return "0";
    return buf;
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
