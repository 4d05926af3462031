#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "import/split_export_line.h"
#include "records/value.h"

namespace talvenor::import {

// The first contact person of a data line that was found or created; the
// position takes it as its contact. `key` stays empty when the line had none.
struct FirstContact {
  records::Value key;
  std::string name;        // first name, a blank, last name (not cut)
  std::string work_phone;  // the formatted phone mask
  std::string email;       // as read
};

// The state of one data line, handed from the company to the contacts to the
// position and dropped after the line. Nothing of an earlier line survives.
struct ImportRow {
  std::vector<std::string> fields;  // the line's fields, numbered from 0
  records::Value company_key;       // empty when no company was found or stored
  FirstContact first_contact;

  // Why some of the line's rows could not be stored; empty when all were.
  std::vector<std::string> problems;
  // What was read but could not be taken as given (a field left out, with the
  // line still stored); shown to the operator, never a reason to reject.
  std::vector<std::string> warnings;

  // Field `index`, or an empty text when the line has fewer fields.
  std::string_view field(size_t index) const { return ExportField(fields, index); }
};

}  // namespace talvenor::import
