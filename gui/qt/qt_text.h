// Windows-1251 texts of the core as QString, and back; labels that show
// such texts.
#pragma once

#include <QLabel>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace keldar {

inline QString qs(std::string_view cp1251_text) {
  return QString::fromStdString(to_utf8_lossy(cp1251_text));
}

// A Russian literal of the sources (UTF-8) as QString.
inline QString ru(const char* utf8) { return QString::fromUtf8(utf8); }

// nullopt when the text holds a character that Windows-1251 cannot carry.
inline std::optional<std::string> cp(const QString& text) { return from_utf8(text.toStdString()); }

// A label that shows its text as it is: a name or path never reads as markup.
inline QLabel* plain_label(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace keldar
