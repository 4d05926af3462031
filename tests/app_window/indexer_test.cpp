#include "app/window/indexer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "app/window/catalogue_combo.h"
#include "app/window/qt_seams.h"
#include "tests/app_window/window_fixture.h"

namespace talvenor::app::window::testing {
namespace {

using records::MessageIcon;

// The catalogue most tests start from: a bare file name, a connection text in
// lower case and a file path whose folder holds the letters "odbc".
const std::vector<Entry> kEntries = {
    {"Sales", "sales.db", "/sync/sales"},
    {"Head Office", "odbc;dsn=head;uid=importer;pwd=secret", ""},
    {"Archive", "/srv/OdbcFiles/archive.db", "//backup/archive"},
};

TEST_F(WindowTest, FirstStartWithNothingOpensEmpty) {
  Indexer* w = Start();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Text(w->windowTitle()), "Talvenor Import Utility");
  EXPECT_EQ(Combo(*w)->count(), 0);
  EXPECT_EQ(Text(Combo(*w)->currentText()), "(Select a Database)");
  EXPECT_EQ(Text(Text1(*w)->text()), "");
  EXPECT_EQ(List1(*w)->count(), 0);
  EXPECT_EQ(Text(Button(*w, "Command4")->text()), "Click Here To Begin Import");
  EXPECT_TRUE(w->state().SelectedDatabaseId.IsEmpty());
  EXPECT_EQ(w->state().TargetPath, folder() + "/");
  EXPECT_EQ(w->state().TargetIsOdbc, 0);
  EXPECT_TRUE(op_.messages.empty());
  EXPECT_EQ(w->focusWidget(), Button(*w, "Command3"));

  const QRect screen = w->screen()->geometry();
  EXPECT_LE((w->frameGeometry().center() - screen.center()).manhattanLength(), 2)
      << "not centred on the screen";
}

TEST_F(WindowTest, ControlsSitWhereTheLayoutPutsThem) {
  Indexer* w = Start();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->size(), QSize(392, 295));  // 5880 x 4425 twips
  EXPECT_EQ(w->palette().color(QPalette::Window), QColor(Qt::white));

  struct Case {
    const char* name;
    QRect geometry;
    const char* text;  // buttons only
    bool yellow;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"SSDBCombo1", {8, 8, 373, 25}, nullptr, true},
           {"Text1", {8, 40, 277, 25}, nullptr, true},
           {"Command3", {292, 40, 89, 25}, "Browse", false},
           {"Command4", {188, 72, 193, 25}, "Click Here To Begin Import", false},
           {"List1", {8, 104, 373, 95}, nullptr, true},
           {"Image1", {8, 204, 318, 86}, nullptr, false},
           {"Command1", {300, 260, 81, 25}, "Close", false},
       }) {
    SCOPED_TRACE(c.name);
    QWidget* widget = Child<QWidget>(*w, c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), c.geometry);
    if (c.text != nullptr) {
      EXPECT_EQ(Text(Button(*w, c.name)->text()), c.text);
    }
    if (c.yellow) {
      EXPECT_EQ(widget->palette().color(QPalette::Base), QColor(255, 255, 192));
    }
  }

  // The logo is drawn, not left blank.
  const QPixmap logo = Child<QLabel>(*w, "Image1")->pixmap();
  ASSERT_EQ(logo.size(), QSize(318, 86));
  const QImage image = logo.toImage();
  int coloured = 0;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) {
      if (image.pixelColor(x, y) != QColor(Qt::white)) ++coloured;
    }
  }
  EXPECT_GT(coloured, 300);
}

