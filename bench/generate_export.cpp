// talvenor-generate: writes a realistic export file for the benchmark.
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "bench/export_generator.h"

namespace {

constexpr int kExitUsage = 64;
constexpr int kExitIoError = 74;

constexpr const char* kUsage =
    "Usage: talvenor-generate LINES [--seed SEED]\n"
    "Writes an export file of LINES data lines (after one header line) to stdout,\n"
    "with CRLF line ends. The same LINES and SEED (default 1) give the same file.\n";

bool ParseCount(std::string_view text, std::uint64_t& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t lines = 0;
  std::uint64_t seed = 1;
  bool have_lines = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--seed" && i + 1 < argc) {
      if (!ParseCount(argv[++i], seed)) {
        std::fprintf(stderr, "talvenor-generate: the seed must be a whole number: %s\n", argv[i]);
        return kExitUsage;
      }
    } else if (!have_lines && ParseCount(arg, lines)) {
      have_lines = true;
    } else {
      std::fprintf(stderr, "talvenor-generate: unexpected argument '%s'\n%s", argv[i], kUsage);
      return kExitUsage;
    }
  }
  if (!have_lines) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  talvenor::bench::ExportGenerator generator(seed);
  std::string buffer = talvenor::bench::ExportHeaderLine() + "\r\n";
  constexpr size_t kFlushAt = 1 << 20;
  buffer.reserve(kFlushAt + 4096);
  for (std::uint64_t n = 0; n < lines; ++n) {
    buffer += generator.NextLine();
    buffer += "\r\n";
    if (buffer.size() >= kFlushAt || n + 1 == lines) {
      if (std::fwrite(buffer.data(), 1, buffer.size(), stdout) != buffer.size()) break;
      buffer.clear();
    }
  }
  if (!buffer.empty()) std::fwrite(buffer.data(), 1, buffer.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "talvenor-generate: cannot write the output: %s\n", std::strerror(errno));
    return kExitIoError;
  }
  return 0;
}
