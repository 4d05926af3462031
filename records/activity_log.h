#pragma once

#include <string_view>

#include "records/target.h"
#include "records/value.h"

namespace talvenor::records {

// Each writes one activity row for a record just created (key, date text, memo
// text, activity type), stamped "memo (ddd mmm-d 'yy h:nna/p/TALVENOR)", and
// sets the record's Last_Activity. Failures are skipped step by step.
void AddCompanyActivity(Target& target, const Value& key, std::string_view date,
                        std::string_view memo, std::string_view type);
void AddCandidateActivity(Target& target, const Value& key, std::string_view date,
                          std::string_view memo, std::string_view type);
void AddPositionActivity(Target& target, const Value& key, std::string_view date,
                         std::string_view memo, std::string_view type);

}  // namespace talvenor::records
