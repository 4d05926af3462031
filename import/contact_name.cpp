#include "import/contact_name.h"

#include <vector>

#include "import/field_value.h"
#include "records/value.h"
#include "text/name_filter.h"
#include "text/string_utils.h"
#include "text/utf8.h"

namespace talvenor::import {

ContactName ParseContactName(std::string_view field) {
  ContactName name;
  const std::string spaced = text::ReplaceAll(field, text::kNoBreakSpace, " ");
  name.filtered = text::FilterName(std::string_view(spaced));
  const std::string cleaned =
      CleanText(name.filtered ? records::Value::Text(*name.filtered) : records::Value::Null());
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
