#pragma once

// The throwaway PostgreSQL cluster of scripts/pg.sh as the tests reach it: its
// connection text comes from TALVENOR_PG_CONNECT. Without it a test skips,
// except in CI (CI=true), where a missing server is a failure.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "records/odbc/odbc_database.h"

namespace talvenor::records::testing {

inline std::string PgConnectText() {
  const char* text = std::getenv("TALVENOR_PG_CONNECT");
  return text != nullptr ? text : "";
}

inline bool PgRequired() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

// Ends the current test when no server is configured: a skip locally, a
// failure in CI. Use in a test body or SetUp.
#define TALVENOR_REQUIRE_PG()                                                            \
  do {                                                                                   \
    if (::talvenor::records::testing::PgConnectText().empty()) {                         \
      if (::talvenor::records::testing::PgRequired()) {                                  \
        FAIL() << "TALVENOR_PG_CONNECT is not set; run eval \"$(scripts/pg.sh start)\""; \
      }                                                                                  \
      GTEST_SKIP() << "no PostgreSQL: TALVENOR_PG_CONNECT is not set";                   \
    }                                                                                    \
  } while (0)

// A name no other test process uses at the same time.
inline std::string UniqueSchemaName() {
  static std::atomic<int> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return "t" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
         std::to_string(ticks % 1000000007);
}

// A connection whose statements land in a schema of its own, dropped with
// everything in it when the database is closed. Usable wherever a Database is.
class PgScratch final : public Database {
 public:
  // Nothing (and a test failure) when the server cannot be reached.
  static std::unique_ptr<PgScratch> Open() {
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
      if (auto ok = s->db_->Execute(sql); !ok) {
        ADD_FAILURE() << sql << ": " << ok.error().description;
        return nullptr;
      }
    }
    return s;
  }
  ~PgScratch() override { Close(); }

  OdbcDatabase& db() { return *db_; }
  const std::string& schema() const { return schema_; }

  DbResult<std::unique_ptr<Recordset>> OpenRecordset(std::string_view sql_or_table,
                                                     SetKind kind = SetKind::kDynaset) override {
    return db_->OpenRecordset(sql_or_table, kind);
  }
  DbStatus Execute(std::string_view sql) override { return db_->Execute(sql); }
  DbResult<bool> LineDone() override { return db_->LineDone(); }
  DbStatus Flush() override { return db_->Flush(); }
  DbStatus Rollback() override { return db_->Rollback(); }
  bool CanUndoLines() const override { return db_->CanUndoLines(); }
  SqlDialect Dialect() const override { return db_->Dialect(); }
  KeyForm Keys() const override { return db_->Keys(); }
  DbStatus HoldAllWrites() override { return db_->HoldAllWrites(); }
  DbStatus BeginTransaction() override { return db_->BeginTransaction(); }
  DbStatus TakeTurns(TurnWaiter* waiter) override { return db_->TakeTurns(waiter); }
  void Close() override {
    if (closed_) return;
    closed_ = true;
    (void)db_->Execute("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
    db_->Close();
  }

 private:
  PgScratch(std::unique_ptr<OdbcDatabase> db, std::string schema)
      : db_(std::move(db)), schema_(std::move(schema)) {}

  std::unique_ptr<OdbcDatabase> db_;
  std::string schema_;
  bool closed_ = false;
};

}  // namespace talvenor::records::testing
