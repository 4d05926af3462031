#include "app/cli/same_file.h"

#include <sys/stat.h>

#include <filesystem>

namespace talvenor::app::cli {
namespace {

namespace fs = std::filesystem;

// The path with every link resolved, a dangling last link included (which
// weakly_canonical leaves as it is, yet opening it for writing creates the
// file it points to). At most 40 links are followed, as the system does.
fs::path Resolved(const std::string& given) {
  std::error_code ec;
  fs::path path = fs::absolute(given, ec);
  for (int links = 0; links < 40 && fs::is_symlink(path, ec); ++links) {
    const fs::path to = fs::read_symlink(path, ec);
    if (ec) break;
    path = to.is_absolute() ? to : path.parent_path() / to;
  }
  const fs::path real = fs::weakly_canonical(path, ec);
  return (ec ? path : real).lexically_normal();
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
  return Resolved(a) == Resolved(b);
}

}  // namespace talvenor::app::cli
