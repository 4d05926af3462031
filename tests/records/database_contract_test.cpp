// The data-access contract every engine keeps, run against each engine of
// ContractEngines() on a fresh target.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "records/database.h"
#include "records/db_error.h"
#include "tests/support/targets.h"

namespace talvenor::records::testing {

using namespace talvenor::testing;
namespace {

class DatabaseContract : public ::testing::TestWithParam<TestEngine> {
 protected:
  void SetUp() override {
    if (GetParam().is_odbc) TALVENOR_REQUIRE_PG();
    db_ = GetParam().open_fresh();
    ASSERT_NE(db_, nullptr) << "cannot open a fresh " << GetParam().name << " target";
  }
  void TearDown() override {
    if (db_) db_->Close();
  }
  bool odbc() const { return GetParam().is_odbc; }

  std::unique_ptr<Recordset> Open(std::string_view sql, SetKind kind = SetKind::kDynaset) {
    auto set = db_->OpenRecordset(sql, kind);
    EXPECT_TRUE(set.has_value()) << sql << ": " << set.error().description;
    return set ? std::move(*set) : nullptr;
  }

  // Starts a row; on a server, where the system makes keys, sets `key`.
  void StartRow(Recordset& set, std::string_view key_field, double key) {
    ASSERT_TRUE(set.AddNew());
    if (odbc()) {
      ASSERT_TRUE(set.SetField(key_field, Value::Number(key)));
    }
  }

  // The first field of the first row of a query, or Empty when it has none.
  Value First(std::string_view sql) {
    auto set = Open(sql);
    if (!set || set->Eof()) return Value::Empty();
    auto v = set->Field(0);
    EXPECT_TRUE(v.has_value()) << sql;
    return v.value_or(Value::Empty());
  }

  std::unique_ptr<Database> db_;
};

TEST_P(DatabaseContract, InsertSetStoresARowAndLookUpsReadIt) {
  auto set = Open("SELECT * FROM Companies WHERE Company_Id IS NULL");
  ASSERT_NE(set, nullptr);
  EXPECT_TRUE(set->Eof());
  StartRow(*set, "Company_Id", 1001);
  const Value key = set->Field("Company_Id").value_or(Value::Empty());
  ASSERT_TRUE(key.IsNumber()) << "the key is readable right after AddNew";
  ASSERT_TRUE(set->SetField("Company_Name", Value::Text("O'Brien Staffing")));
  ASSERT_TRUE(set->SetField("Phone", Value::Text("(800) 555-1212  Ex. _____")));
  ASSERT_TRUE(set->SetField("City", Value::Text("Zürich")));
  ASSERT_TRUE(set->Update());

  auto found = Open(
      "SELECT Company_Id, City FROM Companies WHERE Company_Name='O''Brien Staffing' AND "
      "Phone='(800) 555-1212  Ex. _____'");
  ASSERT_NE(found, nullptr);
  ASSERT_FALSE(found->Eof());
  EXPECT_EQ(found->Field(0).value_or(Value::Empty()), key);
  EXPECT_EQ(found->Field("company_id").value_or(Value::Empty()), key);  // letter case ignored
  EXPECT_EQ(found->Field("CITY").value_or(Value::Empty()), Value::Text("Zürich"));
  // Text columns compare without regard to letter case.
  EXPECT_EQ(First("SELECT Company_Id FROM Companies WHERE Company_Name='o''brien staffing'"), key);
}

TEST_P(DatabaseContract, ReportsTheDefinedSizesOfTextFields) {
  struct Case {
    std::string_view set, field;
    int size;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"SELECT * FROM Companies WHERE Company_Id IS NULL", "Company_Name", 50},
           {"SELECT * FROM Companies WHERE Company_Id IS NULL", "Phone", 25},
           {"SELECT * FROM Companies WHERE Company_Id IS NULL", "State", 20},
           {"SELECT * FROM Companies WHERE Company_Id IS NULL", "Zip", 10},
           {"SELECT * FROM Companies WHERE Company_Id IS NULL", "Email_Address", 60},
           {"SELECT * FROM Candidates WHERE Candidate_Id IS NULL", "First_Name", 30},
           {"SELECT * FROM Candidates WHERE Candidate_Id IS NULL", "Middle_Init", 20},
           {"SELECT * FROM Candidates WHERE Candidate_Id IS NULL", "Title", 50},
           {"SELECT * FROM Positions WHERE Job_Id IS NULL", "Job_Title", 60},
           {"SELECT * FROM Rollup_Names WHERE Code = 'CAR.0001'", "Code", 20},
           {"SELECT * FROM Companies WHERE Company_Id IS NULL", "Company_Id", 0},      // a number
           {"SELECT * FROM Candidate_Activity WHERE Activity_Id IS NULL", "Memo", 0},  // unsized
       }) {
    SCOPED_TRACE(std::string(c.set) + " / " + std::string(c.field));
    auto set = Open(c.set);
    ASSERT_NE(set, nullptr);
    auto size = set->FieldSize(c.field);
    ASSERT_TRUE(size.has_value()) << size.error().description;
    EXPECT_EQ(*size, c.size);
  }
}

