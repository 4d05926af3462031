#include "records/batch_undo.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "records/sql_quote.h"
#include "records/stop_request.h"

namespace talvenor::records {
namespace {

// Where a kind of record lives. The batch table's key column has the name of
// the record's key column.
struct KindTables {
  RecordKind kind;
  const char* table;
  const char* key;
  const char* members;
  const char* activity;
  const char* activity_key;
  const char* alias;  // of the batch table inside a membership test
};

constexpr KindTables kKinds[] = {
    {RecordKind::kCompany, "Companies", "Company_Id", "RollupC_Records", "Company_Activity",
     "Company_Id", "uc"},
    {RecordKind::kContact, "Candidates", "Candidate_Id", "Rollup_Records", "Candidate_Activity",
     "Candidate_Id", "uk"},
    {RecordKind::kPosition, "Positions", "Job_Id", "RollupP_Records", "Position_Activities",
     "Position_Id", "up"},
};

const KindTables& Tables(RecordKind kind) { return kKinds[static_cast<int>(kind)]; }

// A key or code as it stands in SQL text: numbers in plain decimal, anything
// else (the GUID texts of activity and script keys) quoted.
std::string Literal(const Value& value) {
  if (value.IsNumber()) return NumberToText(value.number());
  return "'" + SqlQuote(value.ToText()) + "'";
}

// The first field of the first row of a query; Null when there is no row.
DbResult<Value> FirstValue(Database& db, const std::string& sql) {
  // Every step of an undo asks something first: a stop asked for (Ctrl-C,
  // SIGTERM) ends the undo here, and its transaction is rolled back.
  if (StopRequested()) return std::unexpected(StoppedError());
  auto set = db.OpenRecordset(sql);
  if (!set) return std::unexpected(std::move(set.error()));
  Value value = Value::Null();
  if (!(*set)->Eof()) {
    auto field = (*set)->Field(0);
    if (!field) {
      (*set)->Close();
      return std::unexpected(std::move(field.error()));
    }
    value = std::move(*field);
  }
  (*set)->Close();
  return value;
}

// A COUNT(*) query's answer. Some drivers hand a BIGINT over as text.
DbResult<long> CountOf(Database& db, const std::string& sql) {
  auto value = FirstValue(db, sql);
  if (!value) return std::unexpected(std::move(value.error()));
  if (value->IsNumber()) return static_cast<long>(value->number());
  if (value->IsText()) return std::strtol(value->text().c_str(), nullptr, 10);
  return 0;
}

class Undo {
 public:
  Undo(Database& db, UndoReport& report) : db_(db), report_(report) {}

  // Finds the list's code as the target stores it; false when no list row
  // and no membership has it.
  DbResult<bool> Resolve(std::string_view asked) {
    const std::string quoted = SqlQuote(asked);
    auto stored = FirstValue(db_, "SELECT Code FROM Rollup_Names WHERE Code = '" + quoted + "'");
    if (!stored) return std::unexpected(std::move(stored.error()));
    if (stored->HasValue()) {
      report_.code = stored->ToText();
      code_ = SqlQuote(report_.code);
      return true;
    }
    // A run whose list row could not be stored still wrote its memberships.
    for (const KindTables& t : kKinds) {
      auto n = CountOf(db_, std::string("SELECT COUNT(*) FROM ") + t.members +
                                " WHERE Rollup_Name = '" + quoted + "'");
      if (!n) return std::unexpected(std::move(n.error()));
      if (*n > 0) {
        report_.code = std::string(asked);
        code_ = quoted;
        return true;
      }
    }
    return false;
  }

  DbStatus Plan() {
    for (const KindTables& t : kKinds) {
      if (auto ok = LoadMembers(t); !ok) return ok;
    }
    for (const KindTables& t : kKinds) {
      if (auto ok = KeepForOwnActivity(t); !ok) return ok;
      if (auto ok = KeepForOtherLists(t); !ok) return ok;
    }
    if (auto ok = KeepForScripts(); !ok) return ok;
    if (auto ok = KeepForOutsideContacts(); !ok) return ok;
    if (auto ok = KeepForOutsidePositions(); !ok) return ok;
    // What a kept record refers to stays too: positions refer to contacts and
    // companies, contacts to companies, never the other way round.
    return KeepWhatKeptRecordsReferTo();
  }

