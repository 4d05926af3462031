#include "app/window/command_line.h"

namespace talvenor::app::window {

WindowArgs ParseWindowArgs(const std::vector<std::string>& args) {
  WindowArgs out;
  size_t first = 0;
  if (!args.empty()) {
    if (args[0] == "--help" || args[0] == "-h") {
      out.action = WindowArgs::Action::kHelp;
      return out;
    }
    if (args[0] == "--version") {
      out.action = WindowArgs::Action::kVersion;
      return out;
    }
    if (args[0] == "--") first = 1;
  }
  for (size_t i = first; i < args.size(); ++i) {
    if (i > first) out.command_line += ' ';
    out.command_line += args[i];
  }
  return out;
}

std::string WindowHelp() {
  return "Usage: talvenor [DATABASE-ID]\n"
         "       talvenor -- DATABASE-ID     (an id that begins with \"-\")\n"
         "Opens the Talvenor Import Utility window. DATABASE-ID selects that entry of\n"
         "the catalogue multi.mdb (the arguments joined with blanks); without it the\n"
         "last choice, kept in talvenor.dat, is selected again.\n"
         "\n"
         "Both files lie beside the program when either is there or when the program is\n"
         "not installed; an installed program (libtalvenor-decode.so in ../lib/talvenor/\n"
         "seen from the program's folder, or a program folder the operator cannot\n"
         "write) keeps them in $XDG_CONFIG_HOME/talvenor or ~/.config/talvenor, made\n"
         "with mode 0700.\n"
         "\n"
         "  -h, --help     print this help and exit\n"
         "      --version  print the version and exit\n"
         "\n"
         "Imports without a window: talvenor-import --help\n";
}

std::string UnknownIdReport(std::string_view id, std::string_view catalogue_path,
                            const std::vector<CatalogueRow>& rows) {
  std::string out = "talvenor: Database Id '" + std::string(id) + "' not found in '" +
                    std::string(catalogue_path) + "'";
  if (rows.empty()) return out + "; it holds no entries (or cannot be read)\n";
  out += "; its ids are:\n";
  for (const CatalogueRow& row : rows) out += "  " + row.database_id + "\n";
  return out;
}

}  // namespace talvenor::app::window
