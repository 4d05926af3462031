// The import button: a run of the sample export file through the window, what
// the window shows while it runs and after, and a second run in the same
// window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/window/indexer.h"
#include "tests/app_window/window_fixture.h"
#include "tests/support/targets.h"
#include "text/ascii.h"

namespace talvenor::app::window::testing {
namespace {

using talvenor::testing::EngineKind;
using talvenor::testing::ScalarNumber;
using talvenor::testing::TestTarget;

std::string SampleFile() {
  const char* examples = std::getenv("TALVENOR_EXAMPLES");
  const fs::path base =
      examples != nullptr ? fs::path(examples) : fs::path(TALVENOR_SOURCE_ROOT) / "examples";
  return (base / "sample.csv").string();
}

// The data lines of an export file: every line with text that is not a
// header line (one beginning with JOBTITLE in any letter case).
long DataLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  long count = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.size() >= 8 &&
        text::EqualsIgnoreCase(std::string_view(line).substr(0, 8), "JOBTITLE")) {
      continue;
    }
    ++count;
  }
  return count;
}

// What the window looks like each time it processes events during a run.
struct Sight {
  std::string caption;
  bool import_enabled;  // the import button, like Text1, Browse and the drop-down
  bool close_enabled;   // Close stays on: it asks whether to stop the run
  bool hourglass;
  bool progress_shown;
  int progress;
};

