#include "import/export_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "import/split_export_line.h"
#include "text/ascii.h"
#include "text/utf8.h"

namespace talvenor::import {
namespace {

constexpr size_t kBufferSize = kReadSize;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kHeaderMark = "JOBTITLE";

ReadError MakeError(int error_number, std::string_view what, std::string_view path) {
  ReadError error;
  error.error_number = error_number;
  error.message = std::string(what) + " " + std::string(path) + ": " + std::strerror(error_number);
  return error;
}

// How many first bytes of a line too long to read are kept to show it.
constexpr size_t kShownBytes = 40;

// A control character the text of a line does not keep: NUL (dropped) and
// every other C0 character but tab and line feed, and DEL (made blanks).
bool IsControl(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F; }

// The DOS end-of-file mark.
constexpr char kEndOfFileMark = '\x1A';

// `bytes` as printable ASCII: other bytes as \xNN.
std::string Printable(std::string_view bytes) {
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += ch;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

bool IsAscii(std::string_view s) {
  unsigned char any = 0;
  for (const char c : s) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

// How a file's bytes are to be read, from its first bytes: UTF-16 by its
// byte-order mark, or little-endian UTF-16 without one by the pattern of
// ASCII text in it (nearly every byte at an odd offset NUL, nearly none at an
// even one); anything else is bytes.
ExportReader::Encoding DetectEncoding(std::string_view start) {
  using Encoding = ExportReader::Encoding;
  if (start.starts_with("\xFF\xFE")) return Encoding::kUtf16Le;
  if (start.starts_with("\xFE\xFF")) return Encoding::kUtf16Be;
  const size_t units = start.size() / 2;
  if (units < 2) return Encoding::kBytes;
  size_t odd_nul = 0, even_nul = 0;
  for (size_t i = 0; i < units; ++i) {
    even_nul += start[2 * i] == '\0' ? 1 : 0;
    odd_nul += start[2 * i + 1] == '\0' ? 1 : 0;
  }
  if (odd_nul * 10 >= units * 9 && even_nul * 10 <= units) return Encoding::kUtf16Le;
  return Encoding::kBytes;
}

// True when `bytes`, starting on a unit's first byte, hold the unit U+000D.
bool HasUtf16CarriageReturn(std::string_view bytes, bool little) {
  const char first = little ? '\r' : '\0';
  const char second = little ? '\0' : '\r';
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == first && bytes[i + 1] == second) return true;
  }
  return false;
}

// A line of nothing but blanks, tabs and line feeds. (A line of empty fields,
// ",,,,", is a data line; it is refused as no export line when imported.)
bool IsBlankLine(std::string_view text) {
  return text.find_first_not_of(" \t\n") == std::string_view::npos;
}

}  // namespace

ExportReader::File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

ExportReader::File& ExportReader::File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

ExportReader::File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

std::expected<ExportReader, ReadError> ExportReader::Open(const std::string& path) {
  // Standard input is taken as it is: opening /dev/stdin again would wait
  // for a writer on a pipe or FIFO whose writer has already finished.
  const int fd = path == "/dev/stdin" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                                      : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::unexpected(MakeError(errno, "cannot open", path));
  File file(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::unexpected(MakeError(errno, "cannot open", path));
  // A directory opens without complaint and fails only at the first read.
  if (S_ISDIR(info.st_mode)) return std::unexpected(MakeError(EISDIR, "cannot open", path));
  return ExportReader(std::move(file), path, S_ISREG(info.st_mode));
}

ExportReader ExportReader::FromBytes(std::string bytes) {
  ExportReader reader(File(-1), "(bytes)", /*seekable=*/false);
  reader.head_ = std::move(bytes);
  reader.head_ended_ = true;
  return reader;
}

ExportReader::ExportReader(File file, std::string path, bool seekable)
    : file_(std::move(file)),
      path_(std::move(path)),
      seekable_(seekable),
      buffer_(new char[kBufferSize]) {}

std::string_view ExportReader::Peek(size_t size) {
  assert(file_offset_ == 0 && physical_lines_ == 0 && "Peek comes before the first line");
  while (head_.size() < size && !head_ended_ && head_errno_ == 0) {
    const size_t had = head_.size();
    head_.resize(size);
    const ssize_t n = ReadFd(head_.data() + had, size - had);
    head_.resize(had + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    if (n < 0) head_errno_ = errno;
    if (n == 0) head_ended_ = true;
  }
  return head_;
}

ssize_t ExportReader::ReadFd(char* into, size_t size) {
  for (;;) {
    // A stop asked for is heard before each read, and when a signal cuts a
    // read short: a pipe that sends nothing does not hold the run.
    if (stop_ && stop_()) {
      stopped_ = true;
      return 0;
    }
    const ssize_t n = ::read(file_.fd(), into, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

std::expected<bool, ReadError> ExportReader::Next(ExportLine& line) {
  while (NextRecordLine()) {
    ++physical_lines_;
    line.refused = {};
    line.warning = {};
    if (too_long_) {
      RefuseLongLine(line);
      line.number = ++data_lines_;
      line.physical_number = physical_lines_;
      line.raw = raw_;
      return true;
    }
    if (physical_lines_ == 1 && raw_.starts_with(kByteOrderMark)) {
      raw_.erase(0, kByteOrderMark.size());
    }
    if (!Decode(line)) continue;
    if (IsBlankLine(line.text)) {
      ++blank_lines_;
      continue;
    }
    if (line.text.size() >= kHeaderMark.size() &&
        text::EqualsIgnoreCase(line.text.substr(0, kHeaderMark.size()), kHeaderMark)) {
      continue;
    }
    line.number = ++data_lines_;
    line.physical_number = physical_lines_;
    line.raw = raw_;
    return true;
  }
  if (!error_) {
    ReadError error = std::move(error_.error());
    error_ = {};  // reported once; afterwards the reader is simply at its end
    return std::unexpected(std::move(error));
  }
  return false;
}

ssize_t ExportReader::ReadFile(char* into, size_t size) {
  ssize_t n = 0;
  if (head_used_ < head_.size()) {
    n = static_cast<ssize_t>(std::min(size, head_.size() - head_used_));
    std::memcpy(into, head_.data() + head_used_, static_cast<size_t>(n));
    head_used_ += static_cast<size_t>(n);
  } else if (head_errno_ != 0 || (!head_ended_ && (n = ReadFd(into, size)) < 0)) {
    error_ =
        std::unexpected(MakeError(head_errno_ != 0 ? head_errno_ : errno, "cannot read", path_));
    at_end_ = true;
    return -1;
  }
  if (stopped_) at_end_ = true;
  file_offset_ += n;
  return n;
}

bool ExportReader::Refill() {
  begin_ = end_ = 0;
  if (at_end_) return false;
  if (encoding_ == Encoding::kUtf16Le || encoding_ == Encoding::kUtf16Be) return RefillUtf16();
  const ssize_t n = ReadFile(buffer_.get(), kBufferSize);
  if (n <= 0) {
    at_end_ = true;
    return false;
  }
  end_ = static_cast<size_t>(n);
  if (encoding_ == Encoding::kUndecided) {
    encoding_ = DetectEncoding(std::string_view(buffer_.get(), end_));
    if (encoding_ != Encoding::kBytes) {
      // The byte-order mark is decoded too, to U+FEFF, and dropped as UTF-8's is.
      utf16_.assign(buffer_.get(), end_);
      end_ = 0;
      return RefillUtf16();
    }
  }
  return true;
}

bool ExportReader::RefillUtf16() {
  const bool little = encoding_ == Encoding::kUtf16Le;
  auto unit_at = [&](size_t at) {
    const auto lo = static_cast<unsigned char>(utf16_[at + (little ? 0 : 1)]);
    const auto hi = static_cast<unsigned char>(utf16_[at + (little ? 1 : 0)]);
    return static_cast<char32_t>(hi << 8 | lo);
  };
  char* const out = buffer_.get();
  size_t n = 0;
  std::string bytes;  // one character's UTF-8
  auto put = [&](char32_t c) {
    bytes.clear();
    text::AppendUtf8(bytes, c);
    std::memcpy(out + n, bytes.data(), bytes.size());
    n += bytes.size();
  };
  constexpr char32_t kReplacement = text::kReplacementCharacter;
  while (n == 0) {
    // Keep at least a surrogate pair's four bytes at hand while the file goes on.
    if (utf16_.size() - utf16_begin_ < 4 && !file_ended_) {
      utf16_.erase(0, utf16_begin_);
      utf16_begin_ = 0;
      const size_t had = utf16_.size();
      utf16_.resize(had + kBufferSize / 2);
      const ssize_t got = ReadFile(utf16_.data() + had, kBufferSize / 2);
      utf16_.resize(had + static_cast<size_t>(std::max<ssize_t>(got, 0)));
      if (got < 0) return false;
      if (got == 0) file_ended_ = true;
      continue;
    }
    // A unit gives at most three bytes of UTF-8, a surrogate pair four.
    while (utf16_begin_ + 2 <= utf16_.size() && n + 4 <= kBufferSize) {
      const char32_t unit = unit_at(utf16_begin_);
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (utf16_begin_ + 4 > utf16_.size()) {
          if (!file_ended_) break;  // its partner is still to be read
          put(kReplacement);
          utf16_begin_ += 2;
          continue;
        }
        const char32_t next = unit_at(utf16_begin_ + 2);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          put(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
          utf16_begin_ += 4;
        } else {
          put(kReplacement);
          utf16_begin_ += 2;
        }
        continue;
      }
      put(unit >= 0xDC00 && unit <= 0xDFFF ? kReplacement : unit);
      utf16_begin_ += 2;
    }
    if (n > 0 || !file_ended_) continue;
    if (utf16_begin_ < utf16_.size()) {
      // An odd byte at the very end.
      put(kReplacement);
      utf16_begin_ = utf16_.size();
      continue;
    }
    at_end_ = true;
    return false;
  }
  end_ = n;
  return true;
}

bool ExportReader::NextRecordLine() {
  if (cuts_.empty()) {
    if (!ReadLine()) return false;
    if (line_feed_ != LineFeed::kInText || too_long_ || raw_.find('\n') == std::string::npos) {
      return true;
    }
    CutJoinedLines();
    if (cuts_.empty()) return true;
  }
  const size_t end = cuts_.back();
  cuts_.pop_back();
  raw_.assign(record_, piece_begin_, end - piece_begin_);
  piece_begin_ = end + 1;
  return true;
}

void ExportReader::CutJoinedLines() {
  cuts_.clear();
  if (CountExportFields(raw_, &cuts_) <= export_column::kCount || cuts_.empty()) {
    cuts_.clear();
    return;
  }
  // The pieces are taken from the back of the list: the record's end first.
  cuts_.push_back(raw_.size());
  std::reverse(cuts_.begin(), cuts_.end());
  record_.swap(raw_);
  piece_begin_ = 0;
}

void ExportReader::AppendToLine(const char* bytes, size_t size) {
  line_bytes_ += static_cast<long long>(size);
  if (too_long_) return;
  if (line_bytes_ <= static_cast<long long>(max_line_bytes_)) {
    raw_.append(bytes, size);
    return;
  }
  // Only the line's first bytes are kept, to show it; the rest is read past.
  too_long_ = true;
  raw_.append(bytes, std::min(size, kShownBytes - std::min(raw_.size(), kShownBytes)));
  raw_.resize(std::min(raw_.size(), kShownBytes));
}

bool ExportReader::ReadLine() {
  raw_.clear();
  line_bytes_ = 0;
  too_long_ = false;
  for (;;) {
    if (begin_ == end_ && !Refill()) {
      // A line cut short by a read error or a stop is not handed out.
      if (stopped_ || !error_.has_value() || line_bytes_ == 0) return false;
      // A DOS end-of-file mark at the very end is no text.
      while (!too_long_ && !raw_.empty() && raw_.back() == kEndOfFileMark) raw_.pop_back();
      return true;
    }
    const char* const buf = buffer_.get();
    if (skip_line_feed_) {
      // The line feed of a CRLF pair may arrive in the next buffer.
      skip_line_feed_ = false;
      if (buf[begin_] == '\n') ++begin_;
      continue;
    }
    size_t i = begin_;
    if (line_feed_ == LineFeed::kInText) {
      const void* cr = std::memchr(buf + begin_, '\r', end_ - begin_);
      i = cr ? static_cast<size_t>(static_cast<const char*>(cr) - buf) : end_;
    } else {
      for (; i < end_; ++i) {
        if (buf[i] == '\r') break;
        if (buf[i] == '\n') {
          if (line_feed_ == LineFeed::kUndecided) DecideLineFeed(i + 1);
          if (line_feed_ == LineFeed::kEndsLine) break;
        }
      }
    }
    AppendToLine(buf + begin_, i - begin_);
    if (i == end_) {
      begin_ = end_;
      continue;
    }
    if (buf[i] == '\r') {
      // Once a carriage return is seen, line feeds are text (this also settles
      // input that could not be looked ahead in, such as a pipe).
      line_feed_ = LineFeed::kInText;
      skip_line_feed_ = true;
    }
    begin_ = i + 1;
    return true;
  }
}

void ExportReader::DecideLineFeed(size_t from) {
  // Only a lone line feed met before any carriage return gets here, so the
  // file holds a carriage return exactly when the rest of it does.
  if (std::memchr(buffer_.get() + from, '\r', end_ - from) != nullptr) {
    line_feed_ = LineFeed::kInText;
    return;
  }
  line_feed_ = LineFeed::kEndsLine;
  if (!seekable_) {
    // A pipe cannot be looked ahead in beyond the bytes Peek kept.
    if (encoding_ == Encoding::kBytes && head_used_ < head_.size() &&
        std::memchr(head_.data() + head_used_, '\r', head_.size() - head_used_) != nullptr) {
      line_feed_ = LineFeed::kInText;
    }
    return;
  }
  if (at_end_) return;
  std::unique_ptr<char[]> ahead(new char[kBufferSize]);
  const bool utf16 = encoding_ == Encoding::kUtf16Le || encoding_ == Encoding::kUtf16Be;
  // UTF-16 bytes not yet decoded are read again from the file, so that the
  // look-ahead starts on a unit's first byte (units are read whole from the
  // start of the file).
  off_t offset = file_offset_;
  if (utf16) offset -= static_cast<off_t>(utf16_.size() - utf16_begin_);
  for (;;) {
    ssize_t n;
    do {
      n = ::pread(file_.fd(), ahead.get(), kBufferSize, offset);
    } while (n < 0 && errno == EINTR);
    // A failed look-ahead leaves line feeds as line ends; the regular read
    // reports the error when it meets it.
    if (n <= 0) return;
    if (utf16 ? HasUtf16CarriageReturn(std::string_view(ahead.get(), static_cast<size_t>(n)),
                                       encoding_ == Encoding::kUtf16Le)
              : std::memchr(ahead.get(), '\r', static_cast<size_t>(n)) != nullptr) {
      line_feed_ = LineFeed::kInText;
      return;
    }
    offset += n;
  }
}

void ExportReader::RefuseLongLine(ExportLine& line) {
  note_ = "the line has " + std::to_string(line_bytes_) + " bytes, more than the " +
          std::to_string(max_line_bytes_) + " a line may have; it begins \"" + Printable(raw_) +
          "\"";
  line.text = {};
  line.refused = note_;
}

bool ExportReader::Decode(ExportLine& line) {
  std::string_view text = raw_;
  auto is_control = [](char c) { return IsControl(static_cast<unsigned char>(c)); };
  if (std::any_of(raw_.begin(), raw_.end(), is_control)) {
    // NULs are dropped, other control characters become blanks; a line of
    // nothing but end-of-file marks is an empty line.
    decoded_.clear();
    size_t replaced = 0, marks = 0;
    unsigned char first = 0;
    for (const char ch : raw_) {
      if (ch == '\0') continue;
      if (!is_control(ch)) {
        decoded_ += ch;
        continue;
      }
      if (replaced++ == 0) first = static_cast<unsigned char>(ch);
      marks += ch == kEndOfFileMark ? 1 : 0;
      decoded_ += ' ';
    }
    if (replaced > 0 && marks == decoded_.size()) return false;
    text = decoded_;
    if (replaced > 0) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", first);
      note_ = replaced == 1 ? std::string("the control character ") + hex + " became a blank"
                            : std::to_string(replaced) + " control characters (the first " + hex +
                                  ") became blanks";
      line.warning = note_;
    }
  }
  if (text.empty()) return false;
  if (!IsAscii(text) && !text::IsValidUtf8(text)) {
    // The converter gives a fresh string; only lines that are not UTF-8 pay
    // for it. The argument may view decoded_ itself, so convert before moving.
    std::string converted = text::Windows1252ToUtf8(text);
    decoded_ = std::move(converted);
    text = decoded_;
  }
  line.text = text;
  return true;
}

}  // namespace talvenor::import
