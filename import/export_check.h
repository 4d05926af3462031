#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvenor::import {

class ExportReader;

// Looks at the start of an export file before anything of it is imported, and
// says why it is not one; nothing when it may be imported. The first 256 KiB
// are read through Peek, so that a pipe is looked at as a file is and then
// imported whole. The file is refused when
//   - it starts as a compressed file, an archive or a document does (gzip,
//     zip and so .xlsx/.docx, PDF, ...): "this is a gzip file";
//   - more than one byte in 20 of its first 64 KiB of text (decoded as the
//     import decodes it) is a NUL or another control character than tab,
//     carriage return and line feed, as in a binary file: "line 3 holds the
//     control character 0x01 ..." (a stray one is made a blank by the reader);
//   - more than half of its first 1,000 data lines cannot be export lines
//     (WhyNotAnExportLine): "line 2 has 3 fields; an export line has 39 ...".
// A file without data lines is not refused; nor is a file that cannot be
// read, which is left for the import to report. `name` names the file in the
// message.
std::optional<std::string> CheckExportStart(ExportReader& reader, std::string_view name);

// CheckExportStart on the file `path` (a pipe named so loses what it looked
// at: the import opens the reader it checked instead).
std::optional<std::string> CheckExportFile(const std::string& path);

// What the leading bytes of a file say it is ("a gzip file", "a zip archive
// (an .xlsx workbook and a .docx document are zip archives)"); nothing for
// bytes that may be text.
std::optional<std::string> KnownBinaryFormat(std::string_view leading_bytes);

}  // namespace talvenor::import
