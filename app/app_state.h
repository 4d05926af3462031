#pragma once

#include <string>

#include "records/clock_cache.h"
#include "records/value.h"

namespace talvenor::app {

// The program-wide state. `main` (or the window) owns the one instance and
// passes it by reference; there are no mutable globals.
struct AppState {
  // The program's folder, without a trailing "/" ("" for the root folder).
  std::string AppFolder;
  // The Database Id of the chosen catalogue entry; Empty before any choice.
  records::Value SelectedDatabaseId;
  // The chosen entry's database file path or ODBC connection text, resolved by
  // DoPath after every change.
  std::string TargetPath;
  // 1 when TargetPath names an ODBC source, 0 for a database file. Set only by
  // DoPath.
  int TargetIsOdbc = 0;
  // What the server clock keeps between import runs.
  records::ClockCache clock_cache;
};

}  // namespace talvenor::app
