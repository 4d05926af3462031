#pragma once

#include <CLI/CLI.hpp>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/stop_request.h"

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

// The exit code of a command that a stop asked for ended (see
// records::CatchStopSignals): 143 after SIGTERM, 130 after Ctrl-C.
inline int StopExitCode() {
  return records::StopSignal() == SIGTERM ? kExitTerminated : kExitInterrupted;
}

// What a sub-command does once its arguments are parsed; its exit code.
using Action = std::function<int()>;
// Declares a sub-command's options and operands on its parser and returns
// the action that runs with the parsed values.
using Definer = std::function<Action(CLI::App& app)>;

struct Command {
  std::string name;
  std::string summary;
  Definer define;
};

// The sub-commands, in the order the help lists them (commands.cpp).
const std::vector<Command>& Commands();

// The sub-commands' definers, each in its own file (NAME_command.cpp).
Action DefineCatalogue(CLI::App& app);
Action DefineEncode(CLI::App& app);
Action DefineInit(CLI::App& app);
Action DefinePreview(CLI::App& app);
Action DefineRun(CLI::App& app);
Action DefineUndo(CLI::App& app);

// Refuses an option's value that is itself an option ("--target --dry-run"):
// the value was forgotten, and the next option must not be taken for it.
CLI::Validator NotAnOption();

// The usage lines a sub-command's help begins with ("Usage: talvenor-import
// run FILE --target TEXT [OPTIONS]\n..."), in place of the parser's own.
void SetUsage(CLI::App& app, std::string usage);

// Writes a sub-command's error on stderr in the one layout all of them use:
// "talvenor-import CMD: PROBLEM (see --help)". Returns kExitUsage.
int UsageError(std::string_view command, std::string_view problem);

// --max-line-kib N of `run` and `preview`: the longest line read, in KiB,
// from 1 to kMostMaxLineKib (1 GiB; a larger number is a typing slip).
inline constexpr long kMostMaxLineKib = 1L << 20;
inline constexpr std::string_view kMaxLineKibHelp =
    "read lines of up to N KiB (default 1024); a longer line is rejected with its "
    "line number and first bytes, and reading goes on after it";
// Adds the option to `app`; its text goes to `kib`.
CLI::Option* AddMaxLineKib(CLI::App& app, std::string& kib);
// The bytes the option's text names, or nothing when it names no number of
// KiB from 1 to kMostMaxLineKib.
std::optional<size_t> MaxLineBytes(std::string_view kib);

// Reads the whole command line and runs the sub-command it names; the exit
// code.
int RunCommandLine(int argc, char** argv);

}  // namespace talvenor::app::cli
