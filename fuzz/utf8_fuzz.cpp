// The UTF-8 codec on any bytes: decoding moves on at least one byte a step,
// takes as many steps as Utf8Length counts characters, and agrees with
// IsValidUtf8; re-encoding a valid text gives back its bytes, and converting
// to Windows-1252 and back never makes invalid UTF-8.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "text/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace t = talvenor::text;
  const std::string_view s(reinterpret_cast<const char*>(data), size);
  std::string again;
  bool all_decoded = true;
  size_t steps = 0;
  for (size_t i = 0; i < s.size(); ++steps) {
    const size_t before = i;
    const std::optional<char32_t> cp = t::NextUtf8(s, i);
    if (i <= before || i > s.size()) std::abort();
    if (!cp) {
      if (i != before + 1) std::abort();
      all_decoded = false;
      continue;
    }
    if (*cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) std::abort();
    t::AppendUtf8(again, *cp);
  }
  if (steps != t::Utf8Length(s)) std::abort();
  if (all_decoded != t::IsValidUtf8(s)) std::abort();
  if (all_decoded && again != s) std::abort();
  if (!t::IsValidUtf8(t::Windows1252ToUtf8(s))) std::abort();
  return 0;
}
