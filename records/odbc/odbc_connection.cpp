#include "records/odbc/odbc_connection.h"

#include <chrono>
#include <cmath>

#include "records/date_time.h"

namespace talvenor::records::odbc {

namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

bool IsIntegralType(const Column& c) {
  switch (c.type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return true;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return c.digits == 0;
    default:
      return false;
  }
}

bool IsNumericType(SQLSMALLINT type) {
  switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return true;
    default:
      return false;
  }
}

// SQL Server's time(n) and datetimeoffset report types of their own.
constexpr SQLSMALLINT kSqlServerTime2 = -154;
constexpr SQLSMALLINT kSqlServerDateTimeOffset = -155;

bool IsDateType(SQLSMALLINT type) {
  switch (type) {
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case kSqlServerTime2:
    case kSqlServerDateTimeOffset:
      return true;
    default:
      return false;
  }
}

SQL_TIMESTAMP_STRUCT TimestampOf(double serial) {
  const CivilTime t = ToCivil(serial);
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(t.year);
  ts.month = static_cast<SQLUSMALLINT>(t.month);
  ts.day = static_cast<SQLUSMALLINT>(t.day);
  ts.hour = static_cast<SQLUSMALLINT>(t.hour);
  ts.minute = static_cast<SQLUSMALLINT>(t.minute);
  ts.second = static_cast<SQLUSMALLINT>(t.second);
  ts.fraction = static_cast<SQLUINTEGER>(t.millisecond) * 1'000'000u;
  return ts;
}

DbResult<Value> ReadText(SQLHSTMT statement, SQLUSMALLINT number) {
  WideText text;
  std::vector<SQLWCHAR> buffer(2048);
  const auto buffer_bytes = static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR));
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        SQLGetData(statement, number, SQL_C_WCHAR, buffer.data(), buffer_bytes, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!Succeeded(rc)) return std::unexpected(DiagnosticsError(SQL_HANDLE_STMT, statement));
    if (indicator == SQL_NULL_DATA) return Value::Null();
    // A full buffer (one place kept for the terminating zero) means more follows.
    const bool more =
        rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= buffer_bytes);
    const size_t chars =
        more ? buffer.size() - 1 : static_cast<size_t>(indicator) / sizeof(SQLWCHAR);
    text.append(buffer.data(), chars);
    if (!more) break;
  }
  return Value::Text(FromWide(text));
}

}  // namespace

Statement::~Statement() {
  if (handle_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
}

SQLRETURN Statement::Exec(std::string_view sql) const {
  WideText text = ToWide(sql);
  return SQLExecDirectW(handle_, text.data(), static_cast<SQLINTEGER>(text.size()));
}

DbStatus Statement::RunAll(std::string_view sql, std::vector<Parameter>& parameters) const {
  for (size_t i = 0; i < parameters.size(); ++i) {
    if (!Succeeded(BindParameter(handle_, static_cast<SQLUSMALLINT>(i + 1), parameters[i]))) {
      return std::unexpected(Error());
    }
  }
  for (SQLRETURN rc = Exec(sql); rc != SQL_NO_DATA; rc = SQLMoreResults(handle_)) {
    if (!Succeeded(rc)) return std::unexpected(Error());
  }
  return {};
}

DbResult<std::shared_ptr<Connection>> Connection::Connect(std::string_view connect,
                                                          int login_timeout_seconds) {
  std::shared_ptr<Connection> c(new Connection());
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &c->env_))) {
    c->env_ = nullptr;
    return std::unexpected(EngineError(kOdbcCallFailed));
  }
  SQLSetEnvAttr(c->env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, c->env_, &c->dbc_))) {
    c->dbc_ = nullptr;
    return std::unexpected(DiagnosticsError(SQL_HANDLE_ENV, c->env_));
  }
  // A server that takes the connection but never answers must not hold the
  // run at its start.
  SQLSetConnectAttr(c->dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(login_timeout_seconds)), 0);
  const WideText text = ToWide(DriverConnectText(connect));
  if (text.size() > 32767) return std::unexpected(EngineError(kOdbcCallFailed));
  SQLWCHAR out[1024];
  SQLSMALLINT out_length = 0;
  const SQLRETURN rc = SQLDriverConnectW(
      c->dbc_, nullptr, const_cast<SQLWCHAR*>(text.data()), static_cast<SQLSMALLINT>(text.size()),
      out, static_cast<SQLSMALLINT>(std::size(out)), &out_length, SQL_DRIVER_NOPROMPT);
  if (!Succeeded(rc)) {
    DbError error = DiagnosticsError(SQL_HANDLE_DBC, c->dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, c->dbc_);
    c->dbc_ = nullptr;
    return std::unexpected(std::move(error));
  }
  if (auto ready = c->PrepareSession(); !ready) {
    c->Disconnect();
    return std::unexpected(std::move(ready.error()));
  }
  return c;
}

