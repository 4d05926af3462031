// talvenor: the import utility's window. Its command line, when not empty, is
// the Database Id of the catalogue entry to select.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_folder.h"
#include "app/catalogue.h"
#include "app/window/command_line.h"
#include "app/window/indexer.h"

namespace window = talvenor::app::window;

int main(int argc, char** argv) {
  // Help and version need no screen: they are answered before Qt starts.
  // Qt's own options (-platform, -style, ...) stand after them if at all.
  const std::vector<std::string> raw(argv + 1, argv + argc);
  const window::WindowArgs first = window::ParseWindowArgs(raw);
  if (first.action == window::WindowArgs::Action::kHelp) {
    std::fputs(window::WindowHelp().c_str(), stdout);
    return EXIT_SUCCESS;
  }
  if (first.action == window::WindowArgs::Action::kVersion) {
    std::printf("talvenor %s\n", TALVENOR_VERSION);
    return EXIT_SUCCESS;
  }

  // QApplication takes its own options out of argv.
  QApplication application(argc, argv);
  const window::WindowArgs args =
      window::ParseWindowArgs(std::vector<std::string>(argv + 1, argv + argc));

  window::IndexerOptions options;
  const talvenor::app::AppFolderChoice folder = talvenor::app::ChooseAppFolder("");
  // The window keeps its last choice in talvenor.dat: an installed program's
  // own folder is made now so that saving it can succeed.
  if (folder.is_config_folder) talvenor::app::MakeAppFolder(folder.folder);
  options.AppFolder = folder.folder;
  options.command_line = args.command_line;
  const std::string command_line = options.command_line;

  window::Indexer indexer(std::move(options));
  // An unknown Database Id on the command line ends the program at once,
  // with nothing saved; the id and the ids held go to stderr as well.
  if (!indexer.Form_Load()) {
    std::fputs(window::UnknownIdReport(command_line,
                                       talvenor::app::CataloguePath(indexer.state().AppFolder),
                                       indexer.catalogue())
                   .c_str(),
               stderr);
    return EXIT_FAILURE;
  }
  indexer.show();
  return QApplication::exec();
}
