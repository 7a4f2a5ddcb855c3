// The masks dialog and the mask edit dialog: the grid of masks in table
// order, Insert at the current row, Edit, Delete, each saved to MASKS.QRV at
// once. Runs on the interface thread, never while a run is in progress.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/counters.h"
#include "app/session.h"
#include "dialogs/grid.h"
#include "dialogs/object_edit.h"

namespace keldar {

// The mask edit dialog's controls. The pattern is nullopt when its text
// cannot be carried in Windows-1251.
struct MaskFields {
  std::optional<std::string> pattern;
  bool allow_copy = false;
  bool allow_delete = false;
  bool ask_before_replacing = false;
  bool ask_before_deleting = false;
};

MaskFields open_mask_edit(const MaskRecord& record);

// Whether an ask box is drawn highlighted: while its permission box
// ("Разрешить копирование" for the replace question, "Разрешить удаление"
// for the delete question) is unchecked. The highlight neither disables the
// box nor changes its check.
inline bool ask_box_highlighted(bool permission_checked) { return !permission_checked; }

// OK: stores every field that differs from `record`; a pattern keeps at most
// its first 64 characters. nullopt (with `error`) when the pattern cannot be
// carried in Windows-1251: the record is untouched and the dialog stays open.
std::optional<EditResult> apply_mask_edit(const MaskFields& fields, MaskRecord& record,
                                          std::string& error);

class MasksView {
 public:
  virtual ~MasksView() = default;
  virtual Grid& grid() = 0;
  virtual void set_info(std::string_view text) = 0;
  virtual void set_index(std::string_view text) = 0;
  // Runs the mask edit dialog modally on `record`.
  virtual EditResult edit_mask(MaskRecord& record) = 0;
  virtual void show_message(std::string_view text) = 0;
};

class MasksDialog {
 public:
  MasksDialog(Session& session, MasksView& view);

  // Header texts and widths, the grid filled, the counters zeroed.
  void open();
  void click();
  // The new mask will stand before the current row's mask (appended on the
  // empty last row).
  void insert();
  void edit();  // also the double click
  void remove();

  const ChangeCounters& counters() const { return counters_; }

 private:
  void fill();
  void save();
  // True (after telling the user) when MASKS.QRV was found damaged: no
  // change may be made that could not be saved.
  bool refused_on_damaged_table();

  Session& s_;
  MasksView& view_;
  ChangeCounters counters_;
  int insert_position_ = -1;  // -1: no insert pending
};

}  // namespace keldar
