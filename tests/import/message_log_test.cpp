#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/run_state.h"
#include "records/operator.h"

namespace talvenor::import {
namespace {

class Discard final : public records::Operator {
 public:
  void ShowMessage(std::string_view, std::string_view, records::MessageIcon) override {}
};

TEST(MessageLog, TakeSaysEachReasonOnce) {
  struct Case {
    std::vector<std::string> shown;
    std::string want;
  };
  for (const Case& c : std::vector<Case>{
           {{}, ""},
           {{"disk full"}, "disk full"},
           // A failed save: its error, then the standard text with the engine's.
           {{"no Lees allowed", "Application-defined or object-defined error  no Lees allowed"},
            "Application-defined or object-defined error  no Lees allowed"},
           {{"ODBC--call failed.", "ODBC--call failed. ERROR: duplicate key"},
            "ODBC--call failed. ERROR: duplicate key"},
           {{"a longer reason", "longer"}, "a longer reason"},  // the shorter comes later
           {{"first", "second"}, "first; second"},              // unrelated texts both stay
           {{"same", "same"}, "same"},
       }) {
    SCOPED_TRACE(c.want);
    Discard sink;
    MessageLog log(sink);
    for (const std::string& text : c.shown) log.ShowMessage(text, "", records::MessageIcon::kNone);
    EXPECT_EQ(log.Take(), c.want);
    EXPECT_EQ(log.Take(), "");  // taken once
  }
}

}  // namespace
}  // namespace talvenor::import
