#include "import/company_import.h"

#include <string>

#include "import/field_value.h"
#include "import/record_steps.h"
#include "records/activity_log.h"
#include "text/phone_format.h"

namespace talvenor::import {

using records::Value;

void ImportCompany(RunState& run, ImportRow& row) {
  namespace col = export_column;
  const CompanyColumns& size = run.company_columns;
  const std::string name = CutToSize(row.field(col::kCompanyName), size.name);
  const std::string phone = text::FormatPhone(row.field(col::kCompanyPhone));

  const LookUpResult found =
      LookUpKey(run, "Company_Id", "Companies", {{"Company_Name", name}, {"Phone", phone}});
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
  row.company_key = key;
  AddActivityAndMembership(run, row, stamp, records::RecordKind::kCompany,
                           "Company Imported from Talvenor.", "RollupC_Records", "Company_Id", key);
}

}  // namespace talvenor::import
