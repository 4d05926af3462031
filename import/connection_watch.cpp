#include "import/connection_watch.h"

#include <string>
#include <utility>

namespace talvenor::import {

namespace {

using LostError = std::shared_ptr<std::optional<records::DbError>>;

template <class Result>
Result Watched(Result result, const LostError& lost) {
  if (!result.has_value() && !lost->has_value() && IsConnectionLost(result.error())) {
    *lost = result.error();
  }
  return result;
}

class WatchedRecordset final : public records::Recordset {
 public:
  WatchedRecordset(std::unique_ptr<records::Recordset> inner, LostError lost)
      : inner_(std::move(inner)), lost_(std::move(lost)) {}

  bool Eof() const override { return inner_->Eof(); }
  records::DbResult<records::Value> Field(std::string_view name) const override {
    return inner_->Field(name);
  }
  records::DbResult<records::Value> Field(int index) const override { return inner_->Field(index); }
  records::DbResult<int> FieldSize(std::string_view name) const override {
    return inner_->FieldSize(name);
  }
  records::DbStatus AddNew() override { return Watched(inner_->AddNew(), lost_); }
  records::DbStatus SetField(std::string_view name, const records::Value& value) override {
    return inner_->SetField(name, value);
  }
  records::DbStatus Update() override { return Watched(inner_->Update(), lost_); }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<records::Recordset> inner_;
  LostError lost_;
};

}  // namespace

bool IsConnectionLost(const records::DbError& error) {
  for (const records::ProviderError& p : error.providers) {
    const std::string_view state = p.sql_state;
    if (state.starts_with("08") || state == "57P01" || state == "57P02" || state == "57P03") {
      return true;
    }
  }
  return false;
}

records::DbResult<std::unique_ptr<records::Recordset>> ConnectionWatch::OpenRecordset(
    std::string_view sql_or_table, records::SetKind kind) {
  auto set = Watched(inner_.OpenRecordset(sql_or_table, kind), lost_);
  if (!set) return set;
  return std::unique_ptr<records::Recordset>(
      std::make_unique<WatchedRecordset>(std::move(*set), lost_));
}

records::DbStatus ConnectionWatch::Execute(std::string_view sql) {
  return Watched(inner_.Execute(sql), lost_);
}

records::DbStatus ConnectionWatch::LineDone() { return Watched(inner_.LineDone(), lost_); }

records::DbStatus ConnectionWatch::Flush() { return Watched(inner_.Flush(), lost_); }

records::DbStatus ConnectionWatch::BeginTransaction() {
  return Watched(inner_.BeginTransaction(), lost_);
}

records::DbStatus ConnectionWatch::Rollback() { return Watched(inner_.Rollback(), lost_); }

}  // namespace talvenor::import
