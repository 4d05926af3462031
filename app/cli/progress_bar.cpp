#include "app/cli/progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace talvenor::app::cli {

void ProgressBar::Count(size_t raw_size) {
  ++lines_;
  // The line's bytes and its line end (CRLF as the exporter writes them).
  bytes_ += static_cast<long long>(raw_size) + 2;
}

void ProgressBar::Draw(bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? lines_ / seconds : 0;
  const long long done = std::min(bytes_, file_size_);
  const double share = file_size_ > 0 ? static_cast<double>(done) / file_size_ : 0;
  constexpr int kWidth = 24;
  const int filled = static_cast<int>(share * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, '.');
  std::string left = "--:--";
  if (done > 0 && seconds > 0.5) {
    const long secs = static_cast<long>((file_size_ - done) * seconds / done + 0.5);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld:%02ld", secs / 60, secs % 60);
    left = buf;
  }
  std::fprintf(stderr, "\r[%s] %3d%%  %ld lines  %.0f lines/s  %s left\033[K", bar.c_str(),
               static_cast<int>(share * 100), lines_, rate, left.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace talvenor::app::cli
