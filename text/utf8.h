#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace talvenor::text {

// Text is UTF-8. Rules that count characters count code points; a byte that is
// not part of a valid sequence counts as one character of its own.

// True when the whole text is well-formed UTF-8.
bool IsValidUtf8(std::string_view s);

// The one UTF-8 codec of the system: every reader and writer of UTF-8 goes
// through these two.

// Decodes the character that starts at byte `i` of `s` (i < s.size()) and
// moves `i` past it. Where no well-formed sequence starts (a stray
// continuation byte, an overlong form, a surrogate, a value beyond U+10FFFF,
// a sequence cut short) it gives nothing and moves `i` on by one byte.
std::optional<char32_t> NextUtf8(std::string_view s, size_t& i);

// Appends the UTF-8 form of `cp`, a Unicode scalar value (not a surrogate,
// at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

// What an undecodable sequence becomes where a character must stand.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

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
