#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/catalogue.h"

namespace talvenor::app::window {

// What the window program's arguments ask for.
struct WindowArgs {
  enum class Action { kRun, kHelp, kVersion };
  Action action = Action::kRun;
  // The Database Id to select: the arguments joined with blanks.
  std::string command_line;
};

// "--help" (or "-h") and "--version" as the first argument print and end the
// program; "--" as the first argument lets an id begin with "-". Everything
// else, joined with blanks, is the Database Id.
WindowArgs ParseWindowArgs(const std::vector<std::string>& args);

// The text of --help.
std::string WindowHelp();

// What goes to stderr when the command line names an id the catalogue does
// not hold: the id, the catalogue, and the ids it holds.
std::string UnknownIdReport(std::string_view id, std::string_view catalogue_path,
                            const std::vector<CatalogueRow>& rows);

}  // namespace talvenor::app::window
