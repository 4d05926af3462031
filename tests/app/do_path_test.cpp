#include "app/do_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/app_folder.h"
#include "app/decode_library.h"

namespace talvenor::app {
namespace {

// The decoding library is built beside the program.
std::string BinFolder() { return FolderOf(TALVENOR_IMPORT_EXE); }

class DoPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = DecodeLibrary::Load(BinFolder());
    ASSERT_TRUE(library_.loaded()) << "libtalvenor-decode.so not found in " << BinFolder();
    state_.AppFolder = "/opt/talvenor";
  }

  std::string Encoded(std::string_view plain) {
    std::optional<std::string> cipher = EncodeString(plain, DecodeKey, library_.functions());
    EXPECT_TRUE(cipher.has_value());
    return "ODBC/" + cipher.value_or("");
  }
  std::string Base64Encoded(std::string_view plain) {
    std::optional<std::string> cipher = EncodeString(plain, DecodeKey, library_.functions());
    std::optional<std::string> b64 = EncodeBase64(cipher.value_or(""), library_.functions());
    EXPECT_TRUE(cipher.has_value() && b64.has_value());
    return "ODBC/||" + b64.value_or("");
  }

  DecodeLibrary library_;
  AppState state_;
};

TEST_F(DoPathTest, ResolvesEveryEntryForm) {
  const std::string plain = "ODBC;DSN=Sales;UID=sa;PWD=p'ss|w\xC3\xB6rd";  // ö: one byte in 1252
  struct Case {
    std::string in, want;
    int odbc;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"ODBC;DSN=Sales;UID=sa", "ODBC;DSN=Sales;UID=sa", 1},
           {"odbc;dsn=sales", "odbc;dsn=sales", 1},
           // Only "ODBC/" in these capitals is encoded; in other letters it is
           // a relative path into a folder named odbc.
           {"odbc/" + Encoded(plain).substr(5), "odbc/" + Encoded(plain).substr(5), 0},
           {"Odbc/||QUJD", "Odbc/||QUJD", 0},
           {"/srv/OdBc files/jobs.db", "/srv/OdBc files/jobs.db", 0},  // letters in a folder name
           {"ODBC", "/opt/talvenor/ODBC", 0},  // a bare file name, whatever its letters
           {"Driver={PostgreSQL Unicode};Server=db1;Database=jobs",
            "Driver={PostgreSQL Unicode};Server=db1;Database=jobs", 1},
           {"DSN=Sales", "DSN=Sales", 1},
           {"filedsn=/etc/odbc/sales.dsn", "filedsn=/etc/odbc/sales.dsn", 1},
           {Encoded(plain), plain, 1},
           {Base64Encoded(plain), plain, 1},
           {"ODBC/", "", 1},
           {"ODBC/||", "", 1},             // empty Base64: empty text to decipher
           {"ODBC/||not base64!", "", 1},  // undecodable: "ODBC/" goes on, then empty
           {"/srv/data/jobs.db", "/srv/data/jobs.db", 0},
           {"data/jobs.db", "data/jobs.db", 0},
           {"C:\\Data\\jobs.mdb", "C:\\Data\\jobs.mdb", 0},
           {"\\\\server\\share\\jobs.mdb", "\\\\server\\share\\jobs.mdb", 0},
           {"jobs.db", "/opt/talvenor/jobs.db", 0},
           {"", "/opt/talvenor/", 0},
       }) {
    SCOPED_TRACE(c.in);
    std::string path = c.in;
    state_.TargetIsOdbc = 1 - c.odbc;  // DoPath must set it either way
    DoPath(state_, path, library_.functions());
    EXPECT_EQ(path, c.want);
    EXPECT_EQ(state_.TargetIsOdbc, c.odbc);
  }
}

