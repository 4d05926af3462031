#include "app/app_folder.h"

#include <filesystem>
#include <system_error>

namespace talvenor::app {

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

}  // namespace talvenor::app
