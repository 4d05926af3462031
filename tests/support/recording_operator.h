#pragma once

// An operator that keeps the message boxes it was asked to show.

#include <string>
#include <string_view>
#include <vector>

#include "records/operator.h"

namespace talvenor::testing {

using records::MessageIcon;
using records::Operator;

class RecordingOperator : public Operator {
 public:
  struct Message {
    std::string text;
    std::string title;
    MessageIcon icon;
  };

  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
    messages.push_back({std::string(text), std::string(title), icon});
  }

  std::vector<Message> messages;
};

}  // namespace talvenor::testing
