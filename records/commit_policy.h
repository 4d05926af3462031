#pragma once

#include <chrono>

namespace talvenor::records {

// When a run commits its lines: once `lines` lines are done or `milliseconds`
// have passed since the first line of the group, whichever comes first. A
// commit writes every page or row the group changed, so larger groups write
// far less; the time limit keeps a slow run's lines from waiting long. A
// limit of 0 or less is left out; with both left out every line is its own
// group. The same policy holds for every engine.
struct CommitPolicy {
  int lines = 10'000;
  int milliseconds = 1'000;

  // True when a group of `lines_done` lines, begun `elapsed` ago, is to be
  // committed at the end of its last line.
  bool Due(int lines_done, std::chrono::steady_clock::duration elapsed) const {
    if (lines <= 0 && milliseconds <= 0) return true;
    return (lines > 0 && lines_done >= lines) ||
           (milliseconds > 0 && elapsed >= std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace talvenor::records
