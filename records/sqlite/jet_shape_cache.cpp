// Statements of one shape, translated from a recipe: an import sends the same
// dozen statements for every line with other values in them.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "records/sqlite/jet_sql.h"
#include "records/sqlite/jet_sql_detail.h"

namespace talvenor::records {

using jet_detail::DateLiteral;
using jet_detail::GuidOf;
using jet_detail::Is;
using jet_detail::IsWordChar;
using jet_detail::IsWordStart;
using jet_detail::kPlainClass;
using jet_detail::LiteralUse;
using jet_detail::NumberParam;
using jet_detail::Tok;
using jet_detail::TokenAt;
using jet_detail::TokenSpan;
using jet_detail::TranslateFull;
using jet_detail::Unquoted;
using jet_detail::Use;

namespace {

// ---------------------------------------------------------------------------
// Statements of one shape. An import sends the same dozen statements for
// every line with other values in them. The shape of a statement is its text
// with every literal replaced by a marker of its kind; the first statement of
// a shape is translated in full and leaves a recipe that translates the next
// ones from one scan of their text.

struct Literal {
  Tok kind;  // kString, kNumber or kGuid
  size_t at;
  size_t size;
};

// A marker byte. A token that starts with it stops the scan, so in a shape
// key it always stands for a literal, never for the text itself.
constexpr char kMarker = '\0';

// Longer texts are translated in full every time: their shapes would make
// the cache large and they are not what an import repeats.
constexpr size_t kMaxShapeText = 4096;
constexpr size_t kMaxShapes = 256;

// Writes the shape key of `s` into `key` and its literals into `literals`.
// False when the text cannot be keyed.
bool ScanShape(std::string_view s, std::string& key, std::vector<Literal>& literals) {
  key.clear();
  literals.clear();
  if (s.size() > kMaxShapeText) return false;
  size_t run = 0;  // start of the text not yet copied into the key
  for (size_t i = 0; i < s.size();) {
    // Blanks, punctuation and words, most of a statement, are passed over
    // here as TokenAt would read them.
    if (Is(s[i], kPlainClass)) {
      ++i;
      continue;
    }
    if (IsWordStart(s[i])) {
      ++i;
      while (i < s.size() && IsWordChar(s[i])) ++i;
      continue;
    }
    const TokenSpan t = TokenAt(s, i);
    char kind = 0;
    switch (t.kind) {
      case Tok::kString:
        kind = 'S';
        break;
      case Tok::kNumber:
        kind = 'N';
        break;
      case Tok::kGuid:
        kind = 'G';
        break;
      case Tok::kPunct:
        if (s[i] == kMarker) return false;
        break;
      default:
        break;
    }
    if (kind != 0) {
      key.append(s.data() + run, i - run);
      key += kMarker;
      key += kind;
      literals.push_back({t.kind, i, t.size});
      run = i + t.size;
    }
    i += t.size;
  }
  key.append(s.data() + run, s.size() - run);
  return true;
}

struct Recipe {
  bool usable = false;  // false: statements of this shape are translated in full
  bool lifted = false;
  bool several_statements = false;
  // The translated text without the literals that stand in it as written.
  std::string text;
  struct Splice {
    size_t at;  // in `text`
    size_t literal;
  };
  std::vector<Splice> splices;  // ordered by `at`
  struct Lift {
    size_t literal;
    Use use;
  };
  std::vector<Lift> lifts;  // in the order of the parameters
};

// A statement of the recipe's shape, made from its literals; nothing when a
// number does not convert (the full translation then writes it as it is).
std::optional<SqliteStatement> Apply(const Recipe& recipe, std::string_view jet,
                                     const std::vector<Literal>& literals) {
  SqliteStatement out;
  out.lifted = recipe.lifted;
  out.several_statements = recipe.several_statements;
  out.params.reserve(recipe.lifts.size());
  for (const Recipe::Lift& lift : recipe.lifts) {
    const Literal& l = literals[lift.literal];
    const std::string_view raw = jet.substr(l.at, l.size);
    switch (lift.use) {
      case Use::kText:
        out.params.emplace_back(Unquoted(raw));
        break;
      case Use::kGuid:
        out.params.emplace_back(std::string(GuidOf(raw)));
        break;
      case Use::kDate:
        out.params.emplace_back(DateLiteral(Unquoted(raw)));
        break;
      default: {
        std::optional<SqlParam> p = NumberParam(raw);
        if (!p) return std::nullopt;
        out.params.push_back(std::move(*p));
        break;
      }
    }
  }
  if (recipe.splices.empty()) {
    out.text = recipe.text;
    return out;
  }
  size_t size = recipe.text.size();
  for (const Recipe::Splice& splice : recipe.splices) size += literals[splice.literal].size;
  out.text.reserve(size);
  size_t from = 0;
  for (const Recipe::Splice& splice : recipe.splices) {
    const Literal& l = literals[splice.literal];
    out.text.append(recipe.text, from, splice.at - from);
    out.text.append(jet.substr(l.at, l.size));
    from = splice.at;
  }
  out.text.append(recipe.text, from);
  return out;
}

bool SameStatement(const SqliteStatement& a, const SqliteStatement& b) {
  return a.text == b.text && a.params == b.params && a.lifted == b.lifted &&
         a.several_statements == b.several_statements;
}

// The recipe of a shape from its full translation `out`; nothing when this
// statement says nothing for its shape (a number that did not convert may
// convert in the next statement of the shape).
std::optional<Recipe> MakeRecipe(std::string_view jet, const std::vector<Literal>& literals,
                                 const std::vector<LiteralUse>& uses, const SqliteStatement& out) {
  if (uses.size() != literals.size()) return Recipe{};
  Recipe recipe;
  std::vector<bool> seen(literals.size());
  for (const LiteralUse& use : uses) {
    if (use.use == Use::kUnliftable) return std::nullopt;
    if (use.use == Use::kByValue) return Recipe{};
    const auto found = std::lower_bound(literals.begin(), literals.end(), use.at,
                                        [](const Literal& l, size_t at) { return l.at < at; });
    if (found == literals.end() || found->at != use.at) return Recipe{};
    const size_t index = size_t(found - literals.begin());
    if (seen[index]) return Recipe{};
    seen[index] = true;
    if (use.use == Use::kAsWritten) {
      recipe.splices.push_back({use.out_at, index});
    } else {
      recipe.lifts.push_back({index, use.use});
    }
  }
  std::sort(recipe.splices.begin(), recipe.splices.end(),
            [](const Recipe::Splice& a, const Recipe::Splice& b) { return a.at < b.at; });
  // The text without the literals written as they are; each splice point
  // moves back by the literals cut before it.
  size_t from = 0;
  for (Recipe::Splice& splice : recipe.splices) {
    const Literal& l = literals[splice.literal];
    if (splice.at < from || out.text.compare(splice.at, l.size, jet.substr(l.at, l.size)) != 0) {
      return Recipe{};
    }
    recipe.text.append(out.text, from, splice.at - from);
    from = splice.at + l.size;
    splice.at = recipe.text.size();
  }
  recipe.text.append(out.text, from);
  recipe.lifted = out.lifted;
  recipe.several_statements = out.several_statements;
  // The recipe must give back this very statement; if not, the shape is
  // always translated in full.
  const std::optional<SqliteStatement> again = Apply(recipe, jet, literals);
  recipe.usable = again && SameStatement(*again, out);
  if (!recipe.usable) return Recipe{};
  return recipe;
}

struct ShapeCache {
  std::unordered_map<std::string, Recipe> recipes;
  // Scratch kept between calls so a statement costs no allocation here.
  std::string key;
  std::vector<Literal> literals;
  std::vector<LiteralUse> uses;
  internal::JetShapeCacheStats stats;
};

ShapeCache& ThisThreadCache() {
  // One cache per thread: an engine is used from one thread at a time, and
  // the cache then needs no lock.
  thread_local ShapeCache cache;
  return cache;
}

}  // namespace

SqliteStatement TranslateJetSql(std::string_view jet, bool lift_literals) {
  if (!lift_literals) return TranslateFull(jet, lift_literals, nullptr);
  ShapeCache& cache = ThisThreadCache();
  if (!ScanShape(jet, cache.key, cache.literals)) return TranslateFull(jet, true, nullptr);
  const auto found = cache.recipes.find(cache.key);
  if (found != cache.recipes.end()) {
    if (found->second.usable) {
      if (std::optional<SqliteStatement> out = Apply(found->second, jet, cache.literals)) {
        ++cache.stats.hits;
        return std::move(*out);
      }
    }
    return TranslateFull(jet, true, nullptr);
  }
  ++cache.stats.misses;
  cache.uses.clear();
  SqliteStatement out = TranslateFull(jet, true, &cache.uses);
  if (std::optional<Recipe> recipe = MakeRecipe(jet, cache.literals, cache.uses, out)) {
    if (cache.recipes.size() >= kMaxShapes) cache.recipes.erase(cache.recipes.begin());
    cache.recipes.emplace(cache.key, std::move(*recipe));
  }
  return out;
}

namespace internal {

SqliteStatement TranslateJetSqlUncached(std::string_view jet, bool lift_literals) {
  return TranslateFull(jet, lift_literals, nullptr);
}

JetShapeCacheStats ShapeCacheStats() {
  ShapeCache& cache = ThisThreadCache();
  JetShapeCacheStats stats = cache.stats;
  stats.shapes = cache.recipes.size();
  return stats;
}

void ForgetShapes() {
  ShapeCache& cache = ThisThreadCache();
  cache.recipes.clear();
  cache.stats = {};
}

}  // namespace internal

}  // namespace talvenor::records
