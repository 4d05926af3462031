#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvenor::import {

// The fewest fields a data line must have to hold a company and its first
// contact's name (fields 0 to 14 of the 39).
inline constexpr size_t kFewestExportFields = 15;

// Looks at an export file before anything of it is imported, and says why it
// is not one; nothing when it may be imported. The file is refused when
//   - it starts as a compressed file, an archive or a document does (gzip,
//     zip and so .xlsx/.docx, PDF, ...): "this is a gzip file";
//   - its first 64 KiB of text (decoded as the import decodes it) hold a NUL
//     or another control character than tab, carriage return and line feed:
//     "line 3 holds the control character 0x01 ...";
//   - more than half of its first 1,000 data lines have fewer than
//     kFewestExportFields fields: "line 2 has 3 fields; an export line has 39".
// A file without data lines is not refused. Only regular files are looked at
// (a pipe read here would lose its lines to the import); a file that cannot be
// read is left for the import to report.
std::optional<std::string> CheckExportFile(const std::string& path);

// What the leading bytes of a file say it is ("a gzip file", "a zip archive
// (an .xlsx workbook and a .docx document are zip archives)"); nothing for
// bytes that may be text.
std::optional<std::string> KnownBinaryFormat(std::string_view leading_bytes);

}  // namespace talvenor::import
