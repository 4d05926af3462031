#pragma once

// A folder of the test's own taken as the program's (its multi.mdb and
// talvenor.dat), recorders in place of the message boxes and the file dialog,
// and helpers that drive the real window's widgets.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/catalogue.h"
#include "app/saved_selection.h"
#include "app/window/catalogue_combo.h"
#include "app/window/indexer.h"
#include "app/window/qt_seams.h"
#include "records/open_target.h"
#include "records/sql_quote.h"
#include "tests/support/recording_operator.h"
#include "tests/support/targets.h"

namespace talvenor::app::window::testing {

namespace fs = std::filesystem;

// Answers Browse's dialog in the operator's place and keeps what it was asked.
class RecordingFileDialog final : public FileDialog {
 public:
  struct Call {
    std::string title, filter;
  };
  std::optional<std::string> ShowSave(QWidget*, std::string_view title,
                                      std::string_view filter) override {
    calls.push_back({std::string(title), std::string(filter)});
    return answer;
  }
  std::optional<std::string> answer;  // nothing: the operator cancels
  std::vector<Call> calls;
};

// Answers the stop question and the failure boxes of a run in the operator's
// place, and keeps what it was shown.
class RecordingRunDialogs final : public RunDialogs {
 public:
  struct Failure {
    std::string text;
    long line;
  };
  bool AskToStop(QWidget*) override {
    ++questions;
    if (on_question) on_question();
    return stop;
  }
  bool ShowLineFailure(QWidget*, std::string_view text, std::string_view, records::MessageIcon,
                       long line) override {
    failures.push_back({std::string(text), line});
    return static_cast<long>(failures.size()) >= dont_show_after;
  }
  bool AskImportAnyway(QWidget*, std::string_view why) override {
    refusals.emplace_back(why);
    return import_anyway;
  }
  bool stop = false;                  // the answer to the stop question
  bool import_anyway = false;         // the answer to a refused file's box
  std::vector<std::string> refusals;  // why each refused file was refused
  std::function<void()> on_question;  // runs while the question is open
  long dont_show_after = 1L << 30;    // the box that gets the check box ticked
  int questions = 0;
  std::vector<Failure> failures;
};

// One row of [Database Records].
struct Entry {
  std::string id, unc, sync;
};

inline std::string Text(const QString& text) { return text.toStdString(); }

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = talvenor::testing::TestFolder(); }
  void TearDown() override {
    windows_.clear();
    fs::remove_all(folder_);
  }

  std::string folder() const { return folder_.string(); }

  // Writes multi.mdb afresh with `entries`.
  void MakeCatalogue(const std::vector<Entry>& entries) {
    const std::string path = CataloguePath(folder());
    fs::remove(path);
    auto db = records::CreateTarget({path});
    ASSERT_TRUE(db.has_value()) << db.error().description;
    ASSERT_TRUE(
        (*db)->Execute("CREATE TABLE [Database Records] ([Database Id] TEXT COLLATE NOCASE, "
                       "[Database UNC] TEXT, [Syncronization UNC] TEXT)"));
    for (const Entry& e : entries) {
      ASSERT_TRUE((*db)->Execute("INSERT INTO [Database Records] VALUES ('" +
                                 records::SqlQuote(e.id) + "', '" + records::SqlQuote(e.unc) +
                                 "', '" + records::SqlQuote(e.sync) + "')"));
    }
    ASSERT_TRUE((*db)->Flush());
    (*db)->Close();
  }

  // Starts a window as the program does: Form_Load, then show. Null when
  // start-up asked the program to end (the window is then never shown).
  Indexer* Start(std::string command_line = "") {
    IndexerOptions options;
    options.AppFolder = folder();
    options.command_line = std::move(command_line);
    options.op = &op_;
    options.file_dialog = &dialog_;
    options.run_dialogs = &run_dialogs_;
    auto window = std::make_unique<Indexer>(std::move(options));
    if (!window->Form_Load()) return nullptr;
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    windows_.push_back(std::move(window));
    return windows_.back().get();
  }

  template <class T>
  static T* Child(Indexer& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static CatalogueCombo* Combo(Indexer& w) { return Child<CatalogueCombo>(w, "SSDBCombo1"); }
  static QLineEdit* Text1(Indexer& w) { return Child<QLineEdit>(w, "Text1"); }
  static QListWidget* List1(Indexer& w) { return Child<QListWidget>(w, "List1"); }
  static QPushButton* Button(Indexer& w, const char* name) { return Child<QPushButton>(w, name); }

  static void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

  // Opens the list and clicks the row, as the operator does.
  static void Pick(Indexer& w, int row) {
    CatalogueCombo* combo = Combo(w);
    combo->showPopup();
    QTableView* table = combo->table();
    ASSERT_TRUE(table->isVisible());
    const QRect cell = table->visualRect(combo->rows()->index(row, 0));
    ASSERT_TRUE(cell.isValid()) << "row " << row;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QCoreApplication::processEvents();  // the close-up is queued
    EXPECT_FALSE(table->isVisible());
  }

  // Opens the list and closes it without a pick.
  static void OpenAndClose(Indexer& w) {
    CatalogueCombo* combo = Combo(w);
    combo->showPopup();
    ASSERT_TRUE(combo->table()->isVisible());
    QTest::keyClick(combo->table(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(combo->table()->isVisible());
  }

  // talvenor.dat as bytes; "<missing>" when there is none.
  std::string SavedFile() const {
    std::ifstream in(SavedSelectionPath(folder()), std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path folder_;
  talvenor::testing::RecordingOperator op_;
  RecordingFileDialog dialog_;
  RecordingRunDialogs run_dialogs_;
  std::vector<std::unique_ptr<Indexer>> windows_;
};

}  // namespace talvenor::app::window::testing
