#include "records/activity_log.h"

#include <memory>
#include <string>

#include "records/date_time.h"
#include "records/keys.h"
#include "records/server_clock.h"

namespace talvenor::records {
namespace {

constexpr std::string_view kUserName = "TALVENOR";

// Where one record type keeps its activity history.
struct ActivityTable {
  std::string_view table;         // the activity table
  std::string_view key_field;     // its column holding the record's key
  std::string_view date_field;    // its column holding the caller's date
  std::string_view record_table;  // the table whose Last_Activity is set
  std::string_view record_key;    // that table's key column
  // A database file leaves Position_Activities.Activity_Id (a text column)
  // empty; the writer fills it with a GUID.
  bool guid_key_on_file;
  size_t slot;  // its place in ActivitySets
};

// By RecordKind.
constexpr ActivityTable kActivityTables[] = {
    {"Company_Activity", "Company_Id", "Date_Entered", "Companies", "Company_Id", false, 0},
    {"Candidate_Activity", "Candidate_Id", "Entry_Date", "Candidates", "Candidate_Id", false, 1},
    {"Position_Activities", "Position_Id", "Date_Entered", "Positions", "Job_Id", true, 2},
};

// The set a row of `where.table` is added to. A run keeps one per table open
// (on a server, opening one costs a round trip); without that, a set is opened
// for the row and closed after it, owned by `opened`.
DbResult<Recordset*> OpenActivitySet(Target& target, const ActivityTable& where,
                                     std::unique_ptr<Recordset>& opened) {
  std::unique_ptr<Recordset>* slot = &opened;
  if (target.activity_sets) {
    slot = &target.activity_sets->sets[where.slot];
    if (*slot) return slot->get();
  }
  auto set = target.db.Dialect() != SqlDialect::kSqlite
                 ? target.db.OpenRecordset("SELECT * FROM " + std::string(where.table) +
                                           " WHERE Activity_Id IS NULL")
                 : target.db.OpenRecordset(where.table, SetKind::kTable);
  if (!set) return std::unexpected(std::move(set.error()));
  *slot = std::move(*set);
  return slot->get();
}

bool IsUnset(const DbResult<Value>& field) {
  return !field || !field->HasValue() || (field->IsText() && field->text().empty());
}

}  // namespace

void ActivitySets::Close() {
  for (auto& set : sets) {
    if (set) set->Close();
    set.reset();
  }
}

// Each step runs even when the one before failed; failures of the steps
// themselves are not reported, only a failed save is. What was not written is
// returned all the same: the record then lacks part of its history.
// With `record` the record's Last_Activity went into the record's own INSERT
// with its time: the memo carries the same time and no UPDATE follows.
std::string AddActivity(Target& target, RecordKind kind, const Value& key, std::string_view date,
                        std::string_view memo, std::string_view type, NewRecordActivity* record) {
  // No record was stored for an empty key; an activity row would hang on nothing.
  if (!key.HasValue()) return {};

  const ActivityTable& where = kActivityTables[static_cast<size_t>(kind)];
  std::unique_ptr<Recordset> opened;
  DbResult<Recordset*> set = OpenActivitySet(target, where, opened);
  std::string lost;
  if (set) {
    Recordset& row = **set;
    (void)row.AddNew();
    if (target.db.Keys() == KeyForm::kServerClockNumber) {
      (void)row.SetField("Activity_Id",
                         target.run_keys ? NewRunKey(target) : NewNumericKey(target));
    } else if (where.guid_key_on_file && IsUnset(row.Field("Activity_Id"))) {
      (void)row.SetField("Activity_Id", Value::Text(NewGuidText()));
    }
    (void)row.SetField(where.key_field, key);
    (void)row.SetField("User_Name", Value::Text(std::string(kUserName)));
    (void)row.SetField(where.date_field, Value::Text(std::string(date)));
    (void)row.SetField("Act_Type", Value::Text(std::string(type)));
    // The memo reaches the row through a field, so apostrophes in it need no quoting.
    std::string memo_text;
    memo_text.reserve(memo.size() + 48);  // the stamp " (Tue Dec-8 '26 3:04p/TALVENOR)"
    memo_text.append(memo)
        .append(" (")
        .append(FormatDateTime(record ? record->stamped_at : ServerNow(target),
                               "ddd mmm-d 'yy h:nna/p"))
        .append("/")
        .append(kUserName)
        .append(")");
    (void)row.SetField("Memo", Value::Text(std::move(memo_text)));
    // A duplicate is dropped without a message, but it is still a row not stored.
    // Sent together, a failure of either undoes both; the row is then saved
    // as always and the caller runs its statement alone.
    if (record && !record->then_sql.empty() && row.UpdateTogetherWith(record->then_sql)) {
      record->then_done = true;
    } else if (!SaveNewRecord(target, row, "Activity_Id", where.table).stored()) {
      lost = std::string(where.table) + " row not stored";
    }
    if (!target.activity_sets) row.Close();
  } else {
    // The row cannot be saved without its set: reported as a failed save is.
    target.op.ShowMessage(set.error().description, /*title=*/"", MessageIcon::kNone);
    ShowDatabaseErrors(target.op, set.error());
    lost = std::string(where.table) + " row not stored";
  }

  if (record) return lost;
  std::string stamp;
  stamp.reserve(96);
  stamp.append("UPDATE ")
      .append(where.record_table)
      .append(" SET Last_Activity='")
      .append(GeneralDate(ServerNow(target)))
      .append("' WHERE ")
      .append(where.record_key)
      .append("=")
      .append(key.ToText());
  const DbStatus stamped = target.db.Execute(stamp);
  if (!stamped) {
    if (!lost.empty()) lost += "; ";
    lost += "Last_Activity not set: " + stamped.error().description;
  }
  return lost;
}

}  // namespace talvenor::records
