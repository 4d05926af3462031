#pragma once

// A target that passes every call on to another one, for test doubles that
// change a few calls and leave the rest to a real engine.

#include <memory>
#include <string_view>
#include <utility>

#include "records/database.h"

namespace talvenor::testing {

class ForwardingDatabase : public records::Database {
 public:
  explicit ForwardingDatabase(std::unique_ptr<records::Database> inner)
      : inner_(std::move(inner)) {}

  records::DbResult<std::unique_ptr<records::Recordset>> OpenRecordset(
      std::string_view sql_or_table, records::SetKind kind = records::SetKind::kDynaset) override {
    return inner_->OpenRecordset(sql_or_table, kind);
  }
  records::DbStatus Execute(std::string_view sql) override { return inner_->Execute(sql); }
  records::SqlDialect Dialect() const override { return inner_->Dialect(); }
  records::KeyForm Keys() const override { return inner_->Keys(); }
  records::DbResult<bool> LineDone() override { return inner_->LineDone(); }
  records::DbStatus Flush() override { return inner_->Flush(); }
  records::DbStatus Rollback() override { return inner_->Rollback(); }
  bool CanUndoLines() const override { return inner_->CanUndoLines(); }
  records::DbStatus HoldAllWrites() override { return inner_->HoldAllWrites(); }
  records::DbStatus TakeTurns(records::TurnWaiter* waiter) override {
    return inner_->TakeTurns(waiter);
  }
  records::DbStatus BeginTransaction() override { return inner_->BeginTransaction(); }
  records::DbStatus PrepareToWrite() override { return inner_->PrepareToWrite(); }
  records::DbResult<records::QueryRows> ReadRows(std::string_view sql) override {
    return inner_->ReadRows(sql);
  }
  bool DeferWrites(bool on) override { return inner_->DeferWrites(on); }
  void Close() override { inner_->Close(); }

 protected:
  records::Database& inner() { return *inner_; }

 private:
  std::unique_ptr<records::Database> inner_;
};

// The same without the engine's blocks: every look-up and every row goes to
// the engine on its own, as on an engine that offers neither.
class WithoutBlocks : public ForwardingDatabase {
 public:
  using ForwardingDatabase::ForwardingDatabase;
  records::DbResult<records::QueryRows> ReadRows(std::string_view sql) override {
    return records::Database::ReadRows(sql);
  }
  bool DeferWrites(bool on) override { return records::Database::DeferWrites(on); }
};

}  // namespace talvenor::testing
