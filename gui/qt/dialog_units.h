// Dialog units: the layouts are given in them, and they turn into pixels
// through the dialog font's base units (average character width over the
// Latin and Cyrillic letters, and the font's height): x * width / 4,
// y * height / 8.
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>

namespace keldar {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int x(int units) const { return (units * base_x_ + 2) / 4; }
  int y(int units) const { return (units * base_y_ + 4) / 8; }
  QRect rect(int x, int y, int width, int height) const {
    return QRect(this->x(x), this->y(y), this->x(width), this->y(height));
  }
  // Places `widget` at a rectangle given in dialog units.
  void place(QWidget* widget, int x, int y, int width, int height) const {
    widget->setGeometry(rect(x, y, width, height));
  }
  // Gives `window` a fixed client size given in dialog units.
  void size(QWidget* window, int width, int height) const {
    window->setFixedSize(x(width), y(height));
  }

 private:
  int base_x_;
  int base_y_;
};

}  // namespace keldar