class ImportButtonTest : public WindowTest {
 protected:
  // Presses the import button and watches the window each time the run lets
  // it process events. `during` runs at each of those moments too.
  std::vector<Sight> PressImport(Indexer& w, const std::function<void()>& during = {}) {
    std::vector<Sight> sights;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      const QCursor* cursor = QApplication::overrideCursor();
      const QProgressBar* bar = Child<QProgressBar>(w, "Progress");
      sights.push_back({Text(Button(w, "Command4")->text()), Button(w, "Command4")->isEnabled(),
                        Button(w, "Command1")->isEnabled(),
                        cursor != nullptr && cursor->shape() == Qt::WaitCursor, bar->isVisible(),
                        bar->value()});
      if (during) during();
    });
    watch.start();
    Click(Button(w, "Command4"));
    watch.stop();
    return sights;
  }

  static std::vector<std::string> ListLines(Indexer& w) {
    std::vector<std::string> lines;
    for (int i = 0; i < List1(w)->count(); ++i) lines.push_back(Text(List1(w)->item(i)->text()));
    return lines;
  }

  // The window is idle again: enabled, the idle caption, the usual pointer.
  static void ExpectIdle(Indexer& w) {
    EXPECT_TRUE(w.isEnabled());
    for (const char* name : {"Command4", "Command3", "Command1"}) {
      EXPECT_TRUE(Button(w, name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Text1(w)->isEnabled());
    EXPECT_TRUE(Combo(w)->isEnabled());
    EXPECT_FALSE(Child<QProgressBar>(w, "Progress")->isVisible());
    EXPECT_EQ(Text(Button(w, "Command4")->text()), "Click Here To Begin Import");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
};

// "What: C created, M matched" -> C + M.
long CreatedPlusMatched(const std::string& line) {
  long created = 0, matched = 0;
  const size_t colon = line.find(": ");
  if (colon == std::string::npos ||
      std::sscanf(line.c_str() + colon + 2, "%ld created, %ld matched", &created, &matched) != 2) {
    ADD_FAILURE() << "not a counts line: " << line;
    return -1;
  }
  return created + matched;
}

class TwoRunsTest : public ImportButtonTest, public ::testing::WithParamInterface<EngineKind> {};

TEST_P(TwoRunsTest, ImportsTheSampleTwiceAndTheListStillChooses) {
  std::unique_ptr<TestTarget> target;
  TALVENOR_FRESH_TARGET(target, GetParam());
  MakeCatalogue({{"Target", target->is_odbc() ? "ODBC;" + target->path() : target->path(), ""},
                 {"Other", "other.db", ""}});
  Indexer* w = Start("Target");
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->state().TargetIsOdbc, target->is_odbc() ? 1 : 0);
  Text1(*w)->setText(QString::fromStdString("  " + SampleFile() + " "));

  const long lines = DataLines(SampleFile());
  ASSERT_GT(lines, 0);
  const std::vector<std::string> want_head = {
      "Step1: Opening Target Database", "Step2: Begin Transferring Companies/Names",
      "Imported " + std::to_string(lines) + " Talvenor Records."};
  // The counts of the first run, which the second finds again.
  long companies = 0, contacts = 0, positions = 0;
  std::vector<std::string> want_captions;
  for (long i = 1; i <= lines; ++i)
    want_captions.push_back("Importing Row (" + std::to_string(i) + ")");

  long contact_slots = 0;
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const std::vector<Sight> sights = PressImport(*w);
    EXPECT_TRUE(op_.messages.empty()) << op_.messages.front().text;
    auto db = target->Open();
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Rollup_Names"), run);
    // The first run creates every row there is; the second matches them all.
    if (run == 1) {
      companies = ScalarNumber(*db, "SELECT COUNT(*) FROM Companies");
      contacts = ScalarNumber(*db, "SELECT COUNT(*) FROM Candidates");
      positions = ScalarNumber(*db, "SELECT COUNT(*) FROM Positions");
      EXPECT_GT(companies, 0);
      EXPECT_GT(positions, 0);
    } else {
      EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Companies"), companies);
      EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Candidates"), contacts);
      EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Positions"), positions);
    }
    db->Close();

    std::vector<std::string> want_list = want_head;
    const std::vector<std::string> list = ListLines(*w);
    ASSERT_EQ(list.size(), 8u);
    if (run == 1) {
      want_list.push_back("Companies: " + std::to_string(companies) + " created, " +
                          list[3].substr(list[3].find("created, ") + 9));
      want_list.push_back("Contact persons: " + std::to_string(contacts) + " created, " +
                          list[4].substr(list[4].find("created, ") + 9));
      want_list.push_back("Positions: " + std::to_string(positions) + " created, " +
                          list[5].substr(list[5].find("created, ") + 9));
    } else {
      // Every company and position line, and every contact slot, of the
      // first run is matched now.
      want_list.push_back("Companies: 0 created, " + std::to_string(lines) + " matched");
      want_list.push_back("Contact persons: 0 created, " + std::to_string(contact_slots) +
                          " matched");
      want_list.push_back("Positions: 0 created, " + std::to_string(lines) + " matched");
    }
    want_list.push_back("Lines rejected: 0");
    want_list.push_back("Import Complete");
    EXPECT_EQ(list, want_list);
    if (run == 1) contact_slots = CreatedPlusMatched(list[4]);
    EXPECT_EQ(CreatedPlusMatched(list[3]), lines);
    EXPECT_EQ(CreatedPlusMatched(list[5]), lines);
    EXPECT_EQ(List1(*w)->currentRow(), 7) << "the newest line is not selected";
    ExpectIdle(*w);

    // One look per data line, each showing that line's number, with every
    // control but Close off, the hourglass and the progress bar.
    std::vector<std::string> captions;
    int last_progress = 0;
    for (const Sight& s : sights) {
      EXPECT_FALSE(s.import_enabled) << s.caption;
      EXPECT_TRUE(s.close_enabled) << s.caption;
      EXPECT_TRUE(s.hourglass) << s.caption;
      EXPECT_TRUE(s.progress_shown) << s.caption;
      EXPECT_GE(s.progress, last_progress) << s.caption << ": the bar went back";
      EXPECT_LE(s.progress, 1000) << s.caption;
      last_progress = s.progress;
      captions.push_back(s.caption);
    }
    EXPECT_EQ(captions, want_captions);
  }

  // The catalogue still feeds the list after the runs.
  Pick(*w, 0);
  EXPECT_EQ(w->state().SelectedDatabaseId, records::Value::Text("Other"));
  EXPECT_EQ(w->state().TargetPath, folder() + "/other.db");
  EXPECT_EQ(w->state().TargetIsOdbc, 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, TwoRunsTest,
                         ::testing::Values(EngineKind::kSqlite, EngineKind::kPostgres),
                         [](const ::testing::TestParamInfo<EngineKind>& engine) {
                           return talvenor::testing::EngineName(engine.param);
                         });

TEST_F(ImportButtonTest, AFailureToOpenShowsItsMessageAndLeavesTheWindowIdle) {
  std::string why;
  std::unique_ptr<TestTarget> target = TestTarget::Create(EngineKind::kSqlite, why);
  ASSERT_NE(target, nullptr) << why;
  MakeCatalogue({{"Good", target->path(), ""}, {"Missing", "missing.db", ""}});
  struct Case {
    const char* what;
    std::string entry, file;
    std::vector<std::string> list;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"no file named", "Good", "", {}},
           {"file missing", "Good", folder() + "/none.csv", {}},
           {"target missing", "Missing", SampleFile(), {"Step1: Opening Target Database"}},
       }) {
    SCOPED_TRACE(c.what);
    op_.messages.clear();
    Indexer* w = Start(c.entry);
    ASSERT_NE(w, nullptr);
    List1(*w)->addItem("from before");
    Text1(*w)->setText(QString::fromStdString(c.file));
    PressImport(*w);
    ASSERT_EQ(op_.messages.size(), 1u);
    EXPECT_FALSE(op_.messages[0].text.empty());
    EXPECT_EQ(op_.messages[0].title, "");
    EXPECT_EQ(ListLines(*w), c.list);
    ExpectIdle(*w);
  }
  auto db = target->Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Rollup_Names"), 0);
}

