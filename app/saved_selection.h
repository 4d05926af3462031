#pragma once

#include <string>
#include <string_view>

#include "app/app_state.h"

namespace talvenor::app {

// The file that remembers the last choice of target between runs, in the
// program's folder: two 128-byte records, little-endian.
//   record 1 (bytes 0..127): SelectedDatabaseId as a tagged value — a 2-byte
//     tag (0 no value, 8 text), for tag 8 a 2-byte length L and L characters.
//   record 2 (bytes 128..255): TargetPath — a 2-byte length L and L characters.
// Characters are Windows-1252 bytes; the rest of each record is zero bytes.
// The file may hold a decoded connection text with its password, so it is
// kept readable by its owner only (mode 0600).
inline constexpr std::string_view kSavedSelectionName = "talvenor.dat";
inline constexpr size_t kSelectionRecordSize = 128;
inline constexpr size_t kMaxSavedIdBytes = kSelectionRecordSize - 4;    // 124
inline constexpr size_t kMaxSavedPathBytes = kSelectionRecordSize - 2;  // 126

// AppFolder + "/talvenor.dat".
std::string SavedSelectionPath(std::string_view app_folder);

// Reads the saved selection into state.SelectedDatabaseId and
// state.TargetPath. A missing file is created empty. Never fails: a missing,
// short or malformed record gives no value (Empty) and the empty text; a
// length the record cannot hold or an unknown tag counts as malformed.
void Restore(AppState& state);

// Writes state.SelectedDatabaseId and state.TargetPath. When either does not
// fit its record (more bytes than it holds, or characters Windows-1252 cannot
// represent), no selection is saved at all (tag 0 and the empty path), so the
// next start cannot pair one entry's id with another entry's path. Never
// fails: a file that cannot be written is left as it is.
void Save(const AppState& state);

}  // namespace talvenor::app
