#pragma once

#include <string>
#include <string_view>

#include "records/target.h"
#include "records/value.h"

namespace talvenor::records {

// Each writes one activity row for a record just created (key, date text, memo
// text, activity type), stamped "memo (ddd mmm-d 'yy h:nna/p/TALVENOR)", and
// sets the record's Last_Activity. Failures are skipped step by step. Returns
// what could not be written ("Company_Activity row not stored", "Last_Activity
// not set: ..." joined with "; "), empty when everything was: a failed save is
// shown to the operator, a failed Last_Activity is not, and the caller lists
// either with its data line.
std::string AddCompanyActivity(Target& target, const Value& key, std::string_view date,
                               std::string_view memo, std::string_view type);
std::string AddCandidateActivity(Target& target, const Value& key, std::string_view date,
                                 std::string_view memo, std::string_view type);
std::string AddPositionActivity(Target& target, const Value& key, std::string_view date,
                                std::string_view memo, std::string_view type);

// The same for a record whose INSERT already set its Last_Activity: the memo
// carries that time too, and no UPDATE is made (one statement less per
// record; what is stored is the same). `then_sql` (the record's batch
// membership) is sent with the activity row in one exchange where the engine
// can do that all or nothing; `then_done` then says it took effect. When it
// is false the caller runs `then_sql` itself.
struct NewRecordActivity {
  double stamped_at = 0;
  std::string_view then_sql;
  bool then_done = false;
};
std::string AddCompanyActivity(Target& target, const Value& key, std::string_view date,
                               std::string_view memo, std::string_view type,
                               NewRecordActivity& record);
std::string AddCandidateActivity(Target& target, const Value& key, std::string_view date,
                                 std::string_view memo, std::string_view type,
                                 NewRecordActivity& record);
std::string AddPositionActivity(Target& target, const Value& key, std::string_view date,
                                std::string_view memo, std::string_view type,
                                NewRecordActivity& record);

}  // namespace talvenor::records
