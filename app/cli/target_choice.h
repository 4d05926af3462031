#pragma once

#include <string>

#include "app/app_state.h"
#include "records/operator.h"

namespace talvenor::app::cli {

// How a sub-command was told its target: --target TEXT or --database ID, and
// --folder DIR as the program's folder.
struct TargetChoice {
  std::string target;
  std::string database_id;
  bool has_database = false;
  std::string folder;
};

// Sets state.AppFolder (the folder given, else the program's) and
// state.TargetPath and TargetIsOdbc as the window resolves them: the text
// given, or the catalogue entry's, through DoPath. False, after the
// catalogue's message to `op`, when the entry is not in the catalogue.
bool ChooseTarget(AppState& state, const TargetChoice& choice, records::Operator& op);

}  // namespace talvenor::app::cli
