#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/database.h"
#include "records/record_kind.h"
#include "records/value.h"

namespace talvenor::records {

// A record of the batch list that stays, and every reason found for it.
struct KeptRecord {
  RecordKind kind = RecordKind::kCompany;
  Value key;
  std::vector<std::string> reasons;
};

// Per kind of record.
struct KindCounts {
  long companies = 0;
  long contacts = 0;
  long positions = 0;
  long& operator[](RecordKind kind);
  long operator[](RecordKind kind) const;
  long total() const { return companies + contacts + positions; }
};

// What an undo of one batch list removed (or, for a dry run, would remove).
// Every count is taken inside the undo's transaction.
struct UndoReport {
  std::string code;  // as the target stores it
  bool dry_run = false;
  KindCounts removed;
  KindCounts kept;
  // The keys removed, per kind, in key order.
  std::vector<Value> removed_companies, removed_contacts, removed_positions;
  std::vector<KeptRecord> kept_records;  // companies, then contacts, then positions
  long activity_rows_removed = 0;        // the import's own ("TALVENOR") rows
  long script_rows_removed = 0;
  long memberships_removed = 0;
  // Memberships of the list whose record was already gone before the undo
  // (they are removed too, and counted in memberships_removed).
  long memberships_without_record = 0;
  long memberships_kept = 0;
  bool list_removed = false;  // the Rollup_Names row went
};

enum class UndoOutcome {
  kDone,         // committed (or, for a dry run, rolled back after the same work)
  kUnknownCode,  // no batch list has that code; nothing was changed
  kFailed,       // a statement failed, or a stop was asked for (the error's fault is
                 // Fault::kStopped); everything was rolled back
};

struct UndoResult {
  UndoOutcome outcome = UndoOutcome::kFailed;
  UndoReport report;
  // kUnknownCode: the highest codes the target holds, highest first.
  std::vector<std::string> recent_codes;
  // kFailed: the error that stopped the undo (and, when the rollback failed
  // too, that error is in its provider list).
  DbError error;
};

// Removes, in one transaction, what the import run with batch list `code`
// created: its companies, contact persons and positions, each record's
// activity rows of type "TALVENOR", the script rows of its positions, the
// memberships of the records removed, and the Rollup_Names row once no
// membership of it remains.
//
// A record stays, with its membership and every reason, when something
// outside what is removed refers to it: a contact person or position that
// refers to a company, a position whose contact it is, an activity row not
// written by the import, a script row of another type than "USERNAME", or a
// membership in another batch list. A kept record keeps what it refers to.
//
// `dry_run` does the same work and rolls it back, so its counts are exactly
// what a real undo would remove at that moment. Only the statements of plain
// SQL are used (MIN, COUNT, EXISTS, DELETE), the same on every server.
UndoResult UndoBatch(Database& db, std::string_view code, bool dry_run);

// How many codes kUnknownCode lists at most.
inline constexpr int kRecentCodes = 5;

std::string_view KindName(RecordKind kind);  // "company", "contact person", "position"

}  // namespace talvenor::records
