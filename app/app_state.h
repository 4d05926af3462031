#pragma once

#include <string>

#include "records/clock_cache.h"
#include "records/target_address.h"
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
  // 1 when TargetPath names an ODBC source, 0 for a database file: the kind
  // of the address DoPath resolved. Set only by DoPath.
  int TargetIsOdbc = 0;

  // The target as the records layer opens it: TargetPath of its kind.
  records::TargetAddress Address() const {
    return {TargetPath,
            TargetIsOdbc == 1 ? records::TargetKind::kOdbc : records::TargetKind::kDatabaseFile};
  }
  // What the server clock keeps between import runs.
  records::ClockCache clock_cache;
};

}  // namespace talvenor::app