TEST_F(ImportButtonTest, ARefusedFileIsImportedWhenTheOperatorSaysImportAnyway) {
  std::string why;
  std::unique_ptr<TestTarget> target = TestTarget::Create(EngineKind::kSqlite, why);
  ASSERT_NE(target, nullptr) << why;
  MakeCatalogue({{"Good", target->path(), ""}});
  // Two export lines among three notes: more than half cannot be export lines.
  const std::string file = folder() + "/notes.csv";
  std::ofstream(file, std::ios::binary)
      << "note one\r\nNurse,Boston,,,,Acme\r\nnote two\r\nCook,Boston,,,,Cafe\r\nnote three\r\n";
  for (const bool anyway : {false, true}) {
    SCOPED_TRACE(anyway ? "import anyway" : "cancel");
    op_.messages.clear();
    run_dialogs_.refusals.clear();
    run_dialogs_.import_anyway = anyway;
    Indexer* w = Start("Good");
    ASSERT_NE(w, nullptr);
    Text1(*w)->setText(QString::fromStdString(file));
    PressImport(*w);
    // The refusal is the question's text, never a box of its own.
    ASSERT_EQ(run_dialogs_.refusals.size(), 1u);
    EXPECT_NE(run_dialogs_.refusals[0].find("is not an export file"), std::string::npos);
    EXPECT_TRUE(op_.messages.empty());
    ExpectIdle(*w);
    auto db = target->Open();
    EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Positions"), anyway ? 2 : 0);
    db->Close();
    // The notes are listed as rejected lines, with their numbers.
    const std::vector<std::string> list = ListLines(*w);
    EXPECT_EQ(std::count(list.begin(), list.end(),
                         "Line 3 (file line 3): not an export line: it has 1 field; an export "
                         "line has 39 and needs at least 6, up to the company name"),
              anyway ? 1 : 0);
  }
}

TEST_F(ImportButtonTest, ClosingIsRefusedWhileARunIsGoingOn) {
  std::string why;
  std::unique_ptr<TestTarget> target = TestTarget::Create(EngineKind::kSqlite, why);
  ASSERT_NE(target, nullptr) << why;
  MakeCatalogue({{"Good", target->path(), ""}});
  Indexer* w = Start();
  ASSERT_NE(w, nullptr);
  Pick(*w, 0);
  Text1(*w)->setText(QString::fromStdString(SampleFile()));
  const std::string before = SavedFile();

  // The operator answers the stop question with No every time.
  int refused = 0;
  PressImport(*w, [&] {
    if (!w->close()) ++refused;
  });
  EXPECT_EQ(refused, DataLines(SampleFile()));
  EXPECT_EQ(run_dialogs_.questions, refused);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(SavedFile(), before) << "the selection was saved during the run";
  EXPECT_EQ(List1(*w)->count(), 8);
  EXPECT_EQ(Text(List1(*w)->item(2)->text()),
            "Imported " + std::to_string(DataLines(SampleFile())) + " Talvenor Records.");

  ASSERT_TRUE(w->close());
  EXPECT_NE(SavedFile(), before);
}

}  // namespace
}  // namespace talvenor::app::window::testing
