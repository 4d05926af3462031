#include "import/export_check.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "import/export_reader.h"
#include "import/split_export_line.h"

namespace talvenor::import {
namespace {

constexpr size_t kBytesLooked = 256 * 1024;
constexpr size_t kTextLooked = 64 * 1024;
constexpr long kLinesLooked = 1000;
// A file is binary when more than one byte in this many is a control character.
constexpr size_t kControlShare = 20;

struct Signature {
  size_t offset;
  std::string_view bytes;
  std::string_view what;
};

// Leading bytes of the files most often picked by mistake.
constexpr std::array<Signature, 17> kSignatures = {{
    {0, "\x1F\x8B", "a gzip file"},
    {0, "PK\x03\x04", "a zip archive (an .xlsx workbook and a .docx document are zip archives)"},
    {0, "PK\x05\x06", "an empty zip archive"},
    {0, "PK\x07\x08", "a zip archive"},
    {0, "%PDF-", "a PDF document"},
    {0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1",
     "a Microsoft Office document (an .xls workbook or a .doc document)"},
    {0, "BZh", "a bzip2 file"},
    {0,
     "\xFD"
     "7zXZ",
     "an xz file"},
    {0, "7z\xBC\xAF\x27\x1C", "a 7-Zip archive"},
    {0, "\x28\xB5\x2F\xFD", "a zstd file"},
    {0, "Rar!\x1A\x07", "a RAR archive"},
    {0, "SQLite format 3", "an SQLite database"},
    {0, "\x89PNG", "a PNG image"},
    {0, "\xFF\xD8\xFF", "a JPEG image"},
    {0, "GIF8", "a GIF image"},
    {0,
     "\x7F"
     "ELF",
     "a program (ELF)"},
    {257, "ustar", "a tar archive"},
}};

std::string Hex(unsigned char c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", c);
  return buf;
}

}  // namespace

std::optional<std::string> KnownBinaryFormat(std::string_view leading_bytes) {
  for (const Signature& s : kSignatures) {
    if (leading_bytes.size() >= s.offset + s.bytes.size() &&
        leading_bytes.substr(s.offset, s.bytes.size()) == s.bytes) {
      return std::string(s.what);
    }
  }
  return std::nullopt;
}

std::optional<std::string> CheckExportStart(ExportReader& reader, std::string_view name) {
  const std::string refused = std::string(name) + " is not an export file: ";
  const std::string_view head = reader.Peek(kBytesLooked);
  if (auto what = KnownBinaryFormat(head.substr(0, 512))) {
    return refused + "this is " + *what + ".";
  }
  // The start is read again as the import reads it. Unless it is the whole
  // file, its last line may be cut short: its fields are not judged.
  ExportReader start = ExportReader::FromBytes(std::string(head));
  const bool whole = reader.peeked_all();
  ExportLine line;
  std::vector<std::string> fields;
  long looked = 0, junk = 0, first_junk = 0;
  std::string first_junk_why;
  // The verdict on the line before: a line counts once the next one is read.
  std::optional<std::string> pending_why;
  long pending_line = 0;
  bool pending = false;
  auto judge_pending = [&] {
    if (!pending) return;
    pending = false;
    ++looked;
    if (!pending_why) return;
    if (junk++ == 0) {
      first_junk = pending_line;
      first_junk_why = std::move(*pending_why);
    }
  };
  for (;;) {
    const auto more = start.Next(line);
    if (!more || !*more) break;
    judge_pending();
    if (line.number <= kLinesLooked && line.refused.empty()) {
      SplitExportLine(line.text, fields);
      pending_why = WhyNotAnExportLine(fields);
      pending_line = line.physical_number;
      pending = true;
    }
  }
  if (whole) judge_pending();

  // Control characters are counted in the bytes as they are, line ends
  // aside; a UTF-16 file was told by its own pattern of NULs already.
  if (start.encoding() == ExportReader::Encoding::kBytes) {
    std::string_view text = head.substr(0, kTextLooked);
    // The DOS end-of-file mark ends a file, when it does, and is no text.
    if (whole && text.size() == head.size()) {
      while (text.ends_with('\x1A')) text.remove_suffix(1);
    }
    size_t controls = 0, line_ends = 0;
    long first_line = 0;
    unsigned char first = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c == '\r' || (c == '\n' && (i == 0 || text[i - 1] != '\r'))) ++line_ends;
      if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) {
        if (controls++ == 0) {
          first_line = static_cast<long>(line_ends) + 1;
          first = c;
        }
      }
    }
    const size_t line_end_bytes = static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }));
    if (controls * kControlShare > text.size() - line_end_bytes) {
      return refused + "line " + std::to_string(first_line) + " holds the control character " +
             Hex(first) + " (" + std::to_string(controls) + " control characters in its first " +
             std::to_string(text.size()) + " bytes); this looks like a binary file, not text.";
    }
  }
  // A few lines that cannot be export lines (a trailing note, a cut last
  // line) are rejected one by one as they are imported; a file made mostly of
  // them is another kind of file.
  if (looked > 0 && junk * 2 > looked) {
    return refused + "line " + std::to_string(first_junk) + " " + first_junk_why + " (" +
           std::to_string(junk) + " of the first " + std::to_string(looked) +
           " data lines cannot be export lines).";
  }
  return std::nullopt;
}

std::optional<std::string> CheckExportFile(const std::string& path) {
  auto reader = ExportReader::Open(path);
  if (!reader) return std::nullopt;
  return CheckExportStart(*reader, path);
}

}  // namespace talvenor::import
