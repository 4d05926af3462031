// The window as an operator meets it: every way of changing the drop-down
// imports into the entry it shows, a run can be stopped, the end of a run
// lists what went wrong, and the texts fit under large fonts.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/window/indexer.h"
#include "app/window/window_layout.h"
#include "tests/app_window/window_fixture.h"
#include "tests/support/targets.h"

namespace talvenor::app::window::testing {
namespace {

using talvenor::testing::EngineKind;
using talvenor::testing::ScalarNumber;
using talvenor::testing::TestTarget;

std::string SampleFile() {
  return (fs::path(TALVENOR_SOURCE_ROOT) / "examples" / "sample.csv").string();
}

void Wheel(QWidget* widget, int steps) {
  const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
  QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, -120 * steps), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &event);
}

class RunWindowTest : public WindowTest {
 protected:
  // Two fresh SQLite targets in the catalogue, Alpha and Beta.
  void MakeTwoTargets() {
    std::string why;
    alpha_ = TestTarget::Create(EngineKind::kSqlite, why);
    ASSERT_NE(alpha_, nullptr) << why;
    beta_ = TestTarget::Create(EngineKind::kSqlite, why);
    ASSERT_NE(beta_, nullptr) << why;
    MakeCatalogue({{"Alpha", alpha_->path(), ""}, {"Beta", beta_->path(), ""}});
  }

  static long long Positions(const TestTarget& target) {
    auto db = target.Open();
    if (db == nullptr) return -1;
    const long long n = ScalarNumber(*db, "SELECT COUNT(*) FROM Positions");
    db->Close();
    return n;
  }

  // Presses the import button; `during` runs each time the run lets the
  // window process events, with the data line's number.
  void PressImport(Indexer& w, const std::function<void(long)>& during = {}) {
    QTimer watch;
    watch.setInterval(0);
    long line = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (during) during(++line);
    });
    watch.start();
    Click(Button(w, "Command4"));
    watch.stop();
  }

  static std::vector<std::string> ListLines(Indexer& w) {
    std::vector<std::string> lines;
    for (int i = 0; i < List1(w)->count(); ++i) lines.push_back(Text(List1(w)->item(i)->text()));
    return lines;
  }

  std::unique_ptr<TestTarget> alpha_, beta_;
};

TEST_F(RunWindowTest, EveryWayOfChangingTheDropDownImportsIntoTheEntryItShows) {
  MakeTwoTargets();
  struct Case {
    const char* way;
    std::function<void(Indexer&)> change;  // from Alpha to Beta
  };
  for (const Case& c : std::initializer_list<Case>{
           {"wheel", [](Indexer& w) { Wheel(Combo(w), 1); }},
           {"arrow key", [](Indexer& w) { QTest::keyClick(Combo(w)->lineEdit(), Qt::Key_Down); }},
           {"page key",
            [](Indexer& w) { QTest::keyClick(Combo(w)->lineEdit(), Qt::Key_PageDown); }},
           {"typing and Return",
            [](Indexer& w) {
              QLineEdit* edit = Combo(w)->lineEdit();
              edit->selectAll();
              QTest::keyClicks(edit, "beta");  // the id in another letter case
              QTest::keyClick(edit, Qt::Key_Return);
            }},
           {"typing and leaving the box",
            [](Indexer& w) {
              QLineEdit* edit = Combo(w)->lineEdit();
              edit->setFocus();
              edit->selectAll();
              QTest::keyClicks(edit, "Beta");
              Text1(w)->setFocus();
            }},
           {"the list", [](Indexer& w) { Pick(w, 1); }},
       }) {
    SCOPED_TRACE(c.way);
    fs::remove(SavedSelectionPath(folder()));
    for (const auto* t : {alpha_.get(), beta_.get()}) {
      auto db = t->Open();
      ASSERT_NE(db, nullptr);
      ASSERT_TRUE(db->Execute("DELETE FROM Positions"));
      db->Close();
    }
    Indexer* w = Start("Alpha");
    ASSERT_NE(w, nullptr);
    QApplication::setActiveWindow(w);
    Combo(*w)->lineEdit()->setFocus();
    c.change(*w);
    QCoreApplication::processEvents();

    EXPECT_EQ(Text(Combo(*w)->currentText()), "Beta");
    EXPECT_EQ(w->state().SelectedDatabaseId, records::Value::Text("Beta"));
    EXPECT_EQ(w->state().TargetPath, beta_->path());
    Text1(*w)->setText(QString::fromStdString(SampleFile()));
    PressImport(*w);
    EXPECT_EQ(Text(Combo(*w)->currentText()), "Beta");
    EXPECT_GT(Positions(*beta_), 0) << "nothing went into the entry shown";
    EXPECT_EQ(Positions(*alpha_), 0) << "rows went into the entry chosen before";
    ASSERT_TRUE(w->close());
  }
}

