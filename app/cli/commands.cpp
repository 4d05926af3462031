// The sub-commands of talvenor-import, in the order the help lists them.

#include "app/cli/command.h"

namespace talvenor::app::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"catalogue", "list, add or remove entries of the catalogue (multi.mdb)", DefineCatalogue},
      {"encode", "print the encoded catalogue forms of a connection text", DefineEncode},
      {"init", "create the target tables in a new database", DefineInit},
      {"preview", "show how an export file reads, as JSON lines (no database)", DefinePreview},
      {"run", "import an export file into a target database", DefineRun},
      {"undo", "take back what one import run created", DefineUndo},
  };
  return commands;
}

}  // namespace talvenor::app::cli
