#pragma once

#include <optional>
#include <utility>

#include "records/db_error.h"

namespace talvenor::import {

// The error state of a routine that runs under the continue-on-error policy.
// Every data-access call is one step: Step() hands back what the call gave
// and, when it failed, keeps its error (the most recent failure wins) so that
// the routine simply goes on with its next step. A value whose step failed
// keeps what it held before, because the caller only assigns on success.
class StepErrors {
 public:
  // A step that yields a value: the value, or nothing when the step failed.
  template <class T>
  std::optional<T> Step(records::DbResult<T> result) {
    if (result.has_value()) return std::move(*result);
    Keep(std::move(result.error()));
    return std::nullopt;
  }

  // A step without a value: true when it succeeded.
  bool Step(records::DbStatus status) {
    if (status.has_value()) return true;
    Keep(std::move(status.error()));
    return false;
  }

  // A test that guards later steps. A test whose step failed counts as
  // passed, so the guarded steps run.
  bool Test(records::DbResult<bool> condition) { return Step(std::move(condition)).value_or(true); }

  // The most recent failure, if any step failed since the last Clear().
  const std::optional<records::DbError>& last() const { return last_; }
  void Clear() { last_.reset(); }

 private:
  void Keep(records::DbError error) { last_ = std::move(error); }

  std::optional<records::DbError> last_;
};

}  // namespace talvenor::import
