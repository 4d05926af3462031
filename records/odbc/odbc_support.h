#pragma once

// Helpers of the ODBC engine: text conversion for the wide ODBC calls, the
// error translation, and the few rewrites of SQL and connection texts the
// engine makes. Only the ODBC engine and its tests include this header.

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <string_view>

#include "records/db_error.h"

namespace talvenor::records::odbc {

static_assert(sizeof(SQLWCHAR) == 2, "the engine talks UTF-16 to the driver");

using WideText = std::basic_string<SQLWCHAR>;

// UTF-8 to UTF-16 and back. A byte that is not part of a valid UTF-8 sequence,
// and an unpaired surrogate, become U+FFFD.
WideText ToWide(std::string_view utf8);
std::string FromWide(const SQLWCHAR* text, size_t length);
inline std::string FromWide(const WideText& text) { return FromWide(text.data(), text.size()); }

// The server behind a connection, from SQLGetInfo(SQL_DBMS_NAME).
enum class Server { kSqlServer, kPostgres, kOther };
Server ServerFromDbmsName(std::string_view dbms_name);

// The connection text handed to SQLDriverConnect: a leading "ODBC;" (any
// case) is dropped. For the psqlODBC driver, settings that make a vanished
// server end a call (TCP keepalives, a limit on unacknowledged data) are added
// unless the text already sets them; a server that is merely slow is never cut
// off, since there is no statement time-out. These settings have no effect on
// a unix socket. UseServerSidePrepare=0 is added too (unless set): statements
// with parameters then cost one round trip instead of two.
std::string DriverConnectText(std::string_view connect);

// The statement the server is sent for `sql`: verbatim, except that on
// PostgreSQL the two server clock queries are replaced by equivalents that
// answer with the same column and the same form of value.
std::string ServerStatement(Server server, std::string_view sql);

// A query that takes the import lock of the target for the open transaction,
// waiting at most `wait_ms` milliseconds in the server's queue for it (0: not
// at all), and answers 1 when it has it. PostgreSQL: a transaction-level
// advisory lock keyed by the current schema, so that imports into different
// schemas of one database do not wait for each other; a wait that runs out is
// an error with SQLSTATE 55P03 (the session's lock_timeout bounds it). SQL
// Server: an exclusive application lock owned by the transaction, answering 0
// when the wait runs out. Empty for other servers, which take no lock.
std::string ImportLockQuery(Server server, int wait_ms);

// The one table a SELECT reads from, as written in the statement ("Companies",
// "[Rollup Names]", "dbo.Positions"); nothing when the statement is not a
// SELECT of exactly one table.
std::optional<std::string> SingleTableOf(std::string_view sql);

// The table name without brackets or quotes, upper-cased: the key under which
// column descriptions are cached.
std::string TableKey(std::string_view table);

// Reads every diagnostic record of a handle into a failure with number 3146
// ("ODBC--call failed."). SQLSTATE 23505 (PostgreSQL's unique violation,
// whose native number is always 1) is reported as provider number 2627;
// other native numbers pass through.
DbError DiagnosticsError(SQLSMALLINT handle_type, SQLHANDLE handle);

// A failure that has no ODBC diagnostics: the number and its standard text.
DbError EngineError(int number);

// Error numbers the recordsets use besides the ones callers test.
inline constexpr int kItemNotFound = 3265;
inline constexpr int kObjectInvalid = 3420;
inline constexpr int kReadOnly = 3027;

}  // namespace talvenor::records::odbc
