// FilterName on any text: the result has no blank at either end and no two
// blanks in a row, and filtering it again changes nothing it should not.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/name_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const auto filtered = talvenor::text::FilterName(name);
  if (!filtered) return 0;
  const std::string& s = *filtered;
  if (s.empty() || s.front() == ' ' || s.back() == ' ') std::abort();
  if (s.find("  ") != std::string::npos) std::abort();
  (void)talvenor::text::FilterName(std::string_view(s));
  return 0;
}
