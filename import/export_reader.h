#pragma once

#include <sys/types.h>

#include <cstddef>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

namespace talvenor::import {

// A failure to open or read an export file: errno's number and a message that
// names the file and gives errno's text ("cannot open a.csv: No such file or
// directory").
struct ReadError {
  int error_number = 0;
  std::string message;
};

// One data line of an export file. The views point into the reader's buffers
// and stay valid until the reader's next call.
struct ExportLine {
  long number = 0;           // 1, 2, ... over data lines only
  long physical_number = 0;  // the line's ordinal in the file, header and empty lines included
  std::string_view text;     // decoded UTF-8, NUL bytes removed
  std::string_view raw;      // the bytes as in the file, NULs included, without the line end
                             // (and without the byte-order mark on the first line)
};

// Streams the data lines of an export file in order, in constant memory: a
// fixed read buffer, and one line held while it is handed out.
//
// Line ends: a carriage return, with or without a following line feed; a line
// feed that does not follow a carriage return stays in the line's text. In a
// file that holds no carriage return at all, a line feed ends the line. A final
// line without a line end is a line. (Input that cannot be looked ahead in,
// such as a pipe, is judged by the 64 KiB read so far: line feeds end lines
// until the first carriage return is met.)
//
// Each line loses its NUL bytes; a line that is then valid UTF-8 is taken as
// UTF-8, any other line as Windows-1252. A UTF-8 byte-order mark at the start of
// the file is dropped. Empty lines and header lines (the first eight characters
// are "JOBTITLE" in any letter case) are skipped and not counted as data lines.
// So are blank lines: lines of nothing but blanks, tabs, commas and double
// quotes, whose fields are all empty once trimmed.
//
// A file in UTF-16 is decoded to UTF-8 as it is read, and then read exactly as
// the same text in UTF-8 would be: with a byte-order mark, little- or
// big-endian, and little-endian without one when the start of the file shows
// the pattern of ASCII text in UTF-16 (nearly every second byte NUL, the others
// not). A lone surrogate becomes U+FFFD. In such a file a line's `raw` is its
// UTF-8 text, so that lines written out again (the rejects file) stay readable.
class ExportReader {
 public:
  // Opens `path` for reading. A missing file, a directory or a file without
  // read permission gives the error.
  static std::expected<ExportReader, ReadError> Open(const std::string& path);

  ExportReader(ExportReader&&) noexcept = default;
  ExportReader& operator=(ExportReader&&) noexcept = default;

  // Reads the next data line into `line`: true when there was one, false at the
  // end of the file, or the read error (after which the reader stays at its end).
  std::expected<bool, ReadError> Next(ExportLine& line);

  // Blank lines (every field empty once trimmed) skipped so far.
  long blank_lines() const { return blank_lines_; }

  // How the file's bytes are read: known after the first call of Next.
  enum class Encoding { kUndecided, kBytes, kUtf16Le, kUtf16Be };
  Encoding encoding() const { return encoding_; }

 private:
  enum class LineFeed { kUndecided, kInText, kEndsLine };

  // Owns the file descriptor; closes it when dropped.
  class File {
   public:
    explicit File(int fd) : fd_(fd) {}
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();
    int fd() const { return fd_; }

   private:
    int fd_ = -1;
  };

  ExportReader(File file, std::string path, bool seekable);
  // Reads the next physical line into raw_: true when there is one.
  bool ReadLine();
  // Fills the buffer; false at the end of the file or on error (error_ set).
  bool Refill();
  // Reads up to `size` bytes of the file into `into`: the count, 0 at its end,
  // -1 on error (error_ set, at_end_ set).
  ssize_t ReadFile(char* into, size_t size);
  // Fills the buffer with the UTF-8 of the UTF-16 units read.
  bool RefillUtf16();
  // Settles what a line feed means once the first lone one is met, by looking
  // for a carriage return in the rest of the file (buffer bytes from `from` on).
  void DecideLineFeed(size_t from);
  // Decodes raw_ into the line; false for an empty line.
  bool Decode(ExportLine& line);

  File file_;
  std::string path_;
  bool seekable_ = false;
  std::unique_ptr<char[]> buffer_;
  size_t begin_ = 0;           // next unread byte of the buffer
  size_t end_ = 0;             // bytes in the buffer
  long long file_offset_ = 0;  // file offset just after the buffer's bytes
  bool at_end_ = false;
  bool skip_line_feed_ = false;  // the last line ended at a carriage return
  LineFeed line_feed_ = LineFeed::kUndecided;
  Encoding encoding_ = Encoding::kUndecided;
  std::string utf16_;        // UTF-16 bytes read and not yet decoded
  size_t utf16_begin_ = 0;   // the first of them
  bool file_ended_ = false;  // UTF-16: the file has no more bytes
  std::expected<void, ReadError> error_;

  std::string raw_;      // the current line's bytes
  std::string decoded_;  // its text, when it differs from raw_
  long data_lines_ = 0;
  long physical_lines_ = 0;
  long blank_lines_ = 0;
};

}  // namespace talvenor::import