  DbStatus Apply() {
    for (RecordKind kind : {RecordKind::kPosition, RecordKind::kContact, RecordKind::kCompany}) {
      const KindTables& t = Tables(kind);
      std::vector<Value>& removed = RemovedKeys(kind);
      for (const Member& m : members_[static_cast<int>(kind)]) {
        if (!m.reasons.empty()) continue;
        if (StopRequested()) return std::unexpected(StoppedError());
        if (auto ok = db_.Execute(std::string("DELETE FROM ") + t.table + " WHERE " + t.key +
                                  " = " + Literal(m.key));
            !ok) {
          return ok;
        }
        removed.push_back(m.key);
        ++report_.removed[kind];
      }
    }
    // What belonged to the records removed is found by the record being gone,
    // so one statement per table serves every record (and also takes what was
    // left of records deleted before the undo).
    const KindTables& p = Tables(RecordKind::kPosition);
    if (auto n = CountAndDelete("Scripts", IsMember(p, "Scripts.Job_Id") +
                                               " AND NOT EXISTS (SELECT 1 FROM Positions r "
                                               "WHERE r.Job_Id = Scripts.Job_Id)")) {
      report_.script_rows_removed = *n;
    } else {
      return std::unexpected(std::move(n.error()));
    }
    for (const KindTables& t : kKinds) {
      const std::string column = std::string(t.activity) + "." + t.activity_key;
      auto n = CountAndDelete(t.activity, "Act_Type = 'TALVENOR' AND " + IsMember(t, column) +
                                              " AND NOT EXISTS (SELECT 1 FROM " + t.table +
                                              " r WHERE r." + t.key + " = " + column + ")");
      if (!n) return std::unexpected(std::move(n.error()));
      report_.activity_rows_removed += *n;
    }
    for (const KindTables& t : kKinds) {
      auto n = CountAndDelete(
          t.members, "Rollup_Name = '" + code_ + "' AND NOT EXISTS (SELECT 1 FROM " + t.table +
                         " r WHERE r." + t.key + " = " + t.members + "." + t.key + ")");
      if (!n) return std::unexpected(std::move(n.error()));
      report_.memberships_removed += *n;
      auto left = CountOf(db_, std::string("SELECT COUNT(*) FROM ") + t.members +
                                   " WHERE Rollup_Name = '" + code_ + "'");
      if (!left) return std::unexpected(std::move(left.error()));
      report_.memberships_kept += *left;
    }
    if (report_.memberships_kept == 0) {
      auto n = CountAndDelete("Rollup_Names", "Code = '" + code_ + "'");
      if (!n) return std::unexpected(std::move(n.error()));
      report_.list_removed = *n > 0;
    }
    return {};
  }

 private:
  struct Member {
    Value key;
    std::vector<std::string> reasons;
  };

  // "EXISTS (...)": the record whose key is `column` is a member of the list.
  std::string IsMember(const KindTables& t, const std::string& column) const {
    return std::string("EXISTS (SELECT 1 FROM ") + t.members + " " + t.alias + " WHERE " + t.alias +
           ".Rollup_Name = '" + code_ + "' AND " + t.alias + "." + t.key + " = " + column + ")";
  }

  // Visits, in increasing order, every value the query `head` gives as
  // MIN(`column`): after each, the query runs again for the values above it.
  // Recordsets show only their first row, so this is how a list is read.
  DbStatus Walk(const std::string& head, const std::string& column,
                const std::function<DbStatus(const Value&)>& visit) {
    std::string after;
    std::string last;
    for (;;) {
      auto value = FirstValue(db_, head + after);
      if (!value) return std::unexpected(std::move(value.error()));
      if (!value->HasValue()) return {};
      // A server that compared the value with itself as larger would loop
      // for ever; stop with an error instead.
      if (!last.empty() && Literal(*value) == last) {
        return std::unexpected(
            DbError{kOdbcCallFailed, "the walk over " + column + " did not move past " + last, {}});
      }
      if (auto ok = visit(*value); !ok) return ok;
      last = Literal(*value);
      after = " AND " + column + " > " + last;
    }
  }

