#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talvenor::text {

// Small text routines shared by the reader, the importers and the name parser.
// Positions count characters (UTF-8 code points) from 1; searches that ignore
// letter case do so for ASCII letters only. The texts searched for are
// expected to be valid UTF-8 (every caller passes ASCII); a match then always
// covers whole characters. None of these routines fails.

// Replaces every occurrence of `find` (letter case ignored) by `replace`. The
// search resumes just after each inserted replacement, so the replacement is
// never searched again: replacing "  " by " " in a run of four blanks leaves
// two. An empty `find` returns `str` unchanged.
std::string ReplaceAll(std::string_view str, std::string_view find, std::string_view replace);

// Cuts `text` at every occurrence of `delimiter` (exact match). n delimiters
// give n + 1 pieces; a delimiter at either end or next to another gives an
// empty piece; an empty text gives one empty piece. An empty delimiter gives
// the whole text as the only piece.
std::vector<std::string> SplitText(std::string_view text, std::string_view delimiter);

// The same cut without copying: `pieces` is cleared and filled with views into
// `text`, so a caller splitting many lines can reuse one vector.
void SplitText(std::string_view text, std::string_view delimiter,
               std::vector<std::string_view>& pieces);

// Drops one trailing folder separator: a "/" or, for entries written on
// Windows, a "\". Only one is removed however many the path ends with.
std::string StripTrailingBackslash(std::string_view path);

// The text without leading and trailing blanks (U+0020 only; tabs and other
// white space stay).
std::string_view TrimView(std::string_view text);
inline std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

}  // namespace talvenor::text
