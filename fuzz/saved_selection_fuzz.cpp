// The saved-selection reader on any file: it gives an id that fits its record
// (or none) and a path that fits its record (a Windows-1252 byte is at most
// three UTF-8 bytes), and what it read is saved and read back unchanged.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app_state.h"
#include "app/saved_selection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    const std::string f = "/tmp/talvenor-fuzz-selection-" + std::to_string(::getpid());
    std::filesystem::create_directories(f);
    return f;
  }();
  const std::string file = talvenor::app::SavedSelectionPath(folder);
  std::filesystem::remove(file);
  FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);

  talvenor::app::AppState state;
  state.AppFolder = folder;
  talvenor::app::Restore(state);
  const auto& id = state.SelectedDatabaseId;
  if (!id.IsEmpty() && !id.IsText()) std::abort();
  if (id.IsText() && id.text().size() > 3 * talvenor::app::kMaxSavedIdBytes) std::abort();
  if (state.TargetPath.size() > 3 * talvenor::app::kMaxSavedPathBytes) std::abort();

  talvenor::app::Save(state);
  talvenor::app::AppState again;
  again.AppFolder = folder;
  talvenor::app::Restore(again);
  if (!(again.SelectedDatabaseId == state.SelectedDatabaseId) ||
      again.TargetPath != state.TargetPath) {
    std::abort();
  }
  return 0;
}
