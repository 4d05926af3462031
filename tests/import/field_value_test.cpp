#include "import/field_value.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace talvenor::import {
namespace {

using records::Value;

TEST(FieldValue, TurnsPlainNumbersIntoNumbersOnly) {
  struct Case {
    Value in, want;
  };
  const Value kText = Value::Text("unchanged");  // marks "the input comes back"
  for (const Case& c : std::initializer_list<Case>{
           {Value::Text(""), Value::Null()},
           {Value::Null(), Value::Null()},
           {Value::Empty(), Value::Empty()},
           {Value::Number(3), Value::Number(3)},
           {Value::Text("12345"), Value::Number(12345)},
           {Value::Text("-5"), Value::Number(-5)},
           {Value::Text("+5"), Value::Number(5)},
           {Value::Text(".5"), Value::Number(0.5)},
           {Value::Text("5."), Value::Number(5)},
           {Value::Text("1E3"), Value::Number(1000)},
           {Value::Text("2.5e-1"), Value::Number(0.25)},
           {Value::Text(" 7"), Value::Number(7)},  // only the first character is tested
           {Value::Text(" 07 "), Value::Number(7)},
           {Value::Text("1,000"), Value::Number(1000)},  // thousands separators are dropped
           {Value::Text("12,345,678.5"), Value::Number(12345678.5)},
           {Value::Text("-0"), Value::Number(0)},
           {Value::Text("02134"), kText},  // postal code with a leading zero
           {Value::Text("0"), kText},
           {Value::Text("0.5"), kText},
           {Value::Text("$100"), kText},
           {Value::Text("ACME"), kText},
           {Value::Text("(___) ___-____  Ex. _____"), kText},
           {Value::Text("12,5"), kText},  // not a thousands grouping
           {Value::Text("1,00"), kText},
           {Value::Text("1234,567"), kText},
           {Value::Text(",100"), kText},
           {Value::Text("1,000,"), kText},
           {Value::Text("1,000.5,0"), kText},
           {Value::Text("&H10"), kText},
           {Value::Text("Inf"), kText},
           {Value::Text("NaN"), kText},
           {Value::Text("1e999"), kText},  // beyond a double
           {Value::Text("1e"), kText},
           {Value::Text("."), kText},
           {Value::Text("-"), kText},
           {Value::Text("1 2"), kText},
           {Value::Text("1/2/2024"), kText},
           {Value::Text("5-"), kText},
       }) {
    const Value want = c.want == kText ? c.in : c.want;
    SCOPED_TRACE(c.in.ToText());
    EXPECT_EQ(FieldValue(c.in), want);
  }
}

TEST(CleanText, TrimsBlanksThenTurnsNoBreakSpacesIntoBlanks) {
  struct Case {
    Value in;
    std::string_view want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {Value::Null(), ""},
           {Value::Empty(), ""},
           {Value::Text(""), ""},
           {Value::Text("  Ann Lee  "), "Ann Lee"},
           {Value::Text("Ann\xC2\xA0Lee"), "Ann Lee"},
           {Value::Text("\xC2\xA0"
                        "Ann "),
            " Ann"},                         // the trim came first
           {Value::Text("\tAnn"), "\tAnn"},  // only blanks are trimmed
       }) {
    SCOPED_TRACE(c.in.ToText());
    EXPECT_EQ(CleanText(c.in), c.want);
  }
}

TEST(CutToSize, CutsCharactersNotBytes) {
  struct Case {
    std::string_view in;
    int size;
    std::string_view want;
  };
  const std::string sixty(60, 'n');
  for (const Case& c : std::initializer_list<Case>{
           {"ACME Corp", 4, "ACME"},
           {"Gis\xC3\xA8le", 4, "Gis\xC3\xA8"},
           {"Gis\xC3\xA8le", 3, "Gis"},
           {"abc", 10, "abc"},
           {"abc", 0, "abc"},  // no size known
           {"abc", -1, "abc"},
           {sixty, 50, std::string_view(sixty).substr(0, 50)},
       }) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(CutToSize(c.in, c.size), c.want);
  }
}

}  // namespace
}  // namespace talvenor::import
