// What an import makes of unusual input, on a real SQLite file and a real
// PostgreSQL schema: files of another kind, UTF-16 exports, lines without
// data and dates in every form.

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/import_run.h"
#include "records/date_time.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_operator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/targets.h"
#include "text/string_utils.h"

namespace talvenor::import::testing {

using namespace talvenor::testing;
namespace {

using namespace std::string_literals;
using records::Database;

std::string WriteFile(std::string_view bytes) {
  static int serial = 0;
  const std::string path = ::testing::TempDir() + "import_input_" + std::to_string(::getpid()) +
                           "_" + std::to_string(++serial) + ".csv";
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  return path;
}

// An export line: job title, city, date posted, company name and phone, and a
// first contact; the other fields empty.
std::string Line(std::string_view title, std::string_view company, std::string_view date = "",
                 std::string_view contact = "Ann Lee") {
  std::vector<std::string> f(39);
  f[0] = title;
  f[1] = "Boston";
  f[3] = date;
  f[5] = company;
  f[10] = "617-555-0100";
  f[14] = contact;
  std::string line;
  for (size_t i = 0; i < f.size(); ++i) {
    // A field holding a comma is enclosed in quotes, as an exporter writes it.
    line += (i ? "," : "") + (f[i].find(',') == std::string::npos ? f[i] : '"' + f[i] + '"');
  }
  return line + "\r\n";
}

class ImportInputTest : public ::testing::TestWithParam<EngineKind> {
 protected:
  void SetUp() override { TALVENOR_FRESH_TARGET(target_, GetParam()); }

  std::unique_ptr<TestTarget> Fresh() { return TestTarget::Create(GetParam(), why_); }

  ImportSummary Run(const std::string& path, const TestTarget& target, bool force = false) {
    progress_ = RecordingProgress();
    op_.messages.clear();
    ImportServices services{op_, clock_, cache_, progress_};
    ImportRequest request{path, target.address()};
    request.force = force;
    return RunImport(request, services);
  }

  // Every row the import writes, as one text, in an order that does not
  // depend on the keys.
  static std::string Rows(const TestTarget& target) {
    auto db = target.Open();
    const bool pg = target.kind() == EngineKind::kPostgres;
    auto all = [&](std::string_view expr, std::string_view table) {
      const std::string e(expr);
      return ScalarText(*db, pg ? "SELECT string_agg(" + e + ", ';' ORDER BY " + e + ") FROM " +
                                      std::string(table)
                                : "SELECT group_concat(x, ';') FROM (SELECT " + e + " AS x FROM " +
                                      std::string(table) + " ORDER BY 1)");
    };
    std::string out;
    out += all("Company_Name || '/' || Phone", "Companies") + "\n";
    out += all("First_Name || '/' || Last_Name", "Candidates") + "\n";
    out +=
        all("Job_Title || '/' || City || '/' || COALESCE(Contact_Name, '-')", "Positions") + "\n";
    for (std::string_view table :
         {"Company_Activity", "Candidate_Activity", "Position_Activities", "RollupC_Records",
          "Rollup_Records", "RollupP_Records", "Scripts", "Rollup_Names"}) {
      out += std::to_string(ScalarNumber(*db, "SELECT COUNT(*) FROM " + std::string(table))) + " ";
    }
    db->Close();
    return out;
  }

