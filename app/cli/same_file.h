#pragma once

#include <string>

namespace talvenor::app::cli {

// True when the paths `a` and `b` name one file: the same device and inode
// where both exist (a hard link too), or else the same path once made
// absolute and every symbolic link in it resolved. A file that does not exist
// yet is found through its folder's real path, and a link that points to no
// file yet through the path it points to, so that writing through `a` cannot
// reach `b` by any of these ways.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace talvenor::app::cli
