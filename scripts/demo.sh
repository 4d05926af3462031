#!/usr/bin/env bash
# Sets up, builds, creates a fresh SQLite target, imports the sample export
# file into it, and shows the summary and a few of the rows written.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh ci

bin=build/ci/bin/talvenor-import
demo=build/demo
target=$demo/target.db
rm -rf "$demo"
mkdir -p "$demo"

echo "== talvenor-import init $target" >&2
"$bin" init "$target"

echo >&2
echo "== talvenor-import run examples/sample.csv --target $target" >&2
"$bin" run examples/sample.csv --target "$target" --rejects "$demo/rejects.csv"

show() {
  echo >&2
  echo "== $1" >&2
  sqlite3 -header -column "$target" "$2"
}
show "companies" \
  "SELECT Company_Id AS Id, Company_Name, Phone, City, Zip FROM Companies ORDER BY Company_Id LIMIT 8"
show "contact persons" \
  "SELECT Candidate_Id AS Id, First_Name, Middle_Init, Last_Name, Title, Work_Phone, Company_Id
   FROM Candidates ORDER BY Candidate_Id LIMIT 8"
show "positions" \
  "SELECT Job_Id AS Id, Job_Title, City, Company_Id, Contact_Name, Date_Posted
   FROM Positions ORDER BY Job_Id LIMIT 8"
show "the run's batch list and its members" \
  "SELECT Code, Description, Memo,
          (SELECT COUNT(*) FROM RollupC_Records r WHERE r.Rollup_Name = Code) AS Companies,
          (SELECT COUNT(*) FROM Rollup_Records r WHERE r.Rollup_Name = Code) AS Contacts,
          (SELECT COUNT(*) FROM RollupP_Records r WHERE r.Rollup_Name = Code) AS Positions
   FROM Rollup_Names ORDER BY Code"

echo >&2
echo "== the same file again: everything is found, only a batch list is new" >&2
"$bin" run examples/sample.csv --target "$target" --quiet
