#pragma once

#include <sys/types.h>

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
  // Why the line cannot be imported at all: it is longer than the reader's
  // maximum. Then `text` is empty and `raw` holds only the line's first bytes.
  std::string_view refused;
  // What the reader changed in the text: control characters made blanks.
  std::string_view warning;
};

// How many bytes the reader asks the file for at a time.
inline constexpr size_t kReadSize = 64 * 1024;

// The longest line the reader takes unless told otherwise: 1 MiB.
inline constexpr size_t kDefaultMaxLineBytes = size_t{1} << 20;

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
// In a file whose lines end at carriage returns, a record that holds lone line
// feeds and more fields than an export line (39) is several lines joined (a
// line added with a tool that ends lines at LF): each line feed outside an
// enclosed field then ends a line. Otherwise line feeds stay in the text.
//
// A line longer than the maximum (kDefaultMaxLineBytes unless set; every byte
// read counts, NULs too) is handed out refused, with only its first bytes
// kept; reading goes on after its end, so memory stays bounded.
//
// Each line loses its NUL bytes; a final 0x1A (the DOS end-of-file mark) at
// the end of the file is dropped, and a line of nothing but 0x1A is empty.
// Other control characters than tab and line feed become blanks, and the line
// carries a warning that says so. A line that is then valid UTF-8 is taken as
// UTF-8, any other line as Windows-1252. A UTF-8 byte-order mark at the start of
// the file is dropped. Empty lines and header lines (the first eight characters
// are "JOBTITLE" in any letter case) are skipped and not counted as data lines.
// So are blank lines: lines of nothing but blanks, tabs and line feeds.
//
// A file in UTF-16 is decoded to UTF-8 as it is read, and then read exactly as
// the same text in UTF-8 would be: with a byte-order mark, little- or
// big-endian, and little-endian without one when the start of the file shows
// the pattern of ASCII text in UTF-16 (nearly every second byte NUL, the others
// not). A lone surrogate becomes U+FFFD. In such a file a line's `raw` is its
// UTF-8 text, so that lines written out again (the rejects file) stay readable.
class ExportReader {
 public:
  // Opens `path` for reading; "/dev/stdin" is the standard input as it stands.
  // A missing file, a directory or a file without read permission gives the
  // error.
  static std::expected<ExportReader, ReadError> Open(const std::string& path);
  // Reads `bytes` as a file holding them.
  static ExportReader FromBytes(std::string bytes);

  // Reads the first `size` bytes of the file (fewer at its end) and keeps them
  // to be read again by Next: a pipe can be looked at before it is imported.
  // Only before the first call of Next. A read error is reported by Next once
  // the bytes read before it have been read.
  std::string_view Peek(size_t size);
  // True when Peek read the whole file.
  bool peeked_all() const { return head_ended_ && head_errno_ == 0; }

  // The most bytes a line may have; a longer one is refused.
  void set_max_line_bytes(size_t bytes) { max_line_bytes_ = bytes; }
  // Asked before every read of the file and when a read is interrupted by a
  // signal: true stops reading there (a line not read to its end is dropped),
  // and Next reports the end of the file with stopped() true.
  void set_stop_check(std::function<bool()> stop) { stop_ = std::move(stop); }
  bool stopped() const { return stopped_; }
  // True while the line being read has grown past one read of the file.
  bool in_long_line() const { return line_bytes_ > static_cast<long long>(kReadSize); }

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
  // Reads the next physical line into raw_: true when there is one. The pieces
  // of a record cut at its line feeds come first.
  bool NextRecordLine();
  bool ReadLine();
  // Adds bytes of the current line to raw_, up to the maximum.
  void AppendToLine(const char* bytes, size_t size);
  // Cuts raw_ at its line feeds when it holds more fields than an export line.
  void CutJoinedLines();
  // Fills the buffer; false at the end of the file or on error (error_ set).
  bool Refill();
  // read(2) of the file that carries on after an interrupting signal unless a
  // stop is asked for: then 0, with stopped_ set.
  ssize_t ReadFd(char* into, size_t size);
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
  // The refusal of a line longer than the maximum.
  void RefuseLongLine(ExportLine& line);

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
  std::string head_;         // bytes read by Peek, read again before the rest of the file
  size_t head_used_ = 0;     // how many of them were read again
  bool head_ended_ = false;  // Peek met the end of the file
  int head_errno_ = 0;       // Peek met a read error
  std::function<bool()> stop_;
  bool stopped_ = false;
  size_t max_line_bytes_ = kDefaultMaxLineBytes;
  long long line_bytes_ = 0;         // bytes of the current line read, kept or not
  bool too_long_ = false;            // the current line is longer than the maximum
  std::string record_;               // a record cut at its line feeds
  std::vector<size_t> cuts_;         // where its lines end, from the last to the first
  size_t piece_begin_ = 0;           // where its next line starts
  std::vector<std::string> fields_;  // scratch for counting a record's fields

  std::string raw_;      // the current line's bytes
  std::string decoded_;  // its text, when it differs from raw_
  std::string note_;     // the line's refusal or warning
  long data_lines_ = 0;
  long physical_lines_ = 0;
  long blank_lines_ = 0;
};

}  // namespace talvenor::import
