// What the objects and masks dialogs share as windows: a modeless dialog
// with a grid, closed by OK, Esc or the close box alike (there is nothing
// to cancel: every change is saved at once), which then reports that it
// has closed.
#pragma once

#include <functional>

#include "gui/win32/cmsflexgrid.h"
#include "gui/win32/dialog_window.h"
#include "gui/win32/list_dialog.h"

namespace keldar {

class ListWindow : public DialogWindow, public ListDialog {
 public:
  HWND hwnd() const override { return DialogWindow::hwnd(); }
  // Closes the dialog as its OK does; the closed callback has been called
  // when it returns. Nothing when it is closed already.
  void close() override;
  CMSFlexGrid& flex_grid() const { return *grid_; }

 protected:
  // `closed` is called once, when the dialog has closed.
  explicit ListWindow(std::function<void()> closed) : closed_(std::move(closed)) {}
  // Makes dialog `resource` (its grid control `grid_id`, drawn with font
  // `face`), has the logic fill it (opened()) and shows it.
  void open(HWND owner, int resource, int grid_id, const wchar_t* face);

  virtual void opened() = 0;
  // A click, double click or key of the grid.
  virtual void grid_event(CMSFlexGrid::Notification event) = 0;
  // A button other than OK.
  virtual void command(int id) = 0;

  INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  std::function<void()> closed_;
  int grid_id_ = 0;
  const wchar_t* face_ = nullptr;
  CMSFlexGrid* grid_ = nullptr;
};

}  // namespace keldar
