#include "import/run_state.h"

#include <initializer_list>
#include <utility>

namespace talvenor::import {

namespace {

InsertSet OpenInsertSet(RunState& run, std::string_view sql) {
  InsertSet out;
  auto set = run.target.db.OpenRecordset(sql, records::SetKind::kDynaset);
  if (set.has_value()) {
    out.set = std::move(*set);
  } else {
    // Told once here rather than at every row the table then cannot take.
    out.open_error = set.error();
    run.messages.ShowMessage(set.error().description, "", records::MessageIcon::kNone);
    run.errors.Step(std::move(set));
  }
  return out;
}

// The size of a column, or 0 when the set is missing or cannot tell.
int SizeOf(RunState& run, const InsertSet& set, std::string_view column) {
  if (!set.set) return 0;
  return run.errors.Step(set.set->FieldSize(column)).value_or(0);
}

}  // namespace

std::string MessageLog::Take() {
  // A failed save shows its error, then the standard text with the engine's
  // errors, which repeats it: a text another one already holds is kept once,
  // in its longer form.
  std::vector<std::string> kept;
  for (std::string& text : texts_) {
    bool said = false;
    for (std::string& k : kept) {
      if (k.find(text) != std::string::npos) {
        said = true;
      } else if (text.find(k) != std::string::npos) {
        if (!said) k = text;  // the longer form takes the shorter one's place
        said = true;
      }
    }
    if (!said) kept.push_back(std::move(text));
  }
  texts_.clear();
  std::string out;
  for (const std::string& text : kept) {
    if (!out.empty()) out += "; ";
    out += text;
  }
  return out;
}

void OpenInsertSets(RunState& run) {
  run.target.activity_sets = &run.activity_sets;
  run.target.run_keys = true;
  run.companies = OpenInsertSet(run, "SELECT * FROM Companies WHERE Company_Id IS NULL");
  run.candidates = OpenInsertSet(run, "SELECT * FROM Candidates WHERE Candidate_Id IS NULL");
  run.positions = OpenInsertSet(run, "SELECT * FROM Positions WHERE Job_Id IS NULL");

  CompanyColumns& co = run.company_columns;
  co.name = SizeOf(run, run.companies, "Company_Name");
  co.fax = SizeOf(run, run.companies, "Fax");
  co.address = SizeOf(run, run.companies, "Address_1");
  co.city = SizeOf(run, run.companies, "City");
  co.state = SizeOf(run, run.companies, "State");
  co.zip = SizeOf(run, run.companies, "Zip");
  co.email = SizeOf(run, run.companies, "Email_Address");

  CandidateColumns& ca = run.candidate_columns;
  ca.first_name = SizeOf(run, run.candidates, "First_Name");
  ca.last_name = SizeOf(run, run.candidates, "Last_Name");
  ca.middle = SizeOf(run, run.candidates, "Middle_Init");
  ca.title = SizeOf(run, run.candidates, "Title");
  ca.work_phone = SizeOf(run, run.candidates, "Work_Phone");
  ca.fax = SizeOf(run, run.candidates, "Fax_Phone");
  ca.email = SizeOf(run, run.candidates, "Email_Address");

  PositionColumns& po = run.position_columns;
  po.title = SizeOf(run, run.positions, "Job_Title");
  po.city = SizeOf(run, run.positions, "City");
  po.zip = SizeOf(run, run.positions, "Zip");
  po.contact_name = SizeOf(run, run.positions, "Contact_Name");
  po.contact_phone = SizeOf(run, run.positions, "Contact_Phone");
  po.date_posted = SizeOf(run, run.positions, "Date_Posted");
}

void CloseInsertSets(RunState& run) {
  for (InsertSet* s : {&run.companies, &run.candidates, &run.positions}) {
    if (s->set) s->set->Close();
    s->set.reset();
  }
  run.activity_sets.Close();
  run.target.activity_sets = nullptr;
}

}  // namespace talvenor::import
