#pragma once

// What the reliability tests read back from an SQLite target: the records as
// the file describes them (keys left out, so that targets filled by different
// runs compare), the links that point at nothing, and plain counts.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/targets.h"

namespace talvenor::reliability {

// Rows of `sql`, each as its columns joined with "|" (NULL as "<null>").
inline std::vector<std::string> SqliteRows(const std::string& path, std::string_view sql) {
  sqlite3* db = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path;
    sqlite3_close(db);
    return rows;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &stmt, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
  } else {
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        if (i > 0) row += '|';
        const unsigned char* text = sqlite3_column_text(stmt, i);
        row += text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                             size_t(sqlite3_column_bytes(stmt, i)))
                               : "<null>";
      }
      rows.push_back(std::move(row));
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

inline long long SqliteCount(const std::string& path, std::string_view sql) {
  const std::vector<std::string> rows = SqliteRows(path, sql);
  if (rows.size() != 1) return -1;
  return std::stoll(rows[0]);
}

// A fresh SQLite target with the target schema (a test failure when none can
// be made).
inline std::unique_ptr<testing::TestTarget> FreshTarget() {
  std::string why;
  auto target = testing::TestTarget::Create(testing::EngineKind::kSqlite, why);
  EXPECT_NE(target, nullptr) << why;
  return target;
}

// The rows a run creates, as its summary counts them.
struct StoredRows {
  long long companies = 0, contacts = 0, positions = 0, scripts = 0;
  bool operator==(const StoredRows&) const = default;
};
inline StoredRows CountStored(const std::string& path) {
  return {SqliteCount(path, "SELECT COUNT(*) FROM Companies"),
          SqliteCount(path, "SELECT COUNT(*) FROM Candidates"),
          SqliteCount(path, "SELECT COUNT(*) FROM Positions"),
          SqliteCount(path, "SELECT COUNT(*) FROM Scripts")};
}
inline std::ostream& operator<<(std::ostream& out, const StoredRows& s) {
  return out << s.companies << " companies, " << s.contacts << " contacts, " << s.positions
             << " positions, " << s.scripts << " scripts";
}
// What a summary says was created, in the same form.
template <class Counts>
StoredRows Created(const Counts& c) {
  return {c.companies_created, c.contacts_created, c.positions_created, c.script_rows};
}
inline StoredRows operator-(const StoredRows& a, const StoredRows& b) {
  return {a.companies - b.companies, a.contacts - b.contacts, a.positions - b.positions,
          a.scripts - b.scripts};
}

// Every company, candidate and position by what the import looks it up by,
// with how often it is stored. The other columns come from whichever line
// created the record, and links between records are left out: a contact
// stored while its company was not keeps no company, as the import defines.
inline std::map<std::string, int> Records(const std::string& path) {
  std::map<std::string, int> out;
  for (const char* sql : {
           "SELECT 'company', Company_Name, Phone FROM Companies",
           "SELECT 'candidate', First_Name, Last_Name, Title, Work_Phone FROM Candidates",
           "SELECT 'position', Job_Title, City FROM Positions",
       }) {
    for (const std::string& row : SqliteRows(path, sql)) ++out[row];
  }
  return out;
}

// Links that point at a record that does not exist: activity rows, batch
// memberships, script rows and the company and contact links of records.
// Each entry names the link and how many such rows there are.
inline std::vector<std::string> Orphans(const std::string& path) {
  struct Link {
    const char* what;
    const char* sql;
  };
  std::vector<std::string> out;
  for (const Link& link : std::initializer_list<Link>{
           {"company activity",
            "Company_Activity WHERE Company_Id NOT IN "
            "(SELECT Company_Id FROM Companies)"},
           {"candidate activity",
            "Candidate_Activity WHERE Candidate_Id NOT IN "
            "(SELECT Candidate_Id FROM Candidates)"},
           {"position activity",
            "Position_Activities WHERE Position_Id NOT IN "
            "(SELECT Job_Id FROM Positions)"},
           {"company membership",
            "RollupC_Records WHERE Company_Id NOT IN "
            "(SELECT Company_Id FROM Companies)"},
           {"candidate membership",
            "Rollup_Records WHERE Candidate_Id NOT IN "
            "(SELECT Candidate_Id FROM Candidates)"},
           {"position membership",
            "RollupP_Records WHERE Job_Id NOT IN "
            "(SELECT Job_Id FROM Positions)"},
           {"membership of no list",
            "(SELECT Rollup_Name FROM RollupC_Records UNION ALL "
            "SELECT Rollup_Name FROM Rollup_Records UNION ALL "
            "SELECT Rollup_Name FROM RollupP_Records) WHERE "
            "Rollup_Name NOT IN (SELECT Code FROM Rollup_Names)"},
           {"script", "Scripts WHERE Job_Id NOT IN (SELECT Job_Id FROM Positions)"},
           {"candidate's company",
            "Candidates WHERE Company_Id IS NOT NULL AND Company_Id "
            "NOT IN (SELECT Company_Id FROM Companies)"},
           {"position's company",
            "Positions WHERE Company_Id IS NOT NULL AND Company_Id "
            "NOT IN (SELECT Company_Id FROM Companies)"},
           {"position's contact",
            "Positions WHERE Candidate_Id IS NOT NULL AND Candidate_Id "
            "NOT IN (SELECT Candidate_Id FROM Candidates)"},
       }) {
    const long long n = SqliteCount(path, std::string("SELECT COUNT(*) FROM ") + link.sql);
    if (n != 0) out.push_back(std::string(link.what) + ": " + std::to_string(n));
  }
  return out;
}

}  // namespace talvenor::reliability
