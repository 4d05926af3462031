#include "import/block_look_ups.h"

#include <utility>

#include "import/candidate_import.h"
#include "import/company_import.h"
#include "import/position_import.h"
#include "import/split_export_line.h"
#include "records/sql_quote.h"

namespace talvenor::import {

using records::SqlDialect;
using records::Value;

namespace {

constexpr std::array<const LookUp*, 3> kKinds = {&kCompanyLookUp, &kContactLookUp,
                                                 &kPositionLookUp};

// A text the query cannot compare as the look-up would: one of blanks only,
// which a server that pads its comparisons takes for equal to an empty text,
// while the empty texts of a block are compared apart from the others (they
// match Null as well).
bool Unsure(std::span<const std::string> texts) {
  for (const std::string& t : texts) {
    if (!t.empty() && t.find_first_not_of(' ') == std::string::npos) return true;
  }
  return false;
}

// The look-up's empty texts as bits: an empty text matches Null and '' alike,
// so look-ups with other empty texts are compared by other conditions.
unsigned EmptyMask(std::span<const std::string> texts) {
  unsigned mask = 0;
  for (size_t c = 0; c < texts.size(); ++c) {
    if (texts[c].empty()) mask |= 1u << c;
  }
  return mask;
}

}  // namespace

std::string JoinedLookUp(std::span<const std::string> texts) {
  std::string key;
  for (const std::string& t : texts) key.append(t).push_back('\0');
  return key;
}

void BlockLookUps::Kind::Clear() {
  index.clear();
  texts.clear();
  found.clear();
  same_as.clear();
  stored.clear();
}

void BlockLookUps::Kind::Add(std::span<const std::string> look_up) {
  const auto [it, added] = index.try_emplace(JoinedLookUp(look_up), texts.size());
  if (!added) return;
  texts.emplace_back(look_up.begin(), look_up.end());
  found.emplace_back();
  same_as.push_back(it->second);
  stored.emplace_back();
}

void BlockLookUps::Clear() {
  for (Kind& kind : kinds_) kind.Clear();
  ready_ = false;
}

const BlockLookUps::Kind* BlockLookUps::KindOf(const LookUp& what) const {
  for (size_t k = 0; k < kKinds.size(); ++k) {
    if (kKinds[k] == &what) return &kinds_[k];
  }
  return nullptr;
}

BlockLookUps::Kind* BlockLookUps::KindOf(const LookUp& what) {
  return const_cast<Kind*>(std::as_const(*this).KindOf(what));
}

bool BlockLookUps::Prepare(RunState& run, std::span<const ExportLine> lines) {
  Clear();
  ImportRow row;
  for (const ExportLine& line : lines) {
    if (!line.refused.empty()) continue;
    SplitExportLine(line.text, row.fields);
    if (WhyNotAnExportLine(row.fields)) continue;
    kinds_[0].Add(CompanyLookUpTexts(run, row));
    for (size_t slot = 0; slot < export_column::kContactSlots; ++slot) {
      const ContactName name = ParseContactName(
          row.field(export_column::ContactBase(slot) + export_column::kContactName));
      if (!name.skipped) kinds_[1].Add(ContactLookUpTexts(run, row, slot, name));
    }
    kinds_[2].Add(PositionLookUpTexts(run, row));
  }
  for (const Kind& kind : kinds_) {
    for (const auto& texts : kind.texts) {
      if (Unsure(texts)) return false;
    }
  }
  if (kinds_[0].texts.empty() && kinds_[1].texts.empty() && kinds_[2].texts.empty()) {
    return false;
  }

  const records::DbResult<records::QueryRows> answer =
      run.target.db.ReadRows(Query(run.target.db.Dialect()));
  if (!answer) {
    Clear();
    return false;
  }
  // Rows: kind, look-up, the record found (one column per kind, so that each
  // key keeps its column's type), and the earlier look-up taken for equal.
  for (const std::vector<Value>& r : answer->rows) {
    if (r.size() != 6 || !r[0].IsNumber() || !r[1].IsNumber()) {
      Clear();
      return false;
    }
    const auto k = static_cast<size_t>(r[0].number());
    const auto i = static_cast<size_t>(r[1].number());
    if (k >= kinds_.size() || i >= kinds_[k].texts.size()) {
      Clear();
      return false;
    }
    Kind& kind = kinds_[k];
    if (r[2 + k].HasValue()) kind.found[i] = r[2 + k];
    if (r[5].IsNumber() && r[5].number() < static_cast<double>(i)) {
      kind.same_as[i] = static_cast<size_t>(r[5].number());
    }
  }
  ready_ = true;
  return true;
}

std::optional<LookUpResult> BlockLookUps::Find(const LookUp& what,
                                               std::span<const std::string> texts) const {
  if (!ready_) return std::nullopt;
  const Kind* kind = KindOf(what);
  if (kind == nullptr) return std::nullopt;
  const auto it = kind->index.find(JoinedLookUp(texts));
  if (it == kind->index.end()) return std::nullopt;
  const size_t i = it->second;
  if (kind->found[i]) return LookUpResult{true, *kind->found[i]};
  if (const auto& stored = kind->stored[kind->same_as[i]]) return LookUpResult{true, *stored};
  return LookUpResult{};
}

void BlockLookUps::Stored(const LookUp& what, std::span<const std::string> texts,
                          const Value& key) {
  if (!ready_) return;
  Kind* kind = KindOf(what);
  if (kind == nullptr) return;
  const auto it = kind->index.find(JoinedLookUp(texts));
  if (it == kind->index.end()) return;
  kind->stored[kind->same_as[it->second]] = key;
}

// One statement for the three kinds:
//   WITH v0 (i, m, c1, c2) AS (<the look-ups>), v1 (...) AS (...), v2 (...) AS (...)
//   SELECT 0, 0, t0.Company_Id, t1.Candidate_Id, t2.Job_Id, 0 FROM Companies t0, ...
//     WHERE 1=0
//   UNION ALL SELECT 0, v.i, MIN(x.Company_Id), NULL, NULL, NULL FROM v0 v JOIN Companies x
//     ON v.m=0 AND x.Company_Name=v.c1 AND x.Phone=v.c2 GROUP BY v.i
//   UNION ALL ... one such join for each pattern of empty texts ...
//   UNION ALL SELECT 0, a.i, NULL, NULL, NULL, MIN(b.i) FROM v0 a JOIN v0 b
//     ON b.i<a.i AND b.m=a.m AND b.c1=a.c1 AND b.c2=a.c2 GROUP BY a.i
//   UNION ALL ...
// The look-ups come as a VALUES list after an empty SELECT of the table's own
// columns, so that the server gives them the columns' types and comparison
// rules. Of several records found the one with the lowest key is taken.
std::string BlockLookUps::Query(SqlDialect dialect) const {
  const bool postgres = dialect == SqlDialect::kPostgres;
  const std::string_view null_int = postgres ? "NULL::integer" : "CAST(NULL AS int)";
  std::string with;
  std::string select;
  auto union_all = [&select] {
    if (!select.empty()) select += " UNION ALL ";
  };
  for (size_t k = 0; k < kinds_.size(); ++k) {
    const Kind& kind = kinds_[k];
    if (kind.texts.empty()) continue;
    const LookUp& what = *kKinds[k];
    const std::string v = "v" + std::to_string(k);
    std::string names = "i, m";
    for (size_t c = 0; c < what.count; ++c) names += ", c" + std::to_string(c + 1);

    with += with.empty() ? "WITH " : ", ";
    with += v + " (" + names + ") AS (SELECT ";
    with.append(null_int).append(", ").append(null_int);
    for (std::string_view column : what.columns()) with.append(", ").append(column);
    with.append(" FROM ").append(what.table).append(" WHERE 1=0 UNION ALL ");
    if (!postgres) with += "SELECT * FROM (";
    with += "VALUES ";
    std::vector<bool> masks(1u << what.count, false);
    for (size_t i = 0; i < kind.texts.size(); ++i) {
      const unsigned mask = EmptyMask(kind.texts[i]);
      masks[mask] = true;
      if (i > 0) with += ',';
      with += '(' + std::to_string(i) + ',' + std::to_string(mask);
      for (const std::string& t : kind.texts[i]) {
        with += ",'";
        records::AppendSqlQuoted(with, t);
        with += '\'';
      }
      with += ')';
    }
    if (!postgres) with += ") AS x (" + names + ")";
    with += ')';

    const std::string found_columns = [&] {
      std::string s;
      for (size_t other = 0; other < 3; ++other) {
        s += other == k ? ", MIN(x." + std::string(what.key) + ")" : ", NULL";
      }
      return s;
    }();
    for (unsigned mask = 0; mask < masks.size(); ++mask) {
      if (!masks[mask]) continue;
      union_all();
      select += "SELECT " + std::to_string(k) + ", v.i" + found_columns + ", NULL FROM " + v +
                " v JOIN " + std::string(what.table) + " x ON v.m=" + std::to_string(mask);
      for (size_t c = 0; c < what.count; ++c) {
        const std::string column = "x." + std::string(what.columns()[c]);
        if (mask & (1u << c)) {
          select += " AND (" + column + "='' OR " + column + " IS NULL)";
        } else {
          select += " AND " + column + "=v.c" + std::to_string(c + 1);
        }
      }
      select += " GROUP BY v.i";
    }
    union_all();
    select += "SELECT " + std::to_string(k) + ", a.i, NULL, NULL, NULL, MIN(b.i) FROM " + v +
              " a JOIN " + v + " b ON b.i<a.i AND b.m=a.m";
    for (size_t c = 1; c <= what.count; ++c) {
      select += " AND b.c" + std::to_string(c) + "=a.c" + std::to_string(c);
    }
    select += " GROUP BY a.i";
  }
  // A first branch without rows gives each column its type: every key
  // column its key's, where the NULLs of the other branches would not.
  std::string typed = "SELECT 0, 0";
  std::string tables;
  for (size_t k = 0; k < kKinds.size(); ++k) {
    typed += ", t" + std::to_string(k) + "." + std::string(kKinds[k]->key);
    tables += (k == 0 ? " FROM " : ", ") + std::string(kKinds[k]->table) + " t" + std::to_string(k);
  }
  return with + ' ' + typed + ", 0" + tables + " WHERE 1=0 UNION ALL " + select;
}

}  // namespace talvenor::import
