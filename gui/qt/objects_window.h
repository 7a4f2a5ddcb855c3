// The objects dialog: the grid of objects with its labels, Add, Edit,
// Delete, Clear and the single-object operations. Shown without blocking
// the main window, so that the main window's Стоп can stop the runs it
// starts; the main window keeps its other buttons disabled meanwhile. It is
// a top-level window of its own, not transient for the main window: a
// window manager minimises a transient window's owner with it, and the
// dialog is minimised during its runs while the main window stays in view.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <map>

#include "dialogs/objects_dialog.h"
#include "gui/qt/cmsflexgrid.h"

namespace keldar {

class QtHost;

class ObjectsWindow : public QDialog, public ObjectsView {
  Q_OBJECT

 public:
  enum class Button {
    kCompare,
    kCopy,
    kReplace,
    kEtalon,
    kFromCarrier,
    kAdd,
    kEdit,
    kDelete,
    kClear,
    kOk
  };

  // Has no parent: whoever makes it deletes it.
  ObjectsWindow(Session& session, QtHost& host, Runs& runs);

  const ChangeCounters& counters() const { return logic_.counters(); }
  CMSFlexGrid* flex_grid() const { return grid_; }
  QPushButton* button(Button role) const { return buttons_.at(role); }
  QLabel* info_label() const { return info_; }
  QLabel* state_label() const { return state_; }
  // A run of this dialog has ended: the dialog is shown again.
  void run_ended();

  // ObjectsView
  Grid& grid() override { return *grid_; }
  void set_info(std::string_view text) override;
  void set_state(std::string_view text) override;
  void set_index(std::string_view text) override;
  void set_id(std::string_view text) override;
  EditResult edit_object(ObjectRecord& record) override;
  bool ask_yes_no(std::string_view text) override;
  void show_message(std::string_view text) override;
  void minimise() override;

 private:
  QPushButton* add_button(Button role, const char* name, const char* text, int x, int y, int width,
                          int height);

  Session& session_;
  QtHost& host_;
  CMSFlexGrid* grid_;
  QLabel* info_;
  QLabel* state_;
  QLabel* index_;
  QLabel* id_;
  std::map<Button, QPushButton*> buttons_;
  ObjectsDialog logic_;
};

}  // namespace keldar