TEST_F(RunWindowTest, TextThatNamesNoEntryGivesWayToTheChosenOne) {
  MakeTwoTargets();
  Indexer* w = Start("Beta");
  ASSERT_NE(w, nullptr);
  struct Case {
    const char* typed;
  };
  for (const Case& c : std::initializer_list<Case>{{"Gamma"}, {"Bet"}, {""}, {"  "}}) {
    SCOPED_TRACE(c.typed);
    QLineEdit* edit = Combo(*w)->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, c.typed);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(Text(Combo(*w)->currentText()), "Beta");
    EXPECT_EQ(w->state().SelectedDatabaseId, records::Value::Text("Beta"));
    EXPECT_EQ(w->state().TargetPath, beta_->path());
  }
  // Before any choice, the prompt comes back.
  fs::remove(SavedSelectionPath(folder()));
  Indexer* fresh = Start();
  ASSERT_NE(fresh, nullptr);
  QLineEdit* edit = Combo(*fresh)->lineEdit();
  edit->selectAll();
  QTest::keyClicks(edit, "Gamma");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(Text(Combo(*fresh)->currentText()), "(Select a Database)");
  EXPECT_TRUE(fresh->state().SelectedDatabaseId.IsEmpty());
}

// The sample imported line by line up to `lines` into a fresh target: what a
// run stopped after that line must hold.
long long PositionsOfFirstLines(int lines) {
  std::string why;
  auto target = TestTarget::Create(EngineKind::kSqlite, why);
  EXPECT_NE(target, nullptr) << why;
  if (target == nullptr) return -1;
  const fs::path part = talvenor::testing::TempPath("first.csv");
  {
    std::ifstream in(SampleFile(), std::ios::binary);
    std::ofstream out(part, std::ios::binary);
    int data = 0;
    for (std::string line; data < lines && std::getline(in, line);) {
      out << line << '\n';
      if (line.rfind("JobTitle", 0) != 0 && line.rfind("JOBTITLE", 0) != 0) ++data;
    }
  }
  talvenor::testing::RecordingOperator op;
  records::SystemClock clock;
  records::ClockCache cache;
  struct Quiet final : import::ImportProgress {
    void ClearList() override {}
    void AddLine(std::string_view) override {}
    void SetCaption(std::string_view) override {}
    void PumpEvents() override {}
    void SetBusy(bool) override {}
  } quiet;
  import::ImportServices services{op, clock, cache, quiet};
  import::ImportRequest request;
  request.export_path = part.string();
  request.target.text = target->path();
  import::RunImport(request, services);
  fs::remove(part);
  auto db = target->Open();
  const long long n = ScalarNumber(*db, "SELECT COUNT(*) FROM Positions");
  db->Close();
  return n;
}

