#include "records/sqlite/sqlite_error.h"

#include <sqlite3.h>

namespace talvenor::records {
namespace {

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The text after "...: " in SQLite's message ("no such table: Foo" -> "Foo").
std::string_view Subject(std::string_view message) {
  const size_t colon = message.find(": ");
  return colon == std::string_view::npos ? std::string_view{} : message.substr(colon + 2);
}

std::string Described(int number) {
  switch (number) {
    case kReadOnly:
      return "Cannot update. Database or object is read-only.";
    case kResourcesExceeded:
      return "System resource exceeded.";
    case kTooFewParameters:
      return "Too few parameters. Expected 1.";
    case kCannotExecuteSelect:
      return "Cannot execute a select query.";
    case kInvalidSqlStatement:
      return "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or "
             "'UPDATE'.";
    case kTextAfterStatement:
      return "Characters found after end of SQL statement.";
    case kFieldTooSmall:
      return "The field is too small to accept the amount of data you attempted to add.";
    case kRelatedRecordRequired:
      return "You cannot add or change a record because a related record is required.";
    case kLockedByOther:
      return "Could not update; currently locked.";
    case kInvalidOperation:
      return "Invalid operation.";
    case kValidationRule:
      return "One or more values are prohibited by the validation rule set for the table.";
    case kObjectInvalid:
      return "Object invalid or no longer set.";
    case kConversionError:
      return "Data type conversion error.";
    default:
      return StandardErrorText(number);
  }
}

}  // namespace

DbError EngineError(int number, std::string description) {
  DbError e;
  e.number = number;
  e.description = description.empty() ? Described(number) : std::move(description);
  return e;
}

DbError SqliteError(int rc, std::string_view message, std::string_view path) {
  const std::string file(path);
  int number = kEngineGeneric;
  std::string description;
  switch (rc) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_ROWID:
      number = kDuplicateValue;
      break;
    case SQLITE_CONSTRAINT_NOTNULL:
      number = kNullNotAllowed;
      description = "The field '" + std::string(Subject(message)) +
                    "' cannot contain a Null value because the Required property for this "
                    "field is set to True. Enter a value in this field.";
      break;
    case SQLITE_CONSTRAINT_FOREIGNKEY:
      number = kRelatedRecordRequired;
      break;
    case SQLITE_CONSTRAINT_CHECK:
      number = kValidationRule;
      break;
    case SQLITE_BUSY:
    case SQLITE_BUSY_SNAPSHOT:
    case SQLITE_BUSY_TIMEOUT:
    case SQLITE_LOCKED:
      number = kLockedByOther;
      break;
    case SQLITE_READONLY:
    case SQLITE_READONLY_DBMOVED:
    case SQLITE_READONLY_DIRECTORY:
      number = kReadOnly;
      break;
    case SQLITE_FULL:
    case SQLITE_NOMEM:
      number = kResourcesExceeded;
      break;
    case SQLITE_MISMATCH:
      number = kConversionError;
      break;
    case SQLITE_TOOBIG:
      number = kFieldTooSmall;
      break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      number = kUnrecognisedFormat;
      description = "Unrecognized database format '" + file + "'.";
      break;
    case SQLITE_CANTOPEN:
    case SQLITE_CANTOPEN_ISDIR:
    case SQLITE_CANTOPEN_FULLPATH:
      number = kCannotOpenFile;
      description = "The database engine cannot open the file '" + file +
                    "'. It is already opened exclusively by another user, or you need "
                    "permission to view its data.";
      break;
    case SQLITE_ERROR:
      if (message.starts_with("no such table")) {
        number = kInputTableNotFound;
        description = "The database engine cannot find the input table or query '" +
                      std::string(Subject(message)) +
                      "'. Make sure it exists and that its name is spelled correctly.";
      } else if (message.starts_with("no such column")) {
        number = kTooFewParameters;
      } else if (Contains(message, "syntax error") || Contains(message, "incomplete input") ||
                 Contains(message, "unrecognized token")) {
        number = kSyntaxError;
      }
      break;
    default:
      break;
  }
  DbError e;
  e.number = number;
  if (!description.empty()) {
    e.description = std::move(description);
  } else if (number == kEngineGeneric) {
    e.description = std::string(message);
  } else {
    e.description = Described(number);
  }
  e.providers.push_back({rc, "", std::string(message)});
  switch (rc & 0xff) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
      e.fault = Fault::kStorage;
      break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      e.fault = Fault::kLocked;
      break;
    default:
      break;
  }
  return e;
}

}  // namespace talvenor::records
