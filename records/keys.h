#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "records/db_error.h"
#include "records/target.h"
#include "records/value.h"

namespace talvenor::records {

// A 13-digit key from the server clock: the server time cut to whole seconds in
// units of 1/100000 day, then its 3 millisecond digits (on a database file: 3
// random digits 100..999). Empty when the clock query fails.
Value NewNumericKey(Target& target);

// A key for a row an import run adds. On an ODBC target it has NewNumericKey's
// form, but the server clock is asked only once per local clock minute (as
// ServerNow asks): in between its answer is advanced by the local seconds
// counter to the millisecond, so a key costs no round trip to the server. A
// key is never equal to or below the one made before it: a key that would be
// is the one before + 1 (what the save of an equal key moves on to). On a
// database file it is NewNumericKey.
Value NewRunKey(Target& target);

// The numeric key of a server time given as whole days since 30 December 1899
// and milliseconds into the day (a count past a whole day moves to the next).
double NumericKeyAt(long long day, long long millisecond_of_day);

// A new GUID as 38 characters, braces included, upper case; empty text when
// none could be made. Time-ordered: its first 48 bits are the milliseconds
// since 1970 of the moment it was made (the version 7 layout), the rest is
// random, so GUIDs made later sort after earlier ones (made in the same
// millisecond, in any order).
std::string NewGuidText();
// The same for a given moment, in milliseconds since 1970 (its low 48 bits).
std::string GuidText(std::int64_t unix_milliseconds);

// What became of a new row's save.
struct SavedRow {
  Value key;  // the stored row's key; empty when the row was not stored
  // The error that refused the row, when the engine gave one.
  std::optional<DbError> refused;
  bool stored() const { return key.HasValue(); }
};

// Stores the row being added to `set` and returns its key. On an ODBC target a
// key collision (2627) is retried with key + 1. The key is empty when the row
// was not stored (a duplicate, a collision whose key the check does not find,
// a failed save), so that callers skip what depends on the record. A failed
// save is reported to the operator; duplicates are not.
SavedRow SaveNewRecord(Target& target, Recordset& set, std::string_view key_field,
                       std::string_view table);

// Executes the INSERT that `statement` builds around `key` (a key written
// into the statement's own text, such as a script row's id). On an ODBC target
// a key collision (2627) whose key the check finds taken moves on to key + 1
// and tries again, as a save does. Returns the outcome of the last try.
DbStatus ExecuteWithNewKey(Target& target, std::string_view key_field, std::string_view table,
                           Value key, const std::function<std::string(const Value&)>& statement);

// Reports a failed save: the standard message for the error's number, then the
// description of every engine error (at most 52).
void ShowDatabaseErrors(Operator& op, const DbError& error);

}  // namespace talvenor::records
