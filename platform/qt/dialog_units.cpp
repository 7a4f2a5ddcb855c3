#include "platform/qt/dialog_units.h"

#include <QFontMetrics>

namespace keldar {

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics metrics(font);
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  base_x_ = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  base_y_ = metrics.height();
}

}  // namespace keldar
