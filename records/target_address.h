#pragma once

#include <string>

namespace talvenor::records {

// Which engine a target is opened with.
enum class TargetKind { kDatabaseFile, kOdbc };

// Where the records of a run go: a database file's path, or an ODBC
// connection text (a leading "ODBC;" is dropped when it is opened). The
// kind comes from the one connection-text rule (TargetKindOf), applied by
// the front end that resolved the text.
struct TargetAddress {
  std::string text;
  TargetKind kind = TargetKind::kDatabaseFile;
};

}  // namespace talvenor::records
