#include "app/catalogue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "records/open_target.h"
#include "records/operator.h"
#include "tests/support/targets.h"

namespace talvenor::app {
namespace {

namespace fs = std::filesystem;
using records::Value;

struct Message {
  std::string text, title;
  records::MessageIcon icon;
};

class RecordingOperator : public records::Operator {
 public:
  void ShowMessage(std::string_view text, std::string_view title,
                   records::MessageIcon icon) override {
    messages.push_back({std::string(text), std::string(title), icon});
  }
  std::vector<Message> messages;
};

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = talvenor::testing::TestFolder();
    state_.AppFolder = folder_.string();
  }
  void TearDown() override { fs::remove_all(folder_); }

  // A catalogue as another tool may have written it: no constraints, any case.
  void MakeCatalogue(std::initializer_list<std::string_view> inserts) {
    auto db = records::CreateTarget({CataloguePath(state_.AppFolder)});
    ASSERT_TRUE(db.has_value()) << db.error().description;
    ASSERT_TRUE(
        (*db)->Execute("CREATE TABLE [Database Records] ([Database Id] TEXT, "
                       "[Database UNC] TEXT, [Syncronization UNC] TEXT)"));
    for (std::string_view values : inserts) {
      ASSERT_TRUE(
          (*db)->Execute("INSERT INTO [Database Records] VALUES (" + std::string(values) + ")"))
          << values;
    }
    ASSERT_TRUE((*db)->Flush());
    (*db)->Close();
  }

  fs::path folder_;
  AppState state_;
  RecordingOperator op_;
};

TEST_F(CatalogueTest, ListsEveryEntryByDatabaseId) {
  MakeCatalogue({"'Sales', 'sales.db', '/sync/sales'", "'Accounts', 'ODBC;DSN=acc', NULL",
                 "'Zeta', '/srv/odbc/z.db', ''", "'Archive', 'C:\\old\\a.mdb', 'x'"});
  auto rows = ListCatalogue(CataloguePath(state_.AppFolder));
  ASSERT_TRUE(rows.has_value()) << rows.error().description;
  struct Want {
    std::string id, unc, sync;
  };
  const std::vector<Want> want = {{"Accounts", "ODBC;DSN=acc", ""},
                                  {"Archive", "C:\\old\\a.mdb", "x"},
                                  {"Sales", "sales.db", "/sync/sales"},
                                  {"Zeta", "/srv/odbc/z.db", ""}};
  ASSERT_EQ(rows->size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(want[i].id);
    const CatalogueRow& row = (*rows)[i];
    EXPECT_EQ(row.database_id, want[i].id);
    EXPECT_EQ(row.database_unc, want[i].unc);
    EXPECT_EQ(row.sync_unc, want[i].sync);
    EXPECT_EQ(row.database, want[i].unc);
    EXPECT_EQ(row.sync_path, want[i].sync);
  }
}

TEST_F(CatalogueTest, MissingOrForeignCatalogueIsAnError) {
  EXPECT_FALSE(ListCatalogue(CataloguePath(state_.AppFolder)).has_value());
  EXPECT_FALSE(fs::exists(CataloguePath(state_.AppFolder)));  // never created by reading
  auto db = records::CreateTarget({CataloguePath(state_.AppFolder)});
  ASSERT_TRUE(db.has_value());
  ASSERT_TRUE((*db)->Execute("CREATE TABLE Other (x TEXT)"));
  (*db)->Close();
  EXPECT_FALSE(ListCatalogue(CataloguePath(state_.AppFolder)).has_value());
}

