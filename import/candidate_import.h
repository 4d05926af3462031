#pragma once

#include <array>
#include <string>

#include "import/contact_name.h"
#include "import/import_row.h"
#include "import/run_state.h"

namespace talvenor::import {

// Handles the line's five contact slots in order. A slot whose name gives a
// first and a last name is looked up in Candidates by first name, last name,
// title (each cut to its column) and work phone mask, or created for the
// line's company with its activity entry and batch membership. The first slot
// that ends with a stored or found key becomes the line's FirstContact.
void ImportContacts(RunState& run, ImportRow& row);

// What the contact of `slot`, named `name`, is looked up by (kContactLookUp):
// first name, last name and title cut to their columns, and the work phone
// mask.
std::array<std::string, 4> ContactLookUpTexts(const RunState& run, const ImportRow& row,
                                              size_t slot, const ContactName& name);

}  // namespace talvenor::import
