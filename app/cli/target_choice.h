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
// state.TargetPath and TargetIsOdbc: a catalogue entry's text as the window
// resolves it (DoPath), a text typed on the command line as a connection
// text or a path from the current folder. False, after the catalogue's
// message and one naming the id and the ids there are, when the entry is not
// in the catalogue.
bool ChooseTarget(AppState& state, const TargetChoice& choice, records::Operator& op);

}  // namespace talvenor::app::cli
