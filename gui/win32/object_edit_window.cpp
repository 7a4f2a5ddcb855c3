#include "gui/win32/object_edit_window.h"

#include <commdlg.h>

#include "gui/win32/check_box.h"
#include "gui/win32/resource.h"
#include "gui/win32/win32_host.h"
#include "platform/win32/wide_text.h"

namespace keldar {
namespace {

// Per computer k: its name, path and permission boxes.
constexpr int kNames[] = {IDC_EDIT_NAME0, IDC_EDIT_NAME1, IDC_EDIT_NAME2, IDC_EDIT_NAME3};
constexpr int kPaths[] = {IDC_EDIT_PATH0, IDC_EDIT_PATH1, IDC_EDIT_PATH2, IDC_EDIT_PATH3};
constexpr int kFrom[] = {IDC_EDIT_FROM_CARRIER0, IDC_EDIT_FROM_CARRIER1, IDC_EDIT_FROM_CARRIER2,
                         IDC_EDIT_FROM_CARRIER3};
constexpr int kTo[] = {IDC_EDIT_TO_CARRIER0, IDC_EDIT_TO_CARRIER1, IDC_EDIT_TO_CARRIER2,
                       IDC_EDIT_TO_CARRIER3};
// What the open-file dialog can return, terminator included.
constexpr int kFileBuffer = 256;

}  // namespace

EditResult ObjectEditWindow::run(HWND owner) {
  result_ = EditResult::kCancelled;
  run_modal(owner, IDD_OBJECT_EDIT);
  return result_;
}

INT_PTR ObjectEditWindow::handle(UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      show_record();
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
          ok();
          return TRUE;
        case IDCANCEL:
          EndDialog(hwnd(), IDCANCEL);
          return TRUE;
        case IDC_EDIT_BROWSE:
          browse();
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

void ObjectEditWindow::show_record() {
  const ObjectEditView view = open_object_edit(record_, computers_, computer_);
  for (int k = 0; k < kComputerSlots; ++k) {
    set_window_text(item(kNames[k]), view.names[k]);
    set_window_text(item(kPaths[k]), *view.fields.paths[k]);
    SendMessageW(item(kPaths[k]), EM_LIMITTEXT, ObjectRecord::kMaxPath, 0);
    set_check(item(kFrom[k]), view.fields.from_carrier[k]);
    set_check(item(kTo[k]), view.fields.to_carrier[k]);
  }
  set_window_text(item(IDC_EDIT_ID), view.id_text);
  set_check(item(IDC_EDIT_NESTED), view.fields.allow_nested);
  // The marker stands right of this computer's name; without an identified
  // computer there is neither marker nor Обзор.
  if (view.marker_row >= 0) {
    RECT place{110, marker_top(view.marker_row), 0, 0};
    MapDialogRect(hwnd(), &place);
    SetWindowPos(item(IDC_EDIT_MARKER), nullptr, place.left, place.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    ShowWindow(item(IDC_EDIT_MARKER), SW_HIDE);
    EnableWindow(item(IDC_EDIT_BROWSE), FALSE);
  }
}

void ObjectEditWindow::ok() {
  ObjectFields fields;
  for (int k = 0; k < kComputerSlots; ++k) {
    bool carriable = true;
    std::string path = win32::narrow(window_text(item(kPaths[k])), carriable);
    if (carriable) fields.paths[k] = std::move(path);
    fields.from_carrier[k] = checked(item(kFrom[k]));
    fields.to_carrier[k] = checked(item(kTo[k]));
  }
  fields.allow_nested = checked(item(IDC_EDIT_NESTED));
  std::string error;
  const std::optional<EditResult> result = apply_object_edit(fields, record_, error);
  if (!result) {
    host_.message(wide(error));
    return;
  }
  result_ = *result;
  EndDialog(hwnd(), *result == EditResult::kChanged ? IDOK : 0);
}

void ObjectEditWindow::browse() {
  if (computer_ < 0 || computer_ >= kComputerSlots) return;
  const BrowseStart start = browse_start(record_, computer_, "C:\\");
  const std::wstring folder = wide(start.folder);
  std::wstring file = wide(start.name).substr(0, kFileBuffer - 1);
  file.resize(kFileBuffer, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  // Owned by this dialog, which waits for it.
  ofn.hwndOwner = hwnd();
  ofn.lpstrFilter = L"*.*\0*.*\0";
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = kFileBuffer;
  ofn.lpstrInitialDir = folder.c_str();
  ofn.lpstrTitle = L"Select path";
  ofn.lpstrDefExt = L"*.*";
  // Any typed text is taken, and the program's current directory (the
  // carrier) stays as it is.
  ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_NOVALIDATE;
  if (!GetOpenFileNameW(&ofn)) return;
  SetWindowTextW(item(kPaths[computer_]), file.c_str());
}

}  // namespace keldar
