#pragma once

#include <string>

#include "records/target_address.h"

namespace talvenor::app {

// The command that creates the import's tables in `target`, as the messages
// of a run that cannot start name it: a database file's path as it can be
// typed at a shell prompt; a connection text is never repeated (it may hold
// a password).
std::string InitAdvice(const records::TargetAddress& target);

}  // namespace talvenor::app