DbStatus Connection::PrepareSession() {
  SQLWCHAR name[256] = {};
  SQLSMALLINT length = 0;
  if (!Succeeded(SQLGetInfoW(dbc_, SQL_DBMS_NAME, name, sizeof name, &length))) {
    return std::unexpected(DiagnosticsError(SQL_HANDLE_DBC, dbc_));
  }
  server_ = ServerFromDbmsName(FromWide(name, static_cast<size_t>(length) / sizeof(SQLWCHAR)));
  SQLWCHAR quote[8] = {};
  if (Succeeded(SQLGetInfoW(dbc_, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &length))) {
    const std::string q = FromWide(quote, static_cast<size_t>(length) / sizeof(SQLWCHAR));
    if (!q.empty() && q != " ") quote_ = q;
  }
  // PostgreSQL aborts a transaction at its first error, so every statement
  // commits on its own.
  SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  if (server_ == Server::kPostgres) {
    // A backslash in a literal is plain text, and "12/8/2026 3:04:05 PM" (the
    // form dates are written into statements) reads month first.
    if (auto r = Execute("SET standard_conforming_strings = on"); !r) return r;
    if (auto r = Execute("SET DateStyle = 'ISO, MDY'"); !r) return r;
  }
  return {};
}

Connection::~Connection() { Disconnect(); }

void Connection::Disconnect() {
  if (dbc_ != nullptr) {
    // Rows kept back are committed with the rest, or, when the server
    // refuses them, nothing of the open transaction is.
    if (line_transactions_) {
      SQLEndTran(SQL_HANDLE_DBC, dbc_, SendDeferred() ? SQL_COMMIT : SQL_ROLLBACK);
    }
    deferred_.clear();
    deferred_failed_.reset();
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = nullptr;
  }
  if (env_ != nullptr) {
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
    env_ = nullptr;
  }
  tables_.clear();
}

DbResult<Statement> Connection::NewStatement() {
  if (deferred_failed_) return std::unexpected(*deferred_failed_);
  // A statement after rows kept back must see them (and fail with them).
  if (!deferred_.empty() && !sending_) {
    if (auto sent = SendDeferred(); !sent) return std::unexpected(std::move(sent.error()));
  }
  if (turns_ && line_transactions_ && !turn_held_ && dbc_ != nullptr) {
    if (turn_failed_) return std::unexpected(*turn_failed_);
    if (auto taken = TakeTurn(); !taken) {
      turn_failed_ = std::move(taken.error());
      return std::unexpected(*turn_failed_);
    }
    turn_held_ = true;
  }
  return AllocateStatement();
}

