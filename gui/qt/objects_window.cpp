#include "gui/qt/objects_window.h"

#include "gui/qt/dialog_units.h"
#include "gui/qt/object_edit_window.h"
#include "gui/qt/qt_host.h"
#include "gui/qt/qt_text.h"

namespace keldar {
namespace {

QFont grid_font() {
  // Where the named font is missing, one of about its width.
  QFont font;
  font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                    QStringLiteral("DejaVu Sans Mono")});
  font.setStyleHint(QFont::TypeWriter);
  font.setPointSizeF(8.25);
  return font;
}

}  // namespace

ObjectsWindow::ObjectsWindow(Session& session, QtHost& host, Runs& runs)
    : QDialog(nullptr),
      session_(session),
      host_(host),
      grid_(new CMSFlexGrid(grid_font(), this)),
      info_(plain_label(QString(), this)),
      state_(plain_label(QString(), this)),
      index_(plain_label(ru("Index"), this)),
      id_(plain_label(ru("ID"), this)),
      logic_(session, *this, runs) {
  setWindowTitle(ru("Объекты синхронизации"));
  setObjectName("objects");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  const DialogUnits du(font());
  du.size(this, 422, 299);
  du.place(grid_, 7, 7, 408, 233);
  du.place(info_, 7, 242, 408, 10);
  add_button(Button::kCompare, "compare", "Сравнить", 7, 255, 48, 14);
  add_button(Button::kCopy, "copy", "Копия объекта", 60, 255, 64, 14);
  add_button(Button::kReplace, "replace", "Замена объекта", 129, 255, 68, 14);
  add_button(Button::kEtalon, "etalon", "Эталон", 202, 255, 59, 14);
  add_button(Button::kFromCarrier, "fromCarrier", "С носителя", 266, 255, 59, 14);
  du.place(state_, 331, 257, 84, 9);
  add_button(Button::kAdd, "add", "Добавить", 7, 276, 44, 16);
  add_button(Button::kEdit, "edit", "Изменить", 57, 276, 44, 16);
  add_button(Button::kDelete, "delete", "Удалить", 107, 276, 44, 16);
  add_button(Button::kClear, "clear", "Очистить", 157, 276, 44, 16);
  auto* index_label = plain_label(ru("Индекс="), this);
  du.place(index_label, 223, 275, 28, 17);
  du.place(index_, 259, 275, 18, 17);
  auto* id_label = plain_label(ru("Объект ID="), this);
  du.place(id_label, 286, 275, 40, 17);
  du.place(id_, 327, 275, 26, 17);
  QPushButton* ok = add_button(Button::kOk, "ok", "OK", 354, 276, 61, 16);
  ok->setDefault(true);

  const std::pair<Button, ObjectOperation> operations[] = {
      {Button::kCompare, ObjectOperation::kCompare},
      {Button::kCopy, ObjectOperation::kCopy},
      {Button::kReplace, ObjectOperation::kReplace},
      {Button::kEtalon, ObjectOperation::kEtalon},
      {Button::kFromCarrier, ObjectOperation::kFromCarrier},
      {Button::kClear, ObjectOperation::kClear}};
  for (const auto& [role, operation] : operations) {
    connect(buttons_[role], &QPushButton::clicked, this,
            [this, operation = operation] { logic_.operation(operation); });
  }
  connect(buttons_[Button::kAdd], &QPushButton::clicked, this, [this] { logic_.add(); });
  connect(buttons_[Button::kEdit], &QPushButton::clicked, this, [this] { logic_.edit(); });
  connect(buttons_[Button::kDelete], &QPushButton::clicked, this, [this] { logic_.remove(); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(grid_, &CMSFlexGrid::gridClick, this, [this] { logic_.click(); });
  connect(grid_, &CMSFlexGrid::gridDoubleClick, this, [this] { logic_.edit(); });
  connect(grid_, &CMSFlexGrid::insertPressed, buttons_[Button::kAdd], &QPushButton::click);
  connect(grid_, &CMSFlexGrid::enterPressed, buttons_[Button::kEdit], &QPushButton::click);
  connect(grid_, &CMSFlexGrid::deletePressed, buttons_[Button::kDelete], &QPushButton::click);
  logic_.open();
  grid_->setFocus();
}

QPushButton* ObjectsWindow::add_button(Button role, const char* name, const char* text, int x,
                                       int y, int width, int height) {
  auto* button = new QPushButton(ru(text), this);
  button->setObjectName(name);
  button->setAutoDefault(false);
  DialogUnits(font()).place(button, x, y, width, height);
  buttons_[role] = button;
  return button;
}

void ObjectsWindow::set_info(std::string_view text) { info_->setText(qs(text)); }
void ObjectsWindow::set_state(std::string_view text) { state_->setText(qs(text)); }
void ObjectsWindow::set_index(std::string_view text) { index_->setText(qs(text)); }
void ObjectsWindow::set_id(std::string_view text) { id_->setText(qs(text)); }

EditResult ObjectsWindow::edit_object(ObjectRecord& record) {
  ObjectEditWindow window(record, session_.computers, session_.computer, host_, this);
  return window.run();
}

bool ObjectsWindow::ask_yes_no(std::string_view text) {
  return host_.ask_question({qs(text), QtHost::app_name(), QMessageBox::Question, false,
                             /*default_no=*/true}) == Answer::kYes;
}

void ObjectsWindow::show_message(std::string_view text) { host_.message(qs(text)); }

void ObjectsWindow::minimise() {
  setAttribute(Qt::WA_ShowWithoutActivating, true);
  showMinimized();
  setAttribute(Qt::WA_ShowWithoutActivating, false);
}

void ObjectsWindow::run_ended() {
  showNormal();
  logic_.click();
}

}  // namespace keldar
