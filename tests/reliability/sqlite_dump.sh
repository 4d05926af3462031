# Sourced by the whole-program reliability scripts.

# Every record with what it points at instead of keys, sorted; then the
# number of activity rows, memberships and script rows.
dump() {  # target
  sqlite3 -readonly "$1" <<'SQL' | LC_ALL=C sort
SELECT 'company', Company_Name, Phone, Fax, Address_1, City, State, Zip, Email_Address
  FROM Companies;
SELECT 'candidate', ca.First_Name, ca.Middle_Init, ca.Last_Name, ca.Title, ca.Work_Phone,
       ca.Fax_Phone, ca.Email_Address, co.Company_Name, co.Phone
  FROM Candidates ca LEFT JOIN Companies co ON co.Company_Id = ca.Company_Id;
SELECT 'position', p.Job_Title, p.City, p.Zip, p.Contact_Name, p.Contact_Phone, p.Date_Posted,
       co.Company_Name, ca.First_Name, ca.Last_Name, s.Description
  FROM Positions p LEFT JOIN Companies co ON co.Company_Id = p.Company_Id
  LEFT JOIN Candidates ca ON ca.Candidate_Id = p.Candidate_Id
  LEFT JOIN Scripts s ON s.Job_Id = p.Job_Id;
SELECT 'activity and memberships', (SELECT COUNT(*) FROM Company_Activity),
       (SELECT COUNT(*) FROM Candidate_Activity), (SELECT COUNT(*) FROM Position_Activities),
       (SELECT COUNT(*) FROM RollupC_Records), (SELECT COUNT(*) FROM Rollup_Records),
       (SELECT COUNT(*) FROM RollupP_Records), (SELECT COUNT(*) FROM Scripts);
SQL
}

