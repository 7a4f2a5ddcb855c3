// What the object and mask tables share: the load results.
//
// An object or mask table file that exists is taken whole or not at all: one
// that cannot be read, is not a table, or whose size does not fit its count
// (cut short, or with bytes after its last record) loads as an empty table
// that refuses to be saved, so the file stays as it was found for the rest
// of the run.
#pragma once

#include <cstdint>

#include "format/table_file.h"

namespace keldar {

// Results of a table load: a record count (>= 0) or one of these.
namespace load_result {
inline constexpr std::int16_t kCreated = -1;       // absent; created empty
inline constexpr std::int16_t kCannotCreate = -2;  // absent; could not be created
inline constexpr std::int16_t kReadError = -3;     // the header could not be read
inline constexpr std::int16_t kVersionError = -4;  // not an object table (magic)
inline constexpr std::int16_t kDamaged = -5;       // the size does not fit the count
}  // namespace load_result

// The load result of a file whose bytes are not a table (status not kOk).
inline std::int16_t load_result_of(TableStatus status) {
  switch (status) {
    case TableStatus::kNotATable:
      return load_result::kVersionError;
    case TableStatus::kSizeMismatch:
      return load_result::kDamaged;
    default:
      return load_result::kReadError;
  }
}

}  // namespace keldar
