// The end-of-run lines, the routing of a run's messages, and the window
// program's arguments, without a window.

#include "app/window/run_report.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/window/command_line.h"
#include "tests/app_window/window_fixture.h"

namespace talvenor::app::window::testing {
namespace {

using import::RunOutcome;

import::ImportSummary Summary(RunOutcome outcome, std::string message,
                              long rejected){import::ImportSummary s;
s.outcome = outcome;
s.message = std::move(message);
s.counts.companies_created = 2;
s.counts.companies_matched = 3;
s.counts.contacts_created = 4;
s.counts.contacts_matched = 5;
s.counts.positions_created = 6;
s.counts.positions_matched = 7;
s.counts.lines_rejected = rejected;
return s;
}  // namespace

TEST(RunReport, EndingLinesGiveTheCountsAndTheRejectedLines) {
  const std::vector<std::string> counts = {"Companies: 2 created, 3 matched",
                                           "Contact persons: 4 created, 5 matched",
                                           "Positions: 6 created, 7 matched"};
  struct Case {
    const char* what;
    RunOutcome outcome;
    std::string message;
    std::vector<std::vector<std::string>> problems;  // per finished line; empty: stored
    std::vector<std::string> want_after_counts;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"all stored", RunOutcome::kCompleted, "", {{}, {}}, {"Lines rejected: 0"}},
           {"two reasons joined",
            RunOutcome::kCompleted,
            "",
            {{}, {"a not stored", "b not stored"}, {}},
            {"Lines rejected: 1", "Line 2 (file line 3): a not stored; b not stored"}},
           {"stopped",
            RunOutcome::kStopped,
            "Stopped after line 4 of x.csv (interrupted)",
            {{}},
            {"Lines rejected: 0"}},
           {"file read failed",
            RunOutcome::kReadFailed,
            "cannot read x.csv",
            {{}},
            {"Lines rejected: 0"}},
           {"target lost",
            RunOutcome::kTargetLost,
            "lost",
            {{"gone"}},
            {"Lines rejected: 1", "Line 1 (file line 2): gone"}},
       }) {
    SCOPED_TRACE(c.what);
    RunReport report;
    report.Clear();
    long rejected = 0;
    std::vector<std::vector<std::string>> problems = c.problems;
    for (size_t i = 0; i < problems.size(); ++i) {
      report.LineFinished(import::LineOutcome{static_cast<long>(i + 1), static_cast<long>(i + 2),
                                              "abc", &problems[i], nullptr});
      if (!problems[i].empty()) ++rejected;
    }
    std::vector<std::string> want;
    // A run that stopped early has its message in the list already.
    if (c.outcome != RunOutcome::kCompleted && !import::StoppedEarly(c.outcome)) {
      want.push_back(c.message);
    }
    want.insert(want.end(), counts.begin(), counts.end());
    want.insert(want.end(), c.want_after_counts.begin(), c.want_after_counts.end());
    EXPECT_EQ(report.EndingLines(Summary(c.outcome, c.message, rejected)), want);
    // Each line's bytes and its CR LF.
    EXPECT_EQ(report.bytes_finished(), static_cast<long long>(5 * problems.size()));
  }
}

TEST(RunReport, ListsTheFirst200RejectedLinesAndCountsTheRest) {
  struct Case {
    long rejected;
    size_t listed;
    std::string last;
  };
  for (const Case& c : std::initializer_list<Case>{
           {200, 200, "Line 200 (file line 200): bad"},
           {201, 200, "\u2026 and 1 more"},
           {1000, 200, "\u2026 and 800 more"},
       }) {
    SCOPED_TRACE(c.rejected);
    RunReport report;
    std::vector<std::string> bad = {"bad"};
    for (long i = 1; i <= c.rejected; ++i) {
      report.LineFinished(import::LineOutcome{i, i, "", &bad, nullptr});
    }
    const std::vector<std::string> lines =
        report.EndingLines(Summary(RunOutcome::kCompleted, "", c.rejected));
    EXPECT_EQ(lines.size(), 4 + c.listed + (c.rejected > 200 ? 1 : 0));
    EXPECT_EQ(lines.back(), c.last);
    // A second run starts from nothing.
    report.Clear();
    EXPECT_EQ(report.EndingLines(Summary(RunOutcome::kCompleted, "", 0)).size(), 4u);
  }
}

