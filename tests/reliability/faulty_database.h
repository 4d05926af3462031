#pragma once

// A target database that fails one chosen statement: a wrapper around a real
// engine that counts every statement sent through it (a query opened, a
// statement executed, a row stored with Update) and answers the chosen one
// with a chosen error, without passing it on. Everything else reaches the
// engine unchanged, so the rows that are stored are the engine's own.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "records/database.h"
#include "records/db_error.h"
#include "tests/support/forwarding_database.h"

namespace talvenor::reliability {

enum class StatementKind { kQuery, kExecute, kUpdate };

inline std::string_view KindName(StatementKind kind) {
  switch (kind) {
    case StatementKind::kQuery:
      return "query";
    case StatementKind::kExecute:
      return "execute";
    case StatementKind::kUpdate:
      return "update";
  }
  return "";
}

// Which statement fails: the `fail_at`-th (from 1) of all statements, or of
// the Updates only. 0 fails none (the run then only counts). A lasting fault
// fails every statement from the chosen one on, as a connection that is gone.
struct FaultPlan {
  bool updates_only = false;
  long fail_at = 0;
  records::DbError error;
  bool lasting = false;
  // The `fail_line_done`-th LineDone (from 1) fails with `error` as a commit
  // would, its lines left in the engine's open transaction; 0 fails none.
  long fail_line_done = 0;
};

// What the wrapper saw: how many statements were counted, and the one failed.
struct FaultLog {
  struct Failed {
    long number = 0;
    StatementKind kind = StatementKind::kQuery;
    std::string text;  // the SQL text, or for an Update the text its set was opened on
  };
  long counted = 0;
  std::optional<Failed> failed;
};

namespace detail {

// The counting shared by a database and the sets opened through it.
class FaultState {
 public:
  FaultState(FaultPlan plan, FaultLog& log) : plan_(std::move(plan)), log_(log) {}

  // The error when this statement is the chosen one.
  std::optional<records::DbError> Next(StatementKind kind, std::string_view text) {
    if (plan_.updates_only && kind != StatementKind::kUpdate) return std::nullopt;
    ++log_.counted;
    if (plan_.lasting && log_.failed) return plan_.error;
    if (log_.counted != plan_.fail_at) return std::nullopt;
    log_.failed = FaultLog::Failed{log_.counted, kind, std::string(text)};
    return plan_.error;
  }
  std::optional<records::DbError> NextLineDone() {
    if (++line_dones_ != plan_.fail_line_done) return std::nullopt;
    return plan_.error;
  }

 private:
  FaultPlan plan_;
  FaultLog& log_;
  long line_dones_ = 0;
};

class FaultyRecordset final : public records::Recordset {
 public:
  FaultyRecordset(std::unique_ptr<records::Recordset> inner, std::shared_ptr<FaultState> state,
                  std::string source)
      : inner_(std::move(inner)), state_(std::move(state)), source_(std::move(source)) {}

  bool Eof() const override { return inner_->Eof(); }
  records::DbResult<records::Value> Field(std::string_view name) const override {
    return inner_->Field(name);
  }
  records::DbResult<records::Value> Field(int index) const override { return inner_->Field(index); }
  records::DbResult<int> FieldSize(std::string_view name) const override {
    return inner_->FieldSize(name);
  }
  records::DbStatus AddNew() override { return inner_->AddNew(); }
  records::DbStatus SetField(std::string_view name, const records::Value& value) override {
    return inner_->SetField(name, value);
  }
  records::DbStatus Update() override {
    if (auto error = state_->Next(StatementKind::kUpdate, source_)) {
      return std::unexpected(std::move(*error));
    }
    return inner_->Update();
  }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<records::Recordset> inner_;
  std::shared_ptr<FaultState> state_;
  std::string source_;
};

}  // namespace detail

// Passes no blocks on: every statement of a run goes through the plan.
class FaultyDatabase final : public talvenor::testing::WithoutBlocks {
 public:
  FaultyDatabase(std::unique_ptr<records::Database> inner, FaultPlan plan, FaultLog& log)
      : WithoutBlocks(std::move(inner)),
        state_(std::make_shared<detail::FaultState>(std::move(plan), log)) {}

  records::DbResult<std::unique_ptr<records::Recordset>> OpenRecordset(
      std::string_view sql_or_table, records::SetKind kind) override {
    if (auto error = state_->Next(StatementKind::kQuery, sql_or_table)) {
      return std::unexpected(std::move(*error));
    }
    auto set = inner().OpenRecordset(sql_or_table, kind);
    if (!set) return std::unexpected(std::move(set.error()));
    return std::unique_ptr<records::Recordset>(std::make_unique<detail::FaultyRecordset>(
        std::move(*set), state_, std::string(sql_or_table)));
  }
  records::DbStatus Execute(std::string_view sql) override {
    if (auto error = state_->Next(StatementKind::kExecute, sql)) {
      return std::unexpected(std::move(*error));
    }
    return inner().Execute(sql);
  }
  records::DbResult<bool> LineDone() override {
    if (auto error = state_->NextLineDone()) return std::unexpected(std::move(*error));
    return inner().LineDone();
  }
  // The target's own setting up for writes is left out, as before.
  records::DbStatus PrepareToWrite() override { return {}; }

 private:
  std::shared_ptr<detail::FaultState> state_;
};

}  // namespace talvenor::reliability
