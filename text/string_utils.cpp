#include "text/string_utils.h"

#include "text/ascii.h"
#include "text/utf8.h"

namespace talvenor::text {
namespace {

// FindIgnoreCase, quicker for the usual texts to find (quotes, blanks,
// periods, commas): when the first character is no letter, candidates are
// found with memchr and only they are compared.
size_t FindFolded(std::string_view hay, std::string_view needle, size_t from) {
  if (IsAsciiLetter(needle.front())) return FindIgnoreCase(hay, needle, from);
  const std::string_view rest = needle.substr(1);
  for (size_t i = hay.find(needle.front(), from); i != std::string_view::npos;
       i = hay.find(needle.front(), i + 1)) {
    if (hay.size() - i < needle.size()) break;
    if (EqualsIgnoreCase(hay.substr(i + 1, rest.size()), rest)) return i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string ReplaceAll(std::string_view str, std::string_view find, std::string_view replace) {
  if (find.empty()) return std::string(str);
  size_t hit = FindFolded(str, find, 0);
  if (hit == std::string_view::npos) return std::string(str);

  // The search after a replacement starts behind the inserted text, so it only
  // ever sees the untouched rest of the original: scanning the original once
  // and copying into a new text gives the same result without re-copying the
  // text at every occurrence.
  std::string out;
  out.reserve(str.size());
  size_t from = 0;
  do {
    out.append(str, from, hit - from);
    out.append(replace);
    from = hit + find.size();
    hit = FindFolded(str, find, from);
  } while (hit != std::string_view::npos);
  out.append(str, from);
  return out;
}

void SplitText(std::string_view text, std::string_view delimiter,
               std::vector<std::string_view>& pieces) {
  pieces.clear();
  if (delimiter.empty()) {
    pieces.push_back(text);
    return;
  }
  // A one-character delimiter (the usual comma or blank) is found with memchr.
  const auto next = [&](size_t from) {
    return delimiter.size() == 1 ? text.find(delimiter.front(), from) : text.find(delimiter, from);
  };
  size_t start = 0;
  for (size_t hit = next(0); hit != std::string_view::npos; hit = next(start)) {
    pieces.push_back(text.substr(start, hit - start));
    start = hit + delimiter.size();
  }
  pieces.push_back(text.substr(start));
}

std::vector<std::string> SplitText(std::string_view text, std::string_view delimiter) {
  std::vector<std::string_view> views;
  SplitText(text, delimiter, views);
  return std::vector<std::string>(views.begin(), views.end());
}

std::string StripTrailingBackslash(std::string_view path) {
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  return std::string(path);
}

std::string_view TrimView(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace talvenor::text
