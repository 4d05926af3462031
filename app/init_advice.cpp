#include "app/init_advice.h"

#include <string_view>

namespace talvenor::app {
namespace {

// A file name as it can be typed at a shell prompt.
std::string ShellWord(std::string_view word) {
  const bool plain = !word.empty() && word.find_first_not_of(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789_./+-:,@%") == std::string_view::npos;
  if (plain) return std::string(word);
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace

std::string InitAdvice(const records::TargetAddress& target) {
  return target.kind == records::TargetKind::kOdbc
             ? std::string("talvenor-import init CONNECTION-TEXT")
             : "talvenor-import init " + ShellWord(target.text);
}

}  // namespace talvenor::app