  DbStatus LoadMembers(const KindTables& t) {
    auto total = CountOf(db_, std::string("SELECT COUNT(*) FROM ") + t.members +
                                  " WHERE Rollup_Name = '" + code_ + "'");
    if (!total) return std::unexpected(std::move(total.error()));
    std::vector<Member>& members = members_[static_cast<int>(t.kind)];
    const std::string column = std::string("m.") + t.key;
    const std::string head = "SELECT MIN(" + column + ") FROM " + t.members +
                             " m WHERE m.Rollup_Name = '" + code_ + "' AND EXISTS (SELECT 1 FROM " +
                             t.table + " r WHERE r." + t.key + " = " + column + ")";
    auto ok = Walk(head, column, [&](const Value& key) -> DbStatus {
      index_[static_cast<int>(t.kind)].emplace(key.ToText(), members.size());
      members.push_back({key, {}});
      return {};
    });
    if (!ok) return ok;
    report_.memberships_without_record += *total - static_cast<long>(members.size());
    return {};
  }

  // Adds a reason to a member of the list; a record that is no member (or
  // whose row is gone) is not the undo's to remove anyway.
  void Keep(RecordKind kind, const Value& key, std::string reason) {
    if (!key.HasValue()) return;
    auto& index = index_[static_cast<int>(kind)];
    const auto it = index.find(key.ToText());
    if (it == index.end()) return;
    auto& reasons = members_[static_cast<int>(kind)][it->second].reasons;
    if (std::find(reasons.begin(), reasons.end(), reason) == reasons.end()) {
      reasons.push_back(std::move(reason));
    }
  }

  bool IsKept(RecordKind kind, const Value& key) const {
    const auto& index = index_[static_cast<int>(kind)];
    const auto it = index.find(key.ToText());
    return it != index.end() && !members_[static_cast<int>(kind)][it->second].reasons.empty();
  }

  DbStatus KeepForOwnActivity(const KindTables& t) {
    const std::string head = std::string("SELECT MIN(a.Activity_Id) FROM ") + t.activity +
                             " a WHERE (a.Act_Type IS NULL OR a.Act_Type <> 'TALVENOR') AND " +
                             IsMember(t, std::string("a.") + t.activity_key);
    return Walk(head, "a.Activity_Id", [&](const Value& id) -> DbStatus {
      auto key = FirstValue(db_, std::string("SELECT ") + t.activity_key + " FROM " + t.activity +
                                     " WHERE Activity_Id = " + Literal(id));
      if (!key) return std::unexpected(std::move(key.error()));
      Keep(t.kind, *key, "it has activity rows the import did not write");
      return {};
    });
  }

  DbStatus KeepForOtherLists(const KindTables& t) {
    const std::string column = std::string("o.") + t.key;
    const std::string head = "SELECT MIN(" + column + ") FROM " + t.members +
                             " o WHERE o.Rollup_Name <> '" + code_ + "' AND " + IsMember(t, column);
    return Walk(head, column, [&](const Value& key) -> DbStatus {
      auto other =
          FirstValue(db_, std::string("SELECT MIN(Rollup_Name) FROM ") + t.members + " WHERE " +
                              t.key + " = " + Literal(key) + " AND Rollup_Name <> '" + code_ + "'");
      if (!other) return std::unexpected(std::move(other.error()));
      Keep(t.kind, key, "it is also in batch list " + other->ToText());
      return {};
    });
  }

