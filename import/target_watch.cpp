#include "import/target_watch.h"

#include <string>
#include <utility>

namespace talvenor::import {

namespace {

using FaultSlot = std::shared_ptr<std::optional<records::DbError>>;

template <class Result>
Result Watched(Result result, const FaultSlot& fault) {
  if (!result.has_value() && !fault->has_value() &&
      records::FaultOf(result.error()) != records::Fault::kNone) {
    *fault = result.error();
  }
  return result;
}

class WatchedRecordset final : public records::Recordset {
 public:
  WatchedRecordset(std::unique_ptr<records::Recordset> inner, FaultSlot fault)
      : inner_(std::move(inner)), fault_(std::move(fault)) {}

  bool Eof() const override { return inner_->Eof(); }
  records::DbResult<records::Value> Field(std::string_view name) const override {
    return inner_->Field(name);
  }
  records::DbResult<records::Value> Field(int index) const override { return inner_->Field(index); }
  records::DbResult<int> FieldSize(std::string_view name) const override {
    return inner_->FieldSize(name);
  }
  records::DbStatus AddNew() override { return Watched(inner_->AddNew(), fault_); }
  records::DbStatus SetField(std::string_view name, const records::Value& value) override {
    return inner_->SetField(name, value);
  }
  records::DbStatus Update() override { return Watched(inner_->Update(), fault_); }
  // A failure here leaves both undone and the caller saves the row alone,
  // where a fault is seen.
  bool UpdateTogetherWith(std::string_view sql) override { return inner_->UpdateTogetherWith(sql); }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<records::Recordset> inner_;
  FaultSlot fault_;
};

}  // namespace

records::DbResult<std::unique_ptr<records::Recordset>> TargetWatch::OpenRecordset(
    std::string_view sql_or_table, records::SetKind kind) {
  auto set = Watched(inner_.OpenRecordset(sql_or_table, kind), fault_);
  if (!set) return set;
  return std::unique_ptr<records::Recordset>(
      std::make_unique<WatchedRecordset>(std::move(*set), fault_));
}

records::DbStatus TargetWatch::PrepareToWrite() { return Watched(inner_.PrepareToWrite(), fault_); }

records::DbResult<records::QueryRows> TargetWatch::ReadRows(std::string_view sql) {
  return Watched(inner_.ReadRows(sql), fault_);
}

records::DbStatus TargetWatch::Execute(std::string_view sql) {
  return Watched(inner_.Execute(sql), fault_);
}

records::DbResult<bool> TargetWatch::LineDone() { return Watched(inner_.LineDone(), fault_); }

records::DbStatus TargetWatch::TakeTurns(records::TurnWaiter* waiter) {
  return Watched(inner_.TakeTurns(waiter), fault_);
}

records::DbStatus TargetWatch::Flush() { return Watched(inner_.Flush(), fault_); }

}  // namespace talvenor::import
