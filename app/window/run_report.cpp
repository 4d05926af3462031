#include "app/window/run_report.h"

#include <algorithm>

#include "app/window/qt_seams.h"

namespace talvenor::app::window {

namespace {

std::string CreatedMatched(std::string_view what, long created, long matched) {
  return std::string(what) + ": " + std::to_string(created) + " created, " +
         std::to_string(matched) + " matched";
}

}  // namespace

void RunReport::Clear() {
  listed_.clear();
  rejected_ = 0;
  bytes_ = 0;
}

void RunReport::LineFinished(const import::LineOutcome& outcome) {
  bytes_ += static_cast<long long>(outcome.raw.size()) + 2;
  if (outcome.all_stored()) return;
  ++rejected_;
  if (listed_.size() >= kListedRejects) return;
  std::string entry = "Line " + std::to_string(outcome.number) + " (file line " +
                      std::to_string(outcome.physical_number) + "): ";
  for (size_t i = 0; i < outcome.problems->size(); ++i) {
    if (i > 0) entry += "; ";
    entry += (*outcome.problems)[i];
  }
  listed_.push_back(std::move(entry));
}

std::vector<std::string> RunReport::EndingLines(const import::ImportSummary& summary) const {
  std::vector<std::string> lines;
  // A completed run's message is empty; any other says where and why it ended
  // (a run that stopped early has listed it already).
  if (summary.outcome != import::RunOutcome::kCompleted && !import::StoppedEarly(summary.outcome) &&
      !summary.message.empty()) {
    lines.push_back(summary.message);
  }
  const import::ImportCounts& c = summary.counts;
  lines.push_back(CreatedMatched("Companies", c.companies_created, c.companies_matched));
  lines.push_back(CreatedMatched("Contact persons", c.contacts_created, c.contacts_matched));
  lines.push_back(CreatedMatched("Positions", c.positions_created, c.positions_matched));
  lines.push_back("Lines rejected: " + std::to_string(c.lines_rejected));
  lines.insert(lines.end(), listed_.begin(), listed_.end());
  const long more = rejected_ - static_cast<long>(listed_.size());
  if (more > 0) lines.push_back("\u2026 and " + std::to_string(more) + " more");
  return lines;
}

void RunMessages::BeginRun() {
  line_ = 0;
  boxes_off_ = false;
  held_back_.clear();
}

void RunMessages::ShowMessage(std::string_view text, std::string_view title,
                              records::MessageIcon icon) {
  if (line_ <= 0) {
    plain_.ShowMessage(text, title, icon);
    return;
  }
  if (boxes_off_) {
    held_back_.emplace_back(text);
    if (held_back_.size() > kHeldBack) held_back_.pop_front();
    return;
  }
  if (dialogs_.ShowLineFailure(parent_, text, title, icon, line_)) boxes_off_ = true;
}

void RunMessages::ShowIfHeldBack(std::string_view message) {
  if (message.empty()) return;
  if (std::find(held_back_.begin(), held_back_.end(), message) == held_back_.end()) return;
  plain_.ShowMessage(message, "", records::MessageIcon::kNone);
}

}  // namespace talvenor::app::window
