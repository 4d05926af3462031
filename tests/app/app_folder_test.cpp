// The folder rule for the catalogue and the saved selection: --folder, a
// portable copy, an installed program and the operator's config folder.
#include "app/app_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace talvenor::app {
namespace {

namespace fs = std::filesystem;

TEST(ConfigFolder, XdgConfigHomeThenHome) {
  struct Case {
    FolderEnvironment env;
    std::string want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {{"/x/cfg", "/home/op"}, "/x/cfg/talvenor"},
           {{"", "/home/op"}, "/home/op/.config/talvenor"},
           {{"relative/cfg", "/home/op/"}, "/home/op/.config/talvenor"},  // relative: ignored
           {{"", "/"}, "/.config/talvenor"},
           {{"", "home/op"}, ""},  // nothing absolute to go by
           {{"", ""}, ""},
       }) {
    SCOPED_TRACE(c.env.xdg_config_home + "|" + c.env.home);
    EXPECT_EQ(ConfigFolder(c.env), c.want);
  }
}

// A prefix laid out as an installation (bin/ and lib/talvenor/) or as a
// build (the library beside the program), with or without the files.
class AppFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("talvenor-appfolder-" + std::to_string(getpid()));
    fs::remove_all(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  void Touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file).put('x');
  }
  fs::path root_;
};

TEST_F(AppFolderTest, ChoosesByTheRule) {
  const std::string bin = (root_ / "bin").string();
  const FolderEnvironment home{"", "/home/op"};
  constexpr const char* kInstalled = "lib/talvenor/libtalvenor-decode.so";
  struct Case {
    const char* name;
    std::vector<std::string> files;  // under the prefix
    std::string given;
    FolderEnvironment env;
    std::string want;  // "BIN" for the program's folder
  };
  for (const Case& c : std::initializer_list<Case>{
           {"build", {"bin/libtalvenor-decode.so"}, "", home, "BIN"},
           {"installed", {kInstalled}, "", home, "/home/op/.config/talvenor"},
           {"installed, --folder", {kInstalled}, "/srv/cat", home, "/srv/cat"},
           {"installed, catalogue beside", {kInstalled, "bin/multi.mdb"}, "", home, "BIN"},
           {"installed, selection beside", {kInstalled, "bin/talvenor.dat"}, "", home, "BIN"},
           {"installed, no home", {kInstalled}, "", {"", ""}, "BIN"},
           {"copy with the library in both places",
            {"bin/libtalvenor-decode.so", kInstalled},
            "",
            home,
            "BIN"},
       }) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_);
    fs::create_directories(bin);
    for (const std::string& file : c.files) Touch(root_ / file);
    const AppFolderChoice got = ChooseAppFolder(c.given, bin, c.env);
    EXPECT_EQ(got.folder, c.want == "BIN" ? bin : c.want);
    EXPECT_EQ(got.is_config_folder, c.want.ends_with("/.config/talvenor"));
  }
}

TEST_F(AppFolderTest, MakesTheFolderAndItsParentsOwnerOnly) {
  const fs::path folder = root_ / "home/.config/talvenor";
  ASSERT_TRUE(MakeAppFolder(folder.string()));
  ASSERT_TRUE(MakeAppFolder(folder.string()));  // already there
  for (const fs::path& made : {folder, folder.parent_path()}) {
    struct stat st {};
    ASSERT_EQ(::stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
  }
  Touch(root_ / "file");
  EXPECT_FALSE(MakeAppFolder((root_ / "file/sub").string()));
}

}  // namespace
}  // namespace talvenor::app
