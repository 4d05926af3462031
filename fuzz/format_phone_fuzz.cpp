// FormatPhone on any text: always the 25-character mask, holding only digits
// where the empty mask holds underscores.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/phone_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view phone(reinterpret_cast<const char*>(data), size);
  const std::string mask = talvenor::text::FormatPhone(phone);
  const std::string_view empty = talvenor::text::kEmptyPhoneMask;
  if (mask.size() != empty.size()) std::abort();
  for (size_t i = 0; i < mask.size(); ++i) {
    if (empty[i] == '_') {
      if (mask[i] != '_' && (mask[i] < '0' || mask[i] > '9')) std::abort();
    } else if (mask[i] != empty[i]) {
      std::abort();
    }
  }
  return 0;
}
