#pragma once

#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "import/import_run.h"

namespace talvenor::app::cli {

// The rejects file of `run --rejects FILE`: every data line whose rows could
// not all be stored, unchanged, and beside it FILE.why with each line's
// numbers and reasons (and the warnings of lines that were stored). With no
// FILE nothing is written.
class RejectsFile {
 public:
  explicit RejectsFile(std::string path) : path_(std::move(path)) {}
  ~RejectsFile() { Close(); }
  RejectsFile(const RejectsFile&) = delete;
  RejectsFile& operator=(const RejectsFile&) = delete;

  // Opens both files; false when either cannot be written.
  bool Open();
  // Closes the rejects files; false when something could not be written.
  bool Close();

  std::string ReasonsPath() const { return path_ + ".why"; }

  // Writes a rejected line and its reasons.
  void KeepReject(const import::LineOutcome& outcome);
  // Writes a warning ("line N (file line M): ...") to the reasons file.
  void KeepWarning(const std::string& text);

 private:
  const std::string path_;
  std::FILE* rejects_ = nullptr;
  std::FILE* reasons_ = nullptr;
  bool write_failed_ = false;
};

// The rejects file and its reasons file are written from their first byte:
// neither may be the export file, the target or one of the target's
// companion files, however they are named. The problem, or an empty text.
std::string RejectsClash(const std::string& rejects, const std::string& file,
                         const AppState& state);

}  // namespace talvenor::app::cli
