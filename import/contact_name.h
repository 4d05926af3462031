#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvenor::import {

// The name of one contact slot as the import stores and looks it up.
struct ContactName {
  std::optional<std::string> filtered;  // what FilterName gave; nullopt for Null
  std::string first;
  std::string middle;  // the whole second word when there are three or more
  std::string last;
  bool skipped = true;  // no first or no last name: the slot creates nothing
};

// Reads the contact-name field of a slot: no-break spaces become blanks, then
// FilterName (titles, suffixes, nicknames dropped; "Lee, Ann" reordered), then
// CleanText, then a split at every blank. Two words give first and last name;
// three or more give first, middle and last name, and further words are
// dropped; a single word or none leaves all three empty and the slot skipped.
//
// The no-break spaces go first so that FilterName sees the words they separate:
// otherwise "Dr" joined to "John" by one would survive as a first name "Dr",
// and a leading one would become an empty first name and lose the contact.
ContactName ParseContactName(std::string_view field);

}  // namespace talvenor::import