TEST_P(DatabaseContract, UpdateWithoutAddNewIsError3020) {
  auto set = Open("SELECT * FROM Companies WHERE Company_Id IS NULL");
  ASSERT_NE(set, nullptr);
  auto first = set->Update();
  ASSERT_FALSE(first);
  EXPECT_EQ(first.error().number, kUpdateWithoutAddNew);
  auto set_field = set->SetField("City", Value::Text("Oslo"));
  ASSERT_FALSE(set_field);
  EXPECT_EQ(set_field.error().number, kUpdateWithoutAddNew);

  StartRow(*set, "Company_Id", 2001);
  ASSERT_TRUE(set->Update());
  auto again = set->Update();  // the row was stored: nothing is being added
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().number, kUpdateWithoutAddNew);
}

TEST_P(DatabaseContract, DuplicateValuesAreReportedWithTheEngineErrors) {
  auto add_code = [&](std::string_view code) {
    auto set = Open("SELECT * FROM Rollup_Names WHERE Code = 'none'");
    EXPECT_TRUE(set->AddNew());
    EXPECT_TRUE(set->SetField("Code", Value::Text(std::string(code))));
    return set->Update();
  };
  ASSERT_TRUE(add_code("CAR.0001"));
  auto duplicate = add_code("CAR.0001");
  ASSERT_FALSE(duplicate);
  if (odbc()) {
    EXPECT_EQ(duplicate.error().number, kOdbcCallFailed);
    ASSERT_FALSE(duplicate.error().providers.empty());
    EXPECT_EQ(duplicate.error().providers.front().number, kSqlServerPrimaryKey);
  } else {
    EXPECT_EQ(duplicate.error().number, kDuplicateValue);
    ASSERT_FALSE(duplicate.error().providers.empty()) << "the engine's own message is kept";
    EXPECT_FALSE(duplicate.error().providers.front().text.empty());
  }

  // The same through a statement: a membership row twice.
  ASSERT_TRUE(
      db_->Execute("INSERT INTO RollupC_Records (Rollup_Name,Company_Id) VALUES "
                   "('CAR.0001',7)"));
  auto twice = db_->Execute(
      "INSERT INTO RollupC_Records (Rollup_Name,Company_Id) VALUES "
      "('CAR.0001',7)");
  ASSERT_FALSE(twice);
  EXPECT_EQ(twice.error().number, odbc() ? kOdbcCallFailed : kDuplicateValue);
}

TEST_P(DatabaseContract, AFailedUpdateKeepsTheRowForAnotherTry) {
  // Saving with a retried key relies on this: change the key, Update again.
  ASSERT_TRUE(db_->Execute("INSERT INTO Rollup_Names (Code) VALUES ('CAR.0009')"));
  auto set = Open("SELECT * FROM Rollup_Names WHERE Code = 'none'");
  ASSERT_TRUE(set->AddNew());
  ASSERT_TRUE(set->SetField("Code", Value::Text("CAR.0009")));
  ASSERT_TRUE(set->SetField("Description", Value::Text("kept")));
  ASSERT_FALSE(set->Update());
  ASSERT_TRUE(set->SetField("Code", Value::Text("CAR.0010")));
  ASSERT_TRUE(set->Update());
  EXPECT_EQ(First("SELECT Description FROM Rollup_Names WHERE Code = 'CAR.0010'"),
            Value::Text("kept"));
}

