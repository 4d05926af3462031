#!/usr/bin/env bash
# Prints the content signature of an import target: the SHA-256 of every row
# the import writes, table by table in a fixed order, with the texts that come
# from the clock or from chance left out, so that two imports of the same file
# into fresh targets give the same signature exactly when they stored the same
# rows.
#
# Left out: the GUID keys (Position_Activities.Activity_Id, Scripts.Script_Id),
# Last_Activity, the activity rows' date and memo (which carries the time),
# and the batch list's description, memo and date. Kept: everything else,
# numeric keys included: on a database file they are AutoNumbers, the same in
# every run. On a server the keys come from the clock, so --no-keys leaves
# every key and the columns that refer to keys out as well (the rows are then
# compared as sorted lists of their other columns).
#
# Usage: bench/signature.sh [--no-keys] TARGET.db
#        bench/signature.sh [--no-keys] --psql "PSQL ARGS"   (a PostgreSQL target)
set -euo pipefail

keys=1
psql_args=''
while (($#)); do
  case $1 in
    --no-keys) keys=0 ;;
    --psql) psql_args=${2:?--psql needs the arguments of psql}; shift ;;
    -h | --help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) target=$1 ;;
  esac
  shift
done

if ((keys)); then
  queries=(
    "SELECT Company_Id, Company_Name, Phone, Fax, Address_1, City, State, Zip, Email_Address FROM Companies ORDER BY 1"
    "SELECT Candidate_Id, Company_Id, First_Name, Last_Name, Middle_Init, Title, Work_Phone, Fax_Phone, Email_Address, Specialty_2 FROM Candidates ORDER BY 1"
    "SELECT Job_Id, Company_Id, Job_Title, City, Zip, Candidate_Id, Contact_Name, Contact_Phone, Date_Posted FROM Positions ORDER BY 1"
    "SELECT Description, Job_Id, Script_Type FROM Scripts ORDER BY 2, 1"
    "SELECT Activity_Id, Company_Id, User_Name, Act_Type FROM Company_Activity ORDER BY 1"
    "SELECT Activity_Id, Candidate_Id, User_Name, Act_Type FROM Candidate_Activity ORDER BY 1"
    "SELECT Position_Id, User_Name, Act_Type FROM Position_Activities ORDER BY 1"
    "SELECT Code, Shared FROM Rollup_Names ORDER BY 1"
    "SELECT Rollup_Name, Company_Id FROM RollupC_Records ORDER BY 1, 2"
    "SELECT Rollup_Name, Candidate_Id FROM Rollup_Records ORDER BY 1, 2"
    "SELECT Rollup_Name, Job_Id FROM RollupP_Records ORDER BY 1, 2"
  )
else
  queries=(
    "SELECT Company_Name, Phone, Fax, Address_1, City, State, Zip, Email_Address FROM Companies ORDER BY 1, 2, 3, 4, 5, 6, 7, 8"
    "SELECT First_Name, Last_Name, Middle_Init, Title, Work_Phone, Fax_Phone, Email_Address, Specialty_2 FROM Candidates ORDER BY 1, 2, 3, 4, 5, 6, 7, 8"
    "SELECT Job_Title, City, Zip, Contact_Name, Contact_Phone, Date_Posted FROM Positions ORDER BY 1, 2, 3, 4, 5, 6"
    "SELECT Description, Script_Type FROM Scripts ORDER BY 1, 2"
    "SELECT User_Name, Act_Type, COUNT(*) FROM Company_Activity GROUP BY 1, 2 ORDER BY 1, 2"
    "SELECT User_Name, Act_Type, COUNT(*) FROM Candidate_Activity GROUP BY 1, 2 ORDER BY 1, 2"
    "SELECT User_Name, Act_Type, COUNT(*) FROM Position_Activities GROUP BY 1, 2 ORDER BY 1, 2"
    "SELECT Code, Shared FROM Rollup_Names ORDER BY 1"
    "SELECT Rollup_Name, COUNT(*) FROM RollupC_Records GROUP BY 1 ORDER BY 1"
    "SELECT Rollup_Name, COUNT(*) FROM Rollup_Records GROUP BY 1 ORDER BY 1"
    "SELECT Rollup_Name, COUNT(*) FROM RollupP_Records GROUP BY 1 ORDER BY 1"
  )
fi

for q in "${queries[@]}"; do
  echo "== $q"
  if [ -n "$psql_args" ]; then
    # Rows in the C collation, so that the order does not hang on the server's.
    # shellcheck disable=SC2086
    psql $psql_args -X -q -A -t -F '|' -c "$q" | LC_ALL=C sort
  else
    sqlite3 -readonly -separator '|' "${target:?a target file is needed}" "$q" | LC_ALL=C sort
  fi
done | sha256sum | cut -d' ' -f1