  talvenor::testing::FakeClock clock_;
  talvenor::testing::RecordingOperator op_;
  records::ClockCache cache_;
  RecordingProgress progress_;
  std::unique_ptr<TestTarget> target_;
  std::string why_;
};

TEST_P(ImportInputTest, AFileOfAnotherKindIsRefusedAndNothingIsWritten) {
  std::string random(20000, '\0');
  unsigned state = 1;
  for (char& c : random) c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
  std::string three_columns = "name,email,phone\n";
  for (int i = 1; i <= 300; ++i) three_columns += "Person " + std::to_string(i) + ",p@x,5\n";
  std::string tabbed = Line("Nurse", "Acme") + Line("Porter", "Acme");
  for (char& c : tabbed) c = c == ',' ? '\t' : c;
  struct Case {
    std::string_view name;
    std::string bytes;
  };
  const std::string empty_target = Rows(*target_);
  for (const Case& c : std::initializer_list<Case>{
           {"random bytes", random},
           {"gzip", "\x1F\x8B\x08\x00"s + Line("Nurse", "Acme")},
           {"zip (xlsx)", "PK\x03\x04\x14\x00"s + Line("Nurse", "Acme")},
           {"pdf", "%PDF-1.4\n" + Line("Nurse", "Acme")},
           {"three columns", three_columns},
           {"tab-separated", tabbed},
       }) {
    SCOPED_TRACE(c.name);
    const ImportSummary summary = Run(WriteFile(c.bytes), *target_);
    EXPECT_EQ(summary.outcome, RunOutcome::kFileRefused);
    EXPECT_NE(summary.message.find("is not an export file"), std::string::npos);
    ASSERT_EQ(op_.messages.size(), 1u);  // the message box of the opening phase
    EXPECT_EQ(op_.messages[0].text, summary.message);
    EXPECT_TRUE(progress_.list.empty());  // the target was never opened
    EXPECT_EQ(Rows(*target_), empty_target);
  }
  // Forced, the same file is imported.
  const ImportSummary forced = Run(WriteFile(tabbed), *target_, /*force=*/true);
  EXPECT_EQ(forced.outcome, RunOutcome::kCompleted);
  EXPECT_EQ(forced.counts.lines_read, 2);
}

TEST_P(ImportInputTest, AUtf16FileImportsExactlyAsItsUtf8Original) {
  const std::string utf8 = "JOBTITLE,CITY\r\n" + Line("Caf\xC3\xA9 Nurse", "Z\xC3\xBCrich AG") +
                           Line("Porter", "\xE2\x82\xAC Staffing", "12/8/2026", "Zo\xC3\xAB Kim") +
                           Line("Porter", "Acme", "", "Ann Lee") + "\r\n" +
                           Line("Clerk \xF0\x9D\x84\x9E", "Acme");
  auto utf16 = [&](bool little, bool mark) {
    // UTF-8 to UTF-16 for the letters above.
    std::u32string points;
    for (size_t i = 0; i < utf8.size();) {
      const auto b = static_cast<unsigned char>(utf8[i]);
      const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      char32_t c = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
      for (int k = 1; k < n; ++k) c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
      points += c;
      i += size_t(n);
    }
    std::string out;
    auto unit = [&](char32_t u) {
      const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8 & 0xFF);
      out += little ? lo : hi;
      out += little ? hi : lo;
    };
    if (mark) unit(0xFEFF);
    for (char32_t c : points) {
      if (c < 0x10000) {
        unit(c);
      } else {
        unit(0xD800 + ((c - 0x10000) >> 10));
        unit(0xDC00 + ((c - 0x10000) & 0x3FF));
      }
    }
    return out;
  };
  const ImportSummary original = Run(WriteFile(utf8), *target_);
  ASSERT_EQ(original.outcome, RunOutcome::kCompleted);
  ASSERT_EQ(original.counts.lines_read, 4);
  const std::string want = Rows(*target_);
  EXPECT_NE(want.find("Z\xC3\xBCrich AG"), std::string::npos) << want;
  struct Case {
    std::string_view name;
    bool little, mark;
  };
  for (const Case& c : std::initializer_list<Case>{{"little-endian with mark", true, true},
                                                   {"big-endian with mark", false, true},
                                                   {"little-endian without mark", true, false}}) {
    SCOPED_TRACE(c.name);
    auto target = Fresh();
    ASSERT_NE(target, nullptr) << why_;
    const ImportSummary summary = Run(WriteFile(utf16(c.little, c.mark)), *target);
    EXPECT_EQ(summary.outcome, RunOutcome::kCompleted);
    EXPECT_EQ(summary.counts.lines_read, original.counts.lines_read);
    EXPECT_EQ(Rows(*target), want);
  }
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The line with its CR LF made a bare LF, as `echo` ends what it adds.
std::string Echoed(std::string line) { return line.substr(0, line.size() - 2) + "\n"; }

TEST_P(ImportInputTest, ImperfectFilesStoreWhatTheirGoodLinesWould) {
  const std::string good = Line("Nurse", "Acme") + Line("Porter", "Bolt");
  const std::string sample = ReadBytes(std::string(TALVENOR_SOURCE_ROOT) + "/examples/sample.csv");
  std::string sample_tab = sample;
  sample_tab.replace(sample_tab.find("100 Federal St"), 14, "100 Federal\vSt");
  struct Case {
    std::string_view name;
    std::string bytes;
    std::string same_as;  // a file that leaves the same rows
    long read, blank;
    std::vector<long> rejected;  // the file lines rejected
  };
  for (const Case& c : std::initializer_list<Case>{
           {"sample with 0x1A appended", sample + "\x1A", sample, 30, 0, {}},
           {"sample with a vertical tab in an address", sample_tab, sample, 30, 0, {}},
           {"trimmed commas",
            "Cook,Boston,,,,Cafe,,,,,617-555-0100\r\n",
            Line("Cook", "Cafe", "", ""),
            1,
            0,
            {}},
           {"one-field and comma-only lines",
            good + "garbage line\r\n,,,,\r\n\"\",\"\"\r\n" + good + Line("Cook", "Cafe"),
            good + good + Line("Cook", "Cafe"),
            8,
            0,
            {3, 4, 5}},
           {"blank lines", "   \r\n" + good + " \t\r\n", good, 2, 2, {}},
           {"over-long line",
            Line("Nurse", "Acme") + std::string(1100000, 'x') + "\r\n" + Line("Porter", "Bolt"),
            good,
            3,
            0,
            {2}},
           {"lines added with echo to a CRLF file",
            good + Echoed(Line("Cook", "Cafe")) + Echoed(Line("Clerk", "Dell")),
            good + Line("Cook", "Cafe") + Line("Clerk", "Dell"),
            4,
            0,
            {}},
       }) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<TestTarget> want_target = Fresh(), target = Fresh();
    ASSERT_TRUE(want_target && target) << why_;
    const ImportSummary want = Run(WriteFile(c.same_as), *want_target);
    const ImportSummary summary = Run(WriteFile(c.bytes), *target);
    ASSERT_EQ(summary.outcome, RunOutcome::kCompleted) << summary.message;
    EXPECT_EQ(summary.counts.lines_read, c.read);
    EXPECT_EQ(summary.counts.blank_lines_skipped, c.blank);
    EXPECT_EQ(summary.counts.lines_rejected, static_cast<long>(c.rejected.size()));
    std::vector<long> rejected;
    for (const RecordingProgress::Line& line : progress_.lines) {
      if (line.problems.empty()) continue;
      rejected.push_back(line.physical_number);
      // The reason names what is wrong: the field count, or the length.
      EXPECT_TRUE(line.problems[0].starts_with("not an export line: it has ") ||
                  line.problems[0].starts_with("the line has 1100000 bytes"))
          << line.problems[0];
    }
    EXPECT_EQ(rejected, c.rejected);
    EXPECT_EQ(Rows(*target), Rows(*want_target));
  }
}

TEST_P(ImportInputTest, AStrayControlCharacterIsStoredAsABlankWithAWarning) {
  const ImportSummary summary =
      Run(WriteFile(Line("Nurse", "Acme") + Line("Night\vPorter", "Bolt")), *target_);
  ASSERT_EQ(summary.outcome, RunOutcome::kCompleted) << summary.message;
  ASSERT_EQ(progress_.lines.size(), 2u);
  EXPECT_EQ(progress_.lines[1].warnings,
            std::vector<std::string>{"the control character 0x0B became a blank"});
  auto db = target_->Open();
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Positions WHERE Job_Title='Night Porter'"), 1);
  db->Close();
}

TEST_P(ImportInputTest, DatesPostedAreStoredAsTheDatesTheyNameOrLeftOutWithAWarning) {
  struct Case {
    std::string_view given;
    std::string_view stored;  // "m/d/yyyy", or empty for a date left out
  };
  const std::initializer_list<Case> cases = {
      {"12/8/2026", "12/8/2026"},
      {"12/08/26", "12/8/2026"},
      {"1/2/30", "1/2/1930"},
      {"2026-12-08", "12/8/2026"},
      {"2026/12/08", "12/8/2026"},
      {"Dec 8, 2026", "12/8/2026"},
      {"December 8 2026", "12/8/2026"},
      {"8-Dec-2026", "12/8/2026"},
      {"08-DEC-26", "12/8/2026"},
      {"12/8/2026 3:04 PM", "12/8/2026"},
      {" 2/29/2028 ", "2/29/2028"},
      {"20260102", ""},
      {"2/31/2026", ""},
      {"2/29/2025", ""},
      {"25/12/2026", "12/25/2026"},
      {"2026-03-01T10:00:00Z", "3/1/2026"},
      {"13/13/2026", ""},
      {"12/8/10000", ""},
      {"next week", ""},
      {"", ""},
  };
  std::string file;
  int n = 0;
  for (const Case& c : cases) {
    file += Line("Job " + std::to_string(++n), "Acme", c.given);
  }
  const ImportSummary summary = Run(WriteFile(file), *target_);
  ASSERT_EQ(summary.outcome, RunOutcome::kCompleted);
  EXPECT_EQ(summary.counts.positions_created, long(cases.size()));
  EXPECT_EQ(summary.counts.lines_rejected, 0);
  ASSERT_EQ(progress_.lines.size(), cases.size());
  auto db = target_->Open();
  n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.given));
    const RecordingProgress::Line& line = progress_.lines[size_t(n)];
    const records::Value stored = Scalar(
        *db, "SELECT Date_Posted FROM Positions WHERE Job_Title='Job " + std::to_string(++n) + "'");
    EXPECT_TRUE(line.problems.empty());
    const bool named = !c.stored.empty();
    const bool given = !std::string(text::TrimView(c.given)).empty();
    if (named) {
      ASSERT_TRUE(stored.HasValue());
      const auto serial = stored.IsDateTime() ? std::optional(stored.number())
                                              : records::ParseDateTime(stored.ToText());
      ASSERT_TRUE(serial.has_value()) << stored.ToText();
      EXPECT_EQ(records::FormatDateTime(*serial, "m/d/yyyy"), c.stored);
      EXPECT_TRUE(line.warnings.empty());
    } else {
      EXPECT_FALSE(stored.HasValue()) << stored.ToText();
      ASSERT_EQ(line.warnings.size(), given ? 1u : 0u);
      if (given) {
        EXPECT_NE(line.warnings[0].find("\"" + std::string(text::TrimView(c.given)) + "\""),
                  std::string::npos)
            << line.warnings[0];
      }
    }
  }
  db->Close();
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportInputTest,
                         ::testing::Values(EngineKind::kSqlite, EngineKind::kPostgres),
                         [](const auto& param_info) { return EngineName(param_info.param); });

}  // namespace
}  // namespace talvenor::import::testing
