#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "import/import_run.h"

namespace talvenor::app::cli {

// The JSON summary lists at most this many warnings; "warning_count" has them all.
inline constexpr size_t kMaxJsonWarnings = 1000;

// What the summary of `run` tells besides the import's own counts.
struct SummaryFacts {
  bool dry_run = false;
  std::string_view rejects;       // the --rejects file, or empty
  std::string_view reasons_path;  // its reasons file
  long warning_count = 0;
  const std::vector<std::string>& warnings;  // the first kMaxJsonWarnings of them
};

// The run's summary as one JSON object and a line end.
std::string SummaryJson(const import::ImportSummary& summary, const SummaryFacts& facts);

// The run's summary as lines on stdout.
void PrintSummary(const import::ImportSummary& summary, const SummaryFacts& facts);

// A failure before the run began: with --json (`json`) it is told as one JSON
// object too, so that every run that asked for JSON gets one. Returns `exit`.
int Failed(bool json, int exit, std::string_view outcome, std::string_view why);

}  // namespace talvenor::app::cli
