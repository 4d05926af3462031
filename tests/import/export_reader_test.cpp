#include "import/export_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/import/export_file.h"

namespace talvenor::import {
namespace {

using testing::Read;
using testing::ReadAll;
using testing::WriteFile;

using namespace std::string_literals;

std::vector<std::string> Texts(std::string_view bytes) {
  std::vector<std::string> texts;
  for (const Read& r : ReadAll(bytes)) texts.push_back(r.text);
  return texts;
}

TEST(ExportReader, SplitsLinesAtTheRightEnds) {
  struct Case {
    std::string in;
    std::vector<std::string> want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"a\rb\rc", {"a", "b", "c"}},      // CR alone; final line without end
           {"a\r\nb\r\n", {"a", "b"}},        // CRLF
           {"a\nb\nc\n", {"a", "b", "c"}},    // no CR anywhere: LF ends lines
           {"a\nb\r\nc", {"a\nb", "c"}},      // a file with a CR keeps lone LFs
           {"a\nb\nc\rd", {"a\nb\nc", "d"}},  // ... even when the CR comes late
           {"a\r\n\nb\r\n", {"a", "\nb"}},    // LF after a CRLF is text
           {"a\r\r\nb", {"a", "b"}},          // empty line between
           {"\r\n\r\na\r\n\r\n", {"a"}},      // empty lines anywhere
           {"a\n\n\nb", {"a", "b"}},          // empty lines in an LF file
           {"", {}},
           {"\r\n", {}},
           {"\n", {}},
           {"only", {"only"}},
       }) {
    SCOPED_TRACE(::testing::PrintToString(c.in));
    EXPECT_EQ(Texts(c.in), c.want);
  }
}

TEST(ExportReader, NumbersDataLinesAndPhysicalLines) {
  const std::vector<Read> lines = ReadAll("JobTitle,City\r\n\r\na\r\njobtitle,x\r\nb");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].number, 1);
  EXPECT_EQ(lines[0].physical, 3);
  EXPECT_EQ(lines[1].number, 2);
  EXPECT_EQ(lines[1].physical, 5);
}

TEST(ExportReader, SkipsHeaderLinesWhereverTheyStand) {
  struct Case {
    std::string in;
    std::vector<std::string> want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"JOBTITLE\r\na", {"a"}},
           {"a\r\njobTitle,City,Zip\r\nb", {"a", "b"}},  // in the middle, any case
           {"JOBTITLES\r\n", {}},                        // the first eight characters count
           {"JOBTITL\r\n", {"JOBTITL"}},                 // shorter than eight: data
           {" JOBTITLE\r\n", {" JOBTITLE"}},
           {"\xEF\xBB\xBFJOBTITLE\r\na", {"a"}},  // behind a byte-order mark
           {"JOB\0TITLE\r\n"s, {}},               // NULs go before the test
       }) {
    SCOPED_TRACE(::testing::PrintToString(c.in));
    EXPECT_EQ(Texts(c.in), c.want);
  }
}

TEST(ExportReader, DecodesEachLineAndKeepsItsBytes) {
  const std::vector<Read> lines = ReadAll(
      "\xEF\xBB\xBFGis\xC3\xA8le\r\n"  // UTF-8 behind a BOM
      "Gis\xE8le\xA0Martin\r\n"        // Windows-1252 with a no-break space
      "a\0b\r\n"                       // NULs are dropped from the text only
      "\0\0\r\n"                       // a line of NULs is empty
      "\x93q\x94"s);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].text, "Gis\xC3\xA8le");
  EXPECT_EQ(lines[0].raw, "Gis\xC3\xA8le");
  EXPECT_EQ(lines[1].text, "Gis\xC3\xA8le\xC2\xA0Martin");
  EXPECT_EQ(lines[1].raw, "Gis\xE8le\xA0Martin");
  EXPECT_EQ(lines[2].text, "ab");
  EXPECT_EQ(lines[2].raw, "a\0b"s);
  EXPECT_EQ(lines[3].text, "\xE2\x80\x9Cq\xE2\x80\x9D");  // curly quotes
  EXPECT_EQ(lines[3].physical, 5);
}

TEST(ExportReader, HandlesBufferBoundariesAndLongLines) {
  // A CRLF pair split across the 64 KiB read buffer.
  std::string split = std::string(65535, 'x') + "\r\nb";
  auto lines = Texts(split);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 65535u);
  EXPECT_EQ(lines[1], "b");

  // The first CR stands beyond the first buffer: the lone LF before it is
  // still text, which takes looking ahead in the file.
  lines = Texts("a\n" + std::string(200000, 'y') + "\rb");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 200002u);
  EXPECT_EQ(lines[1], "b");
}

TEST(ExportReader, ReadsAFileOfManyLines) {
  std::string file = "JOBTITLE,City\r\n";
  constexpr int kLines = 100000;
  for (int i = 1; i <= kLines; ++i) file += "Job " + std::to_string(i) + ",City,\"Acme, Inc\"\r\n";
  const std::vector<Read> lines = ReadAll(file);
  ASSERT_EQ(lines.size(), size_t(kLines));
  for (int i : {1, 4242, kLines}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines[i - 1].number, i);
    EXPECT_EQ(lines[i - 1].physical, i + 1);
    EXPECT_EQ(lines[i - 1].text, "Job " + std::to_string(i) + ",City,\"Acme, Inc\"");
  }
}

