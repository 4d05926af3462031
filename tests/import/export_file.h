#pragma once

// Export files written by a test and read back through ExportReader.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "import/export_reader.h"

namespace talvenor::import::testing {

// Writes `bytes` to a new file in the test's temporary folder (named by the
// process, so that test binaries run side by side never share one).
inline std::string WriteFile(std::string_view bytes) {
  static int serial = 0;
  const std::string path = ::testing::TempDir() + "export_file_" + std::to_string(::getpid()) +
                           "_" + std::to_string(++serial);
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  return path;
}

// One data line as the reader handed it out.
struct Read {
  long number, physical;
  std::string text, raw;
  bool operator==(const Read&) const = default;
};

// Every data line of a file holding `bytes`; `blank`, when given, receives
// the blank lines the reader skipped.
inline std::vector<Read> ReadAll(std::string_view bytes, long* blank = nullptr) {
  auto reader = ExportReader::Open(WriteFile(bytes));
  EXPECT_TRUE(reader.has_value());
  std::vector<Read> lines;
  ExportLine line;
  while (reader && reader->Next(line).value_or(false)) {
    lines.push_back(
        {line.number, line.physical_number, std::string(line.text), std::string(line.raw)});
  }
  if (blank != nullptr) *blank = reader ? reader->blank_lines() : -1;
  return lines;
}

}  // namespace talvenor::import::testing
