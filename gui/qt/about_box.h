// The about box and the window icon.
#pragma once

#include <QDialog>
#include <QIcon>

namespace keldar {

// The program's icon: two folders joined by arrows, drawn at start.
QIcon keldar_icon();

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent);
};

}  // namespace keldar
