// The masks dialog (the grid of masks, Вставить, Изменить, Удалить) and the
// mask edit dialog (the pattern and four flags, with the highlight of the
// ask boxes whose permission is off).
#pragma once

#include "dialogs/masks_dialog.h"
#include "gui/win32/list_window.h"

namespace keldar {

class Win32Host;

class MaskEditWindow : public DialogWindow {
 public:
  MaskEditWindow(MaskRecord& record, Win32Host& host) : record_(record), host_(host) {}
  // Runs the dialog modally over `owner`; the record is changed only on
  // kChanged.
  EditResult run(HWND owner);

 protected:
  INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void highlight();
  void ok();

  MaskRecord& record_;
  Win32Host& host_;
  EditResult result_ = EditResult::kCancelled;
};

class MasksWindow : public ListWindow, public MasksView {
 public:
  // Makes and shows the dialog owned by `owner`; `closed` as ListWindow's.
  MasksWindow(Session& session, Win32Host& host, HWND owner, std::function<void()> closed);

  const ChangeCounters& counters() const override { return logic_.counters(); }

  // MasksView
  Grid& grid() override { return flex_grid(); }
  void set_info(std::string_view text) override;
  void set_index(std::string_view text) override;
  EditResult edit_mask(MaskRecord& record) override;
  void show_message(std::string_view text) override;

 protected:
  void opened() override { logic_.open(); }
  void grid_event(CMSFlexGrid::Notification event) override;
  void command(int id) override;

 private:
  Win32Host& host_;
  MasksDialog logic_;
};

}  // namespace keldar
