#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "import/export_reader.h"
#include "import/record_steps.h"
#include "import/run_state.h"
#include "records/value.h"

namespace talvenor::import {

// The look-ups of a block of data lines (their companies, contacts and
// positions), answered by one query to the target instead of one query each.
//
// The query asks the target two things, so that its own comparison rules
// (letter case, trailing blanks, the column's type) decide both: which record
// each look-up finds now, and which look-ups of the block it takes for equal
// to an earlier one. A look-up that finds nothing is then answered as the
// target would answer it after the block's earlier lines: by the record that
// an equal earlier look-up created (NoteStored), or else not found.
class BlockLookUps {
 public:
  // Asks the target about the look-ups of `lines`. False when it cannot say
  // (an engine that reads no rows in one piece, a failed query, a text the
  // target might compare otherwise than its bytes say): the look-ups then go
  // to the target one by one.
  bool Prepare(RunState& run, std::span<const ExportLine> lines);
  // Forgets the block: every look-up goes to the target again.
  void Clear();

  // The target's answer to a look-up of the block; nothing for a look-up
  // that was not prepared.
  std::optional<LookUpResult> Find(const LookUp& what, std::span<const std::string> texts) const;
  // A record was stored for a look-up of the block that found nothing.
  void Stored(const LookUp& what, std::span<const std::string> texts, const records::Value& key);

 private:
  // The distinct look-ups of one kind, in the order of their first line.
  struct Kind {
    std::unordered_map<std::string, size_t> index;  // by Joined texts
    std::vector<std::vector<std::string>> texts;
    std::vector<std::optional<records::Value>> found;   // the record the target has
    std::vector<size_t> same_as;                        // the first look-up it takes for equal
    std::vector<std::optional<records::Value>> stored;  // the record a line of the block stored
    void Clear();
    void Add(std::span<const std::string> look_up);
  };

  const Kind* KindOf(const LookUp& what) const;
  Kind* KindOf(const LookUp& what);
  std::string Query(records::SqlDialect dialect) const;

  std::array<Kind, 3> kinds_;  // companies, contacts, positions
  bool ready_ = false;
  std::vector<std::string> fields_;  // a line's fields, kept for their room
};

// The look-up's texts as one key: each text followed by a NUL (texts hold none).
std::string JoinedLookUp(std::span<const std::string> texts);

}  // namespace talvenor::import
