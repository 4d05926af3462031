#include "app/saved_selection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

#include "tests/support/targets.h"

namespace talvenor::app {
namespace {

namespace fs = std::filesystem;
using records::Value;

// A record of the file built from the layout: `value` then zero bytes up to
// 128.
std::string Record(std::string value) {
  value.resize(kSelectionRecordSize, '\0');
  return value;
}

std::string U16(unsigned n) { return {char(n & 0xFF), char(n >> 8)}; }

class SavedSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = talvenor::testing::TestFolder();
    state_.AppFolder = folder_.string();
    file_ = folder_ / "talvenor.dat";
  }
  void TearDown() override { fs::remove_all(folder_); }

  void WriteFile(const std::string& bytes) {
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string ReadFile() {
    std::ifstream in(file_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  mode_t Mode() {
    struct stat st {};
    EXPECT_EQ(stat(file_.c_str(), &st), 0);
    return st.st_mode & 0777;
  }

  fs::path folder_;
  fs::path file_;
  AppState state_;
};

TEST_F(SavedSelectionTest, WritesTheTwoRecordsByteForByte) {
  struct Case {
    std::string name;
    Value id;
    std::string path, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"text id", Value::Text("Sales"), "/srv/jobs.db",
            Record(U16(8) + U16(5) + "Sales") + Record(U16(12) + "/srv/jobs.db")},
           {"no id", Value::Empty(), "", Record(U16(0)) + Record(U16(0))},
           {"null id", Value::Null(), "x", Record(U16(0)) + Record(U16(1) + "x")},
           {"empty id", Value::Text(""), "", Record(U16(8) + U16(0)) + Record(U16(0))},
           {"Windows-1252", Value::Text("Caf\xC3\xA9"), "/d/\xE2\x82\xAC",  // é, €
            Record(U16(8) + U16(4) + "Caf\xE9") + Record(U16(4) + "/d/\x80")},
           {"longest values", Value::Text(std::string(124, 'i')), std::string(126, 'p'),
            Record(U16(8) + U16(124) + std::string(124, 'i')) +
                Record(U16(126) + std::string(126, 'p'))},
       }) {
    SCOPED_TRACE(c.name);
    state_.SelectedDatabaseId = c.id;
    state_.TargetPath = c.path;
    Save(state_);
    EXPECT_EQ(ReadFile(), c.want);

    AppState restored;
    restored.AppFolder = state_.AppFolder;
    Restore(restored);
    EXPECT_EQ(restored.SelectedDatabaseId, c.id.IsNull() ? Value::Empty() : c.id);
    EXPECT_EQ(restored.TargetPath, c.path);
  }
}

TEST_F(SavedSelectionTest, ReadsShortAndMalformedFiles) {
  struct Case {
    std::string name, bytes;
    Value id;
    std::string path;
  };
  const std::string good_id = Record(U16(8) + U16(3) + "Ops");
  for (const Case& c : std::initializer_list<Case>{
           {"empty file", "", Value::Empty(), ""},
           {"half a tag", "\x08", Value::Empty(), ""},
           {"ends after the id", U16(8) + U16(3) + "Ops", Value::Text("Ops"), ""},
           {"ends inside the id", U16(8) + U16(5) + "Op", Value::Empty(), ""},
           {"tag without length", U16(8), Value::Empty(), ""},
           {"ends after the path", good_id + U16(2) + "hi", Value::Text("Ops"), "hi"},
           {"ends inside the path", good_id + U16(9) + "/a", Value::Text("Ops"), ""},
           {"unknown tag", Record(U16(3) + U16(3) + "Ops") + Record(U16(1) + "p"), Value::Empty(),
            "p"},
           {"tag 0 with leftovers", Record(U16(0) + U16(3) + "Ops"), Value::Empty(), ""},
           {"id longer than its record", Record(U16(8) + U16(125)) + Record(U16(1) + "p"),
            Value::Empty(), "p"},
           {"id length past the file", Record(U16(8) + U16(0xFFFF)), Value::Empty(), ""},
           {"path longer than its record", good_id + Record(U16(127) + std::string(126, 'p')),
            Value::Text("Ops"), ""},
           {"bytes above 127", Record(U16(8) + U16(2) + "\xE9\xA0") + Record(U16(1) + "\x80"),
            Value::Text("\xC3\xA9\xC2\xA0"), "\xE2\x82\xAC"},
       }) {
    SCOPED_TRACE(c.name);
    WriteFile(c.bytes);
    state_.SelectedDatabaseId = Value::Text("stale");
    state_.TargetPath = "stale";
    Restore(state_);
    EXPECT_EQ(state_.SelectedDatabaseId, c.id);
    EXPECT_EQ(state_.TargetPath, c.path);
  }
}

TEST_F(SavedSelectionTest, FirstStartCreatesAnEmptyPrivateFile) {
  Restore(state_);
  EXPECT_TRUE(state_.SelectedDatabaseId.IsEmpty());
  EXPECT_EQ(state_.TargetPath, "");
  ASSERT_TRUE(fs::exists(file_));
  EXPECT_EQ(fs::file_size(file_), 0u);
  EXPECT_EQ(Mode(), 0600u);
}

TEST_F(SavedSelectionTest, NarrowsAnOlderFileToItsOwner) {
  WriteFile("");
  ASSERT_EQ(chmod(file_.c_str(), 0644), 0);
  state_.TargetPath = "ODBC;DSN=Sales;PWD=secret";
  Save(state_);
  EXPECT_EQ(Mode(), 0600u);
}

// Writing only the record that fits used to pair the new id with the old path,
// so the next start imported into another entry's database.
TEST_F(SavedSelectionTest, SavesNoSelectionWhenAValueDoesNotFit) {
  struct Case {
    std::string name;
    Value id;
    std::string path;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"path of 127 bytes", Value::Text("New"), "/" + std::string(126, 'p')},
           {"id of 125 bytes", Value::Text(std::string(125, 'i')), "/srv/new.db"},
           {"path not in Windows-1252", Value::Text("New"), "/srv/\xE6\x97\xA5.db"},
           {"id not in Windows-1252", Value::Text("\xE6\x97\xA5"), "/srv/new.db"},
           {"path of 126 characters but 127 bytes", Value::Text("New"),
            std::string(125, 'p') + "\xC3\xA9\xC3\xA9"},
       }) {
    SCOPED_TRACE(c.name);
    WriteFile(Record(U16(8) + U16(3) + "Old") + Record(U16(11) + "/srv/old.db"));
    state_.SelectedDatabaseId = c.id;
    state_.TargetPath = c.path;
    Save(state_);
    EXPECT_EQ(ReadFile(), Record(U16(0)) + Record(U16(0)));
    Restore(state_);
    EXPECT_TRUE(state_.SelectedDatabaseId.IsEmpty());
    EXPECT_EQ(state_.TargetPath, "");
  }
}

TEST_F(SavedSelectionTest, UnwritableFolderSavesNothing) {
  state_.AppFolder = (folder_ / "missing" / "deeper").string();
  state_.SelectedDatabaseId = Value::Text("Sales");
  state_.TargetPath = "/srv/jobs.db";
  Save(state_);
  Restore(state_);
  EXPECT_TRUE(state_.SelectedDatabaseId.IsEmpty());
  EXPECT_EQ(state_.TargetPath, "");
  EXPECT_FALSE(fs::exists(state_.AppFolder));
}

}  // namespace
}  // namespace talvenor::app
