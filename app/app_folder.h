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

}  // namespace talvenor::app
