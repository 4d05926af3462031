// The export file reader and the line splitter on any bytes: every line read
// is split, and the invariants callers rely on are checked.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "import/export_reader.h"
#include "import/split_export_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reader works on a file, as the import does.
  static const std::string path = "/tmp/talvenor-fuzz-export-" + std::to_string(::getpid());
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);

  auto reader = talvenor::import::ExportReader::Open(path);
  if (!reader.has_value()) std::abort();
  talvenor::import::ExportLine line;
  std::vector<std::string> fields;
  size_t raw_bytes = 0;
  long last = 0;
  for (;;) {
    auto next = reader->Next(line);
    if (!next.has_value() || !*next) break;
    // Lines count up by one, hold no NUL and no line end in their text, and
    // never hold more bytes than the file could decode to.
    if (line.number != last + 1) std::abort();
    last = line.number;
    if (line.text.find('\0') != std::string::npos) std::abort();
    raw_bytes += line.raw.size();
    // A UTF-16 file's lines are handed out as UTF-8: at most 3 bytes for 2.
    if (raw_bytes > size / 2 * 3 + 3) std::abort();
    talvenor::import::SplitExportLine(line.text, fields);
    size_t separators = 0;
    for (char c : line.text) separators += (c == ',' || c == '|') ? 1 : 0;
    if (fields.empty() || fields.size() > separators + 1) std::abort();
  }
  return 0;
}
