#include "records/db_error.h"

#include <string_view>

namespace talvenor::records {

std::string StandardErrorText(int number) {
  switch (number) {
    case kOverflow:
      return "Overflow";
    case kUpdateWithoutAddNew:
      return "Update or CancelUpdate without AddNew or Edit.";
    case kNoCurrentRecord:
      return "No current record.";
    case kDuplicateValue:
      return "The changes you requested to the table were not successful because they would "
             "create duplicate values in the index, primary key, or relationship.";
    case kOdbcCallFailed:
      return "ODBC--call failed.";
    case kRecordDeleted:
      return "Record is deleted.";
    case 3078:
      return "The database engine cannot find the input table or query.";
    case 3024:
      return "Could not find file.";
    case 3044:
      return "Not a valid path.";
    case 3051:
      return "The database engine cannot open the file.";
    case 3075:
      return "Syntax error in query expression.";
    case 3265:
      return "Item not found in this collection.";
    case 53:
      return "File not found";
    case 75:
      return "Path/File access error";
    default:
      break;
  }
  return "Application-defined or object-defined error";
}

Fault FaultOf(const ProviderError& p) {
  const std::string_view state = p.sql_state;
  // Class 08 is a connection exception; 57P01 to 57P03 the server shutting
  // down (PostgreSQL).
  if (state.starts_with("08") || state == "57P01" || state == "57P02" || state == "57P03") {
    return Fault::kConnectionLost;
  }
  // PostgreSQL: disk full, out of resources, I/O error, a read-only
  // transaction. SQL Server: its data file or log full (1105, 9002).
  if (state.starts_with("53") || state == "58030" || state == "25006" || p.number == 1105 ||
      p.number == 9002) {
    return Fault::kStorage;
  }
  // A lock not granted in time: PostgreSQL's lock_not_available, a driver's
  // time-out, SQL Server's lock request time-out (1222).
  if (state == "55P03" || state == "HYT00" || state == "HYT01" || p.number == 1222) {
    return Fault::kLocked;
  }
  return Fault::kNone;
}

Fault FaultOf(const DbError& error) {
  if (error.fault != Fault::kNone) return error.fault;
  for (const ProviderError& p : error.providers) {
    if (const Fault f = FaultOf(p); f != Fault::kNone) return f;
  }
  return Fault::kNone;
}

}  // namespace talvenor::records
