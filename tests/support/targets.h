#pragma once

// Fresh targets of each engine, each with the target schema created, and the
// paths of the tests' data files. An SQLite target is a file in a folder of
// this test process, removed when the process ends. A PostgreSQL target is a
// schema of its own in the throwaway cluster of scripts/pg.sh, reached through
// TALVENOR_PG_CONNECT; without it a test skips, except in CI (CI=true), where
// a missing server is a failure.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "records/database.h"
#include "records/odbc/odbc_database.h"
#include "records/target_address.h"
#include "records/value.h"
#include "tests/support/forwarding_database.h"

namespace talvenor::testing {

enum class EngineKind { kSqlite, kPostgres };

std::string EngineName(EngineKind kind);

// The cluster's connection text; empty when none is configured.
std::string PgConnectText();

// True when a missing PostgreSQL must fail the test rather than skip it.
bool RequirePostgres();

// Ends the current test when no server is configured: a skip locally, a
// failure in CI. Use in a test body or SetUp.
#define TALVENOR_REQUIRE_PG()                                                            \
  do {                                                                                   \
    if (::talvenor::testing::PgConnectText().empty()) {                                  \
      if (::talvenor::testing::RequirePostgres()) {                                      \
        FAIL() << "TALVENOR_PG_CONNECT is not set; run eval \"$(scripts/pg.sh start)\""; \
      }                                                                                  \
      GTEST_SKIP() << "no PostgreSQL: TALVENOR_PG_CONNECT is not set";                   \
    }                                                                                    \
  } while (0)

// A new path for a file named `name` inside a folder of this test process
// that is removed when the process ends.
std::string TempPath(std::string_view name);

// A new empty folder for the current test inside that folder.
std::filesystem::path TestFolder();

// The path of a file under tests/data/, and of one under tests/data/import/.
std::string DataPath(std::string_view name);
std::string DataFile(std::string_view name);

// A fresh database file with the target schema; null when none can be made.
std::unique_ptr<records::Database> FreshSqliteTarget();

// A connection whose statements land in a schema of its own, dropped with
// everything in it when the database is closed. Usable wherever a Database is.
class PgScratch final : public ForwardingDatabase {
 public:
  // Nothing (and a test failure) when the server cannot be reached.
  static std::unique_ptr<PgScratch> Open();
  ~PgScratch() override { Close(); }

  records::OdbcDatabase& db() { return db_; }
  const std::string& schema() const { return schema_; }
  void Close() override;

 private:
  PgScratch(std::unique_ptr<records::OdbcDatabase> db, std::string schema)
      : ForwardingDatabase(std::move(db)),
        db_(static_cast<records::OdbcDatabase&>(inner())),
        schema_(std::move(schema)) {}

  records::OdbcDatabase& db_;
  std::string schema_;
  bool closed_ = false;
};

// The engines the data-access contract runs against, each opening a fresh
// target on one connection.
struct TestEngine {
  std::string name;
  std::function<std::unique_ptr<records::Database>()> open_fresh;
  bool is_odbc = false;
};

inline void PrintTo(const TestEngine& engine, std::ostream* out) { *out << engine.name; }

std::vector<TestEngine> ContractEngines();

// A fresh target named by its path, for runs that open their own connections.
class TestTarget {
 public:
  // A fresh target of `kind`. Null when the engine is not available; `why`
  // then says why (the test skips, or fails in CI).
  static std::unique_ptr<TestTarget> Create(EngineKind kind, std::string& why);
  ~TestTarget();

  // The TargetPath of an import run into this target.
  const std::string& path() const { return path_; }
  bool is_odbc() const { return kind_ == EngineKind::kPostgres; }
  records::TargetAddress address() const {
    return {path_, is_odbc() ? records::TargetKind::kOdbc : records::TargetKind::kDatabaseFile};
  }
  EngineKind kind() const { return kind_; }

  // A new connection to look at what was written (or to change the schema).
  std::unique_ptr<records::Database> Open() const;

 private:
  TestTarget(EngineKind kind, std::string path) : kind_(kind), path_(std::move(path)) {}

  EngineKind kind_;
  std::string path_;
  std::string folder_;  // SQLite: the target's own folder
  std::string schema_;  // PostgreSQL: the test's own schema
};

// Sets `target` to a fresh TestTarget of `kind`, or ends the current test: a
// failure for SQLite or in CI, a skip for a missing PostgreSQL elsewhere. Use
// in a test body or SetUp.
#define TALVENOR_FRESH_TARGET(target, kind)                                    \
  do {                                                                         \
    const ::talvenor::testing::EngineKind fresh_kind = (kind);                 \
    std::string fresh_why;                                                     \
    (target) = ::talvenor::testing::TestTarget::Create(fresh_kind, fresh_why); \
    if ((target) != nullptr) break;                                            \
    if (fresh_kind == ::talvenor::testing::EngineKind::kSqlite ||              \
        ::talvenor::testing::RequirePostgres()) {                              \
      FAIL() << fresh_why;                                                     \
    }                                                                          \
    GTEST_SKIP() << fresh_why;                                                 \
  } while (0)

// The first field of the first row of `sql`; Null when the query finds no row
// or fails (the failure is reported as a test failure).
records::Value Scalar(records::Database& db, std::string_view sql);
// Scalar as a whole number (COUNT(*) and keys); -1 when it is not a number.
long long ScalarNumber(records::Database& db, std::string_view sql);
// Scalar as text (a number in plain decimal); "<null>" for Null.
std::string ScalarText(records::Database& db, std::string_view sql);

}  // namespace talvenor::testing
