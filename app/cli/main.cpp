#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/command.h"

// talvenor-import: the import run and its helpers without a window. Each
// sub-command lives in its own file and registers itself.
int main(int argc, char** argv) {
  using talvenor::app::cli::Commands;
  using talvenor::app::cli::kExitUsage;
  std::vector<std::string> args(argv + 1, argv + argc);
  auto usage = [](std::FILE* out) {
    std::fprintf(out,
                 "Usage: talvenor-import COMMAND [ARGS]\n"
                 "Imports job-posting export files into a recruiting database.\n\n"
                 "Commands:\n");
    for (const auto& [name, command] : Commands()) {
      std::fprintf(out, "  %-10s %s\n", name.c_str(), command.summary.c_str());
    }
    std::fprintf(out, "\nRun 'talvenor-import COMMAND --help' for a command's options.\n");
  };
  if (args.empty()) {
    usage(stderr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    usage(stdout);
    return 0;
  }
  if (args[0] == "--version") {
    std::printf("talvenor-import %s\n", TALVENOR_VERSION);
    return 0;
  }
  const auto it = Commands().find(args[0]);
  if (it == Commands().end()) {
    std::fprintf(stderr, "talvenor-import: unknown command '%s'\n", args[0].c_str());
    usage(stderr);
    return kExitUsage;
  }
  args.erase(args.begin());
  return it->second.run(args);
}
