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
inline constexpr int kOdbcCallFailed = 3146;
inline constexpr int kRecordDeleted = 3167;

// One error the engine or the server reported behind a failure.
struct ProviderError {
  long number = 0;
  std::string sql_state;
  std::string text;
};

// A failed data-access call: a DAO-style number and description, and the
// engine's error list (every diagnostic the engine gave, in order).
struct DbError {
  int number = 0;
  std::string description;
  std::vector<ProviderError> providers;
};

template <class T>
using DbResult = std::expected<T, DbError>;
using DbStatus = std::expected<void, DbError>;

// The standard message text for an error number, as a message box shows it.
std::string StandardErrorText(int number);

}  // namespace talvenor::records