TEST_F(RunWindowTest, StoppingKeepsTheWholeLinesImportedSoFar) {
  MakeTwoTargets();
  constexpr long kStopAt = 5;
  struct Case {
    const char* way;
    std::function<void(Indexer&)> ask;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"close box", [](Indexer& w) { EXPECT_FALSE(w.close()); }},
           {"Close button", [](Indexer& w) { Click(Button(w, "Command1")); }},
           {"Escape", [](Indexer& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
       }) {
    SCOPED_TRACE(c.way);
    {
      auto db = alpha_->Open();
      ASSERT_TRUE(db->Execute("DELETE FROM Positions"));
      db->Close();
    }
    run_dialogs_ = {};
    run_dialogs_.stop = true;
    Indexer* w = Start("Alpha");
    ASSERT_NE(w, nullptr);
    Text1(*w)->setText(QString::fromStdString(SampleFile()));
    std::string caption_when_asked;
    run_dialogs_.on_question = [&] { caption_when_asked = Text(Button(*w, "Command4")->text()); };
    PressImport(*w, [&](long line) {
      if (line == kStopAt) c.ask(*w);
    });
    EXPECT_EQ(run_dialogs_.questions, 1);
    EXPECT_EQ(caption_when_asked, "Importing Row (5)") << "the caption lost its row counter";
    EXPECT_TRUE(w->isVisible()) << "stopping closed the window";
    EXPECT_EQ(Text(Button(*w, "Command4")->text()), "Click Here To Begin Import");

    const std::vector<std::string> list = ListLines(*w);
    ASSERT_GE(list.size(), 8u);
    EXPECT_EQ(list[2], "Imported 5 Talvenor Records.");
    // The sample's header is file line 1: data line 5 is file line 6.
    EXPECT_EQ(list[3], "Stopped after line 6 of " + SampleFile() + " (interrupted)");
    EXPECT_EQ(list[4].rfind("Companies: ", 0), 0u) << list[4];
    EXPECT_EQ(list.back(), "Import Complete");
    EXPECT_EQ(Positions(*alpha_), PositionsOfFirstLines(kStopAt));
    ASSERT_TRUE(w->close()) << "the window cannot close after the run";
  }
}