  DbStatus KeepForScripts() {
    const std::string head =
        "SELECT MIN(s.Script_Id) FROM Scripts s WHERE (s.Script_Type IS NULL OR s.Script_Type <> "
        "'USERNAME') AND " +
        IsMember(Tables(RecordKind::kPosition), "s.Job_Id");
    return Walk(head, "s.Script_Id", [&](const Value& id) -> DbStatus {
      auto job = FirstValue(db_, "SELECT Job_Id FROM Scripts WHERE Script_Id = " + Literal(id));
      if (!job) return std::unexpected(std::move(job.error()));
      Keep(RecordKind::kPosition, *job,
           "script row " + id.ToText() + ", which the import did not write, refers to it");
      return {};
    });
  }

  DbStatus KeepForOutsideContacts() {
    const std::string head = "SELECT MIN(x.Candidate_Id) FROM Candidates x WHERE " +
                             IsMember(Tables(RecordKind::kCompany), "x.Company_Id") + " AND NOT " +
                             IsMember(Tables(RecordKind::kContact), "x.Candidate_Id");
    return Walk(head, "x.Candidate_Id", [&](const Value& contact) -> DbStatus {
      auto company = FirstValue(
          db_, "SELECT Company_Id FROM Candidates WHERE Candidate_Id = " + Literal(contact));
      if (!company) return std::unexpected(std::move(company.error()));
      Keep(RecordKind::kCompany, *company,
           "contact person " + contact.ToText() + ", not of this batch list, refers to it");
      return {};
    });
  }

  DbStatus KeepForOutsidePositions() {
    const std::string head = "SELECT MIN(x.Job_Id) FROM Positions x WHERE NOT " +
                             IsMember(Tables(RecordKind::kPosition), "x.Job_Id") + " AND (" +
                             IsMember(Tables(RecordKind::kCompany), "x.Company_Id") + " OR " +
                             IsMember(Tables(RecordKind::kContact), "x.Candidate_Id") + ")";
    return Walk(head, "x.Job_Id", [&](const Value& job) -> DbStatus {
      return KeepReferredTo(job,
                            "position " + job.ToText() + ", not of this batch list, refers to it");
    });
  }

  // Keeps the company and the contact a position refers to.
  DbStatus KeepReferredTo(const Value& job, const std::string& reason) {
    auto set = db_.OpenRecordset("SELECT Company_Id, Candidate_Id FROM Positions WHERE Job_Id = " +
                                 Literal(job));
    if (!set) return std::unexpected(std::move(set.error()));
    if (!(*set)->Eof()) {
      auto company = (*set)->Field(0);
      auto contact = (*set)->Field(1);
      if (!company || !contact) {
        (*set)->Close();
        return std::unexpected(!company ? std::move(company.error()) : std::move(contact.error()));
      }
      Keep(RecordKind::kCompany, *company, reason);
      Keep(RecordKind::kContact, *contact, reason);
    }
    (*set)->Close();
    return {};
  }

  DbStatus KeepWhatKeptRecordsReferTo() {
    for (const Member& m : members_[static_cast<int>(RecordKind::kPosition)]) {
      if (m.reasons.empty()) continue;
      if (auto ok = KeepReferredTo(
              m.key, "position " + m.key.ToText() + " of this batch list stays and refers to it");
          !ok) {
        return ok;
      }
    }
    for (const Member& m : members_[static_cast<int>(RecordKind::kContact)]) {
      if (m.reasons.empty()) continue;
      auto company = FirstValue(
          db_, "SELECT Company_Id FROM Candidates WHERE Candidate_Id = " + Literal(m.key));
      if (!company) return std::unexpected(std::move(company.error()));
      Keep(RecordKind::kCompany, *company,
           "contact person " + m.key.ToText() + " of this batch list stays and refers to it");
    }
    for (const KindTables& t : kKinds) {
      for (const Member& m : members_[static_cast<int>(t.kind)]) {
        if (m.reasons.empty()) continue;
        report_.kept_records.push_back({t.kind, m.key, m.reasons});
        ++report_.kept[t.kind];
      }
    }
    return {};
  }

