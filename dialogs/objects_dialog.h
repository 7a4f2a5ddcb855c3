// The objects dialog's logic: the grid of objects (one row per object, one
// column per computer), its labels, Add, Edit, Delete and the single-object
// operations that start a one-object run. Every change is saved to
// SYNCOBJ.QRV at once. Runs on the interface thread only.
#pragma once

#include <string>
#include <string_view>

#include "app/counters.h"
#include "app/program.h"
#include "app/session.h"
#include "app/worker.h"
#include "dialogs/grid.h"
#include "dialogs/object_edit.h"

namespace keldar {

// The window side of the objects dialog.
class ObjectsView {
 public:
  virtual ~ObjectsView() = default;
  virtual Grid& grid() = 0;
  // The info line (the clicked path), the state line, the index and id labels.
  virtual void set_info(std::string_view text) = 0;
  virtual void set_state(std::string_view text) = 0;
  virtual void set_index(std::string_view text) = 0;
  virtual void set_id(std::string_view text) = 0;
  // Runs the object edit dialog modally on `record`, which it changes only
  // when it ends with kChanged.
  virtual EditResult edit_object(ObjectRecord& record) = 0;
  // A Да/Нет question with the question icon whose Да deletes data, so Нет
  // is its default; true for Да.
  virtual bool ask_yes_no(std::string_view text) = 0;
  // A message with an OK button.
  virtual void show_message(std::string_view text) = 0;
  // Minimises the dialog without activating it, for the length of a run.
  virtual void minimise() = 0;
};

// The state line's text for a list state: "не обработан", "заполнен",
// "1 операция", "синхронизирован"; any other value as its number (only a
// damaged list file holds one).
std::string list_state_text(int state);

class ObjectsDialog {
 public:
  ObjectsDialog(Session& session, ObjectsView& view, Runs& runs);

  // Sets up the header row, bolds the current computer's column, fills the
  // grid and zeroes the counters.
  void open();
  // Click on the grid: the labels follow the current cell.
  void click();
  void add();
  void edit();  // also the double click
  void remove();
  // One of the six single-object operations on the current row's object.
  void operation(ObjectOperation operation);

  const ChangeCounters& counters() const { return counters_; }

 private:
  // True (after telling the user) while a run is in progress: then nothing
  // may change the table or release the lists the worker uses.
  bool refused_while_running();
  // True (after telling the user) when SYNCOBJ.QRV was found damaged: no
  // change may be made that could not be saved, and a new object's id could
  // be one that the file holds.
  bool refused_on_damaged_table();
  void fill();
  void save();
  int current_index() const { return view_.grid().row() - 1; }

  Session& s_;
  ObjectsView& view_;
  Runs& runs_;
  ChangeCounters counters_;
};

// The message shown when a command is refused because a run is in progress.
std::string run_in_progress_message();

}  // namespace keldar
