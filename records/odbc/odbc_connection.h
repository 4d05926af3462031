#pragma once

// The ODBC connection shared by an OdbcDatabase and its recordsets, and the
// reading and binding of values. Only the ODBC engine includes this header.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/database.h"
#include "records/db_error.h"
#include "records/odbc/odbc_support.h"
#include "records/value.h"

namespace talvenor::records::odbc {

// A result or table column as the driver describes it.
struct Column {
  std::string name;
  SQLSMALLINT type = SQL_UNKNOWN_TYPE;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
};

using Columns = std::vector<Column>;

struct Parameter;

// A statement handle, freed when it goes out of scope.
class Statement {
 public:
  explicit Statement(SQLHSTMT handle) : handle_(handle) {}
  Statement(Statement&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Statement& operator=(Statement&&) = delete;
  ~Statement();

  SQLHSTMT get() const { return handle_; }
  // Every diagnostic record of the statement as a 3146 failure.
  DbError Error() const { return DiagnosticsError(SQL_HANDLE_STMT, handle_); }
  // Runs `sql` (SQLExecDirect) and gives the driver's answer.
  SQLRETURN Exec(std::string_view sql) const;
  // Binds `parameters` to the markers of `sql` in order, runs it and sees
  // every statement of the text through, so that no failure of a later one
  // goes unseen. The parameters must stay in place until it returns.
  DbStatus RunAll(std::string_view sql, std::vector<Parameter>& parameters) const;

 private:
  SQLHSTMT handle_;
};

// One value bound as a statement parameter, converted for its column: a
// Number into a character column in plain decimal, a whole Number into an
// integral column as a 64-bit integer, a date text into a date column as a
// timestamp, Null and Empty as SQL NULL.
struct Parameter {
  SQLSMALLINT c_type = SQL_C_WCHAR;
  SQLSMALLINT sql_type = SQL_WVARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  SQLBIGINT integer = 0;
  double real = 0;
  SQL_TIMESTAMP_STRUCT timestamp{};
  WideText text;
  SQLLEN indicator = 0;
};
Parameter MakeParameter(const Value& value, const Column& column);
// Binds `p` as parameter `number`; `p` must stay in place until execution.
SQLRETURN BindParameter(SQLHSTMT statement, SQLUSMALLINT number, Parameter& p);

class Connection {
 public:
  // Connects with SQLDriverConnect (no prompt; a login waits at most
  // `login_timeout_seconds` for the server), finds out which server answers
  // and prepares the session for it.
  static DbResult<std::shared_ptr<Connection>> Connect(std::string_view connect,
                                                       int login_timeout_seconds);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Server server() const { return server_; }
  bool connected() const { return dbc_ != nullptr; }

  // A fresh statement handle without a time-out; 3420 once disconnected.
  // With turns taken (TakeTurns), the first statement of each transaction
  // first takes the target's import lock, waiting for it as
  // Database::TakeTurns says; a wait that failed fails every statement of
  // the transaction at once, until Commit or Rollback.
  DbResult<Statement> NewStatement();
  // Runs a statement that returns no rows. "No rows affected" is success.
  DbStatus Execute(std::string_view sql);
  // Runs a query and reads every row of its first result.
  DbResult<QueryRows> ReadRows(std::string_view sql);
  // The columns of a table, asked of the server once per table and kept.
  DbResult<std::shared_ptr<const Columns>> TableColumns(std::string_view table);
  // Keeps the columns of `table` as a "SELECT *" of it described them, so
  // that TableColumns need not ask.
  void KnowColumns(std::string_view table, const Columns& columns);
  // `name` in the server's identifier quotes.
  std::string QuoteName(std::string_view name) const;

  // With line transactions on, writes are committed by Commit only; off (the
  // default), every statement commits on its own.
  DbStatus SetLineTransactions(bool on);
  bool line_transactions() const { return line_transactions_; }
  // From now on every transaction begins by taking the import lock (see
  // NewStatement); `waiter` may be null.
  void TakeTurns(TurnWaiter* waiter) {
    turns_ = true;
    waiter_ = waiter;
  }
  DbStatus Commit();
  // Undoes what is pending; nothing to do without line transactions.
  DbStatus Rollback();

  // Keeps new rows back from now on (`on`), or sends them at the next
  // statement as always (see Database::DeferWrites). True while rows are
  // kept back: only with line transactions on.
  bool DeferInserts(bool on) {
    deferring_ = on;
    return deferring();
  }
  bool deferring() const { return deferring_ && line_transactions_; }
  // Keeps back one row of the INSERT `head` ("INSERT INTO T (a,b) VALUES "):
  // its `values` ("(?,?)" or "(1,'x')") and the parameters of its markers.
  void Defer(std::string head, std::string values, std::vector<Parameter> parameters);
  // Sends the rows kept back: the rows of each INSERT head in one statement
  // (as many as the server takes in one), every statement in one exchange.
  DbStatus SendDeferred();

  // Commits what is pending and ends the connection. Safe to call twice.
  void Disconnect();

 private:
  Connection() = default;
  DbStatus PrepareSession();
  DbResult<Statement> AllocateStatement();
  // Runs a statement outside the turn taking and reads the first column of
  // its first row as text (nothing when it gives no row).
  DbResult<std::optional<std::string>> LockStatement(std::string_view sql);
  // Asks for the import lock once, waiting at most `wait_ms` for it: true
  // when this transaction holds it.
  DbResult<bool> TryTurn(int wait_ms);
  // Asks until the lock is had, the wait times out, or the waiter ends it.
  DbStatus TakeTurn();
  // The transaction ended: the next one takes the lock again.
  void EndTurn() {
    turn_held_ = false;
    turn_failed_.reset();
  }

  struct DeferredRow {
    std::string head, values;
    std::vector<Parameter> parameters;
  };

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  Server server_ = Server::kOther;
  std::string quote_ = "\"";
  bool line_transactions_ = false;
  bool turns_ = false;
  bool turn_held_ = false;
  std::optional<DbError> turn_failed_;
  TurnWaiter* waiter_ = nullptr;
  std::map<std::string, std::shared_ptr<const Columns>> tables_;
  bool deferring_ = false;
  bool sending_ = false;
  std::vector<DeferredRow> deferred_;
  // Why the rows kept back could not be stored: every statement fails with
  // it until Rollback.
  std::optional<DbError> deferred_failed_;
};

// Describes the result columns of an executed statement.
DbResult<Columns> DescribeResult(SQLHSTMT statement);

// Reads column `number` (from 1) of the current row as a Value: Null for SQL
// NULL, Number for numeric types, DateTime for dates and times, Text otherwise.
DbResult<Value> ReadColumn(SQLHSTMT statement, SQLUSMALLINT number, const Column& column);

// True for the character types; FieldSize reports their defined length.
bool IsTextType(SQLSMALLINT type);
// The defined length of a text column in characters; 0 for other types and
// for long texts without a limit.
int DefinedTextLength(const Column& column);

}  // namespace talvenor::records::odbc
