#include "records/import_batch.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "records/date_time.h"
#include "records/server_clock.h"
#include "records/sql_quote.h"
#include "text/string_utils.h"

namespace talvenor::records {
namespace {

constexpr std::string_view kDefaultBase = "CAR";
// Probes while looking for the end of a series, and codes tried when another
// workstation takes the chosen code first. Both are far above what a target
// ever needs; they only keep a broken target from holding up a run forever.
constexpr int kMaxProbes = 64;
constexpr int kMaxInsertAttempts = 20;
// Numbers stay well inside a double's exact range.
constexpr long long kMaxNumber = 999'999'999'999LL;

struct BatchCode {
  std::string base;
  long long number = 1;
};

// The leading digits of a text as a number; no digits give 0.
long long LeadingNumber(std::string_view s) {
  long long n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    n = n * 10 + (c - '0');
    if (n > kMaxNumber) return kMaxNumber;
  }
  return n;
}

// The base and number "0000": CAR.0042, CAR.10000.
std::string CodeText(const BatchCode& code) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%04lld", code.number);
  return code.base + "." + digits;
}

// The code that follows the highest code found by text, or CAR.0001.
BatchCode FollowHighestText(Target& target) {
  const std::string sql =
      std::string("SELECT Code FROM Rollup_Names WHERE Code LIKE '") + std::string(kDefaultBase) +
      (target.db.Dialect() == SqlDialect::kSqlite ? "*" : "%") + "' ORDER BY Code DESC";
  BatchCode next{std::string(kDefaultBase), 1};
  auto set = target.db.OpenRecordset(sql);
  if (!set) return next;  // a failed look-up counts as an empty table
  if (!(*set)->Eof()) {
    if (auto value = (*set)->Field("Code")) {
      const std::string code = text::Trim(value->ToText());
      const size_t dot = code.find('.');
      if (dot != std::string::npos) {
        next.base = code.substr(0, dot);
        next.number = LeadingNumber(std::string_view(code).substr(dot + 1)) + 1;
      }
    }
  }
  (*set)->Close();
  return next;
}

// True when a list with this code is stored. A check that cannot be made says
// no: the insert then finds out.
bool CodeTaken(Database& db, const BatchCode& code) {
  auto set = db.OpenRecordset("SELECT Code FROM Rollup_Names WHERE Code = '" +
                              SqlQuote(CodeText(code)) + "'");
  if (!set) return false;
  const bool taken = !(*set)->Eof();
  (*set)->Close();
  return taken;
}

// Codes are sorted as text, so past 9999 the highest code by text is no
// longer the highest by number: CAR.9999 sorts above CAR.10000, CAR.10001 and
// so on. The series has no gaps of its own making, so its end is found by
// asking for codes above the text-highest one: doubling steps until a code is
// free, then halving the interval between the last taken and the first free.
// In the ordinary case (the next code is free) this is one question.
long long EndOfSeries(Database& db, BatchCode code) {
  if (!CodeTaken(db, code)) return code.number;
  long long taken = code.number;
  long long step = 1;
  long long free_number = 0;
  int probes = 1;
  while (probes < kMaxProbes) {
    code.number = std::min(taken + step, kMaxNumber);
    ++probes;
    if (!CodeTaken(db, code)) {
      free_number = code.number;
      break;
    }
    taken = code.number;
    if (taken == kMaxNumber) return kMaxNumber;
    step *= 2;
  }
  if (free_number == 0) return taken + 1;
  while (free_number - taken > 1 && probes < kMaxProbes) {
    code.number = taken + (free_number - taken) / 2;
    ++probes;
    if (CodeTaken(db, code)) {
      taken = code.number;
    } else {
      free_number = code.number;
    }
  }
  return taken + 1;
}

bool IsDuplicate(const DbError& error) {
  if (error.number == kDuplicateValue) return true;
  if (error.number != kOdbcCallFailed || error.providers.empty()) return false;
  const long provider = error.providers.front().number;
  return provider == kSqlServerPrimaryKey || provider == kSqlServerUniqueIndex;
}

// Adds the list row for one code: true when stored, false when the code is
// in use already (found in the set, or refused as a duplicate by the engine).
DbResult<bool> InsertList(Target& target, const std::string& code) {
  auto set =
      target.db.OpenRecordset("SELECT * FROM Rollup_Names WHERE Code = '" + SqlQuote(code) + "'");
  if (!set) return std::unexpected(std::move(set.error()));
  Recordset& row = **set;
  // A target without a unique index on Code would store the duplicate.
  if (!row.Eof()) {
    row.Close();
    return false;
  }
  // A lock or a full disk shows at AddNew already; Update then only says
  // that no row was being added.
  const DbStatus added = row.AddNew();
  (void)row.SetField("Code", Value::Text(code));
  (void)row.SetField("Description",
                     Value::Text("TALVENOR " + FormatDateTime(ServerNow(target), "m/d/yyyy")));
  (void)row.SetField("Memo",
                     Value::Text("Import Created By Talvenor Import Utility. " +
                                 FormatDateTime(ServerNow(target), "m/d/yyyy h:nn:ss AM/PM")));
  (void)row.SetField("Shared", Value::Number(1));
  (void)row.SetField("Date_Entered",
                     Value::Text(FormatDateTime(ServerNow(target), "m/d/yyyy h:nn:ss AM/PM")));
  const DbStatus saved = row.Update();
  row.Close();
  if (saved) return true;
  if (IsDuplicate(saved.error())) return false;
  return std::unexpected(added ? std::move(saved.error()) : std::move(added.error()));
}

}  // namespace

// The base is that of the highest code by text, so a code such as CARGO.0007
// (which sorts above every CAR.nnnn) moves the run onto the CARGO series:
// CARGO.0008 follows even when CAR.10000 and above exist, and the CAR series
// is not consulted. Within the chosen base the number continues after the
// highest number stored, also past 9999.
DbResult<std::string> CreateImportBatch(Target& target) {
  BatchCode code = FollowHighestText(target);
  code.number = EndOfSeries(target.db, code);
  for (int attempt = 0; attempt < kMaxInsertAttempts; ++attempt) {
    std::string text = CodeText(code);
    const DbResult<bool> stored = InsertList(target, text);
    if (!stored) return std::unexpected(stored.error());
    if (*stored) return text;
    // Another workstation's run took this code a moment ago.
    ++code.number;
  }
  return std::unexpected(DbError{});
}

}  // namespace talvenor::records
