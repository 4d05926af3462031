#include "app/cli/rejects_file.h"

#include <utility>
#include <vector>

#include "app/cli/same_file.h"
#include "records/connection_text.h"

namespace talvenor::app::cli {

bool RejectsFile::Open() {
  if (path_.empty()) return true;
  rejects_ = std::fopen(path_.c_str(), "wb");
  reasons_ = std::fopen(ReasonsPath().c_str(), "wb");
  return rejects_ != nullptr && reasons_ != nullptr;
}

bool RejectsFile::Close() {
  bool ok = !write_failed_;
  for (std::FILE** f : {&rejects_, &reasons_}) {
    if (*f != nullptr && std::fclose(*f) != 0) ok = false;
    *f = nullptr;
  }
  return ok;
}

void RejectsFile::KeepWarning(const std::string& text) {
  if (reasons_ != nullptr &&
      std::fprintf(reasons_, "%s (warning; line stored)\n", text.c_str()) < 0) {
    write_failed_ = true;
  }
}

void RejectsFile::KeepReject(const import::LineOutcome& outcome) {
  if (rejects_ == nullptr) return;
  // A line too long to read was not kept: only its reason is written.
  if (!outcome.cut &&
      (std::fwrite(outcome.raw.data(), 1, outcome.raw.size(), rejects_) != outcome.raw.size() ||
       std::fputs("\r\n", rejects_) < 0)) {
    write_failed_ = true;
  }
  std::string why = "line " + std::to_string(outcome.number) + " (file line " +
                    std::to_string(outcome.physical_number) + "): ";
  for (size_t i = 0; i < outcome.problems->size(); ++i) {
    if (i > 0) why += "; ";
    why += (*outcome.problems)[i];
  }
  why = records::HidePasswords(why) + '\n';
  if (std::fputs(why.c_str(), reasons_) < 0) write_failed_ = true;
}

std::string RejectsClash(const std::string& rejects, const std::string& file,
                         const AppState& state) {
  if (rejects.empty()) return {};
  const std::string export_path = file == "-" ? "/dev/stdin" : file;
  std::vector<std::pair<std::string, std::string>> kept = {{export_path, "the export file"}};
  if (state.Address().kind == records::TargetKind::kDatabaseFile) {
    kept.emplace_back(state.TargetPath, "the target");
    for (const char* companion : {"-wal", "-journal", "-shm"}) {
      kept.emplace_back(state.TargetPath + companion, "the target's companion file");
    }
  }
  for (const std::string& written : {rejects, rejects + ".why"}) {
    for (const auto& [path, what] : kept) {
      if (!SameFile(written, path)) continue;
      return "the rejects file '" + written + "' is " + what + " '" + path +
             "'; nothing was written";
    }
  }
  return {};
}

}  // namespace talvenor::app::cli
