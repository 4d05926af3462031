#include "import/contact_name.h"

#include <vector>

#include "import/field_value.h"
#include "records/value.h"
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
  const std::string cleaned =
      name.filtered ? CleanText(records::Value::Text(*name.filtered)) : std::string();
  std::vector<std::string_view> words;
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
