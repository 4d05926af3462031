#include "app/saved_selection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "text/utf8.h"

namespace talvenor::app {
namespace {

constexpr uint16_t kTagNoValue = 0;
constexpr uint16_t kTagText = 8;
constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

using Records = std::array<unsigned char, 2 * kSelectionRecordSize>;

// An open file descriptor, closed when it goes out of scope.
class File {
 public:
  explicit File(int fd) : fd_(fd) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Opens the file for reading and writing, creating it empty when missing. A
// file that already exists is narrowed to its owner: older files may have
// been created readable by everyone.
int OpenForUpdate(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kOwnerOnly);
  if (fd >= 0) fchmod(fd, kOwnerOnly);  // a file of another owner stays as it is
  return fd;
}

// The bytes of [offset, offset + size) that the file holds; fewer at its end.
std::string ReadAt(int fd, off_t offset, size_t size) {
  std::string bytes(size, '\0');
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(fd, bytes.data() + got, size - got, offset + static_cast<off_t>(got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

std::optional<uint16_t> U16At(std::string_view bytes, size_t offset) {
  if (bytes.size() < offset + 2) return std::nullopt;
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                               static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

// The text of `length` bytes at `offset`, when the record holds all of it.
std::optional<std::string> TextAt(std::string_view record, size_t offset, size_t length) {
  if (record.size() < offset + length) return std::nullopt;
  return text::Windows1252ToUtf8(record.substr(offset, length));
}

records::Value ReadId(std::string_view record) {
  const std::optional<uint16_t> tag = U16At(record, 0);
  if (tag != kTagText) return records::Value::Empty();  // tag 0, unknown tags, no tag
  const std::optional<uint16_t> length = U16At(record, 2);
  if (!length) return records::Value::Empty();
  std::optional<std::string> id = TextAt(record, 4, *length);
  return id ? records::Value::Text(std::move(*id)) : records::Value::Empty();
}

std::string ReadPath(std::string_view record) {
  const std::optional<uint16_t> length = U16At(record, 0);
  if (!length) return {};
  return TextAt(record, 2, *length).value_or("");
}

void PutU16(Records& bytes, size_t offset, size_t value) {
  bytes[offset] = static_cast<unsigned char>(value & 0xFF);
  bytes[offset + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

// Windows-1252 bytes of `text` when they are at most `limit` bytes and lose
// nothing.
std::optional<std::string> Fitting(std::string_view text, size_t limit) {
  bool lossless = true;
  std::string bytes = text::Utf8ToWindows1252(text, &lossless);
  if (!lossless || bytes.size() > limit) return std::nullopt;
  return bytes;
}

}  // namespace

std::string SavedSelectionPath(std::string_view app_folder) {
  return std::string(app_folder) + "/" + std::string(kSavedSelectionName);
}

void Restore(AppState& state) {
  state.SelectedDatabaseId = records::Value::Empty();
  state.TargetPath.clear();
  const std::string path = SavedSelectionPath(state.AppFolder);
  int fd = OpenForUpdate(path);
  // A file or folder we may not write to still lets us read what was saved.
  if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const File file(fd);
  if (!file.ok()) return;
  const std::string bytes = ReadAt(file.fd(), 0, 2 * kSelectionRecordSize);
  const std::string_view all = bytes;
  state.SelectedDatabaseId = ReadId(all.substr(0, kSelectionRecordSize));
  if (all.size() > kSelectionRecordSize) {
    state.TargetPath = ReadPath(all.substr(kSelectionRecordSize));
  }
}

void Save(const AppState& state) {
  const bool has_id = state.SelectedDatabaseId.HasValue();
  std::optional<std::string> id;
  if (has_id) id = Fitting(state.SelectedDatabaseId.ToText(), kMaxSavedIdBytes);
  std::optional<std::string> target = Fitting(state.TargetPath, kMaxSavedPathBytes);
  // Writing only the record that fits would pair one entry's id with another
  // entry's path at the next start: save no selection instead.
  if (!target || (has_id && !id)) {
    id.reset();
    target = std::string();
  }

  // Both records, zero-filled after their values.
  Records bytes{};
  if (id) {
    PutU16(bytes, 0, kTagText);
    PutU16(bytes, 2, id->size());
    std::copy(id->begin(), id->end(), bytes.begin() + 4);
  } else {
    PutU16(bytes, 0, kTagNoValue);
  }
  PutU16(bytes, kSelectionRecordSize, target->size());
  std::copy(target->begin(), target->end(), bytes.begin() + kSelectionRecordSize + 2);

  const File file(OpenForUpdate(SavedSelectionPath(state.AppFolder)));
  if (!file.ok()) return;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        pwrite(file.fd(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace talvenor::app
