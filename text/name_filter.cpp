#include "text/name_filter.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "text/ascii.h"
#include "text/string_utils.h"
#include "text/utf8.h"

namespace talvenor::text {
namespace {

constexpr size_t npos = std::string::npos;

// Words dropped wherever they stand, compared after upper-casing.
constexpr std::array<std::string_view, 28> kTitleSuffixWords = {
    "RT",  "RN",  "LPN", "DR", "DDS", "DOCTOR", "MR", "MISS", "MS", "MISTER",
    "MRS", "SIR", "ESQ", "JR", "SR",  "I",      "II", "III",  "IV", "V",
    "MD",  "ASC", "PHD", "BA", "BS",  "PSYD",   "DO", "MDPHD"};
constexpr size_t kLongestTitleSuffixWord = 6;

// Surname particles, each with the blank that must follow it. The order
// matters: each particle works on the text the earlier ones left, so "de la"
// becomes "dela", and "la" then stands inside a word.
constexpr std::array<std::string_view, 17> kSurnameParticles = {
    "DE ",  "VON ", "VAN ", "MC ",  "O' ", "D' ", "MAC ", "VER ", "RE ",
    "SAN ", "DA ",  "ST ",  "YAN ", "LA ", "LE ", "AL ",  "DI "};

void TrimInPlace(std::string& t) {
  const size_t last = t.find_last_not_of(' ');
  if (last == npos) {
    t.clear();
    return;
  }
  t.resize(last + 1);
  t.erase(0, t.find_first_not_of(' '));
}

// Cuts out every span from `open` to the next `close`, leaving one blank
// between the trimmed text before and the trimmed text after it. An `open`
// without a `close` after it cuts the text there. A `close` standing before
// every `open` stays.
void CutMarkedSpans(std::string& t, char open, char close) {
  size_t from = 0;
  for (size_t p1; (p1 = t.find(open, from)) != npos;) {
    const size_t p2 = t.find(close, p1 + 1);
    if (p2 == npos) {
      t.resize(p1);
      TrimInPlace(t);
      return;
    }
    const size_t left_begin = t.find_first_not_of(' ');  // at most p1: t[p1] is no blank
    size_t left_end = p1;
    while (left_end > left_begin && t[left_end - 1] == ' ') --left_end;
    size_t right_begin = p2 + 1;
    while (right_begin < t.size() && t[right_begin] == ' ') ++right_begin;
    size_t right_end = t.size();
    while (right_end > right_begin && t[right_end - 1] == ' ') --right_end;

    t.resize(right_end);
    t.replace(left_end, right_begin - left_end, 1, ' ');
    t.erase(0, left_begin);
    // Nothing before the inserted blank holds an `open`: p1 was the first.
    from = left_end - left_begin;
  }
}

// Whether the hyphen at `h` ends the name and starts a role ("Smith, John -
// Sales Manager"), rather than joining two parts of a word ("Smith,
// Jean-Luc"): it must have a blank, a comma or the end of the text on one side.
bool IsTailHyphen(std::string_view t, size_t h) {
  const auto joins = [](char c) { return c != ' ' && c != ','; };
  return h == 0 || h + 1 == t.size() || !joins(t[h - 1]) || !joins(t[h + 1]);
}

// Drops a role written behind a comma-form name: everything from the last
// free-standing hyphen after the first comma on. A hyphen before the comma
// (a double-barrelled surname) is never a tail.
void CutRoleTail(std::string& t) {
  const size_t comma = t.find(',');
  if (comma == npos) return;
  for (size_t h = t.size(); h-- > comma + 1;) {
    if (t[h] == '-' && IsTailHyphen(t, h)) {
      t.resize(h);
      TrimInPlace(t);
      return;
    }
  }
}

// Repeats ReplaceAll until no occurrence is left; one call may leave some,
// since it never searches its own replacements.
void ReplaceUntilGone(std::string& t, std::string_view find, std::string_view replace) {
  while (t.find(find) != npos) t = ReplaceAll(t, find, replace);
}

// Characters beyond ASCII that are not letters: Latin-1 controls, punctuation
// and symbols (the no-break space among them), the signs × and ÷, general
// punctuation and the symbol blocks, CJK punctuation, fullwidth punctuation,
// specials and emoji. Everything else beyond ASCII counts as a letter, which
// also keeps combining accents with the word they belong to.
struct Range {
  char32_t first, last;
};
constexpr std::array<Range, 13> kNonLetters = {{{0x80, 0xA9},
                                                {0xAB, 0xB4},
                                                {0xB6, 0xB9},
                                                {0xBB, 0xBF},
                                                {0xD7, 0xD7},
                                                {0xF7, 0xF7},
                                                {0x2000, 0x2BFF},
                                                {0x3000, 0x303F},
                                                {0xFEFF, 0xFEFF},
                                                {0xFF01, 0xFF20},
                                                {0xFF3B, 0xFF40},
                                                {0xFF5B, 0xFF65},
                                                {0xFFF0, 0x1FAFF}}};

bool IsNonAsciiLetter(char32_t cp) {
  return std::none_of(kNonLetters.begin(), kNonLetters.end(),
                      [cp](const Range& r) { return cp >= r.first && cp <= r.last; });
}

// The code point of the valid UTF-8 sequence that ends `text`, which ends in a
// byte beyond ASCII; nothing when those bytes form no valid sequence.
std::optional<char32_t> LastCodePoint(std::string_view text) {
  size_t start = text.size() - 1;
  while (start > 0 && text.size() - start < 4 &&
         (static_cast<uint8_t>(text[start]) & 0xC0) == 0x80) {
    --start;
  }
  size_t end = start;
  const std::optional<char32_t> cp = NextUtf8(text, end);
  if (end != text.size()) return std::nullopt;
  return cp;
}

// Whether the character just before a particle makes the particle part of a
// word. Letters beyond ASCII count too: the "le " of "Gisèle Martin" is the end
// of a given name, not a particle. A byte that forms no valid character counts
// as a letter, as it most likely is one in another encoding.
bool EndsWithLetter(std::string_view text) {
  const auto last = static_cast<uint8_t>(text.back());
  if (last < 0x80) return IsAsciiLetter(static_cast<char>(last));
  const std::optional<char32_t> cp = LastCodePoint(text);
  return !cp || IsNonAsciiLetter(*cp);
}

// Fills `first` with the byte offset of the first occurrence of each particle
// from index `from` of the list on (npos where there is none), letter case
// ignored. Every particle ends in a blank and names hold few blanks, so one
// pass over the blanks finds them all, instead of one search per particle.
void FindParticles(std::string_view t, size_t from,
                   std::array<size_t, kSurnameParticles.size()>& first) {
  std::fill(first.begin() + static_cast<std::ptrdiff_t>(from), first.end(), npos);
  size_t missing = kSurnameParticles.size() - from;
  for (size_t blank = t.find(' '); blank != npos && missing > 0; blank = t.find(' ', blank + 1)) {
    // The up to three characters before the blank, upper-cased, last first.
    std::array<char, 3> before{};
    for (size_t k = 0; k < before.size() && k < blank; ++k)
      before[k] = AsciiUpper(t[blank - 1 - k]);
    for (size_t q = from; q < kSurnameParticles.size(); ++q) {
      const std::string_view word = kSurnameParticles[q].substr(0, kSurnameParticles[q].size() - 1);
      if (first[q] != npos || blank < word.size()) continue;
      bool match = true;
      for (size_t k = 0; k < word.size() && match; ++k)
        match = before[k] == word[word.size() - 1 - k];
      if (match) {
        first[q] = blank - word.size();
        --missing;
      }
    }
  }
}

// Glues each particle to the word that follows it, removing the blank between
// them, when the word starts with an ASCII letter and the particle does not
// end another word. Only the first occurrence of each particle is considered,
// and each particle works on the text as the earlier ones left it.
void GlueSurnameParticles(std::string& t) {
  std::array<size_t, kSurnameParticles.size()> first;
  FindParticles(t, 0, first);
  for (size_t q = 0; q < kSurnameParticles.size(); ++q) {
    const size_t p = first[q];
    if (p == npos) continue;
    if (p > 0 && EndsWithLetter(std::string_view(t).substr(0, p))) continue;
    const size_t blank = p + kSurnameParticles[q].size() - 1;
    if (blank + 1 < t.size() && IsAsciiLetter(t[blank + 1])) {
      t.erase(blank, 1);
      // The text changed: look again for the particles still to come.
      FindParticles(t, q + 1, first);
    }
  }
}

// Appends `text` with every comma turned into a blank, as joining comma parts
// with blanks does.
void AppendCommasAsBlanks(std::string& out, std::string_view text) {
  const size_t from = out.size();
  out.append(text);
  std::replace(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), ',', ' ');
}

// Puts comma forms into given-first order: "Surname, Given" becomes "Given
// Surname" and "Surname, Given, Middle" becomes "Given Middle Surname" (parts
// after the third are kept as they are). The first two parts must both be
// non-blank for anything to move. Every comma becomes a blank either way.
void ReorderCommaParts(std::string& t) {
  const size_t c1 = t.find(',');
  if (c1 == npos) return;
  const std::string_view v = t;
  const size_t c2 = v.find(',', c1 + 1);
  const std::string_view part0 = TrimView(v.substr(0, c1));
  const std::string_view part1 = TrimView(v.substr(c1 + 1, c2 == npos ? npos : c2 - c1 - 1));
  if (part0.empty() || part1.empty()) {
    std::replace(t.begin(), t.end(), ',', ' ');
    return;
  }
  std::string out;
  out.reserve(t.size() + 1);
  out.append(part1);
  if (c2 != npos) {
    const size_t c3 = v.find(',', c2 + 1);
    out += ' ';
    out.append(TrimView(v.substr(c2 + 1, c3 == npos ? npos : c3 - c2 - 1)));
    out += ' ';
    out.append(part0);
    if (c3 != npos) {
      out += ' ';
      AppendCommasAsBlanks(out, v.substr(c3 + 1));
    }
  } else {
    out += ' ';
    out.append(part0);
  }
  t = std::move(out);
}

bool IsTitleOrSuffix(std::string_view word) {
  if (word.size() > kLongestTitleSuffixWord) return false;
  std::array<char, kLongestTitleSuffixWord> upper{};
  std::transform(word.begin(), word.end(), upper.begin(), [](char c) { return AsciiUpper(c); });
  const std::string_view key(upper.data(), word.size());
  return std::find(kTitleSuffixWords.begin(), kTitleSuffixWords.end(), key) !=
         kTitleSuffixWords.end();
}

// The words that are no title or suffix, joined by single blanks.
std::string KeepNameWords(std::string_view t) {
  std::string out;
  out.reserve(t.size());
  size_t start = 0;
  while (start <= t.size()) {
    size_t end = t.find(' ', start);
    if (end == npos) end = t.size();
    const std::string_view word = t.substr(start, end - start);
    if (!word.empty() && !IsTitleOrSuffix(word)) {
      if (!out.empty()) out += ' ';
      out.append(word);
    }
    start = end + 1;
  }
  return out;
}

}  // namespace

std::optional<std::string> FilterName(std::optional<std::string_view> name) {
  if (!name) return std::nullopt;
  std::string t(*name);
  t.erase(std::remove(t.begin(), t.end(), '.'), t.end());
  CutMarkedSpans(t, '(', ')');
  CutMarkedSpans(t, '"', '"');
  CutRoleTail(t);
  ReplaceUntilGone(t, "  ", " ");
  ReplaceUntilGone(t, ", ,", ",");
  ReplaceUntilGone(t, ",,", ",");
  GlueSurnameParticles(t);
  ReorderCommaParts(t);
  std::string result = KeepNameWords(t);
  if (result.empty()) return std::nullopt;
  return result;
}

}  // namespace talvenor::text
