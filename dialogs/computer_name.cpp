#include "dialogs/computer_name.h"

#include "platform/text.h"

namespace keldar {

bool ComputerNameDialog::accept(const std::optional<std::string>& text, std::string& error) {
  if (!text) {
    error = cp1251("Имя содержит знаки, которых нет в кодировке Windows-1251");
    return false;
  }
  answer_ = *text;
  return true;
}

}  // namespace keldar
