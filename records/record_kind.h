#pragma once

namespace talvenor::records {

// The three kinds of record an import run creates and lists in its batch list.
enum class RecordKind { kCompany, kContact, kPosition };

}  // namespace talvenor::records
