#include "import/export_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <vector>

#include "import/export_reader.h"
#include "import/split_export_line.h"

namespace talvenor::import {
namespace {

constexpr size_t kTextLooked = 64 * 1024;
constexpr long kLinesLooked = 1000;

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

std::optional<std::string> CheckExportFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  const std::string refused = path + " is not an export file: ";

  {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::array<char, 512> head{};
    const ssize_t n = ::read(fd, head.data(), head.size());
    ::close(fd);
    if (n > 0) {
      if (auto what = KnownBinaryFormat(std::string_view(head.data(), size_t(n)))) {
        return refused + "this is " + *what + ".";
      }
    }
  }

  auto reader = ExportReader::Open(path);
  if (!reader) return std::nullopt;
  ExportLine line;
  std::vector<std::string> fields;
  size_t text_seen = 0;
  long looked = 0;
  long short_lines = 0;
  long first_short = 0;
  size_t first_short_fields = 0;
  for (;;) {
    const auto more = reader->Next(line);
    if (!more || !*more) break;
    if (text_seen < kTextLooked) {
      // raw holds the line as read: NULs included, and for UTF-16 its UTF-8.
      for (const char ch : line.raw) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) {
          return refused + "line " + std::to_string(line.physical_number) +
                 " holds the control character " + Hex(c) +
                 "; this looks like a binary file, not text.";
        }
      }
      text_seen += line.raw.size();
    }
    if (line.number <= kLinesLooked) {
      ++looked;
      SplitExportLine(line.text, fields);
      if (fields.size() < kFewestExportFields) {
        if (short_lines++ == 0) {
          first_short = line.physical_number;
          first_short_fields = fields.size();
        }
      }
    }
    if (line.number >= kLinesLooked && text_seen >= kTextLooked) break;
  }
  // A few short lines (a trailing note, a cut last line) are imported as
  // they are; a file made mostly of them is another kind of file.
  if (looked > 0 && short_lines * 2 > looked) {
    return refused + "line " + std::to_string(first_short) + " has " +
           std::to_string(first_short_fields) + (first_short_fields == 1 ? " field" : " fields") +
           "; an export line has " + std::to_string(export_column::kCount) + " (" +
           std::to_string(short_lines) + " of the first " + std::to_string(looked) +
           " data lines have fewer than " + std::to_string(kFewestExportFields) + ").";
  }
  return std::nullopt;
}

}  // namespace talvenor::import
