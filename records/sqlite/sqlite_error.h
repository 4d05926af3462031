#pragma once

#include <string>
#include <string_view>

#include "records/db_error.h"

namespace talvenor::records {

// Error numbers of the file engine beyond those callers test (db_error.h).
inline constexpr int kEngineGeneric = 3000;
inline constexpr int kReadOnly = 3027;
inline constexpr int kResourcesExceeded = 3035;
inline constexpr int kInvalidPath = 3044;
inline constexpr int kCannotOpenFile = 3051;
inline constexpr int kTooFewParameters = 3061;
inline constexpr int kCannotExecuteSelect = 3065;
inline constexpr int kSyntaxError = 3075;
inline constexpr int kInvalidSqlStatement = 3129;
inline constexpr int kTextAfterStatement = 3142;
inline constexpr int kFieldTooSmall = 3163;
inline constexpr int kRelatedRecordRequired = 3201;
inline constexpr int kInvalidOperation = 3219;
inline constexpr int kItemNotFound = 3265;
inline constexpr int kNullNotAllowed = 3314;
inline constexpr int kValidationRule = 3317;
inline constexpr int kUnrecognisedFormat = 3343;
inline constexpr int kObjectInvalid = 3420;
inline constexpr int kConversionError = 3421;

// An error the engine raises itself (no SQLite diagnostic behind it).
DbError EngineError(int number, std::string description = {});

// The one translation of SQLite result codes into DAO-style numbers. `rc` is
// the extended result code, `message` SQLite's text for it; `path` names the
// file for the errors that mention it. The SQLite code and text are kept as the
// error's provider entry.
DbError SqliteError(int rc, std::string_view message, std::string_view path = {});

}  // namespace talvenor::records
