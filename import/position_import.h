#pragma once

#include <array>
#include <string>

#include "import/import_row.h"
#include "import/run_state.h"

namespace talvenor::import {

// Looks the line's position up in Positions by job title and city (each cut
// to its column). An existing position is left alone. A new one is created
// for the line's company with the line's FirstContact as its contact; when
// that contact has an e-mail address a Scripts row is written for it; then
// its activity entry and batch membership.
void ImportPosition(RunState& run, ImportRow& row);

// What the line's position is looked up by (kPositionLookUp): its job title
// and city, each cut to its column.
std::array<std::string, 2> PositionLookUpTexts(const RunState& run, const ImportRow& row);

}  // namespace talvenor::import
