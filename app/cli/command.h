#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace talvenor::app::cli {

// Exit codes in the sysexits convention.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 64;         // bad usage
inline constexpr int kExitDataErr = 65;       // lines were rejected and --strict was given
inline constexpr int kExitNoInput = 66;       // the export file cannot be read
inline constexpr int kExitUnavailable = 69;   // the target cannot be opened
inline constexpr int kExitSoftware = 70;      // an internal failure
inline constexpr int kExitCantCreate = 73;    // an output file cannot be written
inline constexpr int kExitIoErr = 74;         // the target's disk is full or failed
inline constexpr int kExitTempFail = 75;      // the target stayed locked by another program
inline constexpr int kExitInterrupted = 130;  // stopped by SIGINT (128 + 2)
inline constexpr int kExitTerminated = 143;   // stopped by SIGTERM (128 + 15)

struct Command {
  std::string summary;
  std::function<int(const std::vector<std::string>& args)> run;
};

// The sub-commands by name.
inline std::map<std::string, Command>& Commands() {
  static std::map<std::string, Command> commands;
  return commands;
}

// Registers a sub-command from its own file: static Registration r{"name", ...};
struct Registration {
  Registration(std::string name, std::string summary,
               std::function<int(const std::vector<std::string>&)> run) {
    Commands().emplace(std::move(name), Command{std::move(summary), std::move(run)});
  }
};

}  // namespace talvenor::app::cli
