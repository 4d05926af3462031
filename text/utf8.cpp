#include "text/utf8.h"

#include <array>
#include <cstdint>

namespace talvenor::text {
namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when there is none.
size_t SequenceLength(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  const size_t left = s.size() - i;
  auto cont = [&](size_t k) { return k < left && (b(k) & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if (c == 0xE0 && b(1) < 0xA0) return 0;  // overlong
    if (c == 0xED && b(1) > 0x9F) return 0;  // surrogates
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if (c == 0xF0 && b(1) < 0x90) return 0;
    if (c == 0xF4 && b(1) > 0x8F) return 0;
    return 4;
  }
  return 0;
}

// Code points of bytes 0x80..0x9F in Windows-1252.
constexpr std::array<uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::optional<char32_t> NextUtf8(std::string_view s, size_t& i) {
  const size_t n = SequenceLength(s, i);
  if (n == 0) {
    ++i;
    return std::nullopt;
  }
  // The lead byte keeps 7, 5, 4 or 3 bits; each continuation byte 6.
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t cp = static_cast<unsigned char>(s[i]) & kLeadMask[n];
  for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += n;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

size_t Utf8Offset(std::string_view s, size_t chars) {
  // Every character takes at least one byte.
  if (s.size() <= chars) return s.size();
  size_t i = 0;
  for (size_t k = 0; k < chars && i < s.size(); ++k) {
    const size_t n = SequenceLength(s, i);
    i += n == 0 ? 1 : n;
  }
  return i;
}

size_t Utf8Length(std::string_view s) {
  size_t count = 0;
  for (size_t i = 0; i < s.size(); ++count) {
    const size_t n = SequenceLength(s, i);
    i += n == 0 ? 1 : n;
  }
  return count;
}

std::string Windows1252ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else if (c < 0xA0) {
      AppendUtf8(out, kHigh[c - 0x80]);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string Utf8ToWindows1252(std::string_view s, bool* lossless) {
  std::string out;
  out.reserve(s.size());
  if (lossless) *lossless = true;
  for (size_t i = 0; i < s.size();) {
    const size_t n = SequenceLength(s, i);
    if (n <= 1) {
      out += s[i];
      if (n == 0 && lossless) *lossless = false;
      i += 1;
      continue;
    }
    uint32_t cp = static_cast<unsigned char>(s[i]) & (0xFF >> (n + 1));
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += n;
    char byte = '?';
    bool found = false;
    if (cp >= 0xA0 && cp <= 0xFF) {
      byte = char(cp), found = true;
    } else {
      for (size_t k = 0; k < kHigh.size(); ++k) {
        if (kHigh[k] == cp) {
          byte = char(0x80 + k), found = true;
          break;
        }
      }
    }
    if (!found && lossless) *lossless = false;
    out += byte;
  }
  return out;
}

}  // namespace talvenor::text
