#pragma once

// A fresh database-file target with the target schema, in a folder of this
// test process that is removed when the process ends.

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "records/database.h"
#include "records/sqlite/sqlite_database.h"
#include "records/target_schema.h"

namespace talvenor::records::testing {

inline std::unique_ptr<Database> FreshSqliteTarget() {
  struct Folder {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("talvenor-services-test-" + std::to_string(::getpid()));
    Folder() { std::filesystem::create_directories(path); }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static Folder folder;
  static int counter = 0;
  const std::string file = (folder.path / ("target-" + std::to_string(++counter) + ".db")).string();
  auto db = SqliteDatabase::Open(file, SqliteOpen::kCreate);
  if (!db || !CreateTargetSchema(**db, SqlDialect::kSqlite)) return nullptr;
  return std::move(*db);
}

}  // namespace talvenor::records::testing
