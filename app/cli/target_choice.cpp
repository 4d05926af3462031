#include "app/cli/target_choice.h"

#include "app/app_folder.h"
#include "app/catalogue.h"
#include "app/do_path.h"

namespace talvenor::app::cli {

namespace {

// The catalogue's ids, for a message about an id it does not hold.
std::string KnownIds(const std::string& app_folder) {
  auto rows = ListCatalogue(CataloguePath(app_folder));
  if (!rows || rows->empty()) return "the catalogue holds no entries";
  std::string ids = "the catalogue holds: ";
  for (size_t i = 0; i < rows->size(); ++i) {
    ids += (i > 0 ? ", '" : "'") + (*rows)[i].database_id + "'";
  }
  return ids;
}

}  // namespace

bool ChooseTarget(AppState& state, const TargetChoice& choice, records::Operator& op) {
  state.AppFolder = ChooseAppFolder(choice.folder).folder;
  // AppFolder never ends in "/", and the root folder is the empty text.
  while (state.AppFolder.size() > 1 && state.AppFolder.back() == '/') state.AppFolder.pop_back();
  if (state.AppFolder == "/") state.AppFolder.clear();
  // A catalogue entry is resolved as the window resolves it (a bare name is a
  // file in the program's folder); a target typed here is a path from the
  // current folder, like every path on a command line.
  if (choice.has_database) {
    if (!LookUpCommandLine(state, choice.database_id, op)) {
      op.ShowMessage("no catalogue entry has the Database Id '" + choice.database_id + "'; " +
                         KnownIds(state.AppFolder),
                     "", records::MessageIcon::kNone);
      return false;
    }
    DoPath(state, state.TargetPath);
  } else {
    state.TargetPath = choice.target;
    ResolveCommandLineTarget(state, state.TargetPath);
  }
  return true;
}

}  // namespace talvenor::app::cli
