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
    fs::create_directories(root_ / "bin");
  }
  void TearDown() override {
    fs::permissions(root_ / "bin", fs::perms::owner_all);
    fs::remove_all(root_);
  }
  void Touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file).put('x');
  }
  std::string bin() const { return (root_ / "bin").string(); }
  fs::path root_;
};

TEST_F(AppFolderTest, ChoosesByTheRule) {
  const FolderEnvironment env{"", (root_ / "home").string()};
  const std::string config = (root_ / "home/.config/talvenor").string();
  struct Case {
    const char* name;
    std::vector<std::string> files;  // under the prefix
    std::string given;
    std::string want;  // "BIN", "CONFIG" or a folder as given
  };
  for (const Case& c : std::initializer_list<Case>{
           {"build", {"bin/libtalvenor-decode.so"}, "", "BIN"},
           {"installed", {"lib/talvenor/libtalvenor-decode.so"}, "", "CONFIG"},
           {"installed, --folder", {"lib/talvenor/libtalvenor-decode.so"}, "/srv/cat", "/srv/cat"},
           {"installed, catalogue beside",
            {"lib/talvenor/libtalvenor-decode.so", "bin/multi.mdb"},
            "",
            "BIN"},
           {"installed, selection beside",
            {"lib/talvenor/libtalvenor-decode.so", "bin/talvenor.dat"},
            "",
            "BIN"},
           {"portable copy with the library in both places",
            {"bin/libtalvenor-decode.so", "lib/talvenor/libtalvenor-decode.so"},
            "",
            "BIN"},
           {"build, --folder", {"bin/libtalvenor-decode.so"}, "/srv/cat", "/srv/cat"},
       }) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_);
    fs::create_directories(root_ / "bin");
    for (const std::string& file : c.files) Touch(root_ / file);
    const AppFolderChoice got = ChooseAppFolder(c.given, bin(), env);
    const std::string want = c.want == "BIN" ? bin() : c.want == "CONFIG" ? config : c.want;
    EXPECT_EQ(got.folder, want);
    EXPECT_EQ(got.is_config_folder, c.want == "CONFIG");
  }
}

TEST_F(AppFolderTest, AnInstalledProgramWithoutAHomeKeepsItsFolder) {
  Touch(root_ / "lib/talvenor/libtalvenor-decode.so");
  const AppFolderChoice got = ChooseAppFolder("", bin(), {"", ""});
  EXPECT_EQ(got.folder, bin());
  EXPECT_FALSE(got.is_config_folder);
}

TEST_F(AppFolderTest, AFolderTheOperatorCannotWriteIsAnInstallation) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes to every folder";
  Touch(root_ / "bin/libtalvenor-decode.so");
  fs::permissions(root_ / "bin", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(IsInstalledProgram(bin()));
  EXPECT_TRUE(ChooseAppFolder("", bin(), {"/cfg", ""}).is_config_folder);
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
