#include "text/phone_format.h"

#include <array>
#include <cstddef>

#include "text/utf8.h"

namespace talvenor::text {
namespace {

// Only this many leading characters of a phone text are examined.
constexpr size_t kExaminedCharacters = 32;

// Where the groups of the 15-character digit string (area code 0-2, exchange
// 3-5, line number 6-9, extension 10-14) stand in the mask.
constexpr std::array<size_t, 15> kMaskOffset = {1,  2,  3,  6,  7,  8,  10, 11,
                                                12, 13, 20, 21, 22, 23, 24};

}  // namespace

std::string FormatPhone(std::optional<std::string_view> phone) {
  std::string out(kEmptyPhoneMask);
  if (!phone) return out;

  // Only the first 15 kept digits can reach the mask; later ones are still
  // counted, because whether exactly 7 remain depends on the total. Bytes of
  // multi-byte characters are never ASCII digits, so a byte scan is safe.
  std::array<char, 15> digits{};
  size_t count = 0;
  bool first_dropped = false;
  for (const char c : Utf8Prefix(*phone, kExaminedCharacters)) {
    if (c < '0' || c > '9') continue;
    if (count == 0 && !first_dropped && c == '1') {
      first_dropped = true;
      continue;
    }
    if (count < digits.size()) digits[count] = c;
    ++count;
  }

  // Seven digits are a local number: the area code stays empty and the digits
  // start at the exchange.
  const size_t first = count == 7 ? 3 : 0;
  for (size_t i = 0; i < count && first + i < kMaskOffset.size(); ++i) {
    out[kMaskOffset[first + i]] = digits[i];
  }
  return out;
}

}  // namespace talvenor::text
