#pragma once

// A progress sink that keeps what a run showed: the progress list as it
// stands, every caption, the order of all calls, and each line's outcome.

#include <string>
#include <string_view>
#include <vector>

#include "import/import_run.h"

namespace talvenor::testing {

using import::ImportProgress;
using import::LineOutcome;

class RecordingProgress final : public ImportProgress {
 public:
  struct Line {
    long number = 0;
    long physical_number = 0;
    std::string raw;
    std::vector<std::string> problems;
    std::vector<std::string> warnings;
  };

  void ClearList() override {
    list.clear();
    events.push_back("clear");
  }
  void AddLine(std::string_view text) override {
    list.emplace_back(text);
    events.push_back("add " + std::string(text));
  }
  void SetCaption(std::string_view caption) override {
    captions.emplace_back(caption);
    events.push_back("caption " + std::string(caption));
  }
  void PumpEvents() override { events.push_back("pump"); }
  void SetBusy(bool busy) override { events.push_back(busy ? "busy" : "idle"); }
  void LineFinished(const LineOutcome& outcome) override {
    lines.push_back({outcome.number, outcome.physical_number, std::string(outcome.raw),
                     outcome.problems != nullptr ? *outcome.problems : std::vector<std::string>{},
                     outcome.warnings != nullptr ? *outcome.warnings : std::vector<std::string>{}});
  }

  std::vector<std::string> list;
  std::vector<std::string> captions;
  std::vector<std::string> events;
  std::vector<Line> lines;
};

}  // namespace talvenor::testing
