#pragma once

#include <string>
#include <string_view>

namespace talvenor::app {

// The folder of the running program file, without a trailing "/": "/opt/tv"
// for /opt/tv/talvenor-import, "" for a program in the root folder. Empty text
// too when the program file cannot be found.
std::string ProgramFolder();

// The folder part of a file path, without a trailing "/" ("" when the file
// lies in the root folder or the path holds no "/").
std::string FolderOf(std::string_view file_path);

// What the folder rule reads from the environment: XDG_CONFIG_HOME and HOME.
struct FolderEnvironment {
  std::string xdg_config_home;
  std::string home;
};

// The operator's own folder for the catalogue and the saved selection:
// XDG_CONFIG_HOME/talvenor when that is an absolute path, else
// HOME/.config/talvenor; "" when neither names one.
std::string ConfigFolder(const FolderEnvironment& env);

// Whether the program in `program_folder` is installed rather than a portable
// copy: the decoding library lies where an installation puts it
// (program_folder/../lib/talvenor/) and not beside the program, or the
// operator cannot write to the program's folder.
bool IsInstalledProgram(const std::string& program_folder);

// The folder that holds multi.mdb and talvenor.dat.
struct AppFolderChoice {
  std::string folder;
  bool is_config_folder = false;  // the operator's folder, made when first written to
};

// The folder rule: `given` (--folder) when not empty; else the program's
// folder when multi.mdb or talvenor.dat lies there (the portable layout);
// else, for an installed program, ConfigFolder(env); else (a build, a copy
// without those files, or no config folder to be found) the program's folder.
AppFolderChoice ChooseAppFolder(std::string_view given, const std::string& program_folder,
                                const FolderEnvironment& env);

// ChooseAppFolder for the running program and the process's environment.
AppFolderChoice ChooseAppFolder(std::string_view given);

// Makes `folder` and its missing parents, each with mode 0700 (it may hold
// logons). True when the folder is there afterwards.
bool MakeAppFolder(const std::string& folder);

}  // namespace talvenor::app
