#include "app/app_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/catalogue.h"
#include "app/decode_library.h"
#include "app/saved_selection.h"

namespace talvenor::app {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string FolderOf(std::string_view file_path) {
  const size_t slash = file_path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(file_path.substr(0, slash));
}

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return FolderOf(exe.string());
}

std::string ConfigFolder(const FolderEnvironment& env) {
  // A relative XDG_CONFIG_HOME is to be ignored, as is a relative HOME: either
  // would put the catalogue wherever the program happens to be started.
  if (env.xdg_config_home.starts_with('/')) return env.xdg_config_home + "/talvenor";
  if (env.home.starts_with('/')) {
    std::string home = env.home;
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return (home == "/" ? std::string() : home) + "/.config/talvenor";
  }
  return {};
}

bool IsInstalledProgram(const std::string& program_folder) {
  const std::string library(DecodeLibrary::kFileName);
  if (!Exists(program_folder + "/" + library) &&
      Exists(program_folder + "/../lib/talvenor/" + library)) {
    return true;
  }
  return ::access((program_folder.empty() ? "/" : program_folder).c_str(), W_OK) != 0;
}

AppFolderChoice ChooseAppFolder(std::string_view given, const std::string& program_folder,
                                const FolderEnvironment& env) {
  if (!given.empty()) return {std::string(given)};
  // The names only: this file is linked into programs without the catalogue.
  if (Exists(program_folder + "/" + std::string(kCatalogueName)) ||
      Exists(program_folder + "/" + std::string(kSavedSelectionName))) {
    return {program_folder};
  }
  if (IsInstalledProgram(program_folder)) {
    std::string config = ConfigFolder(env);
    if (!config.empty()) return {std::move(config), /*is_config_folder=*/true};
  }
  return {program_folder};
}

AppFolderChoice ChooseAppFolder(std::string_view given) {
  if (!given.empty()) return {std::string(given)};
  return ChooseAppFolder(given, ProgramFolder(),
                         {Environment("XDG_CONFIG_HOME"), Environment("HOME")});
}

bool MakeAppFolder(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), S_IRWXU) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace talvenor::app
