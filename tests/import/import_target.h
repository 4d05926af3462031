#pragma once

// Fresh targets for the import tests: an SQLite file in a temporary folder, or
// a schema of its own in the throwaway PostgreSQL cluster (reached through
// TALVENOR_PG_CONNECT), each with the target schema created.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "records/database.h"
#include "records/odbc/odbc_database.h"
#include "records/sqlite/sqlite_database.h"
#include "records/target_address.h"
#include "records/target_schema.h"
#include "records/value.h"

namespace talvenor::import::testing {

enum class EngineKind { kSqlite, kPostgres };

std::string EngineName(EngineKind kind);

class TestTarget {
 public:
  // A fresh target of `kind` with the target schema. Null when the engine is
  // not available; `why` then says why (the test skips, or fails in CI).
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
  std::string folder_;  // SQLite: the temporary folder
  std::string schema_;  // PostgreSQL: the test's own schema
};

// True when a missing PostgreSQL must fail the test rather than skip it.
bool RequirePostgres();

// The first field of the first row of `sql`; Null when the query finds no row
// or fails (the failure is reported as a test failure).
records::Value Scalar(records::Database& db, std::string_view sql);
// Scalar as a whole number (COUNT(*) and keys); -1 when it is not a number.
long long ScalarNumber(records::Database& db, std::string_view sql);
// Scalar as text (a number in plain decimal); "<null>" for Null.
std::string ScalarText(records::Database& db, std::string_view sql);

// The path of a file under tests/data/import/.
std::string DataFile(std::string_view name);

// Definitions (header only, so that every test binary can use them).
namespace detail {

inline std::string UniqueSuffix() {
  static std::atomic<int> counter{0};
  std::random_device random;
  return std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" +
         std::to_string(random() % 100000);
}

inline const char* PgConnect() {
  const char* connect = std::getenv("TALVENOR_PG_CONNECT");
  return connect != nullptr && *connect != '\0' ? connect : nullptr;
}

}  // namespace detail

inline std::string EngineName(EngineKind kind) {
  return kind == EngineKind::kSqlite ? "Sqlite" : "Postgres";
}

inline bool RequirePostgres() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

inline std::unique_ptr<TestTarget> TestTarget::Create(EngineKind kind, std::string& why) {
  if (kind == EngineKind::kSqlite) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("talvenor-import-test-" + detail::UniqueSuffix());
    std::filesystem::create_directories(folder);
    std::unique_ptr<TestTarget> target(new TestTarget(kind, (folder / "target.db").string()));
    target->folder_ = folder.string();
    auto db = records::SqliteDatabase::Open(target->path_, records::SqliteOpen::kCreate);
    if (!db) {
      why = "cannot create " + target->path_ + ": " + db.error().description;
      return nullptr;
    }
    if (auto made = records::CreateTargetSchema(**db, records::SqlDialect::kSqlite); !made) {
      why = "cannot create the schema: " + made.error().description;
      return nullptr;
    }
    (*db)->Close();
    return target;
  }

  const char* connect = detail::PgConnect();
  if (connect == nullptr) {
    why = "TALVENOR_PG_CONNECT is not set (start the cluster with scripts/pg.sh)";
    return nullptr;
  }
  const std::string schema = "import_test_" + detail::UniqueSuffix();
  {
    auto admin = records::OdbcDatabase::Open(connect);
    if (!admin) {
      why = "cannot connect to PostgreSQL: " + admin.error().description;
      return nullptr;
    }
    if (auto made = (*admin)->Execute("CREATE SCHEMA " + schema); !made) {
      why = "cannot create schema " + schema + ": " + made.error().description;
      return nullptr;
    }
    (*admin)->Close();
  }
  // Every connection of the run works in the test's own schema (citext lives
  // in public).
  std::unique_ptr<TestTarget> target(new TestTarget(
      kind, std::string(connect) + ";ConnSettings=SET search_path TO " + schema + ",public"));
  target->schema_ = schema;
  auto db = target->Open();
  if (!db) {
    why = "cannot open schema " + schema;
    return nullptr;
  }
  if (auto made = records::CreateTargetSchema(*db, records::SqlDialect::kPostgres); !made) {
    why = "cannot create the schema: " + made.error().description;
    return nullptr;
  }
  db->Close();
  return target;
}

inline TestTarget::~TestTarget() {
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  if (!schema_.empty()) {
    if (const char* connect = detail::PgConnect()) {
      if (auto admin = records::OdbcDatabase::Open(connect)) {
        (void)(*admin)->Execute("DROP SCHEMA " + schema_ + " CASCADE");
        (*admin)->Close();
      }
    }
  }
}

inline std::unique_ptr<records::Database> TestTarget::Open() const {
  if (kind_ == EngineKind::kSqlite) {
    auto db = records::SqliteDatabase::Open(path_, records::SqliteOpen::kExisting);
    if (!db) return nullptr;
    return std::move(*db);
  }
  auto db = records::OdbcDatabase::Open(path_);
  if (!db) return nullptr;
  return std::move(*db);
}

inline records::Value Scalar(records::Database& db, std::string_view sql) {
  auto set = db.OpenRecordset(sql);
  if (!set) {
    ADD_FAILURE() << sql << ": " << set.error().description;
    return records::Value::Null();
  }
  if ((*set)->Eof()) return records::Value::Null();
  auto value = (*set)->Field(0);
  (*set)->Close();
  if (!value) {
    ADD_FAILURE() << sql << ": " << value.error().description;
    return records::Value::Null();
  }
  return *value;
}

inline long long ScalarNumber(records::Database& db, std::string_view sql) {
  const records::Value v = Scalar(db, sql);
  if (v.IsNumber()) return static_cast<long long>(v.number());
  if (v.IsText()) {
    char* end = nullptr;
    const long long n = std::strtoll(v.text().c_str(), &end, 10);
    if (end != v.text().c_str() && *end == '\0') return n;
  }
  return -1;
}

inline std::string ScalarText(records::Database& db, std::string_view sql) {
  const records::Value v = Scalar(db, sql);
  return v.IsNull() || v.IsEmpty() ? "<null>" : v.ToText();
}

inline std::string DataFile(std::string_view name) {
  const char* root = std::getenv("TALVENOR_TEST_DATA");
  // Run by hand, without ctest's environment: the data beside this file.
  const std::filesystem::path base =
      root != nullptr ? std::filesystem::path(root)
                      : std::filesystem::path(TALVENOR_SOURCE_ROOT) / "tests" / "data";
  return (base / "import" / name).string();
}

}  // namespace talvenor::import::testing