TEST_P(DatabaseContract, NullAndEmptyTextStayApart) {
  auto set = Open("SELECT * FROM Companies WHERE Company_Id IS NULL");
  StartRow(*set, "Company_Id", 3001);
  ASSERT_TRUE(set->SetField("Company_Name", Value::Text("Null City")));
  ASSERT_TRUE(set->SetField("City", Value::Null()));
  ASSERT_TRUE(set->SetField("State", Value::Text("")));
  ASSERT_TRUE(set->Update());

  auto row = Open("SELECT City, State, Fax FROM Companies WHERE Company_Name = 'Null City'");
  ASSERT_NE(row, nullptr);
  ASSERT_FALSE(row->Eof());
  EXPECT_EQ(row->Field("City").value_or(Value::Empty()), Value::Null());
  EXPECT_EQ(row->Field("State").value_or(Value::Empty()), Value::Text(""));
  EXPECT_EQ(row->Field("Fax").value_or(Value::Empty()), Value::Null());  // never set
  EXPECT_TRUE(Open("SELECT Company_Id FROM Companies WHERE City = ''")->Eof());
  EXPECT_FALSE(Open("SELECT Company_Id FROM Companies WHERE State = ''")->Eof());
}

TEST_P(DatabaseContract, NumbersIntoTextColumnsArePlainDecimal) {
  struct Case {
    std::string_view field;
    Value in;
    Value stored;
  };
  double key = 4000;
  for (const Case& c : std::initializer_list<Case>{
           {"Zip", Value::Number(12345), Value::Text("12345")},
           {"Zip", Value::Number(-5), Value::Text("-5")},
           {"Zip", Value::Number(0.5), Value::Text("0.5")},
           {"Zip", Value::Text("02134"), Value::Text("02134")},
           {"Email_Address", Value::Text("12345678901234567890"),
            Value::Text("12345678901234567890")},
           {"Email_Address", Value::Number(4636462783123), Value::Text("4636462783123")},
       }) {
    SCOPED_TRACE(std::string(c.field) + " <- " + c.in.ToText());
    auto set = Open("SELECT * FROM Companies WHERE Company_Id IS NULL");
    StartRow(*set, "Company_Id", ++key);
    const Value id = set->Field("Company_Id").value_or(Value::Empty());
    ASSERT_TRUE(set->SetField(c.field, c.in));
    ASSERT_TRUE(set->Update());
    EXPECT_EQ(
        First("SELECT " + std::string(c.field) + " FROM Companies WHERE Company_Id=" + id.ToText()),
        c.stored);
  }
}

TEST_P(DatabaseContract, ThirteenDigitKeysStayExact) {
  ASSERT_TRUE(
      db_->Execute("INSERT INTO Rollup_Records (Rollup_Name,Candidate_Id) VALUES "
                   "('CAR.0001',4636462783123)"));
  EXPECT_EQ(First("SELECT Candidate_Id FROM Rollup_Records WHERE Rollup_Name='CAR.0001'"),
            Value::Number(4636462783123));
}

TEST_P(DatabaseContract, FieldsOfAnEmptySetOrUnknownNamesAreErrors) {
  auto none = Open("SELECT Company_Id FROM Companies WHERE Company_Id IS NULL");
  ASSERT_TRUE(none->Eof());
  auto no_row = none->Field(0);
  ASSERT_FALSE(no_row);
  EXPECT_EQ(no_row.error().number, kNoCurrentRecord);

  ASSERT_TRUE(db_->Execute("INSERT INTO Rollup_Names (Code) VALUES ('CAR.0001')"));
  auto one = Open("SELECT Code FROM Rollup_Names");
  ASSERT_FALSE(one->Eof());
  EXPECT_FALSE(one->Field("NoSuchField").has_value());
  EXPECT_FALSE(one->Field(1).has_value());
  EXPECT_FALSE(one->Field(-1).has_value());
}