DbResult<std::optional<std::string>> Connection::LockStatement(std::string_view sql) {
  auto statement = AllocateStatement();
  if (!statement) return std::unexpected(std::move(statement.error()));
  if (!Succeeded(statement->Exec(sql))) {
    return std::unexpected(statement->Error());
  }
  // SQL Server's batch may answer with row counts before its one row.
  SQLSMALLINT columns = 0;
  while (Succeeded(SQLNumResultCols(statement->get(), &columns)) && columns == 0) {
    if (!Succeeded(SQLMoreResults(statement->get()))) return std::optional<std::string>();
  }
  const SQLRETURN fetched = SQLFetch(statement->get());
  if (fetched == SQL_NO_DATA) return std::optional<std::string>();
  if (!Succeeded(fetched)) return std::unexpected(statement->Error());
  auto value = ReadText(statement->get(), 1);
  if (!value) return std::unexpected(std::move(value.error()));
  return std::optional<std::string>(value->IsText() ? value->text() : "");
}

DbResult<bool> Connection::TryTurn(int wait_ms) {
  const std::string query = ImportLockQuery(server_, wait_ms);
  if (query.empty()) return true;
  auto answer = LockStatement(query);
  if (!answer) {
    // PostgreSQL ends a wait that ran out with an error of its own.
    for (const ProviderError& p : answer.error().providers) {
      if (p.sql_state == "55P03") return false;
    }
    return std::unexpected(std::move(answer.error()));
  }
  return *answer == "1";
}

DbStatus Connection::TakeTurn() {
  auto taken = TryTurn(/*wait_ms=*/0);
  if (!taken) return std::unexpected(std::move(taken.error()));
  if (*taken) return {};
  // Waited for in the server's queue, half a second at a time: a released
  // lock goes to the session that waits for it, so a run that commits and at
  // once begins its next group cannot keep it from a waiting run, as asking
  // again and again would. Between the waits the wait is told of and can be
  // stopped.
  constexpr int kSliceMs = 500;
  std::optional<std::string> lock_timeout;  // PostgreSQL's, before the wait
  if (server_ == Server::kPostgres) {
    auto was = LockStatement(
        "SELECT current_setting('lock_timeout') AS Was, set_config("
        "'lock_timeout', '" +
        std::to_string(kSliceMs) + "ms', true) AS Now");
    if (!was) return std::unexpected(std::move(was.error()));
    lock_timeout = was->value_or("0");
  }
  const auto started = std::chrono::steady_clock::now();
  DbStatus result;
  for (;;) {
    taken = TryTurn(kSliceMs);
    if (!taken) {
      result = std::unexpected(std::move(taken.error()));
      break;
    }
    if (*taken) break;
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started;
    if (waited.count() >= kTurnWaitSeconds) {
      DbError e = EngineError(kOdbcCallFailed);
      e.providers.push_back({0, "55P03",
                             "another import into this database kept its lock for more than " +
                                 std::to_string(kTurnWaitSeconds) + " s"});
      e.fault = Fault::kLocked;
      result = std::unexpected(std::move(e));
      break;
    }
    if (waiter_ != nullptr && !waiter_->Waiting(waited.count())) {
      DbError e = EngineError(kOdbcCallFailed);
      e.providers.push_back({0, "", "stopped while waiting for another import"});
      e.fault = Fault::kStopped;
      result = std::unexpected(std::move(e));
      break;
    }
  }
  if (lock_timeout) {
    std::string restore = "SELECT set_config('lock_timeout', '";
    for (char c : *lock_timeout) {
      restore += c;
      if (c == '\'') restore += c;
    }
    (void)LockStatement(restore + "', true) AS Now");
  }
  return result;
}

DbResult<Statement> Connection::AllocateStatement() {
  if (dbc_ == nullptr) return std::unexpected(EngineError(kObjectInvalid));
  SQLHSTMT handle = nullptr;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &handle))) {
    return std::unexpected(DiagnosticsError(SQL_HANDLE_DBC, dbc_));
  }
  Statement statement(handle);
  SQLSetStmtAttr(handle, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN{0}), 0);
  return statement;
}

