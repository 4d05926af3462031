#pragma once

#include "records/target.h"

namespace talvenor::records {

// The time every stamp of the import is written with: the local clock on a
// database file, the server's clock on an ODBC target, asked at most once per
// local clock minute and advanced by the local seconds in between.
double ServerNow(Target& target);

}  // namespace talvenor::records
