#pragma once

#include <array>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "import/import_row.h"
#include "import/run_state.h"
#include "records/record_kind.h"
#include "records/value.h"

namespace talvenor::import {

// One condition of a look-up: `column` compared with a text already cut to
// the column's size.
struct Match {
  std::string_view column;
  std::string_view text;
};

// The text of a look-up: "SELECT <key> FROM <table> WHERE " and the matches
// joined with " AND ", each "Column='text'" with apostrophes doubled. An
// empty text is stored as Null, so for it the condition is "(Column='' OR
// Column IS NULL)": a row stored from an empty text is found again.
void LookUpSql(std::string& sql, std::string_view key, std::string_view table,
               std::span<const Match> matches);
void LookUpSql(std::string& sql, std::string_view key, std::string_view table,
               std::initializer_list<Match> matches);

// What a record of one kind is looked up by: its table, its key column, and
// the columns compared with the texts of the line.
struct LookUp {
  std::string_view table;
  std::string_view key;
  std::array<std::string_view, 4> column_list;
  size_t count;
  std::span<const std::string_view> columns() const { return {column_list.data(), count}; }
};
inline constexpr LookUp kCompanyLookUp{"Companies", "Company_Id", {"Company_Name", "Phone"}, 2};
inline constexpr LookUp kContactLookUp{
    "Candidates", "Candidate_Id", {"First_Name", "Last_Name", "Title", "Work_Phone"}, 4};
inline constexpr LookUp kPositionLookUp{"Positions", "Job_Id", {"Job_Title", "City"}, 2};

// Runs the look-up LookUpSql makes of `what` with one text per column. A
// look-up that fails counts as "not found" (the record is then created); a
// row found whose key cannot be read gives an empty key. While a block of
// lines is prepared (RunState::look_ups), its answer is the block's.
struct LookUpResult {
  bool found = false;
  records::Value key;
};
LookUpResult LookUpKey(RunState& run, const LookUp& what, std::span<const std::string> texts);

// A record looked up by `texts` and not found was stored with `key`: the
// later look-ups of the block that the target takes for equal find it.
void NoteStored(RunState& run, const LookUp& what, std::span<const std::string> texts,
                const records::Value& key);

// The value to store for a text in a column of `size` characters. An empty
// text is stored as Null. A column with a known size is a text column and
// receives the text exactly (a 20-digit reference keeps every digit); other
// columns receive FieldValue of the text (numeric texts become numbers).
records::Value StoredValue(std::string_view text, int size);

// Sets one field of the row being added; a failure leaves the field out.
void SetFieldStep(RunState& run, InsertSet& set, std::string_view name,
                  const records::Value& value);

// Starts a new row in `set` (AddNew) and, on an ODBC target, gives it a new
// numeric key in `key_field`.
void StartNewRow(RunState& run, InsertSet& set, std::string_view key_field);

// Stores the row being added and returns its key, or an empty Value when it
// was not stored; then the failure is counted and `what` and the reason are
// added to the line's problems.
records::Value SaveRecord(RunState& run, InsertSet& set, std::string_view key_field,
                          std::string_view table, std::string_view what, ImportRow& row);

// Attaches a stored record to the run's batch list: "INSERT INTO <table>
// (Rollup_Name,<key_column>) VALUES ('<BatchCode>',<key>)".
void AddMembership(RunState& run, std::string_view table, std::string_view key_column,
                   const records::Value& key, ImportRow& row);
// The text AddMembership runs, in run.sql.
void MembershipSql(RunState& run, std::string_view table, std::string_view key_column,
                   const records::Value& key);

// The time a new record is stamped with: its Last_Activity, set in its own
// INSERT, and the memo and date of its activity row. `not_set` says why the
// Last_Activity field could not be set (a table without the column); the
// record is stored without it and its line is listed with that.
struct RecordStamp {
  double when = 0;
  std::string not_set;
};
// Reads ServerNow once and sets Last_Activity of the row being added to it,
// as the general date text the activity writers' UPDATE would write.
RecordStamp StampNewRow(RunState& run, InsertSet& set);

// Lists what an activity writer could not write among the line's problems,
// with the messages its failed save showed since `run.messages` was last taken,
// and what `stamp` could not set.
void NoteActivity(RunState& run, ImportRow& row, std::string lost, const RecordStamp& stamp);

// What follows the save of a new record of `kind`: its activity row (with
// `memo`, stamped with `stamp`), then its batch membership in
// `membership_table`. Both go to the engine together where it can take them
// all or nothing; otherwise, or when that fails, one after the other as
// always. What could not be written is listed with the line.
void AddActivityAndMembership(RunState& run, ImportRow& row, const RecordStamp& stamp,
                              records::RecordKind kind, std::string_view memo,
                              std::string_view membership_table, std::string_view key_column,
                              const records::Value& key);

// Today for an activity entry: ServerNow as "m/d/yyyy".
std::string Today(RunState& run);
// The date of `stamp` as an activity entry writes it ("m/d/yyyy").
std::string DayOf(const RecordStamp& stamp);

// The text every activity entry of the import carries as its type.
inline constexpr std::string_view kActivityType = "TALVENOR";

}  // namespace talvenor::import
