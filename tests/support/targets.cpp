#include "tests/support/targets.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "records/sqlite/sqlite_database.h"
#include "records/target_schema.h"

namespace talvenor::testing {
namespace {

using records::Database;
using records::OdbcDatabase;
using records::SqlDialect;
using records::SqliteDatabase;
using records::SqliteOpen;
using records::Value;

// The process's temp folder, removed at exit.
class TempFolder {
 public:
  TempFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("talvenor-test-" + std::to_string(::getpid()))) {
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

// A schema name no other test process uses at the same time.
std::string UniqueSchemaName() {
  static std::atomic<int> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return "t" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
         std::to_string(ticks % 1000000007);
}

// A fresh schema on the throwaway PostgreSQL cluster, dropped when closed.
std::unique_ptr<Database> FreshPostgres() {
  auto db = PgScratch::Open();
  if (!db) return nullptr;
  if (!CreateTargetSchema(*db, SqlDialect::kPostgres)) return nullptr;
  return db;
}

}  // namespace

std::string EngineName(EngineKind kind) {
  return kind == EngineKind::kSqlite ? "Sqlite" : "Postgres";
}

std::string PgConnectText() {
  const char* text = std::getenv("TALVENOR_PG_CONNECT");
  return text != nullptr ? text : "";
}

bool RequirePostgres() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

std::string TempPath(std::string_view name) {
  static TempFolder folder;
  static std::atomic<int> counter{0};
  return (folder.path() / (std::to_string(++counter) + "-" + std::string(name))).string();
}

std::filesystem::path TestFolder() {
  const std::filesystem::path folder =
      TempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::create_directories(folder);
  return folder;
}

std::string DataPath(std::string_view name) {
  const char* root = std::getenv("TALVENOR_TEST_DATA");
  // Run by hand, without ctest's environment: the data in the source tree.
  const std::filesystem::path base =
      root != nullptr ? std::filesystem::path(root)
                      : std::filesystem::path(TALVENOR_SOURCE_ROOT) / "tests" / "data";
  return (base / name).string();
}

std::string DataFile(std::string_view name) { return DataPath("import/" + std::string(name)); }

std::unique_ptr<Database> FreshSqliteTarget() {
  auto db = SqliteDatabase::Open(TempPath("target.db"), SqliteOpen::kCreate);
  if (!db || !CreateTargetSchema(**db, SqlDialect::kSqlite)) return nullptr;
  return std::move(*db);
}

std::unique_ptr<PgScratch> PgScratch::Open() {
  if (PgConnectText().empty()) {
    ADD_FAILURE() << "TALVENOR_PG_CONNECT is not set; run eval \"$(scripts/pg.sh start)\"";
    return nullptr;
  }
  auto db = OdbcDatabase::Open(PgConnectText());
  if (!db) {
    ADD_FAILURE() << "cannot open PostgreSQL: " << db.error().description << " "
                  << (db.error().providers.empty() ? "" : db.error().providers[0].text);
    return nullptr;
  }
  std::unique_ptr<PgScratch> s(new PgScratch(std::move(*db), UniqueSchemaName()));
  for (const std::string& sql :
       {"CREATE SCHEMA " + s->schema_, "SET search_path TO " + s->schema_}) {
    if (auto ok = s->db_.Execute(sql); !ok) {
      ADD_FAILURE() << sql << ": " << ok.error().description;
      return nullptr;
    }
  }
  return s;
}

void PgScratch::Close() {
  if (closed_) return;
  closed_ = true;
  (void)db_.Execute("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
  db_.Close();
}

std::vector<TestEngine> ContractEngines() {
  // Both always: which tests exist must not depend on the environment the
  // test list was made in. Without a cluster the PostgreSQL runs skip (fail
  // in CI) when they run.
  return {TestEngine{"Sqlite", FreshSqliteTarget, /*is_odbc=*/false},
          TestEngine{"Postgres", FreshPostgres, /*is_odbc=*/true}};
}

std::unique_ptr<TestTarget> TestTarget::Create(EngineKind kind, std::string& why) {
  if (kind == EngineKind::kSqlite) {
    const std::filesystem::path folder = TempPath("target");
    std::filesystem::create_directories(folder);
    std::unique_ptr<TestTarget> target(new TestTarget(kind, (folder / "target.db").string()));
    target->folder_ = folder.string();
    auto db = SqliteDatabase::Open(target->path_, SqliteOpen::kCreate);
    if (!db) {
      why = "cannot create " + target->path_ + ": " + db.error().description;
      return nullptr;
    }
    if (auto made = CreateTargetSchema(**db, SqlDialect::kSqlite); !made) {
      why = "cannot create the schema: " + made.error().description;
      return nullptr;
    }
    (*db)->Close();
    return target;
  }

  const std::string connect = PgConnectText();
  if (connect.empty()) {
    why = "TALVENOR_PG_CONNECT is not set (start the cluster with scripts/pg.sh)";
    return nullptr;
  }
  const std::string schema = UniqueSchemaName();
  {
    auto admin = OdbcDatabase::Open(connect);
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
  std::unique_ptr<TestTarget> target(
      new TestTarget(kind, connect + ";ConnSettings=SET search_path TO " + schema + ",public"));
  target->schema_ = schema;
  auto db = target->Open();
  if (!db) {
    why = "cannot open schema " + schema;
    return nullptr;
  }
  if (auto made = CreateTargetSchema(*db, SqlDialect::kPostgres); !made) {
    why = "cannot create the schema: " + made.error().description;
    return nullptr;
  }
  db->Close();
  return target;
}

TestTarget::~TestTarget() {
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  if (!schema_.empty()) {
    if (auto admin = OdbcDatabase::Open(PgConnectText())) {
      (void)(*admin)->Execute("DROP SCHEMA " + schema_ + " CASCADE");
      (*admin)->Close();
    }
  }
}

std::unique_ptr<Database> TestTarget::Open() const {
  if (kind_ == EngineKind::kSqlite) {
    auto db = SqliteDatabase::Open(path_, SqliteOpen::kExisting);
    if (!db) return nullptr;
    return std::move(*db);
  }
  auto db = OdbcDatabase::Open(path_);
  if (!db) return nullptr;
  return std::move(*db);
}

Value Scalar(Database& db, std::string_view sql) {
  auto set = db.OpenRecordset(sql);
  if (!set) {
    ADD_FAILURE() << sql << ": " << set.error().description;
    return Value::Null();
  }
  if ((*set)->Eof()) return Value::Null();
  auto value = (*set)->Field(0);
  (*set)->Close();
  if (!value) {
    ADD_FAILURE() << sql << ": " << value.error().description;
    return Value::Null();
  }
  return *value;
}

long long ScalarNumber(Database& db, std::string_view sql) {
  const Value v = Scalar(db, sql);
  if (v.IsNumber()) return static_cast<long long>(v.number());
  if (v.IsText()) {
    char* end = nullptr;
    const long long n = std::strtoll(v.text().c_str(), &end, 10);
    if (end != v.text().c_str() && *end == '\0') return n;
  }
  return -1;
}

std::string ScalarText(Database& db, std::string_view sql) {
  const Value v = Scalar(db, sql);
  return v.IsNull() || v.IsEmpty() ? "<null>" : v.ToText();
}

}  // namespace talvenor::testing
