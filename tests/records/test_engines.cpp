#include "tests/records/test_engines.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "records/sqlite/sqlite_database.h"
#include "records/target_schema.h"
#include "tests/records/pg_test_env.h"

namespace talvenor::records::testing {
namespace {

// The process's temp folder, removed at exit.
class TempFolder {
 public:
  TempFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("talvenor-records-test-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::unique_ptr<Database> FreshSqlite() {
  auto db = SqliteDatabase::Open(TempPath("contract.db"), SqliteOpen::kCreate);
  if (!db) return nullptr;
  if (!CreateTargetSchema(**db, SqlDialect::kSqlite)) return nullptr;
  return std::move(*db);
}

// A fresh schema on the throwaway PostgreSQL cluster, dropped when closed.
std::unique_ptr<Database> FreshPostgres() {
  auto db = PgScratch::Open();
  if (!db) return nullptr;
  if (!CreateTargetSchema(*db, SqlDialect::kPostgres)) return nullptr;
  return db;
}

}  // namespace

std::string TempPath(std::string_view name) {
  static TempFolder folder;
  static int counter = 0;
  return (folder.path() / (std::to_string(++counter) + "-" + std::string(name))).string();
}

std::vector<TestEngine> ContractEngines() {
  // Both always: which tests exist must not depend on the environment the
  // test list was made in. Without a cluster the PostgreSQL runs skip (fail
  // in CI) when they run.
  return {TestEngine{"Sqlite", FreshSqlite, /*is_odbc=*/false},
          TestEngine{"Postgres", FreshPostgres, /*is_odbc=*/true}};
}

}  // namespace talvenor::records::testing
