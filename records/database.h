#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "records/db_error.h"
#include "records/read_rows.h"
#include "records/value.h"

namespace talvenor::records {

// The SQL an engine speaks. A database file speaks the Jet-style dialect
// ("*" as the LIKE wildcard, Date()+Time(), tables opened by name) and tells
// the time by the host's clock; a server speaks its own and is asked for the
// time with getdate().
enum class SqlDialect { kSqlite, kPostgres, kSqlServer };

// Where the key of a new row comes from: the engine numbers it (an
// AutoNumber, or a GUID the writer makes), or the writer makes a number from
// the server's clock, which two writers in the same millisecond can both
// make: a save that meets a taken key moves on to the next number.
enum class KeyForm { kEngineOrGuid, kServerClockNumber };

// How a recordset is opened: a dynaset of an SQL text, or a table by name.
enum class SetKind { kTable = 1, kDynaset = 2 };

// A recordset: the rows of a query (read with Eof and Field, no other
// navigation), and at the same time a place to add one row at a time
// (AddNew, SetField, Update). Every call that can fail returns its error.
class Recordset {
 public:
  virtual ~Recordset() = default;

  // True when the set has no current row.
  virtual bool Eof() const = 0;
  // The value of a field of the current row (a Null column gives Null). While a
  // row is being added, the value set for it (an AutoNumber key on a database
  // file is readable right after AddNew).
  virtual DbResult<Value> Field(std::string_view name) const = 0;
  virtual DbResult<Value> Field(int index) const = 0;
  // The defined length of a text field, in characters (0 for other types).
  virtual DbResult<int> FieldSize(std::string_view name) const = 0;

  // Starts a new row; fields not set stay Null (or their default).
  virtual DbStatus AddNew() = 0;
  virtual DbStatus SetField(std::string_view name, const Value& value) = 0;
  // Stores the row being added. Without AddNew: error 3020. A duplicate value:
  // 3022 on a database file, 3146 with the provider's 2627/2601 on a server.
  virtual DbStatus Update() = 0;
  // Stores the row being added and runs `sql` after it in one exchange with
  // the engine, all or nothing. True when both took effect; false when
  // neither did (the engine cannot send them together, or one of them
  // failed): the caller then stores the row with Update and runs `sql` on its
  // own, and learns from those what failed.
  virtual bool UpdateTogetherWith(std::string_view sql) {
    (void)sql;
    return false;
  }

  virtual void Close() = 0;
};

// Hears of an engine's wait for another import's lock on the same target.
class TurnWaiter {
 public:
  virtual ~TurnWaiter() = default;
  // Called about twice a second while the wait lasts, with the seconds
  // waited so far. False ends the wait at once (the run is being stopped).
  virtual bool Waiting(double seconds) = 0;
};

// An open target database: the one place that talks to a database engine.
class Database {
 public:
  virtual ~Database() = default;

  virtual DbResult<std::unique_ptr<Recordset>> OpenRecordset(std::string_view sql_or_table,
                                                             SetKind kind = SetKind::kDynaset) = 0;
  virtual DbStatus Execute(std::string_view sql) = 0;

  // The SQL this engine speaks.
  virtual SqlDialect Dialect() const = 0;
  // How the keys of new rows are made on this engine.
  virtual KeyForm Keys() const = 0;

  // A data line's writes are complete. An engine that groups writes into
  // transactions may commit here (and only here), so that a killed run leaves
  // whole data lines only. True when every line done so far is committed (an
  // engine that writes every statement on its own always says true); false
  // while lines wait in the open transaction. An error when the commit failed,
  // or when an earlier failure undid the open transaction: the lines since the
  // last commit are then not stored, and the engine refuses further writes
  // until Rollback.
  virtual DbResult<bool> LineDone() = 0;
  // Commits whatever is pending. Called at the end of a run and by Close.
  virtual DbStatus Flush() = 0;
  // Undoes every write since the last commit, and takes writes again after a
  // failure that undid the open transaction. Does nothing where every
  // statement commits on its own (see CanUndoLines).
  virtual DbStatus Rollback() = 0;
  // True when the writes since the last commit can still be undone by
  // Rollback; false where they took effect statement by statement.
  virtual bool CanUndoLines() const = 0;
  // From now on nothing is committed: LineDone (which then says true) and
  // Flush leave every write in one open transaction, which Rollback, or Close,
  // undoes. For a dry run. An engine that cannot hold its writes so says.
  virtual DbStatus HoldAllWrites() = 0;
  // Called once before an import's first write. From then on a server
  // engine starts every transaction by taking the target's import lock and
  // holds it to the commit, so that imports at once into one target take
  // turns group by group and each group's look-ups see the rows of the
  // groups before it. A lock not had within kTurnWaitSeconds fails the
  // statement with a kLocked fault; `waiter` (may be null) hears of the wait
  // and may end it, which fails the statement with a kStopped fault. Does
  // nothing where the engine's own locking makes writers take turns.
  virtual DbStatus TakeTurns(TurnWaiter* waiter) {
    (void)waiter;
    return {};
  }

  // Commits whatever is pending, then holds every later write in one
  // transaction until Flush commits it or Rollback undoes it: for work that
  // must land whole or not at all. LineDone must not be called inside it.
  virtual DbStatus BeginTransaction() = 0;

  // Runs a query written in the engine's own dialect (Dialect(), sent as it
  // is) and returns every row of its result. An engine that does not offer
  // it fails every call; callers then read through OpenRecordset.
  virtual DbResult<QueryRows> ReadRows(std::string_view sql) {
    (void)sql;
    DbError e;
    e.description = "this engine reads no rows in one piece";
    return std::unexpected(std::move(e));
  }

  // With `on`, an engine that can keeps its new rows back (a row added
  // through a Recordset, an "INSERT INTO T (...) VALUES (...)" given to
  // Execute) and sends them together, as few multi-row INSERTs, before any
  // other statement and before its commit. Each such call then succeeds at
  // once; a row the engine refuses makes the sending statement fail, and
  // every statement after it, the commit included, until Rollback. Only
  // where Rollback can undo the writes since the last commit
  // (CanUndoLines). True when the rows are kept back from now on; false where
  // every statement goes to the engine at once (as it does with `on` false).
  virtual bool DeferWrites(bool on) {
    (void)on;
    return false;
  }

  // The target was accepted for work that writes (its tables are there and
  // this is no dry run): the engine sets itself up for many writes. Nothing
  // before this call (opening, reading, a rolled-back transaction) leaves a
  // change in the target. An engine with nothing to set up does nothing.
  virtual DbStatus PrepareToWrite() { return {}; }

  virtual void Close() = 0;
};

}  // namespace talvenor::records
