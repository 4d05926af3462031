#include "records/odbc/odbc_support.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "text/ascii.h"
#include "text/utf8.h"

namespace talvenor::records::odbc {

namespace {

// Upper-cased with every blank, tab and line end removed, so that a clock
// query is recognised however it is spaced or cased.
std::string Squeezed(std::string_view sql) {
  std::string out;
  for (char c : sql) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out += text::AsciiUpper(c);
  }
  return out;
}

bool IsWordChar(char c) {
  return text::IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// One lexical piece of a SELECT: a word, a quoted or bracketed name, a string
// literal, or a single punctuation character.
struct Token {
  std::string_view text;
  bool word = false;
};

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    const size_t start = i;
    if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : c;
      ++i;
      while (i < sql.size()) {
        if (sql[i] == close) {
          // A doubled quote inside a quoted text is one quote character.
          if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      tokens.push_back({sql.substr(start, i - start), c != '\''});
      continue;
    }
    if (IsWordChar(c)) {
      while (i < sql.size() && IsWordChar(sql[i])) ++i;
      tokens.push_back({sql.substr(start, i - start), true});
      continue;
    }
    tokens.push_back({sql.substr(start, 1), false});
    ++i;
  }
  return tokens;
}

// Splits a connection text into its "key=value" parts; a value in braces may
// hold semicolons.
struct Attribute {
  std::string key, value;
};

std::vector<Attribute> Attributes(std::string_view text) {
  std::vector<Attribute> out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t eq = text.find('=', i);
    const size_t semi = text.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      i = semi == std::string_view::npos ? text.size() : semi + 1;
      continue;
    }
    Attribute a{std::string(text.substr(i, eq - i)), {}};
    size_t j = eq + 1;
    if (j < text.size() && text[j] == '{') {
      const size_t close = text.find('}', j);
      const size_t end = close == std::string_view::npos ? text.size() : close + 1;
      a.value = std::string(text.substr(j, end - j));
      j = end;
      const size_t next = text.find(';', j);
      i = next == std::string_view::npos ? text.size() : next + 1;
    } else {
      const size_t end = semi == std::string_view::npos ? text.size() : semi;
      a.value = std::string(text.substr(j, end - j));
      i = end == text.size() ? end : end + 1;
    }
    // Keys are compared without surrounding blanks and letter case.
    while (!a.key.empty() && a.key.front() == ' ') a.key.erase(0, 1);
    while (!a.key.empty() && a.key.back() == ' ') a.key.pop_back();
    out.push_back(std::move(a));
  }
  return out;
}

}  // namespace

WideText ToWide(std::string_view utf8) {
  WideText out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const char32_t cp = text::NextUtf8(utf8, i).value_or(text::kReplacementCharacter);
    if (cp >= 0x10000) {
      const char32_t v = cp - 0x10000;
      out += static_cast<SQLWCHAR>(0xD800 + (v >> 10));
      out += static_cast<SQLWCHAR>(0xDC00 + (v & 0x3FF));
    } else {
      out += static_cast<SQLWCHAR>(cp);
    }
  }
  return out;
}

std::string FromWide(const SQLWCHAR* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = text::kReplacementCharacter;
    }
    text::AppendUtf8(out, cp);
  }
  return out;
}

Server ServerFromDbmsName(std::string_view dbms_name) {
  if (text::FindIgnoreCase(dbms_name, "SQL Server") != std::string_view::npos) {
    return Server::kSqlServer;
  }
  if (text::FindIgnoreCase(dbms_name, "PostgreSQL") != std::string_view::npos) {
    return Server::kPostgres;
  }
  return Server::kOther;
}

std::string DriverConnectText(std::string_view connect) {
  std::string out(connect);
  if (out.size() >= 5 && text::EqualsIgnoreCase(std::string_view(out).substr(0, 5), "ODBC;")) {
    out.erase(0, 5);
  }
  bool psqlodbc = false;
  bool keepalive_set = false;
  bool pqopt_set = false;
  bool prepare_set = false;
  for (const Attribute& a : Attributes(out)) {
    if (text::EqualsIgnoreCase(a.key, "Driver") &&
        (text::FindIgnoreCase(a.value, "psqlodbc") != std::string::npos ||
         text::FindIgnoreCase(a.value, "PostgreSQL") != std::string::npos)) {
      psqlodbc = true;
    }
    if (text::FindIgnoreCase(a.key, "Keepalive") == 0) keepalive_set = true;
    if (text::EqualsIgnoreCase(a.key, "pqopt")) pqopt_set = true;
    if (text::EqualsIgnoreCase(a.key, "UseServerSidePrepare")) prepare_set = true;
  }
  if (!psqlodbc) return out;
  if (!out.empty() && out.back() != ';') out += ';';
  // Probes after 30 idle seconds, every 10 seconds: a dead server is noticed
  // within a minute even while a long statement runs.
  if (!keepalive_set) out += "KeepaliveTime=30;KeepaliveInterval=10;";
  // Data the server does not acknowledge for 60 seconds ends the connection.
  // (The login time-out is the driver's own setting; naming it here too
  // makes the driver refuse the connection.)
  if (!pqopt_set) out += "pqopt={tcp_user_timeout=60000};";
  // The driver puts the parameters into the statement text itself, so that a
  // statement and the savepoint the driver sets before it (the undo of a
  // failed statement alone) go in one round trip; prepared on the server, a
  // statement with parameters took two.
  if (!prepare_set) out += "UseServerSidePrepare=0;";
  return out;
}