  // Counts the rows of `table` that meet `condition`, then deletes them.
  DbResult<long> CountAndDelete(const std::string& table, const std::string& condition) {
    auto n = CountOf(db_, "SELECT COUNT(*) FROM " + table + " WHERE " + condition);
    if (!n) return n;
    if (*n == 0) return 0L;
    if (auto ok = db_.Execute("DELETE FROM " + table + " WHERE " + condition); !ok) {
      return std::unexpected(std::move(ok.error()));
    }
    return n;
  }

  std::vector<Value>& RemovedKeys(RecordKind kind) {
    switch (kind) {
      case RecordKind::kCompany:
        return report_.removed_companies;
      case RecordKind::kContact:
        return report_.removed_contacts;
      case RecordKind::kPosition:
        break;
    }
    return report_.removed_positions;
  }

  Database& db_;
  UndoReport& report_;
  std::string code_;  // the stored code, apostrophes doubled
  std::vector<Member> members_[3];
  std::map<std::string, size_t> index_[3];  // key text -> index in members_
};

// Up to kRecentCodes codes, highest first.
DbResult<std::vector<std::string>> RecentCodes(Database& db) {
  std::vector<std::string> codes;
  std::string sql = "SELECT MAX(Code) FROM Rollup_Names";
  while (codes.size() < static_cast<size_t>(kRecentCodes)) {
    auto code = FirstValue(db, sql);
    if (!code) return std::unexpected(std::move(code.error()));
    if (!code->HasValue()) break;
    codes.push_back(code->ToText());
    sql = "SELECT MAX(Code) FROM Rollup_Names WHERE Code < '" + SqlQuote(codes.back()) + "'";
  }
  return codes;
}

}  // namespace

long& KindCounts::operator[](RecordKind kind) {
  switch (kind) {
    case RecordKind::kCompany:
      return companies;
    case RecordKind::kContact:
      return contacts;
    case RecordKind::kPosition:
      break;
  }
  return positions;
}

long KindCounts::operator[](RecordKind kind) const { return const_cast<KindCounts&>(*this)[kind]; }

std::string_view KindName(RecordKind kind) {
  switch (kind) {
    case RecordKind::kCompany:
      return "company";
    case RecordKind::kContact:
      return "contact person";
    case RecordKind::kPosition:
      break;
  }
  return "position";
}

UndoResult UndoBatch(Database& db, std::string_view code, bool dry_run) {
  UndoResult result;
  result.report.dry_run = dry_run;
  auto fail = [&](DbError error) {
    if (auto undone = db.Rollback(); !undone) {
      error.providers.push_back(
          {undone.error().number, "", "the rollback failed too: " + undone.error().description});
    }
    result.outcome = UndoOutcome::kFailed;
    result.error = std::move(error);
    return std::move(result);
  };
  // Planning happens inside the transaction too: on a database file it holds
  // the write lock from here on, so no import can refer to a record between
  // the moment it is found free and the moment it is removed.
  if (auto ok = db.BeginTransaction(); !ok) return fail(std::move(ok.error()));
  Undo undo(db, result.report);
  auto known = undo.Resolve(code);
  if (!known) return fail(std::move(known.error()));
  if (!*known) {
    auto recent = RecentCodes(db);
    if (!recent) return fail(std::move(recent.error()));
    (void)db.Rollback();
    result.outcome = UndoOutcome::kUnknownCode;
    result.recent_codes = std::move(*recent);
    return result;
  }
  if (auto ok = undo.Plan(); !ok) return fail(std::move(ok.error()));
  if (auto ok = undo.Apply(); !ok) return fail(std::move(ok.error()));
  // The last moment a stop can still take everything back.
  if (StopRequested()) return fail(StoppedError());
  if (dry_run) {
    if (auto ok = db.Rollback(); !ok) return fail(std::move(ok.error()));
  } else if (auto ok = db.Flush(); !ok) {
    return fail(std::move(ok.error()));
  }
  result.outcome = UndoOutcome::kDone;
  return result;
}

}  // namespace talvenor::records
