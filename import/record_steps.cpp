#include "import/record_steps.h"

#include "import/block_look_ups.h"
#include "import/field_value.h"
#include "records/activity_log.h"
#include "records/date_time.h"
#include "records/keys.h"
#include "records/server_clock.h"
#include "records/sql_quote.h"

namespace talvenor::import {

using records::Value;

void LookUpSql(std::string& sql, std::string_view key, std::string_view table,
               std::initializer_list<Match> matches) {
  LookUpSql(sql, key, table, std::span<const Match>(matches.begin(), matches.size()));
}

void LookUpSql(std::string& sql, std::string_view key, std::string_view table,
               std::span<const Match> matches) {
  sql.assign("SELECT ").append(key).append(" FROM ").append(table).append(" WHERE ");
  bool first = true;
  for (const Match& m : matches) {
    if (!first) sql.append(" AND ");
    first = false;
    if (m.text.empty()) {
      sql.append("(").append(m.column).append("='' OR ").append(m.column).append(" IS NULL)");
    } else {
      sql.append(m.column).append("='");
      records::AppendSqlQuoted(sql, m.text);
      sql.push_back('\'');
    }
  }
}

LookUpResult LookUpKey(RunState& run, const LookUp& what, std::span<const std::string> texts) {
  if (run.look_ups) {
    if (std::optional<LookUpResult> known = run.look_ups->Find(what, texts)) return *known;
  }
  std::array<Match, 4> matches;
  for (size_t i = 0; i < what.count; ++i) matches[i] = {what.columns()[i], texts[i]};
  LookUpResult result;
  LookUpSql(run.sql, what.key, what.table, std::span<const Match>(matches.data(), what.count));
  auto set = run.errors.Step(run.target.db.OpenRecordset(run.sql));
  if (!set) return result;
  result.found = !(*set)->Eof();
  if (result.found) {
    if (auto value = run.errors.Step((*set)->Field(0))) result.key = std::move(*value);
  }
  (*set)->Close();
  return result;
}

void NoteStored(RunState& run, const LookUp& what, std::span<const std::string> texts,
                const Value& key) {
  if (run.look_ups) run.look_ups->Stored(what, texts, key);
}

Value StoredValue(std::string_view text, int size) {
  if (size > 0) return text.empty() ? Value::Null() : Value::Text(std::string(text));
  return FieldValue(Value::Text(std::string(text)));
}

void SetFieldStep(RunState& run, InsertSet& set, std::string_view name, const Value& value) {
  if (!set.set) return;
  run.errors.Step(set.set->SetField(name, value));
}

void StartNewRow(RunState& run, InsertSet& set, std::string_view key_field) {
  run.errors.Clear();  // a failure from here on explains an unstored row
  if (!set.set) return;
  run.errors.Step(set.set->AddNew());
  if (run.target.db.Keys() != records::KeyForm::kServerClockNumber) return;
  // A key that could not be made leaves the field unset; the save then
  // reports the server's error.
  const Value key = records::NewRunKey(run.target);
  if (key.HasValue()) SetFieldStep(run, set, key_field, key);
}

Value SaveRecord(RunState& run, InsertSet& set, std::string_view key_field, std::string_view table,
                 std::string_view what, ImportRow& row) {
  std::string why;
  if (set.set) {
    run.messages.Take();  // only the messages of this save explain it
    records::SavedRow saved = records::SaveNewRecord(run.target, *set.set, key_field, table);
    if (saved.stored()) return std::move(saved.key);
    // The error that refused the row, not an earlier one of a field that was
    // left out; a duplicate is shown to nobody, so it is named here.
    why = run.messages.Take();
    if (why.empty() && saved.refused) why = saved.refused->description;
    if (why.empty()) why = "a duplicate value";
  } else {
    why = set.open_error ? set.open_error->description : "the table could not be opened";
  }
  ++run.counts.saves_failed;
  row.problems.push_back(std::string(what) + " not stored: " + why);
  return {};
}

void MembershipSql(RunState& run, std::string_view table, std::string_view key_column,
                   const Value& key) {
  std::string& sql = run.sql;
  sql.assign("INSERT INTO ").append(table).append(" (Rollup_Name,").append(key_column);
  sql.append(") VALUES ('");
  records::AppendSqlQuoted(sql, run.BatchCode);
  sql.append("',").append(key.ToText()).append(")");
}

void AddMembership(RunState& run, std::string_view table, std::string_view key_column,
                   const Value& key, ImportRow& row) {
  MembershipSql(run, table, key_column, key);
  if (run.errors.Step(run.target.db.Execute(run.sql))) return;
  row.problems.push_back(std::string(table) + " row not stored: " + run.errors.last()->description);
}

RecordStamp StampNewRow(RunState& run, InsertSet& set) {
  RecordStamp stamp;
  stamp.when = records::ServerNow(run.target);
  if (!set.set) return stamp;
  // The text the UPDATE of Last_Activity would have carried, so that every
  // engine stores what it stored before (ISO text on a database file, a
  // timestamp on a server, the text itself in a text column).
  const records::DbStatus done =
      set.set->SetField("Last_Activity", Value::Text(records::GeneralDate(stamp.when)));
  if (!done) stamp.not_set = "Last_Activity not set: " + done.error().description;
  return stamp;
}

void NoteActivity(RunState& run, ImportRow& row, std::string lost, const RecordStamp& stamp) {
  const std::string shown = run.messages.Take();
  if (!stamp.not_set.empty()) {
    if (!lost.empty()) lost += "; ";
    lost += stamp.not_set;
  }
  if (lost.empty()) return;
  if (!shown.empty()) lost += " (" + shown + ")";
  row.problems.push_back(std::move(lost));
}

void AddActivityAndMembership(RunState& run, ImportRow& row, const RecordStamp& stamp,
                              records::RecordKind kind, std::string_view memo,
                              std::string_view membership_table, std::string_view key_column,
                              const Value& key) {
  run.messages.Take();
  MembershipSql(run, membership_table, key_column, key);
  const std::string membership = run.sql;
  records::NewRecordActivity record{stamp.when, membership};
  NoteActivity(
      run, row,
      records::AddActivity(run.target, kind, key, DayOf(stamp), memo, kActivityType, &record),
      stamp);
  if (record.then_done) return;
  if (run.errors.Step(run.target.db.Execute(membership))) return;
  row.problems.push_back(std::string(membership_table) +
                         " row not stored: " + run.errors.last()->description);
}

std::string DayOf(const RecordStamp& stamp) {
  return records::FormatDateTime(stamp.when, "m/d/yyyy");
}

std::string Today(RunState& run) {
  return records::FormatDateTime(records::ServerNow(run.target), "m/d/yyyy");
}

}  // namespace talvenor::import
