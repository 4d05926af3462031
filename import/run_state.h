#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/step.h"
#include "records/database.h"
#include "records/operator.h"
#include "records/target.h"

namespace talvenor::import {

// What a run has done, for its closing summary.
struct ImportCounts {
  long lines_read = 0;  // data lines, whatever became of them
  // Lines that held only blanks, commas and quotes: no data, nothing created.
  long blank_lines_skipped = 0;
  long companies_created = 0;
  long companies_matched = 0;
  long contacts_created = 0;
  long contacts_matched = 0;
  // Contact slots that held a name but gave no first and last name (a lone
  // word such as "Cher"); empty slots are not counted.
  long contact_slots_skipped = 0;
  long positions_created = 0;
  long positions_matched = 0;
  long script_rows = 0;
  long saves_failed = 0;    // companies, contacts and positions not stored
  long lines_rejected = 0;  // data lines with at least one row not stored
};

// The sizes of the columns the import cuts texts to, read once per run from
// the insert sets. 0 means no size is known: the text is not cut, and the
// column is not taken for a text column (see StoredValue).
struct CompanyColumns {
  int name = 0, fax = 0, address = 0, city = 0, state = 0, zip = 0, email = 0;
};
struct CandidateColumns {
  int first_name = 0, last_name = 0, middle = 0, title = 0, work_phone = 0, fax = 0, email = 0;
};
struct PositionColumns {
  int title = 0, city = 0, zip = 0, contact_name = 0, contact_phone = 0, date_posted = 0;
};

// A set opened empty on one table to add rows to; when it could not be
// opened, the error says why every row of that table goes unstored.
struct InsertSet {
  std::unique_ptr<records::Recordset> set;
  std::optional<records::DbError> open_error;
};

// A message kept back from the operator until its line's fate is known.
struct HeldMessage {
  std::string text, title;
  records::MessageIcon icon = records::MessageIcon::kNone;
};

// Passes every message on to the operator and keeps a copy, so that a data
// line that could not be stored can say why. While holding, messages are
// kept back instead (see TakeHeld): a line imported again after a failed
// commit then shows only the messages of its second import.
class MessageLog final : public records::Operator {
 public:
  explicit MessageLog(records::Operator& inner) : inner_(inner) {}
  void ShowMessage(std::string_view text, std::string_view title,
                   records::MessageIcon icon) override {
    texts_.emplace_back(text);
    if (holding_) {
      held_.push_back({std::string(text), std::string(title), icon});
    } else {
      inner_.ShowMessage(text, title, icon);
    }
  }
  // The messages shown since the last call, joined with "; ".
  std::string Take();

  void Hold(bool on) { holding_ = on; }
  // Moves the messages kept back into `out` (emptied first).
  void TakeHeld(std::vector<HeldMessage>& out) {
    out.clear();
    out.swap(held_);
  }
  // Shows messages kept back before.
  void Release(const std::vector<HeldMessage>& messages) {
    for (const HeldMessage& m : messages) inner_.ShowMessage(m.text, m.title, m.icon);
  }

 private:
  records::Operator& inner_;
  std::vector<std::string> texts_;
  std::vector<HeldMessage> held_;
  bool holding_ = false;
};

class BlockLookUps;

// The state of one import run, shared by the three importers.
struct RunState {
  RunState(records::Target& run_target, MessageLog& run_messages)
      : target(run_target), messages(run_messages) {}

  records::Target& target;
  MessageLog& messages;  // the operator of `target`
  std::string BatchCode;
  InsertSet companies, candidates, positions;
  CompanyColumns company_columns;
  CandidateColumns candidate_columns;
  PositionColumns position_columns;
  ImportCounts counts;
  StepErrors errors;
  // The text of the look-up or membership statement being made, kept from one
  // to the next so that its space is reused.
  std::string sql;
  // The activity tables' insert sets, open from OpenInsertSets to
  // CloseInsertSets (the target's activity writers use them).
  records::ActivitySets activity_sets{};
  // The look-ups of the block of lines being imported, answered together;
  // null while look-ups go to the target one by one.
  BlockLookUps* look_ups = nullptr;
};

// Opens the three insert sets ("SELECT * FROM Companies WHERE Company_Id IS
// NULL" and so on) and reads the column sizes from them. A set that cannot be
// opened is reported to the operator once; its rows then go unstored.
void OpenInsertSets(RunState& run);
// Closes the insert sets, the activity sets with them.
void CloseInsertSets(RunState& run);

}  // namespace talvenor::import
