#include "app/cli/command.h"

// talvenor-import: the import run and its helpers without a window. Each
// sub-command lives in its own file and is listed in commands.cpp.
int main(int argc, char** argv) { return talvenor::app::cli::RunCommandLine(argc, argv); }