namespace {

// "INSERT INTO T (a,b) VALUES (1,'x')" as its head, up to and with "VALUES ",
// and its one parenthesised row of values; nothing for any other statement
// (several rows, a SELECT, a second statement after a semicolon).
std::optional<std::pair<std::string_view, std::string_view>> SplitInsert(std::string_view sql) {
  constexpr std::string_view kInsert = "INSERT INTO ";
  constexpr std::string_view kValues = " VALUES (";
  if (!sql.starts_with(kInsert)) return std::nullopt;
  const size_t at = sql.find(kValues);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view head = sql.substr(0, at + kValues.size() - 1);
  if (head.find('\'') != std::string_view::npos) return std::nullopt;
  const std::string_view values = sql.substr(head.size());
  int depth = 0;
  bool quoted = false;
  for (size_t i = 0; i < values.size(); ++i) {
    const char c = values[i];
    if (c == '\'') {
      quoted = !quoted;
    } else if (!quoted && c == '(') {
      ++depth;
    } else if (!quoted && c == ')') {
      if (--depth == 0 && i + 1 != values.size()) return std::nullopt;
    } else if (!quoted && c == ';') {
      return std::nullopt;
    }
  }
  if (quoted || depth != 0) return std::nullopt;
  return std::pair{head, values};
}

}  // namespace

void Connection::Defer(std::string head, std::string values, std::vector<Parameter> parameters) {
  deferred_.push_back({std::move(head), std::move(values), std::move(parameters)});
}

DbStatus Connection::SendDeferred() {
  if (deferred_failed_) return std::unexpected(*deferred_failed_);
  if (deferred_.empty()) return {};
  std::vector<DeferredRow> rows;
  rows.swap(deferred_);
  // SQL Server takes at most 2,100 parameters in one exchange and 1,000 rows
  // in one INSERT. psqlODBC writes the parameters into the text, growing it
  // piece by piece: texts of a few thousand parameters cost it least.
  const size_t max_parameters = server_ == Server::kPostgres ? 4'000 : 2'000;
  constexpr size_t kMaxRows = 1'000;

  // The rows of each head in the order they came, the heads in the order
  // of their first row. Keys are written by the caller, so the order rows
  // of one table reach the server in decides nothing of what is stored.
  std::vector<std::vector<size_t>> groups;
  std::map<std::string_view, size_t> group_of;
  for (size_t i = 0; i < rows.size(); ++i) {
    auto [it, added] = group_of.try_emplace(rows[i].head, groups.size());
    if (added) groups.emplace_back();
    groups[it->second].push_back(i);
  }

  std::string sql;
  std::vector<Parameter> parameters;
  auto send = [&]() -> DbStatus {
    if (sql.empty()) return {};
    sending_ = true;
    auto statement = NewStatement();
    sending_ = false;
    if (!statement) return std::unexpected(std::move(statement.error()));
    if (DbStatus ran = statement->RunAll(sql, parameters); !ran) return ran;
    sql.clear();
    parameters.clear();
    return {};
  };
  DbStatus sent;
  for (const std::vector<size_t>& group : groups) {
    size_t in_statement = 0;
    for (size_t i : group) {
      DeferredRow& row = rows[i];
      if (!parameters.empty() && parameters.size() + row.parameters.size() > max_parameters) {
        if (sent = send(); !sent) break;
        in_statement = 0;
      }
      if (in_statement == kMaxRows) in_statement = 0;
      if (in_statement == 0) {
        if (!sql.empty()) sql += ';';
        sql += row.head;
      } else {
        sql += ',';
      }
      ++in_statement;
      sql += row.values;
      for (Parameter& p : row.parameters) parameters.push_back(std::move(p));
    }
    if (!sent) break;
    // The next table's rows start a statement of their own.
    in_statement = 0;
  }
  if (sent) sent = send();
  if (!sent) deferred_failed_ = sent.error();
  return sent;
}

