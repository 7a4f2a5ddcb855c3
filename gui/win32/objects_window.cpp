#include "gui/win32/objects_window.h"

#include "gui/win32/object_edit_window.h"
#include "gui/win32/resource.h"
#include "gui/win32/win32_host.h"

namespace keldar {

ObjectsWindow::ObjectsWindow(Session& session, Win32Host& host, Runs& runs,
                             std::function<void()> closed)
    : ListWindow(std::move(closed)), session_(session), host_(host), logic_(session, *this, runs) {
  open(nullptr, IDD_OBJECTS, IDC_OBJECTS_GRID, L"Courier New");
}

void ObjectsWindow::grid_event(CMSFlexGrid::Notification event) {
  switch (event) {
    case CMSFlexGrid::kClick:
      logic_.click();
      break;
    case CMSFlexGrid::kDoubleClick:
    case CMSFlexGrid::kEnter:
      logic_.edit();
      break;
    case CMSFlexGrid::kInsert:
      logic_.add();
      break;
    case CMSFlexGrid::kDelete:
      logic_.remove();
      break;
  }
}

void ObjectsWindow::command(int id) {
  switch (id) {
    case IDC_OBJECTS_ADD:
      logic_.add();
      return;
    case IDC_OBJECTS_EDIT:
      logic_.edit();
      return;
    case IDC_OBJECTS_DELETE:
      logic_.remove();
      return;
    case IDC_OBJECTS_COMPARE:
      logic_.operation(ObjectOperation::kCompare);
      return;
    case IDC_OBJECTS_COPY:
      logic_.operation(ObjectOperation::kCopy);
      return;
    case IDC_OBJECTS_REPLACE:
      logic_.operation(ObjectOperation::kReplace);
      return;
    case IDC_OBJECTS_ETALON:
      logic_.operation(ObjectOperation::kEtalon);
      return;
    case IDC_OBJECTS_FROM_CARRIER:
      logic_.operation(ObjectOperation::kFromCarrier);
      return;
    case IDC_OBJECTS_CLEAR:
      logic_.operation(ObjectOperation::kClear);
      return;
    default:
      return;
  }
}

void ObjectsWindow::set_info(std::string_view text) {
  set_window_text(item(IDC_OBJECTS_INFO), text);
}
void ObjectsWindow::set_state(std::string_view text) {
  set_window_text(item(IDC_OBJECTS_STATE), text);
}
void ObjectsWindow::set_index(std::string_view text) {
  set_window_text(item(IDC_OBJECTS_INDEX), text);
}
void ObjectsWindow::set_id(std::string_view text) { set_window_text(item(IDC_OBJECTS_ID), text); }

EditResult ObjectsWindow::edit_object(ObjectRecord& record) {
  ObjectEditWindow window(record, session_.computers, session_.computer, host_);
  return window.run(hwnd());
}

bool ObjectsWindow::ask_yes_no(std::string_view text) {
  return host_.ask_question({wide(text), Win32Host::app_name(), MB_ICONQUESTION, false,
                             /*default_no=*/true}) == Answer::kYes;
}

void ObjectsWindow::show_message(std::string_view text) { host_.message(wide(text)); }

void ObjectsWindow::minimise() { ShowWindow(hwnd(), SW_SHOWMINNOACTIVE); }

void ObjectsWindow::run_ended() {
  if (hwnd() == nullptr) return;
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  logic_.click();
}

}  // namespace keldar
