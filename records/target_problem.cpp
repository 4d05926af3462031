#include "records/target_problem.h"

#include <vector>

#include "records/sqlite/sqlite_database.h"
#include "records/sqlite/sqlite_error.h"
#include "records/target_schema.h"

namespace talvenor::records {
namespace {

// A file name as it can be typed at a shell prompt.
std::string ShellWord(std::string_view word) {
  const bool plain = !word.empty() && word.find_first_not_of(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789_./+-:,@%") == std::string_view::npos;
  if (plain) return std::string(word);
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string Named(std::string_view path, bool is_odbc) {
  return is_odbc ? std::string("The ODBC target database")
                 : "The target database '" + std::string(path) + "'";
}

std::string InitAdvice(std::string_view path, bool is_odbc) {
  return is_odbc ? std::string("talvenor-import init CONNECTION-TEXT")
                 : "talvenor-import init " + ShellWord(path);
}

// The time a lock was waited for, as the error says it ("waited 3 s"), or
// nothing where the engine does not say.
std::string Waited(const DbError& error) {
  return error.waited_s < 0 ? std::string() : "waited " + std::to_string(error.waited_s) + " s";
}

std::string LockedMessage(const DbError& error, std::string_view path, bool is_odbc) {
  const std::string waited = Waited(error);
  if (error.fault == Fault::kStopped) {
    return "Stopped while waiting for the lock another program holds on the " +
           Named(path, is_odbc).substr(4) + " (" + (waited.empty() ? "" : waited + "; ") +
           "interrupted).";
  }
  return Named(path, is_odbc) + " is locked by another program" +
         (waited.empty() ? "" : " (" + waited + ")") +
         ". Try again when that program has finished with it.";
}

bool IsLockWait(const DbError& error) {
  return error.number == kLocked || error.fault == Fault::kStopped;
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

std::string TargetOpenProblem(const DbError& error, std::string_view path, bool is_odbc) {
  if (!is_odbc && error.number == kFileNotFound) {
    return Named(path, is_odbc) + " does not exist; create it with: " + InitAdvice(path, is_odbc);
  }
  if (!is_odbc && IsLockWait(error)) return LockedMessage(error, path, is_odbc);
  return ErrorWithDiagnostics(error);
}

std::optional<std::string> MissingTablesProblem(Database& db, std::string_view path, bool is_odbc) {
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
    return Named(path, is_odbc) +
           " holds none of the import's tables; create them with: " + InitAdvice(path, is_odbc);
  }
  std::string names;
  for (const std::string& table : missing) names += (names.empty() ? "" : ", ") + table;
  return Named(path, is_odbc) + " has no table " + names +
         "; create the missing tables with: " + InitAdvice(path, is_odbc) +
         " (tables already there are left as they are)";
}

std::string BatchListProblem(Database& db, const std::optional<DbError>& error,
                             std::string_view path, bool is_odbc) {
  if (error && (IsLockWait(*error) || FaultOf(*error) == Fault::kLocked)) {
    return LockedMessage(*error, path, is_odbc);
  }
  if (std::optional<std::string> missing = MissingTablesProblem(db, path, is_odbc)) {
    return *missing;
  }
  std::string message = "The import batch list could not be created in the target database.";
  if (error) message += " " + ErrorWithDiagnostics(*error);
  return message;
}

}  // namespace talvenor::records
