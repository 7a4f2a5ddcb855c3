// The computer-name dialog: a prompt and one line of text, OK and Отмена.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>

#include "dialogs/computer_name.h"

namespace keldar {

class QtHost;

class ComputerNameWindow : public QDialog {
  Q_OBJECT

 public:
  ComputerNameWindow(ComputerNameDialog& logic, QtHost& host, QWidget* parent);
  QLineEdit* name_edit() const { return edit_; }
  QLabel* prompt_label() const { return prompt_; }

 private:
  void ok();

  ComputerNameDialog& logic_;
  QtHost& host_;
  QLabel* prompt_;
  QLineEdit* edit_;
};

}  // namespace keldar