TEST_F(WindowTest, TabWalksTheFocusOrder) {
  Indexer* w = Start();
  ASSERT_NE(w, nullptr);
  QApplication::setActiveWindow(w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
  ASSERT_EQ(QApplication::focusWidget(), Button(*w, "Command3"));
  for (const char* want : {"SSDBCombo1", "List1", "Command1", "Text1", "Command4", "Command3"}) {
    SCOPED_TRACE(want);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    // The drop-down's edit box stands for the drop-down.
    if (focus->parentWidget() == Combo(*w)) focus = Combo(*w);
    EXPECT_EQ(Text(focus->objectName()), want);
  }
}

TEST_F(WindowTest, ListShowsEveryEntryWithConnectionTextsMasked) {
  MakeCatalogue(kEntries);
  Indexer* w = Start();
  ASSERT_NE(w, nullptr);
  CatalogueCombo* combo = Combo(*w);
  EXPECT_EQ(Text(combo->currentText()), "(Select a Database)");
  EXPECT_EQ(combo->currentIndex(), -1);

  QTableView* table = combo->table();
  const std::vector<std::string> headings = {"Database Id", "Database UNC", "Syncronization UNC",
                                             "Database", "Sync Path"};
  ASSERT_EQ(combo->rows()->columnCount(), 5);
  for (int c = 0; c < 5; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(Text(combo->rows()->headerData(c, Qt::Horizontal).toString()), headings[c]);
    EXPECT_EQ(table->isColumnHidden(c), c == 1 || c == 2);
  }
  EXPECT_EQ(table->columnWidth(3), 267);  // 4000 twips
  EXPECT_EQ(table->columnWidth(4), 267);

  // Ordered by Database Id; the hidden column keeps the real text.
  const std::vector<std::vector<std::string>> want = {
      {"Archive", "/srv/OdbcFiles/archive.db", "//backup/archive", "ODBC Database (Logon Hidden)",
       "//backup/archive"},
      {"Head Office", "odbc;dsn=head;uid=importer;pwd=secret", "", "ODBC Database (Logon Hidden)",
       ""},
      {"Sales", "sales.db", "/sync/sales", "sales.db", "/sync/sales"},
  };
  ASSERT_EQ(combo->rows()->rowCount(), 3);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 5; ++c) {
      SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
      EXPECT_EQ(Text(combo->rows()->index(r, c).data().toString()), want[r][c]);
    }
  }
}

TEST_F(WindowTest, PickingAnEntrySetsAndResolvesTheTarget) {
  MakeCatalogue(kEntries);
  Indexer* w = Start();
  ASSERT_NE(w, nullptr);
  struct Case {
    int row;
    std::string id, target;
    int is_odbc;
  };
  for (const Case& c : std::initializer_list<Case>{
           {2, "Sales", folder() + "/sales.db", 0},  // a bare name lies in the program's folder
           {1, "Head Office", "odbc;dsn=head;uid=importer;pwd=secret", 1},
           // "ODBC" in a folder name masks the list entry but leaves it a file.
           {0, "Archive", "/srv/OdbcFiles/archive.db", 0},
       }) {
    SCOPED_TRACE(c.id);
    Pick(*w, c.row);
    EXPECT_EQ(w->state().SelectedDatabaseId, records::Value::Text(c.id));
    EXPECT_EQ(w->state().TargetPath, c.target);
    EXPECT_EQ(w->state().TargetIsOdbc, c.is_odbc);
    EXPECT_EQ(Text(Combo(*w)->currentText()), c.id);
  }
}

TEST_F(WindowTest, TypingSelectsNothingAndClosingTheListReappliesTheCurrentRow) {
  MakeCatalogue(kEntries);
  Indexer* w = Start();
  ASSERT_NE(w, nullptr);

  // Closing the list before any row was current changes nothing.
  OpenAndClose(*w);
  EXPECT_TRUE(w->state().SelectedDatabaseId.IsEmpty());
  EXPECT_EQ(w->state().TargetPath, folder() + "/");

  Pick(*w, 2);
  QLineEdit* edit = Combo(*w)->lineEdit();
  edit->selectAll();
  QTest::keyClicks(edit, "Head");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(w->state().SelectedDatabaseId, records::Value::Text("Sales"));
  EXPECT_EQ(w->state().TargetPath, folder() + "/sales.db");
  EXPECT_EQ(Combo(*w)->count(), 3) << "typing added a row";

  OpenAndClose(*w);
  EXPECT_EQ(w->state().SelectedDatabaseId, records::Value::Text("Sales"));
  EXPECT_EQ(Text(Combo(*w)->currentText()), "Sales");
}

TEST_F(WindowTest, ClosingSavesTheChoiceAndTheNextStartRestoresIt) {
  MakeCatalogue(kEntries);
  struct Case {
    const char* how;
    int row;
    std::string id, target;
    int is_odbc;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Close button", 2, "Sales", folder() + "/sales.db", 0},
           {"close box", 1, "Head Office", "odbc;dsn=head;uid=importer;pwd=secret", 1},
       }) {
    SCOPED_TRACE(c.how);
    fs::remove(SavedSelectionPath(folder()));
    Indexer* first = Start();
    ASSERT_NE(first, nullptr);
    Pick(*first, c.row);
    if (std::string_view(c.how) == "Close button") {
      Click(Button(*first, "Command1"));
    } else {
      ASSERT_TRUE(first->close());
    }
    EXPECT_FALSE(first->isVisible());
    EXPECT_NE(SavedFile(), "<missing>");
    EXPECT_NE(SavedFile(), "");

    Indexer* next = Start();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(Text(Combo(*next)->currentText()), c.id);
    EXPECT_EQ(next->state().SelectedDatabaseId, records::Value::Text(c.id));
    EXPECT_EQ(next->state().TargetPath, c.target);
    EXPECT_EQ(next->state().TargetIsOdbc, c.is_odbc);
  }
  EXPECT_TRUE(op_.messages.empty());
}

