#include "app/cli/target_choice.h"

#include "app/app_folder.h"
#include "app/catalogue.h"
#include "app/do_path.h"

namespace talvenor::app::cli {

bool ChooseTarget(AppState& state, const TargetChoice& choice, records::Operator& op) {
  state.AppFolder = choice.folder.empty() ? ProgramFolder() : choice.folder;
  // AppFolder never ends in "/", and the root folder is the empty text.
  while (state.AppFolder.size() > 1 && state.AppFolder.back() == '/') state.AppFolder.pop_back();
  if (state.AppFolder == "/") state.AppFolder.clear();
  if (choice.has_database) {
    if (!LookUpCommandLine(state, choice.database_id, op)) return false;
  } else {
    state.TargetPath = choice.target;
  }
  DoPath(state, state.TargetPath);
  return true;
}

}  // namespace talvenor::app::cli
