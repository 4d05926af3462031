// The date-time reader on any text: a date it reads is a real date between
// the years 100 and 9999, and written out in ISO form it reads back as the
// same date-time.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "records/date_time.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto serial = talvenor::records::ParseDateTime(text);
  if (!serial) return 0;
  const talvenor::records::CivilTime t = talvenor::records::ToCivil(*serial);
  if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) {
    std::abort();
  }
  const auto again = talvenor::records::ParseDateTime(talvenor::records::IsoDateText(*serial));
  if (!again) std::abort();
  const talvenor::records::CivilTime u = talvenor::records::ToCivil(*again);
  if (u.year != t.year || u.month != t.month || u.day != t.day || u.hour != t.hour ||
      u.minute != t.minute || u.second != t.second) {
    std::abort();
  }
  return 0;
}
