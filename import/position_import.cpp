#include "import/position_import.h"

#include <optional>
#include <string>
#include <string_view>

#include "import/field_value.h"
#include "import/record_steps.h"
#include "import/split_export_line.h"
#include "records/activity_log.h"
#include "records/date_time.h"
#include "records/keys.h"
#include "records/sql_quote.h"
#include "text/string_utils.h"

namespace talvenor::import {

using records::Value;

namespace {

void AddScriptRow(RunState& run, ImportRow& row, const Value& position_key) {
  // The id: a GUID literal "{guid {...}}" on a database file; on a server a
  // numeric key made from the clock. Two positions created in the same
  // millisecond get the same key: the later script row moves on to the next
  // number instead of being lost.
  Value id;
  if (run.target.db.Keys() == records::KeyForm::kServerClockNumber) {
    id = records::NewRunKey(run.target);
  } else if (const std::string guid = records::NewGuidText(); !guid.empty()) {
    id = Value::Text("{guid " + guid + "}");
  }
  if (!id.HasValue()) {
    row.problems.push_back("Scripts row not stored: no script id could be made");
    return;
  }
  const std::string rest = ",'" + records::SqlQuote(row.first_contact.email) + "'," +
                           position_key.ToText() + ",'USERNAME')";
  const auto statement = [&rest](const Value& script_id) {
    return "INSERT INTO Scripts (Script_Id,Description,Job_Id,Script_Type) VALUES (" +
           script_id.ToText() + rest;
  };
  if (run.errors.Step(
          records::ExecuteWithNewKey(run.target, "Script_Id", "Scripts", id, statement))) {
    ++run.counts.script_rows;
  } else {
    row.problems.push_back("Scripts row not stored: " + run.errors.last()->description);
  }
}

// The value of Date_Posted. A date column receives the date the text names,
// read here rather than by the engine: a text that names no real date (2/31,
// a bare number, words) is left out with a warning instead of being moved to
// another date, and a server never sees a date it would refuse (which would
// cost the whole position). A column with a text size keeps the text as given.
Value DatePostedValue(ImportRow& row, int size) {
  const std::string_view given = row.field(export_column::kDatePosted);
  if (size > 0) return StoredValue(CutToSize(given, size), size);
  const std::string_view text = text::TrimView(given);
  if (text.empty()) return Value::Null();
  if (const std::optional<double> serial = records::ParseDateTime(text)) {
    return Value::DateTime(*serial);
  }
  row.warnings.push_back("Date_Posted \"" + std::string(text) +
                         "\" is no date; the position is stored without it");
  return Value::Null();
}

}  // namespace

std::array<std::string, 2> PositionLookUpTexts(const RunState& run, const ImportRow& row) {
  namespace col = export_column;
  return {CutToSize(row.field(col::kJobTitle), run.position_columns.title),
          CutToSize(row.field(col::kJobCity), run.position_columns.city)};
}

void ImportPosition(RunState& run, ImportRow& row) {
  namespace col = export_column;
  const PositionColumns& size = run.position_columns;
  const std::array<std::string, 2> texts = PositionLookUpTexts(run, row);
  const std::string& title = texts[0];
  const std::string& city = texts[1];

  const LookUpResult found = LookUpKey(run, kPositionLookUp, texts);
  if (found.found) {
    // An existing position is left alone; its key is not needed.
    ++run.counts.positions_matched;
    return;
  }

  InsertSet& set = run.positions;
  const FirstContact& contact = row.first_contact;
  StartNewRow(run, set, "Job_Id");
  if (row.company_key.HasValue()) SetFieldStep(run, set, "Company_Id", row.company_key);
  SetFieldStep(run, set, "Job_Title", StoredValue(title, size.title));
  SetFieldStep(run, set, "City", StoredValue(city, size.city));
  SetFieldStep(run, set, "Zip",
               StoredValue(CutToSize(row.field(col::kJobZip), size.zip), size.zip));
  if (contact.key.HasValue()) {
    SetFieldStep(run, set, "Candidate_Id", contact.key);
    // Neither is looked up, so both may be cut: a long name must not cost the
    // whole position on a server that refuses texts wider than the column.
    SetFieldStep(run, set, "Contact_Name",
                 StoredValue(CutToSize(contact.name, size.contact_name), size.contact_name));
    SetFieldStep(
        run, set, "Contact_Phone",
        StoredValue(CutToSize(contact.work_phone, size.contact_phone), size.contact_phone));
  }
  SetFieldStep(run, set, "Date_Posted", DatePostedValue(row, size.date_posted));

  const RecordStamp stamp = StampNewRow(run, set);
  const Value key = SaveRecord(run, set, "Job_Id", "Positions", "position", row);
  if (!key.HasValue()) return;  // not stored: no script row, activity or membership
  ++run.counts.positions_created;
  NoteStored(run, kPositionLookUp, texts, key);
  if (contact.key.HasValue() && !contact.email.empty()) AddScriptRow(run, row, key);
  AddActivityAndMembership(run, row, stamp, records::RecordKind::kPosition,
                           "Name Imported from Talvenor.", "RollupP_Records", "Job_Id", key);
}

}  // namespace talvenor::import
