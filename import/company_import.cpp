#include "import/company_import.h"

#include <string>

#include "import/field_value.h"
#include "import/record_steps.h"
#include "records/activity_log.h"
#include "text/phone_format.h"

namespace talvenor::import {

using records::Value;

std::array<std::string, 2> CompanyLookUpTexts(const RunState& run, const ImportRow& row) {
  namespace col = export_column;
  return {CutToSize(row.field(col::kCompanyName), run.company_columns.name),
          text::FormatPhone(row.field(col::kCompanyPhone))};
}

void ImportCompany(RunState& run, ImportRow& row) {
  namespace col = export_column;
  const CompanyColumns& size = run.company_columns;
  const std::array<std::string, 2> texts = CompanyLookUpTexts(run, row);
  const std::string& name = texts[0];
  const std::string& phone = texts[1];

  const LookUpResult found = LookUpKey(run, kCompanyLookUp, texts);
  if (found.found) {
    // An existing company is taken as it is: no activity, no membership.
    row.company_key = found.key;
    ++run.counts.companies_matched;
    return;
  }

  InsertSet& set = run.companies;
  StartNewRow(run, set, "Company_Id");
  SetFieldStep(run, set, "Company_Name", StoredValue(name, size.name));
  SetFieldStep(run, set, "Phone", Value::Text(phone));
  // The fax is not looked up, so it may be cut: a mask wider than a narrow
  // column must not cost the whole company.
  SetFieldStep(run, set, "Fax",
               Value::Text(CutToSize(text::FormatPhone(row.field(col::kCompanyFax)), size.fax)));
  SetFieldStep(run, set, "Address_1",
               StoredValue(CutToSize(row.field(col::kCompanyAddress), size.address), size.address));
  SetFieldStep(run, set, "City",
               StoredValue(CutToSize(row.field(col::kCompanyCity), size.city), size.city));
  SetFieldStep(run, set, "State",
               StoredValue(CutToSize(row.field(col::kCompanyState), size.state), size.state));
  SetFieldStep(run, set, "Zip",
               StoredValue(CutToSize(row.field(col::kCompanyZip), size.zip), size.zip));
  SetFieldStep(run, set, "Email_Address",
               StoredValue(CutToSize(row.field(col::kCompanyEmail), size.email), size.email));

  const RecordStamp stamp = StampNewRow(run, set);
  const Value key = SaveRecord(run, set, "Company_Id", "Companies", "company", row);
  if (!key.HasValue()) return;  // not stored: no activity, no membership, no company key
  ++run.counts.companies_created;
  NoteStored(run, kCompanyLookUp, texts, key);
  row.company_key = key;
  AddActivityAndMembership(run, row, stamp, records::RecordKind::kCompany,
                           "Company Imported from Talvenor.", "RollupC_Records", "Company_Id", key);
}

}  // namespace talvenor::import
