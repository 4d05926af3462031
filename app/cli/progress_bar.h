#pragma once

#include <chrono>
#include <cstddef>

namespace talvenor::app::cli {

// The progress bar of `run` on stderr: the share of the file read, the lines
// and lines per second, and the time left. Drawn at most every 100 ms, and
// only when it is enabled (not --quiet, stderr a terminal).
class ProgressBar {
 public:
  ProgressBar(long long file_size, bool enabled)
      : file_size_(file_size), enabled_(enabled), start_(std::chrono::steady_clock::now()) {}

  // Counts a data line of `raw_size` bytes.
  void Count(size_t raw_size);
  // Redraws the bar when it is enabled and the last drawing is 100 ms old.
  void Tick() {
    if (enabled_) Draw(/*force=*/false);
  }
  // Takes the bar off the screen, so that other text can be written.
  void Clear();

  // The data lines counted so far.
  long lines() const { return lines_; }

 private:
  void Draw(bool force);

  const long long file_size_;
  const bool enabled_;
  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_{};
  bool drawn_ = false;
  long lines_ = 0;
  long long bytes_ = 0;
};

}  // namespace talvenor::app::cli
