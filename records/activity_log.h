#pragma once

#include <string>
#include <string_view>

#include "records/record_kind.h"
#include "records/target.h"
#include "records/value.h"

namespace talvenor::records {

// For a record whose INSERT already set its Last_Activity (at `stamped_at`):
// the activity memo carries that time too, and no UPDATE is made (one statement less per
// record; what is stored is the same). `then_sql` (the record's batch
// membership) is sent with the activity row in one exchange where the engine
// can do that all or nothing; `then_done` then says it took effect. When it
// is false the caller runs `then_sql` itself.
struct NewRecordActivity {
  double stamped_at = 0;
  std::string_view then_sql;
  bool then_done = false;
};

// Writes one activity row for a record of `kind` just created (key, date
// text, memo text, activity type), stamped "memo (ddd mmm-d 'yy h:nna/p/TALVENOR)",
// and sets the record's Last_Activity; with `record`, see NewRecordActivity.
// Failures are skipped step by step. Returns what could not be written
// ("Company_Activity row not stored", "Last_Activity not set: ..." joined with
// "; "), empty when everything was: a failed save is shown to the operator, a
// failed Last_Activity is not, and the caller lists either with its data line.
std::string AddActivity(Target& target, RecordKind kind, const Value& key, std::string_view date,
                        std::string_view memo, std::string_view type,
                        NewRecordActivity* record = nullptr);

}  // namespace talvenor::records
