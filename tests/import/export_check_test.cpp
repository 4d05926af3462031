// Telling export files from other files, reading UTF-16 exports and skipping
// lines that hold no data.

#include "import/export_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "import/export_reader.h"
#include "tests/import/export_file.h"

namespace talvenor::import {
namespace {

using testing::Read;
using testing::ReadAll;
using testing::WriteFile;

using namespace std::string_literals;

// An export line of 39 fields: job title, city, zip, date, company, a contact.
std::string ExportLine39(int n) {
  std::vector<std::string> f(39);
  f[0] = "Nurse " + std::to_string(n);
  f[1] = "Boston";
  f[2] = "02134";
  f[3] = "12/8/2026";
  f[5] = "Acme " + std::to_string(n);
  f[10] = "617-555-0100";
  f[14] = "Ann Lee";
  std::string line;
  for (size_t i = 0; i < f.size(); ++i) line += (i ? "," : "") + f[i];
  return line;
}

std::string Export(int lines, std::string_view end = "\r\n") {
  std::string out = "JOBTITLE,CITY\r\n";
  for (int i = 1; i <= lines; ++i) out += ExportLine39(i) + std::string(end);
  return out;
}

std::string RandomBytes(size_t size) {
  std::mt19937 random(7);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(random() & 0xFF);
  return out;
}

TEST(CheckExportFile, RefusesFilesOfAnotherKindAndSaysWhatTheyLookLike) {
  std::string three_columns = "name,email,phone\n";
  for (int i = 1; i <= 300; ++i) {
    three_columns += "Person " + std::to_string(i) + ",p@x.com,555-0100\n";
  }
  std::string tabbed = Export(40);
  for (char& c : tabbed) c = c == ',' ? '\t' : c;
  struct Case {
    std::string_view name;
    std::string bytes;
    std::string_view says;  // empty: the file may be imported
  };
  for (const Case& c : std::initializer_list<Case>{
           {"random bytes", RandomBytes(20000), "holds the control character"},
           {"gzip", "\x1F\x8B\x08\x00"s + Export(3), "this is a gzip file"},
           {"xlsx", "PK\x03\x04\x14\x00"s + Export(3), "this is a zip archive"},
           {"pdf", "%PDF-1.7\n" + Export(3), "this is a PDF document"},
           {"xls", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"s + Export(3), "Microsoft Office document"},
           {"sqlite", "SQLite format 3\0"s + Export(3), "this is an SQLite database"},
           {"three columns", three_columns, "line 1 has 3 fields; an export line has 39"},
           {"tab-separated", tabbed, "line 2 has 1 field; an export line has 39"},
           {"control characters of a binary file", Export(2) + std::string(300, '\x01'),
            "holds the control character 0x01"},
           {"most lines of empty fields", Export(1) + ",,,,\r\n\"\",\"\"\r\n",
            "line 3 has 5 fields; an export line has 39"},
           // Files that may be imported.
           {"export", Export(30), ""},
           {"export with LF only", Export(30, "\n"), ""},
           {"header only", "JOBTITLE,CITY\r\n", ""},
           {"empty", "", ""},
           {"a few short lines among many", Export(10) + "a,b\r\nc\r\n", ""},
           {"half short", Export(2) + "a,b\r\nc\r\n", ""},
           {"Windows-1252 text", Export(2) + "Caf\xE9 Nurse,Boston" + std::string(37, ','), ""},
           // Imperfect exports: stray control characters, a DOS end-of-file mark,
           // contact-less lines whose trailing commas were trimmed.
           {"NUL in a line", Export(2) + "a,b\0c,d"s, ""},
           {"escape in a line",
            Export(2) + "a\x1B"
                        "b",
            ""},
           {"vertical tab in an address", Export(3) + "Nurse,Boston,,,,Acme,1 Main\x0BSt\r\n", ""},
           {"final 0x1A", Export(3) + "\x1A", ""},
           {"trimmed commas",
            "Nurse,Boston,02134,1/5/2026,,Acme,1 Main St,Boston,MA\r\nCook,,,,,Cafe\r\n", ""},
       }) {
    SCOPED_TRACE(c.name);
    const std::optional<std::string> refused = CheckExportFile(WriteFile(c.bytes));
    if (c.says.empty()) {
      EXPECT_FALSE(refused.has_value()) << *refused;
    } else {
      ASSERT_TRUE(refused.has_value());
      EXPECT_NE(refused->find(c.says), std::string::npos) << *refused;
    }
  }
}

TEST(CheckExportFile, LooksOnlyAtTheStartOfALongFile) {
  // 1,000 good lines, then a part of another kind: imported as the lines come.
  std::string bytes = Export(1000);
  for (int i = 0; i < 3000; ++i) bytes += "x\r\n";
  EXPECT_FALSE(CheckExportFile(WriteFile(bytes)).has_value());
  // A file that is not there is left for the import to report.
  EXPECT_FALSE(CheckExportFile(::testing::TempDir() + "no-such-export.csv").has_value());
}

// The bytes of `utf8` (ASCII and BMP letters and one astral one) in UTF-16.
std::string Utf16(std::u16string_view text, bool little, bool mark) {
  std::string out;
  auto unit = [&](char16_t u) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += little ? lo : hi;
    out += little ? hi : lo;
  };
  if (mark) unit(0xFEFF);
  for (char16_t u : text) unit(u);
  return out;
}

TEST(ExportReader, ReadsUtf16AsTheSameTextInUtf8) {
  // Letters of one, two and three UTF-8 bytes and a surrogate pair; a header,
  // an empty line, a lone LF in a file with CRs.
  const std::u16string text =
      u"JOBTITLE,City\r\nCaf\u00e9 Nurse,Z\u00fcrich,\u20ac5\r\n\r\nG clef \U0001D11E,x\ny\r\nlast";
  const std::string utf8 =
      "JOBTITLE,City\r\nCaf\xC3\xA9 Nurse,Z\xC3\xBCrich,\xE2\x82\xAC"
      "5\r\n\r\nG clef \xF0\x9D\x84\x9E,x\ny\r\nlast";
  const std::vector<Read> want = ReadAll(utf8);
  ASSERT_EQ(want.size(), 3u);
  struct Case {
    std::string_view name;
    std::string bytes;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"little-endian with mark", Utf16(text, true, true)},
           {"big-endian with mark", Utf16(text, false, true)},
           {"little-endian without mark", Utf16(text, true, false)},
       }) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadAll(c.bytes), want);
  }
}

