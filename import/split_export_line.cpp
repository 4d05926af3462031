#include "import/split_export_line.h"

namespace talvenor::import {

// The line is read once, left to right, building the fields as it goes. The
// same rules were first written as an in-place scan of fixed length that
// shifted the text left over each removed quote and padded the end with a
// blank; those blanks ended up in the last field (a contact's e-mail address)
// although the file never held them. Building the fields directly removes the
// quotes without any padding.
void SplitExportLine(std::string_view line, std::vector<std::string>& fields) {
  size_t count = 0;
  auto next_field = [&]() -> std::string* {
    if (count == fields.size()) {
      fields.emplace_back();
    } else {
      fields[count].clear();
    }
    return &fields[count++];
  };

  bool in_quotes = false;
  if (line.starts_with('"')) {
    line.remove_prefix(1);
    in_quotes = true;
  }
  if (line.ends_with('"')) line.remove_suffix(1);

  std::string* field = next_field();
  for (size_t i = 0; i < line.size(); ++i) {
    // Text up to the next character that may end a field or a quote is taken
    // in one piece.
    const char ends = in_quotes ? '"' : ',';
    size_t end = i;
    while (end < line.size() && line[end] != ends && line[end] != '|') ++end;
    if (end != i) {
      field->append(line.substr(i, end - i));
      i = end - 1;
      continue;
    }
    const char c = line[i];
    const bool comma_follows = i + 1 < line.size() && line[i + 1] == ',';
    if (in_quotes && c == '"' && comma_follows) {
      // The closing quote goes; the comma after it is a separator again.
      in_quotes = false;
    } else if (!in_quotes && c == ',') {
      field = next_field();
      if (i + 1 < line.size() && line[i + 1] == '"') {
        ++i;  // the opening quote of an enclosed field
        in_quotes = true;
      }
    } else if (c == '|') {
      field = next_field();
    } else {
      field->push_back(c);
    }
  }
  fields.resize(count);
  std::erase_if(fields[0], [](char c) { return c == '\r' || c == '\n'; });
}

std::vector<std::string> SplitExportLine(std::string_view line) {
  std::vector<std::string> fields;
  SplitExportLine(line, fields);
  return fields;
}

size_t CountExportFields(std::string_view line, std::vector<size_t>* line_feeds) {
  // The same reading as SplitExportLine's, keeping only the count.
  size_t offset = 0;
  bool in_quotes = false;
  if (line.starts_with('"')) {
    line.remove_prefix(1);
    offset = 1;
    in_quotes = true;
  }
  if (line.ends_with('"')) line.remove_suffix(1);
  size_t count = 1;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    const bool next_is = i + 1 < line.size();
    if (c == '|') {
      ++count;
    } else if (in_quotes) {
      // Where line feeds are looked for, one may end a line: the quote before
      // it closes its field as a quote at the end of a line does.
      if (c == '"' && next_is && (line[i + 1] == ',' || (line_feeds && line[i + 1] == '\n'))) {
        in_quotes = false;
      }
    } else if (c == ',') {
      ++count;
      if (next_is && line[i + 1] == '"') {
        ++i;
        in_quotes = true;
      }
    } else if (c == '\n' && line_feeds != nullptr) {
      line_feeds->push_back(offset + i);
      // A quote after it opens a field, as at the start of a line.
      if (next_is && line[i + 1] == '"') {
        ++i;
        in_quotes = true;
      }
    }
  }
  return count;
}

std::optional<std::string> WhyNotAnExportLine(const std::vector<std::string>& fields) {
  const size_t n = fields.size();
  const std::string count = std::to_string(n) + (n == 1 ? " field" : " fields");
  if (n < kFewestExportFields) {
    return "has " + count + "; an export line has " + std::to_string(export_column::kCount) +
           " and needs at least " + std::to_string(kFewestExportFields) +
           ", up to the company name";
  }
  auto blank = [](std::string_view f) { return f.find_first_not_of(" \t") == f.npos; };
  if (blank(fields[export_column::kCompanyName]) && blank(fields[export_column::kJobTitle])) {
    return "has " + count + " but neither a company name nor a job title";
  }
  return std::nullopt;
}

}  // namespace talvenor::import
