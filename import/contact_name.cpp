#include "import/contact_name.h"

#include <vector>

#include "text/name_filter.h"
#include "text/string_utils.h"
#include "text/utf8.h"

namespace talvenor::import {
namespace {

// The text with no-break spaces as blanks; `text` itself when it has none
// (most names), so that nothing is copied for them.
std::string_view Spaced(std::string_view text, std::string& buffer) {
  if (text.find(text::kNoBreakSpace) == std::string_view::npos) return text;
  buffer = text::ReplaceAll(text, text::kNoBreakSpace, " ");
  return buffer;
}

}  // namespace

ContactName ParseContactName(std::string_view field) {
  ContactName name;
  std::string spaced;
  name.filtered = text::FilterName(Spaced(field, spaced));
  // CleanText of the filtered name: trimmed, no-break spaces as blanks.
  std::string cleaned_buffer;
  const std::string_view cleaned =
      name.filtered ? Spaced(text::TrimView(*name.filtered), cleaned_buffer) : std::string_view();
  // Kept from one contact to the next: five slots a line are read.
  thread_local std::vector<std::string_view> words;
  text::SplitText(cleaned, " ", words);
  if (words.size() >= 2) {
    name.first = text::Trim(words[0]);
    if (words.size() == 2) {
      name.last = text::Trim(words[1]);
    } else {
      name.middle = text::Trim(words[1]);
      name.last = text::Trim(words[2]);
    }
  }
  name.skipped = name.first.empty() || name.last.empty();
  return name;
}

}  // namespace talvenor::import
