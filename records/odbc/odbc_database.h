#pragma once

#include <chrono>
#include <memory>
#include <string_view>

#include "records/commit_policy.h"
#include "records/database.h"

namespace talvenor::records {

namespace odbc {
class Connection;
}

// A target reached through unixODBC: SQL Server in production, PostgreSQL
// through psqlODBC as well. Statements go to the server as they are, except
// the two server clock queries, which PostgreSQL answers with equivalents.
// Every failed call is error 3146 ("ODBC--call failed.") with each of the
// driver's diagnostic records in `providers`; a PostgreSQL unique violation
// (SQLSTATE 23505) carries provider number 2627 there.
// Every statement commits on its own: LineDone and Flush do nothing unless
// line transactions are switched on. On PostgreSQL TakeTurns, or else the
// first LineDone, switches them on when the driver is found to undo a failed
// statement alone (UndoesFailedStatementsAlone): the data lines after it are
// then committed in groups (SetCommitPolicy), a failing statement still skips only itself, and
// Rollback undoes the lines since the last commit. SQL Server always commits
// every statement.

class OdbcDatabase final : public Database {
 public:
  // Seconds a login waits for the server's answer by default.
  static constexpr int kLoginTimeoutSeconds = 20;

  // Connects with a connection text; a leading "ODBC;" (any case) is dropped.
  // Fails with 3146 when the driver cannot connect, and after the login
  // time-out when the server takes the connection but does not answer.
  static DbResult<std::unique_ptr<OdbcDatabase>> Open(
      std::string_view connect, int login_timeout_seconds = kLoginTimeoutSeconds);
  ~OdbcDatabase() override;

  // Queries read their first row (the set is empty when there is none); a
  // SELECT of one table, or a table by name, can add rows. A table opened by
  // name reads at most one row.
  DbResult<std::unique_ptr<Recordset>> OpenRecordset(std::string_view sql_or_table,
                                                     SetKind kind = SetKind::kDynaset) override;
  DbStatus Execute(std::string_view sql) override;
  DbResult<QueryRows> ReadRows(std::string_view sql) override;
  // Only inside line transactions, which a failed send can roll back.
  bool DeferWrites(bool on) override;
  // PostgreSQL, or SQL Server's for any other server (statements are
  // written for it and rewritten for PostgreSQL).
  SqlDialect Dialect() const override;
  KeyForm Keys() const override { return KeyForm::kServerClockNumber; }
  DbResult<bool> LineDone() override;
  DbStatus Flush() override;
  DbStatus Rollback() override;
  bool CanUndoLines() const override;
  // Switches line transactions on and never commits. On PostgreSQL only
  // where the driver undoes a failed statement alone: elsewhere the first
  // failed statement would abort everything after it.
  DbStatus HoldAllWrites() override;
  // Switches line transactions on (see SetLineTransactions): the writes that
  // follow wait for Flush or Rollback.
  DbStatus BeginTransaction() override;
  // Settles the commit mode at once (as the first LineDone would), so that
  // the batch list and the first data line are in transactions too, each
  // begun by taking the import lock. Where every statement commits on its
  // own (SQL Server here, psqlODBC without statement-level rollback) no
  // transaction is ever begun and no lock is taken.
  DbStatus TakeTurns(TurnWaiter* waiter) override;
  void Close() override;

  // With line transactions on, when LineDone commits.
  void SetCommitPolicy(const CommitPolicy& policy) { policy_ = policy; }

  // Groups the writes of a data line into one transaction committed by
  // LineDone. Only safe where the driver undoes a failed statement alone
  // (psqlODBC with statement-level rollback, SQL Server); off by default.
  DbStatus SetLineTransactions(bool on);

  // True when, inside a transaction, a failed statement is undone alone and
  // the transaction goes on: psqlODBC's statement-level rollback (its default,
  // Protocol=7.4-2). Found out by trying it in a transaction that is then
  // rolled back (writes pending under line transactions are committed first);
  // a driver that undoes the whole transaction, or leaves it aborted, gives
  // false. False on every server but PostgreSQL.
  DbResult<bool> UndoesFailedStatementsAlone();

  bool IsPostgres() const;

 private:
  explicit OdbcDatabase(std::shared_ptr<odbc::Connection> connection);

  std::shared_ptr<odbc::Connection> connection_;
  bool line_mode_settled_ = false;  // the first LineDone has chosen the commit mode
  bool hold_ = false;               // a dry run: nothing is ever committed
  CommitPolicy policy_;
  int lines_pending_ = 0;  // lines done since the last commit
  std::chrono::steady_clock::time_point group_started_;
};

}  // namespace talvenor::records
