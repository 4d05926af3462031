#pragma once

// The engines the data-access contract runs against: each gives a fresh,
// empty target with the target schema created.

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "records/database.h"

namespace talvenor::records::testing {

struct TestEngine {
  std::string name;
  std::function<std::unique_ptr<Database>()> open_fresh;
  bool is_odbc = false;
};

inline void PrintTo(const TestEngine& engine, std::ostream* out) { *out << engine.name; }

std::vector<TestEngine> ContractEngines();

// A new path for a file named `name` inside a folder of this test process
// that is removed when the process ends.
std::string TempPath(std::string_view name);

}  // namespace talvenor::records::testing
