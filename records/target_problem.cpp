#include "records/target_problem.h"

#include <vector>

#include "records/target_schema.h"

namespace talvenor::records {
namespace {

std::string Named(const TargetAddress& target) {
  return target.kind == TargetKind::kOdbc ? std::string("The ODBC target database")
                                          : "The target database '" + target.text + "'";
}

// The time a lock was waited for, as the error says it ("waited 3 s"), or
// nothing where the engine does not say.
std::string Waited(const DbError& error) {
  return error.waited_s < 0 ? std::string() : "waited " + std::to_string(error.waited_s) + " s";
}

std::string LockedMessage(const DbError& error, const TargetAddress& target) {
  const std::string waited = Waited(error);
  if (error.fault == Fault::kStopped) {
    return "Stopped while waiting for the lock another program holds on the " +
           Named(target).substr(4) + " (" + (waited.empty() ? "" : waited + "; ") + "interrupted).";
  }
  return Named(target) + " is locked by another program" +
         (waited.empty() ? "" : " (" + waited + ")") +
         ". Try again when that program has finished with it.";
}

bool IsLockWait(const DbError& error) {
  return error.number == kLockedByOther || error.fault == Fault::kStopped;
}

// True when a failed look-up says its table does not exist: the file
// engine's 3078, or the servers' SQLSTATE 42P01 (PostgreSQL) and 42S02.
bool IsMissingTable(const DbError& error) {
  if (error.number == kInputTableNotFound) return true;
  for (const ProviderError& p : error.providers) {
    if (p.sql_state == "42P01" || p.sql_state == "42S02") return true;
  }
  return false;
}

}  // namespace

std::string ErrorWithDiagnostics(const DbError& error) {
  std::string out = error.description;
  for (const ProviderError& p : error.providers) {
    if (p.text.empty() || out.find(p.text) != std::string::npos) continue;
    out += "\n  " + p.text;
  }
  return out;
}

std::string TargetOpenProblem(const DbError& error, const TargetAddress& target,
                              std::string_view init_advice) {
  if (target.kind == TargetKind::kDatabaseFile && error.number == kFileNotFound) {
    return Named(target) + " does not exist; create it with: " + std::string(init_advice);
  }
  if (target.kind == TargetKind::kDatabaseFile && IsLockWait(error))
    return LockedMessage(error, target);
  return ErrorWithDiagnostics(error);
}

std::optional<std::string> MissingTablesProblem(Database& db, const TargetAddress& target,
                                                std::string_view init_advice) {
  std::vector<std::string> missing;
  const std::vector<std::string>& tables = TargetTableNames();
  for (const std::string& table : tables) {
    auto probe = db.OpenRecordset("SELECT * FROM " + table + " WHERE 1=0");
    if (probe) {
      (*probe)->Close();
    } else if (IsMissingTable(probe.error())) {
      missing.push_back(table);
    }
  }
  if (missing.empty()) return std::nullopt;
  if (missing.size() == tables.size()) {
    return Named(target) +
           " holds none of the import's tables; create them with: " + std::string(init_advice);
  }
  std::string names;
  for (const std::string& table : missing) names += (names.empty() ? "" : ", ") + table;
  return Named(target) + " has no table " + names +
         "; create the missing tables with: " + std::string(init_advice) +
         " (tables already there are left as they are)";
}

std::string BatchListProblem(Database& db, const std::optional<DbError>& error,
                             const TargetAddress& target, std::string_view init_advice) {
  if (error && (IsLockWait(*error) || FaultOf(*error) == Fault::kLocked)) {
    return LockedMessage(*error, target);
  }
  if (std::optional<std::string> missing = MissingTablesProblem(db, target, init_advice)) {
    return *missing;
  }
  std::string message = "The import batch list could not be created in the target database.";
  if (error) message += " " + ErrorWithDiagnostics(*error);
  return message;
}

}  // namespace talvenor::records