TEST_F(WindowTest, RestoredPathHoldsUntilTheListIsClosedAgain) {
  MakeCatalogue({{"Sales", "old.db", ""}});
  Indexer* first = Start();
  ASSERT_NE(first, nullptr);
  Pick(*first, 0);
  ASSERT_TRUE(first->close());

  // The entry moves after the choice was saved.
  MakeCatalogue({{"Sales", "new.db", ""}});
  Indexer* next = Start();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(Text(Combo(*next)->currentText()), "Sales");
  EXPECT_EQ(next->state().TargetPath, folder() + "/old.db");
  OpenAndClose(*next);
  EXPECT_EQ(next->state().TargetPath, folder() + "/new.db");
}

TEST_F(WindowTest, CommandLineSelectsAnEntryOrEndsTheProgram) {
  struct Case {
    const char* what;
    bool catalogue;
    std::string command_line;
    std::optional<std::string> id;  // nothing: not found, the program ends
    std::string target;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"entry held", true, "Head Office", "Head Office",
            "odbc;dsn=head;uid=importer;pwd=secret"},
           {"letter case ignored", true, "sales", "Sales", folder() + "/sales.db"},
           {"entry not held", true, "Nowhere", std::nullopt, ""},
           {"apostrophe", true, "Sales' OR '1'='1", std::nullopt, ""},
           {"no catalogue", false, "Sales", std::nullopt, ""},
       }) {
    SCOPED_TRACE(c.what);
    fs::remove(SavedSelectionPath(folder()));
    op_.messages.clear();
    // Archive, chosen in an earlier run.
    MakeCatalogue(kEntries);
    Indexer* earlier = Start();
    ASSERT_NE(earlier, nullptr);
    Pick(*earlier, 0);
    ASSERT_TRUE(earlier->close());
    if (!c.catalogue) fs::remove(CataloguePath(folder()));
    const std::string saved = SavedFile();

    Indexer* w = Start(c.command_line);
    if (c.id.has_value()) {
      ASSERT_NE(w, nullptr);
      EXPECT_TRUE(op_.messages.empty());
      EXPECT_EQ(Text(Combo(*w)->currentText()), *c.id);
      EXPECT_EQ(w->state().SelectedDatabaseId, records::Value::Text(*c.id));
      EXPECT_EQ(w->state().TargetPath, c.target);
      continue;
    }
    EXPECT_EQ(w, nullptr) << "the program did not end";
    ASSERT_EQ(op_.messages.size(), 1u);
    EXPECT_EQ(op_.messages[0].text,
              "Database Entry Not Found in '" + folder() + "/multi.mdb'.  Exiting Application");
    EXPECT_EQ(op_.messages[0].title, "Error");
    EXPECT_EQ(op_.messages[0].icon, MessageIcon::kExclamation);
    EXPECT_EQ(SavedFile(), saved) << "the saved selection changed";
  }
}

TEST_F(WindowTest, BrowsePutsTheChosenPathInText1) {
  Indexer* w = Start();
  ASSERT_NE(w, nullptr);
  struct Case {
    const char* what;
    std::optional<std::string> answer;
    std::string want;
  };
  Text1(*w)->setText("typed.csv");
  for (const Case& c : std::initializer_list<Case>{
           {"cancelled", std::nullopt, "typed.csv"},
           {"chosen", "/data/in/export 1.csv", "/data/in/export 1.csv"},
           {"new name", "/data/in/new.txt", "/data/in/new.txt"},
       }) {
    SCOPED_TRACE(c.what);
    dialog_.answer = c.answer;
    dialog_.calls.clear();
    Click(Button(*w, "Command3"));
    ASSERT_EQ(dialog_.calls.size(), 1u);
    EXPECT_EQ(dialog_.calls[0].title, "Select File to Import");
    EXPECT_EQ(dialog_.calls[0].filter, "Talvenor Text Exported File (*.csv;*.csv) (*.csv *.txt)");
    EXPECT_EQ(Text(Text1(*w)->text()), c.want);
  }
}

TEST(QtFileFilter, TurnsBarSeparatedPairsIntoQtFilters) {
  struct Case {
    std::string_view in, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Talvenor Text Exported File (*.csv;*.csv)|*.csv;*.txt",
            "Talvenor Text Exported File (*.csv;*.csv) (*.csv *.txt)"},
           {"Text|*.txt|All files|*", "Text (*.txt);;All files (*)"},
           {"Text|*.txt;;*.csv;", "Text (*.txt *.csv)"},  // empty patterns dropped
           {"Only a description", "Only a description"},
           {"Text|", "Text"},
       }) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(QtFileFilter(c.in), c.want);
  }
}

}  // namespace
}  // namespace talvenor::app::window::testing
