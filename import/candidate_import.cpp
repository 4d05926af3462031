#include "import/candidate_import.h"

#include <string>
#include <string_view>

#include "import/contact_name.h"
#include "import/field_value.h"
#include "import/record_steps.h"
#include "import/split_export_line.h"
#include "records/activity_log.h"
#include "text/phone_format.h"
#include "text/string_utils.h"

namespace talvenor::import {

using records::Value;

std::array<std::string, 4> ContactLookUpTexts(const RunState& run, const ImportRow& row,
                                              size_t slot, const ContactName& name) {
  namespace col = export_column;
  const CandidateColumns& size = run.candidate_columns;
  const size_t base = col::ContactBase(slot);
  return {CutToSize(name.first, size.first_name), CutToSize(name.last, size.last_name),
          CutToSize(row.field(base + col::kContactTitle), size.title),
          text::FormatPhone(row.field(base + col::kContactPhone))};
}

namespace {

// Looks up or creates the contact of one slot; returns its key, empty when it
// was neither found nor stored.
Value ImportContact(RunState& run, ImportRow& row, size_t slot, const ContactName& name) {
  namespace col = export_column;
  const CandidateColumns& size = run.candidate_columns;
  const size_t base = col::ContactBase(slot);
  const std::array<std::string, 4> texts = ContactLookUpTexts(run, row, slot, name);
  const std::string& first = texts[0];
  const std::string& last = texts[1];
  const std::string& title = texts[2];
  const std::string& phone = texts[3];

  const LookUpResult found = LookUpKey(run, kContactLookUp, texts);
  if (found.found) {
    // An existing person is left as it is, with the company it had.
    ++run.counts.contacts_matched;
    return found.key;
  }

  InsertSet& set = run.candidates;
  StartNewRow(run, set, "Candidate_Id");
  if (row.company_key.HasValue()) SetFieldStep(run, set, "Company_Id", row.company_key);
  SetFieldStep(run, set, "First_Name", StoredValue(first, size.first_name));
  SetFieldStep(run, set, "Last_Name", StoredValue(last, size.last_name));
  SetFieldStep(run, set, "Middle_Init",
               StoredValue(CutToSize(name.middle, size.middle), size.middle));
  SetFieldStep(run, set, "Title", StoredValue(title, size.title));
  SetFieldStep(run, set, "Work_Phone", StoredValue(phone, size.work_phone));
  // The fax is not looked up, so it may be cut to a narrow column.
  SetFieldStep(
      run, set, "Fax_Phone",
      StoredValue(CutToSize(text::FormatPhone(row.field(base + col::kContactFax)), size.fax),
                  size.fax));
  SetFieldStep(
      run, set, "Email_Address",
      StoredValue(CutToSize(row.field(base + col::kContactEmail), size.email), size.email));
  SetFieldStep(run, set, "Specialty_2", Value::Text("H"));

  const std::string what =
      "contact " + std::to_string(slot + 1) + " (" + name.first + " " + name.last + ")";
  const RecordStamp stamp = StampNewRow(run, set);
  const Value key = SaveRecord(run, set, "Candidate_Id", "Candidates", what, row);
  if (!key.HasValue()) return key;
  ++run.counts.contacts_created;
  NoteStored(run, kContactLookUp, texts, key);
  AddActivityAndMembership(run, row, stamp, records::RecordKind::kContact,
                           "Name Imported from Talvenor.", "Rollup_Records", "Candidate_Id", key);
  return key;
}

}  // namespace

void ImportContacts(RunState& run, ImportRow& row) {
  namespace col = export_column;
  row.first_contact = FirstContact{};
  for (size_t slot = 0; slot < col::kContactSlots; ++slot) {
    const size_t base = col::ContactBase(slot);
    const std::string_view name_field = row.field(base + col::kContactName);
    const ContactName name = ParseContactName(name_field);
    if (name.skipped) {
      if (!text::TrimView(name_field).empty()) ++run.counts.contact_slots_skipped;
      continue;
    }
    const Value key = ImportContact(run, row, slot, name);
    if (row.first_contact.key.HasValue() || !key.HasValue()) continue;
    row.first_contact.key = key;
    row.first_contact.name = name.first + " " + name.last;
    row.first_contact.work_phone = text::FormatPhone(row.field(base + col::kContactPhone));
    row.first_contact.email = std::string(row.field(base + col::kContactEmail));
  }
}

}  // namespace talvenor::import
