#include "app/init_advice.h"

#include <gtest/gtest.h>

namespace talvenor::app {
namespace {

using records::TargetKind;

// The advice is pasted at a shell prompt: a path must come back as one word,
// and a connection text (it may hold a password) never appears.
TEST(InitAdvice, NamesTheCommandAsItCanBeTyped) {
  struct Case {
    records::TargetAddress target;
    const char* advice;
  };
  for (const Case& c : {
           Case{{"/data/target.db", TargetKind::kDatabaseFile},
                "talvenor-import init /data/target.db"},
           Case{{"my target.db", TargetKind::kDatabaseFile}, "talvenor-import init 'my target.db'"},
           Case{{"it's.db", TargetKind::kDatabaseFile}, "talvenor-import init 'it'\\''s.db'"},
           Case{{"", TargetKind::kDatabaseFile}, "talvenor-import init ''"},
           Case{{"DSN=x;PWD=secret", TargetKind::kOdbc}, "talvenor-import init CONNECTION-TEXT"},
       }) {
    EXPECT_EQ(InitAdvice(c.target), c.advice) << c.target.text;
  }
}

}  // namespace
}  // namespace talvenor::app
