// The benchmark's export generator: its files must read back exactly as
// generated, and their mix of new and repeated records must be the one the
// throughput figures are quoted for.
#include "bench/export_generator.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "import/contact_name.h"
#include "import/split_export_line.h"
#include "text/phone_format.h"

namespace talvenor::bench {
namespace {

using import::SplitExportLine;
using text::FormatPhone;

TEST(ExportGenerator, SameSeedGivesTheSameFile) {
  ExportGenerator a(42), b(42), other(43);
  int differing = 0;
  for (int i = 0; i < 500; ++i) {
    const std::string line = a.NextLine();
    ASSERT_EQ(line, b.NextLine()) << "line " << i + 1;
    if (line != other.NextLine()) ++differing;
  }
  EXPECT_GT(differing, 450) << "another seed should give another file";
}

TEST(ExportGenerator, HeaderIsRecognisedAndHasEveryColumn) {
  const std::string header = ExportHeaderLine();
  EXPECT_EQ(header.rfind("JOBTITLE", 0), 0u);
  EXPECT_EQ(SplitExportLine(header).size(), size_t{kExportColumns});
}

// Quoting is where a generator and the reader disagree: commas inside names,
// addresses and titles, nicknames in double quotes, a quoted last field.
TEST(ExportGenerator, EveryLineSplitsBackIntoItsValues) {
  ExportGenerator generator(7);
  SplitMix64 quoting(99);
  int enclosed_with_comma = 0, with_inner_quote = 0;
  for (int i = 0; i < 10000; ++i) {
    const ExportFields& fields = generator.NextFields();
    const std::string line = EncodeExportLine(fields, quoting);
    SCOPED_TRACE(line);
    ASSERT_EQ(line.find_first_of("|\r\n"), std::string::npos);
    const std::vector<std::string> split = SplitExportLine(line);
    ASSERT_EQ(split.size(), size_t{kExportColumns});
    for (size_t c = 0; c < split.size(); ++c) {
      ASSERT_EQ(split[c], fields[c]) << "column " << c;
      if (fields[c].find(',') != std::string::npos) ++enclosed_with_comma;
      if (fields[c].find('"') != std::string::npos) ++with_inner_quote;
    }
  }
  // The hard cases really occur.
  EXPECT_GT(enclosed_with_comma, 500);
  EXPECT_GT(with_inner_quote, 50);
}

// About one new company in five lines; a repeated company has the same name
// and the same phone digits however the phone is written, so it reduces to
// the same look-up key.
TEST(ExportGenerator, RecordMixMatchesTheBenchmarkTargets) {
  constexpr int kLines = 20000;
  ExportGenerator generator(1);
  std::set<std::pair<std::string, std::string>> companies, positions;
  std::set<std::string> phone_forms;
  int contacts = 0;
  for (int i = 0; i < kLines; ++i) {
    const ExportFields& f = generator.NextFields();
    companies.emplace(f[5], FormatPhone(f[10]));
    phone_forms.insert(f[10]);
    positions.emplace(f[0], f[1]);
    for (size_t base = 14; base < size_t{kExportColumns}; base += 5) {
      if (!f[base].empty()) ++contacts;
    }
  }
  EXPECT_EQ(companies.size(), generator.companies()) << "one key per company";
  EXPECT_GT(phone_forms.size(), 3 * companies.size()) << "phones written in several forms";

  struct Share {
    const char* what;
    double got, low, high;
  };
  for (const Share& s : std::initializer_list<Share>{
           {"new companies per line", double(companies.size()) / kLines, 0.17, 0.23},
           {"new job title/city pairs per line", double(positions.size()) / kLines, 0.56, 0.64},
           {"contacts per line", double(contacts) / kLines, 2.35, 2.65},
       }) {
    SCOPED_TRACE(s.what);
    EXPECT_GE(s.got, s.low);
    EXPECT_LE(s.got, s.high);
  }
}

// A person appears on many lines with the name written in different forms
// ("Dr. Ann Lee", "Lee, Ann", "Lee, Ann - Recruiter"); the forms must reduce
// to the same first and last name, or every form would be a new person.
TEST(ExportGenerator, NameFormsOfOnePersonGiveOneName) {
  ExportGenerator generator(3);
  // A person is known by company, e-mail, title and phone digits.
  using Person = std::tuple<std::string, std::string, std::string, std::string>;
  std::map<Person, std::set<std::pair<std::string, std::string>>> names;
  std::set<Person> seen_in_two_forms;
  std::map<Person, std::string> first_form;
  for (int i = 0; i < 10000; ++i) {
    const ExportFields& f = generator.NextFields();
    for (size_t base = 14; base < size_t{kExportColumns}; base += 5) {
      if (f[base + 4].empty()) continue;
      const Person person{f[5], f[base + 4], f[base + 1], FormatPhone(f[base + 2])};
      const import::ContactName name = import::ParseContactName(f[base]);
      if (name.skipped) continue;
      names[person].emplace(name.first, name.last);
      auto [it, inserted] = first_form.emplace(person, f[base]);
      if (!inserted && it->second != f[base]) seen_in_two_forms.insert(person);
    }
  }
  ASSERT_GT(seen_in_two_forms.size(), 1000u) << "people should be written in several forms";
  int split = 0;
  for (const Person& person : seen_in_two_forms) {
    if (names[person].size() > 1) ++split;
  }
  // A few are split on purpose, as in real files ("Al Smith" reads as one word).
  EXPECT_LT(split, int(seen_in_two_forms.size()) / 50);
}

}  // namespace
}  // namespace talvenor::bench