DbResult<QueryRows> Connection::ReadRows(std::string_view sql) {
  auto statement = NewStatement();
  if (!statement) return std::unexpected(std::move(statement.error()));
  if (!Succeeded(statement->Exec(sql))) {
    return std::unexpected(statement->Error());
  }
  auto columns = DescribeResult(statement->get());
  if (!columns) return std::unexpected(std::move(columns.error()));
  QueryRows result;
  for (const Column& c : *columns) result.names.push_back(c.name);
  if (columns->empty()) return result;
  for (;;) {
    const SQLRETURN rc = SQLFetch(statement->get());
    if (rc == SQL_NO_DATA) break;
    if (!Succeeded(rc)) return std::unexpected(statement->Error());
    std::vector<Value>& row = result.rows.emplace_back();
    row.reserve(columns->size());
    for (size_t i = 0; i < columns->size(); ++i) {
      auto value = ReadColumn(statement->get(), static_cast<SQLUSMALLINT>(i + 1), (*columns)[i]);
      if (!value) return std::unexpected(std::move(value.error()));
      row.push_back(std::move(*value));
    }
  }
  return result;
}

DbStatus Connection::Execute(std::string_view sql) {
  if (deferring()) {
    if (auto insert = SplitInsert(sql)) {
      Defer(std::string(insert->first), std::string(insert->second), {});
      return {};
    }
  }
  auto statement = NewStatement();
  if (!statement) return std::unexpected(std::move(statement.error()));
  const SQLRETURN rc = statement->Exec(sql);
  if (rc != SQL_NO_DATA && !Succeeded(rc)) return std::unexpected(statement->Error());
  return {};
}

void Connection::KnowColumns(std::string_view table, const Columns& columns) {
  tables_.try_emplace(TableKey(table), std::make_shared<const Columns>(columns));
}

DbResult<std::shared_ptr<const Columns>> Connection::TableColumns(std::string_view table) {
  const std::string key = TableKey(table);
  if (auto it = tables_.find(key); it != tables_.end()) return it->second;
  auto statement = NewStatement();
  if (!statement) return std::unexpected(std::move(statement.error()));
  const SQLRETURN rc = statement->Exec("SELECT * FROM " + std::string(table) + " WHERE 1=0");
  if (!Succeeded(rc)) return std::unexpected(statement->Error());
  auto columns = DescribeResult(statement->get());
  if (!columns) return std::unexpected(std::move(columns.error()));
  auto shared = std::make_shared<const Columns>(std::move(*columns));
  tables_.emplace(key, shared);
  return shared;
}

std::string Connection::QuoteName(std::string_view name) const {
  std::string out = quote_;
  for (char c : name) {
    out += c;
    if (std::string_view(quote_) == std::string_view(&c, 1)) out += c;
  }
  return out + quote_;
}

DbStatus Connection::SetLineTransactions(bool on) {
  if (dbc_ == nullptr) return std::unexpected(EngineError(kObjectInvalid));
  if (on == line_transactions_) return {};
  if (!on) {
    if (auto r = Commit(); !r) return r;
  }
  const auto mode = on ? SQL_AUTOCOMMIT_OFF : SQL_AUTOCOMMIT_ON;
  if (!Succeeded(
          SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(mode), 0))) {
    return std::unexpected(DiagnosticsError(SQL_HANDLE_DBC, dbc_));
  }
  line_transactions_ = on;
  EndTurn();
  return {};
}

DbStatus Connection::Commit() {
  if (!line_transactions_) return {};
  if (dbc_ == nullptr) return std::unexpected(EngineError(kObjectInvalid));
  if (auto sent = SendDeferred(); !sent) return sent;
  EndTurn();
  if (!Succeeded(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT))) {
    return std::unexpected(DiagnosticsError(SQL_HANDLE_DBC, dbc_));
  }
  return {};
}

DbStatus Connection::Rollback() {
  deferred_.clear();
  deferred_failed_.reset();
  if (!line_transactions_) return {};
  if (dbc_ == nullptr) return std::unexpected(EngineError(kObjectInvalid));
  EndTurn();
  if (!Succeeded(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK))) {
    return std::unexpected(DiagnosticsError(SQL_HANDLE_DBC, dbc_));
  }
  return {};
}

