#pragma once

#include <expected>
#include <string>
#include <vector>

namespace talvenor::records {

// Error numbers the callers test. Engine codes become these numbers in one
// place only: the engines' error translation.
inline constexpr int kOverflow = 6;
inline constexpr int kSqlServerPrimaryKey = 2627;   // provider number
inline constexpr int kSqlServerUniqueIndex = 2601;  // provider number
inline constexpr int kUpdateWithoutAddNew = 3020;
inline constexpr int kNoCurrentRecord = 3021;
inline constexpr int kDuplicateValue = 3022;
inline constexpr int kFileNotFound = 3024;        // a database file that is not there
inline constexpr int kInputTableNotFound = 3078;  // a table a statement names is not there
inline constexpr int kOdbcCallFailed = 3146;
inline constexpr int kRecordDeleted = 3167;
inline constexpr int kLockedByOther = 3218;  // a lock held past the busy time-out

// One error the engine or the server reported behind a failure.
struct ProviderError {
  long number = 0;
  std::string sql_state;
  std::string text;
};

// What a failure says of the target as a whole, beyond the one call: after
// any of these the target stores nothing more until someone mends it.
enum class Fault {
  kNone,            // the call failed; the next one may well succeed
  kStorage,         // the disk is full, an I/O error, a read-only or damaged file
  kLocked,          // another program held a lock past the busy time-out
  kConnectionLost,  // the connection to the server is gone
  kStopped,         // a stop was asked for (Ctrl-C, SIGTERM, the window) while a call waited
};

// How long an import waits for a lock another import or program holds: the
// busy time-out of a database file, and the wait for a server's import lock.
inline constexpr int kTurnWaitSeconds = 10;

// A failed data-access call: a DAO-style number and description, and the
// engine's error list (every diagnostic the engine gave, in order).
struct DbError {
  int number = 0;
  std::string description;
  std::vector<ProviderError> providers;
  Fault fault = Fault::kNone;
  // For a lock that was not released: how long the call waited for it, in
  // whole seconds; -1 when the engine does not say.
  int waited_s = -1;
};

template <class T>
using DbResult = std::expected<T, DbError>;
using DbStatus = std::expected<void, DbError>;

// What one server diagnostic says of the target as a whole (a lost
// connection, a full disk, a lock time-out), by its SQLSTATE or the server's
// own number.
Fault FaultOf(const ProviderError& p);
// The engine's verdict, or else the first verdict of its diagnostics.
Fault FaultOf(const DbError& error);

// The standard message text for an error number, as a message box shows it.
std::string StandardErrorText(int number);

}  // namespace talvenor::records
