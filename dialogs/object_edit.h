// The object edit dialog's logic: what it shows for one object record, what
// its OK stores, and where its Browse starts and what it yields.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "store/computer_table.h"
#include "store/object_table.h"

namespace keldar {

// How an edit dialog ended: cancelled, confirmed without a change (the
// caller treats it like a cancel), or confirmed with the record changed.
enum class EditResult { kCancelled, kUnchanged, kChanged };

// The dialog's controls for one record. A path is nullopt when its text
// cannot be carried in Windows-1251.
struct ObjectFields {
  std::array<std::optional<std::string>, kComputerSlots> paths;
  std::array<bool, kComputerSlots> from_carrier{};
  std::array<bool, kComputerSlots> to_carrier{};
  bool allow_nested = false;
};

struct ObjectEditView {
  std::array<std::string, kComputerSlots> names;  // the computer table's names
  ObjectFields fields;
  std::string id_text;  // "%i" of the object id; "0" for the new-object template
  // The row of this computer, beside which the marker stands; -1 when the
  // computer is not identified (no marker, no Browse).
  int marker_row = -1;
};

// What the dialog shows when it opens on `record`.
ObjectEditView open_object_edit(const ObjectRecord& record, const ComputerTable& computers,
                                int computer);

// The marker's top edge in dialog units: the line of the computer name of
// row `row` (names stand at 7, 32, 57 and 82).
inline int marker_top(int row) { return 7 + 25 * row; }

// OK: stores into `record` every field that differs from it (paths compared
// exactly, case included) and says whether anything changed. A path that
// cannot be stored (not carried in Windows-1251, or longer than 511 bytes)
// refuses the whole OK: nullopt, `error` says why, the record is untouched
// and the dialog stays open.
std::optional<EditResult> apply_object_edit(const ObjectFields& fields, ObjectRecord& record,
                                            std::string& error);

// Browse works on the stored path of this computer's row (not the text in
// its edit box): the folder to start in (`fallback_folder` when the path has
// none) and the name part kept after the chosen folder ("*.*" when it has
// none).
struct BrowseStart {
  std::string folder;
  std::string name;
};
BrowseStart browse_start(const ObjectRecord& record, int computer,
                         std::string_view fallback_folder);

// The path Browse writes into this computer's edit box: the chosen folder,
// a separator unless it already ends in one, then the name part.
std::string browse_result(std::string_view chosen_folder, const BrowseStart& start, char separator);

}  // namespace keldar
