#include "records/keys.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "records/date_time.h"
#include "text/string_utils.h"
#include "text/utf8.h"

namespace talvenor::records {
namespace {

// A collision loop ends when a free key is found; this bound only stops a
// server that keeps answering "key taken" for every key it is offered.
constexpr int kMaxKeyCollisions = 1000;

// Descriptions of engine errors a failed save shows at most.
constexpr size_t kMaxErrorDescriptions = 52;

// The date-time a clock answer stands for, cut to whole seconds. Servers answer
// with text ("08 Dec 2026 15:04:05:123", of which the first 20 characters are
// the time to the second); a database file's engine may hand back a date-time
// value, which is used as it is rather than written out and read back (a
// 12-hour text longer than 20 characters would lose its AM/PM marker).
std::optional<double> WholeSecondsOf(const Value& answer) {
  std::optional<double> serial;
  if (answer.IsDateTime() || answer.IsNumber()) {
    serial = answer.number();
  } else if (answer.IsText()) {
    serial = ParseDateTime(text::Utf8Prefix(answer.text(), 20));
    if (!serial) serial = ParseDateTime(text::Trim(answer.text()));
  }
  if (!serial) return std::nullopt;
  CivilTime t = ToCivil(*serial);
  t.millisecond = 0;
  return FromCivil(t);
}

// The 3 millisecond digits at the end of a server's clock text.
std::optional<int> MillisecondDigits(const Value& answer) {
  if (answer.IsDateTime() || answer.IsNumber()) return ToCivil(answer.number()).millisecond;
  if (!answer.IsText() || answer.text().size() < 3) return std::nullopt;
  const std::string_view last3 = std::string_view(answer.text()).substr(answer.text().size() - 3);
  if (!std::all_of(last3.begin(), last3.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoi(std::string(last3));
}

// The key prefix: the date-time in units of 1/100000 day, floored. Computed in
// whole numbers (seconds * 125 / 108 is the same scaling) so that a second
// that falls exactly on a unit boundary is not lost to rounding of the double.
double UnitsOf(double whole_second_serial) {
  const CivilTime t = ToCivil(whole_second_serial);
  const long long days = std::llround(std::floor(whole_second_serial));
  const long long seconds = t.hour * 3600LL + t.minute * 60LL + t.second;
  return double(days * 100000LL + seconds * 125LL / 108LL);
}

// The number a save is judged by: on a server, the provider's number behind
// "ODBC--call failed", with a unique-index violation counted as a duplicate.
int DecisionNumber(const DbError& error, const Database& db) {
  int number = error.number;
  if (db.Dialect() != SqlDialect::kSqlite && number == kOdbcCallFailed &&
      !error.providers.empty()) {
    number = int(error.providers.front().number);
    if (number == kSqlServerUniqueIndex) number = kDuplicateValue;
  }
  return number;
}

// Errors after which the row is simply not stored, without telling the
// operator: duplicates, and the states of a set that had no row to save.
bool IsQuietFailure(int number) {
  return number == 0 || number == kOverflow || number == kUpdateWithoutAddNew ||
         number == kNoCurrentRecord || number == kDuplicateValue || number == kRecordDeleted;
}

// Asks whether `key` is already taken in the table. The answer is the stored
// key, or nothing when the check finds no row or cannot be made.
std::optional<Value> FindTakenKey(Database& db, std::string_view key_field, std::string_view table,
                                  const Value& key) {
  const std::string sql = "SELECT " + std::string(key_field) + " FROM " + std::string(table) +
                          " WHERE " + std::string(key_field) + "=" + key.ToText();
  auto check = db.OpenRecordset(sql);
  if (!check) return std::nullopt;
  std::optional<Value> taken;
  if (!(*check)->Eof()) {
    auto value = (*check)->Field(key_field);
    taken = value && value->IsNumber() ? *value : key;
  }
  (*check)->Close();
  return taken;
}

// The server clock's answer for a numeric key: whole seconds and milliseconds.
struct KeyTime {
  double whole_seconds = 0;
  int millisecond = 0;
};

std::optional<KeyTime> AskKeyTime(Target& target) {
  const bool server_clock = target.db.Dialect() != SqlDialect::kSqlite;
  const std::string_view sql = server_clock ? "SELECT CONVERT(varchar(30), getdate(),113) As Rdate"
                                            : "SELECT TOP 1 Date()+Time() AS RDate FROM Candidates";
  auto set = target.db.OpenRecordset(sql);
  if (!set) return std::nullopt;
  auto answer = (*set)->Eof() ? DbResult<Value>() : (*set)->Field("RDate");
  (*set)->Close();
  if (!answer || !answer->HasValue()) return std::nullopt;

  const std::optional<double> when = WholeSecondsOf(*answer);
  if (!when) return std::nullopt;
  std::optional<int> last_digits;
  if (server_clock) {
    last_digits = MillisecondDigits(*answer);
  } else {
    // A database file's clock has no milliseconds worth using: three random
    // digits (100..999) keep keys made in the same second apart.
    last_digits = int(900 * target.clock.Random() + 100);
  }
  if (!last_digits) return std::nullopt;
  return KeyTime{*when, *last_digits};
}

constexpr long long kMillisecondsPerDay = 86'400'000;

}  // namespace

Value NewNumericKey(Target& target) {
  const std::optional<KeyTime> t = AskKeyTime(target);
  if (!t) return {};
  return Value::Number(UnitsOf(t->whole_seconds) * 1000 + t->millisecond);
}

double NumericKeyAt(long long day, long long millisecond_of_day) {
  day += millisecond_of_day / kMillisecondsPerDay;
  millisecond_of_day %= kMillisecondsPerDay;
  const long long second = millisecond_of_day / 1000;
  return double((day * 100000LL + second * 125LL / 108LL) * 1000LL + millisecond_of_day % 1000);
}

Value NewRunKey(Target& target) {
  if (target.db.Dialect() == SqlDialect::kSqlite) return NewNumericKey(target);
  ClockCache& cache = target.clock_cache;
  const double local = target.clock.Now();
  double key = 0;
  if (cache.key_filled &&
      FormatDateTime(local, "hh:nn") == FormatDateTime(cache.key_fetch_local, "hh:nn")) {
    // Within the local minute of the last query: the server's answer then,
    // advanced by the local counter to the millisecond.
    const auto elapsed = static_cast<long long>(
        std::llround((target.clock.SecondsSinceMidnight() - cache.key_counter_at_fetch) * 1000));
    key = NumericKeyAt(cache.key_day, cache.key_millisecond + std::max(0LL, elapsed));
  } else {
    const std::optional<KeyTime> t = AskKeyTime(target);
    if (!t) return {};
    const CivilTime civil = ToCivil(t->whole_seconds);
    cache.key_filled = true;
    cache.key_fetch_local = local;
    cache.key_counter_at_fetch = target.clock.SecondsSinceMidnight();
    cache.key_day = std::llround(std::floor(t->whole_seconds));
    cache.key_millisecond =
        (civil.hour * 3600LL + civil.minute * 60LL + civil.second) * 1000LL + t->millisecond;
    key = NumericKeyAt(cache.key_day, cache.key_millisecond);
  }
  // Keys made in the same millisecond would be equal and the later save would
  // meet the earlier row's key and move on to the next number; the next
  // number is taken at once instead, which stores the same key without the
  // failed save. Rows of other programs still meet SaveNewRecord's check.
  if (key <= cache.last_key) key = cache.last_key + 1;
  cache.last_key = key;
  return Value::Number(key);
}

std::string NewGuidText() {
  return GuidText(std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count());
}

std::string GuidText(std::int64_t unix_milliseconds) {
  // A time-ordered GUID: 48 bits of milliseconds since 1970, then random bits
  // (the version 7 layout), so that new keys land at the end of the key index
  // instead of all over it. The random bits come from a generator seeded from
  // the system's entropy once per process (asking the system for each GUID
  // cost several system calls); a forked child seeds its own, so parent and
  // child never repeat each other.
  thread_local std::mt19937_64 generator;
  thread_local pid_t seeded_for = 0;
  if (const pid_t pid = ::getpid(); pid != seeded_for) {
    std::random_device entropy;
    std::seed_seq seed{entropy(), entropy(), entropy(), entropy(),
                       entropy(), entropy(), entropy(), entropy()};
    generator.seed(seed);
    seeded_for = pid;
  }
  std::array<unsigned char, 16> id;
  for (size_t half = 0; half < 2; ++half) {
    const std::uint64_t bits = generator();
    for (size_t i = 0; i < 8; ++i) id[half * 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
  }
  const auto stamp = static_cast<std::uint64_t>(unix_milliseconds) & 0xFFFF'FFFF'FFFFu;
  for (size_t i = 0; i < 6; ++i) id[i] = static_cast<unsigned char>(stamp >> (8 * (5 - i)));
  id[6] = static_cast<unsigned char>((id[6] & 0x0F) | 0x70);  // version 7
  id[8] = static_cast<unsigned char>((id[8] & 0x3F) | 0x80);  // the standard variant
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string text = "{";
  text.reserve(38);
  for (size_t i = 0; i < id.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[id[i] >> 4];
    text += kHex[id[i] & 0x0F];
  }
  text += '}';
  return text;
}

SavedRow SaveNewRecord(Target& target, Recordset& set, std::string_view key_field,
                       std::string_view table) {
  // On a database file this is the AutoNumber the engine assigned at AddNew.
  Value key = set.Field(key_field).value_or(Value());

  DbStatus saved = set.Update();
  int number = saved ? 0 : DecisionNumber(saved.error(), target.db);
  // Two keys made in the same millisecond are equal: the later save meets the
  // earlier row's key and moves on to the next number. The key check tells a
  // key collision from a unique index on another column; a collision whose
  // key the check does not find ends the save without a message.
  const bool clock_keys = target.db.Keys() == KeyForm::kServerClockNumber;
  for (int collisions = 0; clock_keys && number == kSqlServerPrimaryKey; ++collisions) {
    if (collisions == kMaxKeyCollisions) break;  // reported below as a failed save
    const std::optional<Value> taken = FindTakenKey(target.db, key_field, table, key);
    if (!taken) return {.key = {}, .refused = saved.error()};
    key = Value::Number(taken->number() + 1);
    (void)set.SetField(key_field, key);
    saved = set.Update();
    number = saved ? 0 : DecisionNumber(saved.error(), target.db);
  }
  if (saved) return {.key = std::move(key), .refused = {}};

  if (!IsQuietFailure(number)) {
    target.op.ShowMessage(saved.error().description, /*title=*/"", MessageIcon::kNone);
    ShowDatabaseErrors(target.op, saved.error());
  }
  // Nothing was stored: callers must not attach activity rows or batch
  // memberships to a record that does not exist.
  return {.key = {}, .refused = std::move(saved.error())};
}

DbStatus ExecuteWithNewKey(Target& target, std::string_view key_field, std::string_view table,
                           Value key, const std::function<std::string(const Value&)>& statement) {
  DbStatus done = target.db.Execute(statement(key));
  const bool clock_keys = target.db.Keys() == KeyForm::kServerClockNumber;
  for (int collisions = 0; !done && clock_keys && collisions < kMaxKeyCollisions; ++collisions) {
    if (DecisionNumber(done.error(), target.db) != kSqlServerPrimaryKey) break;
    const std::optional<Value> taken = FindTakenKey(target.db, key_field, table, key);
    if (!taken) break;
    key = Value::Number(taken->number() + 1);
    done = target.db.Execute(statement(key));
  }
  return done;
}

void ShowDatabaseErrors(Operator& op, const DbError& error) {
  std::string collected;
  const size_t count = std::min(error.providers.size(), kMaxErrorDescriptions);
  for (size_t i = 0; i < count; ++i) collected += " " + error.providers[i].text;
  op.ShowMessage(text::Trim(StandardErrorText(error.number) + " " + collected), /*title=*/"",
                 MessageIcon::kNone);
}

}  // namespace talvenor::records
