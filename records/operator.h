#pragma once

#include <string_view>

namespace talvenor::records {

enum class MessageIcon { kNone, kExclamation, kCritical, kInformation };

// Where messages to the operator go: a message box with an OK button in the
// window, stderr on the command line, a recording sink in tests. An empty
// title means the application's default title.
class Operator {
 public:
  virtual ~Operator() = default;
  virtual void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

}  // namespace talvenor::records
