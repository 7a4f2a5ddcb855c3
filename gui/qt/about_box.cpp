#include "gui/qt/about_box.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

#include "gui/qt/dialog_units.h"
#include "gui/qt/qt_text.h"
#include "version/version.h"

namespace keldar {
namespace {

QPixmap draw_icon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  // Two folders, one above the other.
  const QColor folder(0xE8, 0xB0, 0x30);
  p.setPen(QPen(QColor(0x80, 0x60, 0x10), 1));
  p.setBrush(folder);
  p.drawRect(QRectF(2, 3, 16, 11));
  p.drawRect(QRectF(14, 18, 16, 11));
  // The arrows between them.
  p.setPen(QPen(QColor(0x20, 0x50, 0xA0), 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(22, 4), QPointF(22, 14));
  p.drawLine(QPointF(19, 11), QPointF(22, 14));
  p.drawLine(QPointF(25, 11), QPointF(22, 14));
  p.drawLine(QPointF(10, 28), QPointF(10, 18));
  p.drawLine(QPointF(7, 21), QPointF(10, 18));
  p.drawLine(QPointF(13, 21), QPointF(10, 18));
  return pixmap;
}

}  // namespace

QIcon keldar_icon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(draw_icon(size));
  return icon;
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(ru("О программе KELDAR"));
  setObjectName("about");
  const DialogUnits du(font());
  du.size(this, 174, 47);
  auto* icon = plain_label(QString(), this);
  icon->setPixmap(keldar_icon().pixmap(32, 32));
  du.place(icon, 11, 14, 21, 20);
  auto* product = plain_label(ru("Brindlewood"), this);
  du.place(product, 40, 10, 80, 8);
  auto* version = plain_label(ru(KELDAR_VERSION_TEXT), this);
  du.place(version, 40, 25, 80, 8);
  auto* ok = new QPushButton(ru("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  du.place(ok, 124, 7, 44, 14);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace keldar