TEST(ExportReader, ReportsFilesThatCannotBeRead) {
  const std::string missing = ::testing::TempDir() + "no_such_export.csv";
  auto reader = ExportReader::Open(missing);
  ASSERT_FALSE(reader.has_value());
  EXPECT_EQ(reader.error().error_number, ENOENT);
  EXPECT_EQ(reader.error().message, "cannot open " + missing + ": No such file or directory");

  reader = ExportReader::Open(::testing::TempDir());
  ASSERT_FALSE(reader.has_value());
  EXPECT_EQ(reader.error().error_number, EISDIR);

  // Reading this file fails at once with EIO: a read error is reported once,
  // and the reader then stays at its end.
  reader = ExportReader::Open("/proc/self/mem");
  ASSERT_TRUE(reader.has_value());
  ExportLine line;
  const auto first = reader->Next(line);
  ASSERT_FALSE(first.has_value());
  EXPECT_EQ(first.error().error_number, EIO);
  EXPECT_EQ(reader->Next(line), false);
}

// A line of 39 fields: a job title, and the company name in field 5.
std::string Line39(std::string_view title, std::string_view field6 = "") {
  return std::string(title) + ",Boston,,,,Acme," + std::string(field6) + std::string(32, ',');
}

TEST(ExportReader, MendsImperfectLinesAndRefusesOverLongOnes) {
  struct Case {
    std::string_view name;
    std::string bytes;
    // Each line read: its text, then what the reader noted (its refusal or warning).
    std::vector<std::pair<std::string, std::string>> want;
  };
  const std::string refusal =
      "the line has 3000 bytes, more than the 1024 a line may have; it begins \"";
  for (const Case& c : std::initializer_list<Case>{
           {"final 0x1A", "a,b\r\nc,d\x1A", {{"a,b", ""}, {"c,d", ""}}},
           {"0x1A after the last line end", "a,b\r\n\x1A\x1A", {{"a,b", ""}}},
           {"vertical tab in a field",
            "a\x0B"
            "b,c\r\n",
            {{"a b,c", "the control character 0x0B became a blank"}}},
           {"two control characters",
            "\x01,\x7F",
            {{" , ", "2 control characters (the first 0x01) became blanks"}}},
           {"line added with echo to a CRLF file",
            Line39("Nurse") + "\r\n" + Line39("Cook") + "\n" + Line39("Porter") + "\n",
            {{Line39("Nurse"), ""}, {Line39("Cook"), ""}, {Line39("Porter"), ""}}},
           {"quoted line break in joined lines",
            Line39("Nurse", "\"1 Main\nSt\"") + "\n" + Line39("Cook") + "\r\n",
            {{Line39("Nurse", "\"1 Main\nSt\""), ""}, {Line39("Cook"), ""}}},
           {"added lines that end in a quoted field",
            Line39("Nurse") + "\r\n" + Line39("Cook") + "\"x\"\n" + Line39("\"Porter\"") + "\n",
            {{Line39("Nurse"), ""}, {Line39("Cook") + "\"x\"", ""}, {Line39("\"Porter\""), ""}}},
           {"line break in a field of a CRLF file", "a,b\nc\r\nd", {{"a,b\nc", ""}, {"d", ""}}},
           {"over-long line",
            "a,b\r\n" + std::string(3000, 'x') + "\r\nc,d",
            {{"a,b", ""}, {"", refusal + std::string(40, 'x') + "\""}, {"c,d", ""}}},
           {"over-long run of NULs",
            std::string(3000, '\0') + "\nc,d",
            {{"", refusal + std::string(40 * 4, '_') + "\""}, {"c,d", ""}}},
       }) {
    SCOPED_TRACE(c.name);
    ExportReader reader = ExportReader::FromBytes(c.bytes);
    reader.set_max_line_bytes(1024);
    std::vector<std::pair<std::string, std::string>> got;
    ExportLine line;
    while (reader.Next(line).value_or(false)) {
      got.emplace_back(line.text, line.refused.empty() ? line.warning : line.refused);
    }
    for (auto& [text, note] : got) {
      // NULs are shown as \x00: written as _ in the table.
      for (size_t at; (at = note.find("\\x00")) != std::string::npos;) note.replace(at, 4, "____");
    }
    EXPECT_EQ(got, c.want);
  }
}

TEST(ExportReader, HearsAStopWhileReadingALongLine) {
  // 1 MiB of zeros with no line end: the stop is asked for after two reads.
  auto reader = ExportReader::Open(WriteFile(std::string(1 << 20, '\0')));
  ASSERT_TRUE(reader.has_value());
  int reads = 0;
  reader->set_stop_check([&reads] { return ++reads > 2; });
  ExportLine line;
  EXPECT_EQ(reader->Next(line), false);  // the cut line is not handed out
  EXPECT_TRUE(reader->stopped());
  EXPECT_EQ(reads, 3);
}

}  // namespace
}  // namespace talvenor::import
