#include "text/name_filter.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string_view>

namespace talvenor::text {
namespace {

struct Case {
  std::optional<std::string_view> in;
  std::optional<std::string_view> want;  // nullopt: Null
};

void ExpectFiltered(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in ? testing::PrintToString(*c.in) : "Null");
    const std::optional<std::string> got = FilterName(c.in);
    if (!c.want) {
      EXPECT_EQ(got, std::nullopt);
    } else {
      EXPECT_EQ(got.value_or("<Null>"), *c.want);
    }
  }
}

TEST(FilterName, ReducesNamesToGivenNamesAndSurname) {
  ExpectFiltered({
      {std::nullopt, std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"Dr.", std::nullopt},
      {"Smith", "Smith"},
      {"(Dr) John Smith", "John Smith"},
      {"Dr. John A. Smith, Jr.", "John A Smith"},
      {"Smith, John", "John Smith"},
      {"Smith, John, Robert", "John Robert Smith"},
      {"Jane Doe, MD, PhD", "Jane Doe"},
      {"Smith, John, Jr., MD", "John Smith"},
      {"Smith,", "Smith"},
      {"Smith, John,", "John Smith"},  // the empty third part still rotates
      {"Smith , , John", "John Smith"},
      {"Smith,,John", "John Smith"},
      {", John", "John"},  // nothing moves without a first part
      {"Smith, John, Robert, Extra", "John Robert Smith Extra"},
      {"Smith, John - Sales Manager", "John Smith"},
      {"Smith, John -", "John Smith"},
      {"Mary Smith-Jones", "Mary Smith-Jones"},
      {"Smith-Jones, Mary", "Mary Smith-Jones"},
      {"Smith - Sales", "Smith - Sales"},  // without a comma no hyphen is a tail
      {"John (Jack) Smith", "John Smith"},
      {"John \"Jack\" Smith", "John Smith"},
      {"John Smith (Sales", "John Smith"},
      {"John \"Jack Smith", "John"},
      {"A (B) C (D)", "A C"},
      {"x) y (z", "x) y"},
      {"A (B (C) D) E", "A D) E"},  // the first ")" closes
      {"JOHN V SMITH", "JOHN SMITH"},
      {"Ms. Jane   Doe   PsyD", "Jane Doe"},
      {"Mr. & Mrs. John Smith", "& John Smith"},
      {"Drake Doctorow", "Drake Doctorow"},  // whole words only
      {"John\tSmith", "John\tSmith"},        // only U+0020 separates words
  });
}

TEST(FilterName, GluesTheFirstOccurrenceOfEachSurnameParticle) {
  ExpectFiltered({
      {"Ludwig van Beethoven", "Ludwig vanBeethoven"},
      {"Van Dyke, Dick", "Dick VanDyke"},
      {"Patrick O' Brien", "Patrick O'Brien"},
      {"Juan de la Cruz", "Juan dela Cruz"},  // "la" now lies inside "dela"
      {"Al Smith", "AlSmith"},
      {"St. John Smith", "StJohn Smith"},
      {"Wade Smith; Brande Smith", "Wade Smith; Brande Smith"},  // "de " ends Wade
      {"Ronald Mc 5th", "Ronald Mc 5th"},                        // next word starts with a digit
      {"Anna de", "Anna de"},                                    // nothing follows the blank
      {"Jean de \xC3\x89on", "Jean de \xC3\x89on"},              // only A-Z start a word to glue
  });
}

TEST(FilterName, KeepsLetterCase) {
  ExpectFiltered({
      {"SMITH, JOHN", "JOHN SMITH"},
      {"smith, john", "john smith"},
      {"VAN DYKE, DICK", "DICK VANDYKE"},
      {"o' brien, patrick", "patrick o'brien"},
      {"dr. jane doe, phd", "jane doe"},
      {"LUDWIG VAN BEETHOVEN", "LUDWIG VANBEETHOVEN"},
  });
}

TEST(FilterName, CountsLettersBeyondAsciiAsPartOfAWord) {
  ExpectFiltered({
      // Regression: "le " ending Gisèle was glued to the surname.
      {"Gis\xC3\xA8le Martin", "Gis\xC3\xA8le Martin"},
      {"\xC3\x87"
       "a\xC4\x9Fla Smith",
       "\xC3\x87"
       "a\xC4\x9Fla Smith"},                               // Çağla
      {"Gise\xCC\x80le Martin", "Gise\xCC\x80le Martin"},  // combining accent
      {"Gis\xE8le Martin", "Gis\xE8le Martin"},            // a stray legacy byte counts as a letter
      {"Jos\xC3\xA9 de la Cruz", "Jos\xC3\xA9 dela Cruz"},
      {"Mu\xC3\xB1oz, Mar\xC3\xAD"
       "a",
       "Mar\xC3\xAD"
       "a Mu\xC3\xB1oz"},
      // A no-break space is no letter, so the particle after it is glued.
      {"Charles\xC2\xA0"
       "de Gaulle",
       "Charles\xC2\xA0"
       "deGaulle"},
  });
}

// A hyphen joining two parts of a given name is no role tail; cutting there
// used to turn "Dupont, Jean-Luc" into "Jean Dupont".
TEST(FilterName, KeepsHyphenatedGivenNamesBehindAComma) {
  ExpectFiltered({
      {"Dupont, Jean-Luc", "Jean-Luc Dupont"},
      {"Dupont, Jean-Luc - Sales", "Jean-Luc Dupont"},
      {"Smith, John - Sales-East", "John Smith"},
      {"Smith, John -Sales", "John Smith"},
      {"Smith, John- Sales", "John Smith"},
  });
}

}  // namespace
}  // namespace talvenor::text
