#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace talvenor::text {

// Text is UTF-8. Rules that count characters count code points; a byte that is
// not part of a valid sequence counts as one character of its own.

// True when the whole text is well-formed UTF-8.
bool IsValidUtf8(std::string_view s);

// Number of characters.
size_t Utf8Length(std::string_view s);

// Byte offset of the character with 0-based index `chars` (s.size() when the
// text is shorter).
size_t Utf8Offset(std::string_view s, size_t chars);

// The first `chars` characters (all of a shorter text).
inline std::string_view Utf8Prefix(std::string_view s, size_t chars) {
  return s.substr(0, Utf8Offset(s, chars));
}

// Converts Windows-1252 text to UTF-8 (160 is the no-break space U+00A0; the
// five codes the code page leaves undefined map to U+0081.. as the platform does).
std::string Windows1252ToUtf8(std::string_view s);

// Converts UTF-8 to Windows-1252; characters the code page cannot hold become
// "?". Sets *lossless to false when that happened.
std::string Utf8ToWindows1252(std::string_view s, bool* lossless = nullptr);

// The UTF-8 no-break space.
inline constexpr std::string_view kNoBreakSpace = "\xC2\xA0";

}  // namespace talvenor::text
