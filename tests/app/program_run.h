#pragma once

// Runs the real talvenor-import program for the command-line tests.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace talvenor::app::testing {

struct ProgramRun {
  int exit = -1;  // -1 when the program could not be started or did not exit normally
  std::string out, err;
};

inline std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs the program with `args` (no shell in between), standard input closed,
// and collects its exit status and both outputs.
inline ProgramRun RunProgram(const std::vector<std::string>& args) {
  namespace fs = std::filesystem;
  const std::string tag = std::to_string(getpid());
  const fs::path out = fs::temp_directory_path() / ("talvenor-cli-out-" + tag);
  const fs::path err = fs::temp_directory_path() / ("talvenor-cli-err-" + tag);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> argv_text = {TALVENOR_IMPORT_EXE};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  ProgramRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, TALVENOR_IMPORT_EXE, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = Slurp(out);
  run.err = Slurp(err);
  fs::remove(out);
  fs::remove(err);
  return run;
}

// The program's arguments from one text split at blanks (for tests whose
// arguments hold no blanks).
inline std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace talvenor::app::testing
