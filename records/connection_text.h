#pragma once

#include <string>
#include <string_view>

#include "records/target_address.h"

namespace talvenor::records {

// Whether a target text is an ODBC connection rather than a database file:
// it begins with "ODBC;", or one of its settings is a DSN=, FILEDSN= or
// DRIVER= key (a setting begins the text or follows a ";"; blanks before the
// key and before its "=" are allowed). Letter case does not count. Every
// front end decides with this one rule, so a text means the same thing to
// init, run, the catalogue and the window. A file path that merely holds
// the letters "odbc" (a folder named "odbc", say) is a file path.
bool IsOdbcConnectionText(std::string_view text);

// The address of a plain target text by that rule: an ODBC source for a
// connection text, otherwise a database file.
TargetAddress AddressOf(std::string_view text);

// The encoded catalogue forms "ODBC/..." and "ODBC/||..." (exactly these
// capitals), which decode to a connection text.
bool IsEncodedConnectionText(std::string_view text);

// Whether a connection text holds a password in plain: a PWD= or Password=
// setting (letter case ignored) with a value.
bool HoldsPassword(std::string_view text);

// The text with the value of every PWD= and Password= setting dropped
// ("UID=sa;PWD=;"), for anything that is shown or written: messages, JSON,
// rejects files. Any other text comes back unchanged.
std::string HidePasswords(std::string_view text);

}  // namespace talvenor::records