TEST(DisplayedDatabase, HidesConnectionTexts) {
  struct Case {
    std::string_view unc, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"ODBC;DSN=Sales;UID=sa;PWD=x", "ODBC Database (Logon Hidden)"},
           {"odbc;dsn=sales", "ODBC Database (Logon Hidden)"},
           {"ODBC/||SGVsbG8=", "ODBC Database (Logon Hidden)"},
           {"/srv/OdBc-files/jobs.db", "ODBC Database (Logon Hidden)"},  // letters in a folder
           {"/srv/data/jobs.db", "/srv/data/jobs.db"},
           {"O D B C", "O D B C"},
           {"", ""},
       }) {
    SCOPED_TRACE(c.unc);
    EXPECT_EQ(DisplayedDatabase(c.unc), c.want);
  }
}

TEST_F(CatalogueTest, CommandLineSelectsTheNamedEntry) {
  MakeCatalogue({"'Sales', 'sales.db', ''", "'O''Brien Staffing', 'ODBC;DSN=ob', ''",
                 "'First', '/srv/first.db', ''"});
  struct Case {
    std::string command_line, id, path;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Sales", "Sales", "sales.db"},
           {"O'Brien Staffing", "O'Brien Staffing", "ODBC;DSN=ob"},
       }) {
    SCOPED_TRACE(c.command_line);
    state_.SelectedDatabaseId = Value::Text("saved");
    state_.TargetPath = "/saved.db";
    EXPECT_TRUE(LookUpCommandLine(state_, c.command_line, op_));
    EXPECT_EQ(state_.SelectedDatabaseId, Value::Text(c.id));
    EXPECT_EQ(state_.TargetPath, c.path);  // unresolved until DoPath runs
  }
  EXPECT_TRUE(op_.messages.empty());
}

TEST_F(CatalogueTest, UnknownEntryEndsWithTheMessage) {
  MakeCatalogue({"'Sales', 'sales.db', ''", "'First', '/srv/first.db', ''"});
  for (const std::string command_line : {"Payroll", "sales ", "x' OR '1'='1", "'"}) {
    SCOPED_TRACE(command_line);
    op_.messages.clear();
    state_.SelectedDatabaseId = Value::Text("saved");
    state_.TargetPath = "/saved.db";
    EXPECT_FALSE(LookUpCommandLine(state_, command_line, op_));
    ASSERT_EQ(op_.messages.size(), 1u);
    EXPECT_EQ(op_.messages[0].text, "Database Entry Not Found in '" + state_.AppFolder +
                                        "/multi.mdb'.  Exiting Application");
    EXPECT_EQ(op_.messages[0].title, "Error");
    EXPECT_EQ(op_.messages[0].icon, records::MessageIcon::kExclamation);
    EXPECT_EQ(state_.SelectedDatabaseId, Value::Text("saved"));
    EXPECT_EQ(state_.TargetPath, "/saved.db");
  }
}

TEST_F(CatalogueTest, CommandLineWithoutCatalogue) {
  EXPECT_TRUE(LookUpCommandLine(state_, "", op_));  // no argument: nothing to look up
  EXPECT_TRUE(op_.messages.empty());
  EXPECT_FALSE(LookUpCommandLine(state_, "Sales", op_));
  EXPECT_EQ(op_.messages.size(), 1u);
}

TEST_F(CatalogueTest, ChoosingAnEntryResolvesItsPath) {
  struct Case {
    CatalogueRow row;
    std::string path;
    int odbc;
  };
  for (const Case& c : std::initializer_list<Case>{
           {{"Sales", "sales.db", "", "sales.db", ""}, state_.AppFolder + "/sales.db", 0},
           {{"Acc", "odbc;dsn=acc", "", "odbc;dsn=acc", ""}, "odbc;dsn=acc", 1},
           {{"", "/srv/x.db", "", "/srv/x.db", ""}, "/srv/x.db", 0},
       }) {
    SCOPED_TRACE(c.row.database_id);
    ChooseEntry(state_, c.row);
    EXPECT_EQ(state_.SelectedDatabaseId, Value::Text(c.row.database_id));
    EXPECT_EQ(state_.TargetPath, c.path);
    EXPECT_EQ(state_.TargetIsOdbc, c.odbc);
  }
}

}  // namespace
}  // namespace talvenor::app
