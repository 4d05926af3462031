#include "import/export_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <utility>

#include "text/ascii.h"
#include "text/utf8.h"

namespace talvenor::import {
namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kHeaderMark = "JOBTITLE";

ReadError MakeError(int error_number, std::string_view what, std::string_view path) {
  ReadError error;
  error.error_number = error_number;
  error.message = std::string(what) + " " + std::string(path) + ": " + std::strerror(error_number);
  return error;
}

// read(2) that carries on after an interrupting signal.
ssize_t ReadSome(int fd, char* into, size_t size) {
  ssize_t n;
  do {
    n = ::read(fd, into, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

bool IsAscii(std::string_view s) {
  unsigned char any = 0;
  for (const char c : s) any |= static_cast<unsigned char>(c);
  return any < 0x80;
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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::unexpected(MakeError(errno, "cannot open", path));
  File file(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::unexpected(MakeError(errno, "cannot open", path));
  // A directory opens without complaint and fails only at the first read.
  if (S_ISDIR(info.st_mode)) return std::unexpected(MakeError(EISDIR, "cannot open", path));
  return ExportReader(std::move(file), path, S_ISREG(info.st_mode));
}

ExportReader::ExportReader(File file, std::string path, bool seekable)
    : file_(std::move(file)),
      path_(std::move(path)),
      seekable_(seekable),
      buffer_(new char[kBufferSize]) {}

std::expected<bool, ReadError> ExportReader::Next(ExportLine& line) {
  while (ReadLine()) {
    ++physical_lines_;
    if (physical_lines_ == 1 && raw_.starts_with(kByteOrderMark)) {
      raw_.erase(0, kByteOrderMark.size());
    }
    if (!Decode(line)) {
      ++empty_lines_;
      continue;
    }
    if (line.text.size() >= kHeaderMark.size() &&
        text::EqualsIgnoreCase(line.text.substr(0, kHeaderMark.size()), kHeaderMark)) {
      ++header_lines_;
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

bool ExportReader::Refill() {
  begin_ = end_ = 0;
  if (at_end_) return false;
  const ssize_t n = ReadSome(file_.fd(), buffer_.get(), kBufferSize);
  if (n <= 0) {
    at_end_ = true;
    if (n < 0) error_ = std::unexpected(MakeError(errno, "cannot read", path_));
    return false;
  }
  end_ = static_cast<size_t>(n);
  file_offset_ += n;
  return true;
}

bool ExportReader::ReadLine() {
  raw_.clear();
  for (;;) {
    // A line cut short by a read error is not handed out: the error is.
    if (begin_ == end_ && !Refill()) return error_.has_value() && !raw_.empty();
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
    raw_.append(buf + begin_, i - begin_);
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
  if (at_end_ || !seekable_) return;  // a pipe cannot be looked ahead in
  std::unique_ptr<char[]> ahead(new char[kBufferSize]);
  for (off_t offset = file_offset_;;) {
    ssize_t n;
    do {
      n = ::pread(file_.fd(), ahead.get(), kBufferSize, offset);
    } while (n < 0 && errno == EINTR);
    // A failed look-ahead leaves line feeds as line ends; the regular read
    // reports the error when it meets it.
    if (n <= 0) return;
    if (std::memchr(ahead.get(), '\r', static_cast<size_t>(n)) != nullptr) {
      line_feed_ = LineFeed::kInText;
      return;
    }
    offset += n;
  }
}

bool ExportReader::Decode(ExportLine& line) {
  std::string_view text = raw_;
  if (text.find('\0') != std::string_view::npos) {
    decoded_.clear();
    std::copy_if(raw_.begin(), raw_.end(), std::back_inserter(decoded_),
                 [](char c) { return c != '\0'; });
    text = decoded_;
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
