#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "import/import_run.h"
#include "records/operator.h"

class QWidget;

namespace talvenor::app::window {

class RunDialogs;

// What the window's list shows at the end of a run: the counts, and the
// rejected lines with their numbers and reasons. It also adds up the bytes of
// the lines whose fate is final, for the progress bar.
class RunReport {
 public:
  // Rejected lines listed one by one; the rest are counted.
  static constexpr size_t kListedRejects = 200;

  // Forgets the run before.
  void Clear();
  // Takes in a line whose rows are committed or which was rejected.
  void LineFinished(const import::LineOutcome& outcome);

  // The bytes of the finished lines, each with a two-byte line end (the
  // export files end their lines with CR LF).
  long long bytes_finished() const { return bytes_; }
  long lines_rejected() const { return rejected_; }

  // The entries added to the list before "Import Complete": why the run
  // stopped early (when it did), the counts of companies, contact persons
  // and positions created and matched and of lines rejected, then one entry
  // per rejected line, "Line N (file line P): reasons", the first 200 of
  // them, and "… and M more" when there were more.
  std::vector<std::string> EndingLines(const import::ImportSummary& summary) const;

 private:
  std::vector<std::string> listed_;
  long rejected_ = 0;
  long long bytes_ = 0;
};

// The operator of a run in the window. Before the first data line every
// message is a plain box. While data lines are imported a message is shown
// with the number of the line it struck and a check box "Don't show again
// during this run"; once that is ticked, the run's later messages are not
// shown (the rejected lines carry their reasons into the list).
class RunMessages final : public records::Operator {
 public:
  RunMessages(records::Operator& plain, RunDialogs& dialogs, QWidget* parent)
      : plain_(plain), dialogs_(dialogs), parent_(parent) {}

  // A new run: boxes are shown again, no line is being imported.
  void BeginRun();
  // The data line being imported; 0 before the first.
  void SetLine(long line) { line_ = line; }
  bool boxes_off() const { return boxes_off_; }

  // Shows a message that stopped the run when it was kept from a box: a run
  // that ends early must say so even after the boxes were turned off.
  void ShowIfHeldBack(std::string_view message);

  void ShowMessage(std::string_view text, std::string_view title,
                   records::MessageIcon icon) override;

 private:
  // The last messages kept from a box; the one that stopped a run comes
  // after the failures of its last line at most.
  static constexpr size_t kHeldBack = 8;

  records::Operator& plain_;
  RunDialogs& dialogs_;
  QWidget* parent_;
  long line_ = 0;
  bool boxes_off_ = false;
  std::deque<std::string> held_back_;
};

}  // namespace talvenor::app::window