DbResult<Columns> DescribeResult(SQLHSTMT statement) {
  SQLSMALLINT count = 0;
  if (!Succeeded(SQLNumResultCols(statement, &count))) {
    return std::unexpected(DiagnosticsError(SQL_HANDLE_STMT, statement));
  }
  Columns columns;
  columns.reserve(static_cast<size_t>(count));
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT name_length = 0;
    Column c;
    // Whether a column takes Null is not asked: psqlODBC would ask the
    // server's catalogue for it, a round trip per result.
    if (!Succeeded(SQLDescribeColW(statement, i, name, static_cast<SQLSMALLINT>(std::size(name)),
                                   &name_length, &c.type, &c.size, &c.digits, nullptr))) {
      return std::unexpected(DiagnosticsError(SQL_HANDLE_STMT, statement));
    }
    const auto used = std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(name_length, 0)),
                                       std::size(name) - 1);
    c.name = FromWide(name, used);
    columns.push_back(std::move(c));
  }
  return columns;
}

DbResult<Value> ReadColumn(SQLHSTMT statement, SQLUSMALLINT number, const Column& column) {
  SQLLEN indicator = 0;
  auto fail = [&] { return std::unexpected(DiagnosticsError(SQL_HANDLE_STMT, statement)); };
  if (IsIntegralType(column) && column.type != SQL_NUMERIC && column.type != SQL_DECIMAL) {
    SQLBIGINT v = 0;
    if (!Succeeded(SQLGetData(statement, number, SQL_C_SBIGINT, &v, sizeof v, &indicator))) {
      return fail();
    }
    if (indicator == SQL_NULL_DATA) return Value::Null();
    return Value::Number(static_cast<double>(v));
  }
  if (IsNumericType(column.type)) {
    double v = 0;
    if (!Succeeded(SQLGetData(statement, number, SQL_C_DOUBLE, &v, sizeof v, &indicator))) {
      return fail();
    }
    if (indicator == SQL_NULL_DATA) return Value::Null();
    return Value::Number(v);
  }
  if (column.type == SQL_TYPE_TIME || column.type == SQL_TIME || column.type == kSqlServerTime2) {
    SQL_TIME_STRUCT t{};
    if (!Succeeded(SQLGetData(statement, number, SQL_C_TYPE_TIME, &t, sizeof t, &indicator))) {
      return fail();
    }
    if (indicator == SQL_NULL_DATA) return Value::Null();
    // A time of day alone is the fraction of day 0 (30 December 1899).
    return Value::DateTime((t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0);
  }
  if (IsDateType(column.type)) {
    SQL_TIMESTAMP_STRUCT ts{};
    if (!Succeeded(
            SQLGetData(statement, number, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator))) {
      return fail();
    }
    if (indicator == SQL_NULL_DATA) return Value::Null();
    CivilTime t{ts.year,
                ts.month,
                ts.day,
                ts.hour,
                ts.minute,
                ts.second,
                static_cast<int>(ts.fraction / 1'000'000u)};
    return Value::DateTime(FromCivil(t));
  }
  return ReadText(statement, number);
}

bool IsTextType(SQLSMALLINT type) {
  switch (type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return true;
    default:
      return false;
  }
}

int DefinedTextLength(const Column& column) {
  if (!IsTextType(column.type) || column.type == SQL_LONGVARCHAR ||
      column.type == SQL_WLONGVARCHAR) {
    return 0;
  }
  // Unbounded texts (SQL Server's varchar(max)) report 0 or a huge size.
  if (column.size == 0 || column.size > 0x7FFFFFFF) return 0;
  return static_cast<int>(column.size);
}

Parameter MakeParameter(const Value& value, const Column& column) {
  Parameter p;
  p.sql_type = column.type;
  p.size = column.size;
  p.digits = column.digits;
  const bool text_column = IsTextType(column.type);
  const bool date_column = IsDateType(column.type);
  auto set_text = [&](std::string_view s) {
    p.c_type = SQL_C_WCHAR;
    p.text = ToWide(s);
    p.indicator = static_cast<SQLLEN>(p.text.size() * sizeof(SQLWCHAR));
    if (text_column) {
      if (p.size < p.text.size() &&
          (p.size == 0 || column.type == SQL_LONGVARCHAR || column.type == SQL_WLONGVARCHAR)) {
        p.size = p.text.size();
      }
      // Drivers want a length of at least 1 even for an empty text.
      if (p.size == 0) p.size = 1;
    } else if (p.size == 0) {
      p.size = p.text.empty() ? 1 : p.text.size();
    }
  };
  auto set_timestamp = [&](double serial) {
    p.c_type = SQL_C_TYPE_TIMESTAMP;
    p.sql_type = SQL_TYPE_TIMESTAMP;
    p.timestamp = TimestampOf(serial);
    p.size = 23;
    p.digits = 3;
    p.indicator = sizeof p.timestamp;
  };
  switch (value.kind()) {
    case Value::Kind::kEmpty:
    case Value::Kind::kNull:
      p.c_type = SQL_C_WCHAR;
      if (p.size == 0) p.size = 1;
      p.indicator = SQL_NULL_DATA;
      break;
    case Value::Kind::kNumber: {
      const double n = value.number();
      if (text_column) {
        set_text(NumberToText(n));
      } else if (date_column) {
        set_timestamp(n);
      } else if (IsIntegralType(column) && n == std::trunc(n) && std::fabs(n) < 9.0e18) {
        p.c_type = SQL_C_SBIGINT;
        p.integer = static_cast<SQLBIGINT>(n);
        p.indicator = sizeof p.integer;
      } else {
        p.c_type = SQL_C_DOUBLE;
        p.real = n;
        p.indicator = sizeof p.real;
        if (!IsNumericType(column.type)) p.sql_type = SQL_DOUBLE;
      }
      break;
    }
    case Value::Kind::kText:
      // A date given as text ("12/8/2026 3:04:05 PM") is read here, so that
      // every server takes it the same way; a text we cannot read goes to the
      // server as it is and fails there.
      if (date_column) {
        if (auto serial = ParseDateTime(value.text())) {
          set_timestamp(*serial);
          break;
        }
      }
      set_text(value.text());
      break;
    case Value::Kind::kDateTime:
      if (text_column) {
        set_text(GeneralDate(value.number()));
      } else if (IsNumericType(column.type)) {
        p.c_type = SQL_C_DOUBLE;
        p.real = value.number();
        p.indicator = sizeof p.real;
      } else {
        set_timestamp(value.number());
      }
      break;
  }
  if (p.sql_type == SQL_UNKNOWN_TYPE) p.sql_type = SQL_WVARCHAR;
  return p;
}

SQLRETURN BindParameter(SQLHSTMT statement, SQLUSMALLINT number, Parameter& p) {
  SQLPOINTER data = nullptr;
  SQLLEN buffer_length = 0;
  switch (p.c_type) {
    case SQL_C_SBIGINT:
      data = &p.integer;
      buffer_length = sizeof p.integer;
      break;
    case SQL_C_DOUBLE:
      data = &p.real;
      buffer_length = sizeof p.real;
      break;
    case SQL_C_TYPE_TIMESTAMP:
      data = &p.timestamp;
      buffer_length = sizeof p.timestamp;
      break;
    default:
      data = p.text.data();
      buffer_length = static_cast<SQLLEN>(p.text.size() * sizeof(SQLWCHAR));
      break;
  }
  return SQLBindParameter(statement, number, SQL_PARAM_INPUT, p.c_type, p.sql_type, p.size,
                          p.digits, data, buffer_length, &p.indicator);
}

}  // namespace talvenor::records::odbc
