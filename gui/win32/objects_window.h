// The objects dialog: the grid of objects with its labels, Добавить,
// Изменить, Удалить, Очистить and the single-object operations. Modeless,
// so that the main window's Стоп can stop the runs it starts, and without
// an owner window: it is minimised during its runs while the main window
// stays in view.
#pragma once

#include "dialogs/objects_dialog.h"
#include "gui/win32/list_window.h"

namespace keldar {

class Win32Host;

class ObjectsWindow : public ListWindow, public ObjectsView {
 public:
  // Makes and shows the dialog; `closed` as ListWindow's.
  ObjectsWindow(Session& session, Win32Host& host, Runs& runs, std::function<void()> closed);

  const ChangeCounters& counters() const override { return logic_.counters(); }
  void run_ended() override;

  // ObjectsView
  Grid& grid() override { return flex_grid(); }
  void set_info(std::string_view text) override;
  void set_state(std::string_view text) override;
  void set_index(std::string_view text) override;
  void set_id(std::string_view text) override;
  EditResult edit_object(ObjectRecord& record) override;
  bool ask_yes_no(std::string_view text) override;
  void show_message(std::string_view text) override;
  void minimise() override;

 protected:
  void opened() override { logic_.open(); }
  void grid_event(CMSFlexGrid::Notification event) override;
  void command(int id) override;

 private:
  Session& session_;
  Win32Host& host_;
  ObjectsDialog logic_;
};

}  // namespace keldar
