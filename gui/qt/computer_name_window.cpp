#include "gui/qt/computer_name_window.h"

#include <QPushButton>

#include "gui/qt/dialog_units.h"
#include "gui/qt/qt_host.h"
#include "gui/qt/qt_text.h"
#include "store/computer_table.h"

namespace keldar {

ComputerNameWindow::ComputerNameWindow(ComputerNameDialog& logic, QtHost& host, QWidget* parent)
    : QDialog(parent), logic_(logic), host_(host) {
  setWindowTitle(ru("Компьютер"));
  setObjectName("computerName");
  const DialogUnits du(font());
  du.size(this, 320, 43);
  prompt_ = plain_label(qs(logic.prompt()), this);
  prompt_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  du.place(prompt_, 7, 7, 244, 13);
  edit_ = new QLineEdit(qs(logic.initial_text()), this);
  // No more than the computer table stores.
  edit_->setMaxLength(static_cast<int>(ComputerTable::kMaxName));
  du.place(edit_, 7, 26, 244, 12);
  auto* ok = new QPushButton(ru("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  du.place(ok, 263, 7, 50, 14);
  auto* cancel = new QPushButton(ru("Отмена"), this);
  cancel->setObjectName("cancel");
  du.place(cancel, 263, 24, 50, 14);
  connect(ok, &QPushButton::clicked, this, &ComputerNameWindow::ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  edit_->setFocus();
}

void ComputerNameWindow::ok() {
  std::string error;
  if (!logic_.accept(cp(edit_->text()), error)) {
    host_.message(qs(error));
    return;
  }
  accept();
}

}  // namespace keldar