// A target whose Positions rows cannot be stored: a trigger that reads a
// table which no longer exists fails every insert with an engine error.
void BreakPositions(const TestTarget& target) {
  // Straight through SQLite: the engine's statement bridge takes no trigger.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(target.path().c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db,
                              "CREATE TABLE Gone (x INTEGER);"
                              "CREATE TRIGGER NoPositions BEFORE INSERT ON Positions "
                              "BEGIN SELECT x FROM Gone; END;"
                              "DROP TABLE Gone;",
                              nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << (error != nullptr ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

// The sample's data lines `times` over, under one header.
std::string RepeatedSample(const fs::path& folder, int times) {
  std::ifstream in(SampleFile(), std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const fs::path out_path = folder / "repeated.csv";
  std::ofstream out(out_path, std::ios::binary);
  out << lines.front() << '\n';
  for (int t = 0; t < times; ++t) {
    for (size_t i = 1; i < lines.size(); ++i) out << lines[i] << '\n';
  }
  return out_path.string();
}

TEST_F(RunWindowTest, RejectedLinesAreListedAndTheBoxesCanBeTurnedOff) {
  MakeTwoTargets();
  BreakPositions(*alpha_);
  struct Case {
    int times;               // the sample's lines, so many times over
    long dont_show_after;    // the box whose check box is ticked
    long at_least_rejected;  // every line of the sample has a position
  };
  for (const Case& c : std::initializer_list<Case>{
           {1, 3, 30},          // ticked in the second line's first box
           {7, 1L << 30, 201},  // never ticked: every box; 200 listed, the rest counted
       }) {
    SCOPED_TRACE(c.times);
    run_dialogs_ = {};
    run_dialogs_.dont_show_after = c.dont_show_after;
    op_.messages.clear();
    Indexer* w = Start("Alpha");
    ASSERT_NE(w, nullptr);
    Text1(*w)->setText(QString::fromStdString(RepeatedSample(folder_, c.times)));
    PressImport(*w);

    const std::vector<std::string> list = ListLines(*w);
    ASSERT_GE(list.size(), 8u);
    long rejected = 0;
    ASSERT_EQ(std::sscanf(list[6].c_str(), "Lines rejected: %ld", &rejected), 1) << list[6];
    EXPECT_GE(rejected, c.at_least_rejected);
    // Two boxes per failed save until the check box is ticked.
    ASSERT_EQ(run_dialogs_.failures.size(),
              c.dont_show_after < 2 * rejected ? c.dont_show_after : 2 * rejected);
    EXPECT_TRUE(op_.messages.empty()) << op_.messages.front().text;
    // Each save's two boxes carry the line it struck.
    for (size_t i = 0; i < run_dialogs_.failures.size(); ++i) {
      EXPECT_EQ(run_dialogs_.failures[i].line, static_cast<long>(i / 2 + 1)) << i;
      EXPECT_NE(run_dialogs_.failures[i].text.find("Gone"), std::string::npos);
    }

    const size_t listed = std::min<long>(rejected, 200);
    ASSERT_EQ(list.size(), 7 + listed + (rejected > 200 ? 1 : 0) + 1);
    EXPECT_EQ(list[3].rfind("Companies: ", 0), 0u);
    for (size_t i = 0; i < listed; ++i) {
      SCOPED_TRACE(i);
      const std::string want = "Line " + std::to_string(i + 1) + " (file line " +
                               std::to_string(i + 2) + "): position not stored: ";
      EXPECT_EQ(list[7 + i].substr(0, want.size()), want) << list[7 + i];
      // The reason names the engine's error, as the box did.
      EXPECT_NE(list[7 + i].find("Gone"), std::string::npos) << list[7 + i];
    }
    if (rejected > 200) {
      EXPECT_EQ(list[7 + listed], "\u2026 and " + std::to_string(rejected - 200) + " more");
    }
    EXPECT_EQ(list.back(), "Import Complete");
    ASSERT_TRUE(w->close());
  }
}

class LayoutTest : public WindowTest {
 protected:
  // Each control's text against the room its style gives it.
  static void ExpectTextsFit(Indexer& w);
};

void LayoutTest::ExpectTextsFit(Indexer& w) {
  const QFontMetrics fm = w.fontMetrics();
  auto fits = [&](const QRect& room, const QString& text, const char* what) {
    EXPECT_LE(fm.horizontalAdvance(text), room.width()) << what << ": \"" << Text(text) << "\"";
    EXPECT_LE(fm.height(), room.height()) << what;
  };
  for (const char* name : {"Command3", "Command4", "Command1"}) {
    QPushButton* button = Button(w, name);
    fits(ButtonTextRoom(*button), button->text(), name);
  }
  // The import button's captions during a run.
  QPushButton* import = Button(w, "Command4");
  const QString idle = import->text();
  import->setText(QStringLiteral("Importing Row (9999999)"));
  fits(ButtonTextRoom(*import), import->text(), "Command4 during a run");
  import->setText(idle);
  fits(ComboTextRoom(*Combo(w)), QStringLiteral("(Select a Database)"), "SSDBCombo1");
  fits(LineEditTextRoom(*Text1(w)), QStringLiteral("examples/sample.csv"), "Text1");

  QListWidget* list = List1(w);
  list->addItem(QStringLiteral("Step2: Begin Transferring Companies/Names"));
  const QRect rows = list->viewport()->rect();
  EXPECT_GE(rows.height(), 4 * list->sizeHintForRow(0)) << "List1 shows fewer than 4 lines";
  fits(rows, list->item(0)->text(), "List1");
  list->clear();

  // The arrangement stays: every control inside the window, none on another
  // (the logo lies under Close and the progress bar, as laid out).
  std::vector<QWidget*> controls;
  for (const char* name : {"SSDBCombo1", "Text1", "Command3", "Command4", "List1", "Command1"}) {
    controls.push_back(Child<QWidget>(w, name));
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    EXPECT_TRUE(w.rect().contains(controls[i]->geometry())) << Text(controls[i]->objectName());
    for (size_t j = i + 1; j < controls.size(); ++j) {
      EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
          << Text(controls[i]->objectName()) << " on " << Text(controls[j]->objectName());
    }
  }
  // Proportions: the import button keeps its share of the window's width.
  EXPECT_NEAR(double(import->width()) / w.width(), 2895.0 / 5880, 0.01);
  EXPECT_NEAR(double(List1(w)->height()) / w.height(), 1425.0 / 4425, 0.01);
}

TEST_F(LayoutTest, TextsFitUnderLargeFonts) {
  const QFont before = QApplication::font();
  struct Case {
    const char* what;
    int points;
    bool bold;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"the platform's font", 0, false},
           {"16 points", 16, false},
           {"28 points bold", 28, true},
       }) {
    SCOPED_TRACE(c.what);
    QFont font = before;
    if (c.points > 0) font.setPointSize(c.points);
    font.setBold(c.bold);
    QApplication::setFont(font);
    Indexer* w = Start();
    ASSERT_NE(w, nullptr);
    ExpectTextsFit(*w);
    // The picture of the run: with TALVENOR_LAYOUT_PICTURES set, to look at.
    if (const char* dir = std::getenv("TALVENOR_LAYOUT_PICTURES")) {
      w->grab().save(QString::fromStdString(std::string(dir) + "/layout-" +
                                            std::to_string(c.points) + "-" +
                                            std::to_string(w->logicalDpiY()) + ".png"));
    }
    ASSERT_TRUE(w->close());
    windows_.clear();
  }
  QApplication::setFont(before);
}

TEST(FitScale, GrowsTheWholeLayoutUntilEveryNeedFits) {
  constexpr double kAt96 = 96.0 / 1440;
  struct Case {
    const char* what;
    std::vector<Need> needs;
    double base, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"nothing needed", {}, kAt96, kAt96},
           {"fits at the screen's DPI", {{kImportTwips, 150, 20}}, kAt96, kAt96},
           {"a wide caption", {{kImportTwips, 386, 20}}, kAt96, 386.0 / 2895},
           {"a tall font", {{kCloseTwips, 10, 50}}, kAt96, 50.0 / 375},
           {"the largest need wins",
            {{kBrowseTwips, 178, 10}, {kImportTwips, 200, 10}},
            kAt96,
            178.0 / 1335},
           {"a high DPI alone", {{kImportTwips, 150, 20}}, 2 * kAt96, 2 * kAt96},
       }) {
    SCOPED_TRACE(c.what);
    const double scale = FitScale(c.base, c.needs);
    EXPECT_NEAR(scale, c.want, c.want * 0.011);
    for (const Need& need : c.needs) {
      const QRect px = ToPixels(need.box, scale);
      EXPECT_GE(px.width(), need.width);
      EXPECT_GE(px.height(), need.height);
    }
  }
}

TEST(ToPixels, RoundsEdgesSoThatNeighboursStayNeighbours) {
  struct Case {
    TwipsRect box;
    double scale;
    QRect want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {kImportTwips, 1.0 / 15, {188, 72, 193, 25}},
           {kListTwips, 2.0 / 15, {16, 208, 746, 190}},
           {{100, 0, 100, 10}, 0.07, {7, 0, 7, 1}},  // 7.0 to 14.0
           {{110, 0, 100, 10}, 0.07, {8, 0, 7, 1}},  // 7.7 to 14.7
       }) {
    SCOPED_TRACE(c.box.left);
    EXPECT_EQ(ToPixels(c.box, c.scale), c.want);
  }
  // Text1 ends where Browse begins less the same gap at every scale.
  for (double scale : {1.0 / 15, 0.0913, 0.1337, 0.2}) {
    SCOPED_TRACE(scale);
    const QRect text1 = ToPixels(kText1Twips, scale);
    const QRect browse = ToPixels(kBrowseTwips, scale);
    EXPECT_LT(text1.right(), browse.left());
  }
}

}  // namespace
}  // namespace talvenor::app::window::testing
