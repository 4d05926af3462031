// The export file check on any bytes: it never fails, and what it lets
// through the reader reads to its end.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "import/export_check.h"
#include "import/export_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/talvenor-fuzz-check-" + std::to_string(::getpid());
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);

  const auto refused = talvenor::import::CheckExportFile(path);
  // A refusal names the file and says why.
  if (refused && (refused->find(path) != 0 || refused->size() <= path.size())) std::abort();
  const auto what = talvenor::import::KnownBinaryFormat(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (what && !refused) std::abort();  // a known binary format is always refused

  auto reader = talvenor::import::ExportReader::Open(path);
  if (!reader.has_value()) std::abort();
  talvenor::import::ExportLine line;
  for (;;) {
    auto next = reader->Next(line);
    if (!next.has_value() || !*next) break;
  }
  return 0;
}
