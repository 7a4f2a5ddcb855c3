#include "gui/qt/dialog_units.h"

#include <QFontMetrics>

namespace keldar {

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics metrics(font);
  // The average width over the letters the windows show: Latin and
  // Cyrillic. Fonts whose Cyrillic is wider than their Latin (most fonts
  // on Linux) would otherwise cut the Russian captions.
  const QString letters = QString::fromUtf8(
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
      "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя");
  base_x_ = (metrics.horizontalAdvance(letters) * 2 / letters.size() + 1) / 2;
  base_y_ = metrics.height();
}

}  // namespace keldar
