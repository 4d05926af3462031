#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvenor::import {

// Column positions of an export line (numbered from 0; 4 and 12 are not read).
namespace export_column {
inline constexpr size_t kJobTitle = 0;
inline constexpr size_t kJobCity = 1;
inline constexpr size_t kJobZip = 2;
inline constexpr size_t kDatePosted = 3;
inline constexpr size_t kCompanyName = 5;
inline constexpr size_t kCompanyAddress = 6;
inline constexpr size_t kCompanyCity = 7;
inline constexpr size_t kCompanyState = 8;
inline constexpr size_t kCompanyZip = 9;
inline constexpr size_t kCompanyPhone = 10;
inline constexpr size_t kCompanyFax = 11;
inline constexpr size_t kCompanyEmail = 13;
inline constexpr size_t kContactSlots = 5;
// Contact k's fields start at ContactBase(k): name, title, phone, fax, e-mail.
inline constexpr size_t ContactBase(size_t slot) { return 14 + 5 * slot; }
inline constexpr size_t kContactName = 0;
inline constexpr size_t kContactTitle = 1;
inline constexpr size_t kContactPhone = 2;
inline constexpr size_t kContactFax = 3;
inline constexpr size_t kContactEmail = 4;
inline constexpr size_t kCount = 39;
}  // namespace export_column

// Splits one data line into its fields (numbered from 0; n separators give
// n + 1 fields). Never fails on any text.
//
// Fields are separated by commas, and by every "|" (the internal separator).
// A field that opens the line or follows a separating comma may be enclosed in
// double quotes; within it a comma is text. An enclosed field ends at the first
// double quote directly followed by a comma, or at the end of the line; a
// double quote that is the line's last character is dropped in any case. Any
// other double quote stays in the value (doubling is no escape). Field 0 loses
// every carriage return and line feed; no other field is trimmed or cleaned, so
// blanks that stand in the file stay, at the end of the last field too.
std::vector<std::string> SplitExportLine(std::string_view line);

// The same into a vector the caller reuses from line to line (its strings keep
// their capacity, so a steady run of lines allocates nothing).
void SplitExportLine(std::string_view line, std::vector<std::string>& fields);

// Field `index`, or the empty text when the line has fewer fields.
inline std::string_view ExportField(const std::vector<std::string>& fields, size_t index) {
  return index < fields.size() ? std::string_view(fields[index]) : std::string_view();
}

// The number of fields SplitExportLine gives for `line`, without making them.
// When `line_feeds` is given, it receives the offsets of the line feeds that
// stand outside an enclosed field (those that may end a line); each is then
// read as a line end, for the quotes around it: a quote just before it closes
// its field, one just after it opens one (the count may then differ).
size_t CountExportFields(std::string_view line, std::vector<size_t>* line_feeds = nullptr);

// The fewest fields a line can have and be an export line: the job title
// (field 0) to the company name (field 5). Fields after the company's are the
// company's particulars and the contacts, which exporters leave out, trailing
// commas and all, when they are empty.
inline constexpr size_t kFewestExportFields = export_column::kCompanyName + 1;

// Why a split line cannot be an export line, or nothing when it can. A line
// with fewer than kFewestExportFields fields, or with neither a company name
// nor a job title (blank once trimmed), would create records of nothing.
// The text reads after "line N ": "has 1 field; an export line has 39 and
// needs at least 6, up to the company name".
std::optional<std::string> WhyNotAnExportLine(const std::vector<std::string>& fields);

}  // namespace talvenor::import
