#include "gui/qt/masks_window.h"

#include "gui/qt/dialog_units.h"
#include "gui/qt/qt_host.h"
#include "gui/qt/qt_text.h"

namespace keldar {
namespace {

QFont grid_font() {
  // Where the named font is missing, one of about its width.
  QFont font;
  font.setFamilies({QStringLiteral("Arial CYR"), QStringLiteral("Arial"),
                    QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8.25);
  return font;
}

}  // namespace

MaskEditWindow::MaskEditWindow(MaskRecord& record, QtHost& host, QWidget* parent)
    : QDialog(parent),
      record_(record),
      host_(host),
      allow_copy_(new QCheckBox(ru("Разрешить копирование"), this)),
      allow_delete_(new QCheckBox(ru("Разрешить удаление"), this)),
      ask_replace_(new QCheckBox(ru("Запрос на замену файла"), this)),
      ask_delete_(new QCheckBox(ru("Запрос на удаление файла"), this)),
      pattern_(new QLineEdit(this)) {
  setWindowTitle(ru("Маска файлов"));
  setObjectName("maskEdit");
  const DialogUnits du(font());
  du.size(this, 186, 83);
  du.place(allow_copy_, 7, 7, 109, 11);
  du.place(allow_delete_, 7, 21, 109, 11);
  du.place(ask_replace_, 7, 35, 110, 11);
  du.place(ask_delete_, 7, 49, 110, 11);
  du.place(pattern_, 7, 63, 172, 12);
  auto* ok = new QPushButton(ru("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  du.place(ok, 129, 7, 50, 14);
  auto* cancel = new QPushButton(ru("Отменить"), this);
  cancel->setObjectName("cancel");
  du.place(cancel, 129, 24, 50, 14);

  const MaskFields fields = open_mask_edit(record);
  pattern_->setMaxLength(static_cast<int>(MaskRecord::kMaxPattern));
  pattern_->setText(qs(*fields.pattern));
  allow_copy_->setChecked(fields.allow_copy);
  allow_delete_->setChecked(fields.allow_delete);
  ask_replace_->setChecked(fields.ask_before_replacing);
  ask_delete_->setChecked(fields.ask_before_deleting);
  highlight();
  for (QCheckBox* box : {allow_copy_, allow_delete_, ask_replace_, ask_delete_}) {
    connect(box, &QCheckBox::toggled, this, &MaskEditWindow::highlight);
  }
  connect(ok, &QPushButton::clicked, this, &MaskEditWindow::ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  pattern_->setFocus();
}

// The pushed look marks an ask box whose permission is off; it neither
// disables the box nor changes its check.
void MaskEditWindow::highlight() {
  ask_replace_->setDown(ask_box_highlighted(allow_copy_->isChecked()));
  ask_delete_->setDown(ask_box_highlighted(allow_delete_->isChecked()));
}

EditResult MaskEditWindow::run() {
  result_ = EditResult::kCancelled;
  exec();
  return result_;
}

void MaskEditWindow::ok() {
  MaskFields fields{cp(pattern_->text()), allow_copy_->isChecked(), allow_delete_->isChecked(),
                    ask_replace_->isChecked(), ask_delete_->isChecked()};
  std::string error;
  auto result = apply_mask_edit(fields, record_, error);
  if (!result) {
    host_.message(qs(error));
    return;
  }
  result_ = *result;
  accept();
}

MasksWindow::MasksWindow(Session& session, QtHost& host, QWidget* parent)
    : QDialog(parent),
      host_(host),
      grid_(new CMSFlexGrid(grid_font(), this)),
      info_(plain_label(QString(), this)),
      index_(plain_label(ru("Index"), this)),
      logic_(session, *this) {
  setWindowTitle(ru("Маски файлов"));
  setObjectName("masks");
  const DialogUnits du(font());
  du.size(this, 241, 299);
  du.place(grid_, 7, 7, 227, 252);
  du.place(info_, 7, 263, 169, 10);
  auto* index_label = plain_label(ru("Индекс="), this);
  du.place(index_label, 181, 259, 30, 17);
  du.place(index_, 215, 259, 19, 17);
  const std::tuple<Button, const char*, const char*, int> buttons[] = {
      {Button::kInsert, "insert", "Вставить", 7},
      {Button::kEdit, "edit", "Изменить", 66},
      {Button::kDelete, "delete", "Удалить", 125},
      {Button::kOk, "ok", "OK", 184}};
  for (const auto& [role, name, text, x] : buttons) {
    auto* button = new QPushButton(ru(text), this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    du.place(button, x, 276, 50, 16);
    buttons_[role] = button;
  }
  buttons_[Button::kOk]->setDefault(true);
  connect(buttons_[Button::kInsert], &QPushButton::clicked, this, [this] { logic_.insert(); });
  connect(buttons_[Button::kEdit], &QPushButton::clicked, this, [this] { logic_.edit(); });
  connect(buttons_[Button::kDelete], &QPushButton::clicked, this, [this] { logic_.remove(); });
  connect(buttons_[Button::kOk], &QPushButton::clicked, this, &QDialog::accept);
  connect(grid_, &CMSFlexGrid::gridClick, this, [this] { logic_.click(); });
  connect(grid_, &CMSFlexGrid::gridDoubleClick, this, [this] { logic_.edit(); });
  connect(grid_, &CMSFlexGrid::insertPressed, buttons_[Button::kInsert], &QPushButton::click);
  connect(grid_, &CMSFlexGrid::enterPressed, buttons_[Button::kEdit], &QPushButton::click);
  connect(grid_, &CMSFlexGrid::deletePressed, buttons_[Button::kDelete], &QPushButton::click);
  logic_.open();
  grid_->setFocus();
}

void MasksWindow::set_info(std::string_view text) { info_->setText(qs(text)); }
void MasksWindow::set_index(std::string_view text) { index_->setText(qs(text)); }

EditResult MasksWindow::edit_mask(MaskRecord& record) {
  MaskEditWindow window(record, host_, this);
  return window.run();
}

void MasksWindow::show_message(std::string_view text) { host_.message(qs(text)); }

}  // namespace keldar