TEST_P(DatabaseContract, FailedStatementsReportAndChangeNothing) {
  ASSERT_TRUE(db_->Execute("INSERT INTO Rollup_Names (Code) VALUES ('CAR.0001')"));
  for (std::string_view sql : {"INSERT INTO No_Such_Table (Code) VALUES ('x')",
                               "INSERT INTO Rollup_Names (Code VALUES ('x')",
                               "UPDATE Rollup_Names SET No_Such_Column = 1"}) {
    SCOPED_TRACE(sql);
    auto failed = db_->Execute(sql);
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.error().number, 0);
    EXPECT_FALSE(failed.error().description.empty());
    EXPECT_FALSE(failed.error().providers.empty());
    EXPECT_FALSE(db_->OpenRecordset(sql).has_value());
  }
  // The connection goes on, and what was written before is still there.
  ASSERT_TRUE(db_->Execute("INSERT INTO Rollup_Names (Code) VALUES ('CAR.0002')"));
  ASSERT_TRUE(db_->Flush());
  EXPECT_EQ(First("SELECT Code FROM Rollup_Names WHERE Code='CAR.0001'"), Value::Text("CAR.0001"));
}

TEST_P(DatabaseContract, TableSetsAddRows) {
  auto set = Open("Candidate_Activity", SetKind::kTable);
  ASSERT_NE(set, nullptr);
  StartRow(*set, "Activity_Id", 5001);
  ASSERT_TRUE(set->SetField("Candidate_Id", Value::Number(42)));
  ASSERT_TRUE(set->SetField("Memo", Value::Text("Name Imported from Talvenor. (it's)")));
  ASSERT_TRUE(set->Update());
  EXPECT_EQ(First("SELECT Memo FROM Candidate_Activity WHERE Candidate_Id=42"),
            Value::Text("Name Imported from Talvenor. (it's)"));
  EXPECT_FALSE(db_->OpenRecordset("No_Such_Table", SetKind::kTable).has_value());
}

TEST_P(DatabaseContract, ARowSentWithAStatementLandsAllOrNothing) {
  // Only the server engine sends the two together; a database file says it
  // cannot, and the caller stores the row alone.
  ASSERT_TRUE(
      db_->Execute("INSERT INTO RollupC_Records (Rollup_Name,Company_Id) VALUES ('CAR.0009',7)"));
  struct Case {
    std::string_view what;
    double company;
    std::string_view then;
    bool together_on_server;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"both take", 1,
            "INSERT INTO RollupC_Records (Rollup_Name,Company_Id) VALUES ('CAR.0009',1)", true},
           {"the statement meets a duplicate", 2,
            "INSERT INTO RollupC_Records (Rollup_Name,Company_Id) VALUES ('CAR.0009',7)", false},
           {"the statement is not SQL", 3, "INSERT INTO", false},
       }) {
    SCOPED_TRACE(c.what);
    auto set = Open("Company_Activity", SetKind::kTable);
    ASSERT_NE(set, nullptr);
    StartRow(*set, "Activity_Id", 6000 + c.company);
    ASSERT_TRUE(set->SetField("Company_Id", Value::Number(c.company)));
    ASSERT_TRUE(set->SetField("Memo", Value::Text("it's; a memo")));
    const bool together = set->UpdateTogetherWith(c.then);
    EXPECT_EQ(together, odbc() && c.together_on_server);
    const std::string rows =
        "SELECT COUNT(*) FROM Company_Activity WHERE Company_Id=" + std::to_string(int(c.company));
    EXPECT_EQ(First(rows), Value::Number(together ? 1 : 0)) << "all or nothing";
    if (!together) {
      // The row is still being added: stored alone, it is stored once.
      ASSERT_TRUE(set->Update());
      EXPECT_EQ(First(rows), Value::Number(1));
    }
  }
  EXPECT_EQ(First("SELECT COUNT(*) FROM RollupC_Records WHERE Rollup_Name='CAR.0009'"),
            Value::Number(odbc() ? 2 : 1));

  if (!odbc()) return;
  // The row itself refused (a key taken): the statement after it is undone too.
  auto set = Open("Company_Activity", SetKind::kTable);
  ASSERT_NE(set, nullptr);
  StartRow(*set, "Activity_Id", 6001);
  ASSERT_TRUE(set->SetField("Company_Id", Value::Number(4)));
  EXPECT_FALSE(set->UpdateTogetherWith(
      "INSERT INTO RollupC_Records (Rollup_Name,Company_Id) VALUES ('CAR.0009',4)"));
  EXPECT_EQ(First("SELECT COUNT(*) FROM RollupC_Records WHERE Company_Id=4"), Value::Number(0));
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabaseContract, ::testing::ValuesIn(ContractEngines()),
                         [](const ::testing::TestParamInfo<TestEngine>& engine) {
                           return engine.param.name;
                         });

}  // namespace
}  // namespace talvenor::records::testing