TEST_F(DoPathTest, DeciphersInPlaceWithTheSameLength) {
  const std::string plain = "ODBC;DRIVER={SQL Server};SERVER=db1;UID=imp;PWD=Zq9~ !";
  const std::string encoded = Encoded(plain).substr(5);
  EXPECT_NE(encoded, plain);
  EXPECT_EQ(encoded.size(), plain.size());
  for (char ch : encoded) EXPECT_TRUE(ch >= 32 && ch <= 126) << int(ch);
  // Another key does not give the plain text back.
  EXPECT_NE(DecodeString(encoded, DecodeKey + 1, library_.functions()), plain);
  EXPECT_EQ(DecodeString(encoded, DecodeKey, library_.functions()), plain);
  // Bytes outside the printable range pass unchanged.
  EXPECT_EQ(DecodeString("\t\xC3\xA9", DecodeKey, library_.functions()), "\t\xC3\xA9");
}

TEST_F(DoPathTest, RunsAgainOnItsOwnResult) {
  struct Case {
    std::string app_folder, entry;
    int second_odbc;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"/opt/talvenor", "jobs.db", 0},
           {"/opt/Odbc-tools", "jobs.db", 0},  // the folder's name does not make it ODBC
       }) {
    SCOPED_TRACE(c.app_folder);
    state_.AppFolder = c.app_folder;
    std::string path = c.entry;
    DoPath(state_, path, library_.functions());
    const std::string first = path;
    DoPath(state_, path, library_.functions());
    EXPECT_EQ(path, first);
    EXPECT_EQ(state_.TargetIsOdbc, c.second_odbc);
  }
  // A decoded connection text is not decoded again.
  std::string path = Encoded("ODBC;DSN=x");
  DoPath(state_, path, library_.functions());
  DoPath(state_, path, library_.functions());
  EXPECT_EQ(path, "ODBC;DSN=x");
}

TEST_F(DoPathTest, LoadsTheLibraryFromTheProgramFolder) {
  state_.AppFolder = BinFolder();
  std::string path = Base64Encoded("ODBC;DSN=Payroll");
  DoPath(state_, path);
  EXPECT_EQ(path, "ODBC;DSN=Payroll");
}

TEST_F(DoPathTest, CommandLineTargetsAreRelativeToTheCurrentFolder) {
  const std::string plain = "ODBC;DSN=Sales;UID=sa";
  struct Case {
    std::string in, want;
    int odbc;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"jobs.db", "jobs.db", 0},  // not the program's folder
           {"data/jobs.db", "data/jobs.db", 0},
           {"/srv/odbc/jobs.db", "/srv/odbc/jobs.db", 0},
           {plain, plain, 1},
           {"Driver={PostgreSQL Unicode};Server=db1", "Driver={PostgreSQL Unicode};Server=db1", 1},
           {Encoded(plain), plain, 1},  // the catalogue's forms are still decoded
           {Base64Encoded(plain), plain, 1},
       }) {
    SCOPED_TRACE(c.in);
    state_.AppFolder = BinFolder();  // where the library is loaded from
    state_.TargetIsOdbc = 1 - c.odbc;
    std::string path = c.in;
    ResolveCommandLineTarget(state_, path);
    EXPECT_EQ(path, c.want);
    EXPECT_EQ(state_.TargetIsOdbc, c.odbc);
  }
}

TEST(DoPath, MissingLibraryLeavesTheTextBeforeTheFailedStep) {
  AppState state;
  state.AppFolder = "/opt/talvenor";
  const DecodeFunctions missing;
  struct Case {
    std::string in, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"ODBC/HQ*;4RhT", "ODBC/HQ*;4RhT"},
           {"ODBC/||QUJD", "ODBC/"},  // Base64 fails to empty, deciphering is skipped
           {"ODBC;DSN=x", "ODBC;DSN=x"},
           {"jobs.db", "/opt/talvenor/jobs.db"},
       }) {
    SCOPED_TRACE(c.in);
    std::string path = c.in;
    DoPath(state, path, missing);
    EXPECT_EQ(path, c.want);
  }
}

TEST(DoPath, LibraryThatCannotBeLoadedIsSkipped) {
  const std::filesystem::path empty =
      std::filesystem::temp_directory_path() / ("talvenor-nolib-" + std::to_string(getpid()));
  std::filesystem::create_directories(empty);
  if (DecodeLibrary::Load(empty.string()).loaded()) {
    std::filesystem::remove_all(empty);
    GTEST_SKIP() << "the library is on the loader's search path";
  }
  AppState state;
  state.AppFolder = empty.string();
  std::string path = "ODBC/HQ*;4RhT";
  DoPath(state, path);
  EXPECT_EQ(path, "ODBC/HQ*;4RhT");
  EXPECT_EQ(state.TargetIsOdbc, 1);
  std::filesystem::remove_all(empty);
}