std::string ImportLockQuery(Server server, int wait_ms) {
  constexpr std::string_view kPostgresKey = "1415071822, hashtext(current_schema())";
  switch (server) {
    case Server::kPostgres:
      if (wait_ms <= 0) {
        return "SELECT CASE WHEN pg_try_advisory_xact_lock(" + std::string(kPostgresKey) +
               ") THEN 1 ELSE 0 END AS Taken";
      }
      return "SELECT 1 AS Taken FROM (SELECT pg_advisory_xact_lock(" + std::string(kPostgresKey) +
             ")) AS l";
    case Server::kSqlServer:
      return "SET NOCOUNT ON; DECLARE @r int; EXEC @r = sp_getapplock @Resource = "
             "'talvenor-import', @LockMode = 'Exclusive', @LockOwner = 'Transaction', "
             "@LockTimeout = " +
             std::to_string(std::max(wait_ms, 0)) +
             "; SELECT CASE WHEN @r >= 0 THEN 1 ELSE 0 END AS Taken";
    case Server::kOther:
      break;
  }
  return {};
}

std::string ServerStatement(Server server, std::string_view sql) {
  if (server != Server::kPostgres) return std::string(sql);
  const std::string key = Squeezed(sql);
  // The text of the numeric key clock, "08 Dec 2026 15:04:05:123". The current
  // time, not the transaction's start, as the production server answers.
  if (key == "SELECTCONVERT(VARCHAR(30),GETDATE(),113)ASRDATE") {
    return "SELECT to_char(clock_timestamp(), 'DD Mon YYYY HH24:MI:SS:MS') AS \"Rdate\"";
  }
  if (key == "SELECTGETDATE()") {
    return "SELECT CAST(clock_timestamp() AS timestamp(3)) AS \"GetDate\"";
  }
  return std::string(sql);
}

std::optional<std::string> SingleTableOf(std::string_view sql) {
  const std::vector<Token> tokens = Tokenize(sql);
  if (tokens.empty() || !text::EqualsIgnoreCase(tokens[0].text, "SELECT")) return std::nullopt;
  size_t i = 1;
  while (i < tokens.size() && !text::EqualsIgnoreCase(tokens[i].text, "FROM")) ++i;
  if (++i >= tokens.size() || !tokens[i].word) return std::nullopt;
  // A name may be qualified: schema.table, [db].[dbo].[table].
  const size_t first = i;
  while (i + 2 < tokens.size() && tokens[i + 1].text == "." && tokens[i + 2].word) i += 2;
  const char* begin = tokens[first].text.data();
  const char* end = tokens[i].text.data() + tokens[i].text.size();
  ++i;
  // An alias may follow; a second table or a join makes the set read-only.
  for (; i < tokens.size(); ++i) {
    const std::string_view t = tokens[i].text;
    if (t == "," || text::EqualsIgnoreCase(t, "JOIN")) return std::nullopt;
    if (text::EqualsIgnoreCase(t, "WHERE") || text::EqualsIgnoreCase(t, "ORDER") ||
        text::EqualsIgnoreCase(t, "GROUP") || t == ";") {
      break;
    }
  }
  return std::string(begin, end);
}

std::string TableKey(std::string_view table) {
  std::string out;
  for (char c : table) {
    if (c != '[' && c != ']' && c != '"') out += text::AsciiUpper(c);
  }
  return out;
}

DbError DiagnosticsError(SQLSMALLINT handle_type, SQLHANDLE handle) {
  DbError error = EngineError(kOdbcCallFailed);
  // A driver that keeps adding records must not keep us here forever.
  constexpr SQLSMALLINT kMaxRecords = 1000;
  for (SQLSMALLINT i = 1; i <= kMaxRecords; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(handle_type, handle, i, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<size_t>(length) + 1);
      rc = SQLGetDiagRecW(handle_type, handle, i, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    ProviderError p;
    p.sql_state = FromWide(state, 5);
    const size_t used =
        std::min(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
    p.text = FromWide(message.data(), used);
    p.number = native;
    if (p.sql_state == "23505") p.number = kSqlServerPrimaryKey;
    if (error.fault == Fault::kNone) error.fault = FaultOf(p);
    error.providers.push_back(std::move(p));
  }
  return error;
}

DbError EngineError(int number) {
  DbError error;
  error.number = number;
  switch (number) {
    case kItemNotFound:
      error.description = "Item not found in this collection.";
      break;
    case kObjectInvalid:
      error.description = "Object invalid or no longer set.";
      break;
    case kReadOnly:
      error.description = "Cannot update. Database or object is read-only.";
      break;
    default:
      error.description = StandardErrorText(number);
      break;
  }
  return error;
}

}  // namespace talvenor::records::odbc