TEST(ExportReader, ReadsLongUtf16LinesAcrossItsBuffers) {
  // Lines longer than a read, so that units and surrogate pairs fall across
  // the reads; line feeds only, so the look-ahead for a CR runs over the file.
  std::u16string text;
  std::string utf8;
  for (int line = 0; line < 3; ++line) {
    for (int i = 0; i < 30001; ++i) {
      text += u"a\U0001D11E\u00e9";
      utf8 += "a\xF0\x9D\x84\x9E\xC3\xA9";
    }
    text += u"\n";
    utf8 += "\n";
  }
  const std::vector<Read> want = ReadAll(utf8);
  ASSERT_EQ(want.size(), 3u);
  EXPECT_EQ(ReadAll(Utf16(text, true, true)), want);
  EXPECT_EQ(ReadAll(Utf16(text, false, true)), want);
  // A CR far into the file makes every LF text, as in a byte file.
  EXPECT_EQ(ReadAll(Utf16(text + u"end\r", true, true)).size(), 1u);
}

TEST(ExportReader, BrokenUtf16BecomesReplacementCharacters) {
  struct Case {
    std::string_view name;
    std::string bytes, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"lone high surrogate",
            Utf16(u"a\xD834"
                  u"b",
                  true, true),
            "a\xEF\xBF\xBD"
            "b"},
           {"lone low surrogate",
            Utf16(u"a\xDD1E"
                  u"b",
                  true, true),
            "a\xEF\xBF\xBD"
            "b"},
           {"high surrogate at the end", Utf16(u"ab\xD834", true, true), "ab\xEF\xBF\xBD"},
           {"odd byte at the end", Utf16(u"ab", true, true) + "c", "ab\xEF\xBF\xBD"},
       }) {
    SCOPED_TRACE(c.name);
    const std::vector<Read> lines = ReadAll(c.bytes);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, c.want);
  }
}

TEST(ExportReader, SkipsAndCountsLinesThatHoldNoData) {
  struct Case {
    std::string in;
    std::vector<std::string> kept;
    long blank;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"   \r\na\r\n", {"a"}, 1},
           {" \t\n\r\na\r\n", {"a"}, 1},
           {"\r\n\r\n", {}, 0},  // empty lines are not blank lines
           // Lines of empty fields are data lines: the import rejects them.
           {",,,,,,\r\na,b\r\n", {",,,,,,", "a,b"}, 0},
           {"\"\",\"\",\"\"\r\n||,|\r\n", {"\"\",\"\",\"\"", "||,|"}, 0},
           {",a\r\n, ,.\r\n", {",a", ", ,."}, 0},
       }) {
    SCOPED_TRACE(c.in);
    long blank = 0;
    std::vector<std::string> kept;
    for (const Read& r : ReadAll(c.in, &blank)) kept.push_back(r.text);
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(blank, c.blank);
  }
}

TEST(CheckExportStart, LooksAtAPipeAndLeavesItWholeForTheImport) {
  struct Case {
    std::string_view name;
    std::string bytes;
    bool refused;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"gzip", "\x1F\x8B\x08\x00"s + Export(3), true},
           {"export", Export(30), false},
       }) {
    SCOPED_TRACE(c.name);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_LT(c.bytes.size(), 60000u) << "the bytes must fit in the pipe";
    ASSERT_EQ(::write(fds[1], c.bytes.data(), c.bytes.size()), ssize_t(c.bytes.size()));
    ::close(fds[1]);
    auto reader = ExportReader::Open("/proc/self/fd/" + std::to_string(fds[0]));
    ::close(fds[0]);
    ASSERT_TRUE(reader.has_value());
    EXPECT_EQ(CheckExportStart(*reader, "-").has_value(), c.refused);
    if (c.refused) continue;
    // Every line looked at is imported still.
    std::vector<Read> lines;
    ExportLine line;
    while (reader->Next(line).value_or(false)) {
      lines.push_back(
          {line.number, line.physical_number, std::string(line.text), std::string(line.raw)});
    }
    EXPECT_EQ(lines, ReadAll(c.bytes));
  }
}

}  // namespace
}  // namespace talvenor::import
