#include "gui/qt/object_edit_window.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

#include "gui/qt/dialog_units.h"
#include "gui/qt/qt_host.h"
#include "gui/qt/qt_text.h"

namespace keldar {

ObjectEditWindow::ObjectEditWindow(ObjectRecord& record, const ComputerTable& computers,
                                   int computer, QtHost& host, QWidget* parent)
    : QDialog(parent), record_(record), computer_(computer), host_(host) {
  setWindowTitle(ru("Объект синхронизации"));
  setObjectName("objectEdit");
  const DialogUnits du(font());
  du.size(this, 362, 129);
  const ObjectEditView view = open_object_edit(record, computers, computer);
  for (int k = 0; k < kComputerSlots; ++k) {
    const int row = 25 * k;
    auto* name = plain_label(qs(view.names[k]), this);
    du.place(name, 7, 7 + row, 99, 9);
    from_[k] = new QCheckBox(ru("Копирование с носителя"), this);
    from_[k]->setChecked(view.fields.from_carrier[k]);
    du.place(from_[k], 147, 7 + 24 * k, 100, 12);
    to_[k] = new QCheckBox(ru("Копирование на носитель"), this);
    to_[k]->setChecked(view.fields.to_carrier[k]);
    du.place(to_[k], 252, 7 + 24 * k, 103, 12);
    paths_[k] = new QLineEdit(qs(*view.fields.paths[k]), this);
    paths_[k]->setMaxLength(static_cast<int>(ObjectRecord::kMaxPath));
    du.place(paths_[k], 7, 19 + 24 * k, 348, 12);
  }
  // The marker stands right of this computer's name.
  marker_ = new QFrame(this);
  marker_->setFrameShape(QFrame::Box);
  marker_->setAutoFillBackground(true);
  QPalette black = marker_->palette();
  black.setColor(QPalette::Window, Qt::black);
  marker_->setPalette(black);
  if (view.marker_row >= 0) {
    du.place(marker_, 110, marker_top(view.marker_row), 32, 10);
  } else {
    marker_->hide();
  }
  auto* id_label = plain_label(ru("ID="), this);
  du.place(id_label, 7, 111, 12, 11);
  auto* id = plain_label(qs(view.id_text), this);
  id->setObjectName("id");
  du.place(id, 22, 111, 33, 11);
  nested_ = new QCheckBox(ru("Разрешить вложенные"), this);
  nested_->setChecked(view.fields.allow_nested);
  du.place(nested_, 69, 110, 96, 12);
  auto* browse = new QPushButton(ru("Обзор"), this);
  browse->setObjectName("browse");
  browse->setEnabled(view.marker_row >= 0);
  // Enter is OK wherever the focus is, also on Обзор after the chooser.
  browse->setAutoDefault(false);
  du.place(browse, 189, 108, 50, 14);
  auto* ok = new QPushButton(ru("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  du.place(ok, 249, 108, 50, 14);
  auto* cancel = new QPushButton(ru("Отменить"), this);
  cancel->setObjectName("cancel");
  cancel->setAutoDefault(false);
  du.place(cancel, 305, 108, 50, 14);
  connect(browse, &QPushButton::clicked, this, &ObjectEditWindow::browse);
  connect(ok, &QPushButton::clicked, this, &ObjectEditWindow::ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

EditResult ObjectEditWindow::run() {
  result_ = EditResult::kCancelled;
  exec();
  return result_;
}

void ObjectEditWindow::ok() {
  ObjectFields fields;
  for (int k = 0; k < kComputerSlots; ++k) {
    fields.paths[k] = cp(paths_[k]->text());
    fields.from_carrier[k] = from_[k]->isChecked();
    fields.to_carrier[k] = to_[k]->isChecked();
  }
  fields.allow_nested = nested_->isChecked();
  std::string error;
  auto result = apply_object_edit(fields, record_, error);
  if (!result) {
    host_.message(qs(error));
    return;
  }
  result_ = *result;
  accept();
}

void ObjectEditWindow::browse() {
  const BrowseStart start = browse_start(record_, computer_, "/");
  const QString folder =
      QFileDialog::getExistingDirectory(this, QStringLiteral("Select path"), qs(start.folder));
  if (folder.isEmpty()) return;
  auto chosen = cp(QDir::toNativeSeparators(folder));
  if (!chosen) {
    host_.message(ru("Путь содержит знаки, которых нет в кодировке Windows-1251"));
    return;
  }
  paths_[computer_]->setText(qs(browse_result(*chosen, start, QDir::separator().toLatin1())));
}

}  // namespace keldar
