#pragma once

#include <array>
#include <string>

#include "import/import_row.h"
#include "import/run_state.h"

namespace talvenor::import {

// Finds the line's company in Companies by name (field 5, cut to the
// column's size) and phone mask (field 10), or creates it with its activity
// entry and batch membership. Leaves the company key in `row`: the key found
// or stored, empty when the company could not be stored.
void ImportCompany(RunState& run, ImportRow& row);

// What the line's company is looked up by (kCompanyLookUp): its name cut to
// the column and its phone mask.
std::array<std::string, 2> CompanyLookUpTexts(const RunState& run, const ImportRow& row);

}  // namespace talvenor::import
