// talvenor-import preview FILE: reads an export file the way the import does
// and prints, for every data line, what the import would make of it, as one
// JSON object per line. Touches no database.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/command.h"
#include "app/cli/json.h"
#include "import/contact_name.h"
#include "import/export_check.h"
#include "import/export_reader.h"
#include "import/split_export_line.h"
#include "records/connection_text.h"
#include "text/phone_format.h"

namespace talvenor::app::cli {
namespace {

namespace column = import::export_column;

constexpr std::string_view kUsage = "Usage: talvenor-import preview FILE [OPTIONS]\n";

constexpr std::string_view kDescription =
    "Reads an export file and prints, for every data line, one JSON object: the\n"
    "line's fields, the company, the five contacts and the position as the import\n"
    "reads them. Header lines, empty lines and blank lines are skipped. No database\n"
    "is touched. A file that does not look like an export file (binary, compressed,\n"
    "a document, other columns) is refused with exit code 65.\n";

// Writes the JSON object of one data line into `out` (which it clears).
void DescribeLine(const import::ExportLine& line, const std::vector<std::string>& fields,
                  std::string& out) {
  out.clear();
  auto field = [&](size_t index) { return import::ExportField(fields, index); };
  auto phone = [&](size_t index) { return text::FormatPhone(field(index)); };

  JsonWriter json(out);
  json.BeginObject().Key("line").Int(line.number);

  json.Key("fields").BeginArray();
  for (const std::string& f : fields) json.String(f);
  json.EndArray();

  json.Key("company").BeginObject();
  json.Key("name").String(field(column::kCompanyName));
  json.Key("phone").String(phone(column::kCompanyPhone));
  json.Key("fax").String(phone(column::kCompanyFax));
  json.EndObject();

  json.Key("contacts").BeginArray();
  for (size_t slot = 0; slot < column::kContactSlots; ++slot) {
    const size_t base = column::ContactBase(slot);
    const import::ContactName name = import::ParseContactName(field(base + column::kContactName));
    json.BeginObject();
    json.Key("slot").Int(static_cast<long long>(slot));
    json.Key("name");
    if (name.filtered) {
      json.String(*name.filtered);
    } else {
      json.Null();
    }
    json.Key("first").String(name.first);
    json.Key("middle").String(name.middle);
    json.Key("last").String(name.last);
    json.Key("skipped").Bool(name.skipped);
    json.Key("title").String(field(base + column::kContactTitle));
    json.Key("phone").String(phone(base + column::kContactPhone));
    json.Key("fax").String(phone(base + column::kContactFax));
    json.Key("email").String(field(base + column::kContactEmail));
    json.EndObject();
  }
  json.EndArray();

  json.Key("position").BeginObject();
  json.Key("title").String(field(column::kJobTitle));
  json.Key("city").String(field(column::kJobCity));
  json.Key("zip").String(field(column::kJobZip));
  json.Key("date_posted").String(field(column::kDatePosted));
  json.EndObject();

  json.Key("physical_line").Int(line.physical_number);
  json.EndObject();
  out += '\n';
}

// The JSON object of a line the reader refused (too long to read).
void DescribeRefusedLine(const import::ExportLine& line, std::string& out) {
  out.clear();
  JsonWriter json(out);
  json.BeginObject().Key("line").Int(line.number);
  json.Key("refused").String(line.refused);
  json.Key("physical_line").Int(line.physical_number);
  json.EndObject();
  out += '\n';
}

int Preview(const std::string& file, bool force, size_t max_line_bytes) {
  // "-" is standard input, read through its descriptor's name.
  const std::string path = file == "-" ? "/dev/stdin" : file;
  auto reader = import::ExportReader::Open(path);
  if (!reader) {
    // The file named may be a connection text given by mistake: no password
    // it holds is echoed.
    std::fprintf(stderr, "talvenor-import preview: %s\n",
                 records::HidePasswords(reader.error().message).c_str());
    return kExitNoInput;
  }
  reader->set_max_line_bytes(max_line_bytes);
  if (!force) {
    // A pipe is looked at through the reader, which then reads it whole.
    if (const auto refused = import::CheckExportStart(*reader, path)) {
      std::fprintf(stderr, "talvenor-import preview: %s\n",
                   records::HidePasswords(*refused).c_str());
      return kExitDataErr;
    }
  }

  // Lines are gathered into one block and written in large pieces.
  constexpr size_t kFlushAt = 256 * 1024;
  std::string block;
  std::string object;
  std::vector<std::string> fields;
  import::ExportLine line;
  auto flush = [&] {
    if (!block.empty()) std::fwrite(block.data(), 1, block.size(), stdout);
    block.clear();
  };
  for (;;) {
    const auto more = reader->Next(line);
    if (!more) {
      flush();
      std::fflush(stdout);
      std::fprintf(stderr, "talvenor-import preview: %s\n",
                   records::HidePasswords(more.error().message).c_str());
      return kExitNoInput;
    }
    if (!*more) break;
    if (!line.refused.empty()) {
      DescribeRefusedLine(line, object);
    } else {
      import::SplitExportLine(line.text, fields);
      DescribeLine(line, fields, object);
    }
    block += object;
    if (block.size() >= kFlushAt) flush();
  }
  flush();
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "talvenor-import preview: cannot write the output\n");
    return kExitIoErr;
  }
  return kExitOk;
}

}  // namespace

Action DefinePreview(CLI::App& app) {
  auto file = std::make_shared<std::string>();
  auto force = std::make_shared<bool>(false);
  SetUsage(app, std::string(kUsage));
  app.description(std::string(kDescription));
  app.add_option("FILE", *file, "the export file; - reads standard input")
      ->required()
      ->type_name("");
  app.add_flag("--force", *force, "read a file that does not look like an export file");
  auto max_line_kib = std::make_shared<std::string>();
  CLI::Option* max_line = AddMaxLineKib(app, *max_line_kib);
  app.footer(
      "A line longer than --max-line-kib gives {\"line\":N,\"refused\":\"why\",...} in place\n"
      "of its fields.\n"
      "Exit codes: 0 done, 64 bad usage, 65 the file is not an export file, 66 the file\n"
      "cannot be read, 74 the output cannot be written.");
  return [file, force, max_line, max_line_kib] {
    size_t max_line_bytes = import::kDefaultMaxLineBytes;
    if (max_line->count() > 0) {
      const std::optional<size_t> bytes = MaxLineBytes(*max_line_kib);
      if (!bytes) {
        return UsageError("talvenor-import preview",
                          "--max-line-kib needs a whole number of KiB from 1 to " +
                              std::to_string(kMostMaxLineKib) + ", not '" + *max_line_kib + "'");
      }
      max_line_bytes = *bytes;
    }
    return Preview(*file, *force, max_line_bytes);
  };
}

}  // namespace talvenor::app::cli
