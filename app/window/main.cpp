// talvenor: the import utility's window. Its command line, when not empty, is
// the Database Id of the catalogue entry to select.

#include <QApplication>
#include <cstdlib>
#include <string>

#include "app/app_folder.h"
#include "app/window/indexer.h"

int main(int argc, char** argv) {
  // QApplication takes its own options (-platform, -style, ...) out of argv.
  QApplication application(argc, argv);

  talvenor::app::window::IndexerOptions options;
  options.AppFolder = talvenor::app::ProgramFolder();
  for (int i = 1; i < argc; ++i) {
    if (i > 1) options.command_line += ' ';
    options.command_line += argv[i];
  }

  talvenor::app::window::Indexer indexer(std::move(options));
  // An unknown Database Id on the command line ends the program at once,
  // with nothing saved.
  if (!indexer.Form_Load()) return EXIT_FAILURE;
  indexer.show();
  return QApplication::exec();
}
