#include "gui/win32/masks_window.h"

#include "gui/win32/check_box.h"
#include "gui/win32/resource.h"
#include "gui/win32/win32_host.h"
#include "platform/win32/wide_text.h"

namespace keldar {

EditResult MaskEditWindow::run(HWND owner) {
  result_ = EditResult::kCancelled;
  run_modal(owner, IDD_MASK_EDIT);
  return result_;
}

INT_PTR MaskEditWindow::handle(UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      const MaskFields fields = open_mask_edit(record_);
      SendMessageW(item(IDC_MASK_PATTERN), EM_LIMITTEXT, MaskRecord::kMaxPattern, 0);
      set_window_text(item(IDC_MASK_PATTERN), *fields.pattern);
      set_check(item(IDC_MASK_COPY), fields.allow_copy);
      set_check(item(IDC_MASK_DELETE), fields.allow_delete);
      set_check(item(IDC_MASK_ASK_REPLACE), fields.ask_before_replacing);
      set_check(item(IDC_MASK_ASK_DELETE), fields.ask_before_deleting);
      highlight();
      SetFocus(item(IDC_MASK_PATTERN));
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
          ok();
          return TRUE;
        case IDCANCEL:
          EndDialog(hwnd(), IDCANCEL);
          return TRUE;
        case IDC_MASK_COPY:
        case IDC_MASK_DELETE:
        case IDC_MASK_ASK_REPLACE:
        case IDC_MASK_ASK_DELETE:
          // A click on an ask box ends with its own pushed look cleared.
          if (HIWORD(wparam) == BN_CLICKED) highlight();
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

// The pushed look marks an ask box whose permission is off; it neither
// disables the box nor changes its check.
void MaskEditWindow::highlight() {
  SendMessageW(item(IDC_MASK_ASK_REPLACE), BM_SETSTATE,
               ask_box_highlighted(checked(item(IDC_MASK_COPY))), 0);
  SendMessageW(item(IDC_MASK_ASK_DELETE), BM_SETSTATE,
               ask_box_highlighted(checked(item(IDC_MASK_DELETE))), 0);
}

void MaskEditWindow::ok() {
  bool carriable = true;
  std::string pattern = win32::narrow(window_text(item(IDC_MASK_PATTERN)), carriable);
  MaskFields fields{carriable ? std::optional<std::string>(std::move(pattern)) : std::nullopt,
                    checked(item(IDC_MASK_COPY)), checked(item(IDC_MASK_DELETE)),
                    checked(item(IDC_MASK_ASK_REPLACE)), checked(item(IDC_MASK_ASK_DELETE))};
  std::string error;
  const std::optional<EditResult> result = apply_mask_edit(fields, record_, error);
  if (!result) {
    host_.message(wide(error));
    return;
  }
  result_ = *result;
  EndDialog(hwnd(), *result == EditResult::kChanged ? IDOK : 0);
}

MasksWindow::MasksWindow(Session& session, Win32Host& host, HWND owner,
                         std::function<void()> closed)
    : ListWindow(std::move(closed)), host_(host), logic_(session, *this) {
  open(owner, IDD_MASKS, IDC_MASKS_GRID, L"Arial CYR");
}

void MasksWindow::grid_event(CMSFlexGrid::Notification event) {
  switch (event) {
    case CMSFlexGrid::kClick:
      logic_.click();
      break;
    case CMSFlexGrid::kDoubleClick:
    case CMSFlexGrid::kEnter:
      logic_.edit();
      break;
    case CMSFlexGrid::kInsert:
      logic_.insert();
      break;
    case CMSFlexGrid::kDelete:
      logic_.remove();
      break;
  }
}

void MasksWindow::command(int id) {
  if (id == IDC_MASKS_INSERT) logic_.insert();
  if (id == IDC_MASKS_EDIT) logic_.edit();
  if (id == IDC_MASKS_DELETE) logic_.remove();
}

void MasksWindow::set_info(std::string_view text) { set_window_text(item(IDC_MASKS_INFO), text); }
void MasksWindow::set_index(std::string_view text) { set_window_text(item(IDC_MASKS_INDEX), text); }

EditResult MasksWindow::edit_mask(MaskRecord& record) {
  MaskEditWindow window(record, host_);
  return window.run(hwnd());
}

void MasksWindow::show_message(std::string_view text) { host_.message(wide(text)); }

}  // namespace keldar