TEST(RunMessages, LineFailuresGetTheirLineAndCanBeTurnedOff) {
  talvenor::testing::RecordingOperator plain;
  RecordingRunDialogs dialogs;
  dialogs.dont_show_after = 2;
  RunMessages messages(plain, dialogs, nullptr);
  messages.BeginRun();

  messages.ShowMessage("cannot open the set", "", records::MessageIcon::kNone);  // before line 1
  messages.SetLine(7);
  messages.ShowMessage("save failed", "", records::MessageIcon::kNone);
  messages.ShowMessage("3146 details", "", records::MessageIcon::kNone);  // ticked here
  messages.SetLine(8);
  messages.ShowMessage("save failed again", "", records::MessageIcon::kNone);
  messages.ShowMessage("connection lost after line 8", "", records::MessageIcon::kNone);

  ASSERT_EQ(plain.messages.size(), 1u);
  EXPECT_EQ(plain.messages[0].text, "cannot open the set");
  ASSERT_EQ(dialogs.failures.size(), 2u);
  EXPECT_EQ(dialogs.failures[0].text, "save failed");
  EXPECT_EQ(dialogs.failures[0].line, 7);
  EXPECT_EQ(dialogs.failures[1].line, 7);
  EXPECT_TRUE(messages.boxes_off());

  // The message that ended the run is shown after all; others are not.
  messages.SetLine(0);
  messages.ShowIfHeldBack("not held back");
  messages.ShowIfHeldBack("connection lost after line 8");
  ASSERT_EQ(plain.messages.size(), 2u);
  EXPECT_EQ(plain.messages[1].text, "connection lost after line 8");

  // The next run shows its boxes again.
  messages.BeginRun();
  EXPECT_FALSE(messages.boxes_off());
  messages.SetLine(1);
  messages.ShowMessage("save failed", "", records::MessageIcon::kNone);
  EXPECT_EQ(dialogs.failures.size(), 3u);
}

TEST(ParseWindowArgs, HelpAndVersionOrTheDatabaseId) {
  using Action = WindowArgs::Action;
  struct Case {
    std::vector<std::string> args;
    Action action;
    std::string id;
  };
  for (const Case& c : std::initializer_list<Case>{
           {{}, Action::kRun, ""},
           {{"--help"}, Action::kHelp, ""},
           {{"-h"}, Action::kHelp, ""},
           {{"--version"}, Action::kVersion, ""},
           {{"Head", "Office"}, Action::kRun, "Head Office"},
           {{"--", "--help"}, Action::kRun, "--help"},  // an id that looks like an option
           {{"Sales", "--help"}, Action::kRun, "Sales --help"},
       }) {
    std::string joined;
    for (const std::string& a : c.args) joined += "[" + a + "]";
    SCOPED_TRACE(joined);
    const WindowArgs got = ParseWindowArgs(c.args);
    EXPECT_EQ(got.action, c.action);
    EXPECT_EQ(got.command_line, c.id);
  }
}

TEST(UnknownIdReport, NamesTheIdAndTheIdsHeld) {
  EXPECT_EQ(UnknownIdReport(
                "Nowhere", "/opt/t/multi.mdb",
                {CatalogueRow{"Alpha", "", "", "", ""}, CatalogueRow{"Beta", "", "", "", ""}}),
            "talvenor: Database Id 'Nowhere' not found in '/opt/t/multi.mdb'; its ids are:\n"
            "  Alpha\n  Beta\n");
  EXPECT_EQ(UnknownIdReport("X", "/m.mdb", {}),
            "talvenor: Database Id 'X' not found in '/m.mdb'; it holds no entries (or cannot be "
            "read)\n");
}

}  // namespace talvenor::app::window::testing
}  // namespace talvenor::app::window::testing