TEST(DecodeString, RefusesTextWithoutSingleByteForm) {
  int calls = 0;
  DecodeFunctions lib;
  lib.str_decode = [&](char*, int32_t, int32_t) { return ++calls, 0; };
  EXPECT_EQ(DecodeString("DSN=\xE6\x97\xA5", DecodeKey, lib), std::nullopt);
  EXPECT_EQ(calls, 0);
  AppState state;
  std::string path = "ODBC/\xE6\x97\xA5";
  DoPath(state, path, lib);
  EXPECT_EQ(path, "ODBC/\xE6\x97\xA5");
}

TEST(DecodeBase64, GivesUpAfterFiftyTooSmallAnswers) {
  std::vector<int32_t> sizes;
  DecodeFunctions lib;
  lib.base64_decode = [&](const char*, char*, int32_t* n) {
    sizes.push_back(*n);
    return -1;
  };
  EXPECT_EQ(DecodeBase64("", lib), "");
  EXPECT_EQ(sizes, std::vector<int32_t>(50, 0));
}

TEST(DecodeBase64, DoublesTheBufferUntilItFits) {
  std::vector<int32_t> sizes;
  DecodeFunctions lib;
  lib.base64_decode = [&](const char* text, char* out, int32_t* n) {
    EXPECT_STREQ(text, "QUJD");
    sizes.push_back(*n);
    if (*n < 32) return -1;
    out[*n - 1] = 'x';  // the whole buffer is there to write
    out[0] = 'A', out[1] = 'B';
    *n = 2;
    return 7;  // any answer but -1 is success
  };
  EXPECT_EQ(DecodeBase64("QUJD", lib), "AB");
  EXPECT_EQ(sizes, (std::vector<int32_t>{4, 8, 16, 32}));
}

TEST(DecodeBase64, StopsBeforeTheSizeOverflows) {
  int calls = 0;
  DecodeFunctions lib;
  lib.base64_decode = [&](const char*, char*, int32_t* n) {
    ++calls;
    *n = 0x40000000;  // doubled, no longer a 32-bit size
    return -1;
  };
  EXPECT_EQ(DecodeBase64("QUJD", lib), "");
  EXPECT_EQ(calls, 1);
}

TEST(DecodeBase64, RejectsLengthsOutsideTheBuffer) {
  struct Case {
    int32_t reported;
    std::string want;
  };
  for (const Case& c : std::initializer_list<Case>{{5, ""}, {-3, ""}, {4, "wxyz"}, {0, ""}}) {
    SCOPED_TRACE(c.reported);
    DecodeFunctions lib;
    lib.base64_decode = [&](const char*, char* out, int32_t* n) {
      std::copy_n("wxyz", 4, out);
      *n = c.reported;
      return 0;
    };
    EXPECT_EQ(DecodeBase64("QUJD", lib), c.want);
  }
}

TEST_F(DoPathTest, RealLibraryDecodesStandardBase64) {
  struct Case {
    std::string_view in, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"", ""},
           {"QQ==", "A"},
           {"QUI=", "AB"},
           {"QUJD", "ABC"},
           {"6Q==", "\xC3\xA9"},  // byte 233 is é in Windows-1252
           {"QQ", ""},            // padding missing
           {"QR==", ""},          // bits left over
           {"Q===", ""},
           {"QU JD", ""},
           {"QUJD\n", ""},
       }) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(DecodeBase64(c.in, library_.functions()), c.want);
  }
  // Long enough to need a buffer larger than the text is never the case for
  // Base64, but a text with a zero byte inside must not decode in part.
  EXPECT_EQ(DecodeBase64(std::string("QUJD\0QUJD", 9), library_.functions()), "");
}

}  // namespace
}  // namespace talvenor::app
