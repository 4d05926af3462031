#include "records/db_error.h"

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

}  // namespace talvenor::records
