#pragma once

// Runs the real talvenor-import program for the command-line tests.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace talvenor::app::testing {

struct ProgramRun {
  int exit = -1;  // -1 when the program could not be started or did not exit normally
  std::string out, err;
  long max_rss_kib = 0;  // the program's peak resident memory
};

inline std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Where and how the program is started: its current folder (the test's when
// empty) and the file read as its standard input (/dev/null when empty).
struct RunIn {
  std::string folder;
  std::string input;
};

// What else happens while the program runs: its stdout goes to a file instead
// of being collected, or it gets a signal once, a while after its start.
struct RunAlso {
  std::string output;
  int signal = 0;
  std::chrono::milliseconds signal_after{0};
};
inline RunAlso OutputTo(std::string file) {
  RunAlso also;
  also.output = std::move(file);
  return also;
}
inline RunAlso SignalAfter(int signal, std::chrono::milliseconds after) {
  RunAlso also;
  also.signal = signal;
  also.signal_after = after;
  return also;
}

// Runs `argv` (argv[0] is the program file; no shell in between), standard
// input closed unless `in` names a file, and collects its exit status and
// both outputs.
inline ProgramRun RunCommand(const std::vector<std::string>& argv_text, const RunIn& in = {},
                             const RunAlso& also = {}) {
  namespace fs = std::filesystem;
  const std::string tag = std::to_string(getpid());
  const fs::path out = fs::temp_directory_path() / ("talvenor-cli-out-" + tag);
  const fs::path err = fs::temp_directory_path() / ("talvenor-cli-err-" + tag);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string input = in.input.empty() ? std::string("/dev/null") : in.input;
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  if (!in.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, in.folder.c_str());
  const std::string stdout_file = also.output.empty() ? out.string() : also.output;
  posix_spawn_file_actions_addopen(&actions, 1, stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> texts = argv_text;
  std::vector<char*> argv;
  for (std::string& a : texts) argv.push_back(a.data());
  argv.push_back(nullptr);
  ProgramRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, texts[0].c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    if (also.signal != 0) {
      std::this_thread::sleep_for(also.signal_after);
      kill(pid, also.signal);
    }
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    run.max_rss_kib = usage.ru_maxrss;
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = Slurp(out);
  run.err = Slurp(err);
  fs::remove(out);
  fs::remove(err);
  return run;
}

// Runs the talvenor-import program with `args`.
inline ProgramRun RunProgram(const std::vector<std::string>& args, const RunIn& in = {},
                             const RunAlso& also = {}) {
  std::vector<std::string> argv = {TALVENOR_IMPORT_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, in, also);
}

// The program's arguments from one text split at blanks (for tests whose
// arguments hold no blanks).
inline std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

inline bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

// How often `part` stands in `text` (overlapping places counted).
inline size_t Count(const std::string& text, std::string_view part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace talvenor::app::testing
