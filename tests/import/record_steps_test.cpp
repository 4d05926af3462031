#include "import/record_steps.h"

#include <gtest/gtest.h>

#include <string>

namespace talvenor::import {
namespace {

// The look-up texts the import sends: an empty text also finds a Null stored
// for it, apostrophes are doubled, and the reused buffer keeps nothing of the
// look-up before.
TEST(LookUpSql, WritesEveryConditionOfTheLookUp) {
  std::string sql = "an earlier, longer look-up text that must not survive";
  LookUpSql(sql, "Company_Id", "Companies", {{"Company_Name", "O'Brien"}, {"Phone", ""}});
  EXPECT_EQ(sql,
            "SELECT Company_Id FROM Companies WHERE Company_Name='O''Brien' AND "
            "(Phone='' OR Phone IS NULL)");

  LookUpSql(sql, "Candidate_Id", "Candidates",
            {{"First_Name", "Ann"}, {"Last_Name", "''"}, {"Title", ""}, {"Work_Phone", "5"}});
  EXPECT_EQ(sql,
            "SELECT Candidate_Id FROM Candidates WHERE First_Name='Ann' AND Last_Name='''''' AND "
            "(Title='' OR Title IS NULL) AND Work_Phone='5'");

  LookUpSql(sql, "Job_Id", "Positions", {{"Job_Title", "Nurse"}, {"City", "Lyon"}});
  EXPECT_EQ(sql, "SELECT Job_Id FROM Positions WHERE Job_Title='Nurse' AND City='Lyon'");
}

}  // namespace
}  // namespace talvenor::import
